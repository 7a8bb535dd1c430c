#include "network/ZarnRequest.h"

#include "network/ZarnCodes.h"

using namespace ZarnCode;

namespace {

struct RequestName {
    unsigned char nCode;
    const char* pszName;
    bool bChanges;
};

constexpr RequestName kNames[] = {
    {kReqAck, "presence test", false},
    {kReqForceCurve, "download force curve", false},
    {kReqReference, "download reference", false},
    {kReqBatch, "download batch buffer", false},
    {kReqResetBatch, "reset batch buffer", true},
    {kReqPassFail, "read pass and fail counts", false},
    {kReqNewReference, "new reference", true},
    {kSetTeachCycles, "set teach cycles", true},
    {kGetPeakForce, "read peak force", false},
    {kGetZone1, "read zone 1 start", false},
    {kGetZone1 + 1, "read zone 2 start", false},
    {kGetZone1 + 2, "read zone 3 start", false},
    {kGetZone1 + 3, "read fourth zone position", false},
    {kGetZone5, "read zone extent", false},
    {kGetResult1, "read result RS1", false},
    {kGetResult1 + 1, "read result RS2", false},
    {kGetResult1 + 2, "read result RS3", false},
    {kGetResultSigned4, "read result RSO", false},
    {kGetResult1 + 4, "read result RU1", false},
    {kGetResult1 + 5, "read result RU2", false},
    {kGetResult1 + 6, "read result RU3", false},
    {kGetResult8, "read result RUO", false},
    {kGetBLO, "read BLO", false},
    {kSetBLO, "set BLO", true},
    {kGetTFactor, "read T factor", false},
    {kSetTFactor, "set T factor", true},
    {kGetDFactor, "read D factor", false},
    {kSetDFactor, "set D factor", true},
    {kGetSFactor, "read S factor", false},
    {kSetSFactor, "set S factor", true},
    {kReqStatistics, "read statistics", false},
};

const RequestName* Find(unsigned char code) {
    for (const RequestName& r : kNames) {
        if (r.nCode == code) {
            return &r;
        }
    }
    return nullptr;
}

} // namespace

bool CZarnRequest::FromPacket(const COAXNWKPACKET& packet, CZarnRequest& request) {
    if (packet.start != ZARN_START || packet.src != ZARN_CONTROLLER ||
        packet.dest == ZARN_CONTROLLER || packet.csum != ZarnChecksum(packet) ||
        packet.lrc != ZarnRotatingCheck(packet)) {
        return false;
    }
    request.m_nNodeID = packet.dest;
    request.m_nCode = packet.code;
    request.m_nData = ZarnData(packet);
    return true;
}

bool CZarnRequest::CodeChangesAnalyser(unsigned char code) {
    const RequestName* r = Find(code);
    return r != nullptr && r->bChanges;
}

std::string CZarnRequest::Name(unsigned char code) {
    const RequestName* r = Find(code);
    return r != nullptr ? r->pszName : "unknown request " + std::to_string(code);
}

std::string CZarnRequest::Describe() const {
    std::string text = Name(m_nCode) + " for node " + std::to_string(m_nNodeID);
    // Only a set carries a value that matters.
    if (ChangesAnalyser() && m_nCode != kReqResetBatch && m_nCode != kReqNewReference) {
        text += " to " + std::to_string(m_nData);
    }
    return text;
}
