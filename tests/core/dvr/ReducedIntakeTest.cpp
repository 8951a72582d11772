// Reduced and unshown channels on a slot's receive path, with real H.264 through the slot's own
// decoders: a channel decoded without the deblocking filter goes back to full at a key frame, and
// from there its pictures are those of a decoder that never skipped the filter; a channel no pane
// shows keeps no decoder and no picture, and comes back whole at a key frame.
#include <cstring>
#include <thread>

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
    // Frame `i` of channel 0 sent, and read by the test thread when there are no lanes (as the
    // receive thread would).
    void SendFrame(int i) {
        peer->Send(FrameUnit(FrameSpec{.frameNo = static_cast<uint32_t>(i)}, Clip()[i]));
        if (!lanes()) {
            NET_COMMAND cmd;
            std::shared_ptr<TcpSocket> s = b.connection();
            ASSERT_TRUE(s);
            slot.RecvCommand(*s, s.get(), cmd);
        }
    }
    // Frames `from` to `to` - 1 of channel 0, sent and their pictures taken off the queue.
    void Feed(int from, int to) {
        for (int i = from; i < to; ++i) {
            ASSERT_NO_FATAL_FAILURE(SendFrame(i));
            NET_FRAME_HEADER h;
            const uint8_t* pixels = nullptr;
            ASSERT_TRUE(b.queue.PeekOldest(1, 5s, h, pixels)) << "frame " << i;
            const bool small = (h.spare & kHalvedPicture) != 0;
            halved.push_back(small);
            shown.emplace_back(pixels, pixels + (small ? kHalfPackedBytes : kPictureBytes));
            b.queue.PopOldest();
        }
    }
    // Frames `from` to `to` - 1 of channel 0, of which no picture may come: sent, and waited for
    // until the slot has counted them all.
    void FeedUnseen(int from, int to) {
        for (int i = from; i < to; ++i) {
            ASSERT_NO_FATAL_FAILURE(SendFrame(i));
        }
        ASSERT_TRUE(
            WaitFor([&] { return b.stats[0].frames.load() == static_cast<uint32_t>(to); }, 5s));
        NET_FRAME_HEADER h;
        const uint8_t* pixels = nullptr;
        EXPECT_FALSE(b.queue.PeekOldest(1, 50ms, h, pixels)) << "a picture of frame " << h.frameNo;
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

TEST_P(ReducedIntake, AChannelNoPaneShowsCostsNoDecoderAndComesBackWholeAtAKeyFrame) {
    slot.SetShownChannels(0b10);  // another camera is shown; this one is not
    ASSERT_NO_FATAL_FAILURE(FeedUnseen(0, 10));
    EXPECT_EQ(slot.Memory().decodersOpen, 0);
    EXPECT_EQ(slot.Memory().decodersMade, 0u);
    EXPECT_EQ(b.stats[0].decoded.load(), 0u);
    EXPECT_EQ(b.stats[0].dropped.load(), 0u);  // passed over, not lost
    EXPECT_EQ(KeyRequests(), 0);

    // Shown: its pane waits for pictures from now on, not from when it was asked for.
    slot.NetLocalViewPlay(0b11, 0);
    const int64_t asked = slot.AskedSince(0);
    ASSERT_GT(asked, 0);
    std::this_thread::sleep_for(5ms);
    slot.SetShownChannels(0b11);
    EXPECT_GT(slot.AskedSince(0), asked);
    ASSERT_NO_FATAL_FAILURE(FeedUnseen(10, 40));  // no key frame yet: nothing decoded from those
    EXPECT_TRUE(WaitFor([&] { return KeyRequests() == 1; }, 2s));  // asked at once
    EXPECT_EQ(b.stats[0].dropped.load(), 0u);
    ASSERT_NO_FATAL_FAILURE(Feed(40, 60));
    EXPECT_EQ(KeyRequests(), 1);
    const std::vector<Picture> fromKey = DecodeClip(Clip(), 40, 60, false);
    ASSERT_EQ(shown.size(), 20u);
    for (int i = 0; i < 20; ++i) {
        EXPECT_TRUE(shown[i] == fromKey[i]) << "picture " << 40 + i << " is not the full decode";
    }
    EXPECT_EQ(slot.Memory().decodersOpen, 1);

    if (lanes()) {
        // Out of the panes again: the receive thread lets its decoder go without waiting for the
        // stream to fall silent.
        slot.SetShownChannels(0b10);
        EXPECT_TRUE(WaitFor([&] { return slot.Memory().decodersOpen == 0; }, 2s));
    }
}

// A channel shown again as its live view restarts (which asks for a key frame itself) waits for
// that key frame: the DVR is not asked twice.
TEST_P(ReducedIntake, AChannelComingBackWaitsForTheKeyFrameAskedJustBefore) {
    slot.SetShownChannels(0);
    ASSERT_NO_FATAL_FAILURE(FeedUnseen(0, 5));
    slot.SetShownChannels(1);
    slot.CreateNetKeyFrame();  // as a restart of the live view does
    ASSERT_NO_FATAL_FAILURE(FeedUnseen(5, 40));
    ASSERT_NO_FATAL_FAILURE(Feed(40, 45));
    EXPECT_EQ(KeyRequests(), 1);
    EXPECT_EQ(b.stats[0].decoded.load(), 5u);
}

// A played recording is decoded whatever the panes show: the playback follows its pictures.
TEST_P(ReducedIntake, PlayedFramesAreDecodedWhateverThePanesShow) {
    slot.SetShownChannels(0);
    peer->Send(CommandUnit(MakeCommand(NET_OTHER_INFO, INFO_PLAY_STATE, 9)));  // play accepted
    if (!lanes()) {
        NET_COMMAND cmd;
        std::shared_ptr<TcpSocket> s = b.connection();
        ASSERT_TRUE(s);
        slot.RecvCommand(*s, s.get(), cmd);
    }
    ASSERT_NO_FATAL_FAILURE(Feed(0, 10));
    const std::vector<Picture> full = DecodeClip(Clip(), 0, 10, false);
    ASSERT_EQ(shown.size(), 10u);
    for (int i = 0; i < 10; ++i) {
        EXPECT_TRUE(shown[i] == full[i]) << "picture " << i << " is not the full decode";
    }
}

// On the receive thread alone, and on four decode lanes (the flag travels with the job).
INSTANTIATE_TEST_SUITE_P(Decoding, ReducedIntake, ::testing::Values(1, 4),
                         [](const auto& info) { return info.param > 1 ? "Lanes" : "Alone"; });

}  // namespace
