#include "app/stats/StatsFormat.h"

#include "records/ClassicNumbers.h"
#include "records/TextFormat.h"

#include <cstdio>
#include <ctime>
#include <vector>

namespace {

template <class T> std::string Print(const char* pszFormat, T value) {
    const CClassicNumbers classic;
    int n = std::snprintf(nullptr, 0, pszFormat, value);
    if (n <= 0) {
        return std::string();
    }
    std::vector<char> buffer(static_cast<std::size_t>(n) + 1);
    std::snprintf(buffer.data(), buffer.size(), pszFormat, value);
    return std::string(buffer.data(), static_cast<std::size_t>(n));
}

} // namespace

const std::array<CStatsFormat::Column, CStatsFormat::kColumns>& CStatsFormat::Columns() {
    static const std::array<Column, kColumns> s_columns = {{
        {"Station", 100},
        {"Good", 50},
        {"Bad", 50},
        {"Total", 50},
        {"%Bad", 50},
        {"%Good", 50},
        {"Min", 50},
        {"Max", 50},
        {"Mean", 50},
        {"StdDev", 50},
        {"Cp", 50},
        {"Cpk", 50},
    }};
    return s_columns;
}

int CStatsFormat::Total(const CStats& stats) {
    return static_cast<int>(stats.m_nGood) + static_cast<int>(stats.m_nBad);
}

double CStatsFormat::Percent(int nCount, int nTotal) {
    return PercentOf(nCount, nTotal);
}

std::string CStatsFormat::FormatCount(int nValue) {
    return Print("%d", nValue);
}

std::string CStatsFormat::FormatValue(double dValue) {
    return Print("%3.1f", dValue);
}

std::string CStatsFormat::FormatPercent(double dPercent) {
    return ::FormatPercent(dPercent);
}

std::array<std::string, CStatsFormat::kValueColumns> CStatsFormat::FormatRow(const CStats& stats) {
    int nTotal = Total(stats);
    return {
        FormatCount(stats.m_nGood),
        FormatCount(stats.m_nBad),
        FormatCount(nTotal),
        FormatPercent(Percent(stats.m_nBad, nTotal)),
        FormatPercent(Percent(stats.m_nGood, nTotal)),
        FormatCount(stats.m_nMin),
        FormatCount(stats.m_nMax),
        FormatValue(stats.m_fMean),
        FormatValue(stats.m_fStdDev),
        FormatValue(stats.m_fCp),
        FormatValue(stats.m_fCpk),
    };
}

std::string CStatsFormat::FormatTime(std::chrono::system_clock::time_point when) {
    if (when == std::chrono::system_clock::time_point{}) {
        return "never";
    }
    const std::time_t t = std::chrono::system_clock::to_time_t(when);
    std::tm local{};
    localtime_r(&t, &local);
    char buf[32];
    std::strftime(buf, sizeof buf, "%Y-%m-%d %H:%M:%S", &local);
    return buf;
}

int CStatsFormat::CompareNatural(const std::string& a, const std::string& b) {
    auto digit = [](char c) { return c >= '0' && c <= '9'; };
    auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
    std::size_t i = 0;
    std::size_t j = 0;
    while (i < a.size() && j < b.size()) {
        if (digit(a[i]) && digit(b[j])) {
            // Two numbers: leading zeros aside, the longer is the larger, else digit by digit.
            while (i < a.size() && a[i] == '0' && i + 1 < a.size() && digit(a[i + 1])) {
                ++i;
            }
            while (j < b.size() && b[j] == '0' && j + 1 < b.size() && digit(b[j + 1])) {
                ++j;
            }
            std::size_t ei = i;
            std::size_t ej = j;
            while (ei < a.size() && digit(a[ei])) {
                ++ei;
            }
            while (ej < b.size() && digit(b[ej])) {
                ++ej;
            }
            if (ei - i != ej - j) {
                return ei - i < ej - j ? -1 : 1;
            }
            const int c = a.compare(i, ei - i, b, j, ej - j);
            if (c != 0) {
                return c < 0 ? -1 : 1;
            }
            i = ei;
            j = ej;
            continue;
        }
        const char ca = lower(a[i]);
        const char cb = lower(b[j]);
        if (ca != cb) {
            return static_cast<unsigned char>(ca) < static_cast<unsigned char>(cb) ? -1 : 1;
        }
        ++i;
        ++j;
    }
    if (i < a.size() || j < b.size()) {
        return i < a.size() ? 1 : -1;
    }
    return 0;
}
