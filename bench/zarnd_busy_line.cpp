// A client's presence test through the line service while the service reads 12 stations'
// statistics without pause, on the simulator paced at the line's byte time. The client waits at
// most for the one statistics exchange under way. Target: p99 at most the line time (one presence
// and one statistics exchange on the port directly) + 20 ms, and no request fails.

#include "BenchLine.h"
#include "ZarndProcess.h"

#include <algorithm>
#include <csignal>
#include <random>
#include <thread>
#include <vector>

namespace {

double Percentile(std::vector<double> values, double fraction) {
    std::sort(values.begin(), values.end());
    const auto index = static_cast<std::size_t>(fraction * static_cast<double>(values.size() - 1));
    return values[index];
}

// Median time of one call on the port, in milliseconds.
template <typename Call> double MedianMs(int runs, Call call) {
    std::vector<double> ms;
    for (int i = 0; i < runs; ++i) {
        const auto start = std::chrono::steady_clock::now();
        if (!call()) {
            std::fprintf(stderr, "request failed on the port directly\n");
            std::exit(2);
        }
        ms.push_back(SecondsSince(start) * 1e3);
    }
    return Percentile(ms, 0.5);
}

} // namespace

int main() {
    std::signal(SIGPIPE, SIG_IGN);
    auto pSim = StartBenchSim(PacedLine(12, 0));

    double ackMs = 0;
    double statsMs = 0;
    double requestsPerReading = 1;
    {
        CZarnPort port(pSim->DevicePath().c_str(), 57600, 0, 0);
        if (!port.SetCommPort()) {
            std::fprintf(stderr, "cannot open %s\n", pSim->DevicePath().c_str());
            return 2;
        }
        ackMs = MedianMs(200, [&] { return port.RequestACK(1) != 0; });
        CStats stats;
        const unsigned long before = pSim->RequestsServed();
        statsMs = MedianMs(100, [&] { return port.GetStatistics(7, stats) != 0; });
        requestsPerReading = static_cast<double>(pSim->RequestsServed() - before) / 100.0;
    }
    const double lineMs = ackMs + statsMs;

    // Each of the 12 stations every 50 ms: more than the line carries, so it is never idle.
    CZarndProcess service(pSim->DevicePath(),
                          {"--nodes", "1-12", "--poll", "0.05", "--sweep", "0"});
    CZarnPort client(("zarnd://" + service.strSocket).c_str(), 57600, 0, 0);
    if (!client.SetCommPort()) {
        std::fprintf(stderr, "cannot open the service's socket\n");
        return 2;
    }
    // How busy the service keeps the line on its own.
    const unsigned long served = pSim->RequestsServed();
    const auto start = std::chrono::steady_clock::now();
    std::this_thread::sleep_for(std::chrono::seconds(2));
    const double readingsPerSecond = static_cast<double>(pSim->RequestsServed() - served) /
                                     requestsPerReading / SecondsSince(start);
    const double busy = std::min(1.0, readingsPerSecond * statsMs / 1e3);

    // Requests at random moments against the exchanges under way.
    std::mt19937 random(7);
    std::uniform_int_distribution<int> gapUs(0, 20000);
    std::vector<double> ms;
    int nFailed = 0;
    const int runs = 500;
    for (int i = 0; i < runs; ++i) {
        std::this_thread::sleep_for(std::chrono::microseconds(gapUs(random)));
        const auto begin = std::chrono::steady_clock::now();
        const bool ok = client.RequestACK(static_cast<unsigned>(1 + i % 12)) != 0;
        ms.push_back(SecondsSince(begin) * 1e3);
        nFailed += ok ? 0 : 1;
    }
    const double p50 = Percentile(ms, 0.5);
    const double p99 = Percentile(ms, 0.99);
    const double limit = lineMs + 20.0;
    const bool bMet = p99 <= limit && nFailed == 0;
    std::printf("Presence through zarnd on a paced line polled without pause (%d runs; line %.0f%% "
                "busy with %.1f readings/s): p50 %.1f ms, p99 %.1f ms, max %.1f ms, %d failed; "
                "line time %.1f ms (presence %.1f + statistics %.1f)  [target p99 <= %.1f ms, "
                "none failed: %s]\n",
                runs, busy * 100.0, readingsPerSecond, p50, p99, Percentile(ms, 1.0), nFailed,
                lineMs, ackMs, statsMs, limit, bMet ? "met" : "MISSED");
    return bMet ? 0 : 1;
}
