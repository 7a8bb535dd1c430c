#pragma once

#include "base/Clock.h"

#include <cstdint>

// A clock that moves only when told to or when someone sleeps on it. Sleeping advances the
// time at once, so waits of any length run instantly and exactly in tests.
class CManualClock : public CClock {
public:
    explicit CManualClock(std::uint32_t start = 0) : m_dwNow(start) {}
    std::uint32_t TickCount() override { return m_dwNow; }
    void SleepMs(std::uint32_t ms) override {
        m_dwNow += ms;
        m_qwSlept += ms;
        ++m_nSleepCalls;
    }
    void Advance(std::uint32_t ms) { m_dwNow += ms; }
    void Set(std::uint32_t now) { m_dwNow = now; }
    // Total of all sleeps since construction.
    std::uint64_t SleptMs() const { return m_qwSlept; }
    unsigned SleepCalls() const { return m_nSleepCalls; }

private:
    std::uint32_t m_dwNow;
    std::uint64_t m_qwSlept = 0;
    unsigned m_nSleepCalls = 0;
};

// Installs a clock for the lifetime of a scope.
class CClockScope {
public:
    explicit CClockScope(CClock& clock) { CClock::Install(&clock); }
    ~CClockScope() { CClock::Install(nullptr); }
    CClockScope(const CClockScope&) = delete;
    CClockScope& operator=(const CClockScope&) = delete;
};
