#include "tests/support/H264Clip.h"

#include "core/decode/DecoderPool.h"

#include "tools/dvrsim/H264Encoder.h"
#include "tools/dvrsim/TestPattern.h"

std::vector<AccessUnit> EncodeClip(int width, int height, int frames, int gop, int seed,
                                   bool intraRefresh, bool deblock) {
    H264Encoder encoder(width, height, gop, intraRefresh, deblock);
    std::vector<AccessUnit> clip;
    for (int i = 0; i < frames; ++i) {
        FillTestPattern(encoder.Picture(), width, height, seed, i);
        clip.push_back(encoder.Encode());
    }
    return clip;
}

std::vector<std::vector<uint8_t>> DecodeClip(const std::vector<AccessUnit>& clip, int from, int to,
                                             bool reduced) {
    constexpr int kPictureBytes = 352 * 288 * 3 / 2;
    Decode_Struct set;
    std::vector<std::vector<uint8_t>> pictures;
    if (initDecode(set) != 1) {
        return pictures;
    }
    NET_FRAME_HEADER h{};
    h.imageSize = 2;  // CIF
    for (int i = from; i < to; ++i) {
        std::vector<uint8_t> picture(kPictureBytes);
        AccessUnit unit = clip[static_cast<std::size_t>(i)];
        const auto len = static_cast<uint32_t>(unit.size());
        unit.resize(unit.size() + kInputPadding);
        if (DecodeData(set, unit.data(), len, h, 0, picture.data(), reduced) != kPictureBytes) {
            picture.clear();
        }
        pictures.push_back(std::move(picture));
    }
    return pictures;
}

std::vector<uint8_t> HalfPacked(const std::vector<uint8_t>& i420, int width, int height) {
    std::vector<uint8_t> out;
    const uint8_t* y = i420.data();
    const uint8_t* cb = y + width * height;
    const uint8_t* cr = cb + width * height / 4;
    for (int r = 0; r < height / 2; ++r) {
        for (int k = 0; k < width / 4; ++k) {
            out.insert(out.end(), {y[2 * r * width + 4 * k], cb[r * width / 2 + 2 * k],
                                   y[2 * r * width + 4 * k + 2], cr[r * width / 2 + 2 * k]});
        }
    }
    return out;
}
