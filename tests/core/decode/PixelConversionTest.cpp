// Packed I420 to packed 4:2:2, against a worked example and against the plain definition.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

#include "core/decode/PixelConversion.h"
#include "core/decode/SizeFrame.h"

namespace {

// The plain definition the fast path must match byte for byte.
std::vector<uint8_t> Reference(const std::vector<uint8_t>& i420, int w, int h) {
    std::vector<uint8_t> out(static_cast<std::size_t>(w) * h * 2);
    const uint8_t* y = i420.data();
    const uint8_t* u = y + w * h;
    const uint8_t* v = u + w * h / 4;
    for (int r = 0; r < h; ++r) {
        for (int x = 0; x < w; x += 2) {
            uint8_t* o = &out[static_cast<std::size_t>(r) * 2 * w + 2 * x];
            o[0] = y[r * w + x];
            o[1] = u[(r / 2) * (w / 2) + x / 2];
            o[2] = y[r * w + x + 1];
            o[3] = v[(r / 2) * (w / 2) + x / 2];
        }
    }
    return out;
}

TEST(PixelConversion, TwoByTwoPictureRepeatsItsChromaRow) {
    const uint8_t y[] = {10, 20, 30, 40};
    const uint8_t cb[] = {100};
    const uint8_t cr[] = {200};
    uint8_t out[8] = {};
    yuv420p_to_yuv422(y, cb, cr, out, 2, 2);
    const uint8_t expected[] = {10, 100, 20, 200, 30, 100, 40, 200};
    EXPECT_TRUE(std::equal(std::begin(out), std::end(out), std::begin(expected)));
}

TEST(PixelConversion, EveryGeometryMatchesThePlainDefinitionAndNoPictureWritesNothing) {
    std::mt19937 rng(3);
    std::vector<uint8_t> src(kMaxPictureBytes);
    for (auto& b : src) {
        b = static_cast<uint8_t>(rng());
    }
    for (int32_t code : {0, 1, 2, 3, 4, 5, -3, -1, -2}) {
        const auto g = SizeFrameGeometry(code);
        std::vector<uint8_t> dst(704 * 576 * 2 + 32, 0xEE);
        const auto expected = g ? Reference(src, g->width, g->height) : std::vector<uint8_t>{};
        DataChange(dst.data(), src.data(), code);
        EXPECT_TRUE(std::equal(expected.begin(), expected.end(), dst.begin())) << code;
        EXPECT_EQ(std::count(dst.begin() + static_cast<long>(expected.size()), dst.end(), 0xEE),
                  static_cast<long>(dst.size() - expected.size()))
            << "written past the picture, code " << code;
    }
}

}  // namespace
