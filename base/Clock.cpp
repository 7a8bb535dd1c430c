#include "base/Clock.h"
#include "base/Tick.h"

#include <atomic>
#include <chrono>
#include <thread>

namespace {

class CSystemClock : public CClock {
public:
    std::uint32_t TickCount() override {
        auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                      std::chrono::steady_clock::now().time_since_epoch())
                      .count();
        return static_cast<std::uint32_t>(ms);
    }
    void SleepMs(std::uint32_t ms) override {
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
    }
};

CSystemClock g_systemClock;
std::atomic<CClock*> g_pClock{nullptr};
thread_local unsigned long t_dwLastError = 0;

} // namespace

CClock::~CClock() = default;

CClock& CClock::Current() {
    CClock* p = g_pClock.load(std::memory_order_acquire);
    return p ? *p : g_systemClock;
}

void CClock::Install(CClock* pClock) {
    g_pClock.store(pClock, std::memory_order_release);
}

namespace lintaro {

unsigned long GetTickCount() {
    return CClock::Current().TickCount();
}

void Sleep(unsigned long ms) {
    CClock::Current().SleepMs(static_cast<std::uint32_t>(ms));
}

void SetLastError(unsigned long code) {
    t_dwLastError = code;
}

unsigned long GetLastError() {
    return t_dwLastError;
}

} // namespace lintaro
