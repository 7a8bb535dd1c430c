#include "network/ZarnCall.h"

#include "network/ZarnCodes.h"
#include "network/ZarnPort.h"

#include <algorithm>

using namespace ZarnCode;

unsigned char CZarnCall::RequestCode() const {
    switch (m_op) {
    case ZarnOp::presence:
    case ZarnOp::presenceWithin:
        return kReqAck;
    case ZarnOp::getBLO:
        return kGetBLO;
    case ZarnOp::setBLO:
        return kSetBLO;
    case ZarnOp::getTFactor:
        return kGetTFactor;
    case ZarnOp::setTFactor:
        return kSetTFactor;
    case ZarnOp::getDFactor:
        return kGetDFactor;
    case ZarnOp::setDFactor:
        return kSetDFactor;
    case ZarnOp::getSFactor:
        return kGetSFactor;
    case ZarnOp::setSFactor:
        return kSetSFactor;
    case ZarnOp::setTeachCycles:
        return kSetTeachCycles;
    case ZarnOp::peakForce:
        return kGetPeakForce;
    case ZarnOp::zoneInfo:
        return kGetZone1;
    case ZarnOp::resultInfo:
        return kGetResult1;
    case ZarnOp::passFailCount:
        return kReqPassFail;
    case ZarnOp::resetBatch:
        return kReqResetBatch;
    case ZarnOp::newReference:
        return kReqNewReference;
    case ZarnOp::forceCurve:
        return kReqForceCurve;
    case ZarnOp::reference:
        return kReqReference;
    case ZarnOp::batch:
        return kReqBatch;
    case ZarnOp::statistics:
        return kReqStatistics;
    }
    return 0;
}

std::uint32_t CZarnCall::LineBudgetMs() const {
    const std::uint32_t rx = CZarnPort::kRxTimeout;
    // Every exchange writes once and waits for its echo, then for each reply packet; a read of
    // a parameter tries twice.
    const std::uint32_t exchange = CZarnPort::kTxTimeout + 2 * rx;
    switch (m_op) {
    case ZarnOp::presence:
        return exchange;
    case ZarnOp::presenceWithin:
        // The echo and the reply each under the call's own time-out.
        return CZarnPort::kTxTimeout + 2 * std::min<std::uint32_t>(m_nValue, 600000);
    case ZarnOp::zoneInfo:
        return 5 * 2 * exchange;
    case ZarnOp::resultInfo:
        return 8 * 2 * exchange;
    case ZarnOp::passFailCount:
        return exchange + rx;
    case ZarnOp::forceCurve:
    case ZarnOp::reference:
        return CZarnPort::kTxTimeout + rx + CZarnPort::kCurveRxTimeout;
    case ZarnOp::batch:
        // One read time-out a packet at most, and the BLO read after the end.
        return exchange + 0x10000u * rx + 2 * exchange;
    case ZarnOp::statistics:
        return exchange + 8 * rx + 2 * exchange;
    default:
        return 2 * exchange;
    }
}
