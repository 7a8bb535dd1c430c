#include "app/graphs/AxisScale.h"
#include "app/graphs/CompareDoc.h"
#include "app/graphs/ComparePlot.h"
#include "app/graphs/ControlChart.h"
#include "app/graphs/ControlChartPlot.h"

#include <gtest/gtest.h>

#include <cmath>
#include <set>

namespace {

// Nineteen crimps at 100 and one at 200: mean 105, and the squares of the differences
// 19 x 25 + 95 x 95 = 9500 over 19 give a deviation of the square root of 500.
std::vector<int> OneOutlier() {
    std::vector<int> values(20, 100);
    values[13] = 200;
    return values;
}

TEST(ControlChart, LimitsAreThreeDeviationsOfTheBatchValuesAndMarkWhatLiesBeyond) {
    const CControlChart chart(OneOutlier());
    EXPECT_DOUBLE_EQ(chart.GetMean(), 105.0);
    EXPECT_NEAR(chart.GetSigma(), std::sqrt(500.0), 1e-9);
    EXPECT_NEAR(chart.GetUpper(), 105.0 + 3.0 * std::sqrt(500.0), 1e-9);
    EXPECT_NEAR(chart.GetLower(), 105.0 - 3.0 * std::sqrt(500.0), 1e-9);
    EXPECT_EQ(chart.GetBeyond(), std::vector<int>{13});
    EXPECT_TRUE(chart.IsBeyond(13));
    EXPECT_FALSE(chart.IsBeyond(12));

    // Both sides count, and a value on a limit is not beyond it.
    std::vector<int> both(30, 1000);
    both[3] = 900;
    both[20] = 1100;
    const CControlChart twoSided(both);
    EXPECT_EQ(twoSided.GetBeyond(), (std::vector<int>{3, 20}));

    // Without spread nothing is beyond; one value has no deviation; nothing at all is empty.
    EXPECT_TRUE(CControlChart(std::vector<int>(10, 500)).GetBeyond().empty());
    const CControlChart single({4095});
    EXPECT_EQ(single.GetSigma(), 0.0);
    EXPECT_EQ(single.GetMean(), 4095.0);
    EXPECT_EQ(CControlChart().GetCount(), 0);
}

TEST(ControlChart, TheFullViewHoldsEveryValueAndBothLimits) {
    const CControlChart chart(OneOutlier());
    double low = 0.0;
    double high = 0.0;
    chart.FullRange(low, high);
    EXPECT_LT(low, chart.GetLower());
    EXPECT_GT(high, 200.0);
    EXPECT_GT(high, chart.GetUpper());
    // A flat batch still gets a range to draw in.
    CControlChart(std::vector<int>(5, 7)).FullRange(low, high);
    EXPECT_LT(low, 7.0);
    EXPECT_GT(high, 7.0);
}

TEST(ControlChartPlot, TheRubberBandZoomsTheValuesFromBothEnds) {
    const CControlChart chart(OneOutlier());
    CControlChartPlot plot;
    plot.ResetZoom(chart);
    EXPECT_FALSE(plot.IsZoomed());
    EXPECT_EQ(plot.m_fFirst, 0.0);
    EXPECT_EQ(plot.m_fLast, 19.0);
    plot.m_fLow = 0.0; // a round scale: 1 unit a pixel upward, 19 entries over 380 pixels
    plot.m_fHigh = 300.0;
    plot.SetPlot(QRect(50, 20, 380, 300));
    const QSize client(500, 400);
    EXPECT_EQ(plot.ToDevice(0.0, 0.0), QPointF(50.0, 320.0));

    // Too small once clipped to the plot: nothing changes.
    EXPECT_FALSE(plot.Zoom(QRect(10, 100, 49, 50), client));
    EXPECT_FALSE(plot.Zoom(QRect(100, 100, 50, 9), client));

    ASSERT_TRUE(plot.Zoom(QRect(150, 120, 100, 50), client));
    EXPECT_TRUE(plot.IsZoomed());
    EXPECT_DOUBLE_EQ(plot.m_fFirst, 5.0);
    EXPECT_DOUBLE_EQ(plot.m_fLast, 10.0);
    EXPECT_DOUBLE_EQ(plot.m_fHigh, 200.0);
    EXPECT_DOUBLE_EQ(plot.m_fLow, 150.0); // the bottom edge counts too

    plot.ResetZoom(chart);
    EXPECT_FALSE(plot.IsZoomed());
}

TEST(AxisScale, StepsAreRoundAndTicksCoverTheRange) {
    EXPECT_EQ(CAxisScale::Step(0, 4095, 10), 500.0);
    EXPECT_EQ(CAxisScale::Step(0, 100, 10), 10.0);
    EXPECT_EQ(CAxisScale::Step(98.2, 101.7, 8), 0.5);
    EXPECT_EQ(CAxisScale::Ticks(0, 4095, 10),
              (std::vector<double>{0, 500, 1000, 1500, 2000, 2500, 3000, 3500, 4000}));
    EXPECT_EQ(CAxisScale::Ticks(-3, 3, 3), (std::vector<double>{-2, 0, 2}));
    EXPECT_EQ(CAxisScale::Label(1500, 500), "1500");
    EXPECT_EQ(CAxisScale::Label(99.5, 0.5), "99.5");
    EXPECT_EQ(CAxisScale::Label(0.25, 0.25), "0.25");
    EXPECT_TRUE(CAxisScale::Ticks(0, NAN, 5).empty());
}

TEST(Compare, CurveTitlesGiveTheTimeAndThePaletteKeepsCurvesApart) {
    EXPECT_EQ(
        CCompareDoc::TimeFromTitle("Downloaded Curve - Press (A) (Node - 7) (12/05/2024 10:31:02)"),
        "12/05/2024 10:31:02");
    EXPECT_EQ(CCompareDoc::TimeFromTitle("My own title (x)"), "");
    EXPECT_EQ(CCompareDoc::TimeFromTitle("Downloaded Curve - Press A (Node - 7)"), "");

    CCompareCurve curve;
    curve.strStation = "Press A";
    curve.nNodeID = 7;
    EXPECT_EQ(curve.Legend(), "Press A (Node 7)");
    curve.strTime = "10:31";
    EXPECT_EQ(curve.Legend(), "Press A (Node 7) 10:31");

    // Every curve a window can hold has a look of its own.
    std::set<std::pair<QRgb, int>> looks;
    for (std::size_t i = 0; i < CCompareDoc::kMaxCurves; ++i) {
        looks.insert({CComparePlot::Colour(i).rgb(), static_cast<int>(CComparePlot::Dash(i))});
    }
    EXPECT_EQ(looks.size(), CCompareDoc::kMaxCurves);
}

} // namespace
