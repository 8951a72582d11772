#include <gtest/gtest.h>

#include <vector>

#include "core/layout/Layout.h"

namespace {

void ExpectRect(const SCREEN_SHOW_CTRL& c, int pane, float x, float y, float w, float h) {
    const PaneRect& r = c.m_screenRect[pane].FrameRect;
    EXPECT_FLOAT_EQ(r.x, x) << "pane " << pane;
    EXPECT_FLOAT_EQ(r.y, y) << "pane " << pane;
    EXPECT_FLOAT_EQ(r.width, w) << "pane " << pane;
    EXPECT_FLOAT_EQ(r.height, h) << "pane " << pane;
}

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
    std::vector<int> v;
    for (int i = from; i <= to; ++i) {
        v.push_back(i);
    }
    return v;
}

class Layout : public ::testing::Test {
  protected:
    Layout() { InitLayout(c, 36, 36); }
    SCREEN_SHOW_CTRL c{};
};

TEST_F(Layout, FourPanesOn800x600LoseATwoPointStripOnTheLeftAndBottom) {
    ASSERT_EQ(SelectSplit(c, 4), 0);
    ComputePaneRects(c, {0, 0, 800, 600});
    ExpectRect(c, 0, 2, 302, 398, 298);
    ExpectRect(c, 1, 402, 302, 398, 298);
    ExpectRect(c, 2, 2, 2, 398, 298);
    ExpectRect(c, 3, 402, 2, 398, 298);
    ExpectRect(c, 5, 402, 302, 398, 298);  // same grid place as pane 1
}

TEST_F(Layout, NinePanesOn900x600) {
    ASSERT_EQ(SelectSplit(c, 9), 0);
    ComputePaneRects(c, {0, 0, 900, 600});
    ExpectRect(c, 0, 2, 402, 298, 198);
    ExpectRect(c, 4, 302, 202, 298, 198);
    ExpectRect(c, 8, 602, 2, 298, 198);
}

TEST_F(Layout, AClickZoomsAPaneOverTheWholeSurfaceAndTheNextBringsTheGridBack) {
    SelectSplit(c, 16);
    ComputePaneRects(c, {0, 0, 800, 800});
    const int pane = ShownPaneAt(c, 250, 500);  // row 1 (from the top), column 1
    ASSERT_EQ(pane, 5);
    c.iSelectChan = pane;
    AnalyseShowFrame(c);
    ComputePaneRects(c, {0, 0, 800, 800});
    EXPECT_EQ(Shown(c), std::vector<int>{5});
    EXPECT_EQ(c.iShowChanNum, 1);
    ExpectRect(c, 5, 0, 0, 800, 800);  // no strip when zoomed
    // Any point ends the zoom.
    c.iSelectChan = ShownPaneAt(c, 799, 1);
    AnalyseShowFrame(c);
    EXPECT_EQ(Shown(c), Range(0, 15));
    EXPECT_EQ(c.iShowChanNum, 16);
}

TEST_F(Layout, ZoomToggleReturnsToThePageShownBefore) {
    SelectSplit(c, 16);
    SelectSplit(c, 16);  // page 1
    c.iSelectChan = 20;
    AnalyseShowFrame(c);
    AnalyseShowFrame(c);
    EXPECT_EQ(Shown(c), Range(16, 31));
    SelectSplit(c, 256);
    c.iSelectChan = 3;
    AnalyseShowFrame(c);
    AnalyseShowFrame(c);
    EXPECT_EQ(Shown(c).size(), 256u);
}

TEST_F(Layout, PagesCycleByTheRuleOfEachSplit) {
    struct Pages {
        int split, single, all;
    };
    const Pages table[] = {{4, 9, 64}, {9, 5, 29}, {16, 2, 16}, {25, 2, 11}, {36, 1, 7},
                           {49, 1, 6}, {64, 1, 4}, {81, 1, 4},  {100, 1, 3}, {256, 1, 1}};
    for (const auto& t : table) {
        for (int maximum : {36, 256}) {
            SCREEN_SHOW_CTRL l{};
            InitLayout(l, maximum, 36);
            SelectSplit(l, t.split == 36 ? 4 : 36);
            SelectSplit(l, t.split);
            int presses = 1;
            while (true) {
                SelectSplit(l, t.split);
                if (l.iShowPage == 0) {
                    break;
                }
                ++presses;
                ASSERT_LT(presses, 100);
            }
            EXPECT_EQ(presses, maximum == 36 ? t.single : t.all)
                << "split " << t.split << " maximum " << maximum;
        }
    }
}

TEST_F(Layout, PagesShowTheirPanesAndNeverPastTheLast) {
    SelectSplit(c, 9);
    for (int i = 0; i < 4; ++i) {
        SelectSplit(c, 9);
    }
    EXPECT_EQ(c.iShowPage, 4);
    EXPECT_EQ(Shown(c), Range(36, 44));
    SCREEN_SHOW_CTRL all{};
    InitLayout(all, 256, 36);
    for (int i = 0; i < 6; ++i) {
        SelectSplit(all, 36);
    }
    EXPECT_EQ(all.iShowPage, 6);
    EXPECT_EQ(Shown(all), Range(216, 251));  // 252 to 255 are never shown by this split
    SelectSplit(all, 100);
    SelectSplit(all, 100);
    SelectSplit(all, 100);  // page 2: 200 to 299, cut at 255
    EXPECT_EQ(Shown(all), Range(200, 255));
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

TEST_F(Layout, RectanglesFollowTheSurfacesSize) {
    SelectSplit(c, 4);
    ComputePaneRects(c, {0, 0, 800, 600});
    ComputePaneRects(c, {0, 0, 1000, 700});
    ExpectRect(c, 3, 502, 2, 498, 348);
}

}  // namespace
