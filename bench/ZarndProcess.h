#pragma once

// zarnd (ZARND_PATH) started on a line for the benchmarks, its socket in a temporary folder.

#include "testsupport/ChildProcess.h"

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

struct CZarndProcess {
    CZarndProcess(const std::string& port, const std::vector<std::string>& args) {
        char pattern[] = "/tmp/zarnd-bench-XXXXXX";
        if (::mkdtemp(pattern) == nullptr) {
            std::fprintf(stderr, "mkdtemp failed\n");
            std::exit(2);
        }
        strDir = pattern;
        strSocket = strDir + "/line.sock";
        std::vector<std::string> argv = {
            ZARND_PATH, "--port", port, "--socket", strSocket, "--history", strDir + "/history.db"};
        argv.insert(argv.end(), args.begin(), args.end());
        CChildProcess::Options options;
        options.strLog = strDir + "/zarnd.log";
        options.bPipeOut = false;
        if (!process.Start(argv, options)) {
            std::fprintf(stderr, "cannot start zarnd: %s\n", process.Error().c_str());
            std::exit(2);
        }
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (!std::filesystem::exists(strSocket)) {
            if (std::chrono::steady_clock::now() > deadline) {
                std::fprintf(stderr, "zarnd did not come up; see %s\n", options.strLog.c_str());
                std::exit(2);
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    }
    ~CZarndProcess() {
        process.Signal(SIGTERM);
        process.Wait(20000);
        std::error_code error;
        std::filesystem::remove_all(strDir, error);
    }

    std::string strDir;
    std::string strSocket;
    CChildProcess process;
};
