#pragma once

#include "network/ZarnPort.h"
#include "sim/ZarnSimulator.h"

#include <gtest/gtest.h>

#include <chrono>
#include <memory>

// A simulated line with a real port on it, over a real pseudo-terminal.
class SimLine : public ::testing::Test {
protected:
    using Clock = std::chrono::steady_clock;

    static CZarnSimulator::Options QuietLine() {
        CZarnSimulator::Options options;
        options.nodes = {1, 2, 5, 200};
        options.nCrimpIntervalMs = 0;
        options.nSeed = 7;
        return options;
    }

    void StartLine(CZarnSimulator::Options options = QuietLine()) {
        m_pSim = std::make_unique<CZarnSimulator>(std::move(options));
        std::string error;
        ASSERT_TRUE(m_pSim->Start(&error)) << error;
        OpenPort();
    }

    void OpenPort() {
        m_pPort = std::make_unique<CZarnPort>(m_pSim->DevicePath().c_str(), 57600, 0, 0);
        ASSERT_EQ(m_pPort->SetCommPort(), 1) << m_pSim->DevicePath();
    }

    SimAnalyserState State(int node) {
        SimAnalyserState state;
        EXPECT_TRUE(m_pSim->GetState(node, state));
        return state;
    }

    static long MsSince(Clock::time_point start) {
        return static_cast<long>(
            std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count());
    }

    void TearDown() override {
        m_pPort.reset();
        m_pSim.reset();
    }

    std::unique_ptr<CZarnSimulator> m_pSim;
    std::unique_ptr<CZarnPort> m_pPort;
};
