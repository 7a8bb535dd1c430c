// The analyser exchange through a line that flips bits: nothing damaged may pass as good, no
// analyser may change unnoticed, and no request may hang.
#include "sim/NoisyRelay.h"
#include "tools/zarnsoak/LineSoak.h"

#include <gtest/gtest.h>

#include <bit>
#include <chrono>
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

namespace {

// Both ends of a pseudo-terminal the relay talks to, in raw mode.
class CRawPty {
public:
    CRawPty() {
        m_nMaster = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        char name[128] = {};
        if (m_nMaster >= 0 && ::grantpt(m_nMaster) == 0 && ::unlockpt(m_nMaster) == 0 &&
            ::ptsname_r(m_nMaster, name, sizeof name) == 0) {
            m_strSlave = name;
            m_nSlave = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
        }
        struct termios tio;
        if (m_nSlave >= 0 && ::tcgetattr(m_nSlave, &tio) == 0) {
            ::cfmakeraw(&tio);
            ::tcsetattr(m_nSlave, TCSANOW, &tio);
        }
    }
    ~CRawPty() {
        ::close(m_nSlave);
        ::close(m_nMaster);
    }
    int Master() const { return m_nMaster; }
    const std::string& SlavePath() const { return m_strSlave; }

private:
    int m_nMaster = -1;
    int m_nSlave = -1;
    std::string m_strSlave;
};

// Reads exactly n bytes, waiting at most 10 s in all.
std::vector<unsigned char> ReadExactly(int fd, std::size_t n) {
    std::vector<unsigned char> data;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (data.size() < n && std::chrono::steady_clock::now() < deadline) {
        struct pollfd p = {fd, POLLIN, 0};
        if (::poll(&p, 1, 100) > 0) {
            unsigned char buffer[4096];
            const ssize_t got = ::read(fd, buffer, std::min(sizeof buffer, n - data.size()));
            if (got > 0) {
                data.insert(data.end(), buffer, buffer + got);
            }
        }
    }
    return data;
}

std::size_t DifferentBits(const std::vector<unsigned char>& a,
                          const std::vector<unsigned char>& b) {
    std::size_t bits = 0;
    for (std::size_t i = 0; i < std::min(a.size(), b.size()); ++i) {
        bits += static_cast<std::size_t>(std::popcount(static_cast<unsigned>(a[i] ^ b[i])));
    }
    return bits;
}

TEST(NoisyRelay, FlipsBitsAtItsRateBothWaysAndNeverLosesAByte) {
    CRawPty device;
    ASSERT_FALSE(device.SlavePath().empty());
    CNoisyRelay relay({device.SlavePath(), 0.01, 5});
    std::string error;
    ASSERT_TRUE(relay.Start(&error)) << error;
    const int port = ::open(relay.DevicePath().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(port, 0);
    struct termios tio;
    ASSERT_EQ(::tcgetattr(port, &tio), 0);
    ::cfmakeraw(&tio);
    ASSERT_EQ(::tcsetattr(port, TCSANOW, &tio), 0);

    std::vector<unsigned char> sent(2000);
    for (std::size_t i = 0; i < sent.size(); ++i) {
        sent[i] = static_cast<unsigned char>(i * 7);
    }
    ASSERT_EQ(::write(port, sent.data(), sent.size()), static_cast<ssize_t>(sent.size()));
    const std::vector<unsigned char> heard = ReadExactly(device.Master(), sent.size());
    ASSERT_EQ(heard.size(), sent.size());
    ASSERT_EQ(::write(device.Master(), sent.data(), sent.size()),
              static_cast<ssize_t>(sent.size()));
    const std::vector<unsigned char> back = ReadExactly(port, sent.size());
    ASSERT_EQ(back.size(), sent.size());
    ::close(port);

    // 16 000 bits each way at 1 %: 160 expected, well inside 100 to 240.
    const std::size_t there = DifferentBits(sent, heard);
    const std::size_t again = DifferentBits(sent, back);
    EXPECT_GT(there, 100u);
    EXPECT_LT(there, 240u);
    EXPECT_GT(again, 100u);
    EXPECT_LT(again, 240u);
    EXPECT_EQ(relay.BitsFlipped(), there + again);
    EXPECT_EQ(relay.BytesRelayed(), 2 * sent.size());
}

TEST(LineNoise, TwoThousandRequestsAtOneBitInAThousandGoWrongOnlyVisibly) {
    CLineSoak::Options options;
    options.nRequests = 2000;
    options.dBitErrorRate = 1e-3;
    options.nSeed = 1;
    CLineSoak::Report report;
    std::string error;
    ASSERT_TRUE(CLineSoak(options).Run(report, &error)) << error;
    const std::string text = CLineSoak::Format(report);

    // The line spoilt requests on the way out and replies on the way back, and most still
    // went through.
    ASSERT_EQ(report.nRequests, 2000u);
    EXPECT_GT(report.nBitsFlipped, 1000u) << text;
    EXPECT_GT(report.failures["the echo differs from the request"], 50u) << text;
    EXPECT_GT(report.failures["reply checksum wrong"] +
                  report.failures["reply rotating check wrong"],
              50u)
        << text;
    EXPECT_GT(report.nSucceeded, 1000u) << text;

    EXPECT_EQ(report.nFalseAccepts, 0u) << text;
    EXPECT_EQ(report.nUnexplainedChanges, 0u) << text;
    // No request waits longer than its own time-outs allow (a curve's 6 s at most).
    EXPECT_LT(report.dLongestMs, 8000.0) << text;
    std::printf("%s", text.c_str());
}

} // namespace
