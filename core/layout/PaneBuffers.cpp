#include "core/layout/PaneBuffers.h"

bool PaneBuffers::Allocate() {
    if (ready_.load()) {
        return true;
    }
    memory_ = AllocZeroed(kPaneBufferBytes * kLayoutPanes);
    if (!memory_) {
        return false;
    }
    for (int i = 0; i < kLayoutPanes; ++i) {
        std::lock_guard<std::mutex> g(panes_[i].lock);
        panes_[i].pixels = memory_.get() + kPaneBufferBytes * static_cast<std::size_t>(i);
    }
    ready_.store(true);
    return true;
}
