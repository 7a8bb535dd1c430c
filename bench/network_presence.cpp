// Software overhead of one presence test (RequestACK) over the network against the pseudo-
// terminal, in one run, all on unpaced simulated lines: the pty; socket:// to the simulator's
// own TCP server; socket:// and rfc2217:// through ser2net bridging a simulator's pty. Medians
// and their ratio to the pty's. Target: direct TCP within 1.5 times the pty's median.

#include "BenchLine.h"
#include "tests/tools/Ser2netProcess.h"

#include <algorithm>
#include <vector>

namespace {

constexpr int kWarmUp = 300;
constexpr int kRounds = 10;
constexpr int kPerRound = 300;
constexpr double kTargetRatio = 1.5;

std::unique_ptr<CZarnSimulator> StartLine(const std::string& tcp) {
    CZarnSimulator::Options options;
    options.nodes = {1};
    options.nCrimpIntervalMs = 0;
    options.strTcp = tcp;
    auto sim = std::make_unique<CZarnSimulator>(options);
    std::string error;
    if (!sim->Start(&error)) {
        std::fprintf(stderr, "simulator: %s\n", error.c_str());
        std::exit(2);
    }
    return sim;
}

std::unique_ptr<CZarnPort> OpenPort(const std::string& name) {
    auto port = std::make_unique<CZarnPort>(name.c_str(), 57600, 0, 0);
    if (!port->SetCommPort()) {
        std::fprintf(stderr, "cannot open %s: %s\n", name.c_str(),
                     lintaro::DescribeOpenError(port->GetOpenError()).c_str());
        std::exit(2);
    }
    for (int i = 0; i < kWarmUp; ++i) {
        if (!port->RequestACK(1)) {
            std::fprintf(stderr, "warm-up request on %s failed\n", name.c_str());
            std::exit(2);
        }
    }
    return port;
}

// One round of timed requests, added to the samples in microseconds.
void Measure(CZarnPort& port, std::vector<double>& us) {
    for (int i = 0; i < kPerRound; ++i) {
        const auto start = std::chrono::steady_clock::now();
        const int ok = port.RequestACK(1);
        us.push_back(SecondsSince(start) * 1e6);
        if (!ok) {
            std::fprintf(stderr, "request failed on %s: %s\n", port.GetCommPort(),
                         ZarnErrorText(port.GetLastError()));
            std::exit(2);
        }
    }
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

} // namespace

int main() {
    // The pty and the simulator's TCP server on one line; the line answers the side that
    // wrote last, so the two take turns round by round.
    auto line = StartLine("127.0.0.1:0");
    auto pty = OpenPort(line->DevicePath());
    auto tcp = OpenPort(line->TcpUrl());
    struct Way {
        const char* pszName;
        CZarnPort* pPort;
        std::vector<double> us;
    };
    std::vector<Way> ways = {{"pty", pty.get(), {}}, {"socket:// to zarnsim --tcp", tcp.get(), {}}};

    // ser2net needs a pty of its own to bridge: one line each for its raw and Telnet modes.
    std::vector<std::unique_ptr<CZarnSimulator>> bridged;
    std::vector<std::unique_ptr<CSer2net>> servers;
    std::vector<std::unique_ptr<CZarnPort>> bridgedPorts;
    const std::string ser2net = FindSer2net();
    for (bool telnet : {false, true}) {
        if (ser2net.empty()) {
            break;
        }
        bridged.push_back(StartLine(""));
        servers.push_back(
            std::make_unique<CSer2net>(ser2net, bridged.back()->DevicePath(), telnet));
        if (!servers.back()->Ready()) {
            std::fprintf(stderr, "ser2net did not start: %s\n", servers.back()->Log().c_str());
            return 2;
        }
        bridgedPorts.push_back(OpenPort(servers.back()->Url()));
        ways.push_back({telnet ? "rfc2217:// through ser2net" : "socket:// through ser2net",
                        bridgedPorts.back().get(),
                        {}});
    }

    for (int round = 0; round < kRounds; ++round) {
        for (Way& way : ways) {
            Measure(*way.pPort, way.us);
        }
    }
    const double base = Median(ways[0].us);
    std::printf(
        "RequestACK overhead, unpaced lines (%d requests each, in %d alternating rounds):\n",
        kRounds * kPerRound, kRounds);
    for (const Way& way : ways) {
        const double median = Median(way.us);
        std::printf("  %-28s median %8.1f us  (%.2f x the pty)\n", way.pszName, median,
                    median / base);
    }
    if (ser2net.empty()) {
        std::printf("  ser2net is not installed: its two modes were not measured\n");
    }
    const double ratio = Median(ways[1].us) / base;
    const bool bMet = ratio <= kTargetRatio;
    std::printf("  direct TCP / pty = %.2f  [target <= %.1f: %s]\n", ratio, kTargetRatio,
                bMet ? "met" : "MISSED");
    return bMet ? 0 : 1;
}
