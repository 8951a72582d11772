// What the core needs from the video area of the window: the surface's size, clearing it,
// drawing a pane's picture, and the split buttons that depend on the view. The OpenGL surface
// (VideoView) implements it and passes the split buttons on to the window; tests implement it
// with a recording fake.
#pragma once

#include <cstdint>
#include <string>

#include "core/layout/Layout.h"

// What a pane says besides its picture. Drawn on the surface with the pictures; a new picture in
// the pane ends it.
struct PaneMark {
    enum class Kind {
        None,
        Stale,    // the last picture, dimmed, and `text` ("No video since 12:00:01")
        Offline,  // the background, the DVR's name (`title`) and `text` ("Offline", ...)
        Cleared,  // the background alone: the DVR was disconnected
    };
    Kind kind = Kind::None;
    std::string title;
    std::string text;
    friend bool operator==(const PaneMark&, const PaneMark&) = default;
};

class DisplayPort {
  public:
    virtual ~DisplayPort() = default;

    // The surface's bounds in its own units, origin at the bottom left. GUI thread.
    virtual PaneRect SurfaceBounds() = 0;

    // Clears the surface to grey and drops pictures drawn but not yet shown: the layout is now in
    // its generation `layout`. GUI thread.
    virtual void clearScreen(uint32_t layout) = 0;

    // Pane `pane`'s picture buffer holds a new picture: show it stretched over `rect`, the pane's
    // rectangle in layout generation `layout`, at the next flush; a picture placed by another
    // generation than the surface's is dropped. Display threads; called with the pane's buffer
    // lock held (see PaneBuffers), so the port must not take that lock here.
    virtual void renderCurrentFrame(const PaneRect& rect, int pane, uint32_t layout) = 0;

    // Enables or disables the split buttons above 36 panes. GUI thread.
    virtual void EnableLargeSplits(bool enabled) = 0;

    // Pane `pane` (at `rect`) shows `mark` from the next flush on, until a picture comes or a
    // clear; Kind::None takes a mark away. GUI thread.
    virtual void MarkPane(int pane, const PaneRect& rect, const PaneMark& mark) = 0;
};
