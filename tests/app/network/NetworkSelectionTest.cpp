#include "app/network/NetworkSelection.h"

#include <gtest/gtest.h>

#include <climits>

namespace {

class Selection : public ::testing::Test {
protected:
    void SetUp() override {
        m_presses.push_back(std::make_unique<CPress>("A", CPoint{50, 50}, 1));
        m_presses.push_back(std::make_unique<CPress>("B", CPoint{60, 60}, 2)); // overlaps A
        m_presses.push_back(std::make_unique<CPress>("C", CPoint{200, 50}, 3));
        m_presses.push_back(std::make_unique<CPress>("D", CPoint{300, 50}, 4));
    }
    CPress* P(int i) { return m_presses[static_cast<std::size_t>(i)].get(); }
    PressList m_presses;
    std::vector<CPress*> m_group;
    CNetworkSelection m_sel;
};

TEST_F(Selection, OverlappingStationsAreBothHighlightedAndTheLaterIsCurrent) {
    EXPECT_TRUE(m_sel.LeftDown(m_presses, {70, 70}));
    EXPECT_EQ(m_sel.GetCurPress(), P(1));
    EXPECT_TRUE(P(0)->IsSelected());
    EXPECT_TRUE(P(1)->IsSelected());
    EXPECT_FALSE(P(2)->IsSelected());
    // Edges: left and top inside, right and bottom outside.
    EXPECT_EQ(m_sel.HitTest(m_presses, {200, 50}, false), P(2));
    EXPECT_EQ(m_sel.HitTest(m_presses, {232, 50}, false), nullptr);
    EXPECT_TRUE(P(0)->IsSelected()); // no update without the flag
}

TEST_F(Selection, GroupModeSurvivesAClickOnAStation) {
    m_sel.RubberBand(m_presses, m_group, {400, 100, 40, 40}); // dragged up and left
    EXPECT_EQ(m_sel.GetGroupCount(), 4u);
    EXPECT_EQ(m_group.size(), 4u);
    EXPECT_EQ(m_sel.GetCurPress(), P(3));

    m_sel.LeftDown(m_presses, {210, 60});
    EXPECT_EQ(m_sel.GetCurPress(), P(2));
    EXPECT_TRUE(P(2)->IsSelected());
    EXPECT_FALSE(P(3)->IsSelected());
    EXPECT_EQ(m_sel.RightDown(m_presses, {210, 60}), CNetworkSelection::Menu::group);
    EXPECT_EQ(m_group.size(), 4u);

    // A click on empty background starts a band: a band of no size ends group mode.
    EXPECT_FALSE(m_sel.LeftDown(m_presses, {10, 10}));
    m_sel.RubberBand(m_presses, m_group, {10, 10, 10, 10});
    EXPECT_FALSE(m_sel.InGroupMode());
    EXPECT_EQ(m_sel.GetCurPress(), nullptr);
    for (const auto& p : m_presses) {
        EXPECT_FALSE(p->IsSelected());
    }
}

TEST_F(Selection, ABandAroundOneStationIsAnOrdinarySelection) {
    m_sel.RubberBand(m_presses, m_group, {190, 40, 201, 51}); // touches C by one pixel
    EXPECT_EQ(m_sel.GetGroupCount(), 0u);
    EXPECT_EQ(m_group, std::vector<CPress*>{P(2)});
    EXPECT_EQ(m_sel.GetCurPress(), P(2));
    EXPECT_EQ(m_sel.RightDown(m_presses, {205, 55}), CNetworkSelection::Menu::station);
    EXPECT_EQ(m_sel.RightDown(m_presses, {5, 5}), CNetworkSelection::Menu::background);
    EXPECT_EQ(m_sel.GetCurPress(), nullptr);

    // A band ending exactly at a station's edge does not touch it.
    m_sel.RubberBand(m_presses, m_group, {150, 40, 200, 50});
    EXPECT_TRUE(m_group.empty());
}

TEST_F(Selection, DraggingMovesTheTopLeftCornerToTheReleasePoint) {
    m_sel.LeftDown(m_presses, {210, 60});
    m_sel.LeftUp({300, 300}); // no move in between: no drag
    EXPECT_EQ(P(2)->GetPosition(), (CPoint{200, 50}));

    m_sel.MouseMove(true);
    EXPECT_TRUE(m_sel.IsDragging());
    // Scrolled by (100, 40), released at window point (10, 10).
    EXPECT_TRUE(m_sel.LeftUp({10 + 100, 10 + 40}));
    EXPECT_EQ(P(2)->GetRect(), (CRect{110, 50, 142, 82}));
    EXPECT_FALSE(m_sel.IsDragging());

    // Moving with the button up, or without a current station, is no drag.
    m_sel.MouseMove(false);
    EXPECT_FALSE(m_sel.IsDragging());
    m_sel.HitTest(m_presses, {1, 1}, true);
    m_sel.MouseMove(true);
    EXPECT_FALSE(m_sel.IsDragging());
}

TEST_F(Selection, ForgettingAStationClearsItFromTheSelection) {
    m_sel.RubberBand(m_presses, m_group, {0, 0, 250, 250});
    ASSERT_EQ(m_sel.GetGroupCount(), 3u);
    m_sel.Forget(P(2), m_group);
    EXPECT_EQ(m_sel.GetCurPress(), nullptr);
    EXPECT_EQ(m_sel.GetGroupCount(), 2u);
    m_sel.Forget(P(1), m_group);
    EXPECT_FALSE(m_sel.InGroupMode());
    EXPECT_EQ(m_group, std::vector<CPress*>{P(0)});
}

TEST(LabelPosition, CentredAboveTheIcon) {
    EXPECT_EQ(LabelPosition({50, 50, 82, 82}, 40, 12), (CPoint{46, 35}));
    EXPECT_EQ(LabelPosition({50, 50, 82, 82}, 41, 12), (CPoint{46, 35}));
    EXPECT_EQ(LabelPosition({-50, -50, -18, -18}, 41, 12), (CPoint{-54, -65}));

    // Edges from a damaged station file: the sums do not overflow.
    const CRect absurd{INT_MIN, INT_MIN, INT_MAX, INT_MAX};
    EXPECT_EQ(LabelPosition(absurd, 40, 12), (CPoint{-21, INT_MIN}));
    EXPECT_EQ(absurd.Offset(-100, 100), (CRect{INT_MIN, INT_MIN + 100, INT_MAX - 100, INT_MAX}));
    EXPECT_EQ((CRect{0, INT_MAX - 10, 32, INT_MAX}).Offset(5, 20),
              (CRect{5, INT_MAX, 37, INT_MAX}));
}

} // namespace
