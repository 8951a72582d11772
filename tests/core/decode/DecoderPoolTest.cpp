// Picture geometry codes, the copy of a decoded picture into packed I420 and the decoder set.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "core/decode/DecoderPool.h"
#include "core/decode/SizeFrame.h"
#include "tests/support/H264Clip.h"

namespace {

TEST(SizeFrame, RemainderGivesTheWidthAndAQuotientOfOneThe480LineStandard) {
    const int cases[][3] = {{0, 704, 576}, {1, 704, 288}, {2, 352, 288},
                            {3, 704, 480}, {4, 704, 240}, {5, 352, 240},
                            {6, 704, 576}, {8, 352, 288}, {-3, 704, 576}};
    for (const auto& [code, width, height] : cases) {
        auto g = SizeFrameGeometry(code);
        ASSERT_TRUE(g) << code;
        EXPECT_EQ(g->width, width) << code;
        EXPECT_EQ(g->height, height) << code;
    }
    EXPECT_FALSE(SizeFrameGeometry(-1));
    EXPECT_FALSE(SizeFrameGeometry(-2));
    // Folding the header's bytes is 8-bit arithmetic: 300 wraps to 44.
    EXPECT_EQ(FoldSizeFrame(1, 2), 5);
    EXPECT_EQ(FoldSizeFrame(100, 0), 44);
    EXPECT_EQ(FoldSizeFrame(-1, 2), -1);
}

// A decoded picture whose every sample tells its plane, row and column.
FramePtr MakeFrame(int width, int height, AVPixelFormat format = AV_PIX_FMT_YUV420P) {
    FramePtr f(av_frame_alloc());
    f->format = format;
    f->width = width;
    f->height = height;
    EXPECT_EQ(av_frame_get_buffer(f.get(), 64), 0);
    for (int p = 0; p < 3; ++p) {
        for (int y = 0; y < (p ? (height + 1) / 2 : height); ++y) {
            for (int x = 0; x < (p ? (width + 1) / 2 : width); ++x) {
                f->data[p][y * f->linesize[p] + x] = static_cast<uint8_t>(p * 80 + y * 3 + x);
            }
        }
    }
    return f;
}

TEST(CopyAVFrameToBuf, RowsArePackedTheOverlapOfTwoSizesCopiedAndTheRestFilledWithBlack) {
    // Decoded size and the SizeFrame code; a negative code has no picture, so nothing is written.
    const int cases[][3] = {{352, 288, 2}, {200, 100, 2},  {201, 99, 2},
                            {720, 576, 0}, {352, 288, -1}, {352, 288, -2}};
    for (const auto& [width, height, code] : cases) {
        SCOPED_TRACE(testing::Message() << width << "x" << height << " code " << code);
        const FramePtr f = MakeFrame(width, height);
        ASSERT_GT(f->linesize[0], width);  // 64-byte alignment pads the rows
        std::vector<uint8_t> expected;
        for (int p = 0; p < 3 && SizeFrameGeometry(code); ++p) {
            const int w = SizeFrameGeometry(code)->width >> (p ? 1 : 0);
            const int h = SizeFrameGeometry(code)->height >> (p ? 1 : 0);
            const int fw = p ? (width + 1) / 2 : width, fh = p ? (height + 1) / 2 : height;
            for (int y = 0; y < h; ++y) {
                for (int x = 0; x < w; ++x) {
                    expected.push_back(y < fh && x < fw ? static_cast<uint8_t>(p * 80 + y * 3 + x)
                                                        : (p ? 128 : 16));
                }
            }
        }
        std::vector<uint8_t> out(kMaxPictureBytes + 16, 0xEE);
        EXPECT_EQ(CopyAVFrameToBuf(f.get(), out.data(), code), expected.size());
        EXPECT_TRUE(std::equal(expected.begin(), expected.end(), out.begin()));
        const auto rest = out.begin() + static_cast<long>(expected.size());
        EXPECT_EQ(std::count(rest, out.end(), 0xEE), out.end() - rest);  // nothing past the picture
    }
    // Nor for a picture of another pixel format, or before a decoder produced anything.
    std::vector<uint8_t> out(kMaxPictureBytes, 0xEE);
    EXPECT_EQ(CopyAVFrameToBuf(MakeFrame(352, 288, AV_PIX_FMT_YUV422P).get(), out.data(), 2), 0u);
    EXPECT_EQ(CopyAVFrameToBuf(FramePtr(av_frame_alloc()).get(), out.data(), 2), 0u);
    EXPECT_EQ(std::count(out.begin(), out.end(), 0xEE), static_cast<long>(out.size()));
}

TEST(CopyAVFrameHalved, IsTheFullCopySampledEverySecondRowAndColumnForEverySizeAndNothingMore) {
    // Sizes that fill the geometry, fall short of it (a partial group, an odd size) or exceed it.
    const int cases[][3] = {{352, 288, 2}, {200, 100, 2}, {201, 99, 2},  {30, 20, 2},
                            {720, 576, 0}, {704, 240, 4}, {352, 288, -1}};
    for (const auto& [width, height, code] : cases) {
        SCOPED_TRACE(testing::Message() << width << "x" << height << " code " << code);
        const FramePtr f = MakeFrame(width, height);
        std::vector<uint8_t> full(kMaxPictureBytes, 0);
        const uint32_t fullBytes = CopyAVFrameToBuf(f.get(), full.data(), code);
        // Each output row: luma row 2r and chroma row r; pair k: Y[4k] Cb[2k] Y[4k+2] Cr[2k].
        std::vector<uint8_t> expected;
        if (const auto g = SizeFrameGeometry(code)) {
            const uint8_t* y = full.data();
            const uint8_t* cb = y + g->width * g->height;
            const uint8_t* cr = cb + g->width * g->height / 4;
            for (int r = 0; r < g->height / 2; ++r) {
                for (int k = 0; k < g->width / 4; ++k) {
                    expected.insert(
                        expected.end(),
                        {y[2 * r * g->width + 4 * k], cb[r * g->width / 2 + 2 * k],
                         y[2 * r * g->width + 4 * k + 2], cr[r * g->width / 2 + 2 * k]});
                }
            }
            EXPECT_EQ(expected.size() * 3, fullBytes);
        }
        std::vector<uint8_t> out(kMaxPictureBytes + 16, 0xEE);
        EXPECT_EQ(CopyAVFrameHalved(f.get(), out.data(), code), expected.size());
        EXPECT_TRUE(std::equal(expected.begin(), expected.end(), out.begin()));
        const auto rest = out.begin() + static_cast<long>(expected.size());
        EXPECT_EQ(std::count(rest, out.end(), 0xEE), out.end() - rest);
    }
    std::vector<uint8_t> out(16, 0xEE);
    EXPECT_EQ(CopyAVFrameHalved(MakeFrame(352, 288, AV_PIX_FMT_YUV422P).get(), out.data(), 2), 0u);
    EXPECT_EQ(std::count(out.begin(), out.end(), 0xEE), 16);
}

TEST(DecoderPool, AChannelsDecoderIsMadeAtItsFirstFrameAndAReleasedOneStartsAfresh) {
    Decode_Struct set;
    ASSERT_EQ(initDecode(set), 1);
    EXPECT_EQ(initDecode(set), 1);
    EXPECT_EQ(set.open.load(), 0);  // nothing is made for channels that send nothing

    auto clip = EncodeClip(352, 288, 2, 50);
    const uint32_t key = static_cast<uint32_t>(clip[0].size());
    const uint32_t p = static_cast<uint32_t>(clip[1].size());
    for (auto& au : clip) {
        au.resize(au.size() + kInputPadding, 0);
    }
    NET_FRAME_HEADER h{};
    h.imageSize = 2;
    std::vector<uint8_t> picture(kMaxPictureBytes, 0);
    EXPECT_EQ(DecodeData(set, clip[0].data(), key, h, 31, picture.data()), 352 * 288 * 3 / 2);
    EXPECT_EQ(DecodeData(set, clip[1].data(), p, h, 31, picture.data()), 352 * 288 * 3 / 2);
    EXPECT_EQ(set.open.load(), 1);
    EXPECT_EQ(DecodeData(set, clip[0].data(), key, h, 32, picture.data()), -1);
    EXPECT_EQ(DecodeData(set, clip[0].data(), key, h, -1, picture.data()), -1);
    EXPECT_EQ(set.open.load(), 1);
    // A channel whose decoder has not seen a key frame gives no picture for a P frame: a fresh
    // one, and one released and made again.
    EXPECT_LE(DecodeData(set, clip[1].data(), p, h, 0, picture.data()), 0);
    ReleaseChannel(set, 31);
    EXPECT_EQ(set.open.load(), 1);
    EXPECT_LE(DecodeData(set, clip[1].data(), p, h, 31, picture.data()), 0);
    EXPECT_EQ(set.made.load(), 3u);
    FlushDecoders(set);
    EXPECT_EQ(set.open.load(), 0);
}

}  // namespace
