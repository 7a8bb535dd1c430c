#include "DeviceTestSupport.h"

#include <functional>

namespace {

using Event = CScriptedLine::Event;

struct SimpleCommand {
    const char* name;
    std::function<int(CTarvikPort&, unsigned short*)> call;
    Bytes request;      // what goes out
    std::uint8_t reply; // what comes back
    bool anyBit;        // the reply's handshake bit may be either
};

// Every simple command, with the request it must send. Setters are called with 0x1234 + the
// command so that their argument shows.
std::vector<SimpleCommand> SimpleCommands() {
    using P = CTarvikPort;
    auto set = [](int (P::*f)(unsigned short), std::uint8_t cmd) {
        return [f, cmd](P& p, unsigned short*) { return (p.*f)(0x1234 + cmd); };
    };
    auto get = [](int (P::*f)(unsigned short*)) {
        return [f](P& p, unsigned short* v) { return (p.*f)(v); };
    };
    auto none = [](int (P::*f)()) { return [f](P& p, unsigned short*) { return (p.*f)(); }; };
    auto arg = [](std::uint8_t cmd) -> Bytes {
        const unsigned v = 0x1234 + cmd;
        return {cmd, static_cast<std::uint8_t>(v >> 8), static_cast<std::uint8_t>(v & 0xFF)};
    };
    auto zero = [](std::uint8_t cmd) -> Bytes { return {cmd, 0, 0}; };
    return {
        {"LoggerInit", set(&P::LoggerInit, 0x01), arg(0x01), 0x93, false},
        {"SetSamplePeriod", set(&P::SetSamplePeriod, 0x02), arg(0x02), 0x9B, false},
        {"SetActiveChannels", set(&P::SetActiveChannels, 0x03), arg(0x03), 0x97, false},
        {"StartSampling", none(&P::StartSampling), zero(0x04), 0x98, false},
        {"StopSampling", none(&P::StopSampling), zero(0x05), 0x99, false},
        {"GetSerialNumber", get(&P::GetSerialNumber), zero(0x06), 0x94, false},
        {"GetSWVersion", get(&P::GetSWVersion), zero(0x07), 0x95, false},
        {"GetProductCode", get(&P::GetProductCode), zero(0x08), 0x96, false},
        {"GetBatteryLevel", get(&P::GetBatteryLevel), zero(0x09), 0x92, false},
        {"CalibrateFullscale", none(&P::CalibrateFullscale), zero(0x0B), 0x9C, false},
        {"CalibrateZero", none(&P::CalibrateZero), zero(0x0C), 0x9D, false},
        {"DoConversion", get(&P::DoConversion), zero(0x11), 0xA2, false},
        {"GetCJTemp", get(&P::GetCJTemp), zero(0x12), 0xA3, false},
        {"SetChannel", set(&P::SetChannel, 0x13), arg(0x13), 0xA4, false},
        {"SetSerialNumber", set(&P::SetSerialNumber, 0x14), arg(0x14), 0x94, false},
        {"SetCalibrationDay", set(&P::SetCalibrationDay, 0x16), arg(0x16), 0xA5, false},
        {"SetCalibrationMonth", set(&P::SetCalibrationMonth, 0x17), arg(0x17), 0xA6, false},
        {"SetCalibrationYear", set(&P::SetCalibrationYear, 0x18), arg(0x18), 0xA7, false},
        {"GetCalibrationDay", get(&P::GetCalibrationDay), zero(0x19), 0xA8, false},
        {"GetCalibrationMonth", get(&P::GetCalibrationMonth), zero(0x1A), 0xA9, false},
        {"GetCalibrationYear", get(&P::GetCalibrationYear), zero(0x1B), 0xB0, false},
        {"GetBufferCount",
         [](P& p, unsigned short* v) { return p.GetBufferCount(v, 0x1234 + 0x1C); }, arg(0x1C),
         0xB3, false},
        {"GetSamplePeriod", get(&P::GetSamplePeriod), zero(0x1E), 0xB6, false},
        {"GetActiveChannels", get(&P::GetActiveChannels), zero(0x1F), 0xB7, false},
        {"RestoreFactoryDefaults", none(&P::RestoreFactoryDefaults), zero(0x20), 0xB8, false},
        {"SetChargeTestMode", none(&P::SetChargeTestMode), {0x21, 0xFF, 0xFF}, 0xB9, false},
        {"ClearChargeTestMode", none(&P::ClearChargeTestMode), zero(0x21), 0xB9, false},
        {"SetFastChargeMode", none(&P::SetFastChargeMode), {0x22, 0x01, 0x01}, 0xBA, false},
        {"SetChargeModeOff", none(&P::SetChargeModeOff), zero(0x22), 0xBA, false},
        {"SetLoggerID", set(&P::SetLoggerID, 0x30), arg(0x30), 0xC0, false},
        {"GetLoggerID", get(static_cast<int (P::*)(unsigned short*)>(&P::GetLoggerID)), zero(0x31),
         0xC1, false},
        {"SetLoggerRange", set(&P::SetLoggerRange, 0x34), arg(0x34), 0xC4, false},
        {"WaveJigInit", none(&P::WaveJigInit), zero(0x50), 0x60, true},
        {"GetWaveParallelism", get(&P::GetWaveParallelism), zero(0x51), 0x61, true},
        {"GetWaveBeltSpeed", get(&P::GetWaveBeltSpeed), zero(0x52), 0x62, true},
        {"GetWaveHeight", get(&P::GetWaveHeight), zero(0x53), 0x63, true},
        {"GetWaveDwellTime", get(&P::GetWaveDwellTime), zero(0x54), 0x64, true},
        {"GetWaveJigStatus", get(&P::GetWaveJigStatus), zero(0x55), 0x65, true},
        {"GetWaveTimeStampPointsHi", get(&P::GetWaveTimeStampPointsHi), zero(0x56), 0x66, true},
        {"GetWaveTimeStampPointsLo", get(&P::GetWaveTimeStampPointsLo), zero(0x57), 0x67, true},
        {"WaveJigStartRun", none(&P::WaveJigStartRun), zero(0x5A), 0x6A, true},
        {"WaveJigStopRun", none(&P::WaveJigStopRun), zero(0x5B), 0x6B, true},
        {"GetWaveChannelCount", get(&P::GetWaveChannelCount), zero(0x5C), 0x6C, true},
        {"GetWaveJigSWVersion", get(&P::GetWaveJigSWVersion), zero(0x5D), 0x6D, true},
    };
}

class CommandTest : public CLoggerTest {};

TEST_F(CommandTest, EveryCommandSendsItsRequestAndTakesItsReply) {
    Open(false);
    for (const SimpleCommand& c : SimpleCommands()) {
        SCOPED_TRACE(c.name);
        const std::uint8_t command = c.request[0];
        const std::uint16_t value = static_cast<std::uint16_t>(0xA000 + command);
        m_peer->SetValue(command, value);
        const std::size_t before = m_peer->Requests().size();
        const unsigned char bit = m_port->GetHandshake();
        unsigned short got = 0;
        ASSERT_EQ(c.call(*m_port, &got), 1);
        ASSERT_EQ(m_peer->Requests().size(), before + 1);
        EXPECT_EQ(m_peer->Requests().back().payload, c.request);
        EXPECT_EQ(m_port->GetHandshake(), bit ^ 0x80);
        if (c.request[1] == 0 && c.request[2] == 0 && c.name[0] == 'G') {
            EXPECT_EQ(got, value);
        }

        // The reply code is checked: the code of another command is refused.
        CLoggerPeer::Fault other;
        other.payload = {static_cast<std::uint8_t>(c.reply ^ 0x01), 0, 0};
        m_peer->AddFaults(3, other);
        EXPECT_EQ(c.call(*m_port, &got), 0);

        // The reply's handshake bit matters to the logger's commands only.
        CLoggerPeer::Fault flipped;
        flipped.bOtherHandshake = true;
        m_peer->AddFaults(3, flipped);
        EXPECT_EQ(c.call(*m_port, &got), c.anyBit ? 1 : 0);
        m_peer = std::make_unique<CLoggerPeer>(false); // drop unused faults
        m_peer->Attach(*m_line);
    }
}

TEST_F(CommandTest, CommandsWorkOverTheInterfaceModule) {
    Open(true);
    m_peer->SetValue(0x08, 0x0102);
    unsigned short product = 0;
    ASSERT_EQ(m_port->GetProductCode(&product), 1);
    EXPECT_EQ(product, 0x0102);
    ASSERT_EQ(m_port->SetSerialNumber(4711), 1);
    EXPECT_EQ(m_peer->Commands().back(), (Bytes{0x14, 0x12, 0x67}));
    EXPECT_EQ(m_port->IsRxOn(), 0);
}

TEST_F(CommandTest, TwoStepReadsCombineTheLowBytes) {
    Open(false);
    m_peer->SetValue(0x0D, 0x1234);
    m_peer->SetValue(0x0E, 0x5678);
    unsigned long offset = 0;
    ASSERT_EQ(m_port->GetCalibrationOffset(&offset), 1);
    EXPECT_EQ(offset, 0x7834u);
    m_peer->SetValue(0x0F, 0xFFEE);
    m_peer->SetValue(0x10, 0x00DD);
    unsigned long gain = 0;
    ASSERT_EQ(m_port->GetCalibrationGain(&gain), 1);
    EXPECT_EQ(gain, 0xDDEEu);
    EXPECT_EQ(m_peer->Commands(),
              (std::vector<Bytes>{{0x0D, 0, 0}, {0x0E, 0, 0}, {0x0F, 0, 0}, {0x10, 0, 0}}));

    // A failing first step stops at once.
    CLoggerPeer::Fault silent;
    silent.bSilent = true;
    m_peer->AddFaults(3, silent);
    const std::size_t before = m_peer->Requests().size();
    offset = 99;
    EXPECT_EQ(m_port->GetCalibrationOffset(&offset), 0);
    EXPECT_EQ(m_peer->Requests().size(), before + 3);
    EXPECT_EQ(offset, 99u);
}

TEST_F(CommandTest, AllSettingsNeedExactlyNineteenBytes) {
    for (bool vask : {false, true}) {
        SCOPED_TRACE(vask ? "vask" : "cable");
        Open(vask);
        const std::uint16_t values[9] = {0x0102, 2, 0xFFFF, 4, 500, 6, 0x8000, 8, 9};
        m_peer->SetSettings(values);
        LOGGER_SETTING settings{};
        settings.byHeader = 0x5A;
        const unsigned opens = m_line->OpenCount();
        ASSERT_EQ(m_port->GetAllSettings(&settings), 1);
        EXPECT_EQ(std::uint8_t{settings.byHeader}, 0x5A);
        for (int i = 0; i < 9; ++i) {
            EXPECT_EQ(std::uint16_t{settings.wValue[i]}, values[i]) << i;
        }
        EXPECT_EQ(m_peer->Commands().back(), (Bytes{0x32, 0, 0}));
        EXPECT_EQ(m_port->GetHandshake(), 0x00); // not flipped
        EXPECT_EQ(m_line->OpenCount(), opens + (vask ? 1u : 0u));
        EXPECT_EQ(m_line->Timeouts().ReadTotalTimeoutConstant, vask ? 500u : 200u);

        for (std::size_t size : {18u, 20u}) {
            CLoggerPeer::Fault wrongSize;
            wrongSize.payload = Bytes(size, 0x01);
            wrongSize.payload[0] = 0xC2;
            m_peer->AddFaults(3, wrongSize);
            LOGGER_SETTING untouched{};
            EXPECT_EQ(m_port->GetAllSettings(&untouched), 0) << size;
            EXPECT_EQ(std::uint16_t{untouched.wValue[0]}, 0);
        }
        CLoggerPeer::Fault flipped;
        flipped.bOtherHandshake = true;
        m_peer->AddFaults(2, flipped);
        EXPECT_EQ(m_port->GetAllSettings(&settings), 1);
        EXPECT_FALSE(m_line->Dtr());
    }
}

TEST_F(CommandTest, SetAndStartSamplingSendsTheSecondValueFirst) {
    Open(false);
    ASSERT_EQ(m_port->SetAndStartSampling(0x1234, 0xABCD), 1);
    EXPECT_EQ(m_peer->Commands().back(), (Bytes{0x33, 0xAB, 0xCD, 0x12, 0x34}));
    EXPECT_EQ(m_port->GetHandshake(), 0x00);
    // Any length will do; code and bit must match.
    CLoggerPeer::Fault codeOnly;
    codeOnly.payload = {0xC3};
    m_peer->AddFault(codeOnly);
    EXPECT_EQ(m_port->SetAndStartSampling(1, 2), 1);
    CLoggerPeer::Fault flipped;
    flipped.bOtherHandshake = true;
    m_peer->AddFaults(3, flipped);
    EXPECT_EQ(m_port->SetAndStartSampling(1, 2), 0);
}

TEST_F(CommandTest, BufferDataIsTheWholeReplyInANewBuffer) {
    for (bool vask : {false, true}) {
        SCOPED_TRACE(vask ? "vask" : "cable");
        Open(vask);
        Bytes reply = {0xB4};
        for (int i = 0; i < 200; ++i) {
            reply.push_back(static_cast<std::uint8_t>(i * 7));
        }
        m_peer->SetBuffer(reply);
        unsigned char* buffer = nullptr;
        unsigned char received = 0;
        const int n = m_port->GetBufferData(&buffer, 0x80, &received);
        ASSERT_EQ(n, 201);
        ASSERT_NE(buffer, nullptr);
        EXPECT_EQ(Bytes(buffer, buffer + n), reply);
        CTarvikPort::FreeBufferData(buffer);
        EXPECT_EQ(received, 0x80);
        EXPECT_EQ(m_peer->Requests().back().payload, (Bytes{0x1D, 0, 0}));
        EXPECT_EQ(m_peer->Requests().back().nHandshake, 0x80); // the caller's bit
        EXPECT_EQ(m_port->GetHandshake(), 0x00);
        EXPECT_EQ(m_line->Timeouts().ReadTotalTimeoutConstant, vask ? 1500u : 1000u);
        EXPECT_FALSE(m_line->Dtr());

        // A damaged reply hands out nothing.
        CLoggerPeer::Fault cut;
        cut.bBadChecksum = true;
        m_peer->AddFault(cut);
        buffer = reinterpret_cast<unsigned char*>(&received);
        EXPECT_EQ(m_port->GetBufferData(&buffer, 0, &received), -1);
        EXPECT_EQ(buffer, nullptr);

        CLoggerPeer::Fault silent;
        silent.bSilent = true;
        m_peer->AddFault(silent);
        EXPECT_EQ(m_port->GetBufferData(&buffer, 0, &received), -1);
        EXPECT_EQ(buffer, nullptr);
        EXPECT_EQ(m_port->GetBufferData(nullptr, 0, &received), 0);
    }
}

TEST_F(CommandTest, EmptyBufferReplyIsNoBuffer) {
    Open(true);
    m_line->SetResponder(
        [](CScriptedLine& line, const Bytes&) { line.Feed(VaskFrame(0x11, {}, 0), 40); });
    unsigned char* buffer = nullptr;
    EXPECT_EQ(m_port->GetBufferData(&buffer, 0, nullptr), 0);
    EXPECT_EQ(buffer, nullptr);
}

// Stream frames the logger sends on its own, over both links.
class StreamTest : public CLoggerTest, public ::testing::WithParamInterface<bool> {
protected:
    void SetUp() override {
        CLoggerTest::SetUp();
        Open(GetParam());
    }
    int Read(int acknowledge, unsigned char* buffer, unsigned long capacity = 255) {
        m_received = 0x55;
        return GetParam() ? m_port->ReadVaskDataStream(acknowledge, &m_received, buffer, capacity)
                          : m_port->ReadRS232DataStream(acknowledge, &m_received, buffer, capacity);
    }
    unsigned char m_received = 0;
};

TEST_P(StreamTest, FramesAreAcknowledgedByTheirFirstByte) {
    unsigned char buffer[255] = {};
    m_line->Feed(m_peer->Frame({0xB2, 0x10, 0x20, 0x30}, 0x80));
    ASSERT_EQ(Read(0, buffer), 4);
    EXPECT_EQ(Bytes(buffer, buffer + 4), (Bytes{0xB2, 0x10, 0x20, 0x30}));
    EXPECT_EQ(m_received, 0x80);
    ASSERT_EQ(m_peer->Requests().size(), 1u);
    EXPECT_EQ(m_peer->Requests()[0].payload, (Bytes{0xD0, 0, 0}));
    EXPECT_EQ(m_peer->Requests()[0].nHandshake, 0x80); // the frame's own bit
    EXPECT_EQ(m_port->GetHandshake(), 0x00);

    m_line->Feed(m_peer->Frame({0xB1, 1}, 0x00));
    m_line->ClearRecord();
    EXPECT_EQ(Read(0, buffer), -2);
    EXPECT_EQ(m_peer->Requests().back().payload, (Bytes{0xD2, 0, 0}));
    EXPECT_FALSE(m_line->EventsOf(Event::kPurge).empty());

    m_line->Feed(m_peer->Frame({0x91}, 0x80));
    EXPECT_EQ(Read(0, buffer), -3);
    EXPECT_EQ(m_peer->Requests().back().payload, (Bytes{0xD0, 0, 0}));

    // Any other frame: the interface module's stream drops it, the cable's takes it.
    const std::size_t acks = m_peer->Requests().size();
    m_line->Feed(m_peer->Frame({0x42, 7}, 0x80));
    EXPECT_EQ(Read(0, buffer), GetParam() ? -1 : 2);
    EXPECT_EQ(m_peer->Requests().size(), acks + (GetParam() ? 0u : 1u));
}

TEST_P(StreamTest, LostOrDamagedFrames) {
    unsigned char buffer[255] = {};
    const unsigned opens = m_line->OpenCount();
    // Nothing at all: the module link starts afresh and listens; the cable just says so.
    EXPECT_EQ(Read(0, buffer), GetParam() ? -4 : -1);
    if (GetParam()) {
        EXPECT_EQ(m_line->OpenCount(), opens + 1);
        EXPECT_TRUE(m_line->Dtr());
        EXPECT_EQ(m_port->IsRxOn(), 1);
    }
    m_line->Feed(m_peer->Frame({0xB2, 1, 2}, 0x00, true));
    EXPECT_EQ(Read(0, buffer), -1);
    EXPECT_TRUE(m_peer->Requests().empty());
    if (GetParam()) {
        m_line->Feed(VaskFrame(0x12, {0xB2, 1}, 0));
        EXPECT_EQ(Read(0, buffer), -2);
        EXPECT_TRUE(m_peer->Requests().empty());
    }
}

TEST_P(StreamTest, AcknowledgeModeTakesTheFramesBit) {
    unsigned char buffer[255] = {};
    m_line->Feed(m_peer->Frame({0xB2, 1, 2, 3}, 0x80));
    EXPECT_EQ(Read(1, buffer), -5);
    EXPECT_EQ(m_peer->Requests().back().payload, (Bytes{0xD1, 0, 0}));
    EXPECT_EQ(m_peer->Requests().back().nHandshake, 0x80);
    EXPECT_EQ(m_port->GetHandshake(), 0x00); // taken over, then flipped by the exchange
    EXPECT_EQ(Bytes(buffer, buffer + 4), (Bytes{0xB2, 1, 2, 3}));

    CLoggerPeer::Fault silent;
    silent.bSilent = true;
    m_peer->AddFaults(3, silent);
    m_line->Feed(m_peer->Frame({0xB2, 1}, 0x00));
    EXPECT_EQ(Read(1, buffer), -6);
    EXPECT_EQ(m_port->GetHandshake(), 0x00);
}

TEST_P(StreamTest, FrameLongerThanTheCallersBufferIsRefused) {
    unsigned char buffer[8];
    std::fill(std::begin(buffer), std::end(buffer), 0xEE);
    m_line->Feed(m_peer->Frame({0xB2, 1, 2, 3, 4, 5, 6, 7, 8, 9}, 0x00));
    EXPECT_EQ(Read(0, buffer, 4), -1);
    EXPECT_EQ(Bytes(buffer, buffer + 8), Bytes(8, 0xEE));
    EXPECT_TRUE(m_peer->Requests().empty()); // not acknowledged, so it comes again
    m_line->Feed(m_peer->Frame({0xB2, 1, 2, 3}, 0x00));
    EXPECT_EQ(Read(0, buffer, 4), 4);
}

TEST_F(CommandTest, VaskStreamAcknowledgementsDoNotWaitForTheLine) {
    Open(true);
    unsigned char buffer[255] = {};
    unsigned char received = 0;
    m_line->SetModemStatus(lintaro::MS_CTS_ON); // someone else is talking
    m_line->Feed(m_peer->Frame({0xB2, 1}, 0x00));
    EXPECT_EQ(m_port->ReadVaskDataStream(0, &received, buffer), 2);
    EXPECT_EQ(m_peer->Requests().size(), 1u);
}

INSTANTIATE_TEST_SUITE_P(Links, StreamTest, ::testing::Values(true, false),
                         [](const auto& link) { return link.param ? "Vask" : "Cable"; });

TEST_F(CommandTest, TimeStampsCopyThePayloadAfterItsCode) {
    for (bool vask : {false, true}) {
        SCOPED_TRACE(vask ? "vask" : "cable");
        Open(vask);
        const Bytes stamps = {9, 8, 7, 6, 5, 4, 3, 2, 1, 0};
        m_peer->SetTimeStamps(stamps);
        unsigned char destination[254] = {};
        int count = -1;
        const unsigned opens = m_line->OpenCount();
        ASSERT_EQ(m_port->GetWaveTimeStampData(destination, &count), 1);
        EXPECT_EQ(count, 10);
        EXPECT_EQ(Bytes(destination, destination + 10), stamps);
        EXPECT_EQ(m_peer->Commands().back(), (Bytes{0x58, 0, 0}));
        EXPECT_EQ(m_port->GetHandshake(), 0x80);
        EXPECT_EQ(m_line->OpenCount(), opens); // no re-open
        EXPECT_EQ(m_line->Dtr(), vask);        // the module's receiver stays on

        ASSERT_EQ(m_port->GetWaveTimeStampDataNext(destination, &count), 1);
        EXPECT_EQ(m_peer->Commands().back(), (Bytes{0x59, 0, 0}));
        EXPECT_EQ(m_port->GetHandshake(), 0x00);

        // One attempt only, and the bit must match.
        CLoggerPeer::Fault flipped;
        flipped.bOtherHandshake = true;
        m_peer->AddFault(flipped);
        const std::size_t before = m_peer->Requests().size();
        EXPECT_EQ(m_port->GetWaveTimeStampData(destination, &count), 0);
        EXPECT_EQ(count, 0);
        EXPECT_EQ(m_peer->Requests().size(), before + 1);

        // Too many for the caller's room: refused, nothing copied.
        unsigned char small[4] = {0xEE, 0xEE, 0xEE, 0xEE};
        EXPECT_EQ(m_port->GetWaveTimeStampData(small, &count, 4), 0);
        EXPECT_EQ(Bytes(small, small + 4), Bytes(4, 0xEE));
        m_peer->SetTimeStamps({1, 2, 3, 4});
        EXPECT_EQ(m_port->GetWaveTimeStampData(small, &count, 4), 1);
        EXPECT_EQ(count, 4);

        // No frames of other stations are passed over here.
        if (vask) {
            m_peer->Attach(*m_line, 30);
            CLoggerPeer::Fault crowded;
            crowded.nForeignBefore = 1;
            m_peer->AddFault(crowded);
            EXPECT_EQ(m_port->GetWaveTimeStampData(small, &count, 4), 0);
        }

        // A reply of the code alone holds no stamps.
        m_peer->SetTimeStamps({});
        EXPECT_EQ(m_port->GetWaveTimeStampData(nullptr, &count), 1);
        EXPECT_EQ(count, 0);
    }
}

TEST_F(CommandTest, ModesSetTheLinkAndItsRate) {
    Open(false);
    EXPECT_EQ(m_port->SetVaskMode(), 1);
    EXPECT_EQ(m_port->UsingVask(), 1);
    EXPECT_EQ(m_line->State().BaudRate, 19200u);
    EXPECT_EQ(m_port->SetSerialMode(), 1);
    EXPECT_EQ(m_port->UsingVask(), 0);
    EXPECT_EQ(m_line->State().BaudRate, 38400u);
    m_line->RefuseOpen(ENOENT);
    EXPECT_EQ(m_port->SetVaskMode(), 0);
}

TEST_F(CommandTest, TransceiverBatteryIsReadWithTheReceiverOn) {
    Open(true);
    bool low = true;
    // The transceiver reports only while its receiver is powered.
    m_line->SetModemStatusFunction(
        [this, &low](std::uint32_t) { return m_line->Dtr() && low ? lintaro::MS_RING_ON : 0ul; });
    std::uint32_t start = Now();
    EXPECT_EQ(m_port->TestTransceiverBattery(), 0);
    EXPECT_EQ(Now() - start, 21u);
    EXPECT_FALSE(m_line->Dtr());
    low = false;
    EXPECT_EQ(m_port->TestTransceiverBattery(), 1);
    m_line->Vanish();
    EXPECT_EQ(m_port->TestTransceiverBattery(), 0);
}

} // namespace
