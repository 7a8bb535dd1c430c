#pragma once

#include "network/Stats.h"

#include <array>
#include <chrono>
#include <string>

// How the statistics table shows one analyser's record: the column headings and widths, the
// totals and percentages, and the text of every value column.
class CStatsFormat {
public:
    static constexpr int kColumns = 12;
    static constexpr int kValueColumns = kColumns - 1; // all but the station's name

    struct Column {
        const char* pszHeading;
        int nWidth; // pixels
    };
    static const std::array<Column, kColumns>& Columns();

    // Good and bad crimps together.
    static int Total(const CStats& stats);
    // nCount of nTotal in per cent; 0 when either is 0 (or the total is negative).
    static double Percent(int nCount, int nTotal);

    static std::string FormatCount(int nValue);        // "%d"
    static std::string FormatValue(double dValue);     // "%3.1f"
    static std::string FormatPercent(double dPercent); // "12.5%"

    // The texts of columns 1 to 11 (Good to Cpk), in column order.
    static std::array<std::string, kValueColumns> FormatRow(const CStats& stats);
    // Names in the order people expect: runs of digits by their numbers ("Station 2" before
    // "Station 10"), letters without regard to case. Negative, zero or positive.
    static int CompareNatural(const std::string& a, const std::string& b);
    // A reading's time in local time, "YYYY-MM-DD hh:mm:ss"; "never" for none.
    static std::string FormatTime(std::chrono::system_clock::time_point when);
};
