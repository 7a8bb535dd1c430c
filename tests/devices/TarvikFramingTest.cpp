#include "DeviceTestSupport.h"

#include "devices/OndralPort.h"

namespace {

using Event = CScriptedLine::Event;

Bytes Word(unsigned char byte) {
    const std::uint16_t w = PeerManchester(byte);
    return {static_cast<std::uint8_t>(w & 0xFF), static_cast<std::uint8_t>(w >> 8)};
}

Bytes Join(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& p : parts) {
        out.insert(out.end(), p.begin(), p.end());
    }
    return out;
}

class FramingTest : public CLoggerTest {
protected:
    // The port without anyone answering at the far end.
    void OpenQuiet(bool vask) {
        Open(vask);
        m_line->SetResponder(nullptr);
    }
    std::vector<std::size_t> WriteSizes() const {
        std::vector<std::size_t> sizes;
        for (const auto& e : m_line->EventsOf(Event::kWrite)) {
            sizes.push_back(e.data.size());
        }
        return sizes;
    }
};

TEST_F(FramingTest, VaskFrameOnTheWire) {
    OpenQuiet(true);
    const unsigned char request[] = {0x07, 0x00, 0x00};
    for (unsigned char handshake : {0x00, 0x80}) {
        m_line->ClearRecord();
        ASSERT_EQ(m_port->WriteVaskData(request, 3, handshake, 1), 1);
        const Bytes written = m_line->Written();
        EXPECT_EQ(written, VaskFrame(0x11, {0x07, 0x00, 0x00}, handshake));
        const Bytes tail(written.end() - 2, written.end());
        EXPECT_EQ(tail, Word(handshake ? 0x98 : 0x18));
        EXPECT_EQ(WriteSizes(), (std::vector<std::size_t>{16, 1, 10}));
        // Receiver on to listen, off while sending, back on after; transmitter only around
        // the frame.
        EXPECT_EQ(Escapes(),
                  (std::vector<unsigned long>{lintaro::SETDTR, lintaro::SETRTS, lintaro::CLRDTR,
                                              lintaro::SETDTR, lintaro::CLRRTS}));
        EXPECT_TRUE(m_line->Dtr());
        EXPECT_FALSE(m_line->Rts());
        EXPECT_EQ(m_port->IsRxOn(), 1);
    }
}

TEST_F(FramingTest, VaskFrameTimingAroundTheWrites) {
    OpenQuiet(true);
    const unsigned char request[] = {0x05, 0x00, 0x00};
    for (int waitForLine : {1, 0}) {
        m_line->ClearRecord();
        const unsigned reads = m_line->ModemStatusReads();
        ASSERT_EQ(m_port->WriteVaskData(request, 3, 0, waitForLine), 1);
        const auto purges = m_line->EventsOf(Event::kPurge);
        const auto writes = m_line->EventsOf(Event::kWrite);
        const auto escapes = m_line->EventsOf(Event::kEscape);
        ASSERT_EQ(purges.size(), 1u);
        EXPECT_EQ(purges[0].nValue, lintaro::PURGE_TXCLEAR | lintaro::PURGE_RXCLEAR);
        EXPECT_EQ(writes[0].nTick - purges[0].nTick, waitForLine ? 2u : 11u);
        // Without the intelligent-wait capability the transmitter stays on 20 ms after.
        EXPECT_EQ(escapes.back().nValue, lintaro::CLRRTS);
        EXPECT_EQ(escapes.back().nTick - writes.back().nTick, 21u);
        EXPECT_EQ(m_line->ModemStatusReads() > reads, waitForLine == 1);
    }
}

TEST_F(FramingTest, VaskWriteFailureSwitchesTheTransmitterOff) {
    OpenQuiet(true);
    m_line->LimitWrites(8);
    const unsigned char request[] = {0x05, 0x00, 0x00};
    EXPECT_EQ(m_port->WriteVaskData(request, 3, 0, 1), 0);
    EXPECT_FALSE(m_line->Rts());
    EXPECT_TRUE(m_line->Dtr());
    EXPECT_EQ(WriteSizes(), (std::vector<std::size_t>{8}));
}

TEST_F(FramingTest, BusyMediumReopensThePortAndSendsNothing) {
    OpenQuiet(true);
    m_line->SetModemStatus(lintaro::MS_CTS_ON);
    const unsigned opens = m_line->OpenCount();
    const unsigned char request[] = {0x05, 0x00, 0x00};
    EXPECT_EQ(m_port->WriteVaskData(request, 3, 0, 1), 0);
    EXPECT_EQ(m_line->OpenCount(), opens + 1);
    EXPECT_TRUE(m_line->Written().empty());
    EXPECT_FALSE(m_line->Rts());
    EXPECT_FALSE(m_line->Dtr());
}

TEST_F(FramingTest, OversizedOrMissingPayloadIsRefusedBeforeTheLine) {
    OpenQuiet(true);
    unsigned char big[300] = {};
    EXPECT_EQ(m_port->WriteVaskData(big, 256, 0, 1), 0);
    EXPECT_EQ(m_port->WriteVaskData(big, -1, 0, 1), 0);
    EXPECT_EQ(m_port->WriteVaskData(nullptr, 3, 0, 1), 0);
    EXPECT_TRUE(m_line->Events().empty());
    // The largest payload fits.
    EXPECT_EQ(m_port->WriteVaskData(big, 255, 0, 1), 1);
    EXPECT_EQ(m_line->Written().size(), 16u + 1 + 2 * 257);
}

TEST_F(FramingTest, SerialFrameOnTheWire) {
    OpenQuiet(false);
    const unsigned char request[] = {0x07, 0x00, 0x00};
    ASSERT_EQ(m_port->WriteRS232Data(request, 3, 0x80), 1);
    EXPECT_EQ(m_line->Written(), (Bytes{0x3C, 0x03, 0x07, 0x00, 0x00, 0x87}));
    EXPECT_EQ(WriteSizes(), (std::vector<std::size_t>{1, 1, 3, 1}));
    EXPECT_TRUE(Escapes().empty());

    m_line->ClearRecord();
    const unsigned char carry[] = {0xFF, 0xFF, 0x03};
    ASSERT_EQ(m_port->WriteRS232Data(carry, 3, 0x00), 1);
    EXPECT_EQ(m_line->Written(), (Bytes{0x3C, 0x03, 0xFF, 0xFF, 0x03, 0x01}));

    m_line->LimitWrites(0);
    EXPECT_EQ(m_port->WriteRS232Data(request, 3, 0), 0);
}

TEST_F(FramingTest, VaskHeaderSynchronisesOnlyOnAdjacentSyncBytes) {
    OpenQuiet(true);
    m_line->Feed(Join({{0x55, 0x01, 0x01, 0x7F, 0x11}, Word(3)}));
    EXPECT_EQ(m_port->ReadFrameHeader(), CTarvikPort::kNothing);
    EXPECT_EQ(CTarvikPort::GetSyncState(), 0);

    m_line->Feed(Join({{0x01, 0x01, 0x7F, 0x01, 0x7F, 0x11}, Word(3)}));
    EXPECT_EQ(m_port->ReadFrameHeader(), 3);
    EXPECT_EQ(CTarvikPort::GetSyncState(), 0);
    EXPECT_EQ(m_line->PendingInput(), 0u);
}

TEST_F(FramingTest, SynchronisationSurvivesBetweenCallsAndObjects) {
    OpenQuiet(true);
    auto other = CScriptedLine::Create();
    auto reg = other->Register("DEVTEST2");
    CTarvikPort second("DEVTEST2", 19200, lintaro::NOPARITY, lintaro::ONESTOPBIT);
    ASSERT_TRUE(second.SetCommPort());

    // Half a sync pair on one port, the rest on the other.
    m_line->Feed({0x01});
    EXPECT_EQ(m_port->ReadFrameHeader(), CTarvikPort::kNothing);
    EXPECT_EQ(CTarvikPort::GetSyncState(), 1);
    other->Feed({0x7F});
    EXPECT_EQ(second.ReadFrameHeader(), CTarvikPort::kNothing);
    EXPECT_EQ(CTarvikPort::GetSyncState(), 2);

    // Synchronised: the next call starts with the packet ID, whichever object makes it.
    m_line->Feed(Join({{0x11}, Word(9)}));
    EXPECT_EQ(m_port->ReadFrameHeader(), 9);

    // A missing length word is a time-out, after the packet ID was taken.
    m_line->Feed({0x01, 0x7F, 0x11, 0x55});
    EXPECT_EQ(m_port->ReadFrameHeader(), CTarvikPort::kNothing);
    EXPECT_EQ(CTarvikPort::GetSyncState(), 0);
}

TEST_F(FramingTest, ForeignPacketIDFlushesAndResets) {
    OpenQuiet(true);
    m_line->Feed(VaskFrame(0x12, {0x94, 0x01, 0x02}, 0));
    const std::uint32_t later = Now() + 5;
    m_line->FeedAt(later, VaskFrame(0x11, {0x94, 0x01, 0x02}, 0));
    EXPECT_EQ(m_port->ReadFrameHeader(), CTarvikPort::kForeignFrame);
    EXPECT_EQ(CTarvikPort::GetSyncState(), 0);
    EXPECT_EQ(m_line->EventsOf(Event::kPurge).size(), 1u);
    // The rest of the foreign frame went with the purge; the own frame, still to come, did not.
    EXPECT_EQ(m_line->PendingInput(), VaskFrame(0x11, {0x94, 0x01, 0x02}, 0).size());
    EXPECT_EQ(m_port->ReadFrameHeader(), 3);
}

TEST_F(FramingTest, HeaderHuntIsBounded) {
    OpenQuiet(true);
    m_line->Feed(Bytes(2500, 0x55));
    EXPECT_EQ(m_port->ReadFrameHeader(), CTarvikPort::kNothing);
    EXPECT_EQ(m_line->PendingInput(), 500u);

    OpenQuiet(false);
    m_line->Feed(Bytes(2000, 0x55));
    EXPECT_EQ(m_port->ReadSerialFrameHeader(), CTarvikPort::kNothing);
    EXPECT_EQ(m_line->PendingInput(), 500u);
}

TEST_F(FramingTest, VaskPayloadIsCheckedAndNeverReadShort) {
    OpenQuiet(true);
    unsigned char buffer[4] = {0xEE, 0xEE, 0xEE, 0xEE};
    unsigned char received = 0x55;

    m_line->Feed(Join(
        {Word(0x94), Word(0x12), Word(0x34), Word(0x80 | ((0x11 + 0x94 + 0x12 + 0x34) & 0x7F))}));
    ASSERT_EQ(m_port->ReadVaskData(buffer, 3, &received), 1);
    EXPECT_EQ(Bytes(buffer, buffer + 4), (Bytes{0x94, 0x12, 0x34, 0xEE}));
    EXPECT_EQ(received, 0x80);
    EXPECT_EQ(m_port->GetReceivedHandshake(), 0x80);

    // A frame cut short fails, even one whose missing words, taken as zero, would check.
    m_line->Feed(Join({Word(0x94), Word(0x5B)})); // 0x11 + 0x94 + 0x5B is 0x100
    EXPECT_EQ(m_port->ReadVaskData(buffer, 3, &received), 0);

    // Checksum off by one: failure and a purge.
    m_line->ClearRecord();
    m_line->Feed(Join({Word(0x94), Word(0x12), Word(0x34), Word(0x12)}));
    EXPECT_EQ(m_port->ReadVaskData(buffer, 3, &received), 0);
    EXPECT_EQ(m_line->EventsOf(Event::kPurge).size(), 1u);

    // An empty payload is only the checksum over the packet ID.
    m_line->Feed(Word(0x11));
    EXPECT_EQ(m_port->ReadVaskData(nullptr, 0, nullptr), 1);
    EXPECT_EQ(m_port->ReadVaskData(buffer, 256, nullptr), 0);
    EXPECT_EQ(m_port->ReadVaskData(buffer, -1, nullptr), 0);
}

TEST_F(FramingTest, SerialHeaderAndPayload) {
    OpenQuiet(false);
    unsigned char buffer[3] = {};
    unsigned char received = 0;
    m_line->Feed(Join({{0x00, 0x7F, 0x01}, SerialFrame({0x94, 0x3C, 0x02}, 0x80)}));
    ASSERT_EQ(m_port->ReadSerialFrameHeader(), 3);
    ASSERT_EQ(m_port->ReadSerialData(buffer, 3, &received), 1);
    EXPECT_EQ(Bytes(buffer, buffer + 3), (Bytes{0x94, 0x3C, 0x02}));
    EXPECT_EQ(received, 0x80);

    m_line->Feed(SerialFrame({0x94, 0x01, 0x02}, 0x00, true));
    ASSERT_EQ(m_port->ReadSerialFrameHeader(), 3);
    EXPECT_EQ(m_port->ReadSerialData(buffer, 3, &received), 0);
    EXPECT_EQ(received, 0x80); // only a good frame tells its bit

    // Cut short: a byte coming after the time-out is not taken for the checksum of what the
    // buffer held before.
    m_line->Feed({0x3C, 0x03, 0x94, 0x01});
    m_line->Feed({(0x94 + 0x01 + 0x02) & 0x7F}, 600);
    ASSERT_EQ(m_port->ReadSerialFrameHeader(), 3);
    EXPECT_EQ(m_port->ReadSerialData(buffer, 3, &received), 0);

    m_line->Feed({0x3C});
    EXPECT_EQ(m_port->ReadSerialFrameHeader(), CTarvikPort::kNothing);
    EXPECT_EQ(m_port->ReadSerialFrameHeader(), CTarvikPort::kNothing);
}

// The exchange, over both links.
class ExchangeTest : public CLoggerTest, public ::testing::WithParamInterface<bool> {
protected:
    void SetUp() override {
        CLoggerTest::SetUp();
        Open(GetParam());
    }
    std::vector<std::uint8_t> SentHandshakes() const {
        std::vector<std::uint8_t> out;
        for (const auto& r : m_peer->Requests()) {
            out.push_back(r.nHandshake);
        }
        return out;
    }
};

TEST_P(ExchangeTest, ValueComesBackAndTheHandshakeAlternates) {
    m_peer->SetValue(0x06, 0xBEEF);
    unsigned short value = 0;
    ASSERT_EQ(m_port->GetSerialNumber(&value), 1);
    EXPECT_EQ(value, 0xBEEF);
    EXPECT_EQ(m_port->GetHandshake(), 0x80);
    ASSERT_EQ(m_port->GetSerialNumber(&value), 1);
    EXPECT_EQ(m_port->GetHandshake(), 0x00);
    EXPECT_EQ(SentHandshakes(), (std::vector<std::uint8_t>{0x00, 0x80}));
    EXPECT_EQ(m_peer->Commands(), (std::vector<Bytes>{{0x06, 0, 0}, {0x06, 0, 0}}));
    EXPECT_EQ(m_line->Timeouts().ReadTotalTimeoutConstant, GetParam() ? 500u : 200u);
}

TEST_P(ExchangeTest, ReplyWithTheOtherHandshakeIsRetriedThenGivenUp) {
    CLoggerPeer::Fault other;
    other.bOtherHandshake = true;
    m_peer->AddFault(other);
    unsigned short value = 0;
    ASSERT_EQ(m_port->GetSWVersion(&value), 1);
    EXPECT_EQ(SentHandshakes(), (std::vector<std::uint8_t>{0x00, 0x00}));
    EXPECT_EQ(m_port->GetHandshake(), 0x80);

    m_peer->AddFaults(3, other);
    value = 77;
    EXPECT_EQ(m_port->GetSWVersion(&value), 0);
    EXPECT_EQ(value, 77);
    EXPECT_EQ(m_port->GetHandshake(), 0x80); // unchanged after a failure
    // The next command repeats the bit.
    ASSERT_EQ(m_port->StopSampling(), 1);
    EXPECT_EQ(SentHandshakes(), (std::vector<std::uint8_t>{0x00, 0x00, 0x80, 0x80, 0x80, 0x80}));
}

TEST_P(ExchangeTest, WaveJigTakesEitherBitAndStillFlips) {
    CLoggerPeer::Fault other;
    other.bOtherHandshake = true;
    m_peer->AddFault(other);
    m_peer->SetValue(0x5C, 8);
    unsigned short channels = 0;
    ASSERT_EQ(m_port->GetWaveChannelCount(&channels), 1);
    EXPECT_EQ(channels, 8);
    EXPECT_EQ(m_peer->Requests().size(), 1u);
    EXPECT_EQ(m_port->GetHandshake(), 0x80);
}

TEST_P(ExchangeTest, DamagedRepliesAreRetried) {
    CLoggerPeer::Fault bad;
    bad.bBadChecksum = true;
    CLoggerPeer::Fault cut;
    cut.bTruncate = true;
    CLoggerPeer::Fault noisy;
    noisy.noiseBefore = {0x01, 0x01, 0x7F, 0xFF, 0x7E};
    m_peer->AddFault(bad);
    m_peer->AddFault(cut);
    m_peer->AddFault(noisy);
    m_peer->SetValue(0x09, 0x0321);
    unsigned short level = 0;
    ASSERT_EQ(m_port->GetBatteryLevel(&level), 1);
    EXPECT_EQ(level, 0x0321);
    EXPECT_EQ(m_peer->Requests().size(), 3u);
}

TEST_P(ExchangeTest, SilentLoggerCostsThreeTimeOuts) {
    CLoggerPeer::Fault silent;
    silent.bSilent = true;
    m_peer->AddFaults(3, silent);
    const std::uint32_t start = Now();
    EXPECT_EQ(m_port->StartSampling(), 0);
    const std::uint32_t waited = Now() - start;
    const std::uint32_t timeout = GetParam() ? 500 : 200;
    EXPECT_GE(waited, 3 * timeout);
    EXPECT_LT(waited, 3 * timeout + 3 * 50);
    EXPECT_EQ(m_peer->Requests().size(), 3u);
}

TEST_P(ExchangeTest, PortIsReopenedBeforeEveryAttempt) {
    CLoggerPeer::Fault silent;
    silent.bSilent = true;
    m_peer->AddFault(silent);
    const unsigned opens = m_line->OpenCount();
    ASSERT_EQ(m_port->CalibrateZero(), 1);
    EXPECT_EQ(m_line->OpenCount(), opens + 2);
    const auto escapes = Escapes();
    if (GetParam()) {
        // Re-opened with both lines dropped, receiver off at the end.
        ASSERT_GE(escapes.size(), 2u);
        EXPECT_EQ(escapes[0], lintaro::CLRDTR);
        EXPECT_EQ(escapes[1], lintaro::CLRRTS);
        EXPECT_FALSE(m_line->Dtr());
        EXPECT_EQ(m_port->IsRxOn(), 0);
    } else {
        // A direct cable is re-opened plainly and its lines are left alone.
        EXPECT_TRUE(escapes.empty());
    }
}

TEST_P(ExchangeTest, ShortOrWrongRepliesAreRejected) {
    CLoggerPeer::Fault shortReply;
    shortReply.payload = {0x94, 0x12};
    m_peer->AddFaults(3, shortReply);
    unsigned short value = 0xAAAA;
    EXPECT_EQ(m_port->GetSerialNumber(&value), 0);
    EXPECT_EQ(value, 0xAAAA);

    // A command without a value needs only the code.
    CLoggerPeer::Fault codeOnly;
    codeOnly.payload = {0x98};
    m_peer->AddFault(codeOnly);
    EXPECT_EQ(m_port->StartSampling(), 1);

    // The year answers 0xB0, not the next code after the month's.
    CLoggerPeer::Fault wrongCode;
    wrongCode.payload = {0xAA, 0x07, 0xE7};
    m_peer->AddFaults(3, wrongCode);
    EXPECT_EQ(m_port->GetCalibrationYear(&value), 0);
    m_peer->SetValue(0x1B, 2023);
    EXPECT_EQ(m_port->GetCalibrationYear(&value), 1);
    EXPECT_EQ(value, 2023);
}

TEST_P(ExchangeTest, PortThatCannotBeOpenedFailsEveryAttempt) {
    m_line->RefuseOpen(EBUSY);
    EXPECT_EQ(m_port->StopSampling(), 0);
    EXPECT_TRUE(m_peer->Requests().empty());
    EXPECT_EQ(m_port->GetHandshake(), 0x00);
}

INSTANTIATE_TEST_SUITE_P(Links, ExchangeTest, ::testing::Values(true, false),
                         [](const auto& link) { return link.param ? "Vask" : "Cable"; });

TEST_F(FramingTest, ForeignFramesAreSkippedUpToAHundred) {
    Open(true);
    // The frames start arriving after the host has begun to listen.
    m_peer->Attach(*m_line, 30);
    const unsigned char request[] = {0x07, 0x00, 0x00};
    CLoggerPeer::Fault crowded;
    crowded.nForeignBefore = 100;
    m_peer->AddFault(crowded);
    m_peer->SetValue(0x07, 42);
    unsigned short value = 0;
    EXPECT_EQ(m_port->SendVaskCommand(request, 3, 0x95, &value, 0), 1);
    EXPECT_EQ(value, 42);

    crowded.nForeignBefore = 101;
    m_peer->AddFault(crowded);
    EXPECT_EQ(m_port->SendVaskCommand(request, 3, 0x95, &value, 0), 0);
    EXPECT_EQ(m_port->IsRxOn(), 0);
}

TEST_F(FramingTest, VaskRepliesMustCarryTheOwnPacketID) {
    Open(true);
    m_port->SetPacketID(0x23);
    EXPECT_EQ(m_port->GetPCID(), 2);
    EXPECT_EQ(m_port->GetLoggerID(), 3);
    // The peer answers only its own ID, 0x11.
    EXPECT_EQ(m_port->StartSampling(), 0);
    EXPECT_TRUE(m_peer->Requests().empty());
    const Bytes written = m_line->Written();
    ASSERT_GT(written.size(), 16u);
    EXPECT_EQ(written[16], 0x23);
}

TEST(OndralPortTest, JigStartsOnTheDirectCable) {
    COndralPort jig("NOSUCHPORT", 38400, lintaro::NOPARITY, lintaro::ONESTOPBIT);
    EXPECT_EQ(jig.UsingVask(), 0);
    EXPECT_EQ(jig.GetPacketID(), 0x11);
    EXPECT_EQ(jig.GetHandshake(), 0x00);
    jig.SetHandshake(0xFF);
    EXPECT_EQ(jig.GetHandshake(), 0x80);
    EXPECT_EQ(jig.DetectLogger(), 1);
}

} // namespace
