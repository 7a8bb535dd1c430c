#include "app/graphs/CurveDoc.h"
#include "app/history/HistoryRecorder.h"
#include "app/history/HistorySettings.h"
#include "app/history/HistorySettingsDlg.h"
#include "app/network/PressPropertiesDlg.h"
#include "app/network/QuorvelDoc.h"
#include "app/network/QuorvelView.h"
#include "app/shell/MainFrame.h"
#include "app/shell/Registry.h"
#include "app/shell/Resource.h"
#include "history/HistoryQuery.h"
#include "history/SqliteDatabase.h"
#include "tests/app/ShellTestSupport.h"
#include "tests/app/SimulatedAppTest.h"
#include "tests/history/TempPostgres.h"

#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTest>

#include <fstream>
#include <iterator>
#include <set>

namespace {

class HistoryRecording : public SimulatedAppTest {
protected:
    static CCommandLineInfo NoSplash() {
        CCommandLineInfo info;
        info.m_bShowSplash = false;
        return info;
    }
    void StartWith(const CCommandLineInfo& info) {
        WriteRegDword(HKEY_LOCAL_MACHINE, REG_KEY_SETTINGS, "SweepPeriod", 0);
        m_app = std::make_unique<CQuorvelApp>(info, s_sim->DevicePath());
        ASSERT_TRUE(m_app->InitInstance());
        ASSERT_NE(m_app->GetHistory(), nullptr);
    }
    CQuorvelDoc* Layout() {
        return static_cast<CQuorvelDoc*>(m_app->m_pNetTemplate->GetDocuments().front());
    }
    CPress* Station(int nNodeID) { return Layout()->FindPress(nNodeID); }
    QLabel* Pane() { return static_cast<CMainFrame*>(m_app->m_pMainWnd)->GetHistoryStatusPane(); }
    std::string LocalFile() const { return m_config.DataHome() + "/Velmora/Quorvel/history.db"; }
    static std::string ReadBytes(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
    // Adds a station to the statistics window: one reading on the line.
    void ReadStatistics(int nNodeID) {
        m_app->AddToStatistics(Station(nNodeID), FALSE);
        ASSERT_TRUE(WaitForLine());
    }
};

TEST_F(HistoryRecording, ReadingsCurvesAndChangesAreRecordedWithTheStationAndTheUser) {
    ASSERT_NO_FATAL_FAILURE(StartWith(NoSplash()));
    EXPECT_TRUE(WaitUntil([&] { return Pane()->text() == "History: local"; }))
        << Pane()->text().toStdString();
    CPress* press1 = Station(1);
    press1->SetTerminalType("T-45");
    press1->SetWireType("2.5 mm2");
    press1->SetSerialNo("SN-0042");
    auto* view = static_cast<CQuorvelView*>(Layout()->GetFirstView());
    // A reset that the analyser takes, and a new reference it never hears.
    QTest::mouseClick(view, Qt::LeftButton, {}, QPoint(60, 60) - view->GetScrollPosition());
    ASSERT_EQ(view->GetCurPress(), press1);
    m_messages.Answer(IDYES);
    view->OnResetBatch();
    ASSERT_TRUE(WaitForLine());
    s_sim->SetFault(1, SimFault::silent);
    view->OnNewReference();
    ASSERT_TRUE(WaitForLine());
    s_sim->SetFault(1, SimFault::none);
    ASSERT_NO_FATAL_FAILURE(ReadStatistics(1));

    ASSERT_TRUE(m_app->OpenCurveWindow(Station(2)));
    ASSERT_TRUE(WaitForLine());
    ASSERT_EQ(m_app->m_pCurveTemplate->GetDocuments().size(), 1u);
    auto* curve = static_cast<CCurveDoc*>(m_app->m_pCurveTemplate->GetDocuments().front());
    ASSERT_TRUE(curve->m_bHasData);

    // Press Properties: the limits read, BLO changed, Set Limits.
    SimAnalyserState state = State(3);
    state.nBLO = 88;
    s_sim->SetState(3, state);
    WhenModal<CPressPropertiesDlg>([&](CPressPropertiesDlg* dlg) {
        ASSERT_TRUE(WaitUntil([dlg] { return dlg->GetRunning() == 0; }));
        qobject_cast<QLineEdit*>(dlg->GetControl(CPressPropertiesDlg::IDC_BLO))->setText("150");
        qobject_cast<QPushButton*>(dlg->GetControl(CPressPropertiesDlg::IDC_SET_LIMITS))->click();
        EXPECT_TRUE(WaitUntil([dlg] { return dlg->GetRunning() == 0; }));
        dlg->reject();
    });
    view->EditProperties(Station(3));
    ASSERT_EQ(State(3).nBLO, 150);

    ASSERT_TRUE(m_app->GetHistory()->WaitIdle(20000));

    CHistoryQuery query;
    ASSERT_TRUE(query.Open(LocalFile())) << query.GetError();
    CHistoryFilter filter;
    filter.m_nNodeID = 1;
    std::vector<CHistoryReading> readings;
    ASSERT_TRUE(query.Readings(filter, readings));
    ASSERT_FALSE(readings.empty());
    EXPECT_EQ(readings[0].m_strSource, "poll");
    EXPECT_EQ(readings[0].m_station.m_strName, "Station 1");
    EXPECT_EQ(readings[0].m_station.m_strTerminalType, "T-45");
    EXPECT_EQ(readings[0].m_station.m_strWireType, "2.5 mm2");
    EXPECT_EQ(readings[0].m_station.m_strSerialNo, "SN-0042");

    filter.m_nNodeID = 2;
    std::vector<CHistoryCurve> curves;
    ASSERT_TRUE(query.Curves(filter, curves));
    ASSERT_EQ(curves.size(), 1u);
    const CCurveRecord& got = curves[0].m_curve;
    EXPECT_EQ(got.m_nPeakForce, curve->m_nPeakForce);
    EXPECT_EQ(got.m_nPassCount, curve->m_nPassCount);
    EXPECT_EQ(got.m_nResultU[3], curve->m_nResultU[3]);
    for (int i = 0; i < CCurveRecord::kDownloadedPoints; ++i) {
        ASSERT_EQ(got.m_pForce[i].y, curve->m_pForce[i].y) << i;
        ASSERT_EQ(got.m_pReference[i].y, curve->m_pReference[i].y) << i;
    }

    std::vector<CHistoryChangeEntry> changes;
    filter.m_nNodeID = -1;
    ASSERT_TRUE(query.Changes(filter, changes));
    auto find = [&](int node, CHistoryChange::Parameter parameter) -> const CHistoryChangeEntry* {
        for (const CHistoryChangeEntry& c : changes) {
            if (c.m_station.m_nNodeID == node && c.m_change.m_parameter == parameter) {
                return &c;
            }
        }
        return nullptr;
    };
    const CHistoryChangeEntry* blo = find(3, CHistoryChange::Parameter::blo);
    ASSERT_NE(blo, nullptr);
    EXPECT_EQ(blo->m_change.m_nBefore, 88);
    EXPECT_EQ(blo->m_change.m_nAfter, 150);
    EXPECT_TRUE(blo->m_change.m_bOk);
    EXPECT_EQ(blo->m_change.m_strUser, CHistoryStore::CurrentUser());
    // The T factor was sent again as it was read: no change, and none recorded.
    EXPECT_EQ(find(3, CHistoryChange::Parameter::tfactor), nullptr);
    const CHistoryChangeEntry* reset = find(1, CHistoryChange::Parameter::resetBatch);
    ASSERT_NE(reset, nullptr);
    EXPECT_TRUE(reset->m_change.m_bOk);
    EXPECT_FALSE(reset->m_change.m_nAfter.has_value());
    EXPECT_EQ(reset->m_station.m_strSerialNo, "SN-0042");
    const CHistoryChangeEntry* reference = find(1, CHistoryChange::Parameter::newReference);
    ASSERT_NE(reference, nullptr);
    EXPECT_FALSE(reference->m_change.m_bOk);
    EXPECT_FALSE(reference->m_change.m_strError.empty());
}

TEST_F(HistoryRecording, ADamagedFileIsNamedOnceAndLeftAsItIsWhileTheProgramRunsOn) {
    ASSERT_TRUE(QDir().mkpath(QString::fromStdString(m_config.DataHome() + "/Velmora/Quorvel")));
    std::string garbage(8192, '\0');
    for (std::size_t i = 0; i < garbage.size(); ++i) {
        garbage[i] = static_cast<char>((i * 7919) % 251);
    }
    { std::ofstream(LocalFile(), std::ios::binary) << garbage; }
    ASSERT_EQ(ReadBytes(LocalFile()), garbage);

    ASSERT_NO_FATAL_FAILURE(StartWith(NoSplash()));
    ASSERT_TRUE(WaitUntil([&] { return m_messages.Count() != 0; }));
    ASSERT_EQ(m_messages.Count(), 1u);
    EXPECT_EQ(m_messages.Messages()[0].strText.rfind("The history is not recorded: ", 0), 0u)
        << m_messages.Messages()[0].strText;
    EXPECT_NE(m_messages.Messages()[0].strText.find(LocalFile()), std::string::npos);
    EXPECT_FALSE(m_app->GetHistory()->IsOpen());
    EXPECT_EQ(Pane()->text(), "History: off (unusable file)");

    // The line works as ever, and nothing more is said.
    ASSERT_NO_FATAL_FAILURE(ReadStatistics(1));
    EXPECT_TRUE(m_app->m_pMonitor != nullptr);
    m_app->ExitInstance();
    m_app.reset();
    EXPECT_EQ(m_messages.Count(), 1u);
    EXPECT_EQ(ReadBytes(LocalFile()), garbage);
    EXPECT_FALSE(QFile::exists(QString::fromStdString(LocalFile() + "-wal")));
}

TEST_F(HistoryRecording, OnALineServicesPortTheProgramRecordsNothingOfItsOwn) {
    ASSERT_NO_FATAL_FAILURE(StartWith(NoSplash()));
    auto readings = [&] {
        EXPECT_TRUE(m_app->GetHistory()->WaitIdle(20000));
        CHistoryQuery query;
        std::vector<CHistoryReading> found;
        EXPECT_TRUE(query.Open(LocalFile())) << query.GetError();
        EXPECT_TRUE(query.Readings(CHistoryFilter(), found));
        return found.size();
    };
    ASSERT_NO_FATAL_FAILURE(ReadStatistics(1));
    ASSERT_GE(readings(), 1u);

    // The service records what passes through it: what the windows hand over goes nowhere.
    m_app->ApplyPortChoice("zarnd://" + m_config.DataHome() + "/line.sock");
    ASSERT_TRUE(WaitForLine());
    EXPECT_EQ(Pane()->text(), "History: by the line service");
    const std::size_t nBefore = readings();
    CStats stats;
    stats.m_nGood = 10;
    m_app->GetHistory()->RecordStatistics(m_app->GetHistory()->StationOf(1), stats,
                                          CHistoryStore::Source::poll);
    EXPECT_EQ(readings(), nBefore);

    // Back on a line of its own the program records again.
    m_app->ApplyPortChoice(s_sim->DevicePath());
    ASSERT_TRUE(WaitForLine());
    EXPECT_NE(Pane()->text(), "History: by the line service");
    ASSERT_NO_FATAL_FAILURE(ReadStatistics(2));
    EXPECT_GT(readings(), nBefore);
}

TEST_F(HistoryRecording, SettingsReopenTheStoreAtOnceAndNeverShowThePassword) {
    ASSERT_NO_FATAL_FAILURE(StartWith(NoSplash()));
    const std::string other = m_config.DataHome() + "/line-7.db";
    WhenModal<CHistorySettingsDlg>([&](CHistorySettingsDlg* dlg) {
        EXPECT_TRUE(dlg->GetLocalButton()->isChecked());
        EXPECT_EQ(dlg->GetRetention()->value(), 730);
        dlg->GetFileButton()->setChecked(true);
        dlg->GetFileEdit()->setText(QString::fromStdString(other));
        dlg->GetRetention()->setValue(90);
        dlg->accept();
    });
    EXPECT_TRUE(m_app->m_pMainWnd->SendCommand(ID_HISTORY_SETTINGS));
    EXPECT_EQ(m_app->GetHistory()->GetStatus().m_strLocalPath, other);
    EXPECT_TRUE(WaitUntil([&] { return Pane()->text() == "History: line-7.db"; }))
        << Pane()->text().toStdString();
    EXPECT_EQ(CHistorySettings::Load().m_nRetentionDays, 90);
    ASSERT_NO_FATAL_FAILURE(ReadStatistics(4));
    ASSERT_TRUE(m_app->GetHistory()->WaitIdle(20000));
    CHistoryQuery query;
    ASSERT_TRUE(query.Open(other)) << query.GetError();
    std::vector<CHistoryReading> readings;
    ASSERT_TRUE(query.Readings(CHistoryFilter(), readings));
    EXPECT_FALSE(readings.empty());

    // A plant database nobody answers at: the records wait, the password appears nowhere.
    const std::string secret = "s3cr%et";
    WhenModal<CHistorySettingsDlg>([&](CHistorySettingsDlg* dlg) {
        EXPECT_EQ(dlg->GetFileEdit()->text().toStdString(), other);
        dlg->GetServerButton()->setChecked(true);
        dlg->GetUrlEdit()->setText(QStringLiteral("postgresql://quorvel@127.0.0.1:1/plant"));
        dlg->GetPasswordEdit()->setText(QString::fromStdString(secret));
        dlg->accept();
    });
    m_app->OnHistorySettings();
    // The settings keep the address only; libpq's password file (no keyring in tests) the
    // password.
    std::string stored;
    ASSERT_TRUE(ReadRegString(HKEY_LOCAL_MACHINE, REG_KEY_SETTINGS, "HistoryTarget", stored));
    EXPECT_EQ(stored, "postgresql://quorvel@127.0.0.1:1/plant");
    EXPECT_EQ(ReadBytes(m_config.ProgramFolder() + "/HKEY_LOCAL_MACHINE.ini").find("s3cr"),
              std::string::npos);
    EXPECT_EQ(ReadBytes(m_config.PasswordFile()), "127.0.0.1:1:plant:quorvel:" + secret + "\n");
    ASSERT_NO_FATAL_FAILURE(ReadStatistics(5));
    EXPECT_TRUE(WaitUntil([&] {
        return Pane()->text().startsWith(QStringLiteral("History: plant database unreachable")) &&
               Pane()->text().endsWith(QStringLiteral("waiting"));
    })) << Pane()->text().toStdString();
    EXPECT_EQ(Pane()->toolTip().indexOf(QStringLiteral("s3cr")), -1);
    WhenModal<CHistorySettingsDlg>([&](CHistorySettingsDlg* dlg) {
        EXPECT_TRUE(dlg->GetServerButton()->isChecked());
        EXPECT_EQ(dlg->GetUrlEdit()->text(),
                  QStringLiteral("postgresql://quorvel@127.0.0.1:1/plant"));
        EXPECT_TRUE(dlg->GetPasswordEdit()->text().isEmpty());
        EXPECT_EQ(dlg->GetPasswordEdit()->echoMode(), QLineEdit::Password);
        EXPECT_EQ(dlg->GetStatusLabel()->text().indexOf(QStringLiteral("s3cr")), -1);
        EXPECT_NE(dlg->GetStatusLabel()->text().indexOf(QStringLiteral("cannot be reached")), -1);
        dlg->reject();
    });
    m_app->OnHistorySettings();
    EXPECT_EQ(CHistorySettings::Masked("postgresql://u:pw@h/db?password=pw&sslmode=require"),
              "postgresql://u:****@h/db?password=****&sslmode=require");
}

TEST_F(HistoryRecording, ApplyingSettingsNeverWaitsForTheNewFileAndKeepsTheRecordsMadeMeanwhile) {
    ASSERT_NO_FATAL_FAILURE(StartWith(NoSplash()));
    ASSERT_TRUE(WaitUntil([&] { return Pane()->text() == "History: local"; }));
    // Another program holds the chosen file: opening it waits for the lock.
    const std::string other = m_config.DataHome() + "/line-9.db";
    auto pLocker = std::make_unique<CSqliteDatabase>();
    ASSERT_TRUE(pLocker->Open(other, CSqliteDatabase::Mode::create));
    ASSERT_TRUE(pLocker->Script("BEGIN EXCLUSIVE"));
    WhenModal<CHistorySettingsDlg>([&](CHistorySettingsDlg* dlg) {
        dlg->GetFileButton()->setChecked(true);
        dlg->GetFileEdit()->setText(QString::fromStdString(other));
        dlg->accept();
    });
    EXPECT_TRUE(m_app->m_pMainWnd->SendCommand(ID_HISTORY_SETTINGS));
    // Back at once, with the new store still waiting for its file.
    EXPECT_EQ(m_app->GetHistory()->GetStatus().m_state, CHistoryStatus::State::opening);
    EXPECT_EQ(Pane()->text(), "History: opening");
    ASSERT_NO_FATAL_FAILURE(ReadStatistics(4));
    pLocker.reset();
    EXPECT_TRUE(WaitUntil([&] { return Pane()->text() == "History: line-9.db"; }))
        << Pane()->text().toStdString();
    ASSERT_NO_FATAL_FAILURE(ReadStatistics(5));
    ASSERT_TRUE(m_app->GetHistory()->WaitIdle(20000));
    EXPECT_EQ(m_messages.Count(), 0u);

    auto nodes = [](const std::string& path) {
        CHistoryQuery query;
        std::vector<CHistoryReading> readings;
        EXPECT_TRUE(query.Open(path)) << query.GetError();
        EXPECT_TRUE(query.Readings(CHistoryFilter(), readings)) << query.GetError();
        std::set<int> found;
        for (const CHistoryReading& r : readings) {
            found.insert(r.m_station.m_nNodeID);
        }
        return found;
    };
    // The reading made while the new file was locked went to the old one.
    EXPECT_EQ(nodes(LocalFile()), std::set<int>{4});
    EXPECT_EQ(nodes(other), std::set<int>{5});
}

TEST_F(HistoryRecording, PlantDatabaseGetsTheRecordsAndTheOutboxHoldsThemWhileItIsDown) {
    std::string reason;
    if (!CTempPostgres::IsInstalled(&reason)) {
        GTEST_SKIP() << reason;
    }
    CTempPostgres server;
    ASSERT_TRUE(server.Create()) << server.GetError();
    ASSERT_TRUE(server.Start()) << server.GetError();
    CCommandLineInfo info = NoSplash();
    info.m_bHistoryGiven = true;
    info.m_strHistory = server.Url();
    ASSERT_NO_FATAL_FAILURE(StartWith(info));
    auto serverReadings = [&](int nNodeID) {
        CHistoryQuery query;
        std::vector<CHistoryReading> readings;
        EXPECT_TRUE(query.Open(server.Url())) << query.GetError();
        CHistoryFilter filter;
        filter.m_nNodeID = nNodeID;
        EXPECT_TRUE(query.Readings(filter, readings)) << query.GetError();
        return readings.size();
    };
    ASSERT_NO_FATAL_FAILURE(ReadStatistics(6));
    ASSERT_TRUE(m_app->GetHistory()->WaitIdle(30000)) << m_app->GetHistory()->GetStatus().GetText();
    EXPECT_GE(serverReadings(6), 1u);
    EXPECT_TRUE(WaitUntil([&] { return Pane()->text() == "History: plant database"; }))
        << Pane()->text().toStdString();

    ASSERT_TRUE(server.Stop()) << server.GetError();
    ASSERT_NO_FATAL_FAILURE(ReadStatistics(7));
    ASSERT_TRUE(WaitUntil([&] {
        const CHistoryStatus s = m_app->GetHistory()->GetStatus();
        return s.m_server == CHistoryStatus::Server::unreachable && s.m_nWaiting >= 1;
    })) << m_app->GetHistory()->GetStatus().GetText();
    EXPECT_TRUE(WaitUntil([&] { return Pane()->text().endsWith(QStringLiteral("waiting")); }))
        << Pane()->text().toStdString();
    EXPECT_EQ(Pane()->toolTip().indexOf(QString::fromStdString(CTempPostgres::kPassword)), -1);

    ASSERT_TRUE(server.Start()) << server.GetError();
    ASSERT_TRUE(m_app->GetHistory()->WaitIdle(60000)) << m_app->GetHistory()->GetStatus().GetText();
    EXPECT_GE(serverReadings(7), 1u);
    EXPECT_EQ(m_app->GetHistory()->GetStatus().m_nWaiting, 0u);
}

} // namespace
