// The panes drawn since the surface's last flush: what the display threads hand the GUI thread.
// A display thread records "pane, rectangle" here after converting a picture into the pane's
// buffer; the GUI thread's flush takes every recorded pane at once and draws it. A clear (a new
// layout generation, a new frame buffer) drops what was recorded and is taken before any pane.
// The flush timer rests after kTicksBeforeRest idle ticks; the first pane recorded after that
// says so, once, so that its caller can wake the timer.
//
// Threads: Mark() is called by display threads, with the pane's buffer lock held; everything
// else on the GUI thread only. Every field below is guarded by `lock_`, held only for a few
// copies: nothing is called under it, and it is the innermost lock (a pane's buffer lock may be
// held around it, never the other way round).
#pragma once

#include <cstdint>
#include <mutex>

#include "core/layout/Layout.h"

class PendingPanes {
  public:
    // Idle flush ticks before the timer rests: half a second of 4 ms ticks.
    static constexpr int kTicksBeforeRest = 125;
    // A busy wall (more than kBusyPanes panes drawn in the last kWindowTicks ticks, a second) is
    // flushed every kBusyTicks ticks, about a screen's refresh: flushes beyond what a screen
    // shows cost CPU and show nothing more, and a pane's pictures on such a wall come further
    // apart than that. A quieter surface flushes at every tick that finds a pane.
    static constexpr int kWindowTicks = 250;
    static constexpr int kBusyPanes = 1000;
    static constexpr int kBusyTicks = 4;

    // What a flush takes: whether to clear first, and the panes to draw at their rectangles.
    struct Taken {
        bool clear = false;
        bool drawn[kLayoutPanes] = {};
        PaneRect rects[kLayoutPanes] = {};
    };
    // What a flush tick finds: whether anything waits, whether to flush it now, and whether the
    // timer is to rest now.
    struct Tick {
        bool pending = false;
        bool flush = false;
        bool rest = false;
    };

    // Display threads. Records `pane` at `rect`, unless `layout` is a generation the surface no
    // longer shows. True when the timer rested and must be woken (said once per rest).
    bool Mark(int pane, const PaneRect& rect, uint32_t layout);

    // GUI thread. The surface shows generation `layout` from now on: a clear is due and what was
    // recorded before is dropped.
    void Clear(uint32_t layout);
    // GUI thread. The frame buffer is new: a clear is due, the recorded panes stay.
    void RequestClear();
    // GUI thread. Draws `pane` again at the next flush, whatever the generation (a pan).
    void Redraw(int pane, const PaneRect& rect);
    // GUI thread, each timer tick: counts the idle ticks, decides the flush and the rest.
    Tick CountTick();
    // GUI thread, the flush: hands over the clear and the recorded panes, and forgets them.
    void Take(Taken& out);

    // GUI thread (and tests): the state now.
    bool anyPending() const;
    bool resting() const;
    uint32_t layout() const;

  private:
    mutable std::mutex lock_;
    bool pending_[kLayoutPanes] = {};
    PaneRect pendingRect_[kLayoutPanes] = {};
    bool clearPending_ = true;
    bool anyPending_ = false;  // a pane was recorded since the last flush
    uint32_t layout_ = 0;      // the layout generation the surface shows
    int idleTicks_ = 0;        // flush ticks in a row without a pane
    bool resting_ = false;     // the flush timer stopped for want of pictures
    int ticksSinceFlush_ = 0;
    int windowTicks_ = 0;  // ticks of the present window
    int windowPanes_ = 0;  // panes flushed in it
    bool busy_ = false;    // the last window was busy
};
