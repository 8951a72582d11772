#include "gui/main/video/PendingPanes.h"

#include <algorithm>

bool PendingPanes::Mark(int pane, const PaneRect& rect, uint32_t layout) {
    if (pane < 0 || pane >= kLayoutPanes) {
        return false;
    }
    std::lock_guard<std::mutex> g(lock_);
    if (layout != layout_) {
        return false;  // placed by a layout the surface no longer shows
    }
    pending_[pane] = true;
    pendingRect_[pane] = rect;
    anyPending_ = true;
    const bool wake = resting_;
    resting_ = false;
    return wake;
}

void PendingPanes::Clear(uint32_t layout) {
    std::lock_guard<std::mutex> g(lock_);
    layout_ = layout;
    clearPending_ = true;
    std::fill(std::begin(pending_), std::end(pending_), false);
}

void PendingPanes::RequestClear() {
    std::lock_guard<std::mutex> g(lock_);
    clearPending_ = true;
}

void PendingPanes::Redraw(int pane, const PaneRect& rect) {
    if (pane < 0 || pane >= kLayoutPanes) {
        return;
    }
    std::lock_guard<std::mutex> g(lock_);
    pending_[pane] = true;
    pendingRect_[pane] = rect;
    anyPending_ = true;
}

PendingPanes::Tick PendingPanes::CountTick() {
    std::lock_guard<std::mutex> g(lock_);
    idleTicks_ = anyPending_ ? 0 : idleTicks_ + 1;
    const bool rest = idleTicks_ >= kTicksBeforeRest;
    if (rest) {
        resting_ = true;
    }
    if (++windowTicks_ >= kWindowTicks) {
        busy_ = windowPanes_ > kBusyPanes;
        windowTicks_ = 0;
        windowPanes_ = 0;
    }
    ++ticksSinceFlush_;
    // A new layout is drawn at once, busy or not.
    const bool flush = anyPending_ && (!busy_ || clearPending_ || ticksSinceFlush_ >= kBusyTicks);
    return Tick{anyPending_, flush, rest};
}

void PendingPanes::Take(Taken& out) {
    std::lock_guard<std::mutex> g(lock_);
    out.clear = clearPending_;
    clearPending_ = false;
    std::copy(std::begin(pending_), std::end(pending_), out.drawn);
    windowPanes_ += static_cast<int>(std::count(std::begin(pending_), std::end(pending_), true));
    ticksSinceFlush_ = 0;
    std::copy(std::begin(pendingRect_), std::end(pendingRect_), out.rects);
    std::fill(std::begin(pending_), std::end(pending_), false);
    anyPending_ = false;
}

bool PendingPanes::anyPending() const {
    std::lock_guard<std::mutex> g(lock_);
    return anyPending_;
}

bool PendingPanes::resting() const {
    std::lock_guard<std::mutex> g(lock_);
    return resting_;
}

uint32_t PendingPanes::layout() const {
    std::lock_guard<std::mutex> g(lock_);
    return layout_;
}
