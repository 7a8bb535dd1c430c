#include "tests/devices/DeviceTestSupport.h"

#include "tools/zarnctl/LoggerCommands.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <fcntl.h>
#include <poll.h>
#include <sstream>
#include <thread>
#include <unistd.h>

namespace {

struct CRun {
    int nStatus;
    std::string strOut;
    std::string strErr;
};

CRun RunCommand(const std::vector<std::string>& args, const std::string& port, bool json = true,
                bool vask = false) {
    std::ostringstream out, err;
    const int status = RunLoggerCommand(args, port, json, vask, out, err);
    return {status, out.str(), err.str()};
}

void FillPeer(CLoggerPeer& peer) {
    peer.SetValue(0x06, 31337);
    peer.SetValue(0x07, 204);
    peer.SetValue(0x08, 7);
    peer.SetValue(0x09, 181);
    peer.SetValue(0x19, 14);
    peer.SetValue(0x1A, 3);
    peer.SetValue(0x1B, 2023);
    peer.SetValue(0x5D, 12);
    peer.SetValue(0x5C, 8);
    peer.SetValue(0x55, 0x8001);
    const std::uint16_t settings[9] = {10, 20, 30, 40, 50, 60, 70, 80, 65535};
    peer.SetSettings(settings);
    peer.SetBuffer({0xB4, 0x00, 0x7F, 0xFF, 0x10});
}

const char kInfoJson[] = "{\"serial_number\":31337,\"sw_version\":204,\"product_code\":7,"
                         "\"battery_level\":181,\"calibration\":{\"day\":14,\"month\":3,"
                         "\"year\":2023}}\n";

// Through the interface module, on the scripted line.
class LoggerCommandTest : public CLineTest {
protected:
    void SetUp() override {
        CLineTest::SetUp();
        m_peer = std::make_unique<CLoggerPeer>(true);
        FillPeer(*m_peer);
        m_peer->Attach(*m_line);
    }
    void TearDown() override {
        m_line->SetResponder(nullptr);
        CLineTest::TearDown();
    }
    std::unique_ptr<CLoggerPeer> m_peer;
};

TEST_F(LoggerCommandTest, JsonDocumentsOverTheInterfaceModule) {
    EXPECT_EQ(RunCommand({"logger", "info"}, kPort, true, true).strOut, kInfoJson);
    EXPECT_EQ(RunCommand({"logger", "settings"}, kPort, true, true).strOut,
              "{\"settings\":[10,20,30,40,50,60,70,80,65535]}\n");
    EXPECT_EQ(RunCommand({"logger", "start"}, kPort, true, true).strOut, "{\"ok\":true}\n");
    EXPECT_EQ(RunCommand({"logger", "stop"}, kPort, true, true).strOut, "{\"ok\":true}\n");
    EXPECT_EQ(RunCommand({"logger", "buffer"}, kPort, true, true).strOut,
              "{\"length\":5,\"bytes\":\"b4007fff10\"}\n");
    EXPECT_EQ(RunCommand({"jig", "info"}, kPort, true, true).strOut,
              "{\"sw_version\":12,\"channel_count\":8,\"status\":32769}\n");
    EXPECT_EQ(m_line->State().BaudRate, 19200u);
    // The module was asked what it can tell before the first frame went out.
    const auto escapes = m_line->EventsOf(CScriptedLine::Event::kEscape);
    EXPECT_TRUE(std::any_of(escapes.begin(), escapes.end(),
                            [](const auto& e) { return e.nValue == lintaro::SETBREAK; }));
    std::vector<Bytes> expected = {{0x06, 0, 0}, {0x07, 0, 0}, {0x08, 0, 0}, {0x09, 0, 0},
                                   {0x19, 0, 0}, {0x1A, 0, 0}, {0x1B, 0, 0}, {0x32, 0, 0},
                                   {0x04, 0, 0}, {0x05, 0, 0}, {0x1D, 0, 0}, {0x5D, 0, 0},
                                   {0x5C, 0, 0}, {0x55, 0, 0}};
    EXPECT_EQ(m_peer->Commands(), expected);
}

TEST_F(LoggerCommandTest, OptionsMayStandAmongTheWords) {
    CRun r = RunCommand({"logger", "--vask", "start", "--json"}, kPort, false, false);
    EXPECT_EQ(r.nStatus, 0);
    EXPECT_EQ(r.strOut, "{\"ok\":true}\n");

    // Another station's logger.
    auto other = std::make_unique<CLoggerPeer>(true, 0x23);
    FillPeer(*other);
    other->Attach(*m_line);
    r = RunCommand({"logger", "info", "--id", "0x23"}, kPort, true, true);
    EXPECT_EQ(r.nStatus, 0);
    EXPECT_EQ(r.strOut, kInfoJson);
    m_line->SetResponder(nullptr);
}

TEST_F(LoggerCommandTest, TextIsForPeople) {
    CRun r = RunCommand({"logger", "info"}, kPort, false, true);
    EXPECT_EQ(r.nStatus, 0);
    EXPECT_NE(r.strOut.find("Serial number     31337\n"), std::string::npos);
    EXPECT_NE(r.strOut.find("14/3/2023"), std::string::npos);
    r = RunCommand({"logger", "buffer"}, kPort, false, true);
    EXPECT_EQ(r.strOut, "5 bytes\n0000  b4 00 7f ff 10\n");
    r = RunCommand({"logger", "stop"}, kPort, false, true);
    EXPECT_EQ(r.strOut, "Sampling stopped.\n");
}

TEST_F(LoggerCommandTest, SilentDeviceFailsWithTheReason) {
    CLoggerPeer::Fault silent;
    silent.bSilent = true;
    m_peer->AddFaults(3 + 3, silent);
    CRun r = RunCommand({"logger", "info"}, kPort, true, true);
    EXPECT_EQ(r.nStatus, 1);
    EXPECT_EQ(r.strOut,
              "{\"ok\":false,\"error\":\"the logger did not answer the serial number request\"}\n");
    EXPECT_NE(r.strErr.find("serial number"), std::string::npos);
    r = RunCommand({"jig", "info"}, kPort, false, true);
    EXPECT_EQ(r.nStatus, 1);
    EXPECT_TRUE(r.strOut.empty());
    EXPECT_NE(r.strErr.find("the wave jig did not answer the software version request"),
              std::string::npos);

    // The buffer read has one attempt.
    m_peer->AddFault(silent);
    EXPECT_EQ(RunCommand({"logger", "buffer"}, kPort, true, true).nStatus, 1);
}

TEST_F(LoggerCommandTest, PortThatCannotBeOpened) {
    m_line->RefuseOpen(EBUSY);
    CRun r = RunCommand({"logger", "info"}, kPort, true, false);
    EXPECT_EQ(r.nStatus, 3);
    EXPECT_EQ(r.strOut, "{\"ok\":false,\"error\":\"cannot open port DEVTEST1: the port is held "
                        "by another program\"}\n");
    EXPECT_NE(r.strErr.find("held by another program"), std::string::npos);
    r = RunCommand({"jig", "info"}, "/nonexistent/tty", false, false);
    EXPECT_EQ(r.nStatus, 3);
    EXPECT_TRUE(r.strOut.empty());
    EXPECT_NE(r.strErr.find("no such serial device"), std::string::npos);
}

TEST_F(LoggerCommandTest, UsageErrorsTouchNoPort) {
    const std::vector<std::vector<std::string>> bad = {
        {},
        {"logger"},
        {"logger", "bogus"},
        {"jig"},
        {"jig", "settings"},
        {"logger", "info", "extra"},
        {"analyser", "info"},
        {"logger", "info", "--frobnicate"},
        {"logger", "info", "--id"},
        {"logger", "info", "--id", "300"},
        {"logger", "info", "--id", "-1"},
        {"logger", "info", "--id", "12abc"},
    };
    for (const auto& args : bad) {
        CRun r = RunCommand(args, kPort);
        EXPECT_EQ(r.nStatus, 2) << (args.empty() ? "" : args.back());
        EXPECT_NE(r.strErr.find("usage:"), std::string::npos);
        EXPECT_TRUE(r.strOut.empty());
    }
    EXPECT_EQ(m_line->OpenCount(), 0u);
    CRun help = RunCommand({"logger", "--help"}, kPort);
    EXPECT_EQ(help.nStatus, 0);
    EXPECT_NE(help.strOut.find("jig"), std::string::npos);
}

// A logger on the far side of a pseudo-terminal, answering plain frames from its own thread.
class CPtyLogger {
public:
    CPtyLogger() : m_peer(false) {
        m_fd = ::posix_openpt(O_RDWR | O_NOCTTY);
        if (m_fd >= 0 && ::grantpt(m_fd) == 0 && ::unlockpt(m_fd) == 0) {
            const char* name = ::ptsname(m_fd);
            m_strPath = name ? name : "";
        }
        FillPeer(m_peer);
    }
    ~CPtyLogger() {
        Stop();
        if (m_fd >= 0) {
            ::close(m_fd);
        }
    }
    CLoggerPeer& Peer() { return m_peer; } // only while stopped
    const std::string& Path() const { return m_strPath; }

    void Start() {
        m_bStop = false;
        m_thread = std::thread([this] { Serve(); });
    }
    void Stop() {
        m_bStop = true;
        if (m_thread.joinable()) {
            m_thread.join();
        }
    }

private:
    void Serve() {
        unsigned char buffer[512];
        while (!m_bStop) {
            pollfd p{m_fd, POLLIN, 0};
            if (::poll(&p, 1, 10) <= 0) {
                continue;
            }
            const ssize_t n = (p.revents & POLLIN) ? ::read(m_fd, buffer, sizeof buffer) : -1;
            if (n <= 0) {
                // The host has the slave closed between its exchanges.
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
                continue;
            }
            const Bytes reply = m_peer.Take(Bytes(buffer, buffer + n));
            std::size_t done = 0;
            while (done < reply.size()) {
                const ssize_t w = ::write(m_fd, reply.data() + done, reply.size() - done);
                if (w <= 0) {
                    break;
                }
                done += static_cast<std::size_t>(w);
            }
        }
    }

    int m_fd = -1;
    std::string m_strPath;
    CLoggerPeer m_peer;
    std::thread m_thread;
    std::atomic<bool> m_bStop{false};
};

TEST(LoggerCommandPtyTest, DirectCableEndToEnd) {
    CPtyLogger logger;
    ASSERT_FALSE(logger.Path().empty());
    logger.Start();
    EXPECT_EQ(RunCommand({"logger", "info"}, logger.Path()).strOut, kInfoJson);
    EXPECT_EQ(RunCommand({"logger", "settings"}, logger.Path()).strOut,
              "{\"settings\":[10,20,30,40,50,60,70,80,65535]}\n");
    EXPECT_EQ(RunCommand({"logger", "start"}, logger.Path()).strOut, "{\"ok\":true}\n");
    EXPECT_EQ(RunCommand({"logger", "stop"}, logger.Path()).strOut, "{\"ok\":true}\n");
    const CRun buffer = RunCommand({"logger", "buffer"}, logger.Path());
    EXPECT_EQ(buffer.nStatus, 0) << buffer.strErr;
    EXPECT_EQ(buffer.strOut, "{\"length\":5,\"bytes\":\"b4007fff10\"}\n");
    EXPECT_EQ(RunCommand({"jig", "info"}, logger.Path()).strOut,
              "{\"sw_version\":12,\"channel_count\":8,\"status\":32769}\n");
    logger.Stop();
    // Each run starts a fresh port, so each begins with the bit clear and flips it per answer.
    const auto& requests = logger.Peer().Requests();
    ASSERT_EQ(requests.size(), 14u);
    EXPECT_EQ(requests[0].nHandshake, 0x00);
    EXPECT_EQ(requests[1].nHandshake, 0x80);
    EXPECT_EQ(requests[2].nHandshake, 0x00);
}

TEST(LoggerCommandPtyTest, SilentLoggerOnTheCable) {
    CPtyLogger logger;
    ASSERT_FALSE(logger.Path().empty());
    CLoggerPeer::Fault silent;
    silent.bSilent = true;
    logger.Peer().AddFaults(3, silent);
    logger.Start();
    const CRun r = RunCommand({"logger", "start"}, logger.Path());
    logger.Stop();
    EXPECT_EQ(r.nStatus, 1);
    EXPECT_EQ(
        r.strOut,
        "{\"ok\":false,\"error\":\"the logger did not answer the start sampling request\"}\n");
    EXPECT_EQ(logger.Peer().Requests().size(), 3u);
}

} // namespace
