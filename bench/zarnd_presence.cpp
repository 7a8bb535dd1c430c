// The presence test through the line service against the same test on the port directly, on
// the simulator over a pseudo-terminal, unpaced (the software alone) and paced at the line's
// byte time (as on a real line). Two simulated lines, one for each way, are measured in turns,
// so that what else the machine does falls on both alike. Target: through the service at most
// 1.5 times the direct median, unpaced and paced.

#include "BenchLine.h"
#include "ZarndProcess.h"

#include <algorithm>
#include <csignal>
#include <vector>

namespace {

void Measure(CZarnPort& port, int runs, std::vector<double>& us) {
    for (int i = 0; i < runs; ++i) {
        const auto start = std::chrono::steady_clock::now();
        if (!port.RequestACK(1)) {
            std::fprintf(stderr, "request failed: %s\n", port.GetLastErrorText().c_str());
            std::exit(2);
        }
        us.push_back(SecondsSince(start) * 1e6);
    }
}

double Median(std::vector<double> us) {
    std::sort(us.begin(), us.end());
    return us[us.size() / 2];
}

} // namespace

int main() {
    std::signal(SIGPIPE, SIG_IGN);
    bool bMet = true;
    for (const bool bPace : {false, true}) {
        const int rounds = 10;
        const int runs = bPace ? 50 : 500;
        CBenchLine direct(bPace);
        CBenchLine shared(bPace);
        // The second line's port is the service's.
        shared.pPort->ClosePort();
        CZarndProcess service(shared.pSim->DevicePath(),
                              {"--nodes", "1", "--poll", "0", "--sweep", "0"});
        CZarnPort client(("zarnd://" + service.strSocket).c_str(), 57600, 0, 0);
        if (!client.SetCommPort()) {
            std::fprintf(stderr, "cannot open the service's socket\n");
            return 2;
        }
        std::vector<double> directUs;
        std::vector<double> sharedUs;
        std::vector<double> warmUp;
        Measure(*direct.pPort, runs / 10, warmUp);
        Measure(client, runs / 10, warmUp);
        for (int round = 0; round < rounds; ++round) {
            Measure(*direct.pPort, runs, directUs);
            Measure(client, runs, sharedUs);
        }
        const double ratio = Median(sharedUs) / Median(directUs);
        const bool bRoundMet = ratio <= 1.5;
        bMet = bMet && bRoundMet;
        std::printf("RequestACK, %s pty (%d runs each way, in %d turns): direct median %.1f us, "
                    "through zarnd %.1f us, ratio %.2f  [target <= 1.5: %s]\n",
                    bPace ? "paced" : "unpaced", rounds * runs, rounds, Median(directUs),
                    Median(sharedUs), ratio, bRoundMet ? "met" : "MISSED");
    }
    return bMet ? 0 : 1;
}
