#pragma once

#include "network/Stats.h"

// When a station's statistics call for attention: its Cpk below a limit or its share of bad
// crimps above one. A batch without crimps is never in alarm.
class CStationAlarm {
public:
    double m_dCpk = 1.33;
    double m_dBadPercent = 2.0;

    bool IsAlarm(const CStats& stats) const {
        const int nTotal = static_cast<int>(stats.m_nGood) + static_cast<int>(stats.m_nBad);
        if (nTotal <= 0) {
            return false;
        }
        const double dBad = 100.0 * static_cast<double>(stats.m_nBad) / nTotal;
        return stats.m_fCpk < m_dCpk || dBad > m_dBadPercent;
    }
};
