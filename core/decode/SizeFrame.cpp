#include "core/decode/SizeFrame.h"

std::optional<PictureGeometry> SizeFrameGeometry(int32_t sizeFrame) {
    const int32_t kind = sizeFrame % 3;
    if (kind < 0) {
        return std::nullopt;
    }
    const bool lines480 = sizeFrame / 3 == 1;
    switch (kind) {
        case 0: return PictureGeometry{704, lines480 ? 480 : 576};
        case 1: return PictureGeometry{704, lines480 ? 240 : 288};
        default: return PictureGeometry{352, lines480 ? 240 : 288};
    }
}

int8_t FoldSizeFrame(int8_t videoStandard, int8_t imageSize) {
    // Wraps like the 8-bit field it is written into.
    return static_cast<int8_t>(static_cast<uint8_t>(imageSize + 3 * videoStandard));
}
