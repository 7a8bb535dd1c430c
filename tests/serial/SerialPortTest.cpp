#include "serial/SerialPort.h"
#include "base/Archive.h"
#include "base/Tick.h"
#include "serial/MessageBox.h"
#include "testsupport/ManualClock.h"
#include "testsupport/ScriptedLine.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

namespace {

using Bytes = std::vector<std::uint8_t>;

class SerialPort : public ::testing::Test {
protected:
    SerialPort() : m_scope(m_clock) {}
    void SetUp() override {
        m_line = CScriptedLine::Create();
        m_reg = m_line->Register("TEST1");
    }
    CManualClock m_clock{1000};
    CClockScope m_scope;
    std::shared_ptr<CScriptedLine> m_line;
    std::unique_ptr<CScriptedLine::Registration> m_reg;
};

TEST_F(SerialPort, ConstructorFillsTheControlBlockAndDoesNotOpen) {
    CSerialPort port("TEST1", 57600, lintaro::EVENPARITY, lintaro::TWOSTOPBITS);
    EXPECT_EQ(port.GetPortHandle(), lintaro::INVALID_HANDLE_VALUE);
    EXPECT_EQ(m_line->OpenCount(), 0u);
    EXPECT_EQ(port.GetRxTimeout(), 500u);
    EXPECT_EQ(port.GetTxTimeout(), 500u);
    EXPECT_STREQ(port.GetCommPort(), "TEST1");
    ASSERT_EQ(port.SetCommPort(), 1);
    const lintaro::DCB& dcb = m_line->State();
    EXPECT_EQ(dcb.DCBlength, 28u);
    EXPECT_EQ(dcb.BaudRate, 57600u);
    EXPECT_EQ(dcb.fBinary, 1u);
    EXPECT_EQ(dcb.fParity | dcb.fOutxCtsFlow | dcb.fOutxDsrFlow | dcb.fDtrControl |
                  dcb.fRtsControl | dcb.fOutX | dcb.fInX | dcb.fNull | dcb.fAbortOnError,
              0u);
    EXPECT_EQ(dcb.ByteSize, 8);
    EXPECT_EQ(dcb.Parity, lintaro::EVENPARITY);
    EXPECT_EQ(dcb.StopBits, lintaro::TWOSTOPBITS);
    EXPECT_EQ(dcb.XonLim + dcb.XoffLim + dcb.XonChar + dcb.EofChar + dcb.EvtChar, 0);
}

TEST_F(SerialPort, AFailedReopenLeavesThePortClosed) {
    CSerialPort port("TEST1", 57600, 0, 0);
    ASSERT_EQ(port.SetCommPort(), 1);
    EXPECT_NE(port.GetPortHandle(), lintaro::INVALID_HANDLE_VALUE);
    EXPECT_EQ(port.ChangeComPort("NO-SUCH-PORT"), 0);
    EXPECT_EQ(port.GetPortHandle(), lintaro::INVALID_HANDLE_VALUE);
    EXPECT_FALSE(m_line->IsOpen());
    EXPECT_STREQ(port.GetCommPort(), "NO-SUCH-PORT");

    // Held by another opener: the open is exclusive.
    CSerialPort first("TEST1", 57600, 0, 0);
    CSerialPort second("TEST1", 57600, 0, 0);
    ASSERT_EQ(first.SetCommPort(), 1);
    EXPECT_EQ(second.SetCommPort(), 0);
    EXPECT_EQ(second.GetOpenError(), static_cast<unsigned long>(EBUSY));

    // A device that rejects the line settings: failure, but the handle stays open.
    CSerialPort third("TEST1", 57600, 0, 0);
    auto other = CScriptedLine::Create();
    auto reg = other->Register("TEST2");
    other->FailSetState(true);
    EXPECT_EQ(third.ChangeComPort("TEST2"), 0);
    EXPECT_NE(third.GetPortHandle(), lintaro::INVALID_HANDLE_VALUE);
}

TEST_F(SerialPort, ReadTimeoutIsSharedByEveryPort) {
    CSerialPort a("TEST1", 57600, 0, 0);
    auto otherLine = CScriptedLine::Create();
    auto reg = otherLine->Register("TEST2");
    CSerialPort b("TEST2", 57600, 0, 0);
    ASSERT_EQ(a.SetCommPort(), 1);
    ASSERT_EQ(b.SetCommPort(), 1);
    a.SetRxTimeout(6000);
    EXPECT_EQ(b.GetRxTimeout(), 500u); // the member is the port's own...

    unsigned char buf[8];
    std::uint32_t start = m_clock.TickCount();
    EXPECT_EQ(b.ReadFrame(buf, 8, nullptr), 0u); // ...but the wait is the one last set
    EXPECT_EQ(m_clock.TickCount() - start, 6000u);
    EXPECT_EQ(otherLine->Timeouts().ReadTotalTimeoutConstant, 6000u);
    EXPECT_EQ(otherLine->Timeouts().ReadIntervalTimeout, 0u);

    CSerialPort c("TEST3", 57600, 0, 0); // a new port object puts it back to 500
    start = m_clock.TickCount();
    EXPECT_EQ(b.ReadFrame(buf, 8, nullptr), 0u);
    EXPECT_EQ(m_clock.TickCount() - start, 500u);
}

TEST_F(SerialPort, ReadReturnsWhatArrivedWithinTheTimeout) {
    CSerialPort port("TEST1", 57600, 0, 0);
    ASSERT_EQ(port.SetCommPort(), 1);
    unsigned char buf[8] = {};
    m_line->Feed({1, 2, 3}, 100);
    m_line->Feed({4}, 900); // after the 500 ms limit
    std::uint32_t start = m_clock.TickCount();
    EXPECT_EQ(port.ReadFrame(buf, 8, nullptr), 3u);
    EXPECT_EQ(m_clock.TickCount() - start, 500u);
    EXPECT_EQ(Bytes(buf, buf + 3), (Bytes{1, 2, 3}));

    // A read returns as soon as the count has arrived.
    m_line->Feed({5, 6, 7, 8, 9, 10, 11}, 20);
    start = m_clock.TickCount();
    EXPECT_EQ(port.ReadFrame(buf, 8, nullptr), 8u);
    EXPECT_LT(m_clock.TickCount() - start, 500u);
    EXPECT_EQ(buf[0], 4);
    EXPECT_EQ(buf[7], 11);

    // A read on a closed port fails at once.
    CSerialPort closed("TEST9", 57600, 0, 0);
    EXPECT_EQ(closed.ReadFrame(buf, 8, nullptr), 0u);
}

TEST_F(SerialPort, WriteSucceedsOnlyWhenEveryByteWentOut) {
    CSerialPort port("TEST1", 57600, 0, 0);
    ASSERT_EQ(port.SetCommPort(), 1);
    unsigned char data[5] = {1, 2, 3, 4, 5};
    EXPECT_EQ(port.WriteFrame(data, 5), 1);
    m_line->LimitWrites(3);
    EXPECT_EQ(port.WriteFrame(data, 5), 0);
    EXPECT_EQ(m_line->Written(), (Bytes{1, 2, 3, 4, 5, 1, 2, 3}));
    // Writes run without time-outs.
    const lintaro::COMMTIMEOUTS& t = m_line->Timeouts();
    EXPECT_EQ(t.WriteTotalTimeoutConstant + t.WriteTotalTimeoutMultiplier, 0u);
    m_line->Vanish();
    EXPECT_EQ(port.WriteFrame(data, 5), 0);
}

TEST_F(SerialPort, ModemLinesNeedAnOpenPort) {
    CSerialPort port("TEST1", 57600, 0, 0);
    EXPECT_EQ(port.SetRequestToSend(), 0);
    EXPECT_EQ(port.SetDTR(), 0);
    EXPECT_TRUE(m_line->Events().empty());
    EXPECT_EQ(port.SetBreak(), 0); // passed to the platform, which refuses the closed handle

    ASSERT_EQ(port.SetCommPort(), 1);
    EXPECT_EQ(port.SetRequestToSend(), 1);
    EXPECT_EQ(port.SetDTR(), 1);
    EXPECT_TRUE(m_line->Rts());
    EXPECT_TRUE(m_line->Dtr());
    EXPECT_EQ(port.ClearRequestToSend(), 1);
    EXPECT_EQ(port.ClearDTR(), 1);
    EXPECT_FALSE(m_line->Rts());
    EXPECT_FALSE(m_line->Dtr());
    EXPECT_EQ(port.SetBreak(), 1);
    EXPECT_TRUE(m_line->InBreak());
    EXPECT_EQ(port.ClearBreak(), 1);
    EXPECT_FALSE(m_line->InBreak());

    m_line->Feed({1, 2});
    EXPECT_EQ(port.FlushComms(), 1);
    EXPECT_EQ(m_line->PendingInput(), 0u);
    EXPECT_EQ(m_line->EventsOf(CScriptedLine::Event::kPurge).back().nValue, 0x0Cu);
}

TEST_F(SerialPort, DestructorPutsTheSavedTimeoutsBack) {
    lintaro::COMMTIMEOUTS original{7, 8, 9, 10, 11};
    m_line->SetInitialTimeouts(original);
    {
        CSerialPort port("TEST1", 57600, 0, 0);
        ASSERT_EQ(port.SetCommPort(), 1);
        unsigned char b;
        port.ReadFrame(&b, 1, nullptr);
        EXPECT_EQ(m_line->Timeouts().ReadTotalTimeoutConstant, 500u);
    }
    EXPECT_FALSE(m_line->IsOpen());
    EXPECT_EQ(m_line->Timeouts().ReadIntervalTimeout, 7u);
    EXPECT_EQ(m_line->Timeouts().WriteTotalTimeoutConstant, 11u);
}

TEST_F(SerialPort, DelayWaitsPastTheRequestedTicks) {
    std::uint32_t start = m_clock.TickCount();
    CSerialPort::Delay(0);
    EXPECT_EQ(m_clock.TickCount() - start, 1u);
    start = m_clock.TickCount();
    CSerialPort::Delay(20);
    EXPECT_EQ(m_clock.TickCount() - start, 21u);

    // Across the wrap of the 32-bit counter the elapsed time counts one less.
    m_clock.Set(0xFFFFFFF0u);
    CSerialPort::Delay(50);
    EXPECT_EQ(m_clock.TickCount(), 50u - 16u + 2u);
}

TEST_F(SerialPort, FileDownloadSendsChunksOfAtMost1024Bytes) {
    CSerialPort port("TEST1", 57600, 0, 0);
    ASSERT_EQ(port.SetCommPort(), 1);
    std::string path = ::testing::TempDir() + "download-" + std::to_string(::getpid());
    {
        std::ofstream f(path, std::ios::binary);
        for (int i = 0; i < 2500; ++i) {
            f.put(static_cast<char>(i));
        }
    }
    EXPECT_EQ(port.PerformFileDownload(path.c_str()), 1);
    auto writes = m_line->EventsOf(CScriptedLine::Event::kWrite);
    ASSERT_EQ(writes.size(), 3u);
    EXPECT_EQ(writes[0].data.size(), 1024u);
    EXPECT_EQ(writes[1].data.size(), 1024u);
    EXPECT_EQ(writes[2].data.size(), 452u);
    EXPECT_EQ(writes[2].data.back(), static_cast<std::uint8_t>(2499));

    m_line->LimitWrites(100);
    EXPECT_EQ(port.PerformFileDownload(path.c_str()), 0);
    EXPECT_EQ(lintaro::GetLastError(), 2u);
    EXPECT_EQ(port.PerformFileDownload("/no/such/file"), 0);
    EXPECT_EQ(lintaro::GetLastError(), 1u);

    std::ofstream(path, std::ios::trunc).close();
    m_line->ClearRecord();
    EXPECT_EQ(port.PerformFileDownload(path.c_str()), 1);
    EXPECT_TRUE(m_line->EventsOf(CScriptedLine::Event::kWrite).empty());
    std::remove(path.c_str());
}

TEST_F(SerialPort, LoopReadShowsWhatCameAndAnswersBanana) {
    std::vector<std::string> shown;
    SetLibraryMessageHandler([&](const std::string& text) { shown.push_back(text); });
    CSerialPort port("TEST1", 57600, 0, 0);
    ASSERT_EQ(port.SetCommPort(), 1);
    port.ReadFrame(nullptr, 0, nullptr); // apply the read time-outs once
    m_line->Feed({'o', 'k', '!'});
    port.LoopRead();
    port.LoopRead(); // the third byte
    port.LoopRead(); // nothing: no message, but still the answer
    SetLibraryMessageHandler(nullptr);
    EXPECT_EQ(shown, (std::vector<std::string>{"ok", "!"}));
    auto writes = m_line->EventsOf(CScriptedLine::Event::kWrite);
    ASSERT_EQ(writes.size(), 3u);
    EXPECT_EQ(writes[2].data, (Bytes{'b', 'a', 'n', 'a', 'n', 'a', 0}));
    EXPECT_EQ(port.WaitForCommEvent(0xFFFFFFFF), 1);
}

TEST_F(SerialPort, SerializeKeepsOnlyThePortName) {
    std::vector<std::uint8_t> bytes;
    {
        CSerialPort port("COM3", 57600, 0, 0);
        CArchive ar(&bytes);
        port.Serialize(ar);
    }
    EXPECT_EQ(bytes, (Bytes{4, 'C', 'O', 'M', '3'}));
    CSerialPort loaded("TEST1", 9600, 0, 0);
    CArchive in(bytes);
    loaded.Serialize(in);
    EXPECT_STREQ(loaded.GetCommPort(), "COM3");
    EXPECT_EQ(loaded.GetPortHandle(), lintaro::INVALID_HANDLE_VALUE);
    EXPECT_EQ(loaded.GetBaudRate(), 9600u);
}

TEST_F(SerialPort, BaudRateAndControlBlockChanges) {
    CSerialPort port("TEST1", 57600, 0, 0);
    ASSERT_EQ(port.SetCommPort(), 1);
    EXPECT_EQ(port.SetBaudRate(9600, 0), 1);
    EXPECT_EQ(m_line->State().BaudRate, 9600u);
    EXPECT_EQ(m_line->OpenCount(), 1u);
    EXPECT_EQ(port.SetBaudRate(19200, 1), 1);
    EXPECT_EQ(m_line->OpenCount(), 2u);
    EXPECT_EQ(port.GetBaudRate(), 19200u);
    lintaro::DCB dcb = m_line->State();
    dcb.Parity = lintaro::ODDPARITY;
    EXPECT_EQ(port.SetPortInfo(&dcb), 1);
    EXPECT_EQ(m_line->State().Parity, lintaro::ODDPARITY);
}

TEST(CommDevicePath, MapsComNamesAndKeepsPaths) {
    EXPECT_EQ(lintaro::CommDevicePath("COM1"), "/dev/ttyS0");
    EXPECT_EQ(lintaro::CommDevicePath("com12"), "/dev/ttyS11");
    EXPECT_EQ(lintaro::CommDevicePath("\\\\.\\COM3"), "/dev/ttyS2");
    EXPECT_EQ(lintaro::CommDevicePath("COM0"), "COM0");
    EXPECT_EQ(lintaro::CommDevicePath("COMX"), "COMX");
    EXPECT_EQ(lintaro::CommDevicePath("/dev/ttyUSB0"), "/dev/ttyUSB0");
    EXPECT_EQ(lintaro::CommDevicePath("COM99999999999"), "COM99999999999");
}

} // namespace
