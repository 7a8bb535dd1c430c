#include "base/Tick.h"
#include "serial/PosixSerialDevice.h"
#include "serial/SerialDevice.h"
#include "serial/SerialPort.h"

#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <chrono>
#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

long MsSince(Clock::time_point t) {
    return static_cast<long>(
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - t).count());
}

// A pseudo-terminal whose slave the port opens by path, the way the simulator offers it.
class PosixDevice : public ::testing::Test {
protected:
    void SetUp() override {
        m_master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        ASSERT_GE(m_master, 0);
        ASSERT_EQ(::grantpt(m_master), 0);
        ASSERT_EQ(::unlockpt(m_master), 0);
        m_path = ::ptsname(m_master);
    }
    void TearDown() override {
        if (m_master >= 0) {
            ::close(m_master);
        }
    }
    std::string ReadMaster(std::size_t count) {
        std::string got;
        auto start = Clock::now();
        while (got.size() < count && MsSince(start) < 2000) {
            struct pollfd pfd {
                m_master, POLLIN, 0
            };
            if (::poll(&pfd, 1, 100) > 0) {
                char buf[256];
                ssize_t n = ::read(m_master, buf, sizeof buf);
                if (n > 0) {
                    got.append(buf, static_cast<std::size_t>(n));
                }
            }
        }
        return got;
    }
    int m_master = -1;
    std::string m_path;
};

TEST_F(PosixDevice, OpensRawAndExchangesBytes) {
    CSerialPort port(m_path.c_str(), 57600, 0, 0);
    ASSERT_EQ(port.SetCommPort(), 1);
    unsigned char out[4] = {0xFF, 0x0A, 0x0D, 0x00}; // no translation of any byte
    ASSERT_EQ(port.WriteFrame(out, 4), 1);
    EXPECT_EQ(ReadMaster(4), std::string("\xFF\x0A\x0D\x00", 4));

    ASSERT_EQ(::write(m_master, "\x03\x0D\x7F\x11", 4), 4);
    unsigned char in[4] = {};
    EXPECT_EQ(port.ReadFrame(in, 4, nullptr), 4u);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(in), 4), std::string("\x03\x0D\x7F\x11", 4));
}

TEST_F(PosixDevice, ReadReturnsOnceCompleteAndEndsAtOneDeadline) {
    CSerialPort port(m_path.c_str(), 57600, 0, 0);
    ASSERT_EQ(port.SetCommPort(), 1);
    unsigned char buf[8];

    // A read that has its count ends when the last byte comes, not at its deadline.
    port.SetRxTimeout(5000);
    auto start = Clock::now();
    unsigned long got = 0;
    std::thread reader([&] { got = port.ReadFrame(buf, 4, nullptr); });
    ASSERT_EQ(::write(m_master, "abcd", 4), 4);
    reader.join();
    EXPECT_EQ(got, 4u);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(buf), 4), "abcd");
    EXPECT_LT(MsSince(start), 2500);

    // Bytes that keep coming do not extend the limit: it is one total deadline.
    port.SetRxTimeout(300);
    std::atomic<bool> done{false};
    ASSERT_EQ(::write(m_master, "x", 1), 1);
    std::thread writer([&] {
        while (!done) {
            (void)::write(m_master, "x", 1);
            ::poll(nullptr, 0, 60); // at most five more before the deadline
        }
    });
    start = Clock::now();
    got = port.ReadFrame(buf, 8, nullptr);
    const long waited = MsSince(start);
    done = true;
    writer.join();
    EXPECT_GE(got, 1u);
    EXPECT_LT(got, 8u);
    EXPECT_GE(waited, 295);
    EXPECT_LT(waited, 1500);
}

// Each stop-bit setting and modem-line mode reaches the terminal; settings the port does not
// have are refused and leave the terminal as it was. A pseudo-terminal holds only eight bits
// without parity (the kernel's pty driver fixes them, and the C library then refuses a setting
// it cannot read back), so smaller words and parity are for real ports alone.
TEST_F(PosixDevice, LineSettingsReachTheTerminal) {
    using namespace lintaro;
    CSerialPort port(m_path.c_str(), 57600, NOPARITY, ONESTOPBIT);
    ASSERT_EQ(port.SetCommPort(), 1);
    DCB dcb{};
    termios tio{};
    int combinations = 0;
    // The terminal has two stop bits for one and a half.
    for (std::uint8_t stop : {ONESTOPBIT, ONE5STOPBITS, TWOSTOPBITS}) {
        for (std::uint32_t mode = 0; mode <= 1; ++mode) {
            SCOPED_TRACE(testing::Message() << "stop " << int(stop) << " dtr/rts " << mode);
            dcb = {};
            dcb.DCBlength = sizeof dcb;
            dcb.BaudRate = 57600;
            dcb.fBinary = 1;
            dcb.fDtrControl = mode;
            dcb.fRtsControl = mode;
            dcb.ByteSize = 8;
            dcb.Parity = NOPARITY;
            dcb.StopBits = stop;
            ASSERT_EQ(port.SetPortInfo(&dcb), 1) << lintaro::GetLastError();
            ASSERT_EQ(::tcgetattr(m_master, &tio), 0);
            EXPECT_EQ(tio.c_cflag & (CSTOPB | PARENB | CRTSCTS),
                      stop != ONESTOPBIT ? tcflag_t{CSTOPB} : 0);
            EXPECT_EQ(tio.c_cflag & (CLOCAL | CREAD), tcflag_t{CLOCAL | CREAD});
            EXPECT_EQ(tio.c_iflag & (INPCK | IXON | IXOFF | ICRNL), 0u);
            EXPECT_EQ(tio.c_lflag & (ICANON | ECHO | ISIG), 0u);
            EXPECT_EQ(tio.c_oflag & OPOST, 0u);
            EXPECT_EQ(::cfgetospeed(&tio), speed_t{B57600});
            ++combinations;
        }
    }
    EXPECT_EQ(combinations, 3 * 2);

    // Hardware and software flow control.
    dcb.fOutxCtsFlow = 1;
    dcb.fOutX = 1;
    dcb.fInX = 1;
    dcb.XonChar = 0x11;
    dcb.XoffChar = 0x13;
    ASSERT_EQ(port.SetPortInfo(&dcb), 1);
    ASSERT_EQ(::tcgetattr(m_master, &tio), 0);
    EXPECT_NE(tio.c_cflag & CRTSCTS, 0u);
    EXPECT_EQ(tio.c_iflag & (IXON | IXOFF), tcflag_t{IXON | IXOFF});
    EXPECT_EQ(tio.c_cc[VSTART], 0x11);
    EXPECT_EQ(tio.c_cc[VSTOP], 0x13);

    const termios before = tio;
    const std::array<int, 3> refusals[] = {{4, NOPARITY, ONESTOPBIT},
                                           {9, NOPARITY, ONESTOPBIT},
                                           {8, SPACEPARITY + 1, ONESTOPBIT},
                                           {8, NOPARITY, TWOSTOPBITS + 1}};
    for (const auto& bad : refusals) {
        DCB refused = dcb;
        refused.ByteSize = static_cast<std::uint8_t>(bad[0]);
        refused.Parity = static_cast<std::uint8_t>(bad[1]);
        refused.StopBits = static_cast<std::uint8_t>(bad[2]);
        EXPECT_EQ(port.SetPortInfo(&refused), 0) << bad[0] << " " << bad[1] << " " << bad[2];
        ASSERT_EQ(::tcgetattr(m_master, &tio), 0);
        EXPECT_EQ(tio.c_cflag, before.c_cflag);
    }
}

// Every word size, parity and stop-bit setting the port has, as the terminal settings that a
// real port is given (a pseudo-terminal keeps only eight bits without parity, above).
TEST(PosixTermios, EveryWordParityAndStopSettingMapsToItsFlags) {
    using namespace lintaro;
    const tcflag_t sizes[] = {CS5, CS6, CS7, CS8};
    const tcflag_t parities[] = {0, PARENB | PARODD, PARENB, PARENB | PARODD | CMSPAR,
                                 PARENB | CMSPAR};
    int checked = 0;
    for (std::uint8_t size = 5; size <= 8; ++size) {
        for (std::uint8_t parity = NOPARITY; parity <= SPACEPARITY; ++parity) {
            for (std::uint8_t stop = ONESTOPBIT; stop <= TWOSTOPBITS; ++stop) {
                SCOPED_TRACE(testing::Message()
                             << int(size) << "/" << int(parity) << "/" << int(stop));
                DCB dcb{};
                dcb.BaudRate = 57600;
                dcb.ByteSize = size;
                dcb.Parity = parity;
                dcb.StopBits = stop;
                termios tio{};
                // Whatever the device had before is replaced.
                tio.c_cflag = CS8 | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS;
                ASSERT_TRUE(CPosixSerialDevice::MakeTermios(dcb, tio));
                EXPECT_EQ(tio.c_cflag & CSIZE, sizes[size - 5]);
                EXPECT_EQ(tio.c_cflag & (PARENB | PARODD | CMSPAR), parities[parity]);
                EXPECT_EQ(tio.c_cflag & CSTOPB, stop == ONESTOPBIT ? 0u : tcflag_t{CSTOPB});
                EXPECT_EQ(tio.c_cflag & (CRTSCTS | CLOCAL | CREAD), tcflag_t{CLOCAL | CREAD});
                EXPECT_EQ(::cfgetispeed(&tio), speed_t{B57600});
                ++checked;
            }
        }
    }
    EXPECT_EQ(checked, 4 * 5 * 3);
}

// How long a read may wait, from the time-out record and the count alone.
TEST(ReadPlan, FollowsTheTimeoutRecord) {
    using lintaro::MAXDWORD;
    struct Case {
        lintaro::COMMTIMEOUTS t;
        std::size_t count;
        CReadPlan::Kind kind;
        std::uint32_t total;
        std::uint32_t interval;
    };
    const Case cases[] = {
        {{MAXDWORD, 0, 0, 0, 0}, 8, CReadPlan::immediate, 0, 0}, // what has come
        {{MAXDWORD, MAXDWORD, 500, 0, 0}, 8, CReadPlan::firstByte, 500, 0},
        {{0, 0, 500, 0, 0}, 8, CReadPlan::total, 500, 0},        // the port's own record
        {{20, 10, 100, 0, 0}, 5, CReadPlan::total, 150, 20},     // per byte plus constant
        {{20, 0, 0, 0, 0}, 5, CReadPlan::total, 20, 20},         // gaps only
        {{0, 0, 0, 0, 0}, 5, CReadPlan::immediate, 0, 0},        // no limit: never hang
        {{MAXDWORD, 0, 300, 0, 0}, 5, CReadPlan::total, 300, 0}, // MAXDWORD gap: none
        {{MAXDWORD, MAXDWORD, 0, 0, 0}, 0, CReadPlan::immediate, 0, 0},
        {{MAXDWORD, MAXDWORD, MAXDWORD, 0, 0}, 1, CReadPlan::total, MAXDWORD - 1, 0},
        {{0, MAXDWORD, MAXDWORD, 0, 0}, 3, CReadPlan::total, MAXDWORD - 1, 0}, // no overflow
    };
    for (const Case& c : cases) {
        const CReadPlan plan = lintaro::PlanRead(c.t, c.count);
        SCOPED_TRACE(testing::Message()
                     << c.t.ReadIntervalTimeout << "/" << c.t.ReadTotalTimeoutMultiplier << "/"
                     << c.t.ReadTotalTimeoutConstant << " x" << c.count);
        EXPECT_EQ(plan.kind, c.kind);
        EXPECT_EQ(plan.nTotalMs, c.total);
        EXPECT_EQ(plan.nIntervalMs, c.interval);
    }
}

TEST_F(PosixDevice, SecondOpenerIsRefused) {
    CSerialPort first(m_path.c_str(), 57600, 0, 0);
    CSerialPort second(m_path.c_str(), 57600, 0, 0);
    ASSERT_EQ(first.SetCommPort(), 1);
    EXPECT_EQ(second.SetCommPort(), 0);
    EXPECT_EQ(second.GetOpenError(), static_cast<unsigned long>(EBUSY));
    EXPECT_EQ(lintaro::DescribeOpenError(second.GetOpenError()),
              "the port is held by another program");
    // Once the first lets go, the device can be opened again.
    ASSERT_EQ(first.ChangeComPort("/nonexistent/tty"), 0);
    EXPECT_EQ(first.GetOpenError(), static_cast<unsigned long>(ENOENT));
    EXPECT_EQ(second.SetCommPort(), 1);
}

TEST_F(PosixDevice, NotATerminalIsRefused) {
    CSerialPort port("/dev/null", 57600, 0, 0);
    EXPECT_EQ(port.SetCommPort(), 0);
    EXPECT_EQ(port.GetOpenError(), static_cast<unsigned long>(ENOTTY));
}

TEST_F(PosixDevice, AVanishedDeviceEndsTheReadAtOnce) {
    CSerialPort port(m_path.c_str(), 57600, 0, 0);
    ASSERT_EQ(port.SetCommPort(), 1);
    port.SetRxTimeout(5000);
    std::thread closer([this] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        ::close(m_master);
        m_master = -1;
    });
    unsigned char buf[8];
    auto start = Clock::now();
    EXPECT_EQ(port.ReadFrame(buf, 8, nullptr), 0u);
    EXPECT_LT(MsSince(start), 3000);
    closer.join();
    unsigned char out[8] = {};
    EXPECT_EQ(port.WriteFrame(out, 8), 0);
}

TEST_F(PosixDevice, UnsupportedLineSettingsFail) {
    CSerialPort port(m_path.c_str(), 12345, 0, 0);
    EXPECT_EQ(port.SetCommPort(), 0);
    EXPECT_NE(port.GetPortHandle(), lintaro::INVALID_HANDLE_VALUE);
    EXPECT_EQ(port.SetBaudRate(57600, 0), 1);
}

} // namespace
