// The snapshot's pixel buffer: 4 bytes per pixel in the memory order red, green, blue, alpha,
// rows of rowBytes() bytes. It follows the size asked for at each snapshot, and a buffer that
// could not be made is simply missing (data() null) until a later Ensure() makes it.
//
// Threads: one thread at a time (the GUI thread, for the video surface).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

class CaptureBuffer {
  public:
    // Buffers larger than maxBytes are not made.
    explicit CaptureBuffer(std::size_t maxBytes = std::size_t{512} << 20) : maxBytes_(maxBytes) {}

    // Makes the buffer width x height unless it already has that size; false (and no buffer)
    // when the size is empty, too large, or memory is short.
    bool Ensure(int width, int height);

    uint8_t* data() { return pixels_.get(); }
    const uint8_t* data() const { return pixels_.get(); }
    int width() const { return width_; }
    int height() const { return height_; }
    int rowBytes() const { return width_ * 4; }

    // Turns the rows upside down; the middle row of an odd height stays.
    void FlipRows();

  private:
    std::size_t maxBytes_;
    std::unique_ptr<uint8_t[]> pixels_;
    int width_ = 0;
    int height_ = 0;
};
