#pragma once

#include "base/Export.h"

#include <cstdint>

// The millisecond time source under GetTickCount and Sleep. The process uses the system's
// steady clock unless a test installs another one.
class LINTARO_API CClock {
public:
    virtual ~CClock();
    // Milliseconds since an arbitrary start, wrapping at 2^32.
    virtual std::uint32_t TickCount() = 0;
    virtual void SleepMs(std::uint32_t ms) = 0;

    // The clock in force; never null.
    static CClock& Current();
    // Installs a clock for the whole process (null puts the system clock back).
    // The caller keeps ownership and must uninstall it before destroying it.
    static void Install(CClock* pClock);
};
