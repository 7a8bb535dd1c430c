#include "app/framework/DocTemplate.h"
#include "app/framework/LockKeys.h"
#include "app/framework/MDIChildWnd.h"
#include "app/framework/MDIFrameWnd.h"
#include "app/shell/AboutBox.h"
#include "app/shell/LineClient.h"
#include "app/shell/LogoClientWnd.h"
#include "app/shell/MainFrame.h"
#include "app/shell/Registry.h"
#include "app/shell/Resource.h"
#include "app/shell/StartupSplash.h"
#include "network/ZarnPort.h"
#include "tests/app/PrivateDisplay.h"
#include "tests/app/ShellTestSupport.h"
#include "tests/serial/LoopbackListener.h"

#include <QAction>
#include <QFileDialog>
#include <QLabel>
#include <QMdiArea>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QStatusTipEvent>
#include <QTest>
#include <QToolBar>

#include <csignal>
#include <fstream>
#include <iterator>
#include <optional>

namespace {

std::vector<std::string> Texts(const QList<QAction*>& actions) {
    std::vector<std::string> texts;
    for (QAction* a : actions) {
        texts.push_back(a->isSeparator() ? "-" : a->text().toStdString());
    }
    return texts;
}

DWORD StoredDword(const char* key, const char* value) {
    DWORD dw = 0xDEADBEEF;
    ReadRegDword(HKEY_CURRENT_USER, key, value, &dw);
    return dw;
}

class StartupTest : public ShellTestBase {
protected:
    StartupTest() : ShellTestBase(true) {}

    // The application started as the program starts it.
    std::unique_ptr<CQuorvelApp> Start(const CCommandLineInfo& info = NoSplash()) {
        auto app = MakeApp(info);
        EXPECT_TRUE(app->InitInstance());
        return app;
    }

    static CDocument* OnlyDocument(CMultiDocTemplate* pTemplate) {
        return pTemplate != nullptr && pTemplate->GetDocuments().size() == 1
                   ? pTemplate->GetDocuments().front()
                   : nullptr;
    }
};

TEST_F(StartupTest, TheStandingWindowsOpenStatisticsFirstAndThePortAgain) {
    StorePort("LINE-A");
    auto app = Start();
    ASSERT_NE(app->m_pMainWnd, nullptr);
    EXPECT_TRUE(app->m_pMainWnd->isVisible());
    ASSERT_NE(app->m_pCurveTemplate, nullptr);
    EXPECT_EQ(app->GetDocManager().GetTemplates().at(0)->GetResourceID(), IDR_CURVETYPE);
    EXPECT_EQ(app->GetDocManager().GetTemplates().at(1)->GetResourceID(), IDR_NETWORKTYPE);
    EXPECT_EQ(app->GetDocManager().GetTemplates().at(2)->GetResourceID(), IDR_BATCHTYPE);
    EXPECT_EQ(app->GetDocManager().GetTemplates().at(3)->GetResourceID(), IDR_STATSTYPE);

    CDocument* stats = OnlyDocument(app->m_pStatsTemplate);
    CDocument* network = OnlyDocument(app->m_pNetTemplate);
    ASSERT_NE(stats, nullptr);
    ASSERT_NE(network, nullptr);
    EXPECT_EQ(stats->GetPathName(), m_config.WorkDir() + "/statswnd.vlm");
    EXPECT_EQ(network->GetTitle(), "Press Stations");
    ASSERT_NE(app->m_pStatsFrame, nullptr);
    EXPECT_EQ(app->m_pStatsFrame, stats->GetFirstView()->GetParentFrame());
    EXPECT_EQ(app->m_pStatsFrame->GetWindow()->size(), QSize(660, 200));
    // Opened last, the network window is the active one, and its menu is shown.
    CMDIChildWnd* active = app->m_pMainWnd->MDIGetActive();
    ASSERT_NE(active, nullptr);
    EXPECT_EQ(active->GetActiveDocument(), network);
    EXPECT_EQ(active->size(), QSize(500, 300));
    EXPECT_EQ(app->m_pMainWnd->GetMenuID(), IDR_NETWORKTYPE);
    EXPECT_EQ(Texts(app->m_pMainWnd->menuBar()->actions()),
              (std::vector<std::string>{"&File", "&View", "&Window", "&Help"}));
    // The port is opened once, by the line.
    ASSERT_TRUE(WaitUntil([&] { return app->m_pLine->IsIdle(); }));
    EXPECT_EQ(m_lineA->OpenCount(), 1u);
    EXPECT_TRUE(m_lineA->IsOpen());
    EXPECT_EQ(m_messages.Count(), 0u);
    // The statistics window is not a file the operator opens again.
    EXPECT_EQ(app->GetRecentFileList()->GetCount(), 0);
}

TEST_F(StartupTest, APortThatCannotOpenAtStartUpIsReportedAndTheProgramRunsOn) {
    StorePort("/dev/quorvel-no-such-port");
    auto app = Start();
    ASSERT_TRUE(WaitUntil([&] { return app->m_pLine->IsIdle(); }));
    ASSERT_EQ(m_messages.Count(), 1u);
    EXPECT_EQ(m_messages.Messages()[0].strText,
              "The serial port could not be opened.\nIt may be in use by another application.");
    EXPECT_EQ(m_messages.Messages()[0].nType, MB_OK | MB_ICONSTOP);
    EXPECT_TRUE(app->m_pMainWnd->isVisible());
}

TEST_F(StartupTest, ASilentDeviceServerLeavesTheWindowsUpWhileThePortOpensAndItsMessageAfter) {
    CLoopbackListener server; // takes connections and never answers
    ASSERT_NE(server.m_nPort, 0u);
    const std::string strUrl = server.Url("rfc2217");
    StorePort(strUrl);
    auto app = Start();
    auto* frame = dynamic_cast<CMainFrame*>(app->m_pMainWnd);
    ASSERT_NE(frame, nullptr);
    // The open waits seconds for the server's answer; start-up did not.
    EXPECT_TRUE(frame->isVisible());
    EXPECT_EQ(app->m_pLine->IsOpening(), true);
    EXPECT_EQ(frame->GetLineStatusPane()->text().toStdString(), "Opening " + strUrl + "...");
    EXPECT_TRUE(frame->GetLineStatusPane()->isVisibleTo(frame));
    EXPECT_EQ(m_messages.Count(), 0u);
    // A request made meanwhile waits for the open, and fails as a closed port's request does.
    std::optional<CLineClient::Result> result;
    std::size_t nMessagesBefore = 99;
    auto op = app->m_pLine->BeginOperation("test");
    app->m_pLine->Post(
        app->m_pMainWnd, {[](CZarnPort& port) { return port.RequestACK(1) != 0; }},
        [&](const CLineClient::Result& r) {
            result = r;
            nMessagesBefore = m_messages.Count();
            op->End();
        },
        op);

    ASSERT_TRUE(WaitUntil([&] { return app->m_pLine->IsIdle(); }));
    ASSERT_EQ(m_messages.Count(), 1u);
    EXPECT_EQ(m_messages.Messages()[0].strText,
              "The serial port could not be opened.\nIt may be in use by another application.");
    ASSERT_TRUE(result.has_value());
    EXPECT_EQ(nMessagesBefore, 1u);
    EXPECT_EQ(result->error, ZarnError::portClosed);
    EXPECT_EQ(frame->GetLineStatusPane()->text().toStdString(), "Port not open: " + strUrl);
    EXPECT_EQ(frame->GetLineStatusPane()->toolTip().toStdString().rfind(
                  strUrl + " could not be opened: the device server", 0),
              0u)
        << frame->GetLineStatusPane()->toolTip().toStdString();
    // The program did reach the server, which kept it waiting.
    const int fd = server.Accept(0);
    EXPECT_GE(fd, 0);
    if (fd >= 0) {
        ::close(fd);
    }
}

TEST_F(StartupTest, TheMainWindowTakesItsStoredPlacementAndLeavesItAtExit) {
    StorePort("LINE-A");
    WriteRegDword(HKEY_CURRENT_USER, REG_KEY_MAIN_WINDOW, "XPos", 30);
    WriteRegDword(HKEY_CURRENT_USER, REG_KEY_MAIN_WINDOW, "YPos", 40);
    WriteRegDword(HKEY_CURRENT_USER, REG_KEY_MAIN_WINDOW, "Width", 10);
    WriteRegDword(HKEY_CURRENT_USER, REG_KEY_MAIN_WINDOW, "Height", 20);
    auto app = Start();
    EXPECT_EQ(app->m_pMainWnd->GetWindowRect(), QRect(30, 40, 50, 50));

    app->m_pMainWnd->setGeometry(70, 80, 640, 480);
    QRect rect = app->m_pMainWnd->GetWindowRect();
    CMDIChildWnd* networkFrame = app->m_pMainWnd->MDIGetActive();
    ASSERT_NE(networkFrame, nullptr);
    networkFrame->move(12, 14);
    QRect networkRect = networkFrame->GetWindowRect();

    // File Exit: everything closes, the placements are written, the port is stored.
    EXPECT_TRUE(app->m_pMainWnd->SendCommand(ID_APP_EXIT));
    EXPECT_TRUE(app->m_pMainWnd->IsDestroyed());
    EXPECT_TRUE(app->m_pNetTemplate->GetDocuments().empty());
    EXPECT_TRUE(app->m_pStatsTemplate->GetDocuments().empty());
    app->ExitInstance();
    EXPECT_EQ(StoredDword(REG_KEY_MAIN_WINDOW, "XPos"), static_cast<DWORD>(rect.left()));
    EXPECT_EQ(StoredDword(REG_KEY_MAIN_WINDOW, "YPos"), static_cast<DWORD>(rect.top()));
    EXPECT_EQ(StoredDword(REG_KEY_MAIN_WINDOW, "Width"), static_cast<DWORD>(rect.width()));
    EXPECT_EQ(StoredDword(REG_KEY_MAIN_WINDOW, "Height"), static_cast<DWORD>(rect.height()));
    EXPECT_EQ(StoredDword(REG_KEY_NETWORK_VIEW, "XPos"), static_cast<DWORD>(networkRect.left()));
    EXPECT_EQ(StoredDword(REG_KEY_NETWORK_VIEW, "YPos"), static_cast<DWORD>(networkRect.top()));
    EXPECT_EQ(StoredDword(REG_KEY_NETWORK_VIEW, "Width"), 500u);
    EXPECT_EQ(StoredDword(REG_KEY_NETWORK_VIEW, "Height"), 300u);
    EXPECT_EQ(StoredPort(), "LINE-A");
}

TEST_F(StartupTest, XPosAloneGivesTheTopEdgeAndTheSmallestSize) {
    StorePort("LINE-A");
    WriteRegDword(HKEY_CURRENT_USER, REG_KEY_MAIN_WINDOW, "XPos", 90);
    auto app = Start();
    EXPECT_EQ(app->m_pMainWnd->GetWindowRect(), QRect(90, 0, 50, 50));
}

TEST_F(StartupTest, ANegativeStoredSizeOpensAtTheSmallestSize) {
    StorePort("LINE-A");
    WriteRegDword(HKEY_CURRENT_USER, REG_KEY_MAIN_WINDOW, "XPos", 10);
    WriteRegDword(HKEY_CURRENT_USER, REG_KEY_MAIN_WINDOW, "YPos", 20);
    WriteRegDword(HKEY_CURRENT_USER, REG_KEY_MAIN_WINDOW, "Width", static_cast<DWORD>(-256));
    WriteRegDword(HKEY_CURRENT_USER, REG_KEY_MAIN_WINDOW, "Height", 300);
    auto app = Start();
    EXPECT_EQ(app->m_pMainWnd->GetWindowRect(), QRect(10, 20, 50, 300));
}

TEST_F(StartupTest, AClickWhileTheSplashShowsClosesItAndDoesNothingElse) {
    StorePort("LINE-A");
    CCommandLineInfo info;
    auto app = Start(info);
    CStartupSplash* splash = CStartupSplash::GetInstance();
    ASSERT_NE(splash, nullptr);
    EXPECT_TRUE(splash->isVisible());
    EXPECT_EQ(splash->size(), QSize(727, 446));

    auto* view = qobject_cast<CFakeView*>(app->m_pMainWnd->GetActiveView());
    ASSERT_NE(view, nullptr);
    QTest::mouseClick(view, Qt::LeftButton, Qt::NoModifier, QPoint(20, 20));
    EXPECT_EQ(CStartupSplash::GetInstance(), nullptr);
    EXPECT_EQ(view->m_nMousePresses, 0);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);

    // Once it is gone, clicks arrive again.
    QTest::mouseClick(view, Qt::LeftButton, Qt::NoModifier, QPoint(20, 20));
    EXPECT_EQ(view->m_nMousePresses, 1);
}

TEST_F(StartupTest, TheSplashGoesByItselfAfterTwoSeconds) {
    StorePort("LINE-A");
    CCommandLineInfo info;
    auto app = Start(info);
    ASSERT_NE(CStartupSplash::GetInstance(), nullptr);
    QTest::qWait(CStartupSplash::kTimerMs / 2);
    EXPECT_NE(CStartupSplash::GetInstance(), nullptr);
    QTRY_VERIFY_WITH_TIMEOUT(CStartupSplash::GetInstance() == nullptr, 10000);
    // A second start-up splash is shown only when asked for again.
    CStartupSplash::EnableSplashScreen(false);
    CStartupSplash::ShowSplashScreen(app->m_pMainWnd);
    EXPECT_EQ(CStartupSplash::GetInstance(), nullptr);
}

TEST_F(StartupTest, AKeyWhileTheSplashShowsIsSwallowedToo) {
    StorePort("LINE-A");
    CCommandLineInfo info;
    auto app = Start(info);
    ASSERT_NE(CStartupSplash::GetInstance(), nullptr);
    auto* view = qobject_cast<CFakeView*>(app->m_pMainWnd->GetActiveView());
    ASSERT_NE(view, nullptr);
    view->setFocus();
    QTest::keyClick(view, Qt::Key_A);
    EXPECT_EQ(CStartupSplash::GetInstance(), nullptr);
    EXPECT_EQ(view->m_nKeyPresses, 0);
    QTest::keyClick(view, Qt::Key_A);
    EXPECT_EQ(view->m_nKeyPresses, 1);
}

TEST_F(StartupTest, TheMainFrameHasItsBarsAndTheLogoBehindTheWindows) {
    StorePort("LINE-A");
    auto app = Start();
    auto* frame = qobject_cast<CMainFrame*>(app->m_pMainWnd);
    ASSERT_NE(frame, nullptr);
    EXPECT_EQ(frame->windowTitle().toStdString(), "Zarn Network Controller - Press Stations");
    ASSERT_NE(frame->m_wndToolBar, nullptr);
    EXPECT_EQ(frame->m_wndToolBar->actions().size(), 14);
    EXPECT_EQ(frame->m_wndToolBar->iconSize(), QSize(17, 16));
    EXPECT_EQ(frame->GetMessageText(), "For Help, press F1");
    // A highlighted item's prompt, then the idle text again.
    QStatusTipEvent tip(QStringLiteral("Retrieve data from Zarn and display in active window"));
    QCoreApplication::sendEvent(frame, &tip);
    EXPECT_EQ(frame->GetMessageText(), "Retrieve data from Zarn and display in active window");
    QStatusTipEvent none{QString()};
    QCoreApplication::sendEvent(frame, &none);
    EXPECT_EQ(frame->GetMessageText(), "For Help, press F1");
    // The lock-key panes show their text while the key is on.
    EXPECT_EQ(frame->GetIndicatorText(ID_INDICATOR_CAPS), "");
    CLockKeys::OnKeyPress(Qt::Key_CapsLock);
    frame->UpdateCommandUI();
    EXPECT_EQ(frame->GetIndicatorText(ID_INDICATOR_CAPS), "CAP");
    EXPECT_EQ(frame->GetIndicatorText(ID_INDICATOR_NUM), "");
    CLockKeys::OnKeyPress(Qt::Key_CapsLock);
    frame->UpdateCommandUI();
    EXPECT_EQ(frame->GetIndicatorText(ID_INDICATOR_CAPS), "");
    ASSERT_NE(frame->m_wndMDIClient, nullptr);
    EXPECT_EQ(frame->m_wndMDIClient->GetBitmapInfo().bmWidth, 275);
    EXPECT_EQ(frame->m_wndMDIClient->GetBitmapInfo().bmHeight, 141);
    // Centred, halves toward zero; cut equally when the area is smaller.
    EXPECT_EQ(CLogoClientWnd::LogoOrigin(QRect(0, 0, 600, 400), 275, 141), QPoint(162, 129));
    EXPECT_EQ(CLogoClientWnd::LogoOrigin(QRect(0, 0, 200, 100), 275, 141), QPoint(-37, -20));

    // The background is grey with the logo in its middle.
    QMdiArea* client = frame->GetMDIClient();
    for (QMdiSubWindow* w : client->subWindowList()) {
        w->hide();
    }
    client->resize(600, 400);
    QImage shot = client->viewport()->grab().toImage();
    EXPECT_EQ(shot.pixelColor(5, 5), QColor(192, 192, 192));
    QImage logo = CResources::LoadBitmap(IDB_LOGO).toImage();
    QPoint at = CLogoClientWnd::LogoOrigin(client->viewport()->rect(), 275, 141);
    EXPECT_EQ(shot.pixelColor(at + QPoint(137, 70)), logo.pixelColor(137, 70));
}

TEST_F(StartupTest, TheMenuBarsFollowTheActiveWindow) {
    StorePort("LINE-A");
    auto app = Start();
    CMDIFrameWnd* main = app->m_pMainWnd;
    QMenu* view = main->menuBar()->actions().at(1)->menu();
    main->UpdateMenu(view);
    EXPECT_EQ(Texts(view->actions()),
              (std::vector<std::string>{"&Toolbar", "&Status Bar", "S&tatistics Window", "-",
                                        "Serial &Port Setting...", "&History Settings...",
                                        "P&references...", "-", "Status &Legend"}));
    EXPECT_TRUE(view->actions().at(0)->isChecked());
    EXPECT_TRUE(view->actions().at(2)->isChecked());
    EXPECT_TRUE(view->actions().at(4)->isEnabled());

    // A curve window brings the curve menu with its reload entry.
    ASSERT_TRUE(app->OpenCurveWindow(nullptr));
    EXPECT_EQ(main->GetMenuID(), IDR_CURVETYPE);
    QMenu* window = main->menuBar()->actions().at(2)->menu();
    main->UpdateMenu(window);
    std::vector<std::string> items = Texts(window->actions());
    ASSERT_GE(items.size(), 6u);
    EXPECT_EQ(items[0], "&Reload Curve Data\tF5");
    EXPECT_EQ(items[1], "Reload &All Data Windows");
    QMenu* file = main->menuBar()->actions().at(0)->menu();
    main->UpdateMenu(file);
    EXPECT_EQ(
        Texts(file->actions()),
        (std::vector<std::string>{"&Open...\tCtrl+O", "&Close", "&Save\tCtrl+S", "Save &As...",
                                  "&Export...", "-", "&Print...\tCtrl+P", "Print Pre&view",
                                  "P&rint Setup...", "-", "Recent File", "-", "E&xit"}));
    // Edit commands have no handler anywhere.
    EXPECT_FALSE(main->QueryCommand(ID_EDIT_COPY).m_bEnabled);
    EXPECT_FALSE(main->QueryCommand(ID_CONTEXT_HELP).m_bEnabled);
}

TEST_F(StartupTest, TypeAcceleratorsReachTheActiveWindowFirst) {
    StorePort("LINE-A");
    auto app = Start();
    ASSERT_TRUE(app->OpenBatchWindow(nullptr));
    auto* batch = dynamic_cast<CFakePressDoc*>(OnlyDocument(app->m_pBatchTemplate));
    ASSERT_NE(batch, nullptr);
    EXPECT_EQ(batch->m_nSetPress, 1);
    QWidget* view = app->m_pMainWnd->GetActiveView();
    ASSERT_EQ(view, batch->GetFirstView());
    QTest::keyClick(view, Qt::Key_F5);
    QTest::keyClick(view, Qt::Key_Escape);
    EXPECT_EQ(batch->m_nRefresh, 1);
    EXPECT_EQ(batch->m_nZoomOut, 1);
}

TEST_F(StartupTest, ReloadAllAsksBatchWindowsBeforeCurveWindows) {
    StorePort("LINE-A");
    auto app = Start();
    EXPECT_FALSE(app->m_pMainWnd->QueryCommand(ID_RELOAD_ALL).m_bEnabled);
    ASSERT_TRUE(app->OpenCurveWindow(nullptr));
    EXPECT_TRUE(app->m_pMainWnd->QueryCommand(ID_RELOAD_ALL).m_bEnabled);
    ASSERT_TRUE(app->OpenBatchWindow(nullptr));
    ASSERT_TRUE(app->OpenCurveWindow(nullptr));
    ReloadLog().clear();
    EXPECT_TRUE(app->m_pMainWnd->SendCommand(ID_RELOAD_ALL));
    EXPECT_EQ(ReloadLog(), (std::vector<std::string>{"batch", "curve", "curve"}));
}

TEST_F(StartupTest, TheStatisticsWindowToggleAndAddToStatistics) {
    StorePort("LINE-A");
    auto app = Start();
    CMDIFrameWnd* main = app->m_pMainWnd;
    EXPECT_EQ(main->QueryCommand(ID_STATISTICS_WINDOW).m_nCheck, 1);
    EXPECT_TRUE(main->SendCommand(ID_STATISTICS_WINDOW));
    EXPECT_FALSE(app->m_bStatsVisible);
    EXPECT_FALSE(app->m_pStatsFrame->IsWindowVisible());
    EXPECT_EQ(main->QueryCommand(ID_STATISTICS_WINDOW).m_nCheck, 0);
    // Hidden, not destroyed.
    EXPECT_EQ(app->m_pStatsTemplate->GetDocuments().size(), 1u);

    // Adding a station to the hidden window shows it again.
    auto* stats = dynamic_cast<CFakeStatsDoc*>(OnlyDocument(app->m_pStatsTemplate));
    ASSERT_NE(stats, nullptr);
    CFakeNetworkDoc press; // any object stands for the station here
    app->AddToStatistics(reinterpret_cast<CPress*>(&press), TRUE);
    ASSERT_EQ(stats->m_added.size(), 1u);
    EXPECT_EQ(stats->m_added[0].second, TRUE);
    EXPECT_TRUE(app->m_bStatsVisible);
    EXPECT_TRUE(app->m_pStatsFrame->IsWindowVisible());
    EXPECT_EQ(main->QueryCommand(ID_STATISTICS_WINDOW).m_nCheck, 1);

    // Its frame will not close.
    app->m_pStatsFrame->GetWindow()->close();
    EXPECT_EQ(app->m_pStatsTemplate->GetDocuments().size(), 1u);

    // Hiding the active statistics window hands the focus to the network window.
    app->m_pStatsFrame->ActivateFrame();
    ASSERT_EQ(main->MDIGetActive(), app->m_pStatsFrame);
    EXPECT_EQ(main->GetMenuID(), IDR_STATSTYPE);
    EXPECT_TRUE(main->SendCommand(ID_STATISTICS_WINDOW));
    ASSERT_NE(main->MDIGetActive(), nullptr);
    EXPECT_EQ(main->MDIGetActive()->GetActiveDocument(), OnlyDocument(app->m_pNetTemplate));
    EXPECT_EQ(main->GetMenuID(), IDR_NETWORKTYPE);
}

TEST_F(StartupTest, TheAboutBox) {
    StorePort("LINE-A");
    auto app = Start();
    WhenModal<CAboutBox>([](CAboutBox* box) {
        EXPECT_EQ(box->windowTitle().toStdString(), "About Zarnex Network Controller");
        EXPECT_EQ(box->size(), QSize(CDialog::UnitsToPixelsX(339), CDialog::UnitsToPixelsY(165)));
        EXPECT_TRUE(box->GetOkButton()->isDefault());
        box->GetOkButton()->click();
    });
    EXPECT_TRUE(app->m_pMainWnd->SendCommand(ID_APP_ABOUT));
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

// The program itself, in a process of its own, shown on an X server of the test's own so that
// the test sees its windows.
class ProgramTest : public ShellTestBase {
protected:
    static constexpr int kWindowMs = 30000;
    static constexpr const char* kMainTitle = "Zarn Network Controller - Press Stations";

    bool Launch(const std::vector<std::string>& args, const std::string& platform = "xcb") {
        CChildProcess::Options options;
        options.env = {"XDG_CONFIG_HOME=" + m_config.ConfigHome(), "QT_QPA_PLATFORM=" + platform,
                       "DISPLAY=" + m_display.Name()};
        options.strDir = m_config.WorkDir();
        options.strLog = m_config.Root() + "/quorvel.log";
        options.bPipeOut = false;
        std::vector<std::string> argv = {QUORVEL_BINARY};
        argv.insert(argv.end(), args.begin(), args.end());
        return m_program.Start(argv, options);
    }
    std::string Log() const {
        std::ifstream in(m_config.Root() + "/quorvel.log");
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

    CPrivateDisplay m_display;
    CChildProcess m_program;
};

TEST_F(ProgramTest, WithoutAUserInterfaceLayerMessage100EndsTheProgram) {
    ASSERT_TRUE(Launch({"--no-splash"}, "quorvel-no-such-platform"));
    EXPECT_EQ(m_program.Wait(kWindowMs), 1);
    EXPECT_NE(Log().find("OLE initialization failed.  Make sure that the OLE libraries are the "
                         "correct version."),
              std::string::npos)
        << Log();
    // The application object still did its part: the default port is in the settings.
    EXPECT_EQ(StoredPort(), "COM1");
}

TEST_F(ProgramTest, TerminationWhileAMessageBoxIsOpenEndsAsFileExit) {
    if (!m_display.IsInstalled()) {
        GTEST_SKIP() << m_display.Error();
    }
    ASSERT_TRUE(m_display.IsReady()) << m_display.Error();
    ASSERT_TRUE(Launch({"--no-splash", "--port", "/dev/quorvel-no-such-port"}));
    // The port message comes once the windows stand; a window with the bare program title is
    // then the message box.
    ASSERT_TRUE(m_display.WaitForWindow(kMainTitle, kWindowMs)) << Log();
    ASSERT_TRUE(m_display.WaitForWindow("Zarn Network Controller", kWindowMs)) << Log();
    m_program.Signal(SIGTERM);
    EXPECT_EQ(m_program.Wait(kWindowMs), 0) << Log();
    EXPECT_EQ(StoredPort(), "/dev/quorvel-no-such-port");
    EXPECT_NE(StoredDword(REG_KEY_MAIN_WINDOW, "Width"), 0xDEADBEEFu);
}

TEST_F(ProgramTest, InterruptOnTheSimulatedLineStoresNoPort) {
    if (!m_display.IsInstalled()) {
        GTEST_SKIP() << m_display.Error();
    }
    ASSERT_TRUE(m_display.IsReady()) << m_display.Error();
    StorePort("LINE-A");
    ASSERT_TRUE(Launch({"--simulate", "--no-splash", "ignored-file.cur"}));
    ASSERT_TRUE(m_display.WaitForWindow(kMainTitle, kWindowMs)) << Log();
    m_program.Signal(SIGINT);
    EXPECT_EQ(m_program.Wait(kWindowMs), 0) << Log();
    EXPECT_EQ(StoredPort(), "LINE-A");
    EXPECT_NE(StoredDword(REG_KEY_MAIN_WINDOW, "XPos"), 0xDEADBEEFu);
}

} // namespace
