// zarnd polling and recording a simulated line on its own.

#include "network/ZarnPort.h"
#include "records/StationFile.h"
#include "tests/service/ServiceFixture.h"

#include <csignal>
#include <cstring>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>

namespace {

using ZarndService = ServiceTest;

// What the service tells systemd on its notification socket, by the deadline.
std::string Notification(int fd, int timeoutMs) {
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, timeoutMs) != 1) {
        return {};
    }
    char buffer[512];
    const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
    return n > 0 ? std::string(buffer, static_cast<std::size_t>(n)) : std::string();
}

TEST_F(ZarndService, RecordsEveryStationsReadingsInTheHistory) {
    StartLine({1, 2, 5});
    ASSERT_TRUE(Readings().empty());
    const std::string notify = m_strDir + "/notify";
    const int fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, notify.c_str(), sizeof address.sun_path - 1);
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    StartService({"--nodes", "1,2,5-6", "--poll", "1", "--sweep", "0"},
                 {"NOTIFY_SOCKET=" + notify});
    EXPECT_EQ(Notification(fd, 20000).rfind("READY=1", 0), 0u);

    // Two rounds of readings of each answering node; the silent one leaves none.
    ASSERT_TRUE(WaitFor(
        [&] {
            return Readings(1).size() >= 2 && Readings(2).size() >= 2 && Readings(5).size() >= 2;
        },
        30000))
        << Log();
    EXPECT_TRUE(Readings(6).empty());
    SimAnalyserState state;
    ASSERT_TRUE(m_pSim->GetState(2, state));
    const CHistoryReading reading = Readings(2).back();
    EXPECT_EQ(reading.m_strSource, "poll");
    EXPECT_EQ(reading.m_stats.m_nBLO, state.nBLO);
    EXPECT_EQ(reading.m_stats.m_nGood + reading.m_stats.m_nBad, state.batch.size());
    m_pService->Signal(SIGTERM);
    std::string stopping;
    while (stopping.find("STOPPING=1") == std::string::npos) {
        const std::string note = Notification(fd, 20000);
        ASSERT_FALSE(note.empty()) << "no STOPPING=1";
        stopping += note;
    }
    EXPECT_EQ(m_pService->Wait(20000), 0);
    ::close(fd);
    EXPECT_NE(Log().find("node 6 not answering"), std::string::npos) << Log();
}

TEST_F(ZarndService, SighupRereadsTheStationFile) {
    StartLine({3, 4});
    const std::string file = m_strDir + "/pressinfo.vlm";
    auto writeStations = [&](int node, const char* name) {
        PressList presses;
        presses.push_back(std::make_unique<CPress>(name, CPoint{10, 10}, node));
        presses.back()->SetWireType("FLRY 0.35");
        ASSERT_TRUE(StationFile::WriteFile(file, presses));
    };
    writeStations(3, "Press A");
    StartService({"--stations", file, "--poll", "1", "--sweep", "0"});
    ASSERT_TRUE(WaitFor([&] { return !Readings(3).empty(); }, 30000)) << Log();
    EXPECT_EQ(Readings(3).front().m_station.m_strName, "Press A");
    EXPECT_EQ(Readings(3).front().m_station.m_strWireType, "FLRY 0.35");
    EXPECT_TRUE(Readings(4).empty());

    writeStations(4, "Press B");
    m_pService->Signal(SIGHUP);
    ASSERT_TRUE(WaitFor([&] { return !Readings(4).empty(); }, 30000)) << Log();
    EXPECT_EQ(Readings(4).front().m_station.m_strName, "Press B");
    // Node 3 has left the list: no reading of it after the one node 4 got.
    const std::size_t nThree = Readings(3).size();
    ASSERT_TRUE(WaitFor([&] { return Readings(4).size() >= 3; }, 30000)) << Log();
    EXPECT_EQ(Readings(3).size(), nThree);
    EXPECT_EQ(StopService(), 0);
}

TEST_F(ZarndService, KilledWhilePollingKeepsItsHistoryAndResumes) {
    StartLine({1, 2, 3}, 50);
    StartService({"--nodes", "1-3", "--poll", "1", "--sweep", "1"});
    ASSERT_TRUE(WaitFor([&] { return Readings().size() >= 6; }, 30000)) << Log();
    m_pService->Signal(SIGKILL);
    ASSERT_EQ(m_pService->Wait(10000), 128 + SIGKILL);
    const std::size_t nBefore = Readings().size();
    ASSERT_GE(nBefore, 6u);

    // The stale socket is replaced and polling goes on in the same history.
    StartService({"--nodes", "1-3", "--poll", "1", "--sweep", "1"});
    ASSERT_TRUE(WaitFor([&] { return Readings().size() >= nBefore + 6; }, 30000)) << Log();
    EXPECT_EQ(StopService(), 0);
}

TEST_F(ZarndService, ReopensALostLineByItsName) {
    const std::string link = m_strDir + "/line";
    auto startLine = [&] {
        CZarnSimulator::Options options;
        options.nodes = {4};
        options.nCrimpIntervalMs = 0;
        options.strLink = link;
        m_pSim = std::make_unique<CZarnSimulator>(options);
        std::string error;
        ASSERT_TRUE(m_pSim->Start(&error)) << error;
    };
    startLine();
    m_pService = std::make_unique<CChildProcess>();
    CChildProcess::Options options;
    options.strLog = m_strLog;
    options.bPipeOut = false;
    ASSERT_TRUE(
        m_pService->Start({ZARND_PATH, "--port", link, "--nodes", "4", "--poll", "1", "--sweep",
                           "0", "--history", m_strHistory, "--socket", m_strSocket},
                          options));
    ASSERT_TRUE(WaitFor([&] { return !Readings(4).empty(); }, 30000)) << Log();
    // Its clients hear where it records, and what it knows of the line, at any time.
    CZarnPort client(("zarnd://" + m_strSocket).c_str(), 57600, 0, 0);
    ASSERT_EQ(client.SetCommPort(), 1);
    CZarndReport report;
    ASSERT_EQ(client.GetServiceReport(report), 1) << client.GetLastErrorText();
    EXPECT_EQ(report.m_strHistory, m_strHistory);
    EXPECT_TRUE(report.m_bLineOpen);
    ASSERT_EQ(report.m_stations.size(), 1u);
    EXPECT_EQ(report.m_stations[0].m_nNodeID, 4);
    EXPECT_EQ(report.m_stations[0].m_presence, CZarndStation::Presence::answering);
    EXPECT_TRUE(report.m_stations[0].m_bHasReading);
    EXPECT_LT(report.m_stations[0].m_nReadAgoMs, 30000u);

    // The adapter goes away, and comes back under the same name on another device.
    m_pSim.reset();
    ASSERT_TRUE(
        WaitFor([&] { return Log().find("line lost on " + link) != std::string::npos; }, 20000))
        << Log();
    ASSERT_EQ(client.GetServiceReport(report), 1);
    EXPECT_FALSE(report.m_bLineOpen);
    const std::size_t nLost = Readings(4).size();
    startLine();
    ASSERT_TRUE(WaitFor([&] { return Readings(4).size() >= nLost + 2; }, 30000)) << Log();
    ASSERT_EQ(client.GetServiceReport(report), 1);
    EXPECT_TRUE(report.m_bLineOpen);
    EXPECT_EQ(StopService(), 0);
    // A service gone is a lost line, as for any call.
    EXPECT_EQ(client.GetServiceReport(report), 0);
    EXPECT_TRUE(client.IsLineLost());
}

// --check-config over command lines and configuration files.
TEST_F(ZarndService, ChecksItsConfiguration) {
    StartLine({1});
    auto check = [&](std::vector<std::string> args) {
        args.insert(args.begin(), {ZARND_PATH, "--check-config"});
        return RunProgram(args, 30000);
    };
    const std::string config = m_strDir + "/zarnd.conf";
    {
        std::ofstream out(config);
        out << "# the press line\nport = " << m_pSim->DevicePath() << "\nnodes = 1-12\n"
            << "poll = 0.5\nhistory = " << m_strHistory << "\nsocket = " << m_strSocket << "\n";
    }
    const ProgramResult valid = check({"--config", config});
    EXPECT_EQ(valid.nExit, 0) << valid.strErr;

    {
        std::ofstream out(config, std::ios::app);
        out << "pol = 5\n";
    }
    const ProgramResult unknown = check({"--config", config});
    EXPECT_NE(unknown.nExit, 0);
    EXPECT_NE(unknown.strErr.find("pol"), std::string::npos) << unknown.strErr;

    const ProgramResult noStations =
        check({"--port", "/dev/null", "--stations", m_strDir + "/missing.vlm"});
    EXPECT_EQ(noStations.nExit, 1);
    EXPECT_NE(noStations.strErr.find("cannot read the station file"), std::string::npos)
        << noStations.strErr;

    const ProgramResult badPoll = check({"--port", "/dev/null", "--nodes", "1", "--poll", "-1"});
    EXPECT_NE(badPoll.nExit, 0);
    EXPECT_NE(badPoll.strErr.find("--poll"), std::string::npos) << badPoll.strErr;

    const ProgramResult badNodes = check({"--port", "/dev/null", "--nodes", "12-3"});
    EXPECT_EQ(badNodes.nExit, 1);
    EXPECT_NE(badNodes.strErr.find("--nodes"), std::string::npos) << badNodes.strErr;

    const ProgramResult badHistory = check(
        {"--port", "/dev/null", "--nodes", "1", "--history", m_strDir + "/no/such/folder/h.db"});
    EXPECT_EQ(badHistory.nExit, 1);
    EXPECT_NE(badHistory.strErr.find("does not exist"), std::string::npos) << badHistory.strErr;
    EXPECT_FALSE(std::filesystem::exists(m_strHistory));

    // The broker's password stays with the service.
    const std::string password = m_strDir + "/mqtt-password";
    std::ofstream(password) << "secret\n";
    ::chmod(password.c_str(), 0644);
    const std::vector<std::string> mqtt = {"--config",
                                           config,
                                           "--mqtt",
                                           "mqtts://127.0.0.1",
                                           "--mqtt-user",
                                           "press",
                                           "--mqtt-password-file",
                                           password};
    std::ofstream(config) << "port = /dev/null\nnodes = 1\nsocket = " << m_strSocket << "\n";
    const ProgramResult open = check(mqtt);
    EXPECT_EQ(open.nExit, 1);
    EXPECT_NE(open.strErr.find("readable by others"), std::string::npos) << open.strErr;
    EXPECT_EQ(open.strErr.find("secret"), std::string::npos);
    ::chmod(password.c_str(), 0600);
    const ProgramResult own = check(mqtt);
    EXPECT_EQ(own.nExit, 0) << own.strErr;
    const ProgramResult badUrl = check({"--config", config, "--mqtt", "http://broker"});
    EXPECT_EQ(badUrl.nExit, 1);
    EXPECT_NE(badUrl.strErr.find("--mqtt"), std::string::npos) << badUrl.strErr;
}

// systemd takes the unit file as it stands: every key known, the binary executable.
TEST(ZarndUnit, SystemdTakesTheUnitFile) {
    const std::string analyze = "/usr/bin/systemd-analyze";
    if (::access(analyze.c_str(), X_OK) != 0) {
        GTEST_SKIP() << "systemd-analyze is not installed";
    }
    char pattern[] = "/tmp/zarnd-unit-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    const std::string dir = pattern;
    std::ifstream in(ZARND_UNIT);
    std::stringstream text;
    text << in.rdbuf();
    std::string unit = text.str();
    ASSERT_NE(unit.find("ExecStart=/usr/sbin/zarnd "), std::string::npos);
    unit.replace(unit.find("/usr/sbin/zarnd"), std::strlen("/usr/sbin/zarnd"), ZARND_PATH);
    auto verify = [&](const std::string& body) {
        std::ofstream(dir + "/zarnd@.service") << body;
        std::filesystem::remove(dir + "/zarnd@line1.service");
        std::filesystem::create_symlink("zarnd@.service", dir + "/zarnd@line1.service");
        return RunProgram({analyze, "verify", "--man=no", dir + "/zarnd@line1.service"}, 60000);
    };
    // The check sees a key systemd does not know.
    const ProgramResult bogus = verify(unit + "[Service]\nNoSuchKey=1\n");
    EXPECT_NE(bogus.strErr.find("NoSuchKey"), std::string::npos) << bogus.strErr;
    const ProgramResult result = verify(unit);
    EXPECT_EQ(result.nExit, 0) << result.strErr;
    EXPECT_EQ(result.strErr, "");
    std::filesystem::remove_all(dir);
}

} // namespace
