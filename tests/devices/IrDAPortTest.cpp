#include "DeviceTestSupport.h"

#include "devices/IrDAPort.h"

namespace {

class IrDAPortTest : public CLineTest {
protected:
    void SetUp() override {
        CLineTest::SetUp();
        m_port = std::make_unique<CIrDAPort>(kPort, 9600, lintaro::NOPARITY, lintaro::ONESTOPBIT);
        ASSERT_TRUE(m_port->SetCommPort());
        m_line->ClearRecord();
    }
    void TearDown() override {
        m_port.reset();
        CLineTest::TearDown();
    }
    std::unique_ptr<CIrDAPort> m_port;
};

TEST_F(IrDAPortTest, ControlByteCarriesTheRateCodeOverTheFlags) {
    const std::tuple<unsigned long, unsigned char, unsigned char> cases[] = {
        {115200, 0x00, 0x00}, {57600, 0x00, 0x01}, {38400, 0x00, 0x02}, {19200, 0x00, 0x03},
        {9600, 0x00, 0x06},   {4800, 0x00, 0x06},  {0, 0x00, 0x06},     {115200, 0x10, 0x10},
        {57600, 0x10, 0x11},  {19200, 0xF0, 0xF3},
    };
    for (auto [rate, flags, byte] : cases) {
        m_line->ClearRecord();
        EXPECT_EQ(m_port->SetIRBaudRate(rate, flags), 1);
        EXPECT_EQ(m_line->Written(), Bytes{byte}) << rate << " " << int(flags);
    }
    // The port's own rate stays.
    EXPECT_EQ(m_port->GetBaudRate(), 9600u);
}

TEST_F(IrDAPortTest, RateChangeSendsInControlModeAndReturnsToDataMode) {
    m_port->SetRequestToSend();
    m_line->ClearRecord();
    m_port->SetIRBaudRate(38400, 0);
    // RTS low, the byte, 1 ms, RTS high.
    std::vector<std::pair<CScriptedLine::Event::Kind, unsigned long>> seen;
    std::uint32_t writeTick = 0, rtsTick = 0;
    for (const auto& e : m_line->Events()) {
        if (e.kind == CScriptedLine::Event::kWrite) {
            writeTick = e.nTick;
            seen.emplace_back(e.kind, e.data.at(0));
        } else if (e.kind == CScriptedLine::Event::kEscape) {
            rtsTick = e.nTick;
            seen.emplace_back(e.kind, e.nValue);
        }
    }
    using E = CScriptedLine::Event;
    EXPECT_EQ(seen,
              (std::vector<std::pair<E::Kind, unsigned long>>{{E::kEscape, lintaro::CLRRTS},
                                                              {E::kWrite, 0x02},
                                                              {E::kEscape, lintaro::SETRTS}}));
    EXPECT_EQ(rtsTick - writeTick, 2u);
    EXPECT_TRUE(m_line->Rts());
}

TEST_F(IrDAPortTest, FailedControlWriteStillReturnsToDataMode) {
    m_line->LimitWrites(0);
    EXPECT_EQ(m_port->SetIRBaudRate(57600, 0), 1);
    EXPECT_TRUE(m_line->Rts());
}

TEST_F(IrDAPortTest, ResetPulsesDtrAndHoldsPower) {
    const std::uint32_t start = Now();
    EXPECT_EQ(m_port->ResetAndHoldPower(), 1);
    EXPECT_EQ(Escapes(), (std::vector<unsigned long>{lintaro::SETRTS, lintaro::CLRDTR,
                                                     lintaro::SETDTR, lintaro::CLRDTR}));
    const auto escapes = m_line->EventsOf(CScriptedLine::Event::kEscape);
    EXPECT_EQ(escapes[3].nTick - escapes[2].nTick, 2u);
    EXPECT_EQ(Now() - start, 2u);
    EXPECT_TRUE(m_line->Rts());
    EXPECT_FALSE(m_line->Dtr());
}

TEST_F(IrDAPortTest, PowerDownAndDestructionLeaveBothLinesLow) {
    m_port->SetRequestToSend();
    m_port->SetDTR();
    EXPECT_EQ(m_port->PowerDown(), 1);
    EXPECT_FALSE(m_line->Rts());
    EXPECT_FALSE(m_line->Dtr());
    m_port->SetRequestToSend();
    m_port->SetDTR();
    m_port.reset();
    EXPECT_FALSE(m_line->Rts());
    EXPECT_FALSE(m_line->Dtr());
    // A closed port powers down without touching anything.
    CIrDAPort closed(kPort, 9600, lintaro::NOPARITY, lintaro::ONESTOPBIT);
    EXPECT_EQ(closed.PowerDown(), 1);
}

} // namespace
