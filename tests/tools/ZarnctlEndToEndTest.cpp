// The zarnctl program itself against the simulated line, over a real pseudo-terminal.

#include "base/FileIO.h"
#include "history/HistoryStore.h"
#include "network/ZarnPort.h"
#include "records/BatchFile.h"
#include "records/CurveFile.h"
#include "sim/ZarnSimulator.h"
#include "tests/tools/RunZarnctl.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cstdlib>
#include <filesystem>
#include <regex>
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
    CZarnPort holder(m_strPath.c_str(), 57600, lintaro::NOPARITY, lintaro::ONESTOPBIT);
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

// A folder for the files a test writes, removed afterwards.
struct TempDir {
    TempDir() {
        std::string pattern = std::filesystem::temp_directory_path().string() + "/zarnctl-XXXXXX";
        if (::mkdtemp(pattern.data()) != nullptr) {
            path = pattern;
        }
    }
    ~TempDir() {
        std::error_code ignored;
        std::filesystem::remove_all(path, ignored);
    }
    std::string path;
};

TEST_F(ZarnctlEndToEnd, SavesCurvesAndBatchesInTheProgramsLayoutAndExportsThem) {
    ASSERT_TRUE(m_pSim->AddCrimps(3, {100, 4095, 7}));
    const SimAnalyserState s = State(3);
    TempDir dir;
    ASSERT_FALSE(dir.path.empty());
    const std::string curvePath = dir.path + "/press.cur";
    ProgramResult saved = Zarnctl({"curve", "3", "--save", curvePath, "--station", "Press Ä"});
    EXPECT_EQ(saved.nExit, 0) << saved.strErr;
    EXPECT_NE(saved.strOut.find("node   3  curve saved to " + curvePath), std::string::npos);

    std::vector<std::uint8_t> bytes;
    ASSERT_TRUE(ReadWholeFile(curvePath, bytes));
    CCurveRecord curve;
    std::string reason;
    ASSERT_TRUE(CCurveFile::FromBytes(bytes, curve, &reason)) << reason;
    EXPECT_EQ(curve.m_strTitle.rfind("Downloaded Curve - Press Ä (Node - 3) (", 0), 0u);
    EXPECT_EQ(curve.m_strStation, "Press Ä");
    EXPECT_EQ(curve.m_nNodeID, 3);
    for (std::size_t i = 0; i < 500; ++i) {
        ASSERT_EQ(curve.m_pForce[i].y, s.curve[i] & 0x0FFF) << i;
        ASSERT_EQ(curve.m_pReference[i].y, s.reference[i] & 0x0FFF) << i;
    }
    EXPECT_EQ(curve.m_nZoneInfo[4], s.zones[4]);
    EXPECT_EQ(curve.m_nPeakForce, s.nPeakForce);
    // The title and station in the code page, 8016 bytes of curves, node, zones and peak.
    EXPECT_EQ(bytes.size(), 1 + (curve.m_strTitle.size() - 1) + 8016 + 4 + 1 + 7 + 20 + 4);
    EXPECT_EQ(CCurveFile::ToBytes(curve), bytes);

    const std::string batchPath = dir.path + "/press.buf";
    ProgramResult batch = Zarnctl({"--json", "batch", "3", "--save", batchPath});
    EXPECT_EQ(batch.nExit, 0) << batch.strErr;
    EXPECT_NE(batch.strOut.find(",\"saved\":\"" + batchPath + "\"}"), std::string::npos);
    CBatchRecord buffer;
    ASSERT_TRUE(CBatchFile::ReadFile(batchPath, buffer, &reason)) << reason;
    ASSERT_EQ(buffer.m_points.size(), s.batch.size());
    EXPECT_EQ(buffer.m_points.back().y, 7);
    EXPECT_EQ(buffer.m_strTitle.rfind("Batch Buffer  - Station 3 (Node - 3) (", 0), 0u);

    ProgramResult csv = RunZarnctl({"export", curvePath});
    EXPECT_EQ(csv.nExit, 0) << csv.strErr;
    EXPECT_NE(csv.strOut.find("\r\nIndex,Force,Reference\r\n0," + std::to_string(s.curve[0]) + "," +
                              std::to_string(s.reference[0]) + "\r\n"),
              std::string::npos);
    ProgramResult json = RunZarnctl({"export", batchPath, "--json"});
    EXPECT_EQ(json.nExit, 0) << json.strErr;
    EXPECT_NE(json.strOut.find("\"count\":" + std::to_string(s.batch.size())), std::string::npos);

    bytes.resize(bytes.size() - 3);
    ASSERT_TRUE(WriteFileAtomically(dir.path + "/cut.cur", bytes));
    ProgramResult damaged = RunZarnctl({"export", dir.path + "/cut.cur", "--csv"});
    EXPECT_EQ(damaged.nExit, 1);
    EXPECT_EQ(damaged.strOut, "");
    EXPECT_NE(damaged.strErr.find("not a curve file (unexpected end of archive)"),
              std::string::npos)
        << damaged.strErr;

    ProgramResult stats = Zarnctl({"stats", "3", "9", "--csv"});
    EXPECT_EQ(stats.nExit, 1);
    EXPECT_EQ(stats.strOut.rfind("Time,Station,Node,Good,Bad,Total,%Bad,%Good,Min,Max,Mean,"
                                 "StdDev,Cp,Cpk,BLO\r\n",
                                 0),
              0u);
    const std::size_t row = stats.strOut.find("Z,,3,");
    ASSERT_NE(row, std::string::npos) << stats.strOut;
    // The heading and the answering node; the silent node has no line.
    EXPECT_EQ(std::count(stats.strOut.begin(), stats.strOut.end(), '\n'), 2) << stats.strOut;
    EXPECT_NE(stats.strErr.find("node 9: reading the statistics failed: no reply"),
              std::string::npos);
}

TEST_F(ZarnctlEndToEnd, HistoryListsWhatTheStoreRecordedFromTheLine) {
    TempDir dir;
    const std::string db = dir.path + "/history.db";
    {
        // Readings taken from the simulated line, recorded as the program records them.
        CZarnPort port(m_strPath.c_str(), 57600, lintaro::NOPARITY, lintaro::ONESTOPBIT);
        ASSERT_EQ(port.SetCommPort(), 1);
        CHistoryStore store;
        CHistoryStore::COptions options;
        options.m_strTarget = db;
        options.m_strWorkstation = "line-1";
        ASSERT_TRUE(store.Open(options));
        for (int node : {3, 7}) {
            CStats stats;
            ASSERT_EQ(port.GetStatistics(static_cast<unsigned>(node), stats), 1);
            CHistoryStation station;
            station.m_nNodeID = node;
            station.m_strName = "Press " + std::to_string(node);
            store.RecordStatistics(station, stats, CHistoryStore::Source::poll);
        }
        CHistoryChange change;
        change.m_parameter = CHistoryChange::Parameter::blo;
        change.m_nBefore = 10;
        change.m_nAfter = 12;
        change.m_bOk = true;
        change.m_strUser = "operator";
        CHistoryStation station;
        station.m_nNodeID = 7;
        station.m_strName = "Press 7";
        store.RecordChange(station, change);
        ASSERT_TRUE(store.WaitIdle(20000));
    }
    ProgramResult text = RunZarnctl({"history", "--db", db});
    EXPECT_EQ(text.nExit, 0) << text.strErr;
    EXPECT_NE(text.strOut.find("line-1        Press 3          3"), std::string::npos)
        << text.strOut;
    EXPECT_NE(text.strOut.find("Press 7"), std::string::npos);

    ProgramResult csv = RunZarnctl({"history", "--db", db, "--node", "7", "--csv"});
    EXPECT_EQ(csv.nExit, 0) << csv.strErr;
    EXPECT_EQ(std::count(csv.strOut.begin(), csv.strOut.end(), '\n'), 2) << csv.strOut;
    EXPECT_NE(csv.strOut.find(",Press 7,7,"), std::string::npos);
    EXPECT_NE(csv.strOut.find(",line-1,,,,poll\r\n"), std::string::npos) << csv.strOut;

    ProgramResult changes =
        RunZarnctl({"history", "--db", db, "--kind", "change", "--station", "Press 7", "--json"});
    EXPECT_EQ(changes.nExit, 0) << changes.strErr;
    EXPECT_NE(changes.strOut.find("\"parameter\":\"blo\",\"before\":10,\"after\":12,\"ok\":true,"
                                  "\"user\":\"operator\""),
              std::string::npos)
        << changes.strOut;

    ProgramResult later = RunZarnctl({"history", "--db", db, "--since", "2999-01-01"});
    EXPECT_EQ(later.nExit, 0);
    EXPECT_EQ(later.strOut, "no statistics readings recorded\n");

    ProgramResult missing = RunZarnctl({"history", "--db", dir.path + "/none.db"});
    EXPECT_EQ(missing.nExit, 1);
    EXPECT_NE(missing.strErr.find("cannot read the history"), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(dir.path + "/none.db"));
}

} // namespace

namespace {

TEST_F(ZarnctlEndToEnd, NumbersKeepTheDotUnderADecimalCommaLocale) {
    // The premise: the locale exists and really writes a decimal comma.
    const std::string saved = std::setlocale(LC_ALL, nullptr);
    const bool available = std::setlocale(LC_ALL, "de_DE.UTF-8") != nullptr;
    const std::string point = available ? std::localeconv()->decimal_point : "";
    std::setlocale(LC_ALL, saved.c_str());
    if (!available || point != ",") {
        GTEST_SKIP() << "no de_DE.UTF-8 locale with a decimal comma (./setup.sh generates it)";
    }
    // Production on node 3 gives a mean and percentages with decimals.
    ASSERT_TRUE(m_pSim->AddCrimps(3, {1001, 1002, 1004}));
    const char* previous = std::getenv("LC_ALL");
    const std::string before = previous != nullptr ? previous : "";
    ::setenv("LC_ALL", "de_DE.UTF-8", 1);
    const ProgramResult text = Zarnctl({"stats", "3"});
    const ProgramResult json = Zarnctl({"--json", "stats", "3"});
    previous != nullptr ? ::setenv("LC_ALL", before.c_str(), 1) : ::unsetenv("LC_ALL");
    ASSERT_EQ(text.nExit, 0) << text.strErr;
    ASSERT_EQ(json.nExit, 0) << json.strErr;
    EXPECT_NE(text.strOut.find('.'), std::string::npos) << text.strOut;
    EXPECT_EQ(text.strOut.find(','), std::string::npos) << text.strOut;
    EXPECT_TRUE(std::regex_search(json.strOut, std::regex(R"("mean":[0-9]+\.[0-9],)")))
        << json.strOut;
}

} // namespace
