#pragma once

#include "network/Point.h"
#include "network/Stats.h"

#include <cstdint>
#include <string>
#include <vector>

// One downloaded batch buffer with the statistics of the batch. Texts are UTF-8; the .buf file
// holds them in the 8-bit code page.
class CBatchRecord {
public:
    // The most entries a batch file holds, as many as the program's batch window.
    static constexpr unsigned kCapacity = 1000;

    std::string m_strTitle;
    std::vector<tagPOINT> m_points; // the entries, x the index and y the value
    int m_nLimitLine = 0;
    // Of the statistics a .buf file keeps only m_nMax; m_bHasStats says the rest is known.
    CStats m_stats;
    bool m_bHasStats = false;

    // Not in the .buf file.
    int m_nNodeID = 0; // -1 when unknown (a batch read from its file)
    std::string m_strStation;
    std::int64_t m_nTimeMs = 0; // UTC milliseconds of the download, 0 when unknown
};
