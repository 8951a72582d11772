// Handing back an allocation's zero pages: only whole zero pages inside the block go, and the
// block reads the same afterwards; a decoder's cleared context costs its written pages only.
#include <gtest/gtest.h>
#include <sys/mman.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "core/decode/DecoderPool.h"
#include "core/support/ZeroPages.h"
#include "tests/support/H264Clip.h"

namespace {

constexpr std::size_t kPage = 4096;

std::vector<bool> Resident(const void* memory, std::size_t pages) {
    std::vector<unsigned char> in(pages);
    EXPECT_EQ(mincore(const_cast<void*>(memory), pages * kPage, in.data()), 0);
    std::vector<bool> out;
    for (unsigned char p : in) {
        out.push_back((p & 1) != 0);
    }
    return out;
}

TEST(ZeroPages, OnlyWholeZeroPagesInsideTheBlockGoAndItReadsTheSameAfterwards) {
    constexpr std::size_t kPages = 16;
    void* mapped =
        mmap(nullptr, kPages * kPage, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    ASSERT_NE(mapped, MAP_FAILED);
    auto* p = static_cast<unsigned char*>(mapped);
    std::memset(p, 0, kPages * kPage);  // cleared: every page resident
    p[3 * kPage + 100] = 7;
    p[9 * kPage + kPage - 1] = 9;
    p[50] = 1;  // before the block: its first page is not whole inside it anyway
    // The block starts inside page 0 and ends inside page 15: pages 1 to 14 are its own.
    EXPECT_EQ(GiveBackZeroPages(p + 100, kPages * kPage - 200), 12);
    const std::vector<bool> resident = Resident(p, kPages);
    for (std::size_t i = 0; i < kPages; ++i) {
        const bool kept = i == 0 || i == 15 || i == 3 || i == 9;
        EXPECT_EQ(resident[i], kept) << "page " << i;
    }
    std::vector<unsigned char> expected(kPages * kPage, 0);
    expected[3 * kPage + 100] = 7;
    expected[9 * kPage + kPage - 1] = 9;
    expected[50] = 1;
    EXPECT_EQ(std::memcmp(p, expected.data(), expected.size()), 0);
    p[5 * kPage] = 5;  // a page handed back is written again like any other
    EXPECT_EQ(p[5 * kPage], 5);
    EXPECT_EQ(GiveBackZeroPages(p, 0), 0);
    munmap(mapped, kPages * kPage);
}

// The pictures of a plain libavcodec decoder, as packed I420.
std::vector<std::vector<uint8_t>> PlainDecode(const std::vector<AccessUnit>& clip) {
    const AVCodec* codec = avcodec_find_decoder(AV_CODEC_ID_H264);
    CodecContextPtr ctx(avcodec_alloc_context3(codec));
    ctx->thread_count = 1;
    EXPECT_EQ(avcodec_open2(ctx.get(), codec, nullptr), 0);
    FramePtr frame(av_frame_alloc());
    PacketPtr packet(av_packet_alloc());
    std::vector<std::vector<uint8_t>> pictures;
    for (AccessUnit unit : clip) {
        const int len = static_cast<int>(unit.size());
        unit.resize(unit.size() + kInputPadding, 0);
        packet->data = unit.data();
        packet->size = len;
        EXPECT_EQ(avcodec_send_packet(ctx.get(), packet.get()), 0);
        while (avcodec_receive_frame(ctx.get(), frame.get()) == 0) {
            pictures.emplace_back(352 * 288 * 3 / 2);
            CopyAVFrameToBuf(frame.get(), pictures.back().data(), 2);
            av_frame_unref(frame.get());
        }
    }
    return pictures;
}

TEST(ZeroPages, ADecodersClearedContextCostsTheFewPagesItWritesAndDecodesAsBefore) {
    const std::vector<AccessUnit> clip = EncodeClip(352, 288, 20, 10, 4);
    const std::vector<std::vector<uint8_t>> reference = PlainDecode(clip);
    ASSERT_EQ(reference.size(), clip.size());
    Decode_Struct set;
    ASSERT_EQ(initDecode(set), 1);
    ASSERT_TRUE(OpenChannel(set, 5));
    const AVCodecContext* ctx = set.out_c[5].get();
    const auto start = reinterpret_cast<std::uintptr_t>(ctx->priv_data);
    const std::size_t pages = 64;  // the context is far larger: its first quarter megabyte
    const void* first = reinterpret_cast<const void*>((start + kPage - 1) & ~(kPage - 1));
    const std::vector<bool> resident = Resident(first, pages);
    EXPECT_LE(std::count(resident.begin(), resident.end(), true), static_cast<long>(pages / 4));
    NET_FRAME_HEADER h{};
    h.imageSize = 2;
    for (std::size_t i = 0; i < clip.size(); ++i) {
        AccessUnit unit = clip[i];
        const auto len = static_cast<uint32_t>(unit.size());
        unit.resize(unit.size() + kInputPadding, 0);
        std::vector<uint8_t> picture(352 * 288 * 3 / 2);
        ASSERT_EQ(DecodeData(set, unit.data(), len, h, 5, picture.data()), 352 * 288 * 3 / 2);
        EXPECT_TRUE(picture == reference[i]) << "frame " << i;
    }
}

}  // namespace
