#include "app/historyview/HistoryRange.h"

#include <utility>

void CHistoryRange::Resolve(std::int64_t nowMs) {
    std::int64_t length = 0;
    switch (m_span) {
    case Span::day:
        length = kDay;
        break;
    case Span::week:
        length = 7 * kDay;
        break;
    case Span::month:
        length = 30 * kDay;
        break;
    case Span::year:
        length = 365 * kDay;
        break;
    case Span::custom:
        if (m_nFromMs > m_nToMs) {
            std::swap(m_nFromMs, m_nToMs);
        }
        return;
    }
    m_nToMs = nowMs;
    m_nFromMs = nowMs - length;
}

std::int64_t CHistoryRange::BucketMs(std::int64_t lengthMs) {
    static constexpr std::int64_t kSteps[] = {
        kMinute,   5 * kMinute, 15 * kMinute, 30 * kMinute, kHour,    3 * kHour,
        6 * kHour, 12 * kHour,  kDay,         2 * kDay,     7 * kDay,
    };
    for (std::int64_t step : kSteps) {
        if (lengthMs <= step * kMaxBuckets) {
            return step;
        }
    }
    // Longer than some eight years: as many weeks as it takes.
    return (lengthMs / kMaxBuckets / (7 * kDay) + 1) * 7 * kDay;
}

CHistoryRange::Span CHistoryRange::FittingSpan(std::int64_t oldestMs, std::int64_t nowMs) {
    const std::int64_t age = nowMs - oldestMs;
    if (age <= kDay) {
        return Span::day;
    }
    if (age <= 7 * kDay) {
        return Span::week;
    }
    return age <= 30 * kDay ? Span::month : Span::year;
}

std::int64_t CHistoryRange::TickStepMs(std::int64_t lengthMs) {
    static constexpr std::int64_t kSteps[] = {
        kHour,    2 * kHour, 3 * kHour, 4 * kHour, 6 * kHour, 12 * kHour, kDay,
        2 * kDay, 5 * kDay,  7 * kDay,  14 * kDay, 30 * kDay, 60 * kDay,
    };
    constexpr std::int64_t kMaxTicks = 12;
    if (lengthMs > 2 * kDay && lengthMs <= 14 * kDay) {
        return kDay; // every day labelled
    }
    for (std::int64_t step : kSteps) {
        if (lengthMs <= step * kMaxTicks && (lengthMs <= 2 * kDay || step >= kDay)) {
            return step;
        }
    }
    return (lengthMs / kMaxTicks / (30 * kDay) + 1) * 30 * kDay;
}
