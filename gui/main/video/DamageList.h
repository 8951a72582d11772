// What one frame of the video surface drew, as rectangles to copy to the screen. Each copy is a
// round trip to the window system, so rectangles close together are copied as one where that
// copies at most a sixteenth more pixels than copying them apart: a row of panes drawn in one
// frame goes as one strip, with the thin grey lines between them. A pixel copied that the frame
// did not draw is harmless: outside what a frame draws, the frame buffer holds what the screen
// shows. More rectangles than the list holds send all.
//
// Threads: the GUI thread's, like the surface.
#pragma once

#include <QRect>

class DamageList {
  public:
    static constexpr int kRects = 64;

    // A new frame: nothing drawn yet, or (`all`) everything goes to the screen.
    void Start(bool all) {
        count_ = 0;
        all_ = all;
    }
    void MarkAll() { all_ = true; }
    // `rect` (device pixels) was drawn.
    void Add(const QRect& rect);

    bool all() const { return all_; }
    int count() const { return count_; }
    const QRect* begin() const { return rects_; }
    const QRect* end() const { return rects_ + count_; }

  private:
    QRect rects_[kRects];
    int count_ = 0;
    bool all_ = false;
};
