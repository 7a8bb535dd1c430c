#include "app/framework/MDIFrameWnd.h"
#include "app/graphs/CurveDoc.h"
#include "app/network/FindAnalysersDlg.h"
#include "app/network/PressPropertiesDlg.h"
#include "app/network/QuorvelDoc.h"
#include "app/network/QuorvelView.h"
#include "app/network/StationMonitor.h"
#include "app/shell/QuorvelApp.h"
#include "app/shell/Registry.h"
#include "app/shell/Resource.h"
#include "app/stats/StatsDoc.h"
#include "sim/ZarnSimulator.h"
#include "tests/app/PrivateDisplay.h"
#include "tests/app/ShellTestSupport.h"
#include "tests/app/SimulatedAppTest.h"
#include "tests/app/TempConfig.h"

#include <QApplication>
#include <QImage>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QToolTip>
#include <filesystem>

#include <csignal>
#include <fstream>

namespace {

// The program started for each test, with its layout window.
class NetworkView : public SimulatedAppTest {
protected:
    void SetUp() override {
        SimulatedAppTest::SetUp();
        ASSERT_NO_FATAL_FAILURE(StartApp());
        ASSERT_NE(m_app->m_pNetTemplate, nullptr);
        ASSERT_EQ(m_app->m_pNetTemplate->GetDocuments().size(), 1u);
        m_doc = static_cast<CQuorvelDoc*>(m_app->m_pNetTemplate->GetDocuments().front());
        m_view = static_cast<CQuorvelView*>(m_doc->GetFirstView());
        ASSERT_NE(m_view, nullptr);
        QApplication::processEvents();
    }
    void TearDown() override {
        CQuorvelView::s_chooseBackground = m_savedChooser;
        SimulatedAppTest::TearDown();
    }

    CPress* Station(std::size_t i) { return m_doc->GetPresses().at(i).get(); }
    // A window point over a layout point, with the view's scroll position.
    QPoint At(int x, int y) { return QPoint(x, y) - m_view->GetScrollPosition(); }
    void Band(QPoint from, QPoint to) {
        QTest::mousePress(m_view, Qt::LeftButton, {}, from);
        QTest::mouseMove(m_view, (from + to) / 2);
        QTest::mouseMove(m_view, to);
        QTest::mouseRelease(m_view, Qt::LeftButton, {}, to);
    }
    // Right-clicks and closes whatever menu opens; the menu's number.
    UINT RightClick(QPoint at) {
        QTimer::singleShot(50, [] {
            if (QWidget* popup = QApplication::activePopupWidget()) {
                popup->close();
            }
        });
        QTest::mousePress(m_view, Qt::RightButton, {}, at);
        QTest::mouseRelease(m_view, Qt::RightButton, {}, at);
        return m_view->GetLastMenu();
    }
    std::string WriteBitmap(int w, int h) {
        std::string path = m_config.WorkDir() + "/floor.bmp";
        QImage image(w, h, QImage::Format_Indexed8);
        image.setColorCount(2);
        image.setColor(0, qRgb(230, 230, 210));
        image.setColor(1, qRgb(40, 40, 40));
        image.fill(0);
        EXPECT_TRUE(image.save(QString::fromStdString(path), "BMP"));
        return path;
    }

    CQuorvelDoc* m_doc = nullptr;
    CQuorvelView* m_view = nullptr;
    std::function<std::string(const std::string&)> m_savedChooser =
        CQuorvelView::s_chooseBackground;
};

TEST_F(NetworkView, StartsWithTheDefaultLayoutAndWritesItAtExit) {
    EXPECT_EQ(m_doc->GetTitle(), "Press Stations");
    EXPECT_EQ(m_doc->GetPresses().size(), 12u);
    EXPECT_EQ(m_view->GetTotalSize(), QSize(500, 500));
    EXPECT_FALSE(m_view->HasBackground());
    // The layout window refuses to close, and the file commands never save it.
    EXPECT_FALSE(m_doc->CanCloseFrame(nullptr));
    EXPECT_FALSE(Enabled(ID_FILE_SAVE));
    Station(0)->SetName("Kept");
    m_app.reset();
    std::ifstream file(m_config.WorkDir() + "/pressinfo.vlm", std::ios::binary);
    ASSERT_TRUE(file.good());
    std::vector<char> bytes((std::istreambuf_iterator<char>(file)), {});
    ASSERT_GT(bytes.size(), 4u);
    EXPECT_EQ(bytes[0], 12);
    EXPECT_NE(std::string(bytes.begin(), bytes.end()).find("Kept"), std::string::npos);
}

TEST_F(NetworkView, OpensCascadedBelowTheWindowBeforeIt) {
    // Each new child window stands one title bar lower and further right than the one before.
    QWidget* frame = m_view->parentWidget();
    while (frame != nullptr && qobject_cast<QMdiSubWindow*>(frame) == nullptr) {
        frame = frame->parentWidget();
    }
    ASSERT_NE(frame, nullptr);
    const QList<QMdiSubWindow*> windows =
        qobject_cast<QMdiSubWindow*>(frame)->mdiArea()->subWindowList();
    ASSERT_GE(windows.size(), 1);
    const int index = static_cast<int>(windows.indexOf(static_cast<QMdiSubWindow*>(frame)));
    EXPECT_EQ(frame->pos().x(), frame->pos().y());
    if (index > 0) {
        EXPECT_GT(frame->pos().x(), windows[index - 1]->pos().x());
    } else {
        EXPECT_EQ(frame->pos(), QPoint(0, 0));
    }
}

TEST_F(NetworkView, OverlappingStationsAndRubberBands) {
    CPress* over = m_doc->AddNewPress();
    over->MoveTo({60, 60}); // over Station 1 at (50, 50)
    QTest::mouseClick(m_view, Qt::LeftButton, {}, At(70, 70));
    EXPECT_EQ(m_view->GetCurPress(), over);
    EXPECT_TRUE(Station(0)->IsSelected());
    EXPECT_TRUE(over->IsSelected());

    // A band over one station: an ordinary selection, and its right click is the station menu.
    Band(At(175, 40), At(215, 90));
    EXPECT_EQ(m_view->GetGroupCount(), 0u);
    EXPECT_EQ(m_view->GetCurPress(), Station(4));
    EXPECT_EQ(m_doc->GetGroup().size(), 1u);
    EXPECT_EQ(RightClick(At(180, 60)), IDR_STATION_MENU);

    // A band over three: group mode, which a click on a station does not end.
    Band(At(40, 40), At(180, 90));
    EXPECT_EQ(m_view->GetGroupCount(), 4u); // stations 1, 2, 3 and the new one
    QTest::mouseClick(m_view, Qt::LeftButton, {}, At(120, 60));
    EXPECT_EQ(m_view->GetCurPress(), Station(2));
    EXPECT_EQ(m_view->GetGroupCount(), 4u);
    EXPECT_EQ(RightClick(At(120, 60)), IDR_GROUP_MENU);
    EXPECT_FALSE(Enabled(ID_EDIT_PROPERTIES));

    // A click on the background ends it; its right click offers the background menu.
    QTest::mouseClick(m_view, Qt::LeftButton, {}, At(20, 400));
    EXPECT_EQ(m_view->GetGroupCount(), 0u);
    EXPECT_EQ(m_view->GetCurPress(), nullptr);
    EXPECT_EQ(RightClick(At(20, 400)), IDR_BACKGROUND_MENU);
    EXPECT_TRUE(Enabled(ID_EDIT_PROPERTIES));
    // Downloads and statistics wait for their windows.
    EXPECT_EQ(Enabled(ID_DOWNLOAD_CURVE), m_app->m_pCurveTemplate != nullptr);
    EXPECT_EQ(Enabled(ID_ADD_TO_STATISTICS), m_app->m_pStatsTemplate != nullptr);
}

TEST_F(NetworkView, BackgroundPictureSetsTheExtentAndDraggingWorksScrolled) {
    const std::string bmp = WriteBitmap(1024, 768);
    std::string askedIn;
    CQuorvelView::s_chooseBackground = [&](const std::string& folder) {
        askedIn = folder;
        return bmp;
    };
    m_view->OnSetBackground();
    EXPECT_TRUE(m_view->HasBackground());
    EXPECT_EQ(m_view->GetTotalSize(), QSize(1024, 768));
    std::string stored;
    ReadRegString(HKEY_LOCAL_MACHINE, REG_KEY_SETTINGS, "Image", stored);
    EXPECT_EQ(stored, bmp);
    EXPECT_EQ(askedIn, QCoreApplication::applicationDirPath().toStdString());

    // Scrolled by (100, 40): releasing at window point (10, 10) puts the station at (110, 50).
    m_view->ScrollToPosition(QPoint(100, 40));
    ASSERT_EQ(m_view->GetScrollPosition(), QPoint(100, 40));
    CPress* s = Station(4); // at (178, 50)
    QTest::mousePress(m_view, Qt::LeftButton, {}, At(190, 60));
    QTest::mouseMove(m_view, QPoint(40, 30));
    EXPECT_TRUE(m_view->IsDragging());
    QTest::mouseRelease(m_view, Qt::LeftButton, {}, QPoint(10, 10));
    EXPECT_EQ(s->GetRect(), (CRect{110, 50, 142, 82}));

    // Pressing and releasing without moving leaves a station where it is.
    QTest::mouseClick(m_view, Qt::LeftButton, {}, At(120, 60));
    EXPECT_EQ(s->GetPosition(), (CPoint{110, 50}));

    // A picture that cannot be loaded: none from now on, the extent as it was.
    CQuorvelView::s_chooseBackground = [&](const std::string& folder) {
        askedIn = folder;
        return m_config.WorkDir() + "/missing.bmp";
    };
    m_view->OnSetBackground();
    EXPECT_EQ(askedIn, m_config.WorkDir());
    EXPECT_FALSE(m_view->HasBackground());
    EXPECT_EQ(m_view->GetTotalSize(), QSize(1024, 768));
    // Cancelling the choice changes nothing.
    CQuorvelView::s_chooseBackground = [](const std::string&) { return std::string(); };
    m_view->OnSetBackground();
    ReadRegString(HKEY_LOCAL_MACHINE, REG_KEY_SETTINGS, "Image", stored);
    EXPECT_EQ(stored, m_config.WorkDir() + "/missing.bmp");
}

TEST_F(NetworkView, ToolTipsNameTheStationAndWhatIsKnownOfIt) {
    auto tip = [this](int x, int y) {
        QHelpEvent over(QEvent::ToolTip, At(x, y), m_view->mapToGlobal(At(x, y)));
        QApplication::sendEvent(m_view, &over);
        EXPECT_TRUE(over.isAccepted());
        return QToolTip::text().toStdString();
    };
    // Headings with nothing after them are left out.
    EXPECT_EQ(tip(60, 60), "Station 1\nNode 1\nNot yet known");
    // The sweep asks the stations in turn, one each step: one answers, one is silent.
    s_sim->SetFault(2, SimFault::silent);
    CStationMonitor* monitor = m_app->m_pMonitor;
    ASSERT_NE(monitor, nullptr);
    using State = CStationStatus::State;
    for (std::size_t i = 0; i < m_doc->GetPresses().size(); ++i) {
        EXPECT_EQ(monitor->GetStatus().GetState(Station(i)->GetNodeID()), State::unknown);
        monitor->SweepStep();
        ASSERT_TRUE(WaitForLine());
    }
    EXPECT_EQ(monitor->GetStatus().GetState(1), State::answering);
    EXPECT_EQ(monitor->GetStatus().GetState(2), State::silent);
    EXPECT_NE(tip(60, 60).find("\nAnswering"), std::string::npos);
    // A reading below the Cpk threshold puts it in alarm, with the reading in its tool tip.
    CStats poor;
    poor.m_nGood = 99;
    poor.m_nBad = 1;
    poor.m_fCp = 1.5f;
    poor.m_fCpk = 1.2f;
    monitor->NoteReading(1, &poor);
    EXPECT_EQ(monitor->GetStatus().GetState(1), State::alarm);
    EXPECT_NE(tip(60, 60).find("99 good, 1 bad (1.0%), Cp 1.5, Cpk 1.2"), std::string::npos);
    // Asking does not select.
    EXPECT_FALSE(Station(0)->IsSelected());
    EXPECT_EQ(m_view->GetCurPress(), nullptr);
    QHelpEvent away(QEvent::ToolTip, At(20, 400), m_view->mapToGlobal(At(20, 400)));
    QApplication::sendEvent(m_view, &away);
    EXPECT_FALSE(away.isAccepted());
}

TEST_F(NetworkView, DoubleClickOpensPropertiesAndOkStoresTheValues) {
    SimAnalyserState state = State(3);
    state.nBLO = 88;
    s_sim->SetState(3, state);
    bool shown = false;
    WhenModal<CPressPropertiesDlg>([&](CPressPropertiesDlg* dlg) {
        shown = true;
        ASSERT_TRUE(WaitUntil([dlg] { return dlg->GetRunning() == 0; }));
        auto* blo = qobject_cast<QLineEdit*>(dlg->GetControl(CPressPropertiesDlg::IDC_BLO));
        EXPECT_EQ(blo->text(), "88");
        EXPECT_TRUE(blo->isEnabled());
        auto* name = qobject_cast<QLineEdit*>(dlg->GetControl(CPressPropertiesDlg::IDC_STATION_ID));
        name->setText("Press 3 (left)");
        dlg->accept();
    });
    // As the platform delivers it: a click, then the double-click in place of the second press.
    QTest::mouseClick(m_view, Qt::LeftButton, {}, At(190, 60)); // Station 3 at (178, 50)
    QTest::mouseDClick(m_view, Qt::LeftButton, {}, At(190, 60));
    EXPECT_TRUE(shown);
    EXPECT_EQ(Station(4)->GetName(), "Press 3 (left)");
    EXPECT_EQ(Station(4)->GetBLO(), 88);

    // Cancel keeps the station as it was. The node arrows step within 1 to 254 even from a
    // typed value at the ends of the integer range.
    WhenModal<CPressPropertiesDlg>([&](CPressPropertiesDlg* dlg) {
        auto* name = qobject_cast<QLineEdit*>(dlg->GetControl(CPressPropertiesDlg::IDC_STATION_ID));
        name->setText("Changed");
        auto* node = qobject_cast<QLineEdit*>(dlg->GetControl(CPressPropertiesDlg::IDC_NODE_ID));
        QWidget* arrows = dlg->GetControl(CPressPropertiesDlg::IDC_NODE_SPIN);
        node->setText("2147483647");
        arrows->findChild<QToolButton*>(QStringLiteral("up"))->click();
        EXPECT_EQ(node->text(), "254");
        node->setText("-2147483648");
        arrows->findChild<QToolButton*>(QStringLiteral("down"))->click();
        EXPECT_EQ(node->text(), "1");
        node->setText("7");
        arrows->findChild<QToolButton*>(QStringLiteral("up"))->click();
        EXPECT_EQ(node->text(), "8");
        dlg->reject();
    });
    m_view->EditProperties(Station(4));
    EXPECT_EQ(Station(4)->GetName(), "Press 3 (left)");

    // A double-click on the background opens nothing.
    QTest::mouseClick(m_view, Qt::LeftButton, {}, At(20, 400));
    QTest::mouseDClick(m_view, Qt::LeftButton, {}, At(20, 400));
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

TEST_F(NetworkView, AddAndDeletePress) {
    m_view->OnAddNewPress();
    m_view->OnAddNewPress();
    ASSERT_EQ(m_doc->GetPresses().size(), 14u);
    EXPECT_EQ(Station(13)->GetName(), "New Station");
    EXPECT_EQ(Station(13)->GetNodeID(), 254);
    EXPECT_EQ(Station(13)->GetRect(), (CRect{25, 25, 57, 57}));
    EXPECT_EQ(m_view->GetCurPress(), nullptr);
    // The later one is drawn over the earlier, so a click picks it.
    QTest::mouseClick(m_view, Qt::LeftButton, {}, At(30, 30));
    EXPECT_EQ(m_view->GetCurPress(), Station(13));

    m_messages.Answer(IDNO);
    m_view->OnDeletePress();
    EXPECT_EQ(m_doc->GetPresses().size(), 14u);
    ASSERT_EQ(m_messages.Count(), 1u);
    EXPECT_EQ(m_messages.Messages()[0].strText, "Are you sure?");
    EXPECT_EQ(m_messages.Messages()[0].nType, MB_YESNO | MB_ICONEXCLAMATION);

    m_messages.Answer(IDYES);
    m_view->OnDeletePress();
    EXPECT_EQ(m_doc->GetPresses().size(), 13u);
    EXPECT_EQ(m_view->GetCurPress(), nullptr);
    QTest::mouseDClick(m_view, Qt::LeftButton, {}, At(30, 30));
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

TEST_F(NetworkView, ResetAndNewReferenceAskFirstAndReportFailures) {
    QTest::mouseClick(m_view, Qt::LeftButton, {}, At(60, 60)); // Station 1
    const unsigned long before = s_sim->RequestsServed();
    m_messages.Answer(IDNO);
    m_view->OnResetBatch();
    EXPECT_EQ(s_sim->RequestsServed(), before);
    // The question first, then the station it would go to; No is the default.
    EXPECT_EQ(m_messages.Messages().back().nType, MB_YESNO | MB_ICONEXCLAMATION | MB_DEFBUTTON2);
    EXPECT_EQ(m_messages.Messages().back().strText,
              "About to reset batch buffer on selected Zarn's\nAll batch data will be cleared from "
              "the Zarn !!!\nAre you sure ?\n\nStations:\n    Station 1 (node 1)");

    const unsigned resets = State(1).nResets;
    m_view->OnResetBatch(); // answered Yes
    ASSERT_TRUE(WaitForLine());
    EXPECT_EQ(State(1).nResets, resets + 1);
    EXPECT_EQ(m_messages.Count(), 2u);

    s_sim->SetFault(1, SimFault::silent);
    m_view->OnNewReference();
    ASSERT_TRUE(WaitForLine());
    ASSERT_EQ(m_messages.Count(), 4u);
    EXPECT_EQ(m_messages.Messages()[3].strText, "An error occured requesting new reference");
    EXPECT_EQ(m_messages.Messages()[3].nType, MB_OK | MB_ICONSTOP);
}

TEST_F(NetworkView, GroupCommandsSkipASilentStationAndSayWhichAtTheEnd) {
    // Stations 1, 2 and 3 of the top row, in list order 1, 2, 3 (nodes 1, 2, 3).
    Band(At(40, 40), At(200, 70));
    ASSERT_EQ(m_view->GetGroupCount(), 3u);
    ASSERT_EQ(m_doc->GetGroup().size(), 3u);
    // A click highlights one station; the whole group stays marked, as the commands act on it.
    QTest::mouseClick(m_view, Qt::LeftButton, {}, At(60, 60));
    ASSERT_NE(m_view->GetGroupCount(), 0u);
    EXPECT_TRUE(Station(0)->IsSelected());
    for (CPress* press : m_doc->GetGroup()) {
        EXPECT_TRUE(m_view->IsMarkedInGroup(press));
        EXPECT_EQ(press->IsSelected(), press == Station(0));
    }
    EXPECT_FALSE(m_view->IsMarkedInGroup(Station(5)));
    s_sim->SetFault(2, SimFault::silent);
    const unsigned r1 = State(1).nResets, r2 = State(2).nResets, r3 = State(3).nResets;
    m_view->OnResetBatch();
    ASSERT_TRUE(WaitForLine());
    EXPECT_EQ(State(1).nResets, r1 + 1);
    EXPECT_EQ(State(2).nResets, r2);
    EXPECT_EQ(State(3).nResets, r3 + 1);
    // The question names the group; one summary at the end names the station left out.
    ASSERT_EQ(m_messages.Count(), 2u);
    EXPECT_NE(
        m_messages.Messages()[0].strText.find(
            "Stations:\n    Station 1 (node 1)\n    Station 2 (node 2)\n    Station 3 (node 3)"),
        std::string::npos);
    EXPECT_EQ(m_messages.Messages()[1].strText,
              "Group reset: 2 of 3 stations done.\n\nDid not answer:\n    Station 2 (node 2)");

    const unsigned n1 = State(1).nNewReferences, n3 = State(3).nNewReferences;
    m_view->OnNewReference();
    ASSERT_TRUE(WaitForLine());
    EXPECT_EQ(State(1).nNewReferences, n1 + 1);
    EXPECT_EQ(State(3).nNewReferences, n3 + 1);
    EXPECT_EQ(m_messages.Count(), 4u);
}

TEST_F(NetworkView, AGroupCommandDoneEverywhereIsConfirmedInTheStatusBarAndItsRowsAreRead) {
    auto* stats = static_cast<CStatsDoc*>(m_app->m_pStatsTemplate->GetDocuments().front());
    for (int node : {1, 2, 3}) {
        m_app->AddToStatistics(m_doc->FindPress(node), TRUE);
    }
    ASSERT_TRUE(WaitForLine());
    ASSERT_EQ(stats->GetRows().GetCount(), 3);
    std::vector<CStatsList::Time> before;
    for (int row = 0; row < 3; ++row) {
        before.push_back(stats->GetRows().GetReadingTime(row));
    }
    Band(At(40, 40), At(200, 70)); // stations 1, 2 and 3
    ASSERT_EQ(m_view->GetGroupCount(), 3u);
    m_messages.Clear();
    m_view->OnResetBatch(); // answered Yes
    ASSERT_TRUE(WaitForLine());
    // The question only: success needs no message to close.
    EXPECT_EQ(m_messages.Count(), 1u);
    EXPECT_EQ(m_app->m_pMainWnd->GetMessageText(), "Group reset: 3 of 3 stations done.");
    for (int row = 0; row < 3; ++row) {
        EXPECT_GT(stats->GetRows().GetReadingTime(row), before[static_cast<std::size_t>(row)]);
    }
    // It goes after a few seconds.
    EXPECT_TRUE(WaitUntil(
        [&] { return m_app->m_pMainWnd->GetMessageText() != "Group reset: 3 of 3 stations done."; },
        10000));
}

TEST_F(NetworkView, GroupDownloadsAndStatisticsReachOnlyTheAnsweringStations) {
    ASSERT_NE(m_app->m_pCurveTemplate, nullptr);
    ASSERT_NE(m_app->m_pStatsTemplate, nullptr);
    Band(At(40, 40), At(200, 70)); // stations 1, 2 and 3
    ASSERT_EQ(m_view->GetGroupCount(), 3u);
    s_sim->SetFault(2, SimFault::silent);

    m_view->OnDownloadCurve();
    ASSERT_TRUE(WaitForLine());
    std::vector<int> nodes;
    for (CDocument* doc : m_app->m_pCurveTemplate->GetDocuments()) {
        nodes.push_back(static_cast<CCurveDoc*>(doc)->m_nNodeID);
    }
    EXPECT_EQ(nodes, (std::vector<int>{1, 3})); // one window per answering station, in order

    m_view->OnAddToStatistics();
    ASSERT_TRUE(WaitForLine());
    ASSERT_EQ(m_app->m_pStatsTemplate->GetDocuments().size(), 1u);
    auto* stats = static_cast<CStatsDoc*>(m_app->m_pStatsTemplate->GetDocuments().front());
    EXPECT_EQ(stats->GetRows().GetNodeIDs(), (std::vector<std::int32_t>{1, 3}));
    // The silent one gets no message of its own, only a line in each summary.
    ASSERT_EQ(m_messages.Count(), 2u);
    EXPECT_NE(m_messages.Messages()[1].strText.find("Did not answer:\n    Station 2 (node 2)"),
              std::string::npos);
}

TEST(NetworkProgram, EndingOnSigtermWritesTheStationFile) {
    CPrivateDisplay display;
    if (!display.IsInstalled()) {
        GTEST_SKIP() << display.Error();
    }
    ASSERT_TRUE(display.IsReady()) << display.Error();
    CTempConfig config;
    CChildProcess program;
    CChildProcess::Options options;
    options.env = {"QT_QPA_PLATFORM=xcb", "DISPLAY=" + display.Name(),
                   "XDG_CONFIG_HOME=" + config.ConfigHome()};
    options.strDir = config.WorkDir();
    options.bPipeOut = false;
    ASSERT_TRUE(program.Start({QUORVEL_BINARY, "--simulate", "--no-splash"}, options));
    // The layout stands: there is a station document to write.
    ASSERT_TRUE(display.WaitForWindow("Zarn Network Controller - Press Stations", 30000));
    ASSERT_FALSE(std::filesystem::exists(config.WorkDir() + "/pressinfo.vlm"));
    program.Signal(SIGTERM);
    ASSERT_EQ(program.Wait(30000), 0);
    std::ifstream file(config.WorkDir() + "/pressinfo.vlm", std::ios::binary);
    ASSERT_TRUE(file.good());
    EXPECT_EQ(file.get(), 12);
}

} // namespace

namespace {

TEST_F(NetworkView, FindAnalysersListsTheAnsweringNodesAndAddsTheNewOnes) {
    m_doc->RemovePress(m_doc->FindPress(5));
    CFindAnalysersDlg dialog(m_doc, m_app->m_pLine);
    dialog.m_pFrom->setValue(1);
    dialog.m_pTo->setValue(14);
    dialog.Start();
    ASSERT_TRUE(dialog.IsRunning());
    ASSERT_TRUE(WaitUntil([&] { return !dialog.IsRunning(); }));
    EXPECT_EQ(dialog.GetFound(), (std::vector<int>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}));
    EXPECT_EQ(CFindAnalysersDlg::NewNodes(dialog.GetFound(), *m_doc), std::vector<int>{5});
    ASSERT_TRUE(dialog.m_pAdd->isEnabled());
    EXPECT_EQ(dialog.AddNewStations(), 1); // answered Yes
    ASSERT_NE(m_doc->FindPress(5), nullptr);
    EXPECT_EQ(m_doc->FindPress(5)->GetName(), "Station 5");
    EXPECT_TRUE(CFindAnalysersDlg::NewNodes(dialog.GetFound(), *m_doc).empty());
    EXPECT_FALSE(dialog.m_pAdd->isEnabled());
}

} // namespace
