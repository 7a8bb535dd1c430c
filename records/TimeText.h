#pragma once

#include <cstdint>
#include <string>

// Times of records: UTC milliseconds since 1970, written as ISO 8601.
class CTimeText {
public:
    static std::int64_t NowUtcMs();
    // "2024-05-01T12:34:56.789Z".
    static std::string FormatUtc(std::int64_t ms);
    // "2024-05-01", "2024-05-01T12:34", "2024-05-01 12:34:56.5" and the like, with an optional
    // "Z" or "+hh:mm"/"-hh:mm"; a time without a zone is UTC. False for anything else.
    static bool ParseUtc(const std::string& text, std::int64_t& ms);
    // The local date and time as "2024-05-01 14:34:56", for titles.
    static std::string FormatLocal(std::int64_t ms);
};
