// A quick scan of node IDs 1-254 with a 50 ms receive time-out (RequestACKWithin) on a paced
// simulated line where twelve nodes answer, over the pseudo-terminal and over socket:// to the
// simulator's TCP server. Target: each sweep 15 s or less (at the analysers' own 1200 ms a
// sweep takes about 291 s).

#include "BenchLine.h"

#include <vector>

int main() {
    constexpr unsigned long kTimeoutMs = 50;
    constexpr double kTargetS = 15.0;
    const std::vector<int> answering = {3, 17, 40, 62, 88, 101, 130, 150, 177, 200, 222, 250};

    CZarnSimulator::Options options;
    options.nodes = answering;
    options.bPace = true;
    options.nCrimpIntervalMs = 0;
    options.strTcp = "127.0.0.1:0";
    CZarnSimulator sim(options);
    std::string error;
    if (!sim.Start(&error)) {
        std::fprintf(stderr, "simulator: %s\n", error.c_str());
        return 2;
    }
    bool bMet = true;
    for (const std::string& name : {sim.DevicePath(), sim.TcpUrl()}) {
        CZarnPort port(name.c_str(), 57600, 0, 0);
        if (!port.SetCommPort()) {
            std::fprintf(stderr, "cannot open %s\n", name.c_str());
            return 2;
        }
        std::vector<int> found;
        const auto start = std::chrono::steady_clock::now();
        for (int node = 1; node <= 254; ++node) {
            if (port.RequestACKWithin(static_cast<unsigned char>(node), kTimeoutMs)) {
                found.push_back(node);
            }
        }
        const double seconds = SecondsSince(start);
        if (found != answering) {
            std::fprintf(stderr, "%s: the scan found %zu of the %zu answering nodes\n",
                         name.c_str(), found.size(), answering.size());
            return 2;
        }
        const bool bThis = seconds <= kTargetS;
        bMet = bMet && bThis;
        std::printf("Quick scan 1-254, paced line, %lu ms time-out, %s: %.2f s, %zu nodes found"
                    "  [target <= %.0f s: %s]\n",
                    kTimeoutMs, name.rfind("socket://", 0) == 0 ? "socket://" : "pty", seconds,
                    found.size(), kTargetS, bThis ? "met" : "MISSED");
    }
    return bMet ? 0 : 1;
}
