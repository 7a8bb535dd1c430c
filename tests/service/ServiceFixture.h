#pragma once

// The zarnd program (ZARND_PATH) on a simulated line over a real pseudo-terminal, with its
// history and socket in a temporary folder.

#include "history/HistoryQuery.h"
#include "sim/ZarnSimulator.h"
#include "testsupport/ChildProcess.h"
#include "testsupport/WaitFor.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <vector>

class ServiceTest : public ::testing::Test {
protected:
    using Clock = std::chrono::steady_clock;

    void SetUp() override {
        char pattern[] = "/tmp/zarnd-test-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        m_strDir = pattern;
        // Other accounts reach the socket inside (a test may run a client as nobody).
        ::chmod(m_strDir.c_str(), 0755);
        m_strHistory = m_strDir + "/history.db";
        m_strSocket = m_strDir + "/line.sock";
        m_strLog = m_strDir + "/zarnd.log";
    }

    void TearDown() override {
        m_pService.reset();
        m_pSim.reset();
        std::error_code error;
        std::filesystem::remove_all(m_strDir, error);
    }

    void StartLine(std::vector<int> nodes, unsigned nCrimpIntervalMs = 0) {
        CZarnSimulator::Options options;
        options.nodes = std::move(nodes);
        options.nCrimpIntervalMs = nCrimpIntervalMs;
        options.nSeed = 5;
        m_pSim = std::make_unique<CZarnSimulator>(options);
        std::string error;
        ASSERT_TRUE(m_pSim->Start(&error)) << error;
    }

    // The service on the line with the history and socket of the folder, and the arguments.
    void StartService(std::vector<std::string> args, std::vector<std::string> env = {}) {
        std::vector<std::string> argv = {ZARND_PATH,  "--port",     m_pSim->DevicePath(),
                                         "--history", m_strHistory, "--socket",
                                         m_strSocket};
        argv.insert(argv.end(), args.begin(), args.end());
        m_pService = std::make_unique<CChildProcess>();
        CChildProcess::Options options;
        options.strLog = m_strLog;
        options.bPipeOut = false;
        options.env = std::move(env);
        ASSERT_TRUE(m_pService->Start(argv, options)) << m_pService->Error();
        ASSERT_TRUE(WaitFor([&] { return std::filesystem::exists(m_strSocket); }, 20000)) << Log();
    }

    // Stops the service with SIGTERM; its exit status.
    int StopService() {
        m_pService->Signal(SIGTERM);
        const int status = m_pService->Wait(20000);
        m_pService.reset();
        return status;
    }

    std::vector<CHistoryReading> Readings(int nNodeID = -1) {
        std::vector<CHistoryReading> readings;
        if (!std::filesystem::exists(m_strHistory)) {
            return readings;
        }
        CHistoryQuery query;
        if (!query.Open(m_strHistory)) {
            return readings;
        }
        CHistoryFilter filter;
        filter.m_nNodeID = nNodeID;
        query.Readings(filter, readings);
        return readings;
    }

    std::vector<CHistoryChangeEntry> Changes() {
        std::vector<CHistoryChangeEntry> changes;
        CHistoryQuery query;
        if (query.Open(m_strHistory)) {
            query.Changes(CHistoryFilter{}, changes);
        }
        return changes;
    }

    std::string Log() const {
        std::ifstream in(m_strLog);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }

    std::string m_strDir;
    std::string m_strHistory;
    std::string m_strSocket;
    std::string m_strLog;
    std::unique_ptr<CZarnSimulator> m_pSim;
    std::unique_ptr<CChildProcess> m_pService;
};
