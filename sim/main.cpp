// zarnsim: a simulated analyser line on a pseudo-terminal and, if asked, a raw TCP port, for
// people, scripts and the program's demo line. Prints the device path (then the TCP port name)
// and answers until SIGINT or SIGTERM.

#include "serial/NetAddress.h"
#include "sim/NodeList.h"
#include "sim/ZarnSimulator.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <pthread.h>
#include <string>

namespace {

const char kUsage[] =
    "usage: zarnsim [--nodes LIST] [--link PATH] [--pace] [--fault NODE:KIND]... [--seed N]\n"
    "               [--crimp-interval MS] [--tcp [HOST:]PORT [--no-pty]]\n"
    "\n"
    "Simulates Zarn analysers on one serial line (a pseudo-terminal) and prints the device\n"
    "path on the first line of its output; with --tcp the port name socket://HOST:PORT\n"
    "follows on the next line (on the first with --no-pty). Runs until interrupted (SIGINT,\n"
    "SIGTERM, or its terminal closing).\n"
    "\n"
    "  --nodes LIST          node IDs to answer as, e.g. 1-12 or 1,3,5-7 (default 1-12)\n"
    "  --link PATH           also make PATH a symbolic link to the device (an existing\n"
    "                        symbolic link is replaced, nothing else is); removed on exit\n"
    "  --pace                deliver bytes at the 57600-baud byte time\n"
    "  --fault NODE:KIND     make a node misbehave: silent, damaged, wrong-source,\n"
    "                        wrong-code, slow, wrong-end, short-batch, long-batch, noise\n"
    "  --seed N              seed for curves, batches and production (default 1)\n"
    "  --crimp-interval MS   mean time between simulated crimps per node, 0 for none\n"
    "                        (default 3000)\n"
    "  --tcp [HOST:]PORT     also serve the line as a raw TCP server on HOST (default\n"
    "                        127.0.0.1; 0.0.0.0 or [::] for every interface); port 0 takes a\n"
    "                        free port. One client at a time: a new client replaces the one\n"
    "                        before. The line answers whichever side wrote last.\n"
    "  --no-pty              serve the line over TCP only\n"
    "  --help                show this help\n";

int Usage(const std::string& problem) {
    std::cerr << "zarnsim: " << problem << "\nTry 'zarnsim --help'.\n";
    return 2;
}

bool ParseUnsigned(const std::string& text, unsigned long max, unsigned long& value) {
    if (text.empty() || text.size() > 10 ||
        text.find_first_not_of("0123456789") != std::string::npos) {
        return false;
    }
    value = std::stoul(text);
    return value <= max;
}

} // namespace

int main(int argc, char** argv) {
    CZarnSimulator::Options options;
    std::vector<std::pair<int, SimFault>> faults;
    bool bNoPty = false;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        std::string value;
        bool bInline = false;
        if (arg.rfind("--", 0) == 0) {
            const std::size_t eq = arg.find('=');
            if (eq != std::string::npos) {
                value = arg.substr(eq + 1);
                arg.resize(eq);
                bInline = true;
            }
        }
        auto take = [&](std::string& out) {
            if (bInline) {
                out = value;
                return true;
            }
            if (i + 1 >= argc) {
                return false;
            }
            out = argv[++i];
            return true;
        };
        if (arg == "--help" || arg == "-h") {
            std::cout << kUsage;
            return 0;
        }
        if (arg == "--pace" || arg == "--no-pty") {
            if (bInline) {
                return Usage(arg + " takes no value");
            }
            (arg == "--pace" ? options.bPace : bNoPty) = true;
        } else if (arg == "--tcp") {
            std::string host;
            unsigned port = 0;
            if (!take(options.strTcp) ||
                !CNetAddress::ParseHostPort(options.strTcp, true, true, host, port)) {
                return Usage("--tcp needs [HOST:]PORT (an IPv6 address in brackets)");
            }
        } else if (arg == "--nodes") {
            std::string why;
            if (!take(value)) {
                return Usage("--nodes needs a list");
            }
            if (!ParseNodeList(value, options.nodes, &why)) {
                return Usage("--nodes: " + why);
            }
        } else if (arg == "--link") {
            if (!take(options.strLink) || options.strLink.empty()) {
                return Usage("--link needs a path");
            }
        } else if (arg == "--fault") {
            if (!take(value)) {
                return Usage("--fault needs NODE:KIND");
            }
            const std::size_t colon = value.find(':');
            unsigned long node = 0;
            SimFault fault;
            if (colon == std::string::npos || !ParseUnsigned(value.substr(0, colon), 255, node) ||
                node == 0 || !ParseSimFault(value.substr(colon + 1), fault)) {
                return Usage("--fault: \"" + value + "\" is not NODE:KIND");
            }
            faults.emplace_back(static_cast<int>(node), fault);
        } else if (arg == "--seed") {
            unsigned long seed = 0;
            if (!take(value) || !ParseUnsigned(value, 0xFFFFFFFFul, seed)) {
                return Usage("--seed needs a number from 0 to 4294967295");
            }
            options.nSeed = static_cast<std::uint32_t>(seed);
        } else if (arg == "--crimp-interval") {
            unsigned long ms = 0;
            if (!take(value) || !ParseUnsigned(value, 86400000ul, ms)) {
                return Usage("--crimp-interval needs milliseconds from 0 to 86400000");
            }
            options.nCrimpIntervalMs = static_cast<unsigned>(ms);
        } else {
            return Usage("unknown argument \"" + arg + "\"");
        }
    }
    if (options.nodes.empty()) {
        for (int node = 1; node <= 12; ++node) {
            options.nodes.push_back(node);
        }
    }
    for (const auto& [node, fault] : faults) {
        bool bKnown = false;
        for (int n : options.nodes) {
            bKnown = bKnown || n == node;
        }
        if (!bKnown) {
            return Usage("--fault names node " + std::to_string(node) + ", which is not simulated");
        }
    }
    options.faults = faults;
    if (bNoPty && options.strTcp.empty()) {
        return Usage("--no-pty needs --tcp");
    }
    options.bPty = !bNoPty;

    // Block the stop signals before the serving thread starts, so only sigwait below sees them.
    // A closed terminal (SIGHUP) stops it as cleanly, link removed.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    sigaddset(&stopSignals, SIGHUP);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    CZarnSimulator simulator(options);
    std::string error;
    if (!simulator.Start(&error)) {
        std::cerr << "zarnsim: " << error << "\n";
        return 1;
    }
    std::string where;
    if (options.bPty) {
        std::printf("%s\n", simulator.DevicePath().c_str());
        where = simulator.DevicePath();
        if (!options.strLink.empty()) {
            where += " (" + options.strLink + ")";
        }
    }
    if (!options.strTcp.empty()) {
        std::printf("%s\n", simulator.TcpUrl().c_str());
        where += (where.empty() ? "" : " and ") + simulator.TcpUrl();
    }
    std::fflush(stdout);
    std::cerr << "zarnsim: " << options.nodes.size() << " analyser(s) on " << where;
    std::cerr << (options.bPace ? ", paced" : "") << "; stop with Ctrl+C\n";

    int signal = 0;
    while (sigwait(&stopSignals, &signal) != 0) {
    }
    simulator.Stop();
    return 0;
}
