#include "app/framework/MessageRecorder.h"
#include "app/graphs/CurveDoc.h"
#include "app/history/HistoryRecorder.h"
#include "app/network/FindAnalysersDlg.h"
#include "app/network/QuorvelDoc.h"
#include "app/network/QuorvelView.h"
#include "app/network/StationMonitor.h"
#include "app/shell/LineClient.h"
#include "app/shell/MainFrame.h"
#include "app/shell/QuorvelApp.h"
#include "app/shell/Registry.h"
#include "app/shell/Resource.h"
#include "app/stats/StatsDoc.h"
#include "app/stats/StatsView.h"
#include "history/HistoryQuery.h"
#include "history/HistoryStore.h"
#include "network/ZarnPacket.h"
#include "network/ZarnPort.h"
#include "sim/ZarnSimulator.h"
#include "tests/app/ShellTestSupport.h"
#include "tests/app/TempConfig.h"
#include "testsupport/ScriptedLine.h"

#include <QElapsedTimer>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>
#include <QTreeWidget>

#include <gtest/gtest.h>

#include <future>
#include <mutex>
#include <unistd.h>

namespace {

using LineState = CLineWorker::LineState;

// The program on a line of its own, reached through a link whose simulator can be stopped and
// started again; paced at the line's real byte time where a test must catch a download in the
// middle.
class ProgramLine : public ::testing::Test {
protected:
    void StartSim(bool bPace) {
        CZarnSimulator::Options options;
        options.nodes = {1, 2, 3, 4};
        options.strLink = m_strLink;
        options.bPace = bPace;
        options.nCrimpIntervalMs = 0;
        m_pSim = std::make_unique<CZarnSimulator>(options);
        std::string error;
        ASSERT_TRUE(m_pSim->Start(&error)) << error;
    }
    void StartApp(bool bPace = false) {
        ASSERT_NO_FATAL_FAILURE(StartSim(bPace));
        CCommandLineInfo info;
        info.m_bShowSplash = false;
        WriteRegDword(HKEY_LOCAL_MACHINE, REG_KEY_SETTINGS, "SweepPeriod", 0);
        m_app = std::make_unique<CQuorvelApp>(info, m_strLink);
        ASSERT_TRUE(m_app->InitInstance());
        ASSERT_NE(m_app->m_pLine, nullptr);
        // The windows stand at once; the port opens on the line.
        ASSERT_TRUE(WaitUntil([this] { return !m_app->m_pLine->IsOpening(); }));
        m_doc = static_cast<CQuorvelDoc*>(m_app->m_pNetTemplate->GetDocuments().front());
        m_view = static_cast<CQuorvelView*>(m_doc->GetFirstView());
    }
    void TearDown() override {
        m_app.reset();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        m_pSim.reset();
        ::unlink(m_strLink.c_str());
    }
    bool Idle() {
        return WaitUntil([this] { return m_app->m_pLine->IsIdle(); });
    }
    std::vector<CCurveDoc*> Curves() {
        std::vector<CCurveDoc*> curves;
        for (CDocument* doc : m_app->m_pCurveTemplate->GetDocuments()) {
            curves.push_back(static_cast<CCurveDoc*>(doc));
        }
        return curves;
    }
    void Group(std::initializer_list<int> nodes) {
        m_doc->GetGroup().clear();
        for (int node : nodes) {
            m_doc->GetGroup().push_back(m_doc->FindPress(node));
        }
    }
    QString StatusText() {
        auto* frame = static_cast<CMainFrame*>(m_app->m_pMainWnd);
        return frame->GetLineStatusPane()->isVisibleTo(frame) ? frame->GetLineStatusPane()->text()
                                                              : QString();
    }

    CTempConfig m_config;
    std::string m_strLink = m_config.Root() + "/line";
    CMessageRecorder m_messages;
    std::unique_ptr<CZarnSimulator> m_pSim;
    std::unique_ptr<CQuorvelApp> m_app;
    CQuorvelDoc* m_doc = nullptr;
    CQuorvelView* m_view = nullptr;
};

TEST_F(ProgramLine, CancelStopsACurveInTheMiddleAndTheRestOfAGroup) {
    ASSERT_NO_FATAL_FAILURE(StartApp(true));
    auto* frame = static_cast<CMainFrame*>(m_app->m_pMainWnd);

    // One curve: cancelled while its first exchange is on the line, it asks nothing more and
    // its window, never shown, goes without a word.
    const unsigned long before = m_pSim->RequestsServed();
    m_app->OpenCurveWindow(m_doc->FindPress(1));
    EXPECT_TRUE(StatusText().startsWith("Downloading force curve: Station 1 (node 1)"));
    ASSERT_TRUE(WaitUntil([&] { return m_pSim->RequestsServed() > before; }));
    ASSERT_TRUE(frame->GetCancelButton()->isVisibleTo(frame));
    frame->GetCancelButton()->click();
    ASSERT_TRUE(Idle());
    EXPECT_EQ(m_pSim->RequestsServed(), before + 1);
    EXPECT_TRUE(Curves().empty());
    EXPECT_EQ(m_messages.Count(), 0u);
    EXPECT_TRUE(StatusText().isEmpty());

    // A group: cancelled (by its key) once the first window is up, no further window opens.
    Group({1, 2, 3});
    m_view->RunOnGroup(2);
    ASSERT_TRUE(WaitUntil([&] { return !Curves().empty() && Curves()[0]->m_bHasData; }));
    EXPECT_TRUE(StatusText().startsWith("Group download: ")) << StatusText().toStdString();
    QTest::keyClick(m_view, Qt::Key_Escape, Qt::ShiftModifier);
    ASSERT_TRUE(Idle());
    ASSERT_TRUE(WaitUntil([&] { return Curves().size() == 1; }));
    EXPECT_EQ(Curves()[0]->m_nNodeID, 1);
    EXPECT_EQ(m_messages.Count(), 0u);
}

TEST_F(ProgramLine, GroupMessagesComeInStationOrderBeforeTheNextStationIsTried) {
    ASSERT_NO_FATAL_FAILURE(StartApp());
    // What one good curve costs on the line.
    unsigned long before = m_pSim->RequestsServed();
    m_app->OpenCurveWindow(m_doc->FindPress(4));
    ASSERT_TRUE(Idle());
    const unsigned long nCurve = m_pSim->RequestsServed() - before;
    ASSERT_GT(nCurve, 5u);

    m_pSim->SetFault(2, SimFault::wrongEnd);
    m_pSim->SetFault(3, SimFault::wrongEnd);
    unsigned long servedAtFirst = 0;
    m_messages.OnShow([&](const CMessageRecorder::Shown&) {
        if (servedAtFirst == 0) {
            servedAtFirst = m_pSim->RequestsServed();
        }
    });
    before = m_pSim->RequestsServed();
    Group({1, 2, 3, 4});
    m_view->RunOnGroup(2);
    ASSERT_TRUE(Idle());
    ASSERT_EQ(m_messages.Count(), 3u);
    EXPECT_NE(m_messages.Messages()[0].strText.find("Station 2"), std::string::npos);
    EXPECT_NE(m_messages.Messages()[1].strText.find("Station 3"), std::string::npos);
    // Then one summary of the whole group.
    EXPECT_EQ(m_messages.Messages()[2].strText,
              "Group download: 2 of 4 stations done.\n\nFailed:\n    Station 2 (node 2)\n    "
              "Station 3 (node 3)");
    // While the first message was up, station 3 had not been asked yet: station 1's
    // acknowledge and curve, station 2's acknowledge and its failed curve request.
    EXPECT_EQ(servedAtFirst - before, 1 + nCurve + 1 + 1);
    std::vector<int> nodes;
    for (CCurveDoc* doc : Curves()) {
        nodes.push_back(doc->m_nNodeID);
    }
    EXPECT_EQ(nodes, (std::vector<int>{4, 1, 4}));
}

TEST_F(ProgramLine, ALostLineIsSaidFailsAtOnceAndComesBackByItsName) {
    ASSERT_NO_FATAL_FAILURE(StartApp());
    auto* stats = static_cast<CStatsDoc*>(m_app->m_pStatsTemplate->GetDocuments().front());
    auto* statsView = static_cast<CStatsView*>(stats->GetFirstView());
    m_app->AddToStatistics(m_doc->FindPress(1), TRUE);
    m_app->AddToStatistics(m_doc->FindPress(2), TRUE);
    ASSERT_TRUE(Idle());
    ASSERT_EQ(stats->GetRows().GetCount(), 2);
    const CStationStatus& status = m_app->m_pMonitor->GetStatus();
    // What a reading says: it answers, in alarm or not.
    auto known = [&status](int node) {
        return status.GetState(node) == CStationStatus::State::answering ||
               status.GetState(node) == CStationStatus::State::alarm;
    };
    ASSERT_TRUE(known(1));

    m_pSim.reset(); // the device server goes away
    statsView->OnTimer(statsView->m_nTimerID);
    ASSERT_TRUE(WaitUntil([&] { return m_app->m_pLine->GetState() == LineState::lost; }));
    ASSERT_TRUE(Idle());
    EXPECT_EQ(StatusText().toStdString(), "Line lost: " + m_strLink + ", reconnecting");
    EXPECT_TRUE(stats->GetRows().IsStale(0));
    // No badge claims an answer while nothing can answer; the tool tip says since when.
    for (int node : {1, 2, 3}) {
        EXPECT_EQ(status.GetState(node), CStationStatus::State::lineLost) << node;
    }
    const std::string tip = status.Describe(*m_doc->FindPress(1));
    EXPECT_NE(tip.find("\nLine lost since "), std::string::npos) << tip;
    EXPECT_NE(tip.find("; last reading "), std::string::npos) << tip;
    EXPECT_EQ(tip.find("Answering"), std::string::npos) << tip;
    EXPECT_EQ(tip.find("Alarm"), std::string::npos) << tip;

    // Meanwhile a request fails at once, saying why, without advice about the analyser.
    const std::string lost = "The line is lost (" + m_strLink +
                             "). Requests fail until it is back; the program reopens it every 2 s.";
    QElapsedTimer clock;
    clock.start();
    m_app->OpenCurveWindow(m_doc->FindPress(3));
    ASSERT_TRUE(Idle());
    EXPECT_LT(clock.elapsed(), 1000);
    m_app->AddToStatistics(m_doc->FindPress(3), TRUE);
    ASSERT_TRUE(Idle());
    ASSERT_EQ(m_messages.Count(), 2u);
    EXPECT_EQ(m_messages.Messages()[0].strText, lost);
    EXPECT_EQ(m_messages.Messages()[1].strText, lost);
    // A group says it once in its summary, and names the stations it could not ask.
    Group({1, 2});
    m_view->RunOnGroup(0);
    ASSERT_TRUE(Idle());
    ASSERT_EQ(m_messages.Count(), 3u);
    EXPECT_EQ(m_messages.Messages()[2].strText,
              "Group reset: 0 of 2 stations done.\n\n" + lost +
                  "\n\nNot asked, the line was lost:\n    Station 1 (node 1)\n    Station 2 "
                  "(node 2)");

    // The same link name again: the program finds it by itself and polling goes on.
    ASSERT_NO_FATAL_FAILURE(StartSim(false));
    ASSERT_TRUE(WaitUntil([&] { return m_app->m_pLine->GetState() == LineState::open; }, 10000));
    EXPECT_TRUE(WaitUntil([&] { return StatusText().isEmpty(); }));
    EXPECT_EQ(status.GetState(1), CStationStatus::State::unknown);
    for (int i = 0; i < 2; ++i) {
        statsView->OnTimer(statsView->m_nTimerID);
        ASSERT_TRUE(Idle());
    }
    EXPECT_FALSE(stats->GetRows().IsStale(0));
    EXPECT_FALSE(stats->GetRows().IsStale(1));
    // The badges come back with the first answers.
    EXPECT_TRUE(known(1));
    EXPECT_TRUE(known(2));
}

TEST_F(ProgramLine, SerialPortSettingsWithTheSameNameReopensADeadPort) {
    ASSERT_NO_FATAL_FAILURE(StartApp());
    EXPECT_FALSE(m_app->ApplyPortChoice(m_strLink)); // a working port is left alone
    m_app->m_pLine->OpenPort("/nonexistent/line", nullptr);
    ASSERT_TRUE(Idle());
    ASSERT_EQ(m_app->m_pLine->GetState(), LineState::closed);
    EXPECT_TRUE(m_app->ApplyPortChoice("/nonexistent/line")); // dead: asked again, and refused
    ASSERT_TRUE(Idle());
    EXPECT_EQ(m_messages.Count(), 1u);
    EXPECT_TRUE(m_app->ApplyPortChoice(m_strLink));
    ASSERT_TRUE(Idle());
    EXPECT_EQ(m_app->m_pLine->GetState(), LineState::open);
    EXPECT_EQ(m_messages.Count(), 1u);
}

TEST_F(ProgramLine, AGroupNamesTheStationsCancelledOrDeletedUnderIt) {
    ASSERT_NO_FATAL_FAILURE(StartApp(true));
    // Cancelled while station 1's curve is on the line.
    Group({1, 2, 3});
    const unsigned long before = m_pSim->RequestsServed();
    m_view->RunOnGroup(2);
    ASSERT_TRUE(WaitUntil([&] { return m_pSim->RequestsServed() >= before + 2; }));
    m_app->m_pLine->CancelRunning();
    ASSERT_TRUE(Idle());
    ASSERT_EQ(m_messages.Count(), 1u);
    EXPECT_EQ(m_messages.Messages()[0].strText,
              "Group download (cancelled): 0 of 3 stations done.\n\nCancelled:\n    Station 1 "
              "(node 1)");

    // Station 2 deleted while the group waits for its answer, which never comes.
    m_pSim->SetFault(2, SimFault::silent);
    Group({1, 2, 3});
    m_view->RunOnGroup(0);
    ASSERT_TRUE(WaitUntil([&] { return StatusText() == "Group reset: 2 of 3"; }));
    m_doc->RemovePress(m_doc->FindPress(2));
    ASSERT_TRUE(Idle());
    ASSERT_EQ(m_messages.Count(), 2u);
    EXPECT_EQ(m_messages.Messages()[1].strText,
              "Group reset: 2 of 3 stations done.\n\nDeleted from the layout:\n    Station 2 "
              "(node 2)");
}

} // namespace

namespace {

// A line whose noise turns every request into "reset batch buffer" for node 2.
TEST(ProgramNoise, ARequestNoiseTurnedIntoAChangeNamesTheStationThatMayHaveObeyed) {
    CTempConfig config;
    CMessageRecorder messages;
    auto line = CScriptedLine::Create();
    auto registration = line->Register("NOISY-LINE");
    line->SetEcho(false);
    line->SetResponder([](CScriptedLine& l, const std::vector<std::uint8_t>&) {
        l.Feed({0xFF, 0x02, 0x05, 0x00, 0x00, 0x00, 0x07, 0x77});
    });
    WriteRegDword(HKEY_LOCAL_MACHINE, REG_KEY_SETTINGS, "SweepPeriod", 0);
    CCommandLineInfo info;
    info.m_bShowSplash = false;
    auto app = std::make_unique<CQuorvelApp>(info, "NOISY-LINE");
    ASSERT_TRUE(app->InitInstance());
    // Station 6's presence test ("ff 06 01 00 00 00 07 77" on the wire) is what was sent.
    auto op = app->m_pLine->BeginOperation("test");
    bool done = false;
    app->m_pLine->Post(
        app->m_pMainWnd, {[](CZarnPort& port) { return port.RequestACK(6) != 0; }},
        [&](const CLineClient::Result& result) {
            EXPECT_EQ(result.error, ZarnError::otherRequest);
            done = true;
            op->End();
        },
        op);
    ASSERT_TRUE(WaitUntil([&] { return done && app->m_pLine->IsIdle(); }));
    ASSERT_EQ(messages.Count(), 1u);
    EXPECT_EQ(messages.Messages()[0].strText,
              "Noise on the line turned a request into \"reset batch buffer for node 2\".\n\n"
              "Station 2 (node 2) may have carried it out. Check it before going on.");
    EXPECT_EQ(messages.Messages()[0].nType, MB_OK | MB_ICONEXCLAMATION);
    // The history keeps it as a change of station 2 that nobody acknowledged.
    ASSERT_NE(app->GetHistory(), nullptr);
    ASSERT_TRUE(app->GetHistory()->WaitIdle(20000));
    CHistoryQuery query;
    ASSERT_TRUE(query.Open(CHistoryStore::DefaultLocalPath())) << query.GetError();
    std::vector<CHistoryChangeEntry> changes;
    ASSERT_TRUE(query.Changes(CHistoryFilter(), changes));
    ASSERT_EQ(changes.size(), 1u);
    EXPECT_EQ(changes[0].m_station.m_nNodeID, 2);
    EXPECT_EQ(changes[0].m_change.m_parameter, CHistoryChange::Parameter::resetBatch);
    EXPECT_FALSE(changes[0].m_change.m_bOk);
    EXPECT_NE(changes[0].m_change.m_strError.find("noise"), std::string::npos);
    app.reset();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

} // namespace

namespace {

// Find Analysers on a scripted line where node 9's presence test waits for the test's word
// before it is answered, or before the device vanishes; no other node answers.
TEST(ProgramFindAnalysers, AnswersOfAStoppedSweepAreDropped) {
    using namespace std::chrono_literals;
    CTempConfig config;
    CMessageRecorder messages;
    auto line = CScriptedLine::Create();
    auto registration = line->Register("FIND-LINE");
    line->SetEcho(true);
    std::mutex mutex;
    std::vector<int> asked;
    std::promise<void> onLine[2], go[2];
    std::future<void> onLineFuture[2] = {onLine[0].get_future(), onLine[1].get_future()};
    std::future<void> goFuture[2] = {go[0].get_future(), go[1].get_future()};
    int nHeld = 0; // the line's thread only
    line->SetResponder([&](CScriptedLine& l, const std::vector<std::uint8_t>& bytes) {
        if (bytes.size() != 8 || bytes[2] != 0x01) {
            return;
        }
        {
            std::lock_guard lock(mutex);
            asked.push_back(bytes[1]);
        }
        if (bytes[1] != 9 || nHeld >= 2) {
            return;
        }
        const int n = nHeld++;
        onLine[n].set_value();
        if (goFuture[n].wait_for(10s) != std::future_status::ready) {
            return;
        }
        if (n == 0) {
            const COAXNWKPACKET reply = MakeZarnPacket(ZARN_CONTROLLER, ZARN_ACK, 9, 0);
            const auto* p = reinterpret_cast<const std::uint8_t*>(&reply);
            l.Feed(std::vector<std::uint8_t>(p, p + sizeof reply));
        } else {
            l.Vanish();
        }
    });
    WriteRegDword(HKEY_LOCAL_MACHINE, REG_KEY_SETTINGS, "SweepPeriod", 0);
    CCommandLineInfo info;
    info.m_bShowSplash = false;
    auto app = std::make_unique<CQuorvelApp>(info, "FIND-LINE");
    ASSERT_TRUE(app->InitInstance());
    auto dialog = std::make_unique<CFindAnalysersDlg>(nullptr, app->m_pLine);
    dialog->m_pTimeout->setValue(10);
    auto sweep = [&](int from, int to) {
        dialog->m_pFrom->setValue(from);
        dialog->m_pTo->setValue(to);
        dialog->Start();
    };

    // Stopped while node 9 is asked, and started again over other nodes before it answers.
    sweep(9, 9);
    ASSERT_EQ(onLineFuture[0].wait_for(10s), std::future_status::ready);
    dialog->Stop();
    sweep(11, 12);
    go[0].set_value();
    ASSERT_TRUE(WaitUntil([&] { return !dialog->IsRunning() && app->m_pLine->IsIdle(); }));
    EXPECT_TRUE(dialog->GetFound().empty());
    {
        std::lock_guard lock(mutex);
        EXPECT_EQ(asked, (std::vector<int>{9, 11, 12}));
    }

    // Stopped while node 9 is asked, and the line goes down under that request.
    sweep(9, 9);
    ASSERT_EQ(onLineFuture[1].wait_for(10s), std::future_status::ready);
    dialog->Stop();
    go[1].set_value();
    ASSERT_TRUE(WaitUntil(
        [&] { return app->m_pLine->GetState() == LineState::lost && app->m_pLine->IsIdle(); }));
    EXPECT_FALSE(dialog->IsRunning());
    EXPECT_TRUE(dialog->GetFound().empty());
    EXPECT_EQ(messages.Count(), 0u);
    dialog.reset();
    app.reset();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

} // namespace
