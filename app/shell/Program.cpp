#include "app/shell/Program.h"

#include "app/framework/TerminationSignals.h"
#include "app/shell/CommandLineInfo.h"
#include "app/shell/QuorvelApp.h"
#include "app/shell/Registry.h"
#include "sim/ZarnSimulator.h"

#include <quorvel/Version.h>

#include <chrono>
#include <cstdio>
#include <memory>

int RunQuorvel(int argc, char** argv) {
    auto start = std::chrono::steady_clock::now();
    CCommandLineInfo info;
    std::string program = argc > 0 && argv[0] != nullptr ? argv[0] : "quorvel";
    if (!info.Parse(argc, argv)) {
        std::fprintf(stderr, "%s: %s\n%s", program.c_str(), info.m_strError.c_str(),
                     CCommandLineInfo::Usage(program).c_str());
        return 2;
    }
    if (info.m_bHelp) {
        std::printf("%s", CCommandLineInfo::Usage(program).c_str());
        return 0;
    }
    if (info.m_bVersion) {
        std::printf("quorvel %s\n", kQuorvelVersion);
        return 0;
    }
    RemoveLeftoverTemporaries();
    CTerminationSignals::Install();

    std::unique_ptr<CZarnSimulator> simulator;
    std::string simulatedPort;
    if (info.m_bSimulate) {
        simulator = std::make_unique<CZarnSimulator>(CZarnSimulator::Options{});
        std::string error;
        if (!simulator->Start(&error)) {
            std::fprintf(stderr, "%s: the simulated analyser line could not start: %s\n",
                         program.c_str(), error.c_str());
            return 1;
        }
        simulatedPort = simulator->DevicePath();
    }

    int code;
    {
        CQuorvelApp app(info, simulatedPort);
        if (info.m_bMeasureStartup) {
            app.MeasureStartup(start);
        }
        code = app.Run(argc, argv);
    }
    if (simulator != nullptr) {
        simulator->Stop();
    }
    return code;
}
