#include "gui/main/video/CaptureBuffer.h"

#include <algorithm>
#include <new>

#include "core/support/Log.h"

bool CaptureBuffer::Ensure(int width, int height) {
    if (pixels_ && width == width_ && height == height_) {
        return true;
    }
    pixels_.reset();
    width_ = 0;
    height_ = 0;
    if (width <= 0 || height <= 0 ||
        static_cast<std::size_t>(width) * static_cast<std::size_t>(height) > maxBytes_ / 4) {
        QLog("capture buffer %dx%d not made", width, height);
        return false;
    }
    const std::size_t bytes =
        static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 4;
    pixels_.reset(new (std::nothrow) uint8_t[bytes]);
    if (!pixels_) {
        QLog("capture buffer %dx%d: out of memory", width, height);
        return false;
    }
    width_ = width;
    height_ = height;
    QLog("mWidth=%d mHeight=%d", width, height);
    return true;
}

void CaptureBuffer::FlipRows() {
    QLog("flipBufferContents");
    if (!pixels_) {
        return;
    }
    const std::size_t row = static_cast<std::size_t>(rowBytes());
    for (int i = 0; i < height_ / 2; ++i) {
        uint8_t* top = pixels_.get() + static_cast<std::size_t>(i) * row;
        uint8_t* bottom = pixels_.get() + static_cast<std::size_t>(height_ - 1 - i) * row;
        std::swap_ranges(top, top + row, bottom);
    }
    QLog("flipBufferContents!");
}
