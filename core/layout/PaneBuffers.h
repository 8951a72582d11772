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
    };
    Pane& operator[](int pane) { return panes_[pane]; }

  private:
    ByteBuffer memory_;
    std::atomic<bool> ready_{false};
    Pane panes_[kLayoutPanes];
};
