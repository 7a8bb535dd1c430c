// The presence test through the line service against the same test on the port directly, on
// the simulator over a pseudo-terminal, paced at the line's byte time (as on a real line) and
// unpaced (the software alone). Target: through the service at most 1.5 times the direct
// median on the paced line.

#include "BenchLine.h"
#include "ZarndProcess.h"

#include <algorithm>
#include <csignal>
#include <vector>

namespace {

double MedianUs(CZarnPort& port, int runs) {
    for (int i = 0; i < runs / 10; ++i) {
        port.RequestACK(1);
    }
    std::vector<double> us;
    for (int i = 0; i < runs; ++i) {
        const auto start = std::chrono::steady_clock::now();
        if (!port.RequestACK(1)) {
            std::fprintf(stderr, "request failed: %s\n", port.GetLastErrorText().c_str());
            std::exit(2);
        }
        us.push_back(SecondsSince(start) * 1e6);
    }
    std::sort(us.begin(), us.end());
    return us[us.size() / 2];
}

} // namespace

int main() {
    std::signal(SIGPIPE, SIG_IGN);
    bool bMet = true;
    for (const bool bPace : {true, false}) {
        const int runs = bPace ? 500 : 5000;
        CBenchLine line(bPace);
        const double direct = MedianUs(*line.pPort, runs);
        // The port is the service's now.
        line.pPort->ClosePort();
        CZarndProcess service(line.pSim->DevicePath(),
                              {"--nodes", "1", "--poll", "0", "--sweep", "0"});
        CZarnPort client(("zarnd://" + service.strSocket).c_str(), 57600, 0, 0);
        if (!client.SetCommPort()) {
            std::fprintf(stderr, "cannot open the service's socket\n");
            return 2;
        }
        const double shared = MedianUs(client, runs);
        const double ratio = shared / direct;
        if (bPace) {
            bMet = ratio <= 1.5;
        }
        std::printf("RequestACK, %s pty (%d runs): direct median %.1f us, through zarnd %.1f us, "
                    "ratio %.2f%s\n",
                    bPace ? "paced" : "unpaced", runs, direct, shared, ratio,
                    bPace ? (bMet ? "  [target <= 1.5: met]" : "  [target <= 1.5: MISSED]")
                          : "  [software overhead alone, no target]");
    }
    return bMet ? 0 : 1;
}
