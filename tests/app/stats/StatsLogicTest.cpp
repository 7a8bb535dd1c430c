#include "app/stats/StatsFormat.h"
#include "app/stats/StatsList.h"
#include "app/stats/StatsListFile.h"
#include "base/Archive.h"
#include "network/ZarnPort.h"
#include "sim/ZarnSimulator.h"

#include <gtest/gtest.h>

#include <map>
#include <memory>

namespace {

CStats Counts(unsigned short nGood, unsigned short nBad) {
    CStats stats;
    stats.m_nGood = nGood;
    stats.m_nBad = nBad;
    return stats;
}

TEST(StatsFormat, TotalsAndPercentages) {
    auto row = CStatsFormat::FormatRow(Counts(90, 10));
    EXPECT_EQ(row[0], "90");
    EXPECT_EQ(row[1], "10");
    EXPECT_EQ(row[2], "100");
    EXPECT_EQ(row[3], "10.0%");
    EXPECT_EQ(row[4], "90.0%");

    // Nothing counted yet: both percentages are zero, not a division by zero.
    row = CStatsFormat::FormatRow(Counts(0, 0));
    EXPECT_EQ(row[2], "0");
    EXPECT_EQ(row[3], "0.0%");
    EXPECT_EQ(row[4], "0.0%");

    // All good; one in three; full 16-bit counts do not overflow the total.
    row = CStatsFormat::FormatRow(Counts(7, 0));
    EXPECT_EQ(row[3], "0.0%");
    EXPECT_EQ(row[4], "100.0%");
    row = CStatsFormat::FormatRow(Counts(2, 1));
    EXPECT_EQ(row[3], "33.3%");
    EXPECT_EQ(row[4], "66.7%");
    row = CStatsFormat::FormatRow(Counts(65535, 65535));
    EXPECT_EQ(row[2], "131070");
    EXPECT_EQ(row[3], "50.0%");
    EXPECT_DOUBLE_EQ(CStatsFormat::Percent(5, -1), 0.0);
}

TEST(StatsFormat, ValuesAndColumns) {
    CStats stats;
    stats.m_nMin = -12;
    stats.m_nMax = 4095;
    stats.m_fMean = 12.34f;
    stats.m_fStdDev = 0.05f;
    stats.m_fCp = 3276.7f;
    stats.m_fCpk = -1.25f;
    auto row = CStatsFormat::FormatRow(stats);
    EXPECT_EQ(row[5], "-12");
    EXPECT_EQ(row[6], "4095");
    EXPECT_EQ(row[7], "12.3");
    EXPECT_EQ(row[8], "0.1");
    EXPECT_EQ(row[9], "3276.7");
    EXPECT_EQ(row[10], "-1.2");

    const auto& columns = CStatsFormat::Columns();
    EXPECT_STREQ(columns[0].pszHeading, "Station");
    EXPECT_EQ(columns[0].nWidth, 100);
    EXPECT_STREQ(columns[4].pszHeading, "%Bad");
    EXPECT_STREQ(columns[5].pszHeading, "%Good");
    EXPECT_STREQ(columns[11].pszHeading, "Cpk");
    EXPECT_EQ(columns[11].nWidth, 50);
}

std::vector<std::uint32_t> ReadList(const std::vector<std::uint8_t>& bytes) {
    CArchive ar(bytes);
    std::vector<std::uint32_t> nodes;
    CStatsListFile::Read(ar, nodes);
    return nodes;
}

TEST(StatsListFile, LayoutAndRoundTrip) {
    std::vector<std::uint8_t> bytes;
    {
        CArchive ar(&bytes);
        CStatsListFile::Write(ar, {3, 12});
    }
    EXPECT_EQ(bytes, (std::vector<std::uint8_t>{2, 0, 0, 0, 3, 0, 0, 0, 12, 0, 0, 0}));
    EXPECT_EQ(ReadList(bytes), (std::vector<std::uint32_t>{3, 12}));

    // An empty list, an empty file, and a count of zero or less with anything after it.
    bytes.clear();
    {
        CArchive ar(&bytes);
        CStatsListFile::Write(ar, {});
    }
    EXPECT_EQ(bytes, (std::vector<std::uint8_t>{0, 0, 0, 0}));
    EXPECT_TRUE(ReadList(bytes).empty());
    EXPECT_TRUE(ReadList({}).empty());
    EXPECT_TRUE(ReadList({0xFB, 0xFF, 0xFF, 0xFF, 1, 2, 3}).empty());

    // Reading appends.
    const std::vector<std::uint8_t> one{1, 0, 0, 0, 7, 0, 0, 0};
    CArchive ar(one);
    std::vector<std::uint32_t> nodes{5};
    CStatsListFile::Read(ar, nodes);
    EXPECT_EQ(nodes, (std::vector<std::uint32_t>{5, 7}));
}

TEST(StatsListFile, DamagedFilesThrow) {
    // Cut inside the count, short of the rows it announces, and an absurd count.
    EXPECT_THROW(ReadList({2, 0}), CArchiveException);
    EXPECT_THROW(ReadList({2, 0, 0, 0, 3, 0, 0, 0, 12}), CArchiveException);
    EXPECT_THROW(ReadList({0xFF, 0xFF, 0xFF, 0x7F, 1, 0, 0, 0}), CArchiveException);
}

// Analysers as a table of answers: a node answers with its record, or not at all.
struct FakeLine {
    std::map<unsigned, CStats> answers;
    std::vector<unsigned> asked;
    CStatsList::Fetch Fetch() {
        return [this](unsigned node, CStats& stats) {
            asked.push_back(node);
            auto it = answers.find(node);
            if (it == answers.end()) {
                stats.m_nGood = 999; // a request that fails part-way
                stats.m_nNodeID = 77;
                return false;
            }
            stats = it->second;
            return true;
        };
    }
};

TEST(StatsList, AddingStations) {
    FakeLine line;
    line.answers[3] = Counts(4, 1);
    CStatsList list;
    EXPECT_EQ(list.Add("Crimp 3", 3, line.Fetch()), CStatsList::added);
    ASSERT_EQ(list.GetCount(), 1);
    EXPECT_EQ(list.GetName(0), "Crimp 3");
    EXPECT_EQ(list.GetRecord(0)->m_nNodeID, 3);
    EXPECT_EQ(list.GetRecord(0)->m_nGood, 4);

    // The same node again (under any name) is refused without asking the analyser.
    line.asked.clear();
    EXPECT_EQ(list.Add("Other", 3, line.Fetch()), CStatsList::alreadyListed);
    EXPECT_TRUE(line.asked.empty());
    // A silent analyser gets no row.
    EXPECT_EQ(list.Add("Silent", 9, line.Fetch()), CStatsList::downloadFailed);
    EXPECT_EQ(line.asked, (std::vector<unsigned>{9}));
    EXPECT_EQ(list.GetCount(), 1);
    EXPECT_EQ(list.Find(9), -1);
    EXPECT_EQ(list.GetRecord(1), nullptr);
    EXPECT_EQ(list.GetName(-1), "");
}

TEST(StatsList, PollingAsksOneRowPerStepAndMovesOnPastASilentOne) {
    FakeLine line;
    for (unsigned node : {1u, 2u, 3u}) {
        line.answers[node] = Counts(static_cast<unsigned short>(node), 0);
    }
    CStatsList list;
    for (int node : {1, 2, 3}) {
        ASSERT_EQ(list.Add("S" + std::to_string(node), node, line.Fetch()), CStatsList::added);
    }
    line.asked.clear();
    line.answers[1] = Counts(10, 1);
    EXPECT_EQ(list.Poll(line.Fetch()), 0);
    EXPECT_EQ(list.GetRecord(0)->m_nGood, 10);
    EXPECT_EQ(list.GetNextRow(), 1);

    // The second goes silent: it turns stale, keeps what it showed, and the third is asked
    // next all the same; after the last row, the first again.
    line.answers.erase(2);
    const CStatsList::Time readAt = list.GetReadingTime(1);
    EXPECT_EQ(list.Poll(line.Fetch()), 1);
    EXPECT_TRUE(list.IsStale(1));
    EXPECT_EQ(list.GetReadingTime(1), readAt);
    EXPECT_EQ(list.Poll(line.Fetch()), 2);
    EXPECT_FALSE(list.IsStale(2));
    EXPECT_EQ(list.Poll(line.Fetch()), 0);
    EXPECT_EQ(line.asked, (std::vector<unsigned>{1, 2, 3, 1}));
    // What the failed request left half-written is not taken over.
    EXPECT_EQ(list.GetRecord(1)->m_nGood, 2);
    EXPECT_EQ(list.GetRecord(1)->m_nNodeID, 2);
    // It answers again: fresh.
    line.answers[2] = Counts(20, 0);
    EXPECT_EQ(list.Poll(line.Fetch()), 1);
    EXPECT_FALSE(list.IsStale(1));
    EXPECT_EQ(list.GetRecord(1)->m_nGood, 20);

    // An outcome that comes back for a row removed meanwhile finds nothing.
    const int nAsked = list.BeginPoll();
    ASSERT_EQ(nAsked, 2);
    EXPECT_TRUE(list.Remove(1));
    CStats late = *list.GetRecord(1);
    late.m_nGood = 99;
    EXPECT_EQ(list.EndPoll(2, &late, std::chrono::system_clock::now()), -1);
    EXPECT_EQ(list.EndPoll(3, &late, std::chrono::system_clock::now()), 1);
    EXPECT_EQ(list.GetRecord(1)->m_nGood, 99);
    EXPECT_EQ(list.Poll(line.Fetch()), 0);
    EXPECT_EQ(list.GetNodeIDs(), (std::vector<std::int32_t>{1, 3}));

    // The next row is the last one, and it is removed: the next step begins at the top.
    EXPECT_EQ(list.GetNextRow(), 1);
    EXPECT_TRUE(list.Remove(1));
    EXPECT_FALSE(list.Remove(1));
    line.asked.clear();
    EXPECT_EQ(list.Poll(line.Fetch()), 0);
    EXPECT_EQ(line.asked, (std::vector<unsigned>{1}));

    list.Clear();
    EXPECT_EQ(list.Poll(line.Fetch()), -1);
}

TEST(StatsList, PollingTheSimulatedLine) {
    CZarnSimulator::Options options;
    options.nodes = {4, 5};
    options.nCrimpIntervalMs = 0;
    CZarnSimulator sim(options);
    std::string error;
    ASSERT_TRUE(sim.Start(&error)) << error;
    CZarnPort port(sim.DevicePath().c_str(), 57600, 0, 0);
    ASSERT_EQ(port.SetCommPort(), 1);
    CStatsList::Fetch fetch = [&port](unsigned node, CStats& stats) {
        return port.GetStatistics(node, stats) != 0;
    };

    SimAnalyserState state;
    ASSERT_TRUE(sim.GetState(5, state));
    state.nLowerLimit = 900;
    state.nUpperLimit = 1100;
    state.batch.assign(9, 1000);
    state.batch.push_back(2000);
    ASSERT_TRUE(sim.SetState(5, state));

    CStatsList list;
    ASSERT_EQ(list.Add("Five", 5, fetch), CStatsList::added);
    ASSERT_EQ(list.Add("Four", 4, fetch), CStatsList::added);
    auto row = CStatsFormat::FormatRow(*list.GetRecord(0));
    EXPECT_EQ(row[0], "9");
    EXPECT_EQ(row[1], "1");
    EXPECT_EQ(row[2], "10");
    EXPECT_EQ(row[3], "10.0%");
    EXPECT_EQ(row[5], "1000");
    EXPECT_EQ(row[6], "2000");
    EXPECT_EQ(row[7], "1100.0");

    // More crimps on the line: the next step refreshes the first row from the analyser.
    ASSERT_TRUE(sim.AddCrimps(5, {1000, 1000, 3000}));
    EXPECT_EQ(list.Poll(fetch), 0);
    row = CStatsFormat::FormatRow(*list.GetRecord(0));
    EXPECT_EQ(row[2], "13");
    EXPECT_EQ(row[1], "2");
    EXPECT_EQ(row[6], "3000");

    // A silent analyser: its row keeps its values, turns stale, and the step moves on.
    sim.SetFault(4, SimFault::silent);
    CStats before = *list.GetRecord(1);
    EXPECT_EQ(list.Poll(fetch), 1);
    EXPECT_TRUE(list.IsStale(1));
    EXPECT_EQ(list.GetNextRow(), 2);
    EXPECT_EQ(list.GetRecord(1)->m_nGood, before.m_nGood);
    EXPECT_EQ(list.GetRecord(1)->m_nNodeID, 4);
    sim.SetFault(4, SimFault::none);
    EXPECT_EQ(list.Poll(fetch), 0);
    EXPECT_EQ(list.Poll(fetch), 1);
    EXPECT_FALSE(list.IsStale(1));
}

} // namespace
