#include "network/ZarnPort.h"

#include "network/ZarnCodes.h"

#include <cstring>
#include <vector>

using namespace ZarnCode;

namespace {

constexpr int kPacket = static_cast<int>(sizeof(COAXNWKPACKET));
constexpr int kCurveBytes = (CZarnPort::kCurvePoints + 1) * kPacket;
constexpr unsigned short kRuoLimit = 999;

int Low12(const COAXNWKPACKET& p) {
    return (p.data_hi & 0x0F) << 8 | p.data_lo;
}

float Tenths(std::uint16_t v) {
    return static_cast<float>(static_cast<std::int16_t>(v)) * 0.1f;
}

} // namespace

CZarnPort::CZarnPort(char const* port, unsigned long baud, unsigned char parity, unsigned char stop)
    : CSerialPort(port, baud, parity, stop), m_nMaxNodeID(256) {
    SetTxTimeout(kTxTimeout);
    SetRxTimeout(kRxTimeout);
}

CZarnPort::~CZarnPort() = default;

unsigned char CZarnPort::csum_of(COAXNWKPACKET* packet) {
    return ZarnChecksum(*packet);
}

unsigned char CZarnPort::lrc_of(COAXNWKPACKET* packet) {
    return ZarnRotatingCheck(*packet);
}

int CZarnPort::TransmitPacket(unsigned char command, unsigned char node, unsigned char lo,
                              unsigned char hi) {
    m_carried.reset();
    if (static_cast<std::uint32_t>(node) > static_cast<std::uint32_t>(m_nMaxNodeID)) {
        return Fail(ZarnError::nodeRefused);
    }
    COAXNWKPACKET packet{ZARN_START, node, command, ZARN_CONTROLLER, lo, hi, 0, 0};
    packet.csum = csum_of(&packet);
    packet.lrc = lrc_of(&packet);
    // Anything the line delivered late belongs to an earlier exchange.
    FlushComms();
    if (!WriteFrame(reinterpret_cast<unsigned char*>(&packet), kPacket)) {
        return Fail(m_hPort == lintaro::INVALID_HANDLE_VALUE ? ZarnError::portClosed
                                                             : ZarnError::writeFailed);
    }
    COAXNWKPACKET echo{};
    int n = ReceivePacket(&echo, kPacket);
    if (n == 0) {
        return Fail(ZarnError::noEcho);
    }
    // A partial echo leaves the rest of the buffer undefined, so it cannot match.
    if (n != kPacket || std::memcmp(&echo, &packet, sizeof packet) != 0) {
        // What the line returns is what the analysers heard: if that is a valid request, the
        // node it names may have obeyed it.
        CZarnRequest carried;
        if (n == kPacket && CZarnRequest::FromPacket(echo, carried)) {
            m_carried = carried;
            return Fail(ZarnError::otherRequest);
        }
        return Fail(ZarnError::echoDiffers);
    }
    return Succeed();
}

std::string CZarnPort::GetLastErrorText() const {
    std::string text = ZarnErrorText(m_lastError);
    if (m_lastError == ZarnError::otherRequest && m_carried) {
        text += ": " + m_carried->Describe();
    }
    const unsigned long reason = m_lastError == ZarnError::lineLost ? GetLineLostReason() : 0;
    if (reason != 0) {
        text += ": " + lintaro::DescribeOpenError(reason);
    }
    return text;
}

int CZarnPort::ReceivePacket(COAXNWKPACKET* buffer, int count) {
    if (count <= 0) {
        return 0;
    }
    return static_cast<int>(ReadFrame(reinterpret_cast<unsigned char*>(buffer),
                                      static_cast<unsigned long>(count), nullptr));
}

int CZarnPort::ValidatePacket(COAXNWKPACKET* packet, unsigned char src, unsigned char dest) {
    if (csum_of(packet) != packet->csum) {
        return Fail(ZarnError::badChecksum);
    }
    if (lrc_of(packet) != packet->lrc) {
        return Fail(ZarnError::badRotatingCheck);
    }
    if (packet->dest != dest) {
        return Fail(ZarnError::wrongDestination);
    }
    if (packet->src != src) {
        return Fail(ZarnError::wrongSource);
    }
    return Succeed();
}

int CZarnPort::ReceiveWhole(COAXNWKPACKET* packet, unsigned char node) {
    int n = ReceivePacket(packet, kPacket);
    if (n == 0) {
        return Fail(ZarnError::noReply);
    }
    // A short read is rejected outright: the bytes it did not deliver are not part of any reply.
    if (n != kPacket) {
        return Fail(ZarnError::shortReply);
    }
    return ValidatePacket(packet, node, ZARN_CONTROLLER);
}

int CZarnPort::CheckACKPacket(unsigned char node) {
    COAXNWKPACKET reply{};
    if (!ReceiveWhole(&reply, node)) {
        return 0;
    }
    return reply.code == ZARN_ACK ? Succeed() : Fail(ZarnError::unexpectedCode);
}

int CZarnPort::RequestACK(unsigned char node) {
    if (!TransmitPacket(kReqAck, node, 0, 0)) {
        return 0;
    }
    return CheckACKPacket(node);
}

int CZarnPort::RequestACKWithin(unsigned char node, unsigned long rxTimeoutMs) {
    const unsigned long own = GetRxTimeout();
    // The read time-out record is shared by every port object; put back whatever it held.
    const std::uint32_t shared = ReadTimeouts().ReadTotalTimeoutConstant;
    SetRxTimeout(rxTimeoutMs);
    const int ok = RequestACK(node);
    SetRxTimeout(own);
    ReadTimeouts().ReadTotalTimeoutConstant = shared;
    return ok;
}

int CZarnPort::ReceiveAndValidate(COAXNWKPACKET* packet, unsigned int node) {
    return ReceiveWhole(packet, static_cast<unsigned char>(node));
}

int CZarnPort::GetParameter(unsigned int node, unsigned int code, unsigned short* value) {
    const auto nodeByte = static_cast<unsigned char>(node);
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (!TransmitPacket(static_cast<unsigned char>(code), nodeByte, 0, 0)) {
            return 0;
        }
        COAXNWKPACKET reply{};
        if (ReceiveWhole(&reply, nodeByte)) {
            if (value) {
                *value = ZarnData(reply);
            }
            return Succeed();
        }
    }
    return 0;
}

int CZarnPort::OrderWithAck(unsigned char code, unsigned int node, std::uint16_t value) {
    const auto nodeByte = static_cast<unsigned char>(node);
    if (!TransmitPacket(code, nodeByte, static_cast<unsigned char>(value & 0xFF),
                        static_cast<unsigned char>(value >> 8))) {
        return 0;
    }
    return CheckACKPacket(nodeByte);
}

int CZarnPort::SetParameter(unsigned int node, unsigned int code, unsigned short value) {
    return OrderWithAck(static_cast<unsigned char>(code), node, value);
}

int CZarnPort::GetBLO(unsigned int node, unsigned short* value) {
    return GetParameter(node, kGetBLO, value);
}
int CZarnPort::SetBLO(unsigned int node, unsigned short value) {
    return SetParameter(node, kSetBLO, value);
}
int CZarnPort::GetTFactor(unsigned int node, unsigned short* value) {
    return GetParameter(node, kGetTFactor, value);
}
int CZarnPort::SetTFactor(unsigned int node, unsigned short value) {
    return SetParameter(node, kSetTFactor, value);
}
int CZarnPort::GetDFactor(unsigned int node, unsigned short* value) {
    return GetParameter(node, kGetDFactor, value);
}
int CZarnPort::SetDFactor(unsigned int node, unsigned short value) {
    return SetParameter(node, kSetDFactor, value);
}
int CZarnPort::GetSFactor(unsigned int node, unsigned short* value) {
    return GetParameter(node, kGetSFactor, value);
}
int CZarnPort::SetSFactor(unsigned int node, unsigned short value) {
    return SetParameter(node, kSetSFactor, value);
}
int CZarnPort::SetTeachCycles(unsigned int node, unsigned short value) {
    return SetParameter(node, kSetTeachCycles, value);
}

int CZarnPort::GetPeakForce(unsigned int node, int* value) {
    unsigned short v;
    if (!GetParameter(node, kGetPeakForce, &v)) {
        return 0;
    }
    if (value) {
        *value = v;
    }
    return 1;
}

int CZarnPort::GetZoneInfo(unsigned int node, int* z1, int* z2, int* z3, int* z4, int* z5) {
    int* outputs[5] = {z1, z2, z3, z4, z5};
    for (unsigned int i = 0; i < 5; ++i) {
        unsigned short v;
        if (!GetParameter(node, kGetZone1 + i, &v)) {
            return 0;
        }
        if (outputs[i]) {
            *outputs[i] = v;
        }
    }
    return 1;
}

int CZarnPort::GetResultInfo(unsigned int node, short* rs1, short* rs2, short* rs3, short* rso,
                             unsigned short* ru1, unsigned short* ru2, unsigned short* ru3,
                             unsigned short* ruo) {
    short* signedOut[4] = {rs1, rs2, rs3, rso};
    unsigned short* unsignedOut[4] = {ru1, ru2, ru3, ruo};
    for (unsigned int i = 0; i < 8; ++i) {
        unsigned short v;
        if (!GetParameter(node, kGetResult1 + i, &v)) {
            return 0;
        }
        if (i < 4) {
            if (signedOut[i]) {
                *signedOut[i] = static_cast<short>(v);
            }
        } else {
            if (i == 7 && v > kRuoLimit) {
                v = kRuoLimit;
            }
            if (unsignedOut[i - 4]) {
                *unsignedOut[i - 4] = v;
            }
        }
    }
    return 1;
}

int CZarnPort::GetPassFailCount(unsigned int node, unsigned int* pass, unsigned int* fail) {
    const auto nodeByte = static_cast<unsigned char>(node);
    if (!TransmitPacket(kReqPassFail, nodeByte, 0, 0)) {
        return 0;
    }
    for (int i = 0; i < 2; ++i) {
        COAXNWKPACKET reply{};
        if (!ReceiveWhole(&reply, nodeByte)) {
            return 0;
        }
        unsigned int* out = nullptr;
        if (reply.code == ZARN_PASS_COUNT) {
            out = pass;
        } else if (reply.code == ZARN_FAIL_COUNT) {
            out = fail;
        } else {
            return Fail(ZarnError::unexpectedCode);
        }
        if (out) {
            *out = ZarnData(reply);
        }
    }
    return Succeed();
}

int CZarnPort::ResetBatchBuffer(unsigned int node) {
    return OrderWithAck(kReqResetBatch, node, 0);
}

int CZarnPort::NewReference(unsigned int node) {
    return OrderWithAck(kReqNewReference, node, 0);
}

int CZarnPort::DownloadForceCurve(unsigned char node, tagPOINT* points) {
    if (!TransmitPacket(kReqForceCurve, node, 0, 0)) {
        return 0;
    }
    return DownloadCurve(node, points);
}

int CZarnPort::DownloadReference(unsigned char node, tagPOINT* points) {
    if (!TransmitPacket(kReqReference, node, 0, 0)) {
        return 0;
    }
    return DownloadCurve(node, points);
}

int CZarnPort::DownloadCurve(unsigned char node, tagPOINT* points) {
    std::vector<COAXNWKPACKET> block(kCurvePoints + 1);
    SetRxTimeout(kCurveRxTimeout);
    int n = ReceivePacket(block.data(), kCurveBytes);
    SetRxTimeout(kRxTimeout);
    if (n == 0) {
        return Fail(ZarnError::noReply);
    }
    // A block cut short is rejected whole: its tail would be judged on bytes that never came.
    if (n != kCurveBytes) {
        return Fail(ZarnError::shortReply);
    }
    COAXNWKPACKET& end = block[kCurvePoints];
    if (!ValidatePacket(&end, node, ZARN_CONTROLLER)) {
        return 0;
    }
    if (end.code != ZARN_END) {
        return Fail(ZarnError::unexpectedCode);
    }
    if (ZarnData(end) != kCurvePoints) {
        return Fail(ZarnError::wrongEndValue);
    }
    for (int i = 0; i < kCurvePoints; ++i) {
        if (!ValidatePacket(&block[static_cast<std::size_t>(i)], node, ZARN_CONTROLLER)) {
            return 0;
        }
        points[i].x = i;
        points[i].y = Low12(block[static_cast<std::size_t>(i)]);
    }
    return Succeed();
}

int CZarnPort::DownloadBatchBuffer(unsigned char node, tagPOINT* points, unsigned short* count,
                                   CStats& stats, unsigned int capacity) {
    if (!TransmitPacket(kReqBatch, node, 0, 0)) {
        return 0;
    }
    unsigned short dummyCount = 0;
    unsigned short& n = count ? *count : dummyCount;
    n = 0;
    // The count is 16 bits wide, so no batch can be longer than that whatever the caller says.
    if (capacity > 0xFFFF) {
        capacity = 0xFFFF;
    }
    for (;;) {
        COAXNWKPACKET packet{};
        if (!ReceiveWhole(&packet, node)) {
            return 0;
        }
        if (packet.code == ZARN_END) {
            const std::uint16_t sent = ZarnData(packet);
            if (!GetBLO(node, nullptr)) {
                return 0;
            }
            return sent == n ? Succeed() : Fail(ZarnError::wrongEndValue);
        }
        if (n >= capacity) {
            // Let the analyser finish so the line is quiet for the next request, then fail. No
            // end value counts past 0xFFFF entries, so a node still sending then is babbling.
            for (unsigned long seen = n + 1ul; seen <= 0xFFFF; ++seen) {
                if (!ReceiveWhole(&packet, node) || packet.code == ZARN_END) {
                    break;
                }
            }
            return Fail(ZarnError::capacityExceeded);
        }
        const int y = Low12(packet);
        points[n].x = n;
        points[n].y = y;
        if (y > stats.m_nBatchMax) {
            stats.m_nBatchMax = static_cast<unsigned short>(y);
        }
        ++n;
    }
}

int CZarnPort::GetStatistics(unsigned int node, CStats& stats) {
    const auto nodeByte = static_cast<unsigned char>(node);
    if (!TransmitPacket(kReqStatistics, nodeByte, 0, 0)) {
        return 0;
    }
    unsigned char lastCode = 0;
    for (int i = 0; i < 8; ++i) {
        COAXNWKPACKET packet{};
        if (!ReceiveWhole(&packet, nodeByte)) {
            return 0;
        }
        const std::uint16_t v = ZarnData(packet);
        switch (i) {
        case 0:
            stats.m_fMean = Tenths(v);
            break;
        case 1:
            stats.m_fStdDev = Tenths(v);
            break;
        case 2:
            stats.m_fCpk = Tenths(v);
            break;
        case 3:
            stats.m_fCp = Tenths(v);
            break;
        case 4:
            stats.m_nMin = static_cast<short>(v);
            break;
        case 5:
            stats.m_nMax = static_cast<short>(v);
            break;
        case 6:
            stats.m_nGood = v;
            break;
        default:
            stats.m_nBad = v;
            break;
        }
        lastCode = packet.code;
    }
    if (!GetBLO(node, &stats.m_nBLO)) {
        return 0;
    }
    return lastCode == ZARN_END ? Succeed() : Fail(ZarnError::unexpectedCode);
}
