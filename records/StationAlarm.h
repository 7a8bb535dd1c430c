#pragma once

#include "network/Stats.h"

// When a station's statistics call for attention: its Cpk below a limit or its share of bad
// crimps above one. A batch without crimps is never in alarm, and a Cpk from fewer crimps than
// the minimum says too little to raise one.
class CStationAlarm {
public:
    double m_dCpk = 1.33;
    double m_dBadPercent = 2.0;
    unsigned m_nMinCrimps = 25;

    bool IsAlarm(const CStats& stats) const {
        const int nTotal = static_cast<int>(stats.m_nGood) + static_cast<int>(stats.m_nBad);
        if (nTotal <= 0) {
            return false;
        }
        const double dBad = 100.0 * static_cast<double>(stats.m_nBad) / nTotal;
        const bool bCpkCounts = static_cast<unsigned>(nTotal) >= m_nMinCrimps;
        return (bCpkCounts && stats.m_fCpk < m_dCpk) || dBad > m_dBadPercent;
    }
};
