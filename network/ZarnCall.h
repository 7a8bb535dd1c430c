#pragma once

#include "base/Export.h"
#include "network/Point.h"
#include "network/Stats.h"
#include "network/ZarnError.h"
#include "network/ZarnRequest.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// One request member of CZarnPort, as data: which member, for which node, with which value. The
// line service runs calls for its clients, so a call is what crosses the service's socket.
enum class ZarnOp : std::uint8_t {
    presence = 1,
    presenceWithin, // m_nValue: the receive time-out in ms
    getBLO,
    setBLO,
    getTFactor,
    setTFactor,
    getDFactor,
    setDFactor,
    getSFactor,
    setSFactor,
    setTeachCycles,
    peakForce,
    zoneInfo,
    resultInfo,
    passFailCount,
    resetBatch,
    newReference,
    forceCurve,
    reference,
    batch, // m_nValue: the capacity
    statistics,
};

class LINTARO_API CZarnCall {
public:
    ZarnOp m_op = ZarnOp::presence;
    std::uint32_t m_nNodeID = 0;
    std::uint32_t m_nValue = 0; // the value set, or the op's own parameter (see ZarnOp)

    static bool IsOp(std::uint8_t op) {
        return op >= static_cast<std::uint8_t>(ZarnOp::presence) &&
               op <= static_cast<std::uint8_t>(ZarnOp::statistics);
    }
    // The request code the call sends first; what decides whether it changes an analyser.
    unsigned char RequestCode() const;
    bool ChangesAnalyser() const { return CZarnRequest::CodeChangesAnalyser(RequestCode()); }
    // The longest the call can keep the line, from the port's own time-outs.
    std::uint32_t LineBudgetMs() const;
};

// What a call gave back: the member's result, why it failed, and its outputs.
class LINTARO_API CZarnOutcome {
public:
    static constexpr std::size_t kMaxValues = 8;
    static constexpr std::size_t kMaxPoints = 0xFFFF;
    static constexpr std::size_t kMaxDetail = 200;

    int m_nResult = 0;
    ZarnError m_error = ZarnError::none;
    std::optional<CZarnRequest> m_carried;
    std::string m_strDetail;             // said after the reason (who was refused, and why)
    std::vector<std::int32_t> m_values;  // words, zones, results, counts
    std::vector<std::uint16_t> m_points; // a curve's or batch's values, x being the index
    CStats m_stats;
};
