#include "app/framework/FrameworkIds.h"
#include "app/framework/MDIChildWnd.h"
#include "app/framework/MDIFrameWnd.h"
#include "app/graphs/HistoryCurvePicker.h"
#include "app/historyview/HistoryDoc.h"
#include "app/historyview/HistoryRange.h"
#include "app/historyview/HistoryView.h"
#include "app/shell/QuorvelApp.h"
#include "app/shell/Registry.h"
#include "history/HistoryStore.h"
#include "network/Stats.h"
#include "records/CurveRecord.h"
#include "records/TimeText.h"
#include "tests/app/SimulatedAppTest.h"

#include <gtest/gtest.h>

#include <QChart>
#include <QComboBox>
#include <QDateTimeEdit>
#include <QLineSeries>
#include <QMdiArea>
#include <QTest>
#include <QTreeWidget>

#include <fstream>

namespace {

constexpr std::int64_t kHour = CHistoryRange::kHour;

class HistoryWindow : public SimulatedAppTest {
protected:
    std::string Path(const std::string& name) { return m_config.WorkDir() + "/" + name; }

    // Three readings of Station 3 an hour or more apart, and one change between them.
    void Seed(const std::string& path) {
        CHistoryStore store;
        CHistoryStore::COptions options;
        options.m_strTarget = path;
        ASSERT_TRUE(store.Open(options));
        CHistoryStation station;
        station.m_nNodeID = 3;
        station.m_strName = "Station 3";
        const std::int64_t now = CTimeText::NowUtcMs();
        for (int i = 0; i < 3; ++i) {
            CStats stats;
            stats.m_nNodeID = 3;
            stats.m_nGood = 95;
            stats.m_nBad = static_cast<unsigned short>(5 * i);
            stats.m_fMean = 1000.0f + static_cast<float>(i);
            stats.m_fCp = 1.5f;
            stats.m_fCpk = 1.0f + 0.2f * static_cast<float>(i);
            store.RecordStatistics(station, stats, CHistoryStore::Source::poll,
                                   now - (5 - 2 * i) * kHour);
        }
        CHistoryChange change;
        change.m_parameter = CHistoryChange::Parameter::blo;
        change.m_nBefore = 50;
        change.m_nAfter = 60;
        change.m_bOk = true;
        change.m_strUser = "tester";
        change.m_nTimeMs = now - 2 * kHour;
        store.RecordChange(station, change);
        CCurveRecord curve;
        curve.m_nNodeID = 3;
        curve.m_strStation = "Station 3";
        curve.m_nPeakForce = 2345;
        curve.m_pForce[10] = {10, 2345};
        curve.m_nTimeMs = now - kHour;
        store.RecordCurve(station, curve);
        ASSERT_TRUE(store.WaitIdle(10000));
        store.Close();
    }

    // Runs the events until the window has its answer.
    static bool WaitAnswered(const CHistoryDoc* doc) {
        const bool bAnswered = QTest::qWaitFor(
            [doc] { return doc->GetState() != CHistoryDoc::State::loading; }, 15000);
        QCoreApplication::processEvents();
        return bAnswered;
    }
};

TEST(HistoryRangeTest, ChartsKeepToAFewHundredPointsWhateverTheRange) {
    EXPECT_EQ(CHistoryRange::BucketMs(24 * kHour), 5 * CHistoryRange::kMinute);
    EXPECT_EQ(CHistoryRange::BucketMs(365 * CHistoryRange::kDay), CHistoryRange::kDay);
    for (std::int64_t length :
         {std::int64_t{1}, kHour, 30 * CHistoryRange::kDay, 20 * 365 * CHistoryRange::kDay}) {
        EXPECT_LE(length / CHistoryRange::BucketMs(length), CHistoryRange::kMaxBuckets) << length;
    }
    CHistoryRange range;
    range.m_span = CHistoryRange::Span::custom;
    range.m_nFromMs = 5000;
    range.m_nToMs = 1000;
    range.Resolve(0);
    EXPECT_EQ(range.LengthMs(), 4000);
}

TEST(HistoryRangeTest, TicksFallOnRoundHoursOrEveryDayAndTheSpanFitsTheRecords) {
    constexpr std::int64_t kDay = CHistoryRange::kDay;
    EXPECT_EQ(CHistoryRange::TickStepMs(kDay), 2 * kHour);
    EXPECT_EQ(CHistoryRange::TickStepMs(7 * kDay), kDay);
    EXPECT_EQ(CHistoryRange::TickStepMs(14 * kDay), kDay);
    EXPECT_EQ(CHistoryRange::TickStepMs(30 * kDay), 5 * kDay);
    EXPECT_EQ(CHistoryRange::TickStepMs(365 * kDay), 60 * kDay);
    const std::int64_t now = 1000 * kDay;
    EXPECT_EQ(CHistoryRange::FittingSpan(now - 5 * kHour, now), CHistoryRange::Span::day);
    EXPECT_EQ(CHistoryRange::FittingSpan(now - 2 * kDay, now), CHistoryRange::Span::week);
    EXPECT_EQ(CHistoryRange::FittingSpan(now - 20 * kDay, now), CHistoryRange::Span::month);
    EXPECT_EQ(CHistoryRange::FittingSpan(now - 200 * kDay, now), CHistoryRange::Span::year);
}

TEST_F(HistoryWindow, OpensInsideTheWorkspaceOnARangeThatFitsItsRecords) {
    ASSERT_NO_FATAL_FAILURE(Seed(Path("history.db")));
    WriteRegString(HKEY_LOCAL_MACHINE, REG_KEY_SETTINGS, "HistoryTarget", Path("history.db"));
    ASSERT_NO_FATAL_FAILURE(StartApp());
    m_app->m_pMainWnd->resize(700, 500);
    QCoreApplication::processEvents();
    CHistoryDoc* doc = CHistoryDoc::OpenFor({{"Station 3", 3}});
    ASSERT_NE(doc, nullptr);
    auto* view = dynamic_cast<CHistoryView*>(doc->GetFirstView());
    ASSERT_NE(view, nullptr);
    ASSERT_TRUE(WaitAnswered(doc));

    // Every record is younger than a day: the last 24 hours, shown in the greyed fields.
    EXPECT_EQ(doc->GetRange().m_span, CHistoryRange::Span::day);
    EXPECT_EQ(view->GetSpanBox()->currentIndex(), static_cast<int>(CHistoryRange::Span::day));
    EXPECT_FALSE(view->GetFromEdit()->isEnabled());
    const std::int64_t shown = view->GetToEdit()->dateTime().toMSecsSinceEpoch() -
                               view->GetFromEdit()->dateTime().toMSecsSinceEpoch();
    EXPECT_NEAR(static_cast<double>(shown), static_cast<double>(CHistoryRange::kDay), 60e3 * 2);

    // The window stands inside the workspace, and a tile keeps it in its slot.
    CMDIChildWnd* frame = view->GetParentFrame();
    QMdiArea* area = frame->mdiArea();
    const QRect client(QPoint(0, 0), area->viewport()->size());
    EXPECT_TRUE(client.contains(frame->geometry())) << frame->geometry().width();
    ASSERT_TRUE(m_app->m_pMainWnd->SendCommand(ID_WINDOW_TILE_HORZ));
    QCoreApplication::processEvents();
    const QRect tiled(QPoint(0, 0), area->viewport()->size());
    EXPECT_TRUE(tiled.contains(frame->geometry()))
        << frame->geometry().x() << "," << frame->geometry().y() << " " << frame->geometry().width()
        << "x" << frame->geometry().height() << " in " << tiled.width() << "x" << tiled.height();
    const QSize minimum = frame->minimumSize().expandedTo(frame->minimumSizeHint());
    EXPECT_LE(minimum.width(), client.width() / 2);
    EXPECT_LE(minimum.height(), client.height() / 2);
}

TEST_F(HistoryWindow, ChartsTheRecordedReadingsAndListsTheChanges) {
    ASSERT_NO_FATAL_FAILURE(Seed(Path("history.db")));
    WriteRegString(HKEY_LOCAL_MACHINE, REG_KEY_SETTINGS, "HistoryTarget", Path("history.db"));
    ASSERT_NO_FATAL_FAILURE(StartApp());

    CHistoryDoc* doc = CHistoryDoc::OpenFor({{"Station 3", 3}});
    ASSERT_NE(doc, nullptr);
    auto* view = dynamic_cast<CHistoryView*>(doc->GetFirstView());
    ASSERT_NE(view, nullptr);
    ASSERT_TRUE(WaitAnswered(doc));
    EXPECT_EQ(doc->GetError(), "");
    EXPECT_EQ(view->GetStatusText(), "");

    // A line per station with a point per reading (each in an hour of its own), and the
    // alarm line across the Cpk chart.
    QChart* cpk = view->GetChart(CHistoryView::chartCpk);
    ASSERT_EQ(cpk->series().size(), 2);
    auto* station = static_cast<QLineSeries*>(cpk->series()[0]);
    EXPECT_EQ(station->name().toStdString(), "Station 3");
    ASSERT_EQ(station->count(), 3);
    EXPECT_NEAR(station->at(2).y(), 1.4, 1e-3);
    ASSERT_NE(view->GetCpkAlarmLine(), nullptr);
    EXPECT_NEAR(view->GetCpkAlarmLine()->at(0).y(), 1.33, 1e-9);
    auto* bad = static_cast<QLineSeries*>(view->GetChart(CHistoryView::chartBad)->series()[0]);
    ASSERT_EQ(bad->count(), 3);
    EXPECT_NEAR(bad->at(1).y(), 5.0, 1e-3);

    QTreeWidget* changes = view->GetChangeList();
    ASSERT_EQ(changes->topLevelItemCount(), 1);
    QTreeWidgetItem* row = changes->topLevelItem(0);
    EXPECT_EQ(row->text(1).toStdString(), "Station 3");
    EXPECT_EQ(row->text(2).toStdString(), "BLO");
    EXPECT_EQ(row->text(3).toStdString(), "50");
    EXPECT_EQ(row->text(4).toStdString(), "60");
    EXPECT_EQ(row->text(5).toStdString(), "ok");
    EXPECT_EQ(row->text(6).toStdString(), "tester");

    // A range before anything was recorded: said so, and nothing charted.
    CHistoryRange range;
    range.m_span = CHistoryRange::Span::custom;
    range.m_nFromMs = CTimeText::NowUtcMs() - 400 * CHistoryRange::kDay;
    range.m_nToMs = range.m_nFromMs + CHistoryRange::kDay;
    doc->SetRange(range);
    doc->Refresh();
    ASSERT_TRUE(WaitAnswered(doc));
    EXPECT_EQ(view->GetStatusText(), "Nothing was recorded for these stations in this time range.");
    EXPECT_EQ(static_cast<QLineSeries*>(cpk->series()[0])->count(), 0);
    EXPECT_EQ(changes->topLevelItemCount(), 0);

    // The charts as a picture.
    std::string reason;
    ASSERT_TRUE(view->ExportPng(Path("history.png"), &reason)) << reason;
    std::ifstream png(Path("history.png"), std::ios::binary);
    std::string head(4, '\0');
    png.read(head.data(), 4);
    EXPECT_EQ(head, "\x89PNG");

    // Compare Curves' picker lists the recorded curve and hands it over.
    CHistoryCurvePicker picker(Path("history.db"));
    ASSERT_TRUE(QTest::qWaitFor([&picker] { return !picker.IsLoading(); }, 15000));
    ASSERT_EQ(picker.GetList()->topLevelItemCount(), 1) << picker.GetStatusText();
    EXPECT_EQ(picker.GetList()->topLevelItem(0)->text(3).toStdString(), "2345");
    picker.GetList()->topLevelItem(0)->setSelected(true);
    const std::vector<CCompareCurve> chosen = picker.GetChosen();
    ASSERT_EQ(chosen.size(), 1u);
    EXPECT_EQ(chosen[0].Legend().rfind("Station 3 (Node 3) ", 0), 0u) << chosen[0].Legend();
    ASSERT_EQ(chosen[0].points.size(), 500u);
    EXPECT_EQ(chosen[0].points[10].y, 2345);

    // A file that is no history: the reason, and the program goes on.
    std::ofstream(Path("foreign.db")) << "not a database at all, just text";
    WriteRegString(HKEY_LOCAL_MACHINE, REG_KEY_SETTINGS, "HistoryTarget", Path("foreign.db"));
    CHistoryDoc* broken = CHistoryDoc::OpenFor({{"Station 3", 3}});
    ASSERT_NE(broken, nullptr);
    ASSERT_TRUE(WaitAnswered(broken));
    const std::string status = static_cast<CHistoryView*>(broken->GetFirstView())->GetStatusText();
    EXPECT_EQ(status.rfind("No history: ", 0), 0u) << status;
    EXPECT_GT(status.size(), 12u);
    EXPECT_EQ(m_messages.Count(), 0u);
}

} // namespace
