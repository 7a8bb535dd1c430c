#include "app/shell/Preferences.h"

#include "app/shell/Registry.h"
#include "records/ClassicNumbers.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace {

constexpr double kMaxThreshold = 1e6;

double ReadNumber(const char* pszName, double dDefault) {
    std::string text;
    if (!ReadRegString(HKEY_LOCAL_MACHINE, REG_KEY_SETTINGS, pszName, text) || text.empty()) {
        return dDefault;
    }
    const CClassicNumbers classic;
    char* end = nullptr;
    const double value = std::strtod(text.c_str(), &end);
    return end != nullptr && *end == '\0' && value >= 0 && value < kMaxThreshold ? value : dDefault;
}

void WriteNumber(const char* pszName, double dValue) {
    const CClassicNumbers classic;
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%g", dValue);
    WriteRegString(HKEY_LOCAL_MACHINE, REG_KEY_SETTINGS, pszName, buffer);
}

} // namespace

CPreferences CPreferences::Load() {
    CPreferences prefs;
    DWORD value = 0;
    if (ReadRegDword(HKEY_LOCAL_MACHINE, REG_KEY_SETTINGS, "SweepPeriod", &value)) {
        prefs.m_nSweepSeconds = static_cast<unsigned>(std::min<DWORD>(value, kMaxSweepSeconds));
    }
    prefs.m_dCpkAlarm = ReadNumber("CpkAlarm", prefs.m_dCpkAlarm);
    prefs.m_dBadAlarm = ReadNumber("BadAlarm", prefs.m_dBadAlarm);
    if (ReadRegDword(HKEY_LOCAL_MACHINE, REG_KEY_SETTINGS, "CapabilityMinCrimps", &value)) {
        prefs.m_nMinCrimps = static_cast<unsigned>(std::min<DWORD>(value, kMaxMinCrimps));
    }
    return prefs;
}

CPreferences CPreferences::Clamped() const {
    CPreferences prefs = *this;
    prefs.m_nSweepSeconds = std::min(prefs.m_nSweepSeconds, kMaxSweepSeconds);
    prefs.m_nMinCrimps = std::min(prefs.m_nMinCrimps, kMaxMinCrimps);
    prefs.m_dCpkAlarm = std::clamp(prefs.m_dCpkAlarm, 0.0, kMaxThreshold - 1);
    prefs.m_dBadAlarm = std::clamp(prefs.m_dBadAlarm, 0.0, 100.0);
    return prefs;
}

void CPreferences::Save() const {
    const CPreferences prefs = Clamped();
    WriteRegDword(HKEY_LOCAL_MACHINE, REG_KEY_SETTINGS, "SweepPeriod", prefs.m_nSweepSeconds);
    WriteNumber("CpkAlarm", prefs.m_dCpkAlarm);
    WriteNumber("BadAlarm", prefs.m_dBadAlarm);
    WriteRegDword(HKEY_LOCAL_MACHINE, REG_KEY_SETTINGS, "CapabilityMinCrimps", prefs.m_nMinCrimps);
}
