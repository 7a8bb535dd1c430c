#include "app/network/StationStatus.h"

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
}

} // namespace
