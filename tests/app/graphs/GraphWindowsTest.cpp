#include "app/framework/MDIChildWnd.h"
#include "app/framework/MDIFrameWnd.h"
#include "app/graphs/BatchDoc.h"
#include "app/graphs/BatchStatsDlg.h"
#include "app/graphs/BatchStatsText.h"
#include "app/graphs/BatchView.h"
#include "app/graphs/CompareDoc.h"
#include "app/graphs/CompareView.h"
#include "app/graphs/CurveDoc.h"
#include "app/graphs/CurveHistory.h"
#include "app/graphs/CurveView.h"
#include "app/network/QuorvelDoc.h"
#include "app/shell/QuorvelApp.h"
#include "app/shell/Resource.h"
#include "records/CurveFile.h"
#include "records/Press.h"
#include "sim/ZarnSimulator.h"
#include "tests/app/CsvTestSupport.h"
#include "tests/app/ShellTestSupport.h"
#include "tests/app/SimulatedAppTest.h"

#include <QApplication>
#include <QFileInfo>
#include <QGroupBox>
#include <QImage>
#include <QLabel>
#include <QPrinter>
#include <QRegularExpression>
#include <QTest>

#include <algorithm>
#include <fstream>
#include <set>

namespace {

const char* const kCurveFailed =
    "The curve download for Station 3 FAILED.\n\n(1) Ensure the Zarn Node ID is correct\n(2) "
    "Ensure Zarn is connected to the network\n(3) Ensure Zarn and network are powered ON.";

// The program started for each test, with its curve and batch window types.
class GraphWindows : public SimulatedAppTest {
protected:
    void SetUp() override {
        SimulatedAppTest::SetUp();
        ASSERT_NO_FATAL_FAILURE(StartApp());
        ASSERT_NE(m_app->m_pCurveTemplate, nullptr);
        ASSERT_NE(m_app->m_pBatchTemplate, nullptr);
        m_network = static_cast<CQuorvelDoc*>(m_app->m_pNetTemplate->GetDocuments().front());
        QApplication::processEvents();
    }

    // Lets the line's answers, posted closes and deletions happen.
    void Settle() {
        EXPECT_TRUE(WaitForLine());
        for (int i = 0; i < 3; ++i) {
            QApplication::processEvents();
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        }
    }
    CPress* Station(int node) { return m_network->FindPress(node); }
    std::vector<CDocument*> Curves() { return m_app->m_pCurveTemplate->GetDocuments(); }
    std::vector<CDocument*> Batches() { return m_app->m_pBatchTemplate->GetDocuments(); }
    CCurveDoc* OpenCurve(int node) {
        EXPECT_TRUE(m_app->OpenCurveWindow(Station(node)));
        Settle();
        return Curves().empty() ? nullptr : static_cast<CCurveDoc*>(Curves().back());
    }
    CBatchDoc* OpenBatch(int node) {
        EXPECT_TRUE(m_app->OpenBatchWindow(Station(node)));
        Settle();
        return Batches().empty() ? nullptr : static_cast<CBatchDoc*>(Batches().back());
    }
    void SetBatch(int node, std::vector<std::uint16_t> values) {
        SimAnalyserState state = State(node);
        state.batch = std::move(values);
        ASSERT_TRUE(s_sim->SetState(node, state));
    }
    static void Drag(QWidget* pView, QPoint from, QPoint to) {
        QTest::mousePress(pView, Qt::LeftButton, {}, from);
        QTest::mouseMove(pView, (from + to) / 2);
        QTest::mouseMove(pView, to);
        QTest::mouseRelease(pView, Qt::LeftButton, {}, to);
    }
    std::string Path(const std::string& name) { return m_config.WorkDir() + "/" + name; }
    static bool PrintsToPdf(CView* pView, const std::string& strPath) {
        QPrinter printer(QPrinter::HighResolution);
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(QString::fromStdString(strPath));
        return pView->PrintTo(&printer) && QFileInfo(QString::fromStdString(strPath)).size() > 1000;
    }

    CQuorvelDoc* m_network = nullptr;
};

// Room for a label's text: its contents less the indent, which a framed label takes from
// the side it is aligned to even when none is set.
int TextRoom(const QLabel* pLabel) {
    int indent = pLabel->indent();
    if (indent < 0) {
        indent = pLabel->frameWidth() > 0
                     ? pLabel->fontMetrics().horizontalAdvance(QLatin1Char('x')) / 2
                     : 0;
    }
    return pLabel->contentsRect().width() - 2 * pLabel->margin() - indent;
}

// The widest texts the analyser's values can give: each field and label is seen whole, inside
// its group box.
TEST(BatchStatsDialog, EveryFieldHoldsItsWidestText) {
    CStats stats;
    stats.m_fMean = 6553.5f;
    stats.m_fStdDev = 6553.5f;
    stats.m_fCpk = -3276.8f;
    stats.m_fCp = -3276.8f;
    stats.m_nMin = -32768;
    stats.m_nMax = -32768;
    stats.m_nBLO = 65535;
    stats.m_nGood = 0;
    stats.m_nBad = 65535;
    for (int pass = 0; pass < 2; ++pass) {
        CBatchStatsDlg dlg(stats);
        for (const auto& field : CBatchStatsText::Format(stats)) {
            auto* text = dlg.findChild<QLabel*>(QString::number(field.nID));
            ASSERT_NE(text, nullptr) << field.nID;
            EXPECT_EQ(text->text().toStdString(), field.strText);
        }
        const auto boxes = dlg.findChildren<QGroupBox*>();
        ASSERT_EQ(boxes.size(), 2);
        for (const QLabel* label : dlg.findChildren<QLabel*>()) {
            EXPECT_LE(label->fontMetrics().horizontalAdvance(label->text()), TextRoom(label))
                << label->text().toStdString();
            const bool inside = std::any_of(boxes.begin(), boxes.end(), [&](const QGroupBox* box) {
                return box->geometry().contains(label->geometry());
            });
            EXPECT_TRUE(inside) << label->text().toStdString();
        }
        std::swap(stats.m_nGood, stats.m_nBad); // 100.0% good this time
    }
}

TEST_F(GraphWindows, ACurveDownloadShowsItsWindowAndZooms) {
    CCurveDoc* doc = OpenCurve(1);
    ASSERT_NE(doc, nullptr);
    EXPECT_EQ(m_messages.Count(), 0u);
    EXPECT_TRUE(doc->m_bHasData);
    EXPECT_EQ(doc->GetTitle().rfind("Downloaded Curve - Station 1 (Node - 1) (", 0), 0u)
        << doc->GetTitle();
    const SimAnalyserState state = State(1);
    EXPECT_EQ(doc->m_pForce[499].y, state.curve[499]);
    EXPECT_EQ(doc->m_pReference[250].y, state.reference[250]);
    EXPECT_EQ(doc->m_pForce[500].x, 0);
    EXPECT_EQ(doc->m_pForce[500].y, 0);
    EXPECT_EQ(doc->m_nPeakForce, state.nPeakForce);
    EXPECT_EQ(doc->m_nPassCount, state.nPass);

    auto* view = static_cast<CCurveView*>(doc->GetFirstView());
    ASSERT_TRUE(view->GetParentFrame()->isVisible());
    EXPECT_EQ(view->GetLabels()[0], "Z1s : " + std::to_string(state.zones[0]));
    EXPECT_EQ(view->GetLabels()[4], "RS1 : " + std::to_string(state.rs[0]));
    EXPECT_TRUE(Enabled(ID_REFRESH_DATA));
    EXPECT_FALSE(Enabled(ID_CURVE_ZOOM_OUT));

    // The ground is green, the curves black over it.
    view->resize(501, 410);
    const QImage image = view->grab().toImage();
    EXPECT_EQ(image.pixelColor(image.width() - 2, 2), QColor(0, 150, 0));
    const int peakX = 250;
    bool black = false;
    for (int y = 0; y < image.height(); ++y) {
        black = black || image.pixelColor(peakX, y) == QColor(Qt::black);
    }
    EXPECT_TRUE(black);

    Drag(view, QPoint(100, 100), QPoint(109, 200));
    EXPECT_TRUE(view->IsFullView());
    Drag(view, QPoint(110, 110), QPoint(100, 100)); // inverted, 10 x 10
    EXPECT_FALSE(view->IsFullView());
    EXPECT_EQ(view->m_nOriginX, 100);
    EXPECT_EQ(view->m_nRangeX, 10);
    EXPECT_TRUE(Enabled(ID_CURVE_ZOOM_OUT));
    EXPECT_TRUE(m_app->m_pMainWnd->SendCommand(ID_CURVE_ZOOM_OUT));
    EXPECT_TRUE(view->IsFullView());

    EXPECT_TRUE(PrintsToPdf(view, Path("curve.pdf")));
    EXPECT_EQ(view->GetLabelHeight(), 100);
}

TEST_F(GraphWindows, FailedDownloadsCloseTheirWindows) {
    s_sim->SetFault(3, SimFault::silent);
    EXPECT_TRUE(m_app->OpenCurveWindow(Station(3)));
    Settle();
    EXPECT_TRUE(Curves().empty());
    ASSERT_EQ(m_messages.Count(), 1u);
    EXPECT_EQ(m_messages.Messages()[0].strText, kCurveFailed);
    EXPECT_EQ(m_messages.Messages()[0].nType, MB_OK | MB_ICONSTOP);

    EXPECT_TRUE(m_app->OpenBatchWindow(Station(3)));
    Settle();
    EXPECT_TRUE(Batches().empty());
    ASSERT_EQ(m_messages.Count(), 2u);
    EXPECT_EQ(m_messages.Messages()[1].strText.rfind("The batch buffer download for Station 3 "
                                                     "FAILED.\n\n(1) Ensure",
                                                     0),
              0u);

    // A batch longer than a document holds fails the same way rather than being cut.
    s_sim->SetFault(3, SimFault::longBatch);
    EXPECT_TRUE(m_app->OpenBatchWindow(Station(3)));
    Settle();
    EXPECT_TRUE(Batches().empty());
    EXPECT_EQ(m_messages.Count(), 3u);

    // An empty batch buffer names the node.
    s_sim->SetFault(3, SimFault::none);
    SetBatch(3, {});
    EXPECT_TRUE(m_app->OpenBatchWindow(Station(3)));
    Settle();
    EXPECT_TRUE(Batches().empty());
    ASSERT_EQ(m_messages.Count(), 4u);
    EXPECT_EQ(m_messages.Messages()[3].strText,
              "The Zarn connected to Node 3 currently has no batch buffer data.");
}

TEST_F(GraphWindows, AShownCurveWhoseAnalyserFallsSilentClosesOnReload) {
    CCurveDoc* doc = OpenCurve(3);
    ASSERT_NE(doc, nullptr);
    s_sim->SetFault(3, SimFault::silent);
    EXPECT_TRUE(m_app->m_pMainWnd->SendCommand(ID_REFRESH_DATA));
    Settle();
    EXPECT_TRUE(Curves().empty());
    ASSERT_EQ(m_messages.Count(), 1u);
    EXPECT_EQ(m_messages.Messages()[0].strText, kCurveFailed);
}

TEST_F(GraphWindows, ASavedCurveReopensWithItsTitleAndCannotReload) {
    CCurveDoc* doc = OpenCurve(2);
    ASSERT_NE(doc, nullptr);
    const std::string title = doc->GetTitle();
    const int zone = doc->m_nZoneInfo[1];
    ASSERT_NE(doc->m_nResultU[0], 0);
    ASSERT_TRUE(doc->DoSave(Path("press2.cur")));
    doc->OnCloseDocument();
    Settle();

    CDocument* opened = m_app->OpenDocumentFile(Path("press2.cur"));
    Settle();
    auto* curve = dynamic_cast<CCurveDoc*>(opened);
    ASSERT_NE(curve, nullptr);
    EXPECT_EQ(curve->GetTitle(), title);
    auto* view = static_cast<CCurveView*>(curve->GetFirstView());
    EXPECT_TRUE(view->GetParentFrame()->isVisible());
    EXPECT_EQ(view->GetLabels()[1], "Z2s : " + std::to_string(zone));
    EXPECT_EQ(view->GetLabels()[8], "RU1 : 0");
    EXPECT_FALSE(Enabled(ID_REFRESH_DATA));
    const unsigned long served = s_sim->RequestsServed();
    m_app->OnReloadAll();
    Settle();
    EXPECT_EQ(s_sim->RequestsServed(), served);
    EXPECT_EQ(curve->GetTitle(), title);
    EXPECT_EQ(m_messages.Count(), 0u);
}

TEST_F(GraphWindows, ABatchDownloadsSavesAndShowsItsStatistics) {
    Station(7)->SetName("Press A");
    SetBatch(7, {2500, 2410, 2600});
    CBatchDoc* doc = OpenBatch(7);
    ASSERT_NE(doc, nullptr);
    EXPECT_EQ(m_messages.Count(), 0u);
    EXPECT_EQ(doc->m_nCount, 3);
    EXPECT_EQ(doc->m_nLimitLine, 0);
    EXPECT_EQ(doc->m_pPoints[1].y, 2410);
    EXPECT_EQ(doc->m_stats.m_nBatchMax, 2600);
    EXPECT_EQ(doc->GetTitle().rfind("Batch Buffer  - Press A (Node - 7) (", 0), 0u)
        << doc->GetTitle();
    auto* view = static_cast<CBatchView*>(doc->GetFirstView());
    ASSERT_TRUE(view->GetParentFrame()->isVisible());
    EXPECT_EQ(view->m_nRangeX, 3);
    EXPECT_EQ(view->m_nRangeY, 2600);
    EXPECT_FALSE(Enabled(ID_BATCH_ZOOM_OUT));

    const std::string title = doc->GetTitle();
    ASSERT_TRUE(doc->DoSave(Path("pressA.buf")));
    std::ifstream file(Path("pressA.buf"), std::ios::binary);
    std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(file)), {});
    ASSERT_EQ(bytes.size(), 1 + title.size() + 2 + 4 + 2 + 24);
    EXPECT_EQ(bytes[0], title.size());
    EXPECT_EQ(std::string(bytes.begin() + 1, bytes.begin() + 1 + title.size()), title);
    const std::size_t at = 1 + title.size();
    EXPECT_EQ(bytes[at], 3);
    EXPECT_EQ(bytes[at + 1], 0);
    EXPECT_EQ(bytes[at + 2] | bytes[at + 3] | bytes[at + 4] | bytes[at + 5], 0);
    EXPECT_EQ(static_cast<short>(bytes[at + 6] | bytes[at + 7] << 8), doc->m_stats.m_nMax);

    // The dialog shows the analyser's statistics and only works out the totals.
    const CStats stats = doc->m_stats;
    std::string size;
    std::string goodPercent;
    WhenModal<CBatchStatsDlg>([&](CBatchStatsDlg* dlg) {
        size = dlg->GetFieldText(IDC_BATCH_SIZE);
        goodPercent = dlg->GetFieldText(IDC_BATCH_GOOD_PERCENT);
        dlg->reject();
    });
    EXPECT_TRUE(m_app->m_pMainWnd->SendCommand(ID_BATCH_STATISTICS));
    const unsigned total = stats.m_nGood + stats.m_nBad;
    EXPECT_EQ(size, std::to_string(total));
    ASSERT_GT(total, 0u);
    char expected[32];
    std::snprintf(expected, sizeof expected, "%3.1f%%", stats.m_nGood * 100.0 / total);
    EXPECT_EQ(goodPercent, expected);

    // A later, smaller batch: the largest value of every download stays the top.
    SetBatch(7, {100, 200});
    EXPECT_TRUE(m_app->m_pMainWnd->SendCommand(ID_REFRESH_DATA));
    Settle();
    EXPECT_EQ(doc->m_nCount, 2);
    EXPECT_EQ(doc->m_stats.m_nBatchMax, 2600);

    // The station is deleted from the layout: the batch still reloads from its node.
    m_network->RemovePress(Station(7));
    SetBatch(7, {300, 310, 320, 330});
    EXPECT_TRUE(m_app->m_pMainWnd->SendCommand(ID_REFRESH_DATA));
    Settle();
    EXPECT_EQ(doc->m_nCount, 4);
    EXPECT_EQ(doc->GetTitle().rfind("Batch Buffer  - Press A (Node - 7) (", 0), 0u);
    EXPECT_EQ(m_messages.Count(), 0u);

    EXPECT_TRUE(PrintsToPdf(view, Path("batch.pdf")));
}

TEST_F(GraphWindows, BatchZoomAndItsFileReopened) {
    std::vector<std::uint16_t> values;
    for (int i = 0; i < 250; ++i) {
        values.push_back(static_cast<std::uint16_t>(1000 + (i % 7) * 30));
    }
    SetBatch(5, values);
    CBatchDoc* doc = OpenBatch(5);
    ASSERT_NE(doc, nullptr);
    auto* view = static_cast<CBatchView*>(doc->GetFirstView());
    view->resize(620, 450);
    const QImage image = view->grab().toImage();
    EXPECT_EQ(view->m_nPlotWidth, 500);
    // The batch line is red inside the plot.
    bool red = false;
    for (int y = 20; y < 420; ++y) {
        red = red || image.pixelColor(300, y) == QColor(255, 0, 0);
    }
    EXPECT_TRUE(red);

    Drag(view, QPoint(100, 100), QPoint(300, 300));
    EXPECT_GT(view->m_nOriginX, 0);
    EXPECT_LT(view->m_nRangeX, 250);
    EXPECT_TRUE(Enabled(ID_BATCH_ZOOM_OUT));
    EXPECT_TRUE(m_app->m_pMainWnd->SendCommand(ID_BATCH_ZOOM_OUT));
    EXPECT_EQ(view->m_nRangeX, 250);
    EXPECT_EQ(view->m_nOriginX, 0);

    ASSERT_TRUE(doc->DoSave(Path("five.buf")));
    doc->OnCloseDocument();
    Settle();
    CDocument* opened = m_app->OpenDocumentFile(Path("five.buf"));
    Settle();
    auto* batch = dynamic_cast<CBatchDoc*>(opened);
    ASSERT_NE(batch, nullptr);
    EXPECT_EQ(batch->m_nCount, 250);
    EXPECT_FALSE(Enabled(ID_REFRESH_DATA));
    EXPECT_EQ(batch->m_stats.m_nBatchMax, 0);
    // A file's range reaches its largest entry.
    EXPECT_EQ(static_cast<CBatchView*>(batch->GetFirstView())->m_nRangeY, 1180);
}

TEST_F(GraphWindows, ReloadAllRefreshesEveryWindowAndDropsTheFailed) {
    CCurveDoc* curve = OpenCurve(4);
    CBatchDoc* batch = OpenBatch(6);
    ASSERT_NE(curve, nullptr);
    ASSERT_NE(batch, nullptr);
    auto* curveView = static_cast<CCurveView*>(curve->GetFirstView());
    auto* batchView = static_cast<CBatchView*>(batch->GetFirstView());
    curveView->m_nRangeX = 100;
    batchView->m_nRangeX = 5;
    SimAnalyserState state = State(4);
    state.nPeakForce = 1234;
    ASSERT_TRUE(s_sim->SetState(4, state));
    SetBatch(6, {10, 20, 30, 40, 50, 60, 70});

    m_app->OnReloadAll();
    Settle();
    EXPECT_EQ(m_messages.Count(), 0u);
    EXPECT_EQ(curve->m_nPeakForce, 1234);
    EXPECT_EQ(curveView->GetLabels()[3], "PK : 1234");
    EXPECT_TRUE(curveView->IsFullView());
    EXPECT_EQ(batch->m_nCount, 7);
    EXPECT_EQ(batchView->m_nRangeX, 7);

    s_sim->SetFault(4, SimFault::silent);
    m_app->OnReloadAll();
    Settle();
    EXPECT_TRUE(Curves().empty());
    ASSERT_EQ(Batches().size(), 1u);
    EXPECT_EQ(m_messages.Count(), 1u);
}

TEST_F(GraphWindows, TheControlChartMarksTheOutlierAndZoomsItsValues) {
    std::vector<std::uint16_t> values(40, 1000);
    for (std::size_t i = 0; i < values.size(); ++i) {
        values[i] = static_cast<std::uint16_t>(990 + (i % 5) * 5);
    }
    values[25] = 1400;
    SetBatch(5, values);
    CBatchDoc* doc = OpenBatch(5);
    ASSERT_NE(doc, nullptr);
    auto* view = static_cast<CBatchView*>(doc->GetFirstView());
    view->resize(620, 450);
    EXPECT_FALSE(view->IsControlChart());

    // The View menu's toggle: the chart of the downloaded values, the outlier marked.
    ASSERT_TRUE(m_app->m_pMainWnd->SendCommand(ID_CONTROL_CHART));
    EXPECT_TRUE(view->IsControlChart());
    EXPECT_EQ(m_app->m_pMainWnd->QueryCommand(ID_CONTROL_CHART).m_nCheck, 1);
    const CControlChart& chart = view->GetControlChart();
    EXPECT_EQ(chart.GetCount(), 40);
    EXPECT_EQ(chart.GetBeyond(), std::vector<int>{25});
    const QImage image = view->grab().toImage();
    const QRect plot = view->GetControlChartPlot().GetPlot();
    ASSERT_GT(plot.height(), 200);
    // The upper limit's dashes, in vermillion, run across the plot.
    const int upper =
        static_cast<int>(view->GetControlChartPlot().ToDevice(0, chart.GetUpper()).y());
    int dashes = 0;
    for (int x = plot.left() + 5; x < plot.right() - 5; ++x) {
        for (int y = upper - 1; y <= upper + 1; ++y) {
            dashes += image.pixelColor(x, y) == QColor(213, 94, 0) ? 1 : 0;
        }
    }
    EXPECT_GT(dashes, plot.width() / 4);

    // The band narrows the values from both ends; Zoom Out brings the whole chart back.
    const double fullLow = view->GetControlChartPlot().m_fLow;
    const double fullHigh = view->GetControlChartPlot().m_fHigh;
    const int top = plot.top() + plot.height() / 4;
    Drag(view, QPoint(plot.left() + 20, top), QPoint(plot.right() - 20, top + plot.height() / 2));
    EXPECT_GT(view->GetControlChartPlot().m_fLow, fullLow);
    EXPECT_LT(view->GetControlChartPlot().m_fHigh, fullHigh);
    EXPECT_TRUE(Enabled(ID_BATCH_ZOOM_OUT));
    QTest::keyClick(view, Qt::Key_Escape);
    EXPECT_EQ(view->GetControlChartPlot().m_fLow, fullLow);
    EXPECT_FALSE(Enabled(ID_BATCH_ZOOM_OUT));

    EXPECT_TRUE(PrintsToPdf(view, Path("chart.pdf")));

    // Toggled off, the batch graph is drawn as before.
    ASSERT_TRUE(m_app->m_pMainWnd->SendCommand(ID_CONTROL_CHART));
    EXPECT_FALSE(view->IsControlChart());
}

TEST_F(GraphWindows, CompareCurvesOverlaysWindowsFilesAndHistoryAndExports) {
    CCurveDoc* three = OpenCurve(3);
    CCurveDoc* five = OpenCurve(5);
    ASSERT_NE(three, nullptr);
    ASSERT_NE(five, nullptr);
    ASSERT_TRUE(three->DoSave(Path("three.cur")));
    std::ofstream(Path("damaged.cur"), std::ios::binary) << "not a curve";

    // The command opens a window with the curves of the open curve windows.
    ASSERT_TRUE(m_app->m_pMainWnd->SendCommand(ID_COMPARE_CURVES));
    ASSERT_EQ(m_app->m_pCompareTemplate->GetDocuments().size(), 1u);
    auto* doc = dynamic_cast<CCompareDoc*>(m_app->m_pCompareTemplate->GetDocuments().front());
    ASSERT_NE(doc, nullptr);
    ASSERT_EQ(doc->GetCurves().size(), 2u);
    const std::string legend = doc->GetCurves()[0].Legend();
    EXPECT_EQ(legend.rfind("Station 3 (Node 3) ", 0), 0u) << legend;
    // Times one way in the whole window: ISO 8601 date and time, local.
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d$"))
                    .match(QString::fromStdString(doc->GetCurves()[0].strTime))
                    .hasMatch())
        << doc->GetCurves()[0].strTime;
    EXPECT_EQ(doc->GetCurves()[1].points.size(), 500u);
    EXPECT_EQ(m_app->m_pMainWnd->GetMenuID(), IDR_COMPARETYPE);

    // Added again they are not doubled, from their windows nor from their files; a damaged
    // file is refused.
    auto* view = static_cast<CCompareView*>(doc->GetFirstView());
    ASSERT_TRUE(m_app->m_pMainWnd->SendCommand(ID_COMPARE_ADD_WINDOWS));
    EXPECT_EQ(doc->GetCurves().size(), 2u);
    EXPECT_EQ(m_messages.Count(), 1u);
    view->AddFiles({Path("three.cur"), Path("damaged.cur")});
    ASSERT_EQ(doc->GetCurves().size(), 2u);
    ASSERT_EQ(m_messages.Count(), 2u);
    EXPECT_EQ(m_messages.Messages().back().strText,
              "The file " + Path("damaged.cur") + " could not be read as a Zarn force curve.");

    // The history adds what its picker gives, and only while there is one.
    CCurveHistory::SetPicker({});
    EXPECT_FALSE(Enabled(ID_COMPARE_ADD_HISTORY));
    CCompareCurve recorded;
    recorded.strStation = "Station 9";
    recorded.nNodeID = 9;
    recorded.strTime = "yesterday";
    recorded.strSource = "history";
    recorded.points = {{0, 10}, {1, 2000}, {2, 30}};
    CCurveHistory::SetPicker([recorded](QWidget*) { return std::vector<CCompareCurve>{recorded}; });
    ASSERT_TRUE(m_app->m_pMainWnd->SendCommand(ID_COMPARE_ADD_HISTORY));
    ASSERT_EQ(doc->GetCurves().size(), 3u);
    EXPECT_EQ(doc->GetCurves()[2].Legend(), "Station 9 (Node 9) yesterday");
    // The same record again is refused, said in the status bar.
    ASSERT_TRUE(m_app->m_pMainWnd->SendCommand(ID_COMPARE_ADD_HISTORY));
    CCurveHistory::SetPicker({});
    EXPECT_EQ(doc->GetCurves().size(), 3u);
    EXPECT_EQ(m_app->m_pMainWnd->GetMessageText(),
              "The curve is compared already; it was not added again.");

    // The legend lists every curve below the plot, where a right click can remove one.
    view->resize(700, 450);
    const QImage shown = view->grab().toImage();
    EXPECT_EQ(view->GetPlot().LegendEntryAt(QPoint(-1, -1)), -1);
    std::set<int> entries;
    for (int y = 0; y < shown.height(); y += 3) {
        for (int x = 0; x < shown.width(); x += 3) {
            entries.insert(view->GetPlot().LegendEntryAt(QPoint(x, y)));
        }
    }
    EXPECT_EQ(entries, (std::set<int>{-1, 0, 1, 2}));

    // Exports: a PNG picture with the curves' colours and a PDF document.
    ASSERT_TRUE(view->ExportPng(Path("curves.png")));
    QImage png(QString::fromStdString(Path("curves.png")));
    ASSERT_FALSE(png.isNull());
    // The lines are smoothed: a pixel near a curve's colour counts.
    auto near = [](QColor a, QColor b) {
        return std::abs(a.red() - b.red()) + std::abs(a.green() - b.green()) +
                   std::abs(a.blue() - b.blue()) <
               40;
    };
    int blue = 0;
    int vermillion = 0;
    for (int y = 0; y < png.height(); ++y) {
        for (int x = 0; x < png.width(); ++x) {
            blue += near(png.pixelColor(x, y), CComparePlot::Colour(0)) ? 1 : 0;
            vermillion += near(png.pixelColor(x, y), CComparePlot::Colour(1)) ? 1 : 0;
        }
    }
    EXPECT_GT(blue, 50);
    EXPECT_GT(vermillion, 50);
    ASSERT_TRUE(view->ExportPdf(Path("curves.pdf")));
    std::ifstream pdf(Path("curves.pdf"), std::ios::binary);
    std::string head(5, '\0');
    pdf.read(head.data(), 5);
    EXPECT_EQ(head, "%PDF-");
    EXPECT_GT(QFileInfo(QString::fromStdString(Path("curves.pdf"))).size(), 2000);
    EXPECT_FALSE(view->ExportPng(m_config.WorkDir() + "/missing/folder/curves.png"));
    EXPECT_EQ(m_messages.Count(), 2u);
}

} // namespace

// Export: the curve and the batch as CSV that any spreadsheet reads whatever its locale, and
// their graphs as PNG and PDF; a file that cannot be written is refused, with its reason.
TEST_F(GraphWindows, CurveAndBatchExportAsCsvPngAndPdf) {
    CCurveDoc* curve = OpenCurve(3);
    SetBatch(7, {2500, 2410, 2600});
    CBatchDoc* batch = OpenBatch(7);
    ASSERT_NE(curve, nullptr);
    ASSERT_NE(batch, nullptr);
    auto* curveView = static_cast<CCurveView*>(curve->GetFirstView());
    auto* batchView = static_cast<CBatchView*>(batch->GetFirstView());
    // A decimal comma in the program's locale must not reach the files.
    const std::locale before = std::locale::global(std::locale::classic());
    try {
        std::locale::global(std::locale("de_DE.UTF-8"));
    } catch (const std::runtime_error&) {
    }
    // The pictures name the curve's station, node and time; the axes go with the View menu.
    EXPECT_EQ(CCurveView::Caption(*curve).rfind("Station 3 (node 3), 20", 0), 0u)
        << CCurveView::Caption(*curve);
    ASSERT_TRUE(curveView->AreAxesShown());
    m_app->m_pMainWnd->MDIActivate(curveView->GetParentFrame());
    ASSERT_TRUE(m_app->m_pMainWnd->SendCommand(ID_CURVE_AXES));
    EXPECT_FALSE(curveView->AreAxesShown());
    ASSERT_TRUE(m_app->m_pMainWnd->SendCommand(ID_CURVE_AXES));
    using Format = CExportFile::Format;
    std::string reason;
    ASSERT_TRUE(curveView->Export(Path("curve.csv"), Format::csv, &reason)) << reason;
    ASSERT_TRUE(batchView->Export(Path("batch.csv"), Format::csv, &reason)) << reason;
    std::locale::global(before);

    std::vector<std::vector<std::string>> rows;
    ASSERT_TRUE(ParseCsvFile(Path("curve.csv"), rows));
    ASSERT_EQ(rows.size(), 20u + 1u + 500u);
    EXPECT_EQ(rows[0], (std::vector<std::string>{"Station", "Station 3"}));
    EXPECT_EQ(rows[1], (std::vector<std::string>{"Node", "3"}));
    EXPECT_TRUE(IsIsoUtc(rows[2][1])) << rows[2][1];
    EXPECT_EQ(rows[4][1], std::to_string(curve->m_nZoneInfo[0]));
    EXPECT_EQ(rows[9], (std::vector<std::string>{"Peak", std::to_string(curve->m_nPeakForce)}));
    EXPECT_EQ(rows[18], (std::vector<std::string>{"Pass", std::to_string(curve->m_nPassCount)}));
    EXPECT_EQ(rows[20], (std::vector<std::string>{"Index", "Force", "Reference"}));
    for (int i = 0; i < 500; i += 99) {
        const auto& line = rows[21 + static_cast<std::size_t>(i)];
        EXPECT_EQ(line,
                  (std::vector<std::string>{std::to_string(i), std::to_string(curve->m_pForce[i].y),
                                            std::to_string(curve->m_pReference[i].y)}));
    }

    ASSERT_TRUE(ParseCsvFile(Path("batch.csv"), rows));
    ASSERT_EQ(rows.size(), 6u + 3u + 12u);
    EXPECT_TRUE(IsIsoUtc(rows[2][1])) << rows[2][1];
    EXPECT_EQ(rows[7], (std::vector<std::string>{"1", "2410"}));
    EXPECT_EQ(rows[9][0], "Good");
    EXPECT_EQ(rows[9][1], std::to_string(batch->m_stats.m_nGood));
    for (std::size_t i = 9; i < rows.size(); ++i) {
        ASSERT_EQ(rows[i].size(), 2u);
        EXPECT_TRUE(IsPlainNumber(rows[i][1])) << rows[i][0] << ": " << rows[i][1];
    }

    // The pictures: the graph as shown, and as printed on one page.
    ASSERT_TRUE(curveView->Export(Path("curve.png"), Format::png, &reason)) << reason;
    ASSERT_TRUE(batchView->Export(Path("batch.pdf"), Format::pdf, &reason)) << reason;
    EXPECT_EQ(FileHead(Path("curve.png"), 8), "\x89PNG\r\n\x1a\n");
    EXPECT_EQ(QImage(QString::fromStdString(Path("curve.png"))).size(), curveView->size());
    EXPECT_EQ(FileHead(Path("batch.pdf"), 5), "%PDF-");
    EXPECT_GT(QFileInfo(QString::fromStdString(Path("batch.pdf"))).size(), 1000);

    EXPECT_FALSE(curveView->Export(m_config.WorkDir() + "/missing/c.csv", Format::csv, &reason));
    EXPECT_FALSE(reason.empty());
    EXPECT_EQ(m_messages.Count(), 0u);
}

// A saved curve holds exactly the bytes the shared layout (zarnctl's --save) writes for the
// same curve, and such a file opens in a curve window with what it holds.
TEST_F(GraphWindows, ASavedCurveIsTheSharedLayoutByteForByte) {
    CCurveDoc* doc = OpenCurve(5);
    ASSERT_NE(doc, nullptr);
    ASSERT_TRUE(doc->DoSave(Path("five.cur")));
    CCurveRecord record;
    record.m_strTitle = doc->m_strSavedTitle;
    record.m_pForce = doc->m_pForce;
    record.m_pReference = doc->m_pReference;
    record.m_nNodeID = 5;
    record.m_strStation = "Station 5";
    std::copy(std::begin(doc->m_nZoneInfo), std::end(doc->m_nZoneInfo), record.m_nZoneInfo);
    record.m_nPeakForce = doc->m_nPeakForce;
    std::ifstream file(Path("five.cur"), std::ios::binary);
    const std::vector<std::uint8_t> saved((std::istreambuf_iterator<char>(file)), {});
    EXPECT_EQ(saved, CCurveFile::ToBytes(record));

    record.m_strStation = "Presse Ü";
    record.m_nPeakForce = 1234;
    std::string reason;
    ASSERT_TRUE(CCurveFile::WriteFile(Path("shared.cur"), record, &reason)) << reason;
    CDocument* opened = m_app->m_pCurveTemplate->OpenDocumentFile(Path("shared.cur").c_str());
    auto* reread = dynamic_cast<CCurveDoc*>(opened);
    ASSERT_NE(reread, nullptr);
    EXPECT_EQ(reread->m_strStation, "Presse Ü");
    EXPECT_EQ(reread->m_nPeakForce, 1234);
    EXPECT_TRUE(std::equal(reread->m_pForce.begin(), reread->m_pForce.end(), doc->m_pForce.begin(),
                           doc->m_pForce.end(),
                           [](tagPOINT a, tagPOINT b) { return a.x == b.x && a.y == b.y; }));
    EXPECT_EQ(m_messages.Count(), 0u);
}
