// The 256 pane picture buffers: the packed 4:2:2 picture last converted for each pane, written
// by display threads and read by the surface when it uploads. Each pane has its own lock, so a
// buffer is never written while it is read, nor by two display threads at once.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>

#include "core/layout/Layout.h"
#include "core/support/ByteBuffer.h"

inline constexpr std::size_t kPaneBufferBytes = 720 * 576 * 2;
// Each pane's buffer starts on a page of its own, so that its pages can be given back alone.
inline constexpr std::size_t kPaneBufferStride = WholePages(kPaneBufferBytes);

class PaneBuffers {
  public:
    // Allocates the buffers once (start-up); false when memory is short (nothing is drawn then).
    bool Allocate();
    bool allocated() const { return ready_.load(); }

    struct Pane {
        std::mutex lock;
        uint8_t* pixels = nullptr;
        int32_t sizeFrame = -1;  // geometry of the picture in `pixels`; under `lock`
        bool halved = false;     // at half that width and height; under `lock`
        int64_t arrivedAt = 0;   // when its frame's last byte arrived (steady clock, ns)
        uint32_t version = 0;    // counts the pictures written; under `lock`
        std::size_t extent = 0;  // bytes written at most since pages were given back; under `lock`
    };
    Pane& operator[](int pane) { return panes_[pane]; }

    // A picture of `bytes` was written into pane `pane` (under its lock). When its pictures got
    // much smaller (its channel is now shown small), the pages beyond them go back to the system.
    void Wrote(int pane, std::size_t bytes);

  private:
    ByteBuffer memory_;
    std::atomic<bool> ready_{false};
    Pane panes_[kLayoutPanes];
};
