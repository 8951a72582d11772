#include "core/layout/Layout.h"

#include <algorithm>

namespace {

// Grid side per split count; the cell sizes use the multipliers below, in 32-bit float, so that
// rectangles come out exactly as before on every machine.
int GridSide(int32_t n) {
    switch (n) {
        case 4: return 2;
        case 9: return 3;
        case 16: return 4;
        case 25: return 5;
        case 36: return 6;
        case 49: return 7;
        case 64: return 8;
        case 81: return 9;
        case 100: return 10;
        case 256: return 16;
        default: return 0;
    }
}

float Cell(float extent, int side) {
    switch (side) {
        case 2: return extent * 0.5f;
        case 4: return extent * 0.25f;
        case 8: return extent * 0.125f;
        case 16: return extent * 0.0625f;
        default: return extent / static_cast<float>(side);
    }
}

void ShowPage(SCREEN_SHOW_CTRL& ctrl, int32_t n) {
    for (int32_t i = ctrl.iShowPage * n; i < (ctrl.iShowPage + 1) * n && i < kLayoutPanes; ++i) {
        if (i >= 0) {
            ctrl.m_screenRect[i].iOnShow = 1;
        }
    }
}

void HideAll(SCREEN_SHOW_CTRL& ctrl) {
    for (auto& pane : ctrl.m_screenRect) {
        pane.iOnShow = 0;
    }
}

// The last page of split n: 4, 16, 36, 64 and 256 end with their last whole page; the others
// show one more, partly filled page.
int32_t LastPage(const SCREEN_SHOW_CTRL& ctrl, int32_t n) {
    const int32_t pages = ctrl.iShowMaxNum / n;
    const bool square = n == 4 || n == 16 || n == 36 || n == 64 || n == 256;
    return square ? pages - 1 : pages;
}

}  // namespace

bool IsSplitCount(int32_t n) {
    return GridSide(n) != 0;
}

int32_t InitLayout(SCREEN_SHOW_CTRL& ctrl, int32_t maximum, int32_t split) {
    if (!IsSplitCount(maximum)) {
        return -1;
    }
    ctrl.iShowMaxNum = maximum;
    ctrl.iSelectChan = -1;
    ctrl.iShowChanNum = split;
    ctrl.iOldSelectChan = -1;
    ctrl.iShowPage = 0;
    ctrl.iOldShowChanNum = 1;
    HideAll(ctrl);
    for (int32_t i = 0; i < split && i < kLayoutPanes; ++i) {
        ctrl.m_screenRect[i].iOnShow = 1;
    }
    return 0;
}

int32_t SelectSplit(SCREEN_SHOW_CTRL& ctrl, int32_t n) {
    if (!IsSplitCount(n)) {
        return -1;
    }
    HideAll(ctrl);
    if (n == ctrl.iShowChanNum) {
        ctrl.iShowPage += 1;
        if (ctrl.iShowPage > LastPage(ctrl, n)) {
            ctrl.iShowPage = 0;
        }
    } else {
        ctrl.iShowChanNum = n;
        ctrl.iShowPage = 0;
    }
    ShowPage(ctrl, n);
    return 0;
}

int32_t SelectPreviousPage(SCREEN_SHOW_CTRL& ctrl) {
    const int32_t n = ctrl.iShowChanNum;
    if (!IsSplitCount(n)) {
        return -1;
    }
    HideAll(ctrl);
    ctrl.iShowPage = ctrl.iShowPage > 0 ? ctrl.iShowPage - 1 : std::max(LastPage(ctrl, n), 0);
    ShowPage(ctrl, n);
    return 0;
}

int32_t MoveSelection(SCREEN_SHOW_CTRL& ctrl, int dx, int dy) {
    const int32_t n = ctrl.iShowChanNum;
    const int side = GridSide(n);
    if (side == 0) {
        return -1;
    }
    const int32_t first = ctrl.iShowPage * n;
    const int32_t at = ctrl.iSelectChan - first;
    if (at < 0 || at >= n) {
        ctrl.iSelectChan = first;
        return 0;
    }
    const int col = std::clamp(at % side + dx, 0, side - 1);
    const int row = std::clamp(at / side + dy, 0, side - 1);
    const int32_t pane = first + row * side + col;
    if (pane < kLayoutPanes) {  // a partly filled last page has fewer panes
        ctrl.iSelectChan = pane;
    }
    return 0;
}

void ComputePaneRects(SCREEN_SHOW_CTRL& ctrl, const PaneRect& bounds) {
    if (ctrl.iShowChanNum == 1) {
        for (auto& pane : ctrl.m_screenRect) {
            pane.FrameRect = bounds;
        }
        return;
    }
    const int k = GridSide(ctrl.iShowChanNum);
    if (k == 0) {
        return;
    }
    const int n = k * k;
    const float cw = Cell(bounds.width, k);
    const float ch = Cell(bounds.height, k);
    for (int i = 0; i < kLayoutPanes; ++i) {
        const int j = i % n;
        const int row = j / k;
        const int col = j % k;
        ctrl.m_screenRect[i].FrameRect =
            PaneRect{static_cast<float>(col) * cw + (bounds.x + 2),
                     static_cast<float>(k - 1 - row) * ch + (bounds.y + 2), cw - 2, ch - 2};
    }
}

int32_t AnalyseShowFrame(SCREEN_SHOW_CTRL& ctrl) {
    HideAll(ctrl);
    if (IsSplitCount(ctrl.iShowChanNum)) {
        ctrl.iOldShowChanNum = ctrl.iShowChanNum;
        ctrl.iShowChanNum = 1;
        if (ctrl.iSelectChan >= 0 && ctrl.iSelectChan < kLayoutPanes) {
            ctrl.m_screenRect[ctrl.iSelectChan].iOnShow = 1;
        }
        return 0;
    }
    if (ctrl.iShowChanNum == 1) {
        const int32_t n = ctrl.iOldShowChanNum;
        ctrl.iShowChanNum = n;
        if (n == 256) {
            for (auto& pane : ctrl.m_screenRect) {
                pane.iOnShow = 1;
            }
        } else if (IsSplitCount(n)) {
            ShowPage(ctrl, n);
        }
    }
    return 0;
}

int32_t ShownPaneAt(const SCREEN_SHOW_CTRL& ctrl, float px, float py) {
    for (int32_t i = 0; i < kLayoutPanes; ++i) {
        const SCREEN_FRAME& pane = ctrl.m_screenRect[i];
        if (pane.iOnShow == 1 && pane.FrameRect.contains(px, py)) {
            return i;
        }
    }
    return -1;
}
