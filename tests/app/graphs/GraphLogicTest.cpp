#include "app/graphs/AxisScale.h"
#include "app/graphs/BatchGraph.h"
#include "app/graphs/BatchStatsText.h"
#include "app/graphs/CurveDoc.h"
#include "app/graphs/CurveGraph.h"
#include "app/stats/StatsFormat.h"
#include "network/Stats.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cstdio>
#include <map>
#include <string>

namespace {

std::vector<std::string> Labels(const std::vector<CBatchTick>& ticks) {
    std::vector<std::string> labels;
    for (const CBatchTick& tick : ticks) {
        labels.push_back(tick.strLabel);
    }
    return labels;
}

// A band dragged from one corner to the other, as the views take it.
QRect Band(QPoint from, QPoint to) {
    return QRect(from, QSize(to.x() - from.x(), to.y() - from.y()));
}

TEST(CurveGraph, FullViewPutsTheOriginAtTheAreasBottomLeft) {
    CCurveGraph graph;
    EXPECT_TRUE(graph.IsFullView());
    const CGraphMapping screen = graph.Mapping(QRect(0, 0, 501, 410));
    EXPECT_EQ(screen.ToDevice(0, 0), QPoint(0, 410));
    EXPECT_EQ(screen.ToDevice(501, 4095), QPoint(501, 0));
    // On a printer the area starts 100 pixels in, but the graph still starts at device x 0.
    const CGraphMapping printer = graph.Mapping(QRect(QPoint(100, 100), QPoint(4899, 6899)));
    EXPECT_EQ(printer.ToDevice(0, 0), QPoint(0, 6900));
    EXPECT_EQ(printer.ToDevice(501, 4095), QPoint(4800, 6900 - 6800));
}

TEST(CurveGraph, RubberBandsZoomFromTenPixelsAndNest) {
    CCurveGraph graph;
    const QSize client(501, 819); // one pixel a sample, 5 units a pixel upward
    EXPECT_FALSE(graph.Zoom(QRect(100, 100, 9, 50), client));
    EXPECT_FALSE(graph.Zoom(QRect(100, 100, 50, 9), client));
    EXPECT_TRUE(graph.IsFullView());

    ASSERT_TRUE(graph.Zoom(QRect(100, 419, 10, 10), client));
    EXPECT_FALSE(graph.IsFullView());
    EXPECT_EQ(graph.m_nOriginX, 100);
    EXPECT_EQ(graph.m_nRangeX, 10);
    EXPECT_EQ(graph.m_nOriginY, 1950); // (819 - 429) * 5
    EXPECT_EQ(graph.m_nRangeY, 50);

    // A second band zooms into what is shown; a band reaching outside is clipped first.
    ASSERT_TRUE(graph.Zoom(QRect(-40, -40, 291, 450), client));
    EXPECT_EQ(graph.m_nOriginX, 100);
    EXPECT_EQ(graph.m_nRangeX, 5);
    EXPECT_EQ(graph.m_nRangeY, 25);
    EXPECT_EQ(graph.m_nOriginY, 1975);

    graph.ResetZoom();
    EXPECT_TRUE(graph.IsFullView());
    EXPECT_EQ(graph.m_nRangeY, 4095);
    EXPECT_EQ(graph.m_nOriginY, 0);
}

TEST(CurveGraph, TwelveLabelsFromTheDocumentSignedAndUnsigned) {
    CCurveDoc doc;
    doc.m_nZoneInfo[0] = 100;
    doc.m_nZoneInfo[1] = 175;
    doc.m_nZoneInfo[2] = 250;
    doc.m_nPeakForce = 2481;
    doc.m_nResultS[0] = -33;
    doc.m_nResultS[3] = -6;
    doc.m_nResultU[0] = 65535;
    doc.m_nResultU[3] = 13;
    const auto labels = CCurveGraph::FormatLabels(doc);
    EXPECT_EQ(labels[0], "Z1s : 100");
    EXPECT_EQ(labels[2], "Z3s : 250");
    EXPECT_EQ(labels[3], "PK : 2481");
    EXPECT_EQ(labels[4], "RS1 : -33");
    EXPECT_EQ(labels[6], "RS3 : 0");
    EXPECT_EQ(labels[7], "RSO : -6");
    EXPECT_EQ(labels[8], "RU1 : 65535");
    EXPECT_EQ(labels[11], "RUO : 13");
}

TEST(BatchGraph, AxisSteps) {
    EXPECT_EQ(CBatchGraph::AxisStep(0), 1);
    EXPECT_EQ(CBatchGraph::AxisStep(9), 1);
    EXPECT_EQ(CBatchGraph::AxisStep(10), 5);
    EXPECT_EQ(CBatchGraph::AxisStep(100), 5);
    EXPECT_EQ(CBatchGraph::AxisStep(101), 10);
    EXPECT_EQ(CBatchGraph::AxisStep(250), 25);
    EXPECT_EQ(CBatchGraph::AxisStep(1234), 120);
    EXPECT_EQ(CBatchGraph::AxisStep(4095), 405);
}

TEST(BatchGraph, AxesOfAFullRange) {
    CBatchGraph graph;
    graph.ResetZoom(250, 1234);
    const CBatchLayout layout = graph.Layout(QRect(0, 0, 620, 450), false);
    EXPECT_EQ(graph.m_nPlotLeft, 50);
    EXPECT_EQ(graph.m_nPlotWidth, 500);
    EXPECT_EQ(graph.m_nPlotHeight, 400);
    EXPECT_EQ(graph.m_nPlotBottom, 420);
    EXPECT_EQ(layout.nLabelPixels, 20);

    EXPECT_EQ(layout.nStepX, 25);
    EXPECT_EQ(layout.nEndX, 275);
    const auto xLabels = Labels(layout.xTicks);
    ASSERT_EQ(xLabels.size(), 12u);
    EXPECT_EQ(xLabels.front(), "275");
    EXPECT_EQ(xLabels.back(), "0");
    // The axis reaches past the plot to the raised end value; ticks hang 1 % of the height.
    EXPECT_EQ(layout.xAxis, QLine(50, 420, 600, 420));
    EXPECT_EQ(layout.xTicks.back().tick, QLine(50, 420, 50, 424));

    EXPECT_EQ(layout.nStepY, 120);
    EXPECT_EQ(layout.nTopY, 1320);
    const auto yLabels = Labels(layout.yTicks);
    ASSERT_EQ(yLabels.size(), 12u);
    EXPECT_EQ(yLabels.front(), "1320");
    EXPECT_EQ(yLabels[10], "120");
    EXPECT_EQ(yLabels.back(), ""); // none at 0
    EXPECT_EQ(layout.yAxis, QLine(50, 420, 50, 20));
    EXPECT_EQ(layout.yTicks.front().tick, QLine(50, 20, 48, 20));
    // Labels end left of the tick and stand a little above it.
    EXPECT_EQ(layout.yTicks.front().labelAt, QPoint(45, 12));
    // Data and labels share the scale: the top label's value at the plot's top.
    EXPECT_EQ(layout.data.ToDevice(0, 1320), QPoint(50, 20));
    EXPECT_EQ(layout.data.ToDevice(250, 0), QPoint(550, 420));
}

TEST(BatchGraph, SmallBatchesAndPrinting) {
    CBatchGraph graph;
    graph.ResetZoom(7, 8);
    CBatchLayout layout = graph.Layout(QRect(0, 0, 400, 300), false);
    EXPECT_EQ(layout.nStepX, 1);
    EXPECT_EQ(layout.nEndX, 7);
    EXPECT_EQ(Labels(layout.xTicks),
              (std::vector<std::string>{"7", "6", "5", "4", "3", "2", "1", "0"}));
    EXPECT_EQ(layout.nStepY, 1);
    EXPECT_EQ(layout.nTopY, 9);

    graph.ResetZoom(60, 4095);
    layout = graph.Layout(QRect(QPoint(100, 100), QPoint(4899, 6899)), true);
    EXPECT_EQ(layout.nEndX, 65);
    EXPECT_EQ(graph.m_nPlotLeft, 150);
    EXPECT_EQ(graph.m_nPlotWidth, 4680);
    EXPECT_EQ(graph.m_nPlotBottom, 6870);

    // Printer pixels are small: the plot moves in as far as its labels need, and they stay
    // at most the size given.
    const auto measure = [](const std::string& text, int nPixels) {
        return static_cast<int>(text.size()) * nPixels / 2;
    };
    layout = graph.Layout(QRect(QPoint(100, 100), QPoint(4899, 6899)), true, 133, measure);
    EXPECT_EQ(layout.nLabelPixels, 133);
    EXPECT_EQ(layout.nTopY, 4455);
    EXPECT_EQ(graph.m_nPlotLeft, 100 + 4 * 133 / 2 + 48);
    EXPECT_EQ(graph.m_nPlotLeft + graph.m_nPlotWidth, 150 + 4680);
    EXPECT_EQ(graph.m_nPlotBottom, 7000 - 68 - 199);
    EXPECT_EQ(graph.m_nPlotBottom - graph.m_nPlotHeight, 6870 - 6750);
    // A large window keeps the margins; only the labels stay small.
    layout = graph.Layout(QRect(0, 0, 1200, 1000), false, 11, measure);
    EXPECT_EQ(layout.nLabelPixels, 11);
    EXPECT_EQ(graph.m_nPlotLeft, 50);
    EXPECT_EQ(graph.m_nPlotBottom, 970);

    // An empty batch still lays out.
    graph.ResetZoom(0, 0);
    layout = graph.Layout(QRect(0, 0, 10, 10), false);
    EXPECT_EQ(layout.nTopY, 1);
    EXPECT_EQ(graph.m_nPlotWidth, 1);
}

TEST(BatchGraph, RubberBandZoomKeepsTheValueAxisAtZero) {
    CBatchGraph graph;
    graph.ResetZoom(250, 1234);
    const QSize client(620, 710); // a plot of 500 x 660 pixels: 2 units a pixel each way
    CBatchLayout layout = graph.Layout(QRect(QPoint(0, 0), client), false);
    const QPoint topLeft = layout.data.ToDevice(40, 800);
    const QPoint bottomRight = layout.data.ToDevice(90, 200);
    EXPECT_FALSE(graph.Zoom(QRect(topLeft, QSize(9, 100)), client));
    ASSERT_TRUE(graph.Zoom(Band(topLeft, bottomRight), client));
    EXPECT_EQ(graph.m_nOriginX, 40);
    EXPECT_EQ(graph.m_nRangeX, 50);
    EXPECT_EQ(graph.m_nRangeY, 800);
    EXPECT_EQ(graph.m_nOriginY, 0);
    int first = 0;
    int last = 0;
    graph.DataEntries(250, first, last);
    EXPECT_EQ(first, 40);
    EXPECT_EQ(last, 91); // entries 40 to 90
    EXPECT_EQ(graph.LimitEnd(250), 90);

    // Left of the vertical axis: the range starts at entry 0 and still ends under the band.
    graph.ResetZoom(250, 1234);
    layout = graph.Layout(QRect(QPoint(0, 0), client), false);
    ASSERT_TRUE(graph.Zoom(Band(QPoint(5, 30), layout.data.ToDevice(60, 100)), client));
    EXPECT_EQ(graph.m_nOriginX, 0);
    EXPECT_EQ(graph.m_nRangeX, 60);

    // Past the last entry the range stops at what was shown.
    graph.ResetZoom(20, 100);
    layout = graph.Layout(QRect(QPoint(0, 0), client), false);
    ASSERT_TRUE(graph.Zoom(Band(layout.data.ToDevice(10, 50), QPoint(615, 700)), client));
    EXPECT_EQ(graph.m_nOriginX, 10);
    EXPECT_EQ(graph.m_nRangeX, 10);
    graph.DataEntries(20, first, last);
    EXPECT_EQ(last, 20);
}

TEST(BatchGraph, NoZoomBeforeTheFirstDraw) {
    CBatchGraph graph;
    graph.ResetZoom(100, 1000);
    EXPECT_FALSE(graph.Zoom(QRect(10, 10, 100, 100), QSize(400, 300)));
}

TEST(BatchStatsText, ValuesTotalsAndPercentages) {
    CStats stats;
    stats.m_fMean = 2492.94f;
    stats.m_fStdDev = 46.75f;
    stats.m_fCpk = 1.04f;
    stats.m_fCp = 1.1f;
    stats.m_nMin = -5;
    stats.m_nMax = 2548;
    stats.m_nBLO = 77;
    stats.m_nGood = 39;
    stats.m_nBad = 1;
    std::map<UINT, std::string> text;
    for (const auto& field : CBatchStatsText::Format(stats)) {
        text[field.nID] = field.strText;
    }
    EXPECT_EQ(text[IDC_BATCH_MEAN], "2492.9");
    EXPECT_EQ(text[IDC_BATCH_STDDEV], "46.8");
    EXPECT_EQ(text[IDC_BATCH_CPK], "1.0");
    EXPECT_EQ(text[IDC_BATCH_MIN], "-5");
    EXPECT_EQ(text[IDC_BATCH_MAX], "2548");
    EXPECT_EQ(text[IDC_BATCH_BLO], "77");
    EXPECT_EQ(text[IDC_BATCH_SIZE], "40");
    EXPECT_EQ(text[IDC_BATCH_GOOD_PERCENT], "97.5%");
    EXPECT_EQ(text[IDC_BATCH_BAD_PERCENT], "2.5%");

    // Counts near the 16-bit limit add up without wrapping; no crimps at all give 0.0%.
    stats.m_nGood = 65535;
    stats.m_nBad = 65535;
    EXPECT_EQ(CBatchStatsText::Format(stats)[9].strText, "131070");
    stats.m_nGood = 0;
    stats.m_nBad = 0;
    const auto fields = CBatchStatsText::Format(stats);
    EXPECT_EQ(fields[9].strText, "0");
    EXPECT_EQ(fields[10].strText, "0.0%");
    EXPECT_EQ(fields[11].strText, "0.0%");
}

} // namespace

namespace {

// The process locale as Qt leaves it on a desktop with LC_ALL=de_DE.UTF-8; false when that
// locale cannot be had (then the caller skips).
bool UseDecimalCommaLocale() {
    if (std::setlocale(LC_ALL, "de_DE.UTF-8") == nullptr) {
        return false;
    }
    char text[8];
    std::snprintf(text, sizeof text, "%.1f", 2.5);
    return std::string(text) == "2,5" && std::string(std::localeconv()->decimal_point) == ",";
}

TEST(LocaleProofNumbers, StatisticsLabelsAndAxesKeepTheDotUnderADecimalComma) {
    const std::string saved = std::setlocale(LC_ALL, nullptr);
    if (!UseDecimalCommaLocale()) {
        std::setlocale(LC_ALL, saved.c_str());
        GTEST_SKIP() << "no de_DE.UTF-8 locale with a decimal comma (./setup.sh generates it)";
    }
    CStats stats;
    stats.m_nGood = 7;
    stats.m_nBad = 1;
    stats.m_fMean = 12.25f;
    stats.m_fCp = 1.5f;
    const auto row = CStatsFormat::FormatRow(stats);
    const auto batchText = CBatchStatsText::Format(stats);
    CCurveDoc doc;
    doc.m_nPeakForce = 2481;
    const auto curveLabels = CCurveGraph::FormatLabels(doc);
    CBatchGraph graph;
    graph.ResetZoom(250, 1234);
    const auto batchAxis = Labels(graph.Layout(QRect(0, 0, 620, 450), false).yTicks);
    const std::string forceAxis = CAxisScale::Label(2.5, 0.5);
    std::setlocale(LC_ALL, saved.c_str());

    EXPECT_EQ(row[3], "12.5%"); // %Bad
    EXPECT_EQ(row[4], "87.5%"); // %Good
    EXPECT_EQ(row[7], "12.2");  // Mean
    EXPECT_EQ(row[9], "1.5");   // Cp
    EXPECT_EQ(batchText[0].strText, "12.2");
    EXPECT_EQ(batchText[10].strText, "87.5%");
    EXPECT_EQ(curveLabels[3], "PK : 2481");
    ASSERT_FALSE(batchAxis.empty());
    EXPECT_EQ(batchAxis.front().find_first_not_of("0123456789"), std::string::npos);
    EXPECT_EQ(forceAxis, "2.5");
}

} // namespace
