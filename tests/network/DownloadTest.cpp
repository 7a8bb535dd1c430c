#include "testsupport/FakeAnalyser.h"

#include <gtest/gtest.h>

namespace {

class Download : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(m_port.SetCommPort(), 1); }

    static std::vector<COAXNWKPACKET> Curve(unsigned char node, std::uint16_t endValue = 500) {
        std::vector<COAXNWKPACKET> packets;
        for (int i = 0; i < 500; ++i) {
            packets.push_back(Reply(node, 0x11, static_cast<std::uint16_t>(0xF000 | (i * 8))));
        }
        packets.push_back(Reply(node, ZARN_END, endValue));
        return packets;
    }
    static std::vector<tagPOINT> Untouched(std::size_t n) {
        return std::vector<tagPOINT>(n, tagPOINT{-7, -7});
    }

    CFakeLine m_fake;
    CTestZarnPort m_port;
};

TEST_F(Download, CurveArrivesAsOneBlockAndKeepsTheLow12Bits) {
    auto packets = Curve(3);
    packets[10] = Reply(3, 0x11, 0xF123);
    m_fake.Answer(packets);
    auto points = Untouched(500);
    EXPECT_EQ(m_port.DownloadForceCurve(3, points.data()), 1);
    EXPECT_EQ(m_fake.Request(0).code, 2);
    EXPECT_EQ(points[10].x, 10);
    EXPECT_EQ(points[10].y, 0x123);
    EXPECT_EQ(points[499].x, 499);
    EXPECT_EQ(points[499].y, (499 * 8) & 0x0FFF);
    // One read for the whole block, under the long limit, and the usual limit afterwards.
    auto reads = m_fake.m_line->EventsOf(CScriptedLine::Event::kRead);
    EXPECT_EQ(reads.back().nValue, 4008u);
    EXPECT_EQ(CSerialPort::ReadTimeouts().ReadTotalTimeoutConstant, 1200u);

    m_fake.Answer(Curve(3));
    EXPECT_EQ(m_port.DownloadReference(3, points.data()), 1);
    EXPECT_EQ(m_fake.Request(1).code, 3);
}

TEST_F(Download, ABadEndPacketRejectsTheCurveBeforeAnyPointIsWritten) {
    m_fake.Answer(Curve(3, 499));
    auto points = Untouched(500);
    EXPECT_EQ(m_port.DownloadForceCurve(3, points.data()), 0);
    EXPECT_EQ(m_port.GetLastError(), ZarnError::wrongEndValue);
    EXPECT_EQ(points[0].x, -7);

    auto wrongCode = Curve(3);
    wrongCode[500] = Reply(3, 0x80, 500);
    m_fake.Answer(wrongCode);
    EXPECT_EQ(m_port.DownloadForceCurve(3, points.data()), 0);
    EXPECT_EQ(m_port.GetLastError(), ZarnError::unexpectedCode);
    EXPECT_EQ(points[0].x, -7);
}

TEST_F(Download, ADamagedPointStopsTheCurveWithTheEarlierPointsFilled) {
    auto packets = Curve(3);
    packets[250].lrc ^= 1;
    m_fake.Answer(packets);
    auto points = Untouched(500);
    EXPECT_EQ(m_port.DownloadForceCurve(3, points.data()), 0);
    EXPECT_EQ(points[249].x, 249);
    EXPECT_EQ(points[250].x, -7);
}

TEST_F(Download, ASilentOrShortCurveFailsAndRestoresTheTimeout) {
    auto points = Untouched(500);
    m_fake.Silence();
    std::uint32_t start = m_fake.m_clock.TickCount();
    EXPECT_EQ(m_port.DownloadForceCurve(3, points.data()), 0);
    EXPECT_EQ(m_fake.m_clock.TickCount() - start, 6000u);
    EXPECT_EQ(m_port.GetLastError(), ZarnError::noReply);
    EXPECT_EQ(CSerialPort::ReadTimeouts().ReadTotalTimeoutConstant, 1200u);

    // Stopping after 300 packets: rejected whole, nothing written.
    Bytes cut = BytesOf(Curve(3));
    cut.resize(300 * 8);
    m_fake.Answer(cut);
    EXPECT_EQ(m_port.DownloadForceCurve(3, points.data()), 0);
    EXPECT_EQ(m_port.GetLastError(), ZarnError::shortReply);
    EXPECT_EQ(points[0].x, -7);
}

TEST_F(Download, BatchCollectsEntriesUntilTheEndPacket) {
    m_fake.Answer(std::vector<COAXNWKPACKET>{Reply(8, 0x10, 100), Reply(8, 0x10, 0xFFFF),
                                             Reply(8, 0x10, 7), Reply(8, ZARN_END, 3)});
    m_fake.Answer(Reply(8, 0x42, 55)); // the BLO read that closes the batch
    auto points = Untouched(1000);
    unsigned short count = 99;
    CStats stats;
    stats.m_nBatchMax = 10;
    EXPECT_EQ(m_port.DownloadBatchBuffer(8, points.data(), &count, stats, 1000), 1);
    EXPECT_EQ(count, 3);
    EXPECT_EQ(points[0].y, 100);
    EXPECT_EQ(points[1].x, 1);
    EXPECT_EQ(points[1].y, 4095);
    EXPECT_EQ(points[2].y, 7);
    EXPECT_EQ(points[3].x, -7);
    EXPECT_EQ(stats.m_nBatchMax, 4095);
    EXPECT_EQ(stats.m_nBLO, 0); // the BLO read is not kept
    EXPECT_EQ(m_fake.Request(0).code, 4);
    EXPECT_EQ(m_fake.Request(1).code, 66);

    // The batch maximum is only ever raised.
    stats.m_nBatchMax = 5000;
    m_fake.Answer(std::vector<COAXNWKPACKET>{Reply(8, 0x10, 100), Reply(8, ZARN_END, 1)});
    m_fake.Answer(Reply(8, 0x42, 55));
    EXPECT_EQ(m_port.DownloadBatchBuffer(8, points.data(), &count, stats, 1000), 1);
    EXPECT_EQ(stats.m_nBatchMax, 5000);
}

TEST_F(Download, BatchEndValueMustMatchTheCount) {
    m_fake.Answer(std::vector<COAXNWKPACKET>{Reply(8, 0x10, 100), Reply(8, 0x10, 4095),
                                             Reply(8, 0x10, 7), Reply(8, ZARN_END, 4)});
    m_fake.Answer(Reply(8, 0x42, 55));
    auto points = Untouched(1000);
    unsigned short count = 0;
    CStats stats;
    EXPECT_EQ(m_port.DownloadBatchBuffer(8, points.data(), &count, stats, 1000), 0);
    EXPECT_EQ(m_port.GetLastError(), ZarnError::wrongEndValue);
    EXPECT_EQ(count, 3);
    EXPECT_EQ(points[2].y, 7);

    // An empty batch is a lone end packet; it still needs the BLO read.
    m_fake.Answer(Reply(8, ZARN_END, 0));
    m_fake.Answer(Reply(8, 0x42, 55));
    EXPECT_EQ(m_port.DownloadBatchBuffer(8, points.data(), &count, stats, 1000), 1);
    EXPECT_EQ(count, 0);
    m_fake.Answer(Reply(8, ZARN_END, 0));
    m_fake.Silence();
    m_fake.Silence();
    EXPECT_EQ(m_port.DownloadBatchBuffer(8, points.data(), &count, stats, 1000), 0);

    // A batch that stops without its end packet fails after one packet time-out.
    m_fake.Answer(std::vector<COAXNWKPACKET>{Reply(8, 0x10, 1), Reply(8, 0x10, 2)});
    EXPECT_EQ(m_port.DownloadBatchBuffer(8, points.data(), &count, stats, 1000), 0);
    EXPECT_EQ(m_port.GetLastError(), ZarnError::noReply);
    EXPECT_EQ(count, 2);
}

TEST_F(Download, BatchNeverWritesPastTheCallersArray) {
    std::vector<COAXNWKPACKET> packets;
    for (int i = 0; i < 12; ++i) {
        packets.push_back(Reply(8, 0x10, static_cast<std::uint16_t>(i)));
    }
    packets.push_back(Reply(8, ZARN_END, 12));
    m_fake.Answer(packets);
    auto points = Untouched(11); // one guard entry past the capacity of 10
    unsigned short count = 0;
    CStats stats;
    EXPECT_EQ(m_port.DownloadBatchBuffer(8, points.data(), &count, stats, 10), 0);
    EXPECT_EQ(m_port.GetLastError(), ZarnError::capacityExceeded);
    EXPECT_EQ(count, 10);
    EXPECT_EQ(points[9].y, 9);
    EXPECT_EQ(points[10].x, -7);
    // The rest of the batch was drained, so the next request starts on a quiet line.
    EXPECT_EQ(m_fake.m_line->PendingInput(), 0u);
    m_fake.Answer(Reply(8, ZARN_ACK, 0));
    EXPECT_EQ(m_port.RequestACK(8), 1);
}

TEST_F(Download, ABabblingNodeIsNotDrainedForEver) {
    // More entries than any end value can count, and still no end packet.
    constexpr int kSent = 0xFFFF + 11;
    std::vector<COAXNWKPACKET> packets(kSent, Reply(8, 0x10, 5));
    m_fake.Answer(packets);
    auto points = Untouched(2);
    unsigned short count = 0;
    CStats stats;
    EXPECT_EQ(m_port.DownloadBatchBuffer(8, points.data(), &count, stats, 1), 0);
    EXPECT_EQ(m_port.GetLastError(), ZarnError::capacityExceeded);
    EXPECT_EQ(count, 1);
    EXPECT_EQ(points[1].x, -7);
    // The draining stops once the batch can no longer end well.
    EXPECT_EQ(m_fake.m_line->PendingInput(), 10u * sizeof(COAXNWKPACKET));
}

TEST_F(Download, StatisticsScaleTenthsAndNeedTheEndCode) {
    auto answer = [&](unsigned char lastCode) {
        const std::uint16_t v[8] = {123, 25, 13, 15, static_cast<std::uint16_t>(-40), 260, 90, 10};
        std::vector<COAXNWKPACKET> packets;
        for (int i = 0; i < 8; ++i) {
            packets.push_back(Reply(5, i == 7 ? lastCode : 0x4A, v[i]));
        }
        m_fake.Answer(packets);
        m_fake.Answer(Reply(5, 0x42, 77));
    };
    answer(ZARN_END);
    CStats stats;
    EXPECT_EQ(m_port.GetStatistics(5, stats), 1);
    EXPECT_FLOAT_EQ(stats.m_fMean, 12.3f);
    EXPECT_FLOAT_EQ(stats.m_fStdDev, 2.5f);
    EXPECT_FLOAT_EQ(stats.m_fCpk, 1.3f);
    EXPECT_FLOAT_EQ(stats.m_fCp, 1.5f);
    EXPECT_EQ(stats.m_nMin, -40);
    EXPECT_EQ(stats.m_nMax, 260);
    EXPECT_EQ(stats.m_nGood, 90);
    EXPECT_EQ(stats.m_nBad, 10);
    EXPECT_EQ(stats.m_nBLO, 77);
    EXPECT_EQ(m_fake.Request(0).code, 74);
    EXPECT_EQ(m_fake.Request(1).code, 66);

    CStats other;
    answer(0x4A);
    EXPECT_EQ(m_port.GetStatistics(5, other), 0);
    EXPECT_EQ(m_port.GetLastError(), ZarnError::unexpectedCode);
    EXPECT_EQ(other.m_nBad, 10);
    EXPECT_EQ(other.m_nBLO, 77);

    // Negative tenths keep their sign.
    std::vector<COAXNWKPACKET> neg(8, Reply(5, 0, static_cast<std::uint16_t>(-5)));
    neg[7] = Reply(5, ZARN_END, 0);
    m_fake.Answer(neg);
    m_fake.Answer(Reply(5, 0x42, 1));
    EXPECT_EQ(m_port.GetStatistics(5, other), 1);
    EXPECT_FLOAT_EQ(other.m_fMean, -0.5f);

    // A missing fifth value: the first four are kept.
    CStats partial;
    std::vector<COAXNWKPACKET> four(4, Reply(5, 0, 20));
    m_fake.Answer(four);
    EXPECT_EQ(m_port.GetStatistics(5, partial), 0);
    EXPECT_FLOAT_EQ(partial.m_fCp, 2.0f);
    EXPECT_EQ(partial.m_nMin, 0);
}

} // namespace
