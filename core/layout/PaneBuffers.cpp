#include "core/layout/PaneBuffers.h"

#include <sys/mman.h>

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
#if !defined(__SANITIZE_ADDRESS__)  // heap memory there, not pages of its own
    constexpr std::size_t kPage = 4096;
    const std::size_t from = (bytes + kPage - 1) / kPage * kPage;
    if (from < pane.extent) {
        madvise(pane.pixels + from, (pane.extent - from + kPage - 1) / kPage * kPage,
                MADV_DONTNEED);
    }
#endif
    pane.extent = bytes;
}
