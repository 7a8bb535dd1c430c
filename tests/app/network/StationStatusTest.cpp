#include "app/network/StationStatus.h"
#include "app/network/QuorvelView.h"
#include "records/Press.h"

#include <gtest/gtest.h>

namespace {

using State = CStationStatus::State;

CStats Reading(unsigned short good, unsigned short bad, float cpk) {
    CStats stats;
    stats.m_nGood = good;
    stats.m_nBad = bad;
    stats.m_fCpk = cpk;
    return stats;
}

TEST(StationStatus, StatesAndTheirThresholds) {
    CStationStatus status;
    const auto now = std::chrono::system_clock::now();
    EXPECT_EQ(status.GetState(7), State::unknown);

    // Cpk at the threshold is fine, below it an alarm; so is a bad share above 2 %.
    CStats ok = Reading(98, 2, 1.33f);
    status.NoteReading(7, &ok, now);
    EXPECT_EQ(status.GetState(7), State::answering);
    CStats lowCpk = Reading(98, 2, 1.32f);
    status.NoteReading(7, &lowCpk, now);
    EXPECT_EQ(status.GetState(7), State::alarm);
    CStats bad = Reading(97, 3, 2.0f);
    status.NoteReading(7, &bad, now);
    EXPECT_EQ(status.GetState(7), State::alarm);
    // A batch without crimps says nothing of the process.
    CStats empty = Reading(0, 0, 0.0f);
    status.NoteReading(7, &empty, now);
    EXPECT_EQ(status.GetState(7), State::answering);

    // Silence wins, and the last reading is kept for the tool tip.
    status.NoteReading(7, &bad, now);
    status.NoteAnswer(7, false, now);
    EXPECT_EQ(status.GetState(7), State::silent);
    ASSERT_NE(status.Find(7), nullptr);
    EXPECT_EQ(status.Find(7)->reading.m_nBad, 3);

    // Thresholds from the settings.
    status.NoteAnswer(7, true, now);
    status.SetThresholds({1.0, 5.0});
    EXPECT_EQ(status.GetState(7), State::answering);
    // A low Cpk of a few crimps is no alarm.
    status.SetThresholds({1.33, 2.0, 25});
    CStats few = Reading(24, 0, 0.5f);
    status.NoteReading(7, &few, now);
    EXPECT_EQ(status.GetState(7), State::answering);
    CStats enough = Reading(25, 0, 0.5f);
    status.NoteReading(7, &enough, now);
    EXPECT_EQ(status.GetState(7), State::alarm);
}

TEST(StationStatus, ToolTipsLeaveOutEmptyLines) {
    CStationStatus status;
    CPress press("Press 4", CPoint{0, 0}, 4);
    press.SetWireType("0.35 mm2");
    const std::string tip = status.Describe(press);
    EXPECT_EQ(tip, "Press 4\nNode 4\nWire: 0.35 mm2\nNot yet known");
}

TEST(NetworkLegend, GoesToAFreeCornerOrNowhere) {
    const QSize view(400, 300);
    const QSize legend(100, 80);
    EXPECT_EQ(CQuorvelView::PlaceLegend(view, legend, {}), QRect(QPoint(4, 216), legend));
    // A station in the lower left: the lower right.
    const QRect lowerLeft(20, 250, 40, 40);
    EXPECT_EQ(CQuorvelView::PlaceLegend(view, legend, {lowerLeft}),
              QRect(QPoint(296, 216), legend));
    const std::vector<QRect> corners = {lowerLeft, QRect(350, 250, 40, 40), QRect(350, 10, 40, 40),
                                        QRect(10, 10, 40, 40)};
    EXPECT_TRUE(CQuorvelView::PlaceLegend(view, legend, corners).isNull());
}

} // namespace
