#include <gtest/gtest.h>

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

TEST(PixelConversion, EveryGeometryMatchesThePlainDefinition) {
    std::mt19937 rng(3);
    for (int32_t code : {0, 1, 2, 3, 4, 5, -3}) {
        const auto g = SizeFrameGeometry(code);
        ASSERT_TRUE(g);
        std::vector<uint8_t> src(g->i420Bytes());
        for (auto& b : src) {
            b = static_cast<uint8_t>(rng());
        }
        std::vector<uint8_t> dst(static_cast<std::size_t>(g->width) * g->height * 2 + 32, 0xEE);
        EXPECT_EQ(DataChange(dst.data(), src.data(), code), 0u);
        const auto expected = Reference(src, g->width, g->height);
        EXPECT_TRUE(std::equal(expected.begin(), expected.end(), dst.begin())) << code;
        EXPECT_EQ(dst[expected.size()], 0xEE) << "written past the picture, code " << code;
        EXPECT_EQ(expected.size() / g->height, static_cast<std::size_t>(g->width) * 2);
    }
}

TEST(PixelConversion, PlanesAreFoundAtTheirOffsets) {
    // 704 x 480: Cb at 337,920 and Cr at 422,400.
    std::vector<uint8_t> src(704 * 480 * 3 / 2, 0);
    src[337920] = 77;
    src[422400] = 99;
    std::vector<uint8_t> dst(704 * 480 * 2);
    DataChange(dst.data(), src.data(), 3);
    EXPECT_EQ(dst[1], 77);
    EXPECT_EQ(dst[3], 99);
    EXPECT_EQ(dst[1408 + 1], 77);  // row 1 shares chroma row 0
}

TEST(PixelConversion, CodesWithoutAPictureWriteNothing) {
    std::vector<uint8_t> src(kMaxPictureBytes, 1);
    std::vector<uint8_t> dst(704 * 576 * 2, 0xEE);
    DataChange(dst.data(), src.data(), -1);
    DataChange(dst.data(), src.data(), -2);
    for (uint8_t b : dst) {
        ASSERT_EQ(b, 0xEE);
    }
}

}  // namespace
