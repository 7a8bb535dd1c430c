#include "records/TimeText.h"

#include <chrono>
#include <cstdio>
#include <ctime>

namespace {

// Days since 1970-01-01 of a date in the proleptic Gregorian calendar.
std::int64_t DaysFromCivil(std::int64_t y, unsigned m, unsigned d) {
    y -= m <= 2;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const auto yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

void CivilFromDays(std::int64_t z, std::int64_t& y, unsigned& m, unsigned& d) {
    z += 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const auto doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    y = static_cast<std::int64_t>(yoe) + era * 400;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    d = doy - (153 * mp + 2) / 5 + 1;
    m = mp < 10 ? mp + 3 : mp - 9;
    y += m <= 2;
}

bool Digits(const std::string& s, std::size_t& at, std::size_t n, int& value) {
    if (at + n > s.size()) {
        return false;
    }
    value = 0;
    for (std::size_t i = 0; i < n; ++i) {
        const char c = s[at + i];
        if (c < '0' || c > '9') {
            return false;
        }
        value = value * 10 + (c - '0');
    }
    at += n;
    return true;
}

bool Expect(const std::string& s, std::size_t& at, char c) {
    if (at < s.size() && s[at] == c) {
        ++at;
        return true;
    }
    return false;
}

} // namespace

std::int64_t CTimeText::NowUtcMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

std::string CTimeText::FormatUtc(std::int64_t ms) {
    std::int64_t days = ms / 86400000;
    std::int64_t rest = ms % 86400000;
    if (rest < 0) {
        rest += 86400000;
        --days;
    }
    std::int64_t y = 0;
    unsigned m = 0, d = 0;
    CivilFromDays(days, y, m, d);
    const auto sec = static_cast<int>(rest / 1000);
    char text[48];
    std::snprintf(text, sizeof text, "%04lld-%02u-%02uT%02d:%02d:%02d.%03dZ",
                  static_cast<long long>(y), m, d, sec / 3600, sec / 60 % 60, sec % 60,
                  static_cast<int>(rest % 1000));
    return text;
}

bool CTimeText::ParseUtc(const std::string& s, std::int64_t& ms) {
    std::size_t at = 0;
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0, milli = 0;
    if (!Digits(s, at, 4, year) || !Expect(s, at, '-') || !Digits(s, at, 2, month) ||
        !Expect(s, at, '-') || !Digits(s, at, 2, day)) {
        return false;
    }
    if (month < 1 || month > 12 || day < 1 || day > 31) {
        return false;
    }
    if (at < s.size() && (s[at] == 'T' || s[at] == ' ')) {
        ++at;
        if (!Digits(s, at, 2, hour) || !Expect(s, at, ':') || !Digits(s, at, 2, minute)) {
            return false;
        }
        if (Expect(s, at, ':')) {
            if (!Digits(s, at, 2, second)) {
                return false;
            }
            if (Expect(s, at, '.')) {
                int scale = 100;
                std::size_t n = 0;
                while (at < s.size() && s[at] >= '0' && s[at] <= '9') {
                    milli += (s[at] - '0') * scale;
                    scale /= 10;
                    ++at;
                    ++n;
                }
                if (n == 0) {
                    return false;
                }
            }
        }
        if (hour > 23 || minute > 59 || second > 60) {
            return false;
        }
    }
    std::int64_t offsetMin = 0;
    if (Expect(s, at, 'Z')) {
    } else if (at < s.size() && (s[at] == '+' || s[at] == '-')) {
        const bool negative = s[at] == '-';
        ++at;
        int oh = 0, om = 0;
        if (!Digits(s, at, 2, oh)) {
            return false;
        }
        Expect(s, at, ':');
        if (at < s.size() && !Digits(s, at, 2, om)) {
            return false;
        }
        if (oh > 23 || om > 59) {
            return false;
        }
        offsetMin = (negative ? -1 : 1) * (oh * 60 + om);
    }
    if (at != s.size()) {
        return false;
    }
    const std::int64_t days =
        DaysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day));
    ms = ((days * 24 + hour) * 60 + minute - offsetMin) * 60000 + second * 1000 + milli;
    return true;
}

std::string CTimeText::FormatLocal(std::int64_t ms) {
    const std::time_t t = static_cast<std::time_t>(ms / 1000);
    std::tm local{};
    localtime_r(&t, &local);
    char text[64];
    if (std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local) == 0) {
        return {};
    }
    return text;
}
