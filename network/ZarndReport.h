#pragma once

#include "base/Export.h"
#include "network/Stats.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// What the line service last learned of one station from its own polling and presence tests.
// Times travel as ages (milliseconds before the report), so that the two ends need not agree on
// the clock.
struct LINTARO_API CZarndStation {
    enum class Presence : std::uint8_t { unknown, answering, silent };

    std::uint8_t m_nNodeID = 0;
    Presence m_presence = Presence::unknown;
    std::uint32_t m_nAskedAgoMs = 0; // when it last learned whether the analyser answers
    bool m_bHasReading = false;
    std::uint32_t m_nReadAgoMs = 0;
    CStats m_reading; // the last statistics reading, when it has one
};

// What the service tells a client of its line: where it records, whether its port is open, and
// each of its stations.
struct LINTARO_API CZarndReport {
    static constexpr std::size_t kMaxHistory = 1024;
    static constexpr std::size_t kMaxStations = 256;

    std::string m_strHistory; // a file or a postgresql:// URL, never with a password
    bool m_bLineOpen = false;
    std::vector<CZarndStation> m_stations;
};
