// The picture geometry code carried by a frame header (its byte at offset 29 once folded):
// SizeFrame = imageSize + 3 * videoStandard. Remainder and quotient of signed division by 3 give
// the geometry; every consumer decodes it here.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

struct PictureGeometry {
    int width;
    int height;
    // Bytes of a packed I420 picture of this size.
    std::size_t I420Bytes() const {
        return static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 3 / 2;
    }
    // Bytes of the packed 4:2:2 picture of this size.
    std::size_t PackedBytes() const {
        return static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 2;
    }
    // Bytes of the packed 4:2:2 picture at half this width and height.
    std::size_t HalfPackedBytes() const {
        return static_cast<std::size_t>(width) * static_cast<std::size_t>(height) / 2;
    }
};

// 0: 704x576, 1: 704x288, 2: 352x288; a quotient of exactly 1 selects the 480-line standard
// (704x480, 704x240, 352x240). A negative remainder is no picture.
std::optional<PictureGeometry> SizeFrameGeometry(int32_t sizeFrame);

// Folds a header's videoStandard and imageSize bytes into the code, as 8-bit arithmetic.
int8_t FoldSizeFrame(int8_t videoStandard, int8_t imageSize);

// The largest picture: 704x576 packed I420.
inline constexpr std::size_t kMaxPictureBytes = 704 * 576 * 3 / 2;
