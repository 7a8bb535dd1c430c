// Software overhead of one presence test (RequestACK) against the unpaced simulator over a
// pseudo-terminal: transmit, echo, acknowledge. Target: median at most 150 us.

#include "BenchLine.h"

#include <algorithm>
#include <vector>

int main() {
    constexpr int kWarmUp = 500;
    constexpr int kRuns = 10000;
    constexpr double kTargetUs = 150.0;
    CBenchLine line(false);
    for (int i = 0; i < kWarmUp; ++i) {
        if (!line.pPort->RequestACK(1)) {
            std::fprintf(stderr, "warm-up request failed\n");
            return 2;
        }
    }
    std::vector<double> us;
    us.reserve(kRuns);
    for (int i = 0; i < kRuns; ++i) {
        const auto start = std::chrono::steady_clock::now();
        const int ok = line.pPort->RequestACK(1);
        us.push_back(SecondsSince(start) * 1e6);
        if (!ok) {
            std::fprintf(stderr, "request %d failed: %s\n", i,
                         ZarnErrorText(line.pPort->GetLastError()));
            return 2;
        }
    }
    std::sort(us.begin(), us.end());
    const double median = us[us.size() / 2];
    const double p99 = us[us.size() * 99 / 100];
    const bool bMet = median <= kTargetUs;
    std::printf("RequestACK, unpaced pty (%d runs): median %.1f us, p99 %.1f us, min %.1f us"
                "  [target median <= %.0f us: %s]\n",
                kRuns, median, p99, us.front(), kTargetUs, bMet ? "met" : "MISSED");
    return bMet ? 0 : 1;
}
