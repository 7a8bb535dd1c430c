// The program as a client of the line service (zarnd), beside scripts on the same line.

#include "app/history/HistoryRecorder.h"
#include "app/network/QuorvelDoc.h"
#include "app/network/QuorvelView.h"
#include "app/network/StationMonitor.h"
#include "app/shell/CommandLineInfo.h"
#include "app/shell/LineClient.h"
#include "app/shell/Registry.h"
#include "app/stats/StatsDoc.h"
#include "app/stats/StatsView.h"
#include "history/HistoryQuery.h"
#include "tests/app/SimulatedAppTest.h"
#include "testsupport/ChildProcess.h"

#include <QTest>

#include <nlohmann/json.hpp>

#include <atomic>
#include <csignal>
#include <filesystem>
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

class ServiceClient : public SimulatedAppTest {
protected:
    void SetUp() override {
        SimulatedAppTest::SetUp();
        // Apart from the program's own folder: another account may have to reach the socket.
        char pattern[] = "/tmp/zarnd-app-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        m_strDir = pattern;
        ::chmod(m_strDir.c_str(), 0755);
        m_strSocket = m_strDir + "/line.sock";
    }
    void TearDown() override {
        SimulatedAppTest::TearDown();
        if (m_service.Pid() > 0) {
            m_service.Signal(SIGTERM);
            EXPECT_EQ(m_service.Wait(20000), 0);
        }
        std::error_code error;
        std::filesystem::remove_all(m_strDir, error);
    }

    void StartService(std::vector<std::string> args) {
        std::vector<std::string> argv = {ZARND_PATH,  "--port",  s_sim->DevicePath(),
                                         "--history", History(), "--socket",
                                         m_strSocket, "--nodes", "1-3"};
        argv.insert(argv.end(), args.begin(), args.end());
        CChildProcess::Options options;
        options.strLog = m_strDir + "/zarnd.log";
        options.bPipeOut = false;
        ASSERT_TRUE(m_service.Start(argv, options)) << m_service.Error();
        ASSERT_TRUE(QTest::qWaitFor([&] { return std::filesystem::exists(m_strSocket); }, 20000));
    }
    // The program on the service's socket, as `quorvel --port zarnd://...` runs it.
    void StartProgram(unsigned nSweepSeconds = 0) {
        CCommandLineInfo info;
        info.m_bShowSplash = false;
        info.m_bPortGiven = true;
        info.m_strPort = "zarnd://" + m_strSocket;
        WriteRegDword(HKEY_LOCAL_MACHINE, REG_KEY_SETTINGS, "SweepPeriod", nSweepSeconds);
        m_app = std::make_unique<CQuorvelApp>(info);
        ASSERT_TRUE(m_app->InitInstance());
        ASSERT_TRUE(WaitForOpen());
    }
    bool WaitForOpen() {
        return QTest::qWaitFor([&] { return !m_app->m_pLine->IsOpening(); }, 30000) &&
               m_app->m_pLine->GetState() == CLineWorker::LineState::open;
    }
    std::string History() const { return m_strDir + "/history.db"; }
    std::size_t Readings(int nNodeID) {
        CHistoryQuery query;
        std::vector<CHistoryReading> readings;
        CHistoryFilter filter;
        filter.m_nNodeID = nNodeID;
        if (query.Open(History())) {
            query.Readings(filter, readings);
        }
        return readings.size();
    }
    CQuorvelDoc* Layout() {
        return static_cast<CQuorvelDoc*>(m_app->m_pNetTemplate->GetDocuments().front());
    }

    std::string m_strDir;
    std::string m_strSocket;
    CChildProcess m_service;
};

TEST_F(ServiceClient, TheStatisticsWindowReadsOnWhileTwoScriptsDownloadCurves) {
    ASSERT_NO_FATAL_FAILURE(StartService({"--poll", "1", "--sweep", "1"}));
    ASSERT_NO_FATAL_FAILURE(StartProgram());
    m_app->AddToStatistics(Layout()->FindPress(1), TRUE);
    m_app->AddToStatistics(Layout()->FindPress(2), TRUE);
    ASSERT_TRUE(WaitForLine());
    auto* stats = static_cast<CStatsDoc*>(m_app->m_pStatsTemplate->GetDocuments().front());
    auto* view = static_cast<CStatsView*>(stats->GetFirstView());
    ASSERT_EQ(stats->GetRows().GetCount(), 2);
    const std::size_t nPolledBefore = Readings(3);

    // Two zarnctl processes at once, each downloading 20 curves, while the window polls.
    std::atomic<int> nIntact{0};
    std::atomic<int> nRunning{2};
    auto download = [&](int node, std::vector<std::uint16_t> expected) {
        for (int i = 0; i < 20; ++i) {
            const ProgramResult run = RunProgram({ZARNCTL_PATH, "--port", "zarnd://" + m_strSocket,
                                                  "--json", "curve", std::to_string(node)});
            const auto json = nlohmann::json::parse(run.strOut, nullptr, false);
            bool bSame = run.nExit == 0 && !json.is_discarded() && json.contains("points") &&
                         json["points"].size() == expected.size();
            for (std::size_t k = 0; bSame && k < expected.size(); ++k) {
                bSame = json["points"][k][1] == (expected[k] & 0x0FFF);
            }
            nIntact += bSame ? 1 : 0;
        }
        --nRunning;
    };
    std::thread first(download, 1, State(1).curve);
    std::thread second(download, 2, State(2).curve);
    int nPolls = 0;
    int nStale = 0;
    while (nRunning > 0) {
        view->OnTimer(view->m_nTimerID);
        EXPECT_TRUE(WaitForLine());
        ++nPolls;
        for (int row = 0; row < stats->GetRows().GetCount(); ++row) {
            nStale += stats->GetRows().IsStale(row) ? 1 : 0;
        }
    }
    first.join();
    second.join();

    EXPECT_EQ(nIntact.load(), 40);
    EXPECT_GE(nPolls, 4);
    EXPECT_EQ(nStale, 0) << "a row went stale while the line was busy";
    EXPECT_EQ(m_messages.Count(), 0u) << m_messages.Messages().front().strText;
    // The service's own polling went on between them.
    EXPECT_TRUE(QTest::qWaitFor([&] { return Readings(3) >= nPolledBefore + 2; }, 20000));
}

TEST_F(ServiceClient, TheBadgesTakeWhatTheServiceKnowsAndAskOnlyForTheOtherStations) {
    s_sim->SetFault(2, SimFault::silent);
    ASSERT_NO_FATAL_FAILURE(StartService({"--poll", "1", "--sweep", "1"}));
    ASSERT_TRUE(QTest::qWaitFor([&] { return Readings(1) > 0 && Readings(3) > 0; }, 20000));
    ASSERT_NO_FATAL_FAILURE(StartProgram(60));
    CStationMonitor* monitor = m_app->m_pMonitor;
    ASSERT_NE(monitor, nullptr);
    const CStationStatus& status = monitor->GetStatus();
    // Each step takes the service's report; stations 4 to 12 it does not poll are asked here.
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
            monitor->SweepStep();
            WaitForLine();
            return status.GetState(1) != CStationStatus::State::unknown &&
                   status.GetState(2) == CStationStatus::State::silent &&
                   status.GetState(4) == CStationStatus::State::answering;
        },
        20000));
    // The service's reading is the program's too, for the tool tip and the alarm.
    ASSERT_NE(status.Find(3), nullptr);
    EXPECT_TRUE(status.Find(3)->bHasReading);
    EXPECT_EQ(m_app->GetHistoryReadTarget(), History());

    // The service's line lost is the layout's, and what it learns once back counts again.
    CZarndReport report;
    report.m_strHistory = History();
    const auto now = std::chrono::system_clock::now();
    monitor->NoteReport(report, now);
    EXPECT_TRUE(status.IsLineLost());
    report.m_bLineOpen = true;
    CZarndStation station;
    station.m_nNodeID = 1;
    station.m_presence = CZarndStation::Presence::silent;
    station.m_nAskedAgoMs = 5000;
    report.m_stations = {station};
    monitor->NoteReport(report, now + std::chrono::seconds(10));
    EXPECT_FALSE(status.IsLineLost());
    EXPECT_EQ(status.GetState(1), CStationStatus::State::silent);
    EXPECT_EQ(status.GetState(3), CStationStatus::State::unknown);
}

// Runs the program's next port opens as the account nobody, and back as root after.
class AsNobody {
public:
    AsNobody() {
        const passwd* nobody = ::getpwnam("nobody");
        const group* nogroup = ::getgrnam("nogroup");
        m_bOk = nobody != nullptr && nogroup != nullptr && ::setegid(nogroup->gr_gid) == 0 &&
                ::seteuid(nobody->pw_uid) == 0;
    }
    ~AsNobody() {
        EXPECT_EQ(::seteuid(0), 0);
        EXPECT_EQ(::setegid(0), 0);
    }
    bool Ok() const { return m_bOk; }

private:
    bool m_bOk = false;
};

TEST_F(ServiceClient, AChangeTheServiceRefusesIsAMessageNamingTheStation) {
    // The program's account may only read: as root it connects as nobody.
    const bool bRoot = ::geteuid() == 0;
    const passwd* self = ::getpwuid(::geteuid());
    ASSERT_NE(self, nullptr);
    const group* own = ::getgrgid(self->pw_gid);
    ASSERT_NE(own, nullptr);
    ASSERT_NO_FATAL_FAILURE(
        StartService({"--poll", "0", "--sweep", "0", "--group", bRoot ? "nogroup" : own->gr_name,
                      "--engineers", "zarn-no-such-group"}));
    ASSERT_NO_FATAL_FAILURE(StartProgram());
    std::string reader = self->pw_name;
    // The program's own files are opened before it turns into another account for a moment.
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return m_app->GetHistory()->GetStatus().m_state != CHistoryStatus::State::opening; },
        20000));
    if (bRoot) {
        AsNobody nobody;
        ASSERT_TRUE(nobody.Ok());
        // Another name of the same socket, so that the port is opened anew.
        ASSERT_TRUE(m_app->ApplyPortChoice("zarnd://" + m_strDir + "/./line.sock"));
        ASSERT_TRUE(WaitForOpen());
        reader = "nobody";
    }
    const unsigned long nResets = State(1).nResets;
    auto* view = static_cast<CQuorvelView*>(Layout()->GetFirstView());
    QTest::mouseClick(view, Qt::LeftButton, {}, QPoint(60, 60) - view->GetScrollPosition());
    ASSERT_EQ(view->GetCurPress(), Layout()->FindPress(1));
    m_messages.Answer(IDYES);
    view->OnResetBatch();
    ASSERT_TRUE(WaitForLine());
    std::string shown;
    for (const auto& message : m_messages.Messages()) {
        shown += message.strText + "\n---\n";
    }
    ASSERT_EQ(m_messages.Count(), 2u) << shown;
    // The question, then the refusal.
    EXPECT_EQ(m_messages.Messages()[1].strText,
              Layout()->FindPress(1)->GetName() +
                  " (node 1): refused by the line service: " + reader + " may only read.");
    EXPECT_EQ(State(1).nResets, nResets);
}

} // namespace
