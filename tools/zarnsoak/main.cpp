// zarnsoak: the analyser exchange over a noisy line for as long as one likes, with a report of
// what went wrong and whether anything went wrong unnoticed.

#include "sim/NodeList.h"
#include "tools/zarnsoak/LineSoak.h"

#include <cstdlib>
#include <iostream>
#include <string>

namespace {

const char kUsage[] =
    "usage: zarnsoak [--rate R] [--requests N] [--seconds S] [--nodes LIST] [--seed N]\n"
    "                [--no-downloads]\n"
    "\n"
    "Sends a random mix of analyser requests to simulated analysers through a line that flips\n"
    "bits at the given rate, checks every outcome against the analysers, and reports requests,\n"
    "failures by reason, noise-made requests, false accepts and the longest request.\n"
    "\n"
    "  --rate R         chance of each bit being flipped (default 0.001)\n"
    "  --requests N     number of requests (default 20000)\n"
    "  --seconds S      stop after S seconds, even before N requests\n"
    "  --nodes LIST     simulated node IDs, e.g. 1-4 or 1,3,5-7 (default 1-4)\n"
    "  --seed N         seed of the mix, the noise and the analysers (default 1)\n"
    "  --no-downloads   leave curve and batch downloads out of the mix\n"
    "\n"
    "Exit status: 0 nothing went wrong unnoticed, 1 a false accept or an unexplained change,\n"
    "2 usage error, 3 the line could not be set up.\n";

int Usage(const std::string& problem) {
    std::cerr << "zarnsoak: " << problem << "\nTry 'zarnsoak --help'.\n";
    return 2;
}

bool ParseCount(const std::string& text, unsigned long& value) {
    if (text.empty() || text.size() > 9 ||
        text.find_first_not_of("0123456789") != std::string::npos) {
        return false;
    }
    value = std::stoul(text);
    return true;
}

} // namespace

int main(int argc, char** argv) {
    CLineSoak::Options options;
    options.nRequests = 20000;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help") {
            std::cout << kUsage;
            return 0;
        }
        if (arg == "--no-downloads") {
            options.bDownloads = false;
            continue;
        }
        if (i + 1 >= argc) {
            return Usage(arg + " needs a value or is unknown");
        }
        const std::string value = argv[++i];
        unsigned long n = 0;
        if (arg == "--rate") {
            char* end = nullptr;
            options.dBitErrorRate = std::strtod(value.c_str(), &end);
            if (end == value.c_str() || *end != '\0' || !(options.dBitErrorRate >= 0.0) ||
                options.dBitErrorRate > 1.0) {
                return Usage("--rate takes a number from 0 to 1");
            }
        } else if (arg == "--requests" && ParseCount(value, n) && n > 0) {
            options.nRequests = n;
        } else if (arg == "--seconds" && ParseCount(value, n) && n > 0) {
            options.nSeconds = n;
        } else if (arg == "--seed" && ParseCount(value, n)) {
            options.nSeed = static_cast<std::uint32_t>(n);
        } else if (arg == "--nodes") {
            std::string error;
            if (!ParseNodeList(value, options.nodes, &error)) {
                return Usage("--nodes: " + error);
            }
        } else {
            return Usage("bad option or value: " + arg + " " + value);
        }
    }
    CLineSoak soak(options);
    CLineSoak::Report report;
    std::string error;
    if (!soak.Run(report, &error)) {
        std::cerr << "zarnsoak: the line could not be set up: " << error << '\n';
        return 3;
    }
    std::cout << CLineSoak::Format(report);
    return report.nFalseAccepts == 0 && report.nUnexplainedChanges == 0 ? 0 : 1;
}
