#include "core/layout/PaneBuffers.h"

#include <algorithm>

bool PaneBuffers::Allocate() {
    if (ready_.load()) {
        return true;
    }
    memory_ = AllocZeroed(kPaneBufferStride * kLayoutPanes);
    if (!memory_) {
        return false;
    }
    for (int i = 0; i < kLayoutPanes; ++i) {
        std::lock_guard<std::mutex> g(panes_[i].lock);
        panes_[i].pixels = memory_.get() + kPaneBufferStride * static_cast<std::size_t>(i);
    }
    ready_.store(true);
    return true;
}

void PaneBuffers::Wrote(int index, std::size_t bytes) {
    Pane& pane = panes_[index];
    if (bytes >= pane.extent / 2) {
        pane.extent = std::max(pane.extent, bytes);
        return;
    }
    const std::size_t from = WholePages(bytes);
    if (from < pane.extent) {
        GiveBackPages(pane.pixels + from, pane.extent - from);
    }
    pane.extent = bytes;
}
