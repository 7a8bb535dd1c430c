// The zarnctl program itself against the simulated line, over a real pseudo-terminal.

#include "network/ZarnPort.h"
#include "sim/ZarnSimulator.h"
#include "tests/tools/RunZarnctl.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

class ZarnctlEndToEnd : public ::testing::Test {
protected:
    void SetUp() override {
        CZarnSimulator::Options options;
        options.nodes = {3, 7, 9};
        options.faults = {{9, SimFault::silent}};
        options.nCrimpIntervalMs = 0; // the batch changes only when the test says so
        m_pSim = std::make_unique<CZarnSimulator>(options);
        std::string error;
        ASSERT_TRUE(m_pSim->Start(&error)) << error;
        m_strPath = m_pSim->DevicePath();
        ASSERT_FALSE(m_strPath.empty());
    }

    ProgramResult Zarnctl(std::vector<std::string> args) {
        args.insert(args.begin(), {"--port", m_strPath});
        return RunZarnctl(args);
    }

    SimAnalyserState State(int node) {
        SimAnalyserState state;
        EXPECT_TRUE(m_pSim->GetState(node, state));
        return state;
    }

    std::unique_ptr<CZarnSimulator> m_pSim;
    std::string m_strPath;
};

TEST_F(ZarnctlEndToEnd, ReadsAndSetsParametersOnTheLine) {
    SimAnalyserState s = State(3);
    s.nBLO = 321;
    s.nPass = 40;
    s.nFail = 2;
    ASSERT_TRUE(m_pSim->SetState(3, s));

    ProgramResult blo = Zarnctl({"--json", "get", "3", "blo"});
    EXPECT_EQ(blo.nExit, 0) << blo.strErr;
    EXPECT_EQ(blo.strOut, "{\"node\":3,\"blo\":321}\n");

    ProgramResult counts = Zarnctl({"get", "3", "counts"});
    EXPECT_EQ(counts.nExit, 0) << counts.strErr;
    EXPECT_EQ(counts.strOut, "node   3  pass 40  fail 2  (total 42, 95.2% pass)\n");

    ProgramResult set = Zarnctl({"--json", "set", "3", "tfactor", "175"});
    EXPECT_EQ(set.nExit, 0) << set.strErr;
    EXPECT_EQ(set.strOut, "{\"node\":3,\"ok\":true}\n");
    EXPECT_EQ(State(3).nTFactor, 175);

    ProgramResult ping = Zarnctl({"--json", "ping", "7", "9"});
    EXPECT_EQ(ping.nExit, 1);
    EXPECT_EQ(ping.strOut, "{\"nodes\":[{\"node\":7,\"online\":true},"
                           "{\"node\":9,\"online\":false,\"error\":\"no reply\"}]}\n");
}

TEST_F(ZarnctlEndToEnd, DownloadsCurveAndBatchAsTheAnalyserHoldsThem) {
    ASSERT_TRUE(m_pSim->AddCrimps(3, {100, 4095, 7}));
    const SimAnalyserState s = State(3);
    ASSERT_EQ(s.curve.size(), 500u);

    ProgramResult curve = Zarnctl({"--json", "curve", "3"});
    EXPECT_EQ(curve.nExit, 0) << curve.strErr;
    EXPECT_EQ(curve.strOut,
              "{\"node\":3,\"curve\":\"force\",\"points\":" + PointsJson(s.curve) + "}\n");

    ProgramResult reference = Zarnctl({"--json", "curve", "3", "--reference"});
    EXPECT_EQ(reference.nExit, 0) << reference.strErr;
    EXPECT_EQ(reference.strOut,
              "{\"node\":3,\"curve\":\"reference\",\"points\":" + PointsJson(s.reference) + "}\n");

    ProgramResult batch = Zarnctl({"--json", "batch", "3"});
    EXPECT_EQ(batch.nExit, 0) << batch.strErr;
    const std::string head =
        "{\"node\":3,\"ok\":true,\"count\":" + std::to_string(s.batch.size()) + ",";
    EXPECT_EQ(batch.strOut.rfind(head, 0), 0u) << batch.strOut.substr(0, 200);
    EXPECT_NE(batch.strOut.find("\"points\":" + PointsJson(s.batch) + ",\"stats_ok\":true,"),
              std::string::npos);
    EXPECT_NE(batch.strOut.find("\"blo\":" + std::to_string(s.nBLO) + "}}"), std::string::npos);

    ProgramResult stats = Zarnctl({"stats", "3", "9"});
    EXPECT_EQ(stats.nExit, 1);
    EXPECT_EQ(stats.strOut.rfind("node    good     bad   total", 0), 0u) << stats.strOut;
    EXPECT_NE(stats.strOut.find("\n   9  failed: no reply\n"), std::string::npos);
}

TEST_F(ZarnctlEndToEnd, ResetNeedsYesWithoutATerminal) {
    ASSERT_TRUE(m_pSim->AddCrimps(7, {10, 20}));
    ProgramResult refused = Zarnctl({"reset", "7"});
    EXPECT_EQ(refused.nExit, 2);
    EXPECT_EQ(State(7).nResets, 0u);

    ProgramResult done = Zarnctl({"--yes", "--json", "reset", "7"});
    EXPECT_EQ(done.nExit, 0) << done.strErr;
    EXPECT_EQ(done.strOut, "{\"node\":7,\"ok\":true}\n");
    EXPECT_EQ(State(7).nResets, 1u);
    EXPECT_TRUE(State(7).batch.empty());
}

TEST_F(ZarnctlEndToEnd, ScanFindsTheAnsweringNodes) {
    ProgramResult scan = Zarnctl({"--json", "scan", "2-4"});
    EXPECT_EQ(scan.nExit, 0) << scan.strErr;
    EXPECT_EQ(scan.strOut, "{\"nodes\":[{\"node\":3,\"online\":true}]}\n");
    EXPECT_EQ(scan.strErr, ""); // standard error is a pipe here, not a terminal
}

TEST_F(ZarnctlEndToEnd, PortHeldByAnotherProgramOrMissingExitsThree) {
    CZarnPort holder(m_strPath.c_str(), 57600, NOPARITY, ONESTOPBIT);
    ASSERT_EQ(holder.SetCommPort(), 1);
    ProgramResult held = Zarnctl({"--json", "ping", "3"});
    EXPECT_EQ(held.nExit, 3);
    EXPECT_EQ(held.strOut, "{\"ok\":false,\"error\":\"the port is held by another program\","
                           "\"port\":\"" +
                               m_strPath + "\"}\n");
    EXPECT_NE(held.strErr.find("held by another program"), std::string::npos);

    ProgramResult missing = RunZarnctl({"--port", "/dev/zarnctl-no-such-port", "ping", "3"});
    EXPECT_EQ(missing.nExit, 3);
    EXPECT_NE(missing.strErr.find("no such serial device"), std::string::npos);
}

} // namespace
