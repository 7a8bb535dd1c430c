#pragma once

#include <cstdint>

// The time range a history window shows, and the size of the buckets its charts are drawn
// from: small enough to show the shape, large enough that a chart holds a few hundred points
// at most, however long the range.
class CHistoryRange {
public:
    enum class Span { day, week, month, year, custom };

    static constexpr std::int64_t kMinute = 60 * 1000;
    static constexpr std::int64_t kHour = 60 * kMinute;
    static constexpr std::int64_t kDay = 24 * kHour;
    // The most buckets one chart is drawn from.
    static constexpr std::int64_t kMaxBuckets = 400;

    Span m_span = Span::week;
    // UTC milliseconds; for the spans other than custom, set by Resolve.
    std::int64_t m_nFromMs = 0;
    std::int64_t m_nToMs = 0;

    // The last 24 hours, 7, 30 or 365 days up to now; a custom range as it stands (its ends
    // swapped when given the wrong way round).
    void Resolve(std::int64_t nowMs);
    std::int64_t LengthMs() const { return m_nToMs - m_nFromMs; }
    // The smallest of 1, 5, 15, 30 minutes, 1, 3, 6, 12 hours, 1, 2, 7 days that splits the
    // range into at most kMaxBuckets (a week's steps for anything longer).
    static std::int64_t BucketMs(std::int64_t lengthMs);
    // The shortest fixed span up to nowMs that holds a record of oldestMs.
    static Span FittingSpan(std::int64_t oldestMs, std::int64_t nowMs);
    // The step between the time axis's ticks: round hours up to two days (at most 12 ticks),
    // every day up to a fortnight, round numbers of days beyond.
    static std::int64_t TickStepMs(std::int64_t lengthMs);
};
