// Reduced decoding on a slot's receive path, with real H.264 through the slot's own decoders: a
// channel decoded without the deblocking filter goes back to full at a key frame, and from there
// its pictures are those of a decoder that never skipped the filter.
#include <cstring>

#include "core/dvr/DvrSlot.h"
#include "tests/support/ClientFixture.h"
#include "tests/support/H264Clip.h"
#include "tests/support/StreamPeer.h"
#include "tests/support/Wait.h"

namespace {

using namespace std::chrono_literals;
using Picture = std::vector<uint8_t>;

constexpr int kPictureBytes = 352 * 288 * 3 / 2;
constexpr int kHalfPackedBytes = 176 * 144 * 2;

// CIF with key frames at 0 and 40 only, deblocked as a camera's.
const std::vector<AccessUnit>& Clip() {
    static const std::vector<AccessUnit> clip = EncodeClip(352, 288, 60, 40, 0, false, true);
    return clip;
}

class ReducedIntake : public ClientTest, public ::testing::WithParamInterface<int> {
  protected:
    ReducedIntake() : slot(vc->Slot(0)), b(slot.NetCtrl) {
        EXPECT_EQ(slot.initDecode(), 1);
        EXPECT_EQ(slot.initNet(), 1);
        b.ThreadWork.store(1);
        peer = std::make_unique<StreamPeer>(b);
        vc->limits.decodeLanes = GetParam();
        vc->limits.decodeStartsAlone = false;  // with lanes, their path is the one tried
        if (lanes()) {
            slot.StartReceiveThread(false);
        }
    }
    bool lanes() const { return GetParam() > 1; }
    // Frames `from` to `to` - 1 of channel 0, read (by the test thread when there are no lanes,
    // as the receive thread would) and their pictures taken off the queue.
    void Feed(int from, int to) {
        NET_COMMAND cmd;
        for (int i = from; i < to; ++i) {
            peer->Send(FrameUnit(FrameSpec{.frameNo = static_cast<uint32_t>(i)}, Clip()[i]));
            if (!lanes()) {
                std::shared_ptr<TcpSocket> s = b.connection();
                ASSERT_TRUE(s);
                slot.RecvCommand(*s, s.get(), cmd);
            }
            NET_FRAME_HEADER h;
            const uint8_t* pixels = nullptr;
            ASSERT_TRUE(b.queue.PeekOldest(1, 5s, h, pixels)) << "frame " << i;
            const bool small = (h.spare & kHalvedPicture) != 0;
            halved.push_back(small);
            shown.emplace_back(pixels, pixels + (small ? kHalfPackedBytes : kPictureBytes));
            b.queue.PopOldest();
        }
    }
    int KeyRequests() {
        int n = 0;
        for (const NET_COMMAND& c : peer->ReceivedCommands()) {
            n += c.iCmd == NET_KEY_FRAME ? 1 : 0;
        }
        return n;
    }

    DvrSlot& slot;
    NetCtrl_Struct& b;
    std::unique_ptr<StreamPeer> peer;
    std::vector<Picture> shown;
    std::vector<bool> halved;  // each shown picture was queued at half its size
};

TEST_P(ReducedIntake, AChannelBackToFullAsksAKeyFrameAndFromItShowsTheFullDecodeExactly) {
    slot.SetReducedChannels(1u);
    ASSERT_NO_FATAL_FAILURE(Feed(0, 10));
    EXPECT_EQ(slot.reducedChannels().applied(), 1u);
    EXPECT_EQ(KeyRequests(), 0);  // going reduced needs no key frame

    slot.SetReducedChannels(0);
    ASSERT_NO_FATAL_FAILURE(Feed(10, 40));
    EXPECT_EQ(slot.reducedChannels().applied(), 1u);  // no key frame yet: still reduced
    EXPECT_TRUE(WaitFor([&] { return KeyRequests() == 1; }, 2s));
    ASSERT_NO_FATAL_FAILURE(Feed(40, 60));
    EXPECT_EQ(slot.reducedChannels().applied(), 0u);
    EXPECT_EQ(slot.reducedChannels().FullPictures(0), 20u);
    EXPECT_EQ(KeyRequests(), 1);  // asked once, not for every frame that waited

    const std::vector<Picture> reduced = DecodeClip(Clip(), 0, 40, true);
    const std::vector<Picture> full = DecodeClip(Clip(), 0, 40, false);
    const std::vector<Picture> fromKey = DecodeClip(Clip(), 40, 60, false);
    ASSERT_EQ(shown.size(), 60u);
    // Small from the first frame on, and queued at that size; no longer small from the next
    // frame on, though still reduced until the key frame.
    for (int i = 0; i < 40; ++i) {
        EXPECT_EQ(halved[i], i < 10) << "picture " << i;
        const Picture expected = i < 10 ? HalfPacked(reduced[i], 352, 288) : reduced[i];
        EXPECT_TRUE(shown[i] == expected) << "picture " << i << " is not the reduced decode";
    }
    // The filter's work shows in every picture, the key frame's included.
    EXPECT_FALSE(reduced[0] == full[0]);
    EXPECT_FALSE(reduced[39] == full[39]);
    for (int i = 40; i < 60; ++i) {
        EXPECT_FALSE(halved[i]) << "picture " << i;
        EXPECT_TRUE(shown[i] == fromKey[i - 40]) << "picture " << i << " is not the full decode";
    }
}

// On the receive thread alone, and on four decode lanes (the flag travels with the job).
INSTANTIATE_TEST_SUITE_P(Decoding, ReducedIntake, ::testing::Values(1, 4),
                         [](const auto& info) { return info.param > 1 ? "Lanes" : "Alone"; });

}  // namespace
