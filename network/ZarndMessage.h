#pragma once

#include "base/Export.h"
#include "network/ZarnCall.h"
#include "network/ZarndReport.h"

#include <cstdint>
#include <vector>

// The messages between the line service and its clients, each one frame (see
// CZarndFrameReader). A client sends a request (an id of its own and a call); the service
// answers "started" when the call reaches the line, then its outcome. A client may also ask for
// the service's report of its line, which is answered at once. Little-endian throughout; a
// decoder takes a payload only when every field is in range and nothing is left over.
namespace ZarndMessage {

enum Kind : std::uint8_t { request = 1, started = 2, outcome = 3, reportRequest = 4, report = 5 };

constexpr std::size_t kMaxRequestFrame = 64;
// The largest outcome: a whole batch of 16-bit values and a detail text.
constexpr std::size_t kMaxOutcomeFrame = 192 * 1024;

// A payload with its length in front.
LINTARO_API std::vector<std::uint8_t> Frame(const std::vector<std::uint8_t>& payload);

LINTARO_API std::vector<std::uint8_t> EncodeRequest(std::uint32_t id, const CZarnCall& call);
LINTARO_API std::vector<std::uint8_t> EncodeStarted(std::uint32_t id);
LINTARO_API std::vector<std::uint8_t> EncodeOutcome(std::uint32_t id, const CZarnOutcome& outcome);

LINTARO_API bool DecodeRequest(const std::vector<std::uint8_t>& payload, std::uint32_t& id,
                               CZarnCall& call);
LINTARO_API bool DecodeStarted(const std::vector<std::uint8_t>& payload, std::uint32_t& id);
LINTARO_API bool DecodeOutcome(const std::vector<std::uint8_t>& payload, std::uint32_t& id,
                               CZarnOutcome& outcome);

LINTARO_API std::vector<std::uint8_t> EncodeReportRequest(std::uint32_t id);
LINTARO_API bool DecodeReportRequest(const std::vector<std::uint8_t>& payload, std::uint32_t& id);
// Takes the first kMaxHistory bytes of the history and the first kMaxStations stations.
LINTARO_API std::vector<std::uint8_t> EncodeReport(std::uint32_t id, const CZarndReport& report);
LINTARO_API bool DecodeReport(const std::vector<std::uint8_t>& payload, std::uint32_t& id,
                              CZarndReport& report);

} // namespace ZarndMessage
