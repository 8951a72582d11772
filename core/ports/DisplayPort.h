// What the core needs from the video area of the window: the surface's size, clearing it,
// drawing a pane's picture, and the split buttons that depend on the view. The main window
// implements it with the OpenGL surface; tests implement it with a recording fake.
#pragma once

#include "core/layout/Layout.h"

class DisplayPort {
  public:
    virtual ~DisplayPort() = default;

    // The surface's bounds in its own units, origin at the bottom left. GUI thread.
    virtual PaneRect surfaceBounds() = 0;

    // Clears the surface to grey and drops pictures drawn but not yet shown. GUI thread.
    virtual void clearScreen() = 0;

    // Pane `pane`'s picture buffer holds a new picture: show it stretched over `rect` at the next
    // flush. Display threads; called with the pane's buffer lock held (see PaneBuffers), so the
    // port must not take that lock here.
    virtual void renderCurrentFrame(const PaneRect& rect, int pane) = 0;

    // Enables or disables the split buttons above 36 panes. GUI thread.
    virtual void enableLargeSplits(bool enabled) = 0;
};
