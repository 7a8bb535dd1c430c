#pragma once

#include <string>

// The operator's preferences that the Preferences dialog edits, with their setting names: the
// presence sweep's period ("SweepPeriod", seconds, 0 for none), the alarm thresholds
// ("CpkAlarm", "BadAlarm" in per cent) and the fewest crimps from which Cp and Cpk are rated
// ("CapabilityMinCrimps"). Missing or absurd settings read as their defaults.
class CPreferences {
public:
    static constexpr unsigned kMaxSweepSeconds = 24 * 3600;
    static constexpr unsigned kMaxMinCrimps = 100000;

    unsigned m_nSweepSeconds = 60;
    double m_dCpkAlarm = 1.33;
    double m_dBadAlarm = 2.0;
    unsigned m_nMinCrimps = 25;

    static CPreferences Load();
    void Save() const;
    // The values brought inside their ranges.
    CPreferences Clamped() const;
};
