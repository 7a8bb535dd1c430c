// The real port against the simulated line: every command and download, and the line itself.

#include "SimLineFixture.h"
#include "base/Tick.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

std::vector<unsigned char> Bytes(const COAXNWKPACKET& p) {
    const auto* raw = reinterpret_cast<const unsigned char*>(&p);
    return {raw, raw + sizeof p};
}

} // namespace

TEST_F(SimLine, ParametersSetAndReadBackPerNode) {
    StartLine();
    CZarnPort& port = *m_pPort;
    unsigned short v = 0;
    ASSERT_EQ(port.GetBLO(1, &v), 1);
    EXPECT_EQ(v, 77);
    ASSERT_EQ(port.GetTFactor(1, &v), 1);
    EXPECT_EQ(v, 50);

    ASSERT_EQ(port.SetBLO(5, 150), 1);
    ASSERT_EQ(port.SetTFactor(5, 0x1234), 1);
    ASSERT_EQ(port.SetDFactor(5, 175), 1);
    ASSERT_EQ(port.SetSFactor(5, 65535), 1);
    ASSERT_EQ(port.SetTeachCycles(5, 12), 1);
    ASSERT_EQ(port.GetBLO(5, &v), 1);
    EXPECT_EQ(v, 150);
    ASSERT_EQ(port.GetTFactor(5, &v), 1);
    EXPECT_EQ(v, 0x1234);
    ASSERT_EQ(port.GetDFactor(5, &v), 1);
    EXPECT_EQ(v, 175);
    ASSERT_EQ(port.GetSFactor(5, &v), 1);
    EXPECT_EQ(v, 65535);
    EXPECT_EQ(State(5).nTeachCycles, 12);

    // Another analyser on the same line keeps its own values.
    ASSERT_EQ(port.GetBLO(200, &v), 1);
    EXPECT_EQ(v, 77);
    EXPECT_EQ(State(1).nTeachCycles, 10);
}

TEST_F(SimLine, ProductionValuesTravelBitForBit) {
    StartLine();
    SimAnalyserState s = State(2);
    s.nPeakForce = 61234;
    const std::uint16_t zones[5] = {101, 202, 303, 404, 55};
    std::copy(zones, zones + 5, s.zones);
    s.rs[0] = -2;
    s.rs[1] = 300;
    s.rs[2] = -32768;
    s.rs[3] = 7;
    s.ru[0] = 0;
    s.ru[1] = 65535;
    s.ru[2] = 42;
    s.ru[3] = 1500;
    s.nPass = 40000;
    s.nFail = 3;
    ASSERT_TRUE(m_pSim->SetState(2, s));

    int peak = 0;
    ASSERT_EQ(m_pPort->GetPeakForce(2, &peak), 1);
    EXPECT_EQ(peak, 61234);
    int z[5] = {};
    ASSERT_EQ(m_pPort->GetZoneInfo(2, &z[0], &z[1], &z[2], &z[3], &z[4]), 1);
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(z[i], zones[i]) << i;
    }
    short rs[4] = {};
    unsigned short ru[4] = {};
    ASSERT_EQ(
        m_pPort->GetResultInfo(2, &rs[0], &rs[1], &rs[2], &rs[3], &ru[0], &ru[1], &ru[2], &ru[3]),
        1);
    EXPECT_EQ(rs[0], -2);
    EXPECT_EQ(rs[1], 300);
    EXPECT_EQ(rs[2], -32768);
    EXPECT_EQ(rs[3], 7);
    EXPECT_EQ(ru[1], 65535);
    EXPECT_EQ(ru[2], 42);
    EXPECT_EQ(ru[3], 999); // the controller limits RUO
    unsigned int pass = 0;
    unsigned int fail = 0;
    ASSERT_EQ(m_pPort->GetPassFailCount(2, &pass, &fail), 1);
    EXPECT_EQ(pass, 40000u);
    EXPECT_EQ(fail, 3u);
}

TEST_F(SimLine, OrdersResetTheBatchAndTakeANewReference) {
    StartLine();
    const SimAnalyserState before = State(1);
    ASSERT_FALSE(before.batch.empty());
    ASSERT_NE(before.curve, before.reference);

    ASSERT_EQ(m_pPort->ResetBatchBuffer(1), 1);
    SimAnalyserState after = State(1);
    EXPECT_TRUE(after.batch.empty());
    EXPECT_EQ(after.nPass, 0);
    EXPECT_EQ(after.nFail, 0);
    EXPECT_EQ(after.nResets, before.nResets + 1);

    ASSERT_EQ(m_pPort->NewReference(1), 1);
    after = State(1);
    EXPECT_EQ(after.reference, before.curve);
    EXPECT_EQ(after.nNewReferences, before.nNewReferences + 1);
    // The curve now matches its reference exactly, and the results say so.
    EXPECT_EQ(after.rs[3], 0);
    EXPECT_EQ(after.ru[3], 0);

    tagPOINT reference[500] = {};
    ASSERT_EQ(m_pPort->DownloadReference(1, reference), 1);
    for (int i = 0; i < 500; ++i) {
        ASSERT_EQ(reference[i].y, before.curve[static_cast<std::size_t>(i)]) << i;
    }
    // Node 2 was not touched.
    EXPECT_FALSE(State(2).batch.empty());
}

TEST_F(SimLine, CurvesDownloadAsTheAnalyserHoldsThem) {
    StartLine();
    SimAnalyserState s = State(5);
    tagPOINT force[500] = {};
    tagPOINT reference[500] = {};
    ASSERT_EQ(m_pPort->DownloadForceCurve(5, force), 1);
    ASSERT_EQ(m_pPort->DownloadReference(5, reference), 1);
    int peakAt = 0;
    double diff = 0.0;
    for (int i = 0; i < 500; ++i) {
        const auto at = static_cast<std::size_t>(i);
        ASSERT_EQ(force[i].x, i);
        ASSERT_EQ(force[i].y, s.curve[at]);
        ASSERT_EQ(reference[i].y, s.reference[at]);
        ASSERT_LE(force[i].y, 4095);
        if (force[i].y > force[peakAt].y) {
            peakAt = i;
        }
        diff += std::abs(force[i].y - reference[i].y);
    }
    // A crimp: low at both ends, one peak in the middle, close to but not the reference.
    EXPECT_GT(peakAt, 150);
    EXPECT_LT(peakAt, 350);
    EXPECT_LT(force[0].y * 10, force[peakAt].y);
    EXPECT_LT(force[499].y * 10, force[peakAt].y);
    EXPECT_GT(diff, 0.0);
    EXPECT_LT(diff / 500.0, force[peakAt].y * 0.05);
    EXPECT_NEAR(force[peakAt].y, s.nPeakForce, 40);

    // Only the low twelve bits of a sample count.
    s.curve[250] = 0xF123;
    ASSERT_TRUE(m_pSim->SetState(5, s));
    ASSERT_EQ(m_pPort->DownloadForceCurve(5, force), 1);
    EXPECT_EQ(force[250].y, 0x123);
}

TEST_F(SimLine, BatchDownloadsUpToAFullBuffer) {
    StartLine();
    SimAnalyserState s = State(1);
    std::vector<tagPOINT> points(1000);
    unsigned short count = 0;
    CStats stats;
    ASSERT_EQ(m_pPort->DownloadBatchBuffer(1, points.data(), &count, stats, 1000), 1);
    ASSERT_EQ(count, s.batch.size());
    std::uint16_t highest = 0;
    for (std::size_t i = 0; i < s.batch.size(); ++i) {
        EXPECT_EQ(points[i].x, static_cast<int>(i));
        EXPECT_EQ(points[i].y, s.batch[i]);
        highest = std::max(highest, s.batch[i]);
    }
    EXPECT_EQ(stats.m_nBatchMax, highest);

    // An empty buffer is a lone end packet.
    ASSERT_EQ(m_pPort->ResetBatchBuffer(1), 1);
    count = 99;
    ASSERT_EQ(m_pPort->DownloadBatchBuffer(1, points.data(), &count, stats, 1000), 1);
    EXPECT_EQ(count, 0);

    // A full buffer takes no more crimps, but the counters go on.
    s = State(1);
    s.batch.assign(998, 2500);
    ASSERT_TRUE(m_pSim->SetState(1, s));
    ASSERT_TRUE(m_pSim->AddCrimps(1, {s.nLowerLimit, 10, s.nUpperLimit, 4095}));
    s = State(1);
    EXPECT_EQ(s.batch.size(), 1000u);
    EXPECT_EQ(s.batch.back(), 10);
    EXPECT_EQ(s.nPass, 2);
    EXPECT_EQ(s.nFail, 2);
    EXPECT_EQ(s.nPeakForce, 4095);
    ASSERT_EQ(m_pPort->DownloadBatchBuffer(1, points.data(), &count, stats, 1000), 1);
    EXPECT_EQ(count, 1000);
    EXPECT_EQ(points[999].y, 10);
}

TEST_F(SimLine, StatisticsAreThoseOfTheBatch) {
    StartLine();
    SimAnalyserState s = State(200);
    s.batch.clear();
    s.nPass = 0;
    s.nFail = 0;
    s.nLowerLimit = 2700;
    s.nUpperLimit = 2900;
    ASSERT_TRUE(m_pSim->SetState(200, s));
    CStats stats;
    ASSERT_EQ(m_pPort->GetStatistics(200, stats), 1);
    EXPECT_EQ(stats.m_fMean, 0.0f);
    EXPECT_EQ(stats.m_fCp, 0.0f);
    EXPECT_EQ(stats.m_nGood + stats.m_nBad, 0);
    EXPECT_EQ(stats.m_nBLO, 77);

    ASSERT_TRUE(m_pSim->AddCrimps(200, {2790, 2800, 2810, 2820, 3000}));
    ASSERT_EQ(m_pPort->GetStatistics(200, stats), 1);
    // Worked by hand: mean 2844, sample deviation sqrt(30920 / 4) = 87.92,
    // Cp = 200 / (6 * 87.92) = 0.38, Cpk = (2900 - 2844) / (3 * 87.92) = 0.21.
    EXPECT_FLOAT_EQ(stats.m_fMean, 28440 * 0.1f);
    EXPECT_FLOAT_EQ(stats.m_fStdDev, 879 * 0.1f);
    EXPECT_FLOAT_EQ(stats.m_fCp, 4 * 0.1f);
    EXPECT_FLOAT_EQ(stats.m_fCpk, 2 * 0.1f);
    EXPECT_EQ(stats.m_nMin, 2790);
    EXPECT_EQ(stats.m_nMax, 3000);
    EXPECT_EQ(stats.m_nGood, 4);
    EXPECT_EQ(stats.m_nBad, 1);
    unsigned int pass = 0;
    unsigned int fail = 0;
    ASSERT_EQ(m_pPort->GetPassFailCount(200, &pass, &fail), 1);
    EXPECT_EQ(pass, 4u);
    EXPECT_EQ(fail, 1u);

    EXPECT_FALSE(m_pSim->AddCrimps(200, {2800, 4096})); // not a 12-bit value
    EXPECT_EQ(State(200).batch.size(), 5u);
}

TEST_F(SimLine, ProductionGrowsTheBatchRepeatably) {
    CZarnSimulator::Options options = QuietLine();
    options.nCrimpIntervalMs = 10;
    StartLine(options);
    const SimAnalyserState first = State(1);
    SimAnalyserState now = first;
    const auto start = Clock::now();
    while (now.batch.size() < first.batch.size() + 5 && MsSince(start) < 3000) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        now = State(1);
    }
    ASSERT_GE(now.batch.size(), first.batch.size() + 5);
    EXPECT_EQ(now.nPass + now.nFail,
              first.nPass + first.nFail + now.batch.size() - first.batch.size());
    EXPECT_TRUE(std::equal(first.batch.begin(), first.batch.end(), now.batch.begin()));

    // The same seed gives the same analysers; another seed others.
    CZarnSimulator::Options same = QuietLine();
    CZarnSimulator twin(same);
    SimAnalyserState t;
    ASSERT_TRUE(twin.GetState(1, t));
    EXPECT_EQ(t.curve, first.curve);
    EXPECT_EQ(t.batch, first.batch);
    same.nSeed = 8;
    CZarnSimulator other(same);
    ASSERT_TRUE(other.GetState(1, t));
    EXPECT_NE(t.curve, first.curve);
}

TEST_F(SimLine, NoiseFromTheControllerIsSkipped) {
    StartLine();
    // Stray bytes, one of them a false start, ahead of a request in the same write.
    std::vector<unsigned char> out = {0x13, 0xFF, 0x01, 0x55};
    const auto request = Bytes(MakeZarnPacket(1, 1, 0, 0));
    out.insert(out.end(), request.begin(), request.end());
    ASSERT_EQ(m_pPort->FlushComms(), 1);
    ASSERT_EQ(m_pPort->WriteFrame(out.data(), static_cast<int>(out.size())), 1);
    std::vector<unsigned char> in(out.size() + 8);
    ASSERT_EQ(m_pPort->ReadFrame(in.data(), static_cast<unsigned long>(in.size()), nullptr),
              in.size());
    EXPECT_TRUE(std::equal(out.begin(), out.end(), in.begin())); // the echo first
    EXPECT_EQ(std::vector<unsigned char>(in.end() - 8, in.end()),
              Bytes(MakeZarnPacket(0, ZARN_ACK, 1, 0)));
    EXPECT_EQ(m_pPort->RequestACK(1), 1);
}

TEST_F(SimLine, RequestsNotForItAreNotAnswered) {
    StartLine();
    const unsigned long served = m_pSim->RequestsServed();
    // From another node rather than the controller: the line echoes it, nobody answers.
    const auto fromNode3 = Bytes(MakeZarnPacket(1, 1, 3, 0));
    std::vector<unsigned char> out = fromNode3;
    ASSERT_EQ(m_pPort->WriteFrame(out.data(), 8), 1);
    unsigned char in[16] = {};
    EXPECT_EQ(m_pPort->ReadFrame(in, 16, nullptr), 8u);
    // A node that is not simulated.
    EXPECT_EQ(m_pPort->RequestACK(99), 0);
    EXPECT_EQ(m_pPort->GetLastError(), ZarnError::noReply);
    EXPECT_EQ(m_pSim->RequestsServed(), served);
    EXPECT_EQ(m_pPort->RequestACK(200), 1);
    EXPECT_EQ(m_pSim->RequestsServed(), served + 1);
}

TEST_F(SimLine, PortClosesAndReopens) {
    StartLine();
    ASSERT_EQ(m_pPort->RequestACK(1), 1);
    m_pPort.reset();
    OpenPort();
    EXPECT_EQ(m_pPort->RequestACK(1), 1);
    // Reopening the same port object.
    ASSERT_EQ(m_pPort->SetCommPort(), 1);
    EXPECT_EQ(m_pPort->RequestACK(2), 1);
}

TEST_F(SimLine, SecondPortOnTheLineIsRefused) {
    StartLine();
    CZarnPort second(m_pSim->DevicePath().c_str(), 57600, 0, 0);
    EXPECT_EQ(second.SetCommPort(), 0);
    EXPECT_EQ(m_pPort->RequestACK(1), 1);
}

TEST_F(SimLine, TcpClientsTakeTheLineOneAtATimeBesideThePty) {
    CZarnSimulator::Options options = QuietLine();
    options.strTcp = "127.0.0.1:0";
    StartLine(options);
    const std::string url = m_pSim->TcpUrl();
    ASSERT_EQ(url.rfind("socket://127.0.0.1:", 0), 0u) << url;
    CZarnPort first(url.c_str(), 57600, 0, 0);
    ASSERT_EQ(first.SetCommPort(), 1);
    // The line answers whichever side wrote last.
    EXPECT_EQ(first.RequestACK(1), 1);
    EXPECT_EQ(m_pPort->RequestACK(2), 1);
    EXPECT_EQ(first.RequestACK(5), 1);
    unsigned short blo = 0;
    EXPECT_EQ(first.GetBLO(200, &blo), 1);

    // A new client replaces the old one, whose next request finds its line lost.
    CZarnPort second(url.c_str(), 57600, 0, 0);
    ASSERT_EQ(second.SetCommPort(), 1);
    EXPECT_EQ(second.RequestACK(1), 1);
    EXPECT_EQ(m_pSim->TcpClients(), 2u);
    const auto start = Clock::now();
    EXPECT_EQ(first.RequestACK(1), 0);
    EXPECT_LT(MsSince(start), 600);
    const unsigned long why = lintaro::GetLastError();
    EXPECT_TRUE(why == ECONNRESET || why == ENOTCONN || why == EPIPE) << why;
    EXPECT_EQ(second.RequestACK(2), 1);
}

TEST_F(SimLine, VanishedLineFailsWithinTheTimeouts) {
    StartLine();
    m_pSim->Stop();
    EXPECT_FALSE(m_pSim->IsRunning());
    const auto start = Clock::now();
    EXPECT_EQ(m_pPort->RequestACK(1), 0);
    unsigned short v = 0;
    EXPECT_EQ(m_pPort->GetBLO(1, &v), 0);
    EXPECT_LT(MsSince(start), 2 * 2400);
}

TEST_F(SimLine, LineVanishingMidCurveFailsTheDownload) {
    CZarnSimulator::Options options = QuietLine();
    options.bPace = true;
    StartLine(options);
    // The line goes once the analyser has begun its answer, which the paced line spreads out.
    const unsigned long before = m_pSim->RequestsServed();
    std::atomic<bool> answering{false};
    std::thread stopper([this, before, &answering] {
        const auto start = Clock::now();
        while (m_pSim->RequestsServed() == before && MsSince(start) < 5000) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        answering = m_pSim->RequestsServed() != before;
        m_pSim->Stop();
    });
    tagPOINT points[500] = {};
    const auto start = Clock::now();
    EXPECT_EQ(m_pPort->DownloadForceCurve(1, points), 0);
    stopper.join();
    ASSERT_TRUE(answering) << "the download was never answered";
    EXPECT_LT(MsSince(start), 6000 + 500);
}

TEST_F(SimLine, ControllerThatStopsReadingWedgesNothing) {
    StartLine();
    // Many requests, none of their echoes or replies read: the port's side fills up.
    std::vector<unsigned char> flood;
    for (int i = 0; i < 20000; ++i) {
        const auto p = Bytes(MakeZarnPacket(2, 1, 0, 0));
        flood.insert(flood.end(), p.begin(), p.end());
    }
    m_pPort->WriteFrame(flood.data(), static_cast<int>(flood.size()));
    // What the port could not take is lost after a while, as on a real line; the purge before
    // each request clears what the port still holds, so requests soon go through again.
    bool answered = false;
    for (const auto start = Clock::now(); !answered && MsSince(start) < 5000;) {
        answered = m_pPort->RequestACK(2) == 1;
    }
    EXPECT_TRUE(answered) << ZarnErrorText(m_pPort->GetLastError());

    m_pPort->WriteFrame(flood.data(), static_cast<int>(flood.size()));
    const auto start = Clock::now();
    m_pSim->Stop();
    EXPECT_LT(MsSince(start), 1000);
}

TEST_F(SimLine, PacedLineCarriesWholeExchanges) {
    CZarnSimulator::Options options = QuietLine();
    options.bPace = true;
    StartLine(options);
    ASSERT_EQ(m_pPort->RequestACK(5), 1);
    tagPOINT points[500] = {};
    ASSERT_EQ(m_pPort->DownloadForceCurve(5, points), 1);
    const SimAnalyserState s = State(5);
    for (int i = 0; i < 500; ++i) {
        ASSERT_EQ(points[i].y, s.curve[static_cast<std::size_t>(i)]);
    }
    CStats stats;
    EXPECT_EQ(m_pPort->GetStatistics(5, stats), 1);
}

TEST_F(SimLine, LinkPointsAtTheDeviceWhileRunning) {
    char dir[] = "/tmp/zarnsim-link-XXXXXX";
    ASSERT_NE(::mkdtemp(dir), nullptr);
    const std::string link = std::string(dir) + "/line";
    ASSERT_EQ(::symlink("/nonexistent", link.c_str()), 0); // a stale link is replaced
    CZarnSimulator::Options options = QuietLine();
    options.strLink = link;
    CZarnSimulator sim(options);
    ASSERT_TRUE(sim.Start());
    char target[256] = {};
    ASSERT_GT(::readlink(link.c_str(), target, sizeof target - 1), 0);
    EXPECT_EQ(sim.DevicePath(), target);
    {
        CZarnPort port(link.c_str(), 57600, 0, 0);
        ASSERT_EQ(port.SetCommPort(), 1);
        EXPECT_EQ(port.RequestACK(1), 1);
    }
    sim.Stop();
    struct stat st;
    EXPECT_NE(::lstat(link.c_str(), &st), 0);

    // Anything but a symbolic link stays as it is.
    FILE* f = std::fopen(link.c_str(), "w");
    ASSERT_NE(f, nullptr);
    std::fputs("keep", f);
    std::fclose(f);
    CZarnSimulator refused(options);
    std::string error;
    EXPECT_FALSE(refused.Start(&error));
    EXPECT_NE(error.find("not a symbolic link"), std::string::npos);
    EXPECT_FALSE(refused.IsRunning());
    ASSERT_EQ(::lstat(link.c_str(), &st), 0);
    EXPECT_TRUE(S_ISREG(st.st_mode));
    ::unlink(link.c_str());
    ::rmdir(dir);
}
