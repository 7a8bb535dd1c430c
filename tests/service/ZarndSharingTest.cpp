// Clients sharing the line through zarnd: whole calls, taken in turn, with access by account.

#include "network/ZarnPort.h"
#include "network/ZarndMessage.h"
#include "tests/service/ServiceFixture.h"

#include <grp.h>
#include <pwd.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <nlohmann/json.hpp>

#include <atomic>
#include <csignal>
#include <cstring>

namespace {

class ZarndSharing : public ServiceTest {
protected:
    std::unique_ptr<CZarnPort> Client() {
        auto port = std::make_unique<CZarnPort>(("zarnd://" + m_strSocket).c_str(), 57600, 0, 0);
        EXPECT_EQ(port->SetCommPort(), 1) << Log();
        return port;
    }

    // A client that speaks the socket's frames by hand.
    int RawClient() {
        const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::strncpy(address.sun_path, m_strSocket.c_str(), sizeof address.sun_path - 1);
        EXPECT_EQ(::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
        return fd;
    }

    static bool Send(int fd, const std::vector<std::uint8_t>& bytes) {
        return ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL) ==
               static_cast<ssize_t>(bytes.size());
    }

    ProgramResult Zarnctl(const std::vector<std::string>& prefix, std::vector<std::string> args) {
        std::vector<std::string> argv = prefix;
        argv.insert(argv.end(), {ZARNCTL_PATH, "--port", "zarnd://" + m_strSocket});
        argv.insert(argv.end(), args.begin(), args.end());
        return RunProgram(argv, 60000);
    }
};

TEST_F(ZarndSharing, TwoClientsDownloadWholeCurvesWhileThePollingGoesOn) {
    StartLine({1, 2, 3});
    StartService({"--nodes", "1-3", "--poll", "1", "--sweep", "1"});
    SimAnalyserState one, two;
    ASSERT_TRUE(m_pSim->GetState(1, one));
    ASSERT_TRUE(m_pSim->GetState(2, two));
    ASSERT_NE(one.curve, two.curve);

    // Two zarnctl processes at once, each downloading 20 curves through the service.
    std::atomic<int> nIntact{0};
    auto download = [&](int node, const std::vector<std::uint16_t>& expected) {
        for (int i = 0; i < 20; ++i) {
            const ProgramResult run = Zarnctl({}, {"--json", "curve", std::to_string(node)});
            if (run.nExit != 0) {
                ADD_FAILURE() << "curve " << i << " of node " << node << ": " << run.strErr;
                continue;
            }
            const auto json = nlohmann::json::parse(run.strOut, nullptr, false);
            if (json.is_discarded() || !json.contains("points") ||
                json["points"].size() != expected.size()) {
                ADD_FAILURE() << "curve " << i << " of node " << node << ": " << run.strOut;
                continue;
            }
            bool bSame = true;
            for (std::size_t k = 0; k < json["points"].size(); ++k) {
                bSame = bSame && json["points"][k][0] == k &&
                        json["points"][k][1] == (expected[k] & 0x0FFF);
            }
            nIntact += bSame ? 1 : 0;
        }
    };
    std::thread first(download, 1, one.curve);
    std::thread second(download, 2, two.curve);
    first.join();
    second.join();
    EXPECT_EQ(nIntact.load(), 40);
    // The polling went on meanwhile.
    EXPECT_TRUE(WaitFor([&] { return Readings(3).size() >= 2; }, 20000)) << Log();
    EXPECT_EQ(StopService(), 0);
    // What passed through is in the service's history, each curve once.
    CHistoryQuery query;
    ASSERT_TRUE(query.Open(m_strHistory));
    for (const int node : {1, 2}) {
        CHistoryFilter filter;
        filter.m_nNodeID = node;
        std::vector<CHistoryCurve> curves;
        ASSERT_TRUE(query.Curves(filter, curves));
        EXPECT_EQ(curves.size(), 20u) << "node " << node;
    }
}

TEST_F(ZarndSharing, ClientsThatDieOrStopReadingCostOthersAtMostOneExchange) {
    StartLine({1, 2});
    StartService({"--nodes", "1-2", "--poll", "0", "--sweep", "0"});

    // One asks for a curve and dies as it reaches the line.
    const int dying = RawClient();
    ASSERT_TRUE(Send(
        dying, ZarndMessage::Frame(ZarndMessage::EncodeRequest(1, {ZarnOp::forceCurve, 1, 0}))));
    std::uint8_t header[9];
    ASSERT_EQ(::recv(dying, header, sizeof header, MSG_WAITALL), 9);
    EXPECT_EQ(header[4], ZarndMessage::started);
    // Another floods the service with curves and never reads an answer.
    const int deaf = RawClient();
    for (std::uint32_t id = 1; id <= 40; ++id) {
        ASSERT_TRUE(Send(deaf, ZarndMessage::Frame(
                                   ZarndMessage::EncodeRequest(id, {ZarnOp::forceCurve, 2, 0}))));
    }
    // And one sends a frame far over the bound.
    const int huge = RawClient();
    ASSERT_TRUE(Send(huge, {0xFF, 0xFF, 0xFF, 0x7F, 1, 2, 3}));
    ::close(dying);

    auto port = Client();
    for (int i = 0; i < 5; ++i) {
        const auto start = Clock::now();
        EXPECT_EQ(port->RequestACK(2), 1) << port->GetLastErrorText();
        // Behind at most one other call on the line, and never a false "no reply".
        EXPECT_LT(Clock::now() - start,
                  std::chrono::milliseconds(CZarnPort::kCurveRxTimeout + CZarnPort::kRxTimeout));
    }
    std::uint8_t byte = 0;
    EXPECT_EQ(::recv(huge, &byte, 1, 0), 0) << "the oversized frame's sender is still served";
    ::close(huge);
    ::close(deaf);

    // A service that dies leaves its clients with a lost line, as an unplugged adapter would.
    m_pService->Signal(SIGKILL);
    ASSERT_EQ(m_pService->Wait(10000), 128 + SIGKILL);
    EXPECT_EQ(port->RequestACK(2), 0);
    EXPECT_EQ(port->GetLastError(), ZarnError::lineLost);
    EXPECT_TRUE(port->IsLineLost());
}

TEST_F(ZarndSharing, OnlyEngineersChangeAnalysersAndTheirChangesAreRecorded) {
    StartLine({2});
    // As root a reader is the account nobody; otherwise the test's own account, with the
    // engineers' group one it is not in.
    const bool bRoot = ::geteuid() == 0;
    const std::string runuser =
        ::access("/usr/sbin/runuser", X_OK) == 0 ? "/usr/sbin/runuser" : "/sbin/runuser";
    if (bRoot && ::access(runuser.c_str(), X_OK) != 0) {
        GTEST_SKIP() << "runuser is not installed";
    }
    const passwd* self = ::getpwuid(::geteuid());
    ASSERT_NE(self, nullptr);
    const std::string user = self->pw_name;
    const group* own = ::getgrgid(self->pw_gid);
    ASSERT_NE(own, nullptr);
    const std::string ownGroup = own->gr_name;
    const std::vector<std::string> reader =
        bRoot ? std::vector<std::string>{runuser, "-u", "nobody", "--"}
              : std::vector<std::string>{};
    const std::string readerName = bRoot ? "nobody" : user;
    const std::string socketGroup = bRoot ? "nogroup" : ownGroup;

    StartService({"--nodes", "2", "--poll", "0", "--sweep", "0", "--group", socketGroup,
                  "--engineers", bRoot ? ownGroup : "zarn-no-such-group"});
    SimAnalyserState before;
    ASSERT_TRUE(m_pSim->GetState(2, before));
    ASSERT_NE(before.nBLO, 150);

    const ProgramResult read = Zarnctl(reader, {"get", "2", "blo"});
    EXPECT_EQ(read.nExit, 0) << read.strErr << Log();
    const unsigned long nServed = m_pSim->RequestsServed();
    const ProgramResult refused = Zarnctl(reader, {"set", "2", "blo", "150"});
    EXPECT_EQ(refused.nExit, 1);
    EXPECT_NE(refused.strErr.find("refused by the line service: " + readerName + " may only read"),
              std::string::npos)
        << refused.strErr;
    const ProgramResult reset = Zarnctl(reader, {"--yes", "reset", "2"});
    EXPECT_EQ(reset.nExit, 1) << reset.strErr;
    SimAnalyserState after;
    ASSERT_TRUE(m_pSim->GetState(2, after));
    EXPECT_EQ(after.nBLO, before.nBLO);
    EXPECT_EQ(after.nResets, before.nResets);
    EXPECT_EQ(m_pSim->RequestsServed(), nServed);
    EXPECT_TRUE(Changes().empty());

    if (!bRoot) {
        // The same account once its group is the engineers'.
        ASSERT_EQ(StopService(), 0);
        StartService({"--nodes", "2", "--poll", "0", "--sweep", "0", "--group", socketGroup,
                      "--engineers", ownGroup});
    }
    const ProgramResult set = Zarnctl({}, {"set", "2", "blo", "150"});
    EXPECT_EQ(set.nExit, 0) << set.strErr << Log();
    ASSERT_TRUE(m_pSim->GetState(2, after));
    EXPECT_EQ(after.nBLO, 150);
    ASSERT_TRUE(WaitFor([&] { return !Changes().empty(); }, 20000)) << Log();
    const std::vector<CHistoryChangeEntry> changes = Changes();
    ASSERT_EQ(changes.size(), 1u);
    EXPECT_EQ(changes[0].m_change.m_strUser, user);
    EXPECT_EQ(changes[0].m_change.m_parameter, CHistoryChange::Parameter::blo);
    EXPECT_EQ(changes[0].m_change.m_nAfter, 150);
    EXPECT_TRUE(changes[0].m_change.m_bOk);
    EXPECT_EQ(changes[0].m_station.m_nNodeID, 2);
    EXPECT_EQ(StopService(), 0);

    // With the service gone its clients hear that, not a serial device's advice.
    const ProgramResult gone = Zarnctl({}, {"ping", "2"});
    EXPECT_EQ(gone.nExit, 3);
    EXPECT_NE(gone.strErr.find("the line service is not running"), std::string::npos)
        << gone.strErr;
}

} // namespace
