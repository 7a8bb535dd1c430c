#pragma once

#include "app/framework/MessageRecorder.h"
#include "app/shell/QuorvelApp.h"
#include "sim/ZarnSimulator.h"
#include "tests/app/TempConfig.h"

#include <gtest/gtest.h>

#include <memory>

// The program on a simulated line of twelve analysers, in a folder of its own, with its
// messages recorded. The line is started once for the suite; every test begins with all the
// analysers answering, and StartApp runs the program on the line.
class SimulatedAppTest : public ::testing::Test {
protected:
    static void SetUpTestSuite();
    static void TearDownTestSuite();

    void SetUp() override;
    void TearDown() override;

    // Wrap in ASSERT_NO_FATAL_FAILURE: it fails when the program does not start.
    void StartApp();
    bool Enabled(UINT nID);
    // Runs the event loop until every request on the line has come back and been dealt with
    // (messages shown, windows opened or closed); false when that takes over the deadline.
    bool WaitForLine(int nMs = 30000);
    SimAnalyserState State(int node);

    static std::unique_ptr<CZarnSimulator> s_sim;
    CTempConfig m_config;
    CMessageRecorder m_messages;
    std::unique_ptr<CQuorvelApp> m_app;
};
