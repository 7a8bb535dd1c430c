#include "app/framework/MDIFrameWnd.h"
#include "app/network/QuorvelDoc.h"
#include "app/shell/PreferencesDlg.h"
#include "app/shell/QuorvelApp.h"
#include "app/shell/Resource.h"
#include "app/stats/StatsDoc.h"
#include "app/stats/StatsFormat.h"
#include "app/stats/StatsFrame.h"
#include "app/stats/StatsView.h"
#include "base/FileIO.h"
#include "records/Press.h"
#include "sim/ZarnSimulator.h"
#include "tests/app/CsvTestSupport.h"
#include "tests/app/SimulatedAppTest.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QHeaderView>
#include <QTest>
#include <QTreeWidget>

namespace {

// The program, started by each test, with its statistics window.
class StatsWindow : public SimulatedAppTest {
protected:
    void Start() {
        ASSERT_NO_FATAL_FAILURE(StartApp());
        ASSERT_EQ(m_app->m_pStatsTemplate->GetDocuments().size(), 1u);
        m_stats = dynamic_cast<CStatsDoc*>(m_app->m_pStatsTemplate->GetDocuments().front());
        ASSERT_NE(m_stats, nullptr);
        m_view = dynamic_cast<CStatsView*>(m_stats->GetFirstView());
        ASSERT_NE(m_view, nullptr);
        m_list = m_view->GetListCtrl();
        m_network = static_cast<CQuorvelDoc*>(m_app->m_pNetTemplate->GetDocuments().front());
        QApplication::processEvents();
    }
    // Ends the program as File Exit does: everything saved and closed.
    void Exit() {
        EXPECT_TRUE(m_app->m_pMainWnd->SendCommand(ID_APP_EXIT));
        m_app->ExitInstance();
        m_app.reset();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    CPress* Station(int node) { return m_network->FindPress(node); }
    void Add(int node, bool bReport = true) {
        m_app->AddToStatistics(Station(node), bReport);
        EXPECT_TRUE(WaitForLine());
    }
    void Tick() {
        m_view->OnTimer(m_view->m_nTimerID);
        EXPECT_TRUE(WaitForLine());
    }
    std::string Cell(int row, int column) {
        QTreeWidgetItem* item = m_list->topLevelItem(row);
        return item != nullptr ? item->text(column).toStdString() : "<none>";
    }
    std::vector<std::string> Names() {
        std::vector<std::string> names;
        for (int i = 0; i < m_list->topLevelItemCount(); ++i) {
            names.push_back(Cell(i, 0));
        }
        return names;
    }
    // Gives the analyser a batch of good crimps at 1000 (nine unless told) and one bad at 2000.
    static void SetBatch(int node, std::size_t nGood = 9) {
        SimAnalyserState state;
        ASSERT_TRUE(s_sim->GetState(node, state));
        state.nLowerLimit = 900;
        state.nUpperLimit = 1100;
        state.batch.assign(nGood, 1000);
        state.batch.push_back(2000);
        ASSERT_TRUE(s_sim->SetState(node, state));
    }
    std::vector<std::uint8_t> ListFile() {
        std::vector<std::uint8_t> bytes;
        EXPECT_TRUE(ReadWholeFile(m_config.WorkDir() + "/statswnd.vlm", bytes));
        return bytes;
    }

    CStatsDoc* m_stats = nullptr;
    CStatsView* m_view = nullptr;
    QTreeWidget* m_list = nullptr;
    CQuorvelDoc* m_network = nullptr;
};

TEST_F(StatsWindow, OpensEmptyWithItsColumnsAndPolls) {
    Start();
    EXPECT_EQ(m_messages.Count(), 0u);
    EXPECT_EQ(m_stats->GetTitle(), "Process Statistics");
    EXPECT_EQ(m_stats->GetPathName(), m_config.WorkDir() + "/statswnd.vlm");
    EXPECT_TRUE(ListFile().empty()); // made at start-up
    EXPECT_NE(dynamic_cast<CStatsFrame*>(m_app->m_pStatsFrame), nullptr);
    EXPECT_EQ(m_app->m_pStatsFrame->GetWindow()->size(), QSize(660, 200));
    EXPECT_TRUE(m_app->m_pStatsFrame->IsWindowVisible());
    ASSERT_EQ(m_list->columnCount(), 12);
    EXPECT_EQ(m_list->headerItem()->text(0).toStdString(), "Station");
    EXPECT_EQ(m_list->headerItem()->text(4).toStdString(), "%Bad");
    EXPECT_EQ(m_list->headerItem()->text(11).toStdString(), "Cpk");
    EXPECT_EQ(m_list->columnWidth(0), 100);
    EXPECT_EQ(m_list->columnWidth(7), 50);
    EXPECT_EQ(m_list->topLevelItemCount(), 0);
    EXPECT_NE(m_view->m_nTimerID, -1);

    // An empty list asks nobody; a listed station is asked by the timer itself.
    unsigned long before = s_sim->RequestsServed();
    Tick();
    EXPECT_EQ(s_sim->RequestsServed(), before);
    Add(2);
    ASSERT_EQ(m_list->topLevelItemCount(), 1);
    EXPECT_FALSE(m_list->topLevelItem(0)->icon(0).isNull());
    before = s_sim->RequestsServed();
    EXPECT_TRUE(QTest::qWaitFor([&] { return s_sim->RequestsServed() > before; }, 4500));
    EXPECT_EQ(m_stats->GetRows().GetNextRow(), 1);
}

TEST_F(StatsWindow, AddingStationsAndTheirMessages) {
    Start();
    SetBatch(3);
    Station(3)->SetName("Crimp 3");
    Add(3);
    EXPECT_EQ(m_messages.Count(), 0u);
    ASSERT_EQ(m_list->topLevelItemCount(), 1);
    EXPECT_EQ(Cell(0, 0), "Crimp 3");
    EXPECT_EQ(Cell(0, 1), "9");
    EXPECT_EQ(Cell(0, 2), "1");
    EXPECT_EQ(Cell(0, 3), "10");
    EXPECT_EQ(Cell(0, 4), "10.0%");
    EXPECT_EQ(Cell(0, 5), "90.0%");
    EXPECT_EQ(Cell(0, 6), "1000");
    EXPECT_EQ(Cell(0, 7), "2000");
    EXPECT_EQ(Cell(0, 8), "1100.0");
    EXPECT_EQ(Cell(0, 9), "316.2");

    // The same station again: told so, still one row; quietly: nothing at all.
    Add(3);
    ASSERT_EQ(m_messages.Count(), 1u);
    EXPECT_EQ(m_messages.Messages()[0].strText, "The Zarn is already in the statistics window.");
    EXPECT_EQ(m_messages.Messages()[0].nType, MB_OK | MB_ICONINFORMATION);
    Add(3, false);
    EXPECT_EQ(m_messages.Count(), 1u);
    EXPECT_EQ(m_list->topLevelItemCount(), 1);

    // A silent analyser: reported with the station's name, and no row; quietly, no message.
    s_sim->SetFault(5, SimFault::silent);
    Add(5);
    ASSERT_EQ(m_messages.Count(), 2u);
    EXPECT_EQ(m_messages.Messages()[1].strText,
              "The statistics download for Station 5 FAILED.\n\n(1) Ensure the Zarn Node ID is "
              "correct\n(2) Ensure Zarn is connected to the network\n(3) Ensure Zarn and network "
              "are powered ON.");
    EXPECT_EQ(m_messages.Messages()[1].nType, MB_OK | MB_ICONSTOP);
    Add(5, false);
    EXPECT_EQ(m_messages.Count(), 2u);
    EXPECT_EQ(m_stats->GetRows().GetCount(), 1);
    EXPECT_EQ(m_list->topLevelItemCount(), 1);

    // Adding to the hidden window shows it again.
    EXPECT_TRUE(m_app->m_pMainWnd->SendCommand(ID_STATISTICS_WINDOW));
    EXPECT_FALSE(m_app->m_pStatsFrame->IsWindowVisible());
    Add(7, false);
    EXPECT_TRUE(m_app->m_pStatsFrame->IsWindowVisible());
    EXPECT_EQ(Names(), (std::vector<std::string>{"Crimp 3", "Station 7"}));
}

TEST_F(StatsWindow, EachTickRefreshesOneRowAndASilentOneTurnsStaleWithoutHoldingUpTheRest) {
    Start();
    for (int node : {1, 2, 3}) {
        Add(node);
    }
    ASSERT_EQ(m_list->topLevelItemCount(), 3);
    SetBatch(1);
    SetBatch(3, 19);
    Tick();
    EXPECT_EQ(Cell(0, 3), "10");
    EXPECT_EQ(Cell(0, 4), "10.0%");
    EXPECT_EQ(m_stats->GetRows().GetNextRow(), 1);

    // A tick of another timer asks nobody.
    unsigned long before = s_sim->RequestsServed();
    m_view->OnTimer(m_view->m_nTimerID + 1);
    EXPECT_EQ(s_sim->RequestsServed(), before);

    // The second goes silent: it keeps its values, greyed, with the time of its last reading
    // in its tool tip; the third is refreshed all the same, and nothing is said.
    std::string good2 = Cell(1, 1);
    QTreeWidgetItem* row2 = m_list->topLevelItem(1);
    const QColor normal = row2->foreground(1).color();
    s_sim->SetFault(2, SimFault::silent);
    Tick();
    EXPECT_EQ(Cell(1, 1), good2);
    EXPECT_NE(row2->foreground(1).color(), normal);
    EXPECT_TRUE(row2->toolTip(0).startsWith("No answer. Last reading: 20"))
        << row2->toolTip(0).toStdString();
    Tick();
    EXPECT_EQ(Cell(2, 3), "20");
    EXPECT_EQ(Cell(2, 4), "5.0%");
    EXPECT_EQ(m_messages.Count(), 0u);

    // Round again past the silent one; when it answers it is fresh.
    ASSERT_TRUE(s_sim->AddCrimps(1, {1000}));
    Tick();
    EXPECT_EQ(Cell(0, 3), "11");
    s_sim->SetFault(2, SimFault::none);
    Tick();
    EXPECT_TRUE(row2->toolTip(0).isEmpty());
    EXPECT_EQ(row2->foreground(1).color(), normal);
}

TEST_F(StatsWindow, DeleteRemovesTheUpperSelectedRow) {
    Start();
    for (int node : {4, 5, 6}) {
        Add(node);
    }
    ASSERT_EQ(m_list->topLevelItemCount(), 3);
    m_list->topLevelItem(1)->setSelected(true);
    m_list->topLevelItem(2)->setSelected(true);
    QTest::keyClick(m_list, Qt::Key_A);
    EXPECT_EQ(m_list->topLevelItemCount(), 3);
    QTest::keyClick(m_list, Qt::Key_Delete);
    EXPECT_EQ(Names(), (std::vector<std::string>{"Station 4", "Station 6"}));
    EXPECT_EQ(m_stats->GetRows().GetNodeIDs(), (std::vector<std::int32_t>{4, 6}));

    // The next tick's row was the deleted last one: the round begins again at the top.
    Tick();
    Tick();
    EXPECT_EQ(m_stats->GetRows().GetNextRow(), 2);
    m_list->clearSelection();
    m_list->topLevelItem(1)->setSelected(true);
    QTest::keyClick(m_list, Qt::Key_Delete);
    unsigned long before = s_sim->RequestsServed();
    Tick();
    EXPECT_GT(s_sim->RequestsServed(), before);
    EXPECT_EQ(m_stats->GetRows().GetNextRow(), 1);

    // Nothing selected: Delete does nothing.
    m_list->clearSelection();
    QTest::keyClick(m_list, Qt::Key_Delete);
    EXPECT_EQ(Names(), (std::vector<std::string>{"Station 4"}));
}

TEST_F(StatsWindow, TheWindowWillNotCloseAndTheToggleHidesIt) {
    Start();
    Add(8);
    CFrameWnd* frame = m_app->m_pStatsFrame;
    frame->GetWindow()->close();
    frame->ActivateFrame();
    ASSERT_EQ(m_app->m_pMainWnd->MDIGetActive(), frame);
    EXPECT_EQ(m_app->m_pMainWnd->GetMenuID(), IDR_STATSTYPE);
    EXPECT_TRUE(m_app->m_pMainWnd->SendCommand(ID_FILE_CLOSE));
    QApplication::processEvents();
    ASSERT_EQ(m_app->m_pStatsTemplate->GetDocuments().size(), 1u);
    EXPECT_TRUE(frame->IsWindowVisible());
    EXPECT_EQ(m_list->topLevelItemCount(), 1);

    // Hidden, it goes on polling; shown again, it is the same window.
    EXPECT_TRUE(m_app->m_pMainWnd->SendCommand(ID_STATISTICS_WINDOW));
    EXPECT_FALSE(frame->IsWindowVisible());
    unsigned long before = s_sim->RequestsServed();
    Tick();
    EXPECT_GT(s_sim->RequestsServed(), before);
    EXPECT_TRUE(m_app->m_pMainWnd->SendCommand(ID_STATISTICS_WINDOW));
    EXPECT_TRUE(frame->IsWindowVisible());
    EXPECT_EQ(m_app->m_pStatsFrame, frame);
    EXPECT_EQ(m_messages.Count(), 0u);
}

TEST_F(StatsWindow, AStationDeletedFromTheLayoutKeepsItsRow) {
    Start();
    Add(9);
    CPress* station = Station(9);
    m_network->RemovePress(station);
    EXPECT_EQ(Station(9), nullptr);
    SetBatch(9);
    Tick();
    EXPECT_EQ(Cell(0, 0), "Station 9");
    EXPECT_EQ(Cell(0, 3), "10");
}

TEST_F(StatsWindow, TheListIsWrittenAtTheEndAndRestoredAtTheNextStart) {
    Start();
    Add(3);
    Add(12);
    Exit();
    EXPECT_EQ(ListFile(), (std::vector<std::uint8_t>{2, 0, 0, 0, 3, 0, 0, 0, 12, 0, 0, 0}));

    // The next start puts the rows back quietly, in the file's order; a node no station has
    // is left out and named in the status bar; a silent analyser's row stands, stale.
    ASSERT_TRUE(WriteFileAtomically(m_config.WorkDir() + "/statswnd.vlm",
                                    {3, 0, 0, 0, 12, 0, 0, 0, 77, 0, 0, 0, 3, 0, 0, 0}));
    s_sim->SetFault(3, SimFault::silent);
    Start();
    ASSERT_TRUE(WaitForLine());
    EXPECT_EQ(Names(), (std::vector<std::string>{"Station 12", "Station 3"}));
    EXPECT_EQ(m_stats->GetRows().GetNodeIDs(), (std::vector<std::int32_t>{12, 3}));
    EXPECT_TRUE(m_stats->GetRows().IsStale(1));
    EXPECT_FALSE(m_stats->GetRows().IsStale(0));
    EXPECT_EQ(m_app->m_pMainWnd->GetMessageText(),
              "Statistics list: no station on the layout for node 77; left out");
    EXPECT_EQ(m_messages.Count(), 0u);
    Exit();
    EXPECT_EQ(ListFile(), (std::vector<std::uint8_t>{2, 0, 0, 0, 12, 0, 0, 0, 3, 0, 0, 0}));
}

TEST_F(StatsWindow, HeadingsSortTheTableAndCpkCellsShowTheirBand) {
    EXPECT_EQ(CStatsView::Band(0.99, 1.33), CStatsView::bandLow);
    EXPECT_EQ(CStatsView::Band(1.0, 1.33), CStatsView::bandMarginal);
    EXPECT_EQ(CStatsView::Band(1.33, 1.33), CStatsView::bandCapable);
    Start();
    SetBatch(1, 29); // 30 crimps
    SetBatch(2, 4);  // 5
    SetBatch(3, 9);  // 10
    for (int node : {1, 2, 3}) {
        Add(node);
    }
    m_view->SortBy(3); // Total, ascending
    EXPECT_EQ(Names(), (std::vector<std::string>{"Station 2", "Station 3", "Station 1"}));
    m_view->SortBy(3); // and the other way round
    EXPECT_EQ(Names(), (std::vector<std::string>{"Station 1", "Station 3", "Station 2"}));
    // The polling order stays the order of adding.
    EXPECT_EQ(m_stats->GetRows().GetNodeIDs(), (std::vector<std::int32_t>{1, 2, 3}));
    // Export writes the table as shown, sorted, each row with its reading's time.
    std::string reason;
    ASSERT_TRUE(m_view->ExportCsv(m_config.WorkDir() + "/stats.csv", &reason)) << reason;
    std::vector<std::vector<std::string>> rows;
    ASSERT_TRUE(ParseCsvFile(m_config.WorkDir() + "/stats.csv", rows));
    ASSERT_EQ(rows.size(), 4u);
    EXPECT_EQ(rows[0][0], "Time");
    EXPECT_EQ(rows[0][13], "Cpk");
    const std::vector<std::string> totals = {"30", "10", "5"};
    for (std::size_t i = 1; i < rows.size(); ++i) {
        ASSERT_EQ(rows[i].size(), rows[0].size());
        EXPECT_TRUE(IsIsoUtc(rows[i][0])) << rows[i][0];
        EXPECT_EQ(rows[i][1], Names()[i - 1]);
        EXPECT_EQ(rows[i][5], totals[i - 1]);
        for (std::size_t c = 2; c < rows[i].size(); ++c) {
            EXPECT_TRUE(IsPlainNumber(rows[i][c])) << rows[i][c];
        }
    }
    // One bad crimp far out of limits of 900-1100: a process no one would call capable.
    QTreeWidgetItem* item = m_list->topLevelItem(0);
    EXPECT_EQ(item->data(CStatsView::kCpkColumn, Qt::UserRole).toInt(), CStatsView::bandLow);

    // Remove from the context menu asks first; No keeps the row.
    m_messages.Answer(IDNO);
    EXPECT_FALSE(m_view->RemoveRow(3, true));
    EXPECT_TRUE(m_view->RemoveRow(3, true));
    EXPECT_EQ(m_stats->GetRows().GetNodeIDs(), (std::vector<std::int32_t>{1, 2}));
    EXPECT_EQ(m_messages.Messages()[0].nType, MB_YESNO | MB_ICONEXCLAMATION | MB_DEFBUTTON2);
}

TEST_F(StatsWindow, NamesSortNaturallyAndTheChosenOrderComesBack) {
    EXPECT_LT(CStatsFormat::CompareNatural("Station 2", "Station 10"), 0);
    EXPECT_LT(CStatsFormat::CompareNatural("press", "Press 1"), 0);
    EXPECT_EQ(CStatsFormat::CompareNatural("St 007", "st 7"), 0);
    Start();
    for (int node : {10, 2, 11, 1}) {
        Add(node);
    }
    m_view->SortBy(0);
    EXPECT_EQ(Names(),
              (std::vector<std::string>{"Station 1", "Station 2", "Station 10", "Station 11"}));
    m_view->SortBy(0);
    ASSERT_EQ(m_view->GetSortOrder(), Qt::DescendingOrder);
    Exit();

    // The next start sorts the same way, the rows added in any order.
    Start();
    ASSERT_TRUE(WaitForLine());
    EXPECT_EQ(m_view->GetSortColumn(), 0);
    EXPECT_EQ(m_view->GetSortOrder(), Qt::DescendingOrder);
    EXPECT_EQ(Names(),
              (std::vector<std::string>{"Station 11", "Station 10", "Station 2", "Station 1"}));
}

TEST_F(StatsWindow, CpAndCpkAreColouredOnlyFromTheFewestCrimpsThatCount) {
    SetBatch(1, 23); // 24 crimps: one too few
    SetBatch(2, 24); // 25: enough
    Start();
    Add(1);
    Add(2);
    ASSERT_EQ(Names(), (std::vector<std::string>{"Station 1", "Station 2"}));
    for (int column : {CStatsView::kCpColumn, CStatsView::kCpkColumn}) {
        QTreeWidgetItem* few = m_list->topLevelItem(0);
        EXPECT_EQ(few->data(column, Qt::UserRole).toInt(), CStatsView::bandUnrated);
        EXPECT_EQ(few->background(column).style(), Qt::NoBrush);
        EXPECT_EQ(few->toolTip(column).toStdString(), "Too few crimps (24)");
        QTreeWidgetItem* enough = m_list->topLevelItem(1);
        EXPECT_EQ(enough->data(column, Qt::UserRole).toInt(), CStatsView::bandLow);
        EXPECT_NE(enough->background(column).style(), Qt::NoBrush);
        EXPECT_TRUE(enough->toolTip(column).isEmpty());
    }
    // A lower minimum from the preferences rates the first row at once.
    CPreferences prefs = CPreferences::Load();
    prefs.m_nMinCrimps = 20;
    CPreferencesDlg::Apply(prefs);
    EXPECT_EQ(m_list->topLevelItem(0)->data(CStatsView::kCpkColumn, Qt::UserRole).toInt(),
              CStatsView::bandLow);
}

TEST_F(StatsWindow, ADamagedListFileIsReportedAndReplaced) {
    ASSERT_TRUE(WriteFileAtomically(m_config.WorkDir() + "/statswnd.vlm", {5, 0, 0, 0, 1, 0}));
    Start();
    ASSERT_EQ(m_messages.Count(), 1u);
    EXPECT_EQ(m_messages.Messages()[0].strText, "Unexpected file format.");
    // The window stands all the same, and works.
    ASSERT_NE(m_app->m_pStatsFrame, nullptr);
    EXPECT_TRUE(m_stats->m_aNodeIDs.empty());
    Add(6);
    EXPECT_EQ(m_list->topLevelItemCount(), 1);
    Exit();
    EXPECT_EQ(ListFile(), (std::vector<std::uint8_t>{1, 0, 0, 0, 6, 0, 0, 0}));
}

} // namespace
