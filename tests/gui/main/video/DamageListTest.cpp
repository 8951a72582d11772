// The rectangles a frame of the surface copies to the screen: panes drawn in one frame merge
// where that copies few more pixels, and stay apart where merging would copy many more.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <utility>
#include <vector>

#include "gui/main/video/DamageList.h"

namespace {

// Pane (column, row) of a 4 x 4 grid on a 1283 x 900 surface: each cell, of a fractional width,
// less the 2 pixels of grey between panes, covered by whole pixels across.
QRect Pane(int column, int row) {
    const double w = 1283.0 / 4;
    const double h = 900.0 / 4;
    const int x0 = static_cast<int>(column * w + 2);
    const int x1 = static_cast<int>(std::ceil(column * w + w));
    return QRect(x0, static_cast<int>(row * h + 2), x1 - x0, static_cast<int>(h - 2));
}

std::vector<QRect> Rects(const DamageList& d) {
    return std::vector<QRect>(d.begin(), d.end());
}

long long Pixels(const std::vector<QRect>& rects) {
    long long n = 0;
    for (const QRect& r : rects) {
        n += static_cast<long long>(r.width()) * r.height();
    }
    return n;
}

TEST(DamageList, NeighbouringPanesGoAsOneRectangleInWhateverOrderTheyAreDrawn) {
    DamageList d;
    d.Start(false);
    for (int column : {2, 0, 3, 1}) {
        d.Add(Pane(column, 1));
    }
    ASSERT_EQ(d.count(), 1);
    EXPECT_EQ(Rects(d)[0], Pane(0, 1).united(Pane(3, 1)));

    // The whole grid, drawn in a scrambled order, is one copy of all of it.
    d.Start(false);
    for (int i = 0; i < 16; ++i) {
        const int pane = (i * 7) % 16;
        d.Add(Pane(pane % 4, pane / 4));
    }
    ASSERT_EQ(d.count(), 1);
    EXPECT_EQ(Rects(d)[0], Pane(0, 0).united(Pane(3, 3)));
    EXPECT_FALSE(d.all());
}

TEST(DamageList, PanesApartStayApart) {
    DamageList d;
    d.Start(false);
    d.Add(Pane(0, 0));
    d.Add(Pane(1, 1));  // diagonal: their bounding box is twice their area
    d.Add(Pane(3, 0));
    ASSERT_EQ(d.count(), 3);
    EXPECT_EQ(Pixels(Rects(d)), Pixels({Pane(0, 0), Pane(1, 1), Pane(3, 0)}));

    // A pane drawn again, and a frame inside a pane drawn, add nothing.
    d.Add(Pane(1, 1));
    d.Add(Pane(1, 1).adjusted(0, 0, 0, -Pane(1, 1).height() + 3));
    EXPECT_EQ(d.count(), 3);

    // The pane between two others joins them all, though the first two were too far apart.
    d.Add(Pane(2, 0));
    EXPECT_EQ(d.count(), 3);
    d.Add(Pane(1, 0));
    ASSERT_EQ(d.count(), 2);
    const std::vector<QRect> rects = Rects(d);
    EXPECT_NE(std::find(rects.begin(), rects.end(), Pane(0, 0).united(Pane(3, 0))), rects.end());
    EXPECT_NE(std::find(rects.begin(), rects.end(), Pane(1, 1)), rects.end());
}

TEST(DamageList, TwoRectanglesMergeWhileTheGapBetweenThemCostsAtMostASixteenthOfTheirPixels) {
    // Two 100 x 10 strips, one above the other: together 2,000 pixels, of which a sixteenth is
    // 125, so a gap of one row (100 pixels) merges and a gap of two rows (200) does not.
    for (const auto& [gap, merged] : {std::pair{0, true}, {1, true}, {2, false}, {5, false}}) {
        SCOPED_TRACE(gap);
        DamageList d;
        d.Start(false);
        d.Add(QRect(0, 0, 100, 10));
        d.Add(QRect(0, 10 + gap, 100, 10));
        EXPECT_EQ(d.count(), merged ? 1 : 2);
    }
}

TEST(DamageList, MoreRectanglesThanItHoldsSendEverythingAndANewFrameStartsEmpty) {
    DamageList d;
    d.Start(false);
    d.Add(QRect());  // nothing drawn
    EXPECT_EQ(d.count(), 0);
    for (int i = 0; i < DamageList::kRects; ++i) {
        d.Add(QRect(i * 4, (i % 2) * 4, 2, 2));
    }
    EXPECT_EQ(d.count(), DamageList::kRects);
    EXPECT_FALSE(d.all());
    d.Add(QRect(1000, 1000, 2, 2));
    EXPECT_TRUE(d.all());

    d.Start(false);
    EXPECT_FALSE(d.all());
    EXPECT_EQ(d.count(), 0);
    d.MarkAll();
    d.Add(Pane(0, 0));
    EXPECT_TRUE(d.all());
}

}  // namespace
