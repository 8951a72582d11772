// What a DVR's pictures hold, fed by a DVR played by the test over a socket pair: a decoder per
// channel that sends, given back when the channel falls silent, and the queue's memory with it.
#include <pthread.h>
#include <sched.h>

#include <algorithm>
#include <atomic>
#include <thread>

#include "core/dvr/DvrSlot.h"
#include "tests/support/ClientFixture.h"
#include "tests/support/H264Clip.h"
#include "tests/support/StreamPeer.h"
#include "tests/support/Wait.h"
#include "tools/dvrsim/H264Encoder.h"
#include "tools/dvrsim/TestPattern.h"

namespace {

using namespace std::chrono_literals;

// CIF, key frames at 0 and 20.
const std::vector<AccessUnit>& Clip() {
    static const std::vector<AccessUnit> clip = EncodeClip(352, 288, 30, 20);
    return clip;
}

// A 704x576 key frame of a noisy picture: dear to decode beside reading it, as a camera's.
AccessUnit NoisyKeyFrame() {
    H264Encoder encoder(704, 576, 1);
    const YuvPlanes p = encoder.Picture();
    FillTestPattern(p, 704, 576, 0, 0);
    uint32_t noise = 1;
    for (int y = 0; y < 576; ++y) {
        for (int x = 0; x < 704; ++x) {
            noise = noise * 1664525u + 1013904223u;
            p.y[y * p.yStride + x] =
                static_cast<uint8_t>(p.y[y * p.yStride + x] / 2 + (noise >> 28));
        }
    }
    return encoder.Encode();
}

// The calling thread on one core of those it may use until this goes, and every thread it
// starts meanwhile for that thread's life.
class OneCore {
  public:
    OneCore() {
        CPU_ZERO(&before_);
        if (pthread_getaffinity_np(pthread_self(), sizeof before_, &before_) != 0) {
            return;
        }
        cpu_set_t one;
        CPU_ZERO(&one);
        for (int c = 0; c < CPU_SETSIZE; ++c) {
            if (CPU_ISSET(c, &before_)) {
                CPU_SET(c, &one);
                break;
            }
        }
        pinned_ =
            CPU_COUNT(&one) == 1 && pthread_setaffinity_np(pthread_self(), sizeof one, &one) == 0;
    }
    ~OneCore() {
        if (pinned_) {
            pthread_setaffinity_np(pthread_self(), sizeof before_, &before_);
        }
    }
    OneCore(const OneCore&) = delete;
    OneCore& operator=(const OneCore&) = delete;
    bool pinned() const { return pinned_; }

  private:
    cpu_set_t before_;
    bool pinned_ = false;
};

class SlotMemory : public ClientTest {
  protected:
    SlotMemory() : slot(vc->Slot(0)), b(slot.NetCtrl) {
        vc->limits.decoderIdle = 600ms;
        EXPECT_EQ(slot.initDecode(), 1);
        EXPECT_EQ(slot.initNet(), 1);
        peer = std::make_unique<StreamPeer>(b);
    }
    void TearDown() override { slot.Stop(); }
    void Send(int channel, uint32_t frameNo, int clipIndex) {
        peer->Send(FrameUnit(FrameSpec{.channel = channel, .frameNo = frameNo}, Clip()[clipIndex]));
    }
    // Takes every queued picture; their channels.
    std::vector<int> Take(std::size_t count) {
        std::vector<int> channels;
        while (channels.size() < count) {
            NET_FRAME_HEADER h;
            const uint8_t* pixels = nullptr;
            if (!b.queue.PeekOldest(1, 5s, h, pixels)) {
                break;
            }
            channels.push_back(h.channel);
            b.queue.PopOldest();
        }
        return channels;
    }

    // Channel `channel` sends a frame every `gap` for `span`, each taken as it is decoded, from
    // frame number `n` on; the next frame number.
    uint32_t SendSteadily(int channel, uint32_t n, std::chrono::milliseconds span,
                          std::chrono::milliseconds gap) {
        const auto since = std::chrono::steady_clock::now();
        while (std::chrono::steady_clock::now() - since < span) {
            Send(channel, n, static_cast<int>(n % 20));
            const std::vector<int> taken = Take(1);
            if (taken != std::vector<int>{channel}) {
                ADD_FAILURE() << "frame " << n << " of channel " << channel << " not decoded";
                break;
            }
            ++n;
            std::this_thread::sleep_for(gap);
        }
        return n;
    }

    DvrSlot& slot;
    NetCtrl_Struct& b;
    std::unique_ptr<StreamPeer> peer;
};

TEST_F(SlotMemory, ASilentChannelsDecoderIsReleasedAndMadeAgainAtItsNextKeyFrame) {
    for (int lanes : {1, 2}) {
        SCOPED_TRACE(lanes);
        vc->limits.decodeLanes = lanes;
        vc->limits.decodeStartsAlone = false;  // with lanes, their path is the one tried
        slot.StartReceiveThread(false);
        const uint32_t made = slot.Memory().decodersMade;
        EXPECT_EQ(slot.Memory().decodersOpen, 0);  // nothing for channels that send nothing
        Send(3, 0, 0);
        Send(9, 0, 0);
        EXPECT_EQ(Take(2), (std::vector<int>{3, 9}));
        EXPECT_EQ(slot.Memory().decodersOpen, 2);
        // Channel 9 falls silent while channel 3 goes on: only channel 9's decoder goes.
        SendSteadily(3, 1, 1500ms, 40ms);
        EXPECT_EQ(slot.Memory().decodersOpen, 1);
        // Its next pictures wait for a key frame; the decoder made then decodes on.
        const uint32_t dropped = b.stats[9].dropped.load();
        Send(9, 1, 1);
        Send(9, 2, 20);
        Send(9, 3, 21);
        EXPECT_EQ(Take(2), (std::vector<int>{9, 9}));
        EXPECT_EQ(b.stats[9].dropped.load(), dropped + 1);
        EXPECT_EQ(slot.Memory().decodersMade, made + 3);
        // All silent: the decoders and the queue's memory go back.
        EXPECT_GT(slot.Memory().queueBytes, 0u);
        EXPECT_TRUE(WaitFor([&] {
            const DvrSlot::MemoryFigures m = slot.Memory();
            return m.decodersOpen == 0 && m.queueBytes == 0;
        })) << slot.Memory().decodersOpen
            << " decoders, " << slot.Memory().queueBytes << " bytes";
        slot.Stop();
        slot.Renumbered();  // the slot afresh for the next round
        peer = std::make_unique<StreamPeer>(b);
    }
}

TEST_F(SlotMemory, PayloadBuffersABurstMadeGoOnceFramesComeOneAtATimeAgain) {
    vc->limits.decodeLanes = 2;
    vc->limits.decodeStartsAlone = false;
    vc->limits.decoderIdle = 60s;  // only the burst's end lets buffers go here
    slot.StartReceiveThread(false);
    // Frames read far faster than one lane decodes them: many wait for it at once.
    for (uint32_t n = 0; n < 24; ++n) {
        Send(0, n, static_cast<int>(n % 20));
    }
    ASSERT_EQ(Take(24).size(), 24u);
    const uint32_t burst = slot.Memory().payloadBuffers;
    EXPECT_GE(burst, 4u);
    // Then one frame at a time: after a few seconds the pool holds what that needs.
    const uint32_t n = SendSteadily(0, 24, 4500ms, 30ms);
    EXPECT_LE(slot.Memory().payloadBuffers, 3u) << "of " << burst << " after the burst";
    EXPECT_EQ(b.stats[0].decoded.load(), n);  // every frame decoded throughout
}

TEST_F(SlotMemory, ADvrStartsOnItsReceiveThreadSoAStartUpBurstHoldsNoQueueSlotsOnTheLanes) {
    vc->limits.decodeLanes = 2;
    slot.StartReceiveThread(false);
    EXPECT_TRUE(slot.decodesAlone());
    const std::vector<std::vector<uint8_t>> reference = DecodeClip(Clip(), 0, 20, false);
    // A burst far faster than one thread decodes: each frame is decoded before the next is
    // read, so no more than one slot waits for its picture at any time (on the lanes, every
    // frame read would hold one until a lane got to it).
    for (uint32_t n = 0; n < 20; ++n) {
        Send(0, n, static_cast<int>(n));
    }
    int mostWaiting = 0;
    for (uint32_t n = 0; n < 20; ++n) {
        NET_FRAME_HEADER h;
        const uint8_t* pixels = nullptr;
        ASSERT_TRUE(b.queue.PeekOldest(1, 5s, h, pixels)) << "frame " << n;
        mostWaiting = std::max(mostWaiting, b.queue.QueuedOrDecoding() - b.queue.Numframe.load());
        EXPECT_EQ(h.frameNo, n);
        EXPECT_TRUE(std::equal(reference[n].begin(), reference[n].end(), pixels)) << "frame " << n;
        b.queue.PopOldest();
    }
    EXPECT_LE(mostWaiting, 1);
    EXPECT_LE(slot.Memory().payloadBuffers, 1u);  // one frame in hand at a time
}

TEST_F(SlotMemory, ADvrThatFallsBehindDecodingAloneOnACrowdedCoreMovesToTheLanesAndStaysAWhile) {
    // The receive thread shares one core with two busy threads: it gets about a third of it, so
    // its decoding stays under two fifths of a core in CPU time while it decodes all the time
    // and cannot keep up.
    const AccessUnit key = NoisyKeyFrame();
    const OneCore core;
    ASSERT_TRUE(core.pinned()) << "this test needs a thread on one core";
    std::atomic<bool> crowded{true};
    std::vector<std::thread> busy;
    for (int i = 0; i < 2; ++i) {
        busy.emplace_back([&] {
            while (crowded.load(std::memory_order_relaxed)) {
            }
        });
    }
    std::atomic<bool> done{false};
    std::atomic<uint32_t> taken{0};
    std::atomic<uint32_t> outOfOrder{0};  // across the move too, the pictures come as sent
    std::thread taker([&] {
        while (!done.load()) {
            NET_FRAME_HEADER h;
            const uint8_t* pixels = nullptr;
            if (b.queue.PeekOldest(1, 50ms, h, pixels)) {
                if (h.frameNo != taken.load()) {
                    outOfOrder.fetch_add(1);
                }
                b.queue.PopOldest();
                taken.fetch_add(1);
            }
        }
    });
    vc->limits.decodeLanes = 2;
    slot.StartReceiveThread(false);
    const bool startedAlone = slot.decodesAlone();
    uint32_t n = 0;
    auto since = std::chrono::steady_clock::now();
    while (slot.decodesAlone() && std::chrono::steady_clock::now() - since < 10s) {
        if (n - taken.load() < 20) {  // always frames waiting for the receive thread
            peer->Send(FrameUnit(FrameSpec{.frameNo = n, .imageSize = 0}, key));
            ++n;
        } else {
            std::this_thread::sleep_for(1ms);
        }
    }
    const bool movedToLanes = !slot.decodesAlone();
    const uint32_t sentCrowded = n;
    // The crowd goes and the frames come far apart: a hundredth of a core, which would bring a
    // DVR back off the lanes within a second or two; this one stays there.
    crowded.store(false);
    for (std::thread& t : busy) {
        t.join();
    }
    bool stayed = true;
    since = std::chrono::steady_clock::now();
    while (std::chrono::steady_clock::now() - since < 2500ms) {
        peer->Send(FrameUnit(FrameSpec{.frameNo = n, .imageSize = 0}, key));
        ++n;
        std::this_thread::sleep_for(100ms);
        stayed = stayed && !slot.decodesAlone();
    }
    EXPECT_TRUE(WaitFor([&] { return taken.load() == n; })) << taken.load() << " of " << n;
    done.store(true);
    taker.join();
    EXPECT_TRUE(startedAlone);
    EXPECT_TRUE(movedToLanes) << sentCrowded << " frames sent";
    EXPECT_EQ(slot.fellBehind(), 1u);  // moved for falling behind, not for its CPU time
    EXPECT_TRUE(stayed);
    EXPECT_EQ(outOfOrder.load(), 0u);
}

TEST_F(SlotMemory, ALightDvrStartedOnTheLanesMovesOffThemAndItsPicturesStayAsTheyWere) {
    vc->limits.decodeLanes = 2;
    vc->limits.decodeStartsAlone = false;
    slot.StartReceiveThread(false);
    EXPECT_FALSE(slot.decodesAlone());
    const std::vector<std::vector<uint8_t>> reference = DecodeClip(Clip(), 0, 20, false);
    // Two channels, a frame each every 20 ms: little for a core. Their pictures are those of a
    // plain decode throughout, across the move off the lanes.
    uint32_t n = 0;
    bool aloneSeen = false;
    const auto since = std::chrono::steady_clock::now();
    while (std::chrono::steady_clock::now() - since < 2500ms) {
        Send(0, n, static_cast<int>(n % 20));
        Send(1, n, static_cast<int>(n % 20));
        for (int taken = 0; taken < 2; ++taken) {
            NET_FRAME_HEADER h;
            const uint8_t* pixels = nullptr;
            ASSERT_TRUE(b.queue.PeekOldest(1, 5s, h, pixels)) << "frame " << n;
            EXPECT_EQ(h.channel, taken);
            EXPECT_TRUE(std::equal(reference[n % 20].begin(), reference[n % 20].end(), pixels))
                << "channel " << h.channel << " frame " << n;
            b.queue.PopOldest();
        }
        aloneSeen = aloneSeen || slot.decodesAlone();
        ++n;
        std::this_thread::sleep_for(20ms);
    }
    EXPECT_TRUE(aloneSeen);
    EXPECT_TRUE(slot.decodesAlone());
}

}  // namespace
