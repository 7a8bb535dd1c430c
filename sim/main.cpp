// zarnsim: a simulated analyser line on a pseudo-terminal and, if asked, a raw TCP port, for
// people, scripts and the program's demo line. Prints the device path (then the TCP port name)
// and answers until SIGINT or SIGTERM.

#include "serial/NetAddress.h"
#include "sim/NodeList.h"
#include "sim/ZarnSimulator.h"

#include <CLI/CLI.hpp>
#include <quorvel/Version.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <iostream>
#include <pthread.h>
#include <string>

namespace {

const char kUsage[] =
    "Usage: zarnsim [OPTION]...\n"
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
    "  --help                show this help\n"
    "  --version             print the version\n";

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

    // CLI11 reads the words; what is wrong is judged and worded here, and the first problem
    // on the line is the one reported (--help before any shows the help).
    CLI::App app;
    app.set_help_flag();
    app.allow_extras();
    std::string problem;
    bool bHelp = false;
    auto open = [&] { return !bHelp && problem.empty() && app.remaining().empty(); };
    auto value = [&](const char* name, const char* missing,
                     std::function<std::string(std::string)> use) {
        app.add_option_function<std::string>(name,
                                             [&, use](const std::string& text) {
                                                 if (open()) {
                                                     problem = use(text);
                                                 }
                                             })
            ->trigger_on_parse()
            ->multi_option_policy(CLI::MultiOptionPolicy::TakeLast)
            ->description(missing);
    };
    value("--tcp", "--tcp needs [HOST:]PORT (an IPv6 address in brackets)", [&](std::string text) {
        std::string host;
        unsigned port = 0;
        options.strTcp = text;
        return CNetAddress::ParseHostPort(text, true, true, host, port)
                   ? std::string()
                   : "--tcp needs [HOST:]PORT (an IPv6 address in brackets)";
    });
    value("--nodes", "--nodes needs a list", [&](std::string text) {
        std::string why;
        return ParseNodeList(text, options.nodes, &why) ? std::string() : "--nodes: " + why;
    });
    value("--link", "--link needs a path", [&](std::string text) {
        options.strLink = text;
        return text.empty() ? "--link needs a path" : std::string();
    });
    value("--fault", "--fault needs NODE:KIND", [&](std::string text) {
        const std::size_t colon = text.find(':');
        unsigned long node = 0;
        SimFault fault;
        if (colon == std::string::npos || !ParseUnsigned(text.substr(0, colon), 255, node) ||
            node == 0 || !ParseSimFault(text.substr(colon + 1), fault)) {
            return "--fault: \"" + text + "\" is not NODE:KIND";
        }
        faults.emplace_back(static_cast<int>(node), fault);
        return std::string();
    });
    value("--seed", "--seed needs a number from 0 to 4294967295", [&](std::string text) {
        unsigned long seed = 0;
        if (!ParseUnsigned(text, 0xFFFFFFFFul, seed)) {
            return "--seed needs a number from 0 to 4294967295";
        }
        options.nSeed = static_cast<std::uint32_t>(seed);
        return "";
    });
    value("--crimp-interval", "--crimp-interval needs milliseconds from 0 to 86400000",
          [&](std::string text) {
              unsigned long ms = 0;
              if (!ParseUnsigned(text, 86400000ul, ms)) {
                  return "--crimp-interval needs milliseconds from 0 to 86400000";
              }
              options.nCrimpIntervalMs = static_cast<unsigned>(ms);
              return "";
          });
    app.add_flag("--pace", options.bPace)->disable_flag_override();
    app.add_flag("--no-pty", bNoPty)->disable_flag_override();
    app.add_flag_callback("-h,--help", [&] { bHelp = bHelp || open(); })->trigger_on_parse();
    bool bVersion = false;
    app.add_flag_callback("--version", [&] { bVersion = bVersion || open(); })->trigger_on_parse();

    // "--name=" gives an empty value rather than taking the next word, and a flag takes no
    // value at all, not even an empty or a true one.
    std::vector<std::string> words;
    for (int i = argc - 1; i > 0; --i) {
        std::string arg = argv[i];
        const std::string name = arg.substr(0, arg.find('='));
        if (arg.size() > name.size() && (name == "--pace" || name == "--no-pty")) {
            arg = name + "=no";
        } else if (arg.size() > 3 && arg.rfind("--", 0) == 0 && arg.back() == '=') {
            words.emplace_back();
            arg.pop_back();
        }
        words.push_back(arg);
    }
    const std::vector<std::string> all = words;
    try {
        app.parse(words);
    } catch (const CLI::ParseError&) {
        // A value option ending the line, or a flag given a value: the word CLI11 stopped at.
        if (open() && words.size() < all.size()) {
            const std::string culprit = all[words.size()];
            const std::string name = culprit.substr(0, culprit.find('='));
            const CLI::Option* option = app.get_option_no_throw(name);
            problem = option != nullptr && option->get_items_expected_min() > 0
                          ? option->get_description()
                          : name + " takes no value";
        }
    }
    if (bHelp) {
        std::cout << kUsage;
        return 0;
    }
    if (bVersion) {
        std::cout << "zarnsim " << kQuorvelVersion << "\n";
        return 0;
    }
    if (!problem.empty()) {
        return Usage(problem);
    }
    if (!app.remaining().empty()) {
        std::string arg = app.remaining().front();
        if (arg.rfind("--", 0) == 0) {
            arg = arg.substr(0, arg.find('='));
        }
        return Usage("unknown argument \"" + arg + "\"");
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
