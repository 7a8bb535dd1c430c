// zarnctl and the library's port on a simulated line reached over the network: zarnsim's own
// TCP server, ser2net bridging zarnsim's pseudo-terminal in raw and in telnet(rfc2217) mode,
// and pyserial's example RFC 2217 server bridging zarnsim's TCP line. Then device servers that
// fail: refused, unknown, closing mid-curve, Telnet garbage, and hostile ones.

#include "network/ZarnPort.h"
#include "serial/Rfc2217SerialDevice.h"
#include "sim/ZarnSimulator.h"
#include "tests/serial/LoopbackListener.h"
#include "tests/tools/PyserialServer.h"
#include "tests/tools/RunZarnctl.h"
#include "tests/tools/Ser2netProcess.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <thread>

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

long MsSince(Clock::time_point t) {
    return static_cast<long>(
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - t).count());
}

enum class Reach { zarnsimTcp, ser2netRaw, ser2netTelnet, pyserialRfc2217 };

std::string ReachName(const ::testing::TestParamInfo<Reach>& info) {
    switch (info.param) {
    case Reach::zarnsimTcp:
        return "ZarnsimTcp";
    case Reach::ser2netRaw:
        return "Ser2netRaw";
    case Reach::ser2netTelnet:
        return "Ser2netRfc2217";
    case Reach::pyserialRfc2217:
        return "PyserialRfc2217";
    }
    return "Unknown";
}

class NetworkLine : public ::testing::TestWithParam<Reach> {
protected:
    void SetUp() override {
        CZarnSimulator::Options options;
        options.nodes = {3, 7, 9};
        options.faults = {{9, SimFault::silent}};
        options.nCrimpIntervalMs = 0;
        if (GetParam() == Reach::zarnsimTcp || GetParam() == Reach::pyserialRfc2217) {
            options.strTcp = "127.0.0.1:0";
        }
        m_pSim = std::make_unique<CZarnSimulator>(options);
        std::string error;
        ASSERT_TRUE(m_pSim->Start(&error)) << error;
        if (GetParam() == Reach::zarnsimTcp) {
            m_strUrl = m_pSim->TcpUrl();
            return;
        }
        if (GetParam() == Reach::pyserialRfc2217) {
            const std::string script = FindPyserialServer();
            if (script.empty()) {
                GTEST_SKIP() << "pyserial's RFC 2217 server is not installed "
                                "(apt-get install python3-serial)";
            }
            m_pPyserial = std::make_unique<CPyserialServer>(script, m_pSim->TcpUrl());
            ASSERT_TRUE(m_pPyserial->Ready()) << m_pPyserial->Log();
            m_strUrl = m_pPyserial->Url();
            return;
        }
        const std::string program = FindSer2net();
        if (program.empty()) {
            GTEST_SKIP() << "ser2net is not installed (apt-get install ser2net)";
        }
        const bool telnet = GetParam() == Reach::ser2netTelnet;
        m_pServer = std::make_unique<CSer2net>(program, m_pSim->DevicePath(), telnet);
        ASSERT_TRUE(m_pServer->Ready()) << m_pServer->Log();
        m_strUrl = m_pServer->Url();
    }

    ProgramResult Zarnctl(std::vector<std::string> args) {
        args.insert(args.begin(), {"--port", m_strUrl});
        return RunZarnctl(args, 20000);
    }
    SimAnalyserState State(int node) {
        SimAnalyserState state;
        EXPECT_TRUE(m_pSim->GetState(node, state));
        return state;
    }

    std::unique_ptr<CZarnSimulator> m_pSim;
    std::unique_ptr<CSer2net> m_pServer;
    std::unique_ptr<CPyserialServer> m_pPyserial;
    std::string m_strUrl;
};

TEST_P(NetworkLine, ZarnctlCarriesEveryKindOfRequest) {
    // 0xFF in the data (BLO 255, T factor 0x1FF) must cross a Telnet link escaped.
    SimAnalyserState s = State(3);
    s.nBLO = 255;
    ASSERT_TRUE(m_pSim->SetState(3, s));
    ASSERT_TRUE(m_pSim->AddCrimps(3, {100, 4095, 255}));
    s = State(3);

    ProgramResult ping = Zarnctl({"--json", "ping", "7", "9"});
    EXPECT_EQ(ping.nExit, 1) << ping.strErr;
    EXPECT_EQ(ping.strOut, "{\"nodes\":[{\"node\":7,\"online\":true},"
                           "{\"node\":9,\"online\":false,\"error\":\"no reply\"}]}\n");
    ProgramResult get = Zarnctl({"--json", "get", "3", "blo"});
    EXPECT_EQ(get.strOut, "{\"node\":3,\"blo\":255}\n") << get.strErr;
    ProgramResult set = Zarnctl({"--json", "set", "3", "tfactor", "0x1FF"});
    EXPECT_EQ(set.strOut, "{\"node\":3,\"ok\":true}\n") << set.strErr;
    EXPECT_EQ(State(3).nTFactor, 0x1FF);
    ProgramResult stats = Zarnctl({"--json", "stats", "3"});
    EXPECT_EQ(stats.nExit, 0) << stats.strErr;
    EXPECT_NE(stats.strOut.find("\"max\":4095"), std::string::npos) << stats.strOut;

    ProgramResult curve = Zarnctl({"--json", "curve", "3"});
    EXPECT_EQ(curve.nExit, 0) << curve.strErr;
    EXPECT_EQ(curve.strOut,
              "{\"node\":3,\"curve\":\"force\",\"points\":" + PointsJson(s.curve) + "}\n");
    ProgramResult batch = Zarnctl({"--json", "batch", "3"});
    EXPECT_EQ(batch.nExit, 0) << batch.strErr;
    EXPECT_NE(batch.strOut.find("\"points\":" + PointsJson(s.batch) + ",\"stats_ok\":true,"),
              std::string::npos);
}

TEST_P(NetworkLine, TheLibrarysPortWorksOverIt) {
    CZarnPort port(m_strUrl.c_str(), 57600, lintaro::NOPARITY, lintaro::ONESTOPBIT);
    ASSERT_EQ(port.SetCommPort(), 1) << lintaro::DescribeOpenError(port.GetOpenError());
    EXPECT_EQ(port.RequestACK(7), 1) << ZarnErrorText(port.GetLastError());
    unsigned short blo = 0;
    EXPECT_EQ(port.GetBLO(3, &blo), 1);
    EXPECT_EQ(blo, State(3).nBLO);
    std::vector<tagPOINT> points(CZarnPort::kCurvePoints);
    ASSERT_EQ(port.DownloadReference(7, points.data()), 1) << ZarnErrorText(port.GetLastError());
    const SimAnalyserState s = State(7);
    for (int i = 0; i < CZarnPort::kCurvePoints; ++i) {
        ASSERT_EQ(points[i].y, s.reference[i] & 0x0FFF) << i;
    }
    // A silent node costs the quick sweep's time-out, not the analysers' own.
    const auto start = Clock::now();
    EXPECT_EQ(port.RequestACKWithin(9, 100), 0);
    EXPECT_EQ(port.GetLastError(), ZarnError::noReply);
    EXPECT_LT(MsSince(start), 600);
}

INSTANTIATE_TEST_SUITE_P(Reaches, NetworkLine,
                         ::testing::Values(Reach::zarnsimTcp, Reach::ser2netRaw,
                                           Reach::ser2netTelnet, Reach::pyserialRfc2217),
                         ReachName);

// A device server played by the test on its own thread: it answers the first request as the
// script says and then closes the connection.
class CScriptedServer {
public:
    using Script = std::function<void(int fd)>;
    explicit CScriptedServer(Script script) {
        m_thread = std::thread([this, script] {
            const int fd = m_listener.Accept(10000);
            if (fd >= 0) {
                script(fd);
                ::close(fd);
            }
        });
    }
    ~CScriptedServer() { m_thread.join(); }
    std::string Url(const char* scheme) const { return m_listener.Url(scheme); }

private:
    CLoopbackListener m_listener;
    std::thread m_thread;
};

TEST(NetworkLineFaults, RefusedOrUnknownServersExitThreeAtOnce) {
    CLoopbackListener closed;
    const std::string refused = closed.Url("socket");
    closed.Close();
    ProgramResult r = RunZarnctl({"--port", refused, "ping", "3"}, 10000);
    EXPECT_EQ(r.nExit, 3);
    EXPECT_NE(r.strErr.find("refused"), std::string::npos) << r.strErr;

    r = RunZarnctl({"--port", "rfc2217://no-such-host.invalid:2217", "--json", "ping", "3"}, 10000);
    EXPECT_EQ(r.nExit, 3);
    EXPECT_EQ(r.strOut.rfind("{\"ok\":false,\"error\":\"", 0), 0u) << r.strOut;
    EXPECT_TRUE(r.strErr.find("unknown host") != std::string::npos ||
                r.strErr.find("could not be looked up") != std::string::npos)
        << r.strErr;
}

TEST(NetworkLineFaults, AServerClosingMidCurveFailsTheRequestAtOnce) {
    CScriptedServer server([](int fd) {
        unsigned char request[8];
        if (::recv(fd, request, sizeof request, MSG_WAITALL) != 8) {
            return;
        }
        // The echo, then a hundred of the curve's 501 packets.
        std::vector<unsigned char> bytes(request, request + 8);
        bytes.resize(8 + 100 * 8, 0x11);
        ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    });
    const auto start = Clock::now();
    ProgramResult r = RunZarnctl({"--port", server.Url("socket"), "curve", "3"}, 10000);
    EXPECT_EQ(r.nExit, 1);
    EXPECT_NE(r.strErr.find("node 3: downloading the force curve failed"), std::string::npos)
        << r.strErr;
    // Well before the download's own 6 s time-out.
    EXPECT_LT(MsSince(start), 3000);
}

TEST(NetworkLineFaults, TelnetGarbageWithoutTheComPortOptionExitsThreeInTime) {
    CScriptedServer server([](int fd) {
        const unsigned char garbage[] = {0xFF, 0x07, 'x',  0xFF, 0xFA, 0x2C, 0x01, 0xFF,
                                         0xFB, 0x2C, 0xFF, 0xFF, 0xFF, 0xFE, 0xC8, 0x00};
        ::send(fd, garbage, sizeof garbage, MSG_NOSIGNAL);
        // Then nothing: the COM-port option stays unanswered. Hold until the client goes.
        pollfd pfd{fd, POLLIN, 0};
        const auto start = Clock::now();
        while (MsSince(start) < 8000 && ::poll(&pfd, 1, 100) >= 0) {
            char sink[256];
            if ((pfd.revents & POLLIN) && ::recv(fd, sink, sizeof sink, 0) <= 0) {
                break;
            }
        }
    });
    const auto start = Clock::now();
    ProgramResult r = RunZarnctl({"--port", server.Url("rfc2217"), "ping", "3"}, 10000);
    EXPECT_EQ(r.nExit, 3);
    EXPECT_NE(r.strErr.find("did not answer the COM-port control"), std::string::npos) << r.strErr;
    EXPECT_LT(MsSince(start), CRfc2217SerialDevice::kAgreeTimeoutMs + 1500);
}

// Sends what the script makes until the client goes (or ten seconds pass).
void Flood(int fd, const std::function<std::vector<unsigned char>()>& next, int gapMs = 0) {
    const auto start = Clock::now();
    while (MsSince(start) < 10000) {
        const std::vector<unsigned char> bytes = next();
        if (::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL) < 0) {
            return;
        }
        pollfd pfd{fd, POLLRDHUP, 0};
        if (gapMs > 0 && ::poll(&pfd, 1, gapMs) != 0) {
            return; // the client has gone
        }
    }
}

TEST(NetworkLineFaults, HostileServersFailInTimeWithTheirReason) {
    using Bytes = std::vector<unsigned char>;
    const unsigned char IAC = 255;
    struct Case {
        const char* pszScheme;
        int nExit;
        const char* pszReason;
        CScriptedServer::Script script;
    };
    const Case cases[] = {
        {"rfc2217", 3, "overlong Telnet subnegotiation",
         [&](int fd) {
             const Bytes start = {IAC, 250, 44};
             ::send(fd, start.data(), start.size(), MSG_NOSIGNAL);
             Flood(fd, [] { return Bytes(8192, 255); });
         }},
        {"rfc2217", 3, "keeps negotiating Telnet options",
         [&](int fd) {
             unsigned char option = 100;
             Flood(fd, [&] {
                 ++option;
                 return Bytes{IAC, static_cast<unsigned char>(option % 2 ? 251 : 253), option};
             });
         }},
        {"rfc2217", 3, "sent more data than the port holds",
         [](int fd) { Flood(fd, [] { return Bytes(8192, 0x11); }); }},
        {"socket", 1, "offline: the echo differs from the request",
         [](int fd) { Flood(fd, [] { return Bytes(8192, 0x11); }); }},
        {"socket", 1, "offline: the echo differs from the request",
         [](int fd) {
             Flood(
                 fd, [] { return Bytes{0x5A}; }, 50);
         }},
    };
    for (const Case& c : cases) {
        CScriptedServer server(c.script);
        const auto start = Clock::now();
        ProgramResult r = RunZarnctl({"--port", server.Url(c.pszScheme), "ping", "1"}, 20000);
        EXPECT_EQ(r.nExit, c.nExit) << c.pszReason << ": " << r.strErr;
        EXPECT_NE((r.strOut + r.strErr).find(c.pszReason), std::string::npos)
            << r.strOut << r.strErr;
        EXPECT_LT(MsSince(start), CRfc2217SerialDevice::kAgreeTimeoutMs) << c.pszReason;
    }
}

} // namespace
