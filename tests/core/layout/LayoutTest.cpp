// The split-screen layout: pane rectangles, pages, the zoom toggle and which pane a point hits.
#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>
#include <tuple>
#include <vector>

#include "core/layout/Layout.h"

namespace {

std::vector<int> Shown(const SCREEN_SHOW_CTRL& c) {
    std::vector<int> panes;
    for (int i = 0; i < kLayoutPanes; ++i) {
        if (c.m_screenRect[i].iOnShow == 1) {
            panes.push_back(i);
        }
    }
    return panes;
}

std::vector<int> Range(int from, int to) {
    std::vector<int> v(static_cast<std::size_t>(to - from + 1));
    std::iota(v.begin(), v.end(), from);
    return v;
}

auto Rect(const PaneRect& r) {
    return std::make_tuple(r.x, r.y, r.width, r.height);
}

class Layout : public ::testing::Test {
  protected:
    Layout() { InitLayout(c, 36, 36); }
    SCREEN_SHOW_CTRL c{};
};

TEST_F(Layout, GridPanesLoseATwoPointStripOnTheLeftAndBottomAndFollowTheSurfacesSize) {
    // Split, surface width and height, a pane and its rectangle; pane 5 has pane 1's grid place.
    // One layout throughout: every computation replaces the rectangles of the one before.
    const std::tuple<int, float, float, int, PaneRect> cases[] = {
        {4, 800, 600, 0, {2, 302, 398, 298}},   {4, 800, 600, 1, {402, 302, 398, 298}},
        {4, 800, 600, 2, {2, 2, 398, 298}},     {4, 800, 600, 3, {402, 2, 398, 298}},
        {4, 800, 600, 5, {402, 302, 398, 298}}, {4, 1000, 700, 3, {502, 2, 498, 348}},
        {9, 900, 600, 0, {2, 402, 298, 198}},   {9, 900, 600, 4, {302, 202, 298, 198}},
        {9, 900, 600, 8, {602, 2, 298, 198}}};
    for (const auto& [split, width, height, pane, rect] : cases) {
        SCOPED_TRACE(testing::Message() << split << " on " << width << "x" << height);
        ASSERT_EQ(InitLayout(c, 36, split), 0);
        ComputePaneRects(c, {0, 0, width, height});
        EXPECT_EQ(Rect(c.m_screenRect[pane].FrameRect), Rect(rect)) << "pane " << pane;
    }
}

TEST_F(Layout, AClickZoomsAPaneOverTheWholeSurfaceAndTheNextBringsBackThePageShownBefore) {
    // Split, its presses, the pane under the point (260, 510) on 800x800, the page shown.
    const std::tuple<int, int, int, std::vector<int>> cases[] = {
        {16, 1, 5, Range(0, 15)}, {16, 2, 21, Range(16, 31)}, {256, 1, 85, Range(0, 255)}};
    for (const auto& [split, presses, pane, page] : cases) {
        SCOPED_TRACE(testing::Message() << split << " pressed " << presses);
        InitLayout(c, 36, 36);
        for (int i = 0; i < presses; ++i) {
            SelectSplit(c, split);
        }
        ComputePaneRects(c, {0, 0, 800, 800});
        c.iSelectChan = ShownPaneAt(c, 260, 510);
        ASSERT_EQ(c.iSelectChan, pane);
        AnalyseShowFrame(c);
        ComputePaneRects(c, {0, 0, 800, 800});
        EXPECT_EQ(Shown(c), std::vector<int>{pane});
        EXPECT_EQ(c.iShowChanNum, 1);
        EXPECT_EQ(Rect(c.m_screenRect[pane].FrameRect), Rect({0, 0, 800, 800}));  // no strip
        c.iSelectChan = ShownPaneAt(c, 799, 1);  // any point of the surface ends the zoom
        EXPECT_EQ(c.iSelectChan, pane);
        AnalyseShowFrame(c);
        EXPECT_EQ(Shown(c), page);
        EXPECT_EQ(c.iShowChanNum, split);
    }
}

TEST_F(Layout, PagesCycleByTheRuleOfEachSplitAndShowTheirPanesUpToTheLast) {
    // Split, its pages over 36 panes (single-DVR view) and over 256 (all-DVR view).
    const int table[][3] = {{4, 9, 64}, {9, 5, 29}, {16, 2, 16}, {25, 2, 11}, {36, 1, 7},
                            {49, 1, 6}, {64, 1, 4}, {81, 1, 4},  {100, 1, 3}, {256, 1, 1}};
    for (const auto& [split, single, all] : table) {
        for (int maximum : {36, 256}) {
            SCOPED_TRACE(testing::Message() << "split " << split << " maximum " << maximum);
            InitLayout(c, maximum, split == 36 ? 4 : 36);
            int pages = 0;
            do {
                SelectSplit(c, split);
                ASSERT_LT(++pages, 100);
                const int first = c.iShowPage * split;
                EXPECT_EQ(Shown(c), Range(first, std::min(first + split, kLayoutPanes) - 1));
            } while (c.iShowPage != 0 || pages == 1);
            EXPECT_EQ(pages - 1, maximum == 36 ? single : all);
        }
    }
}

TEST_F(Layout, EdgesAndGapsOfAPane) {
    SelectSplit(c, 4);
    ComputePaneRects(c, {0, 0, 800, 600});
    EXPECT_EQ(ShownPaneAt(c, 2, 302), 0);     // left and bottom edges belong to the pane
    EXPECT_EQ(ShownPaneAt(c, 400, 400), -1);  // right edge: not pane 0, and the gap of pane 1
    EXPECT_EQ(ShownPaneAt(c, 100, 600), -1);  // top edge
    EXPECT_EQ(ShownPaneAt(c, 401, 400), -1);  // the two-point strip
    EXPECT_EQ(ShownPaneAt(c, 402, 400), 1);
    EXPECT_EQ(ShownPaneAt(c, 100, 301), -1);
}

TEST_F(Layout, OnlySplitCountsAreAccepted) {
    SelectSplit(c, 16);
    const SCREEN_SHOW_CTRL before = c;
    for (int bad : {1, 2, 0, -4, 37, 1000}) {
        EXPECT_EQ(SelectSplit(c, bad), -1);
    }
    EXPECT_EQ(InitLayout(c, 37, 4), -1);
    EXPECT_EQ(c.iShowChanNum, before.iShowChanNum);
    EXPECT_EQ(Shown(c), Shown(before));
}

}  // namespace
