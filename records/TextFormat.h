#pragma once

#include <string>

// Number formatting for zarnctl's output, independent of the process's locale.

// A value with one decimal ("12.3", "-0.5"); the analyser's statistics are tenths.
std::string FormatOneDecimal(double value);

// count / total x 100 in floating point; 0 when the total is 0 or less or the count is 0.
double PercentOf(long long count, long long total);

// A percentage with one decimal and a '%' sign ("12.5%"), as the statistics window, the batch
// dialog and zarnctl show it.
std::string FormatPercent(double percent);

// count / total as a formatted percentage; "0.0%" when the total or the count is 0.
std::string FormatPercent(unsigned long count, unsigned long total);

// A raw factor held as hundredths, e.g. 150 as "1.50".
std::string FormatHundredths(unsigned long value);

// Right-aligns text in a field of the given width (longer text is left whole).
std::string PadLeft(const std::string& text, std::size_t width);
std::string PadRight(const std::string& text, std::size_t width);
