// The simulator's parts that need no line: statistics, request assembly, pacing, node lists and
// the analyser state it accepts.

#include "sim/BatchStatistics.h"
#include "sim/LineSchedule.h"
#include "sim/NodeList.h"
#include "sim/PacketAssembler.h"
#include "sim/ZarnSimulator.h"

#include <gtest/gtest.h>

#include <cstring>

TEST(SimStatistics, SaturateAndStayZeroWhenEmpty) {
    const SimBatchStatistics empty = ComputeBatchStatistics({}, 100, 200);
    EXPECT_EQ(empty.nMean, 0);
    EXPECT_EQ(empty.nCp, 0);
    EXPECT_EQ(empty.nGood + empty.nBad, 0);

    // No spread: the indices are off the scale, the mean in tenths too.
    SimBatchStatistics s = ComputeBatchStatistics({4095}, 4000, 4095);
    EXPECT_EQ(s.nMean, 32767);
    EXPECT_EQ(s.nStdDev, 0);
    EXPECT_EQ(s.nCp, 32767);
    EXPECT_EQ(s.nCpk, 0); // on the limit
    EXPECT_EQ(s.nGood, 1);
    s = ComputeBatchStatistics({10, 10}, 100, 200);
    EXPECT_EQ(s.nCpk, -32768); // outside the limits with no spread
    EXPECT_EQ(s.nBad, 2);
    // A process off centre gives a negative Cpk.
    s = ComputeBatchStatistics({90, 95, 100}, 100, 200);
    EXPECT_EQ(s.nMean, 950);
    EXPECT_EQ(s.nStdDev, 50);
    EXPECT_EQ(s.nCp, 33);  // 100 / 30
    EXPECT_EQ(s.nCpk, -3); // -5 / 15
    EXPECT_EQ(s.nMin, 90);
    EXPECT_EQ(s.nMax, 100);
    EXPECT_EQ(s.nGood, 1);
}

TEST(SimAssembler, FindsPacketsAcrossWritesAndNoise) {
    CPacketAssembler assembler;
    const COAXNWKPACKET a = MakeZarnPacket(3, 68, 0, 0);
    const COAXNWKPACKET b = MakeZarnPacket(4, 67, 0, 150);
    unsigned char stream[64];
    std::size_t n = 0;
    const unsigned char noise[] = {0x00, 0xFF, 0xFF, 0x03};
    std::memcpy(stream + n, noise, sizeof noise);
    n += sizeof noise;
    std::memcpy(stream + n, &a, 8);
    n += 8;
    std::memcpy(stream + n, &b, 8);
    n += 8;

    COAXNWKPACKET got;
    assembler.Feed(stream, 7);
    EXPECT_FALSE(assembler.Next(got));
    assembler.Feed(stream + 7, 10);
    ASSERT_TRUE(assembler.Next(got));
    EXPECT_EQ(std::memcmp(&got, &a, 8), 0);
    EXPECT_FALSE(assembler.Next(got));
    assembler.Feed(stream + 17, n - 17);
    ASSERT_TRUE(assembler.Next(got));
    EXPECT_EQ(std::memcmp(&got, &b, 8), 0);
    EXPECT_EQ(assembler.Pending(), 0u);

    // A packet with a wrong check byte is noise, not a request.
    COAXNWKPACKET bad = a;
    bad.lrc ^= 1;
    assembler.Feed(reinterpret_cast<unsigned char*>(&bad), 8);
    EXPECT_FALSE(assembler.Next(got));
    EXPECT_EQ(assembler.Pending(), 0u);
}

TEST(SimSchedule, PacedBytesFollowAtTheByteTime) {
    using Clock = CLineSchedule::Clock;
    CLineSchedule line(true);
    const Clock::time_point t0 = Clock::now();
    const unsigned char echo[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    line.Add(echo, 8, t0, false);
    line.Add(echo, 4, t0, true);
    // Byte i has crossed the line at t0 + i * 10 / 57600 s.
    EXPECT_EQ(line.NextDue(), t0 + std::chrono::nanoseconds(173611));
    unsigned char out[16];
    EXPECT_EQ(line.PeekDue(t0 + std::chrono::microseconds(700), out, sizeof out), 4u);
    EXPECT_EQ(line.PeekDue(t0 + std::chrono::nanoseconds(2083333), out, sizeof out), 12u);
    EXPECT_EQ(CLineSchedule::ByteEnd(t0, 4016) - t0, std::chrono::nanoseconds(697222222));
    line.Consume(3);
    EXPECT_EQ(line.Size(), 9u);
    line.DropReplies();
    EXPECT_EQ(line.Size(), 5u);
    // A later add waits for the line to be free.
    line.Add(echo, 1, t0, false);
    EXPECT_EQ(line.PeekDue(t0 + std::chrono::nanoseconds(1388888), out, sizeof out), 5u);

    CLineSchedule fast(false);
    fast.Add(echo, 8, t0, false);
    fast.Add(echo, 8, t0 + std::chrono::seconds(1), true);
    EXPECT_EQ(fast.PeekDue(t0, out, sizeof out), 8u);
    EXPECT_EQ(fast.PeekDue(t0 + std::chrono::seconds(1), out, sizeof out), 16u);
    // What a full receiver cannot take is lost; what is still to come stays.
    EXPECT_EQ(fast.DropDue(t0), 8u);
    EXPECT_EQ(fast.NextDue(), t0 + std::chrono::seconds(1));
    // A controller that never reads cannot make the queue grow without end.
    std::vector<unsigned char> lots(CLineSchedule::kMaxQueued);
    EXPECT_EQ(fast.Add(lots.data(), lots.size(), t0, false), CLineSchedule::kMaxQueued - 8);
    EXPECT_EQ(fast.Size(), CLineSchedule::kMaxQueued);
}

TEST(SimNodeList, ParsesListsAndRanges) {
    std::vector<int> nodes;
    ASSERT_TRUE(ParseNodeList("1-12", nodes));
    EXPECT_EQ(nodes.size(), 12u);
    EXPECT_EQ(nodes.front(), 1);
    EXPECT_EQ(nodes.back(), 12);
    ASSERT_TRUE(ParseNodeList("7,1,3,5-7,255", nodes));
    EXPECT_EQ(nodes, (std::vector<int>{1, 3, 5, 6, 7, 255}));
    std::string why;
    for (const char* bad :
         {"", "0", "256", "7-5", "1,,2", "a", "1-", "-3", "1-2-3", " 1", "1000"}) {
        nodes = {42};
        EXPECT_FALSE(ParseNodeList(bad, nodes, &why)) << bad;
        EXPECT_FALSE(why.empty()) << bad;
        EXPECT_EQ(nodes, std::vector<int>{42}) << bad;
    }
}

TEST(SimState, AcceptsOnlyWholeCurvesAndABatchThatFits) {
    CZarnSimulator::Options options;
    options.nodes = {4};
    options.nCrimpIntervalMs = 0;
    CZarnSimulator sim(options);
    SimAnalyserState s;
    ASSERT_TRUE(sim.GetState(4, s));
    SimAnalyserState none;
    EXPECT_FALSE(sim.GetState(5, none));
    EXPECT_EQ(s.nNodeID, 4);
    EXPECT_EQ(s.curve.size(), 500u);
    EXPECT_LE(s.nLowerLimit, s.nUpperLimit);

    SimAnalyserState changed = s;
    changed.nNodeID = 9; // the node is the simulator's to choose
    changed.nBLO = 12;
    ASSERT_TRUE(sim.SetState(4, changed));
    SimAnalyserState back;
    ASSERT_TRUE(sim.GetState(4, back));
    EXPECT_EQ(back.nNodeID, 4);
    EXPECT_EQ(back.nBLO, 12);

    changed.curve.pop_back();
    EXPECT_FALSE(sim.SetState(4, changed));
    changed = s;
    changed.batch.assign(1001, 1);
    EXPECT_FALSE(sim.SetState(4, changed));
    EXPECT_FALSE(sim.SetState(5, s));
    EXPECT_FALSE(sim.AddCrimps(5, {1}));

    // Node IDs outside one byte stop the line from starting.
    options.nodes = {1, 256};
    CZarnSimulator bad(options);
    std::string error;
    EXPECT_FALSE(bad.Start(&error));
    EXPECT_NE(error.find("256"), std::string::npos);
}
