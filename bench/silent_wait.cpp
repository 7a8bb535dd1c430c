// Processor time the controller spends while RequestACK waits out a silent node (the 1200 ms
// read time-out): user + system time of the calling thread, and of the whole process with the
// simulator in it. Target: the controller's thread at most 2 % of the wait.

#include "BenchLine.h"

#include <sys/resource.h>

namespace {

double CpuSeconds(int who) {
    struct rusage usage {};
    getrusage(who, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) * 1e-6;
}

} // namespace

int main() {
    constexpr int kRuns = 3;
    constexpr double kTarget = 0.02;
    CBenchLine line(false, SimFault::silent);
    double wall = 0.0;
    double thread = 0.0;
    double process = 0.0;
    for (int i = 0; i < kRuns; ++i) {
        const double thread0 = CpuSeconds(RUSAGE_THREAD);
        const double process0 = CpuSeconds(RUSAGE_SELF);
        const auto start = std::chrono::steady_clock::now();
        const int ok = line.pPort->RequestACK(1);
        wall += SecondsSince(start);
        thread += CpuSeconds(RUSAGE_THREAD) - thread0;
        process += CpuSeconds(RUSAGE_SELF) - process0;
        if (ok || line.pPort->GetLastError() != ZarnError::noReply) {
            std::fprintf(stderr, "the silent node did not time out as it should\n");
            return 2;
        }
    }
    const double share = thread / wall;
    const bool bMet = share <= kTarget;
    std::printf("RequestACK on a silent node (%d waits, %.0f ms each): controller thread %.3f %%"
                " of the wait (%.2f ms), whole process %.3f %%  [target <= %.0f %%: %s]\n",
                kRuns, wall / kRuns * 1e3, share * 100.0, thread * 1e3, process / wall * 100.0,
                kTarget * 100.0, bMet ? "met" : "MISSED");
    return bMet ? 0 : 1;
}
