#include "DeviceTestSupport.h"

#include "devices/VaskPort.h"

namespace {

class VaskPortTest : public CLineTest {
protected:
    void SetUp() override {
        CLineTest::SetUp();
        m_port = std::make_unique<CVaskPort>(kPort, 19200, lintaro::NOPARITY, lintaro::ONESTOPBIT);
        ASSERT_TRUE(m_port->SetCommPort());
        m_line->ClearRecord();
    }
    void TearDown() override {
        m_port.reset();
        CLineTest::TearDown();
    }
    // Modem status from a list, one entry per read (the last repeats).
    void ScriptModem(std::vector<unsigned long> words) {
        auto reads = std::make_shared<std::size_t>(0);
        m_line->SetModemStatusFunction([words, reads](std::uint32_t) {
            std::size_t i = (*reads)++;
            return words[i < words.size() ? i : words.size() - 1];
        });
    }
    std::unique_ptr<CVaskPort> m_port;
};

TEST(ManchesterTest, CodeWordsOfTheTable) {
    const std::pair<unsigned char, unsigned short> table[] = {
        {0x00, 0x5555}, {0xFF, 0xAAAA}, {0x01, 0x5556},
        {0x80, 0x9555}, {0xA5, 0x9966}, {0x11, 0x5656},
    };
    for (auto [byte, word] : table) {
        EXPECT_EQ(CVaskPort::ManchesterEncode(byte), word) << int(byte);
        EXPECT_EQ(CVaskPort::ManchesterDecode(word), byte) << word;
    }
}

TEST(ManchesterTest, EveryByteSurvivesTheRoundTripAndMatchesAnIndependentCoder) {
    for (int b = 0; b < 256; ++b) {
        const auto byte = static_cast<unsigned char>(b);
        const unsigned short word = CVaskPort::ManchesterEncode(byte);
        EXPECT_EQ(word, PeerManchester(byte)) << b;
        EXPECT_EQ(CVaskPort::ManchesterDecode(word), byte) << b;
    }
}

TEST(ManchesterTest, DamagedWordsDecodeAsTheLinkExpects) {
    EXPECT_EQ(CVaskPort::ManchesterDecode(0xA000), 0x03);
    EXPECT_EQ(CVaskPort::ManchesterDecode(0x0000), 0x00);
    EXPECT_EQ(CVaskPort::ManchesterDecode(0xFFFF), 0x00);
    // 00 and 11 pairs inside a word are 0 bits, not the end.
    EXPECT_EQ(CVaskPort::ManchesterDecode(0x8002), 0x81);
    EXPECT_EQ(CVaskPort::ManchesterDecode(0xB002), 0x81);
}

TEST_F(VaskPortTest, LineSwitchesDriveRtsAndDtrAndTrackTheReceiver) {
    EXPECT_TRUE(m_port->TxOn());
    EXPECT_TRUE(m_line->Rts());
    EXPECT_TRUE(m_port->RxOn());
    EXPECT_TRUE(m_line->Dtr());
    EXPECT_EQ(m_port->IsRxOn(), 1);
    EXPECT_TRUE(m_port->RxOff());
    EXPECT_FALSE(m_line->Dtr());
    EXPECT_EQ(m_port->IsRxOn(), 0);
    m_port->RxOn();
    m_port.reset();
    EXPECT_FALSE(m_line->Rts());
    EXPECT_FALSE(m_line->Dtr());
    // Receiver first, then transmitter, then the port closes.
    const auto e = Escapes();
    ASSERT_GE(e.size(), 2u);
    EXPECT_EQ(e[e.size() - 2], lintaro::CLRDTR);
    EXPECT_EQ(e.back(), lintaro::CLRRTS);
    EXPECT_FALSE(m_line->IsOpen());
}

TEST_F(VaskPortTest, RandomDelayTakesTheSecondDrawUnlessTheFirstIsSmall) {
    struct Case {
        std::vector<int> draws;
        std::uint32_t ticks; // Delay(n) ends after n + 1 ticks
    };
    const Case cases[] = {
        {{0x102}, 4},       // low byte 2: take 3
        {{0x00}, 4},        // 0: take 3
        {{0x03, 0x2A}, 11}, // second draw, low four bits 10
        {{0x10, 0x30}, 2},  // second draw's low bits 0: 1 ms
        {{0xFF, 0x0F}, 16}, // 15 ms, the longest
    };
    for (const Case& c : cases) {
        SetRandomNumbers(c.draws);
        const std::uint32_t start = Now();
        m_port->RandomDelay();
        EXPECT_EQ(Now() - start, c.ticks) << c.draws[0];
    }
}

TEST_F(VaskPortTest, NoCarrierTestSwitchesOnWithoutReadingTheLines) {
    const std::uint32_t start = Now();
    EXPECT_EQ(m_port->TestCarrierDetect2(0), 1);
    EXPECT_TRUE(m_line->Rts());
    EXPECT_EQ(m_line->ModemStatusReads(), 0u);
    EXPECT_EQ(Now() - start, 2u);
}

TEST_F(VaskPortTest, FreeMediumTransmitsAfterOneBackOff) {
    m_line->SetModemStatus(lintaro::MS_DSR_ON |
                           lintaro::MS_RING_ON); // lines other than CTS do not matter
    SetRandomNumbers({0x40, 0x07});
    const std::uint32_t start = Now();
    EXPECT_EQ(m_port->TestCarrierDetect2(1), 1);
    EXPECT_TRUE(m_line->Rts());
    EXPECT_EQ(m_line->ModemStatusReads(), 2u);
    EXPECT_EQ(Now() - start, 8u);
}

TEST_F(VaskPortTest, BusyMediumGivesUpAtTheHundredAndFirstPoll) {
    m_line->SetModemStatus(lintaro::MS_CTS_ON);
    const std::uint32_t start = Now();
    EXPECT_EQ(m_port->TestCarrierDetect2(1), 0);
    EXPECT_FALSE(m_line->Rts());
    EXPECT_EQ(m_line->ModemStatusReads(), 101u);
    EXPECT_EQ(Now() - start, 200u);
    EXPECT_EQ(m_clock.SleepCalls(), 100u); // yields between polls, 2 ms each
}

TEST_F(VaskPortTest, MediumThatFreesOnTheLastPollIsTaken) {
    std::vector<unsigned long> words(101, lintaro::MS_CTS_ON);
    words.push_back(0);
    words[100] = 0;
    ScriptModem(words);
    EXPECT_EQ(m_port->TestCarrierDetect2(1), 1);
    EXPECT_EQ(m_line->ModemStatusReads(), 102u);
}

TEST_F(VaskPortTest, CarrierReturningAfterEveryBackOffGivesUpAtTheFifthReturn) {
    ScriptModem({0, lintaro::MS_CTS_ON, 0, lintaro::MS_CTS_ON, 0, lintaro::MS_CTS_ON, 0,
                 lintaro::MS_CTS_ON, 0, lintaro::MS_CTS_ON, 0});
    const std::uint32_t start = Now();
    EXPECT_EQ(m_port->TestCarrierDetect2(1), 0);
    EXPECT_FALSE(m_line->Rts());
    EXPECT_EQ(m_line->ModemStatusReads(), 10u);
    // Five back-offs of 3 ms (4 ticks each) and four 50 ms pauses between them.
    EXPECT_EQ(Now() - start, 5u * 4 + 4u * 50);
}

TEST_F(VaskPortTest, CarrierReturningFourTimesStillLetsTheFrameGo) {
    ScriptModem({0, lintaro::MS_CTS_ON, 0, lintaro::MS_CTS_ON, 0, lintaro::MS_CTS_ON, 0,
                 lintaro::MS_CTS_ON, 0, 0});
    EXPECT_EQ(m_port->TestCarrierDetect2(1), 1);
    EXPECT_TRUE(m_line->Rts());
}

TEST_F(VaskPortTest, PollAllowanceStartsAgainAfterACollision) {
    // 100 busy polls, free, collision, then 100 busy polls again: both rounds fit.
    std::vector<unsigned long> words(100, lintaro::MS_CTS_ON);
    words.push_back(0);
    words.push_back(lintaro::MS_CTS_ON);
    words.insert(words.end(), 100, lintaro::MS_CTS_ON);
    words.push_back(0);
    words.push_back(0);
    ScriptModem(words);
    EXPECT_EQ(m_port->TestCarrierDetect2(1), 1);
}

TEST_F(VaskPortTest, UnreadableLinesAreNotAFreeMedium) {
    m_line->Vanish();
    EXPECT_EQ(m_port->TestCarrierDetect2(1), 0);
    EXPECT_EQ(m_port->WaitForTxEmpty(), 1); // no capability: the plain wait
}

TEST_F(VaskPortTest, TxEmptyWithoutCapabilityWaitsTwentyMilliseconds) {
    m_line->SetModemStatus(lintaro::MS_DSR_ON);
    const std::uint32_t start = Now();
    EXPECT_EQ(m_port->WaitForTxEmpty(), 1);
    EXPECT_EQ(Now() - start, 21u);
    EXPECT_EQ(m_line->ModemStatusReads(), 0u);
}

TEST_F(VaskPortTest, TxEmptyWithCapability) {
    auto modemOnBreak = [this](std::uint32_t) {
        return m_line->InBreak() ? lintaro::MS_DSR_ON : 0ul;
    };
    m_line->SetModemStatusFunction(modemOnBreak);
    ASSERT_EQ(m_port->TestForIntelligentWaitCapability(), 1);

    m_line->SetModemStatus(lintaro::MS_DSR_ON);
    std::uint32_t start = Now();
    unsigned before = m_line->ModemStatusReads();
    EXPECT_EQ(m_port->WaitForTxEmpty(), 0);
    EXPECT_EQ(m_line->ModemStatusReads() - before, 200u);
    EXPECT_EQ(Now() - start, 200u);

    // Idle, busy again, then idle twice: the two-poll check starts over.
    ScriptModem({lintaro::MS_DSR_ON, 0, lintaro::MS_DSR_ON, 0, 0, lintaro::MS_DSR_ON});
    start = Now();
    EXPECT_EQ(m_port->WaitForTxEmpty(), 1);
    EXPECT_EQ(Now() - start, 1u + 2 + 1 + 2);

    // The allowance counts busy polls only and is not restored by an idle one.
    std::vector<unsigned long> words;
    for (int i = 0; i < 199; ++i) {
        words.push_back(lintaro::MS_DSR_ON);
        words.push_back(0);
    }
    words.push_back(lintaro::MS_DSR_ON);
    words.push_back(0);
    words.push_back(0);
    ScriptModem(words);
    EXPECT_EQ(m_port->WaitForTxEmpty(), 0);
}

TEST_F(VaskPortTest, CapabilityProbeComparesTheLinesAroundABreak) {
    m_line->SetModemStatus(lintaro::MS_CTS_ON);
    EXPECT_EQ(m_port->TestForIntelligentWaitCapability(), 0);
    EXPECT_EQ(m_port->HasIntelligentWait(), 0);
    EXPECT_EQ(Escapes(), (std::vector<unsigned long>{lintaro::SETDTR, lintaro::SETBREAK,
                                                     lintaro::CLRBREAK, lintaro::CLRDTR}));
    EXPECT_EQ(m_line->ModemStatusReads(), 2u);
    EXPECT_FALSE(m_line->InBreak());

    // Any line counts, not only DSR.
    m_line->SetModemStatusFunction(
        [this](std::uint32_t) { return m_line->InBreak() ? lintaro::MS_RING_ON : 0ul; });
    EXPECT_EQ(m_port->TestForIntelligentWaitCapability(), 1);
    EXPECT_EQ(m_port->HasIntelligentWait(), 1);
}

} // namespace
