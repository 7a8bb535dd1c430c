#include "records/TextFormat.h"

#include <charconv>
#include <cmath>

std::string FormatOneDecimal(double value) {
    if (!std::isfinite(value)) {
        return "nan";
    }
    char buffer[64];
    auto [end, ec] =
        std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, 1);
    if (ec != std::errc()) {
        return "nan";
    }
    std::string text(buffer, end);
    // A tiny negative rounds to "-0.0", which reads as a different number from 0.
    if (text == "-0.0") {
        text = "0.0";
    }
    return text;
}

double PercentOf(long long count, long long total) {
    if (total <= 0 || count == 0) {
        return 0.0;
    }
    return static_cast<double>(count) / static_cast<double>(total) * 100.0;
}

std::string FormatPercent(double percent) {
    return FormatOneDecimal(percent) + "%";
}

std::string FormatPercent(unsigned long count, unsigned long total) {
    return FormatPercent(PercentOf(static_cast<long long>(count), static_cast<long long>(total)));
}

std::string FormatHundredths(unsigned long value) {
    std::string cents = std::to_string(value % 100);
    if (cents.size() < 2) {
        cents.insert(0, "0");
    }
    return std::to_string(value / 100) + "." + cents;
}

std::string PadLeft(const std::string& text, std::size_t width) {
    return text.size() >= width ? text : std::string(width - text.size(), ' ') + text;
}

std::string PadRight(const std::string& text, std::size_t width) {
    return text.size() >= width ? text : text + std::string(width - text.size(), ' ');
}
