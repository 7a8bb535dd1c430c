#include "app/framework/Resources.h"
#include "app/framework/StringTable.h"
#include "app/shell/LineClient.h"
#include "app/shell/MainFrame.h"
#include "app/shell/Registry.h"
#include "app/shell/Resource.h"
#include "app/shell/SerialPortDlg.h"
#include "network/ZarnPort.h"
#include "serial/CommApi.h"
#include "serial/SerialDevice.h"
#include "tests/app/ShellTestSupport.h"

#include <QComboBox>
#include <QLineEdit>

#include <cerrno>

namespace {

const std::string kPortFailed =
    "The serial port could not be opened.\nIt may be in use by another application.";

class ShellTest : public ShellTestBase {
protected:
    // Every open asked for has run and its outcome been told.
    static bool Idle(CQuorvelApp& app) {
        return app.m_pLine != nullptr && WaitUntil([&] { return app.m_pLine->IsIdle(); });
    }
};

TEST_F(ShellTest, FirstStartWritesTheDefaultPortAtOnce) {
    EXPECT_EQ(StoredPort(), "");
    auto app = MakeApp();
    EXPECT_EQ(StoredPort(), "COM1");
    EXPECT_STREQ(app->m_pPort->GetCommPort(), "COM1");
    EXPECT_EQ(app->m_pPort->GetBaudRate(), 57600u);
    EXPECT_TRUE(app->m_bStatsVisible);
}

TEST_F(ShellTest, TheStoredPortIsOpenedOnTheLineAndStoredAgainAtExit) {
    StorePort("LINE-A");
    auto app = MakeApp();
    EXPECT_STREQ(app->m_pPort->GetCommPort(), "LINE-A");
    // Nothing opens on this thread; a closed port under the same name is opened on the line.
    EXPECT_EQ(m_lineA->OpenCount(), 0u);
    EXPECT_TRUE(app->ApplyPortChoice("LINE-A"));
    ASSERT_TRUE(Idle(*app));
    EXPECT_TRUE(m_lineA->IsOpen());
    EXPECT_EQ(m_lineA->OpenCount(), 1u);
    EXPECT_EQ(m_lineA->State().BaudRate, 57600u);
    EXPECT_EQ(m_lineA->State().ByteSize, 8);
    EXPECT_EQ(m_lineA->State().Parity, 0);
    EXPECT_EQ(m_lineA->State().StopBits, 0);
    app->ExitInstance();
    EXPECT_EQ(app->m_pPort, nullptr);
    EXPECT_FALSE(m_lineA->IsOpen());
    EXPECT_EQ(StoredPort(), "LINE-A");
}

TEST_F(ShellTest, APortFromTheCommandLineIsUsedAndRememberedLikeAChoice) {
    StorePort("LINE-A");
    CCommandLineInfo info = NoSplash();
    info.m_bPortGiven = true;
    info.m_strPort = "LINE-B";
    auto app = MakeApp(info);
    EXPECT_STREQ(app->m_pPort->GetCommPort(), "LINE-B");
    app->ExitInstance();
    EXPECT_EQ(m_lineA->OpenCount(), 0u);
    EXPECT_EQ(StoredPort(), "LINE-B");
}

TEST_F(ShellTest, TheSimulatedLineIsNeverStoredButAnOperatorsChoiceIs) {
    StorePort("LINE-A");
    {
        auto app = MakeApp(NoSplash(), "LINE-B");
        EXPECT_TRUE(app->IsSimulated());
        EXPECT_STREQ(app->m_pPort->GetCommPort(), "LINE-B");
        app->ExitInstance();
        EXPECT_EQ(StoredPort(), "LINE-A");
    }
    {
        // Stored also when the program ends before the open had its turn.
        auto app = MakeApp(NoSplash(), "LINE-B");
        EXPECT_TRUE(app->ApplyPortChoice("line-a"));
        app->ExitInstance();
        EXPECT_EQ(StoredPort(), "line-a");
    }
}

TEST_F(ShellTest, ThePortChoiceComparesLetterCase) {
    StorePort("LINE-A");
    auto app = MakeApp();
    ASSERT_TRUE(app->ApplyPortChoice("LINE-A"));
    // Asked again while it opens, or once it is open: left alone.
    EXPECT_FALSE(app->ApplyPortChoice("LINE-A"));
    ASSERT_TRUE(Idle(*app));
    EXPECT_FALSE(app->ApplyPortChoice("LINE-A"));
    EXPECT_EQ(m_lineA->OpenCount(), 1u);
    EXPECT_TRUE(m_lineA->IsOpen());
    EXPECT_TRUE(app->ApplyPortChoice("line-a"));
    ASSERT_TRUE(Idle(*app));
    EXPECT_FALSE(m_lineA->IsOpen());
    EXPECT_TRUE(m_lineLowerA->IsOpen());
    EXPECT_EQ(app->m_pLine->GetPortName(), "line-a");
    EXPECT_EQ(m_messages.Count(), 0u);
}

TEST_F(ShellTest, AnEmptyPortNameFailsWithMessage1018AndIsNotStored) {
    StorePort("LINE-A");
    auto app = MakeApp();
    ASSERT_TRUE(app->ApplyPortChoice("LINE-A"));
    ASSERT_TRUE(Idle(*app));
    ASSERT_TRUE(m_lineA->IsOpen());
    EXPECT_TRUE(app->ApplyPortChoice(""));
    ASSERT_TRUE(Idle(*app));
    ASSERT_EQ(m_messages.Count(), 1u);
    EXPECT_EQ(m_messages.Messages()[0].strText, kPortFailed);
    EXPECT_EQ(m_messages.Messages()[0].strCaption, "Zarn Network Controller");
    EXPECT_EQ(m_messages.Messages()[0].nType, MB_OK | MB_ICONSTOP);
    EXPECT_FALSE(m_lineA->IsOpen()); // the old port is already closed
    EXPECT_EQ(app->m_pLine->GetPortName(), "");
    app->ExitInstance();
    EXPECT_EQ(StoredPort(), "LINE-A");
}

TEST_F(ShellTest, AChosenPortThatCannotBeOpenedIsStillRemembered) {
    StorePort("LINE-A");
    auto app = MakeApp();
    EXPECT_TRUE(app->ApplyPortChoice("/dev/quorvel-no-such-port"));
    ASSERT_TRUE(Idle(*app));
    EXPECT_EQ(m_messages.Count(), 1u);
    app->ExitInstance();
    EXPECT_EQ(StoredPort(), "/dev/quorvel-no-such-port");
}

TEST_F(ShellTest, ARefusedPortNamesTheDialoutGroupAfterMessage1018) {
    lintaro::RegisterSerialDevice("LINE-DENIED", []() -> std::unique_ptr<CSerialDevice> {
        errno = EACCES;
        return nullptr;
    });
    auto app = MakeApp();
    EXPECT_TRUE(app->ApplyPortChoice("LINE-DENIED"));
    ASSERT_TRUE(Idle(*app));
    lintaro::UnregisterSerialDevice("LINE-DENIED");
    ASSERT_EQ(m_messages.Count(), 1u);
    EXPECT_EQ(m_messages.Messages()[0].strText,
              kPortFailed +
                  "\n\nPermission denied: add your user to the dialout group and log in again");
}

TEST_F(ShellTest, ThePortListIsSortedAndTheCurrentPortSelected) {
    auto saved = CSerialPortDlg::s_pfnListPorts;
    CSerialPortDlg::s_pfnListPorts = [] {
        return std::vector<std::string>{"COM10", "COM2", "com1", "/dev/ttyUSB0"};
    };
    {
        CSerialPortDlg dialog("COM1");
        QComboBox* combo = dialog.GetComboBox();
        ASSERT_EQ(combo->count(), 4);
        EXPECT_EQ(combo->itemText(0).toStdString(), "/dev/ttyUSB0");
        EXPECT_EQ(combo->itemText(1).toStdString(), "com1");
        EXPECT_EQ(combo->itemText(2).toStdString(), "COM2");
        EXPECT_EQ(combo->itemText(3).toStdString(), "COM10");
        // A name that differs from an entry only in letter case selects it.
        EXPECT_EQ(combo->currentIndex(), 1);
        EXPECT_TRUE(combo->isEditable());
    }
    {
        // A name that is only the start of an entry selects nothing: it stays as it is.
        CSerialPortDlg dialog("COM");
        EXPECT_EQ(dialog.GetComboBox()->currentIndex(), -1);
        EXPECT_EQ(dialog.GetComboBox()->currentText().toStdString(), "COM");
        dialog.GetComboBox()->setEditText("/dev/ttyS4");
        dialog.accept();
        EXPECT_EQ(dialog.GetPortName(), "/dev/ttyS4");
    }
    CSerialPortDlg::s_pfnListPorts = saved;
}

TEST_F(ShellTest, SerialPortSettingRunsTheDialogAndReopensThePort) {
    StorePort("LINE-A");
    auto saved = CSerialPortDlg::s_pfnListPorts;
    CSerialPortDlg::s_pfnListPorts = [] { return std::vector<std::string>{"LINE-A", "LINE-B"}; };
    auto app = MakeApp();
    ASSERT_TRUE(app->StartUserInterface());

    WhenModal<CSerialPortDlg>([](CSerialPortDlg* dialog) {
        EXPECT_EQ(dialog->windowTitle().toStdString(), "Serial Port Settings");
        EXPECT_EQ(dialog->GetComboBox()->currentText().toStdString(), "LINE-A");
        dialog->GetComboBox()->setCurrentIndex(1);
        dialog->accept();
    });
    app->OnSerialPortSetting();
    ASSERT_TRUE(Idle(*app));
    EXPECT_EQ(app->m_pLine->GetPortName(), "LINE-B");
    EXPECT_TRUE(m_lineB->IsOpen());

    // Cancel changes nothing, whatever was typed.
    WhenModal<CSerialPortDlg>([](CSerialPortDlg* dialog) {
        dialog->GetComboBox()->setEditText("LINE-A");
        dialog->reject();
    });
    app->OnSerialPortSetting();
    ASSERT_TRUE(Idle(*app));
    EXPECT_EQ(app->m_pLine->GetPortName(), "LINE-B");
    EXPECT_EQ(m_lineB->OpenCount(), 1u);
    EXPECT_EQ(m_messages.Count(), 0u);
    CSerialPortDlg::s_pfnListPorts = saved;
}

TEST_F(ShellTest, TheResourceScriptHoldsTheTablesTexts) {
    auto app = MakeApp();
    // Tool tips of the tool bar, in button order.
    const CResources::ToolBar* bar = CResources::FindToolBar(IDR_MAINFRAME);
    ASSERT_NE(bar, nullptr);
    std::vector<std::string> tips;
    for (UINT id : bar->items) {
        tips.push_back(id == ID_SEPARATOR ? "|" : CStringTable::ToolTip(id));
    }
    EXPECT_EQ(tips, (std::vector<std::string>{"Open", "Save", "|", "Print", "Print Preview", "|",
                                              "Refresh Data", "Reload All", "Cascade Windows",
                                              "Tile Windows Horizontal", "Tile Windows Verical",
                                              "|", "About", "Help"}));
    EXPECT_EQ(CStringTable::Prompt(ID_REFRESH_DATA),
              "Retrieve data from Zarn and display in active window");
    EXPECT_EQ(CStringTable::Load(AFX_IDS_IDLEMESSAGE), "For Help, press F1");
    EXPECT_EQ(CStringTable::Format1(IDS_NO_BATCH_DATA, "7"),
              "The Zarn connected to Node 7 currently has no batch buffer data.");
    EXPECT_EQ(CStringTable::Load(IDS_CONFIRM_RESET),
              "About to reset batch buffer on selected Zarn's\nAll batch data will be cleared from "
              "the Zarn !!!\nAre you sure ?\n");
    EXPECT_EQ(CResources::LoadBitmap(IDB_TOOLBAR).size(), QSize(187, 16));
    EXPECT_EQ(CResources::LoadBitmap(IDB_SPLASH).size(), QSize(727, 446));
    EXPECT_EQ(CResources::LoadBitmap(IDB_LOGO).size(), QSize(275, 141));
    EXPECT_EQ(CResources::LoadBitmap(IDB_ABOUT_PICTURE).size(), QSize(240, 97));
    EXPECT_EQ(CResources::LoadBitmap(IDB_ABOUT_BANNER).size(), QSize(290, 61));
    EXPECT_EQ(CResources::LoadBitmap(IDB_STATS_IMAGES).size(), QSize(32, 16));
    for (UINT icon :
         {IDR_MAINFRAME, IDR_NETWORKTYPE, IDR_CURVETYPE, IDR_BATCHTYPE, IDR_STATSTYPE,
          IDI_SERIAL_PORT, IDI_STATION, IDI_STATION_SELECTED, IDI_ONLINE, IDI_NO_RESPONSE}) {
        EXPECT_FALSE(CResources::LoadIcon(icon).pixmap(32, 32).isNull()) << icon;
    }
    QCursor zoom = CResources::LoadCursor(IDC_ZOOM);
    EXPECT_EQ(zoom.hotSpot(), QPoint(8, 9));
    EXPECT_EQ(zoom.pixmap().size(), QSize(32, 32));
}

TEST_F(ShellTest, AcceleratorTablesMatchKeysExactly) {
    auto app = MakeApp();
    const CResources::AccelTable* main = CResources::FindAccelerators(IDR_MAINFRAME);
    ASSERT_NE(main, nullptr);
    EXPECT_EQ(CResources::MatchAccelerator(*main, Qt::Key_Insert, Qt::ShiftModifier),
              ID_EDIT_PASTE);
    EXPECT_EQ(CResources::MatchAccelerator(*main, Qt::Key_Insert, Qt::ControlModifier),
              ID_EDIT_COPY);
    EXPECT_EQ(CResources::MatchAccelerator(*main, Qt::Key_Backspace, Qt::AltModifier),
              ID_EDIT_UNDO);
    EXPECT_EQ(CResources::MatchAccelerator(*main, Qt::Key_F1, Qt::ShiftModifier), ID_CONTEXT_HELP);
    EXPECT_EQ(CResources::MatchAccelerator(*main, Qt::Key_F1, 0), ID_HELP);
    EXPECT_EQ(
        CResources::MatchAccelerator(*main, Qt::Key_O, Qt::ControlModifier | Qt::KeypadModifier),
        ID_FILE_OPEN);
    EXPECT_EQ(CResources::MatchAccelerator(*main, Qt::Key_O, 0), 0u);
    EXPECT_EQ(
        CResources::MatchAccelerator(*main, Qt::Key_O, Qt::ControlModifier | Qt::ShiftModifier),
        0u);
    const CResources::AccelTable* batch = CResources::FindAccelerators(IDR_BATCHTYPE);
    ASSERT_NE(batch, nullptr);
    EXPECT_EQ(CResources::MatchAccelerator(*batch, Qt::Key_Escape, 0), ID_BATCH_ZOOM_OUT);
    EXPECT_EQ(CResources::MatchAccelerator(*batch, Qt::Key_F5, 0), ID_REFRESH_DATA);
}

} // namespace

namespace {

// The history status's tool tip: each part on a line of its own, no line wider than the tip
// allows, and nothing of the text lost.
TEST(HistoryStatusTip, WrapsAtAReadableWidth) {
    const QString detail = QStringLiteral(
        "History: the plant database cannot be reached (could not connect to server: Connection "
        "refused Is the server running on host \"db.plant\" and accepting TCP/IP connections on "
        "port 5432?); 12 records waiting in the local file");
    const QString tip = CMainFrame::WrapText(detail, CMainFrame::kToolTipWidth);
    const QStringList lines = tip.split(QLatin1Char('\n'));
    EXPECT_GE(lines.size(), 4);
    for (const QString& line : lines) {
        EXPECT_LE(line.size(), CMainFrame::kToolTipWidth) << line.toStdString();
    }
    EXPECT_EQ(lines.last(), QStringLiteral("12 records waiting in the local file"));
    EXPECT_EQ(QString(tip).replace(QLatin1Char('\n'), QLatin1Char(' ')),
              QString(detail).replace(QStringLiteral("; "), QStringLiteral(" ")));
}

} // namespace
