#include <gtest/gtest.h>

#include <vector>

#include "core/decode/DecoderPool.h"
#include "core/decode/SizeFrame.h"
#include "tests/support/H264Clip.h"

namespace {

struct Size {
    int32_t code;
    int width, height;
};

TEST(SizeFrame, RemainderGivesTheWidthAndAQuotientOfOneThe480LineStandard) {
    const Size cases[] = {{0, 704, 576}, {1, 704, 288}, {2, 352, 288}, {3, 704, 480}, {4, 704, 240},
                          {5, 352, 240}, {6, 704, 576}, {8, 352, 288}, {-3, 704, 576}};
    for (const auto& c : cases) {
        auto g = SizeFrameGeometry(c.code);
        ASSERT_TRUE(g) << c.code;
        EXPECT_EQ(g->width, c.width) << c.code;
        EXPECT_EQ(g->height, c.height) << c.code;
    }
    EXPECT_FALSE(SizeFrameGeometry(-1));
    EXPECT_FALSE(SizeFrameGeometry(-2));
    EXPECT_EQ(SizeFrameGeometry(0)->i420Bytes(), 608256u);
}

TEST(SizeFrame, FoldingIsEightBitArithmetic) {
    EXPECT_EQ(FoldSizeFrame(1, 2), 5);
    EXPECT_EQ(FoldSizeFrame(0, 0), 0);
    EXPECT_EQ(FoldSizeFrame(100, 0), 44);  // 300 wraps to 44
    EXPECT_EQ(FoldSizeFrame(-1, 2), -1);   // a negative code: no picture
}

FramePtr MakeFrame(int width, int height, AVPixelFormat format = AV_PIX_FMT_YUV420P) {
    FramePtr f(av_frame_alloc());
    f->format = format;
    f->width = width;
    f->height = height;
    EXPECT_EQ(av_frame_get_buffer(f.get(), 64), 0);
    // Each sample tells its plane, row and column.
    for (int p = 0; p < 3; ++p) {
        const int w = p ? (width + 1) / 2 : width;
        const int h = p ? (height + 1) / 2 : height;
        for (int y = 0; y < h; ++y) {
            for (int x = 0; x < w; ++x) {
                f->data[p][y * f->linesize[p] + x] = static_cast<uint8_t>(p * 80 + y * 3 + x);
            }
        }
    }
    return f;
}

TEST(CopyAVFrameToBuf, RowsArePackedWithoutTheDecodersLinePadding) {
    FramePtr f = MakeFrame(352, 288);
    ASSERT_GT(f->linesize[0], 352);  // 64-byte alignment pads the rows
    std::vector<uint8_t> out(352 * 288 * 3 / 2 + 16, 0xEE);
    EXPECT_EQ(CopyAVFrameToBuf(f.get(), out.data(), 2), 352u * 288 * 3 / 2);
    EXPECT_EQ(out[0], 0);
    EXPECT_EQ(out[352 + 5], static_cast<uint8_t>(3 + 5));  // row 1, column 5
    const std::size_t cb = 352 * 288;
    EXPECT_EQ(out[cb + 176 * 2 + 1], static_cast<uint8_t>(80 + 6 + 1));
    const std::size_t cr = cb + 176 * 144;
    EXPECT_EQ(out[cr + 176 * 143 + 175], static_cast<uint8_t>(160 + 143 * 3 + 175));
    EXPECT_EQ(out[cr + 176 * 144], 0xEE);  // nothing written past the picture
}

TEST(CopyAVFrameToBuf, ADifferentDecodedSizeCopiesTheOverlapAndFillsTheRest) {
    FramePtr small = MakeFrame(200, 100);
    std::vector<uint8_t> out(352 * 288 * 3 / 2, 0xEE);
    EXPECT_EQ(CopyAVFrameToBuf(small.get(), out.data(), 2), out.size());
    EXPECT_EQ(out[99 * 352 + 199], static_cast<uint8_t>(99 * 3 + 199));
    EXPECT_EQ(out[99 * 352 + 200], 16);         // black luma right of the picture
    EXPECT_EQ(out[100 * 352], 16);              // and below it
    EXPECT_EQ(out[352 * 288 + 176 * 50], 128);  // neutral chroma below
    FramePtr large = MakeFrame(720, 576);
    std::vector<uint8_t> d1(704 * 576 * 3 / 2, 0xEE);
    EXPECT_EQ(CopyAVFrameToBuf(large.get(), d1.data(), 0), d1.size());
    EXPECT_EQ(d1[575 * 704 + 703], static_cast<uint8_t>(575 * 3 + 703));
}

TEST(CopyAVFrameToBuf, NoPictureForANegativeCodeOrAnotherPixelFormat) {
    FramePtr f = MakeFrame(352, 288);
    std::vector<uint8_t> out(704 * 576 * 3 / 2, 0xEE);
    EXPECT_EQ(CopyAVFrameToBuf(f.get(), out.data(), -1), 0u);
    EXPECT_EQ(CopyAVFrameToBuf(f.get(), out.data(), -2), 0u);
    FramePtr f422 = MakeFrame(352, 288, AV_PIX_FMT_YUV422P);
    EXPECT_EQ(CopyAVFrameToBuf(f422.get(), out.data(), 2), 0u);
    FramePtr empty(av_frame_alloc());  // before a decoder produced anything
    EXPECT_EQ(CopyAVFrameToBuf(empty.get(), out.data(), 2), 0u);
    for (uint8_t v : out) {
        ASSERT_EQ(v, 0xEE);
    }
}

TEST(DecoderPool, SetIsCreatedOnceAndDecodesChannelsZeroToThirtyOne) {
    Decode_Struct set;
    ASSERT_EQ(initDecode(set), 1);
    const AVCodecContext* first = set.out_c[31].get();
    EXPECT_EQ(initDecode(set), 1);
    EXPECT_EQ(set.out_c[31].get(), first);

    const auto clip = EncodeClip(352, 288, 2, 50);
    std::vector<uint8_t> input(clip[0].begin(), clip[0].end());
    input.resize(input.size() + kInputPadding, 0);
    NET_FRAME_HEADER h{};
    h.imageSize = 2;
    std::vector<uint8_t> picture(kMaxPictureBytes, 0);
    const uint32_t len = static_cast<uint32_t>(clip[0].size());
    EXPECT_EQ(DecodeData(set, input.data(), len, h, 31, picture.data()), 352 * 288 * 3 / 2);
    EXPECT_EQ(DecodeData(set, input.data(), len, h, 32, picture.data()), -1);
    EXPECT_EQ(DecodeData(set, input.data(), len, h, -1, picture.data()), -1);
    // A channel whose decoder has not seen a key frame gives no picture for a P frame.
    std::vector<uint8_t> p(clip[1].begin(), clip[1].end());
    p.resize(p.size() + kInputPadding, 0);
    EXPECT_LE(
        DecodeData(set, p.data(), static_cast<uint32_t>(clip[1].size()), h, 0, picture.data()), 0);
}

}  // namespace
