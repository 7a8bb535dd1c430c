#pragma once

#include "network/ZarnPort.h"
#include "sim/ZarnSimulator.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

// One analyser that crimps only when told, for figures that do not drift.
inline CZarnSimulator::Options OneStillAnalyser() {
    CZarnSimulator::Options options;
    options.nodes = {1};
    options.nCrimpIntervalMs = 0;
    return options;
}

// Analysers 1 to nNodes on a line paced at its byte time, crimping every nCrimpIntervalMs (0: when
// told).
inline CZarnSimulator::Options PacedLine(int nNodes, unsigned nCrimpIntervalMs) {
    CZarnSimulator::Options options;
    for (int node = 1; node <= nNodes; ++node) {
        options.nodes.push_back(node);
    }
    options.nCrimpIntervalMs = nCrimpIntervalMs;
    options.bPace = true;
    return options;
}

// A simulated line, started; a benchmark without its line cannot go on.
inline std::unique_ptr<CZarnSimulator> StartBenchSim(const CZarnSimulator::Options& options) {
    auto pSim = std::make_unique<CZarnSimulator>(options);
    std::string error;
    if (!pSim->Start(&error)) {
        std::fprintf(stderr, "simulator: %s\n", error.c_str());
        std::exit(2);
    }
    return pSim;
}

// A simulated line of one analyser with the controller's port open on it.
struct CBenchLine {
    explicit CBenchLine(bool bPace, SimFault fault = SimFault::none) {
        CZarnSimulator::Options options = OneStillAnalyser();
        options.bPace = bPace;
        if (fault != SimFault::none) {
            options.faults = {{1, fault}};
        }
        pSim = StartBenchSim(options);
        pPort = std::make_unique<CZarnPort>(pSim->DevicePath().c_str(), 57600, 0, 0);
        if (!pPort->SetCommPort()) {
            std::fprintf(stderr, "cannot open %s\n", pSim->DevicePath().c_str());
            std::exit(2);
        }
    }

    std::unique_ptr<CZarnSimulator> pSim;
    std::unique_ptr<CZarnPort> pPort;
};

inline double SecondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}
