// The screen layout part: the split with its pages and zoom (ShowCtrl), the pane assignment of
// the all-DVR view (m_selfChannel) and the pane picture buffers (AVDataFrame). What the DVRs are
// asked for follows from a copy of both (core/layout/LiveViewPlanner.h).
//
// Threads: the GUI thread changes the layout; display threads read it (ShownRect, under the layout
// lock, so a picture never goes to a rectangle that is half rewritten). The pane assignment is
// written on the GUI thread and read anywhere, one atomic code per pane. Nothing here blocks for
// longer than a copy of the layout.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <mutex>
#include <optional>

#include "core/layout/Layout.h"
#include "core/layout/PaneBuffers.h"
#include "core/support/Limits.h"

// A pane code once DVR `dvr` left the list: unassigned (-1) when it named that DVR, one DVR lower
// when it named a later one, else as it was.
int32_t CodeAfterDvrRemoved(int32_t code, int dvr);

class ScreenLayout {
  public:
    ScreenLayout();

    // ---- The split, its pages and the zoom ------------------------------------------------------
    // GUI thread. Each returns what the pure layout operation of the same meaning returns.
    int32_t Init(int32_t maximum, int32_t split);
    int32_t Select(int32_t split);
    // Split `split` on its first page, also when that split is shown already.
    int32_t SelectFirstPage(int32_t split);
    int32_t SelectPreviousPage();
    // Split `split` on page `page` (wrapping as the split's pages do), from any layout.
    int32_t SelectPage(int32_t split, int32_t page);
    void ComputeRects(const PaneRect& bounds);
    void SetShowMaxNum(int32_t maximum);
    // A click at (x, y) in surface units: the shown pane there becomes the selection and the zoom
    // toggles. False (nothing changed) when no shown pane is there.
    bool ZoomAt(float x, float y);
    // The keyboard's selection: moved within the page shown, and zoomed or unzoomed. False when
    // nothing changed.
    bool MoveSelection(int dx, int dy);
    bool ZoomSelected();
    int32_t SelectedPane() const;  // any thread; -1 for none

    // Any thread.
    SCREEN_SHOW_CTRL LayoutCopy() const;
    // The rectangle of `pane` while it is shown, else nothing; and the layout's generation it
    // belongs to.
    std::optional<PaneRect> ShownRect(int pane, uint32_t* generation = nullptr) const;
    // Bumped by every recomputation of the rectangles. Any thread.
    uint32_t Generation() const;
    // ---- Pane assignment: DVR * 100 + channel per pane, negative for none -------------------
    void WriteSelfChannel(int pane, int32_t code);  // GUI thread; other panes are ignored
    int32_t SelfChannel(int pane) const;            // any thread; -1 outside the table
    // The first pane assigned `code`, -1 for none. Any thread.
    int32_t ReadSelfChannelChan(int32_t code) const;
    // The code of the camera `pane` shows: its own, or -1 when an earlier pane has the same one
    // (that camera's pictures go to the first). Any thread.
    int32_t ShownCode(int pane) const;
    void CopyCodes(int32_t (&codes)[kPanes]) const;
    void LoadCodes(const int32_t (&codes)[kPanes]);  // GUI thread
    // DVR `dvr` left the list: its codes become unassigned, later DVRs' codes move down with their
    // entries. GUI thread.
    void DvrRemoved(int dvr);

    // The pane picture buffers (allocated by the window's start-up).
    PaneBuffers AVDataFrame;

  private:
    mutable std::mutex layoutLock_;
    SCREEN_SHOW_CTRL ShowCtrl = {};  // under layoutLock_
    // Written under layoutLock_ with the rectangles; read without it, so that a display thread
    // learns the view it places a picture in for one atomic load.
    std::atomic<uint32_t> generation_{0};
    std::atomic<int32_t> m_selfChannel[kPanes];
};
