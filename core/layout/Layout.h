// The split-screen layout: 256 numbered panes, shown as a square grid of 4 to 256 panes with
// pages, or one zoomed pane. Pure state and arithmetic; the controller guards the instance it
// shares with the display threads.
#pragma once

#include <cstdint>

#include "core/support/Limits.h"

// A rectangle in the video surface's own units, origin at the bottom left, y growing upwards.
struct PaneRect {
    float x;
    float y;
    float width;
    float height;
    bool contains(float px, float py) const {
        return x <= px && px < x + width && y <= py && py < y + height;
    }
};

struct SCREEN_FRAME {
    PaneRect FrameRect;
    int32_t iOnShow;  // 1 = shown now
};

inline constexpr int kLayoutPanes = kPanes;

struct SCREEN_SHOW_CTRL {
    int32_t iShowChanNum;     // 4 .. 256, or 1 while a pane is zoomed
    int32_t iShowPage;        // panes iShowPage * n .. iShowPage * n + n - 1
    int32_t iSelectChan;      // the pane last clicked, -1 at first
    int32_t iOldSelectChan;   // -1; kept for the record layout only
    int32_t iOldShowChanNum;  // the split a zoom returns to
    int32_t iShowMaxNum;      // panes the pages cover: 36 single-DVR view, 256 all-DVR view
    SCREEN_FRAME m_screenRect[kLayoutPanes];
};

// Whether n is one of the split counts 4, 9, 16, 25, 36, 49, 64, 81, 100, 256.
bool IsSplitCount(int32_t n);

// Initialises the layout to split n with page maximum m; -1 (unchanged) when m is no split count.
int32_t InitLayout(SCREEN_SHOW_CTRL& ctrl, int32_t maximum, int32_t split);

// Selects split n, or turns its page when n is the split shown; -1 (unchanged) for another n.
int32_t SelectSplit(SCREEN_SHOW_CTRL& ctrl, int32_t split);

// Turns the shown split back one page, from the first to its last; -1 (unchanged) while a pane is
// zoomed.
int32_t SelectPreviousPage(SCREEN_SHOW_CTRL& ctrl);

// Moves the selection (iSelectChan) by dx columns and dy rows within the page shown, stopping at
// its edges; from a pane off the page, to the page's first. -1 (unchanged) while zoomed.
int32_t MoveSelection(SCREEN_SHOW_CTRL& ctrl, int dx, int dy);

// Recomputes every pane's rectangle for a surface with these bounds.
void ComputePaneRects(SCREEN_SHOW_CTRL& ctrl, const PaneRect& bounds);

// The zoom toggle: from a grid, only pane iSelectChan stays shown; from a zoom, the grid returns.
int32_t AnalyseShowFrame(SCREEN_SHOW_CTRL& ctrl);

// The first shown pane containing the point, -1 for none (a gap, or outside).
int32_t ShownPaneAt(const SCREEN_SHOW_CTRL& ctrl, float px, float py);
