#include "serial/SerialPort.h"

#include <gtest/gtest.h>

#include <chrono>
#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
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

TEST_F(PosixDevice, ReadWaitsOneDeadlineAndReturnsEarlyOnceComplete) {
    CSerialPort port(m_path.c_str(), 57600, 0, 0);
    ASSERT_EQ(port.SetCommPort(), 1);
    port.SetRxTimeout(300);
    unsigned char buf[8];

    auto start = Clock::now();
    EXPECT_EQ(port.ReadFrame(buf, 8, nullptr), 0u);
    long waited = MsSince(start);
    EXPECT_GE(waited, 295);
    EXPECT_LT(waited, 1000);

    // Bytes dribbling in do not extend the limit: it is one total deadline.
    std::thread writer([this] {
        for (int i = 0; i < 3; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            (void)::write(m_master, "x", 1);
        }
    });
    start = Clock::now();
    unsigned long got = port.ReadFrame(buf, 8, nullptr);
    waited = MsSince(start);
    EXPECT_GE(got, 2u);
    EXPECT_LE(got, 3u);
    EXPECT_GE(waited, 295);
    EXPECT_LT(waited, 1000);
    writer.join();
}

TEST_F(PosixDevice, SecondOpenerIsRefused) {
    CSerialPort first(m_path.c_str(), 57600, 0, 0);
    CSerialPort second(m_path.c_str(), 57600, 0, 0);
    ASSERT_EQ(first.SetCommPort(), 1);
    EXPECT_EQ(second.SetCommPort(), 0);
    EXPECT_EQ(second.GetOpenError(), static_cast<unsigned long>(EBUSY));
    EXPECT_EQ(DescribeOpenError(second.GetOpenError()), "the port is held by another program");
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
    EXPECT_NE(port.GetPortHandle(), INVALID_HANDLE_VALUE);
    EXPECT_EQ(port.SetBaudRate(57600, 0), 1);
}

} // namespace
