// Each fault a simulated analyser can show, and the failure the controller must report for it.

#include "SimLineFixture.h"

#include <vector>

namespace {

struct CFaultCase {
    SimFault fault;
    ZarnError reason;
};

} // namespace

TEST(SimFaultNames, ParseEveryKindAndNothingElse) {
    const std::pair<const char*, SimFault> names[] = {
        {"silent", SimFault::silent},
        {"damaged", SimFault::damaged},
        {"wrong-source", SimFault::wrongSource},
        {"wrong-code", SimFault::wrongCode},
        {"slow", SimFault::slow},
        {"wrong-end", SimFault::wrongEnd},
        {"short-batch", SimFault::shortBatch},
        {"long-batch", SimFault::longBatch},
        {"noise", SimFault::noise},
    };
    for (const auto& [name, kind] : names) {
        SimFault fault = SimFault::none;
        EXPECT_TRUE(ParseSimFault(name, fault)) << name;
        EXPECT_EQ(fault, kind) << name;
    }
    SimFault fault = SimFault::silent;
    for (const char* bad : {"", "none", "Silent", "wrongSource", "slow ", "noise:1"}) {
        EXPECT_FALSE(ParseSimFault(bad, fault)) << bad;
    }
    EXPECT_EQ(fault, SimFault::silent);
}

TEST_F(SimLine, RepliesThatFailValidationGiveTheirReason) {
    StartLine();
    const CFaultCase cases[] = {
        {SimFault::silent, ZarnError::noReply},
        {SimFault::damaged, ZarnError::badRotatingCheck},
        {SimFault::wrongSource, ZarnError::wrongSource},
        {SimFault::wrongCode, ZarnError::unexpectedCode},
    };
    for (const CFaultCase& c : cases) {
        m_pSim->SetFault(1, c.fault);
        EXPECT_EQ(m_pPort->RequestACK(1), 0) << static_cast<int>(c.fault);
        EXPECT_EQ(m_pPort->GetLastError(), c.reason) << static_cast<int>(c.fault);
        // The neighbour on the line is not affected.
        EXPECT_EQ(m_pPort->RequestACK(2), 1);
    }
    m_pSim->SetFault(1, SimFault::none);
    EXPECT_EQ(m_pPort->RequestACK(1), 1);
}

TEST_F(SimLine, SilentAnalyserCarriesOutNothing) {
    StartLine();
    m_pSim->SetFault(5, SimFault::silent);
    const unsigned long served = m_pSim->RequestsServed();
    EXPECT_EQ(m_pPort->SetBLO(5, 33), 0);
    EXPECT_EQ(State(5).nBLO, 77);
    EXPECT_EQ(m_pSim->RequestsServed(), served);
    EXPECT_EQ(State(5).fault, SimFault::silent);
}

TEST_F(SimLine, DamagedReplyIsAskedForTwice) {
    StartLine();
    m_pSim->SetFault(2, SimFault::damaged);
    const unsigned long served = m_pSim->RequestsServed();
    unsigned short v = 1;
    EXPECT_EQ(m_pPort->GetBLO(2, &v), 0);
    EXPECT_EQ(v, 1);
    EXPECT_EQ(m_pSim->RequestsServed(), served + 2);
    // A set is carried out even though its acknowledge is damaged.
    EXPECT_EQ(m_pPort->SetDFactor(2, 321), 0);
    EXPECT_EQ(State(2).nDFactor, 321);
}

TEST_F(SimLine, WrongCodesFailWhereACodeIsWaitedFor) {
    StartLine();
    m_pSim->SetFault(1, SimFault::wrongCode);
    // A value reply's code is not looked at.
    unsigned short v = 0;
    EXPECT_EQ(m_pPort->GetBLO(1, &v), 1);
    EXPECT_EQ(v, 77);
    unsigned int pass = 7;
    unsigned int fail = 7;
    EXPECT_EQ(m_pPort->GetPassFailCount(1, &pass, &fail), 0);
    EXPECT_EQ(m_pPort->GetLastError(), ZarnError::unexpectedCode);
    EXPECT_EQ(pass, 7u);
    // Statistics arrive whole, but the end code is wrong.
    CStats stats;
    EXPECT_EQ(m_pPort->GetStatistics(1, stats), 0);
    EXPECT_EQ(m_pPort->GetLastError(), ZarnError::unexpectedCode);
    EXPECT_GT(stats.m_nGood + stats.m_nBad, 0);
    EXPECT_EQ(stats.m_nBLO, 77);
    tagPOINT points[500] = {};
    EXPECT_EQ(m_pPort->DownloadForceCurve(1, points), 0);
    EXPECT_EQ(m_pPort->GetLastError(), ZarnError::unexpectedCode);
}

TEST_F(SimLine, WrongEndValuesAreCaught) {
    StartLine();
    m_pSim->SetFault(5, SimFault::wrongEnd);
    tagPOINT points[500] = {};
    EXPECT_EQ(m_pPort->DownloadReference(5, points), 0);
    EXPECT_EQ(m_pPort->GetLastError(), ZarnError::wrongEndValue);
    EXPECT_EQ(points[0].y, 0); // rejected before any point is written

    const SimAnalyserState s = State(5);
    std::vector<tagPOINT> entries(1000);
    unsigned short count = 0;
    CStats stats;
    EXPECT_EQ(m_pPort->DownloadBatchBuffer(5, entries.data(), &count, stats, 1000), 0);
    EXPECT_EQ(m_pPort->GetLastError(), ZarnError::wrongEndValue);
    ASSERT_EQ(count, s.batch.size());
    EXPECT_EQ(entries[0].y, s.batch[0]);
}

TEST_F(SimLine, BatchesOfTheWrongLength) {
    StartLine();
    std::vector<tagPOINT> entries(2000);
    unsigned short count = 0;
    CStats stats;
    const std::size_t held = State(200).batch.size();

    m_pSim->SetFault(200, SimFault::shortBatch);
    EXPECT_EQ(m_pPort->DownloadBatchBuffer(200, entries.data(), &count, stats, 1000), 0);
    EXPECT_EQ(m_pPort->GetLastError(), ZarnError::noReply);
    EXPECT_EQ(count, held);

    m_pSim->SetFault(200, SimFault::longBatch);
    EXPECT_EQ(m_pPort->DownloadBatchBuffer(200, entries.data(), &count, stats, 1000), 0);
    EXPECT_EQ(m_pPort->GetLastError(), ZarnError::capacityExceeded);
    EXPECT_EQ(count, 1000);
    // The controller let the analyser finish, so the line is quiet for the next request; and a
    // caller with more room takes the whole batch.
    EXPECT_EQ(m_pPort->DownloadBatchBuffer(200, entries.data(), &count, stats, 2000), 1);
    EXPECT_EQ(count, 1001);
    EXPECT_EQ(entries[0].y, State(200).batch[0]);
}

TEST_F(SimLine, SlowReplyMissesTheTimeoutAndDoesNotLeakIntoTheNext) {
    StartLine();
    m_pSim->SetFault(1, SimFault::slow);
    const auto start = Clock::now();
    EXPECT_EQ(m_pPort->RequestACK(1), 0);
    EXPECT_EQ(m_pPort->GetLastError(), ZarnError::noReply);
    EXPECT_GE(MsSince(start), 1100);
    // The late acknowledge must not be taken for the answer to the next request.
    m_pSim->SetFault(1, SimFault::none);
    unsigned short v = 0;
    EXPECT_EQ(m_pPort->GetTFactor(1, &v), 1);
    EXPECT_EQ(v, 50);
}

TEST_F(SimLine, NoiseBeforeRepliesSpoilsThemUntilItStops) {
    CZarnSimulator::Options options = QuietLine();
    options.faults = {{2, SimFault::noise}};
    StartLine(options);
    EXPECT_EQ(m_pPort->RequestACK(2), 0);
    const ZarnError reason = m_pPort->GetLastError();
    EXPECT_TRUE(reason == ZarnError::badChecksum || reason == ZarnError::badRotatingCheck ||
                reason == ZarnError::wrongDestination || reason == ZarnError::wrongSource)
        << ZarnErrorText(reason);
    tagPOINT points[500] = {};
    EXPECT_EQ(m_pPort->DownloadForceCurve(2, points), 0);
    m_pSim->SetFault(2, SimFault::none);
    EXPECT_EQ(m_pPort->RequestACK(2), 1);
    EXPECT_EQ(m_pPort->DownloadForceCurve(2, points), 1);
}
