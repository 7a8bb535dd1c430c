// A force-curve download on a paced line: 8 request bytes echoed and 4008 reply bytes at the
// 57600-baud byte time are 4016 x 10 / 57600 s = 0.697 s of line time. Target: the download
// takes at most 1.03 times that.

#include "BenchLine.h"
#include "sim/LineSchedule.h"

#include <algorithm>
#include <vector>

int main() {
    constexpr int kRuns = 7;
    constexpr double kTarget = 1.03;
    const double lineTime =
        std::chrono::duration<double>(CLineSchedule::ByteEnd({}, 8 + 501 * 8).time_since_epoch())
            .count();
    CBenchLine line(true);
    std::vector<tagPOINT> points(500);
    std::vector<double> ratios;
    for (int i = 0; i < kRuns; ++i) {
        const auto start = std::chrono::steady_clock::now();
        const int ok = line.pPort->DownloadForceCurve(1, points.data());
        const double took = SecondsSince(start);
        if (!ok) {
            std::fprintf(stderr, "download %d failed: %s\n", i,
                         ZarnErrorText(line.pPort->GetLastError()));
            return 2;
        }
        ratios.push_back(took / lineTime);
    }
    std::sort(ratios.begin(), ratios.end());
    const double median = ratios[ratios.size() / 2];
    const double worst = ratios.back();
    const bool bMet = worst <= kTarget;
    std::printf("DownloadForceCurve, paced (%d runs, line time %.4f s): median %.4f s = %.4f x,"
                " worst %.4f x, best %.4f x  [target <= %.2f x: %s]\n",
                kRuns, lineTime, median * lineTime, median, worst, ratios.front(), kTarget,
                bMet ? "met" : "MISSED");
    return bMet ? 0 : 1;
}
