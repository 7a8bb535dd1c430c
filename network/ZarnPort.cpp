#include "network/ZarnPort.h"

#include "network/ZarnCodes.h"
#include "network/ZarndLink.h"

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
    } else if (m_lastError == ZarnError::refused && !m_strErrorDetail.empty()) {
        text += ": " + m_strErrorDetail;
    }
    const unsigned long reason = m_lastError == ZarnError::lineLost ? GetLineLostReason() : 0;
    if (reason != 0) {
        text += ": " + lintaro::DescribeOpenError(reason);
    }
    return text;
}

int CZarnPort::RemoteWord(CZarndLink& link, const CZarnCall& call, unsigned short* value) {
    CZarnOutcome o;
    if (!Remote(link, call, o) || o.m_values.size() != 1) {
        return 0;
    }
    if (value) {
        *value = static_cast<unsigned short>(o.m_values[0]);
    }
    return 1;
}

int CZarnPort::RemoteCurve(CZarndLink& link, const CZarnCall& call, tagPOINT* points) {
    CZarnOutcome o;
    if (!Remote(link, call, o) || o.m_points.size() != static_cast<std::size_t>(kCurvePoints)) {
        return 0;
    }
    for (int i = 0; i < kCurvePoints; ++i) {
        points[i].x = i;
        points[i].y = o.m_points[static_cast<std::size_t>(i)];
    }
    return 1;
}

int CZarnPort::Perform(const CZarnCall& call, CZarnOutcome& outcome) {
    outcome = CZarnOutcome{};
    const unsigned int node = call.m_nNodeID;
    // A node above any analyser's is refused before the narrowing the byte members do.
    if (node > 0xFF) {
        m_carried.reset();
        Fail(ZarnError::nodeRefused);
        outcome.m_error = m_lastError;
        return 0;
    }
    const auto nodeByte = static_cast<unsigned char>(node);
    const auto value = static_cast<unsigned short>(call.m_nValue);
    auto& values = outcome.m_values;
    int ok = 0;
    switch (call.m_op) {
    case ZarnOp::presence:
        ok = RequestACK(nodeByte);
        break;
    case ZarnOp::presenceWithin:
        ok = RequestACKWithin(nodeByte, std::min<std::uint32_t>(call.m_nValue, 600000));
        break;
    case ZarnOp::getBLO:
    case ZarnOp::getTFactor:
    case ZarnOp::getDFactor:
    case ZarnOp::getSFactor: {
        unsigned short v = 0;
        ok = GetParameter(node, call.RequestCode(), &v);
        if (ok) {
            values.push_back(v);
        }
        break;
    }
    case ZarnOp::setBLO:
    case ZarnOp::setTFactor:
    case ZarnOp::setDFactor:
    case ZarnOp::setSFactor:
    case ZarnOp::setTeachCycles:
        ok = SetParameter(node, call.RequestCode(), value);
        break;
    case ZarnOp::peakForce: {
        int v = 0;
        ok = GetPeakForce(node, &v);
        if (ok) {
            values.push_back(v);
        }
        break;
    }
    case ZarnOp::zoneInfo: {
        int z[5] = {};
        ok = GetZoneInfo(node, &z[0], &z[1], &z[2], &z[3], &z[4]);
        if (ok) {
            values.assign(z, z + 5);
        }
        break;
    }
    case ZarnOp::resultInfo: {
        short rs[4] = {};
        unsigned short ru[4] = {};
        ok = GetResultInfo(node, &rs[0], &rs[1], &rs[2], &rs[3], &ru[0], &ru[1], &ru[2], &ru[3]);
        if (ok) {
            values.assign(rs, rs + 4);
            values.insert(values.end(), ru, ru + 4);
        }
        break;
    }
    case ZarnOp::passFailCount: {
        unsigned int pass = 0, fail = 0;
        ok = GetPassFailCount(node, &pass, &fail);
        if (ok) {
            values = {static_cast<std::int32_t>(pass), static_cast<std::int32_t>(fail)};
        }
        break;
    }
    case ZarnOp::resetBatch:
        ok = ResetBatchBuffer(node);
        break;
    case ZarnOp::newReference:
        ok = NewReference(node);
        break;
    case ZarnOp::forceCurve:
    case ZarnOp::reference: {
        std::vector<tagPOINT> points(kCurvePoints);
        ok = call.m_op == ZarnOp::forceCurve ? DownloadForceCurve(nodeByte, points.data())
                                             : DownloadReference(nodeByte, points.data());
        if (ok) {
            for (const tagPOINT& p : points) {
                outcome.m_points.push_back(static_cast<std::uint16_t>(p.y));
            }
        }
        break;
    }
    case ZarnOp::batch: {
        const unsigned int capacity = std::min<std::uint32_t>(call.m_nValue, 0xFFFF);
        std::vector<tagPOINT> points(capacity);
        unsigned short count = 0;
        ok = DownloadBatchBuffer(nodeByte, points.data(), &count, outcome.m_stats, capacity);
        for (unsigned short i = 0; i < count; ++i) {
            outcome.m_points.push_back(static_cast<std::uint16_t>(points[i].y));
        }
        break;
    }
    case ZarnOp::statistics:
        ok = GetStatistics(node, outcome.m_stats);
        break;
    }
    outcome.m_nResult = ok;
    outcome.m_error = ok ? ZarnError::none : m_lastError;
    outcome.m_carried = m_carried;
    return ok;
}

int CZarnPort::SetCommPort() {
    if (CZarndLink::IsLinkName(m_strPort)) {
        // The service's socket opens like any device, so closing and losing it work as usual.
        const std::string name = m_strPort;
        lintaro::RegisterSerialDevice(name, [name] { return CZarndLink::Connect(name); });
    }
    return CSerialPort::SetCommPort();
}

CZarndLink* CZarnPort::Link() const {
    if (!CZarndLink::IsLinkName(m_strPort) || m_hPort == lintaro::INVALID_HANDLE_VALUE) {
        return nullptr;
    }
    return dynamic_cast<CZarndLink*>(lintaro::GetCommDevice(m_hPort));
}

int CZarnPort::Remote(CZarndLink& link, const CZarnCall& call, CZarnOutcome& outcome) {
    m_carried.reset();
    m_strErrorDetail.clear();
    if (call.m_nNodeID > static_cast<std::uint32_t>(m_nMaxNodeID)) {
        return Fail(ZarnError::nodeRefused);
    }
    if (!link.Exchange(call, outcome)) {
        return Fail(ZarnError::lineLost);
    }
    m_carried = outcome.m_carried;
    m_strErrorDetail = outcome.m_strDetail;
    if (outcome.m_nResult) {
        return Succeed();
    }
    m_lastError = outcome.m_error == ZarnError::none ? ZarnError::noReply : outcome.m_error;
    return 0;
}

int CZarnPort::GetServiceReport(CZarndReport& report) {
    m_carried.reset();
    m_strErrorDetail.clear();
    CZarndLink* link = Link();
    if (link == nullptr) {
        return Fail(ZarnError::portClosed);
    }
    return link->Report(report) ? Succeed() : Fail(ZarnError::lineLost);
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
    if (CZarndLink* link = Link()) {
        CZarnOutcome o;
        return Remote(*link, {ZarnOp::presence, node, 0}, o);
    }
    if (!TransmitPacket(kReqAck, node, 0, 0)) {
        return 0;
    }
    return CheckACKPacket(node);
}

int CZarnPort::RequestACKWithin(unsigned char node, unsigned long rxTimeoutMs) {
    if (CZarndLink* link = Link()) {
        CZarnOutcome o;
        return Remote(*link,
                      {ZarnOp::presenceWithin, node,
                       static_cast<std::uint32_t>(std::min<unsigned long>(rxTimeoutMs, 600000))},
                      o);
    }
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
    if (CZarndLink* link = Link()) {
        return RemoteWord(*link, {ZarnOp::getBLO, node, 0}, value);
    }
    return GetParameter(node, kGetBLO, value);
}
int CZarnPort::SetBLO(unsigned int node, unsigned short value) {
    if (CZarndLink* link = Link()) {
        CZarnOutcome o;
        return Remote(*link, {ZarnOp::setBLO, node, value}, o);
    }
    return SetParameter(node, kSetBLO, value);
}
int CZarnPort::GetTFactor(unsigned int node, unsigned short* value) {
    if (CZarndLink* link = Link()) {
        return RemoteWord(*link, {ZarnOp::getTFactor, node, 0}, value);
    }
    return GetParameter(node, kGetTFactor, value);
}
int CZarnPort::SetTFactor(unsigned int node, unsigned short value) {
    if (CZarndLink* link = Link()) {
        CZarnOutcome o;
        return Remote(*link, {ZarnOp::setTFactor, node, value}, o);
    }
    return SetParameter(node, kSetTFactor, value);
}
int CZarnPort::GetDFactor(unsigned int node, unsigned short* value) {
    if (CZarndLink* link = Link()) {
        return RemoteWord(*link, {ZarnOp::getDFactor, node, 0}, value);
    }
    return GetParameter(node, kGetDFactor, value);
}
int CZarnPort::SetDFactor(unsigned int node, unsigned short value) {
    if (CZarndLink* link = Link()) {
        CZarnOutcome o;
        return Remote(*link, {ZarnOp::setDFactor, node, value}, o);
    }
    return SetParameter(node, kSetDFactor, value);
}
int CZarnPort::GetSFactor(unsigned int node, unsigned short* value) {
    if (CZarndLink* link = Link()) {
        return RemoteWord(*link, {ZarnOp::getSFactor, node, 0}, value);
    }
    return GetParameter(node, kGetSFactor, value);
}
int CZarnPort::SetSFactor(unsigned int node, unsigned short value) {
    if (CZarndLink* link = Link()) {
        CZarnOutcome o;
        return Remote(*link, {ZarnOp::setSFactor, node, value}, o);
    }
    return SetParameter(node, kSetSFactor, value);
}
int CZarnPort::SetTeachCycles(unsigned int node, unsigned short value) {
    if (CZarndLink* link = Link()) {
        CZarnOutcome o;
        return Remote(*link, {ZarnOp::setTeachCycles, node, value}, o);
    }
    return SetParameter(node, kSetTeachCycles, value);
}

int CZarnPort::GetPeakForce(unsigned int node, int* value) {
    if (CZarndLink* link = Link()) {
        CZarnOutcome o;
        if (!Remote(*link, {ZarnOp::peakForce, node, 0}, o) || o.m_values.size() != 1) {
            return 0;
        }
        if (value) {
            *value = o.m_values[0];
        }
        return 1;
    }
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
    if (CZarndLink* link = Link()) {
        CZarnOutcome o;
        if (!Remote(*link, {ZarnOp::zoneInfo, node, 0}, o) || o.m_values.size() != 5) {
            return 0;
        }
        int* outputs[5] = {z1, z2, z3, z4, z5};
        for (std::size_t i = 0; i < 5; ++i) {
            if (outputs[i]) {
                *outputs[i] = o.m_values[i];
            }
        }
        return 1;
    }
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
    if (CZarndLink* link = Link()) {
        CZarnOutcome o;
        if (!Remote(*link, {ZarnOp::resultInfo, node, 0}, o) || o.m_values.size() != 8) {
            return 0;
        }
        short* signedOut[4] = {rs1, rs2, rs3, rso};
        unsigned short* unsignedOut[4] = {ru1, ru2, ru3, ruo};
        for (std::size_t i = 0; i < 4; ++i) {
            if (signedOut[i]) {
                *signedOut[i] = static_cast<short>(o.m_values[i]);
            }
            if (unsignedOut[i]) {
                *unsignedOut[i] = static_cast<unsigned short>(o.m_values[i + 4]);
            }
        }
        return 1;
    }
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
    if (CZarndLink* link = Link()) {
        CZarnOutcome o;
        if (!Remote(*link, {ZarnOp::passFailCount, node, 0}, o) || o.m_values.size() != 2) {
            return 0;
        }
        if (pass) {
            *pass = static_cast<unsigned int>(o.m_values[0]);
        }
        if (fail) {
            *fail = static_cast<unsigned int>(o.m_values[1]);
        }
        return 1;
    }
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
    if (CZarndLink* link = Link()) {
        CZarnOutcome o;
        return Remote(*link, {ZarnOp::resetBatch, node, 0}, o);
    }
    return OrderWithAck(kReqResetBatch, node, 0);
}

int CZarnPort::NewReference(unsigned int node) {
    if (CZarndLink* link = Link()) {
        CZarnOutcome o;
        return Remote(*link, {ZarnOp::newReference, node, 0}, o);
    }
    return OrderWithAck(kReqNewReference, node, 0);
}

int CZarnPort::DownloadForceCurve(unsigned char node, tagPOINT* points) {
    if (CZarndLink* link = Link()) {
        return RemoteCurve(*link, {ZarnOp::forceCurve, node, 0}, points);
    }
    if (!TransmitPacket(kReqForceCurve, node, 0, 0)) {
        return 0;
    }
    return DownloadCurve(node, points);
}

int CZarnPort::DownloadReference(unsigned char node, tagPOINT* points) {
    if (CZarndLink* link = Link()) {
        return RemoteCurve(*link, {ZarnOp::reference, node, 0}, points);
    }
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
    if (CZarndLink* link = Link()) {
        CZarnOutcome o;
        const int ok = Remote(*link, {ZarnOp::batch, node, capacity}, o);
        // As on a local port, what came before a failure is there to see.
        const std::size_t n = std::min<std::size_t>(o.m_points.size(), capacity);
        for (std::size_t i = 0; i < n; ++i) {
            points[i].x = static_cast<int>(i);
            points[i].y = o.m_points[i];
            stats.m_nBatchMax = std::max(stats.m_nBatchMax, o.m_points[i]);
        }
        if (count) {
            *count = static_cast<unsigned short>(n);
        }
        return ok;
    }
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
    if (CZarndLink* link = Link()) {
        CZarnOutcome o;
        if (!Remote(*link, {ZarnOp::statistics, node, 0}, o)) {
            return 0;
        }
        const int nNodeID = stats.m_nNodeID;
        const unsigned short nBatchMax = stats.m_nBatchMax;
        stats = o.m_stats;
        stats.m_nNodeID = nNodeID;
        stats.m_nBatchMax = nBatchMax;
        return 1;
    }
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
