// The frame queue on its own: producers reserve and complete slots, a consumer peeks and pops.
#include "core/net/FrameQueue.h"

#include <gtest/gtest.h>

#include <cstring>
#include <thread>
#include <vector>

#include "tests/support/Wait.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

class FrameQueueTest : public ::testing::Test {
  protected:
    int32_t Reserve() {
        std::lock_guard<std::mutex> g(q.mutex);
        return q.ReserveLocked(sizeof(uint32_t));
    }
    // Completes `slot` with picture `n` (its header and its pixels say n), or without a picture.
    void Complete(int32_t slot, uint32_t n, bool picture = true) {
        if (picture) {
            NET_FRAME_HEADER h{};
            h.type = 'V';
            h.frameNo = n;
            std::memcpy(q.buf[slot], &h, sizeof h);
            std::memcpy(q.buf[slot] + kSlotPictureOffset, &n, sizeof n);
        }
        q.Complete(slot, picture, n);
    }
    void Add(uint32_t n) { Complete(Reserve(), n); }
    // Takes everything queued: the picture numbers, -1 for a gap.
    std::vector<int> Drain() {
        std::vector<int> seen;
        NET_FRAME_HEADER h;
        const uint8_t* pixels = nullptr;
        while (q.PeekOldest(1, 0ms, h, pixels)) {
            seen.push_back(h.type == 'V' ? static_cast<int>(h.frameNo) : -1);
            q.PopOldest();
        }
        return seen;
    }

    std::atomic<int32_t> work{1};
    FrameQueue q{work};
};

TEST_F(FrameQueueTest, SlotsShowInReservationOrderAndThoseWithoutAPictureAreGapsOrTakenBack) {
    struct Step {
        int reservation;
        bool picture;
        int visibleAfter;  // Numframe after this completion
    };
    struct Case {
        const char* what;
        int reservations;
        std::vector<Step> steps;
        std::vector<int> taken;  // picture numbers (= reservation), -1 for a gap
    };
    const Case cases[] = {
        {"reverse order", 3, {{2, true, 0}, {1, true, 0}, {0, true, 3}}, {0, 1, 2}},
        {"gap before a picture", 3, {{1, false, 0}, {0, true, 2}, {2, true, 3}}, {0, -1, 2}},
        {"last without a picture", 2, {{0, true, 1}, {1, false, 1}}, {0}},
        {"last without a picture, first", 2, {{1, false, 0}, {0, true, 1}}, {0}},
        {"first a gap, then taken back", 2, {{0, false, 1}, {1, false, 1}}, {-1}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<int32_t> slots;
        for (int i = 0; i < c.reservations; ++i) {
            slots.push_back(Reserve());
        }
        for (const Step& s : c.steps) {
            Complete(slots[s.reservation], s.reservation, s.picture);
            EXPECT_EQ(q.Numframe.load(), s.visibleAfter) << "after " << s.reservation;
        }
        EXPECT_EQ(Drain(), c.taken);
        EXPECT_EQ(q.QueuedOrDecoding(), 0);
        // A slot taken back is the next one reserved: nothing stays lost.
        EXPECT_EQ(Reserve(), static_cast<int32_t>(c.taken.size()));
        q.Clear();
    }
}

TEST_F(FrameQueueTest, ReleaseTakesBackOnlyTheNewestReservation) {
    const int32_t a = Reserve();
    const int32_t b = Reserve();
    q.Release(a);  // not the newest: still being decoded
    EXPECT_EQ(q.QueuedOrDecoding(), 2);
    q.Release(b);
    EXPECT_EQ(q.QueuedOrDecoding(), 1);
    EXPECT_EQ(Reserve(), b);
    q.Release(b);
    Complete(a, 7);
    EXPECT_EQ(Drain(), std::vector<int>{7});
}

TEST_F(FrameQueueTest, AFullQueueRefusesAndBackPressureCountsSlotsBeingDecoded) {
    std::vector<int32_t> slots;
    for (int i = 0; i < 5; ++i) {
        slots.push_back(Reserve());
    }
    Complete(slots[0], 0);
    Complete(slots[1], 1);
    EXPECT_EQ(q.Numframe.load(), 2);
    EXPECT_EQ(q.QueuedOrDecoding(), 5);
    for (int i = 5; i < kQueueSlots; ++i) {
        ASSERT_GE(Reserve(), 0) << i;
    }
    // Three slots still decode: a reservation now would hand one of them out twice.
    EXPECT_EQ(Reserve(), -1);
    NET_FRAME_HEADER h;
    const uint8_t* pixels = nullptr;
    ASSERT_TRUE(q.PeekOldest(1, 0ms, h, pixels));
    q.PopOldest();
    EXPECT_EQ(Reserve(), slots[0]);
}

TEST_F(FrameQueueTest, AClearBetweenPeekAndPopDropsThePeekedPictureAndPopsNoNewerOne) {
    Add(1);
    Add(2);
    NET_FRAME_HEADER h;
    const uint8_t* pixels = nullptr;
    ASSERT_TRUE(q.PeekOldest(1, 0ms, h, pixels));
    EXPECT_EQ(h.frameNo, 1u);
    q.Clear();
    EXPECT_EQ(q.Numframe.load(), 0);
    Add(3);
    q.PopOldest();  // the consumer's pop for picture 1
    EXPECT_EQ(Drain(), std::vector<int>{3});
}

TEST_F(FrameQueueTest, MemoryFollowsThePicturesInFlightGrowsForALargerOneAndGoesWhenIdle) {
    const auto passThrough = [&](std::size_t bytes, int pictures) {
        for (int i = 0; i < pictures; ++i) {
            int32_t slot;
            {
                std::lock_guard<std::mutex> g(q.mutex);
                slot = q.ReserveLocked(bytes);
            }
            ASSERT_GE(slot, 0);
            std::memset(q.buf[slot] + kSlotPictureOffset, 0xAB, bytes);  // ASan: all writable
            Complete(slot, static_cast<uint32_t>(i));
            Drain();
        }
    };
    // The ring turns a hundred times, but one picture at a time needs one block.
    passThrough(100000, 3200);
    EXPECT_EQ(q.blocksMade(), 1u);
    EXPECT_LT(q.bytesHeld(), 2 * (100000 + kSlotPictureOffset) + 8192);
    // A larger picture needs a larger block, made once; smaller ones fit in it afterwards.
    passThrough(400000, 50);
    passThrough(100000, 50);
    EXPECT_EQ(q.blocksMade(), 2u);
    EXPECT_EQ(q.TrimIdle(std::chrono::hours(1)), 0);  // not idle
    EXPECT_GT(q.bytesHeld(), 0u);
    EXPECT_EQ(q.TrimIdle(0s), 1);
    EXPECT_EQ(q.bytesHeld(), 0u);
    passThrough(1000, 2);  // and the queue works on
    EXPECT_EQ(q.blocksMade(), 3u);

    // Pictures that got smaller for good (a channel now shown small) do not keep a block of the
    // larger size; pictures of both sizes in one window keep the larger one.
    q.TrimIdle(0s);
    passThrough(150000, 5);
    EXPECT_EQ(q.TrimSurplus(), 0);
    passThrough(50000, 5);
    passThrough(150000, 1);
    EXPECT_EQ(q.TrimSurplus(), 0);
    passThrough(50000, 5);
    EXPECT_EQ(q.TrimSurplus(), 1);
    EXPECT_EQ(q.bytesHeld(), 0u);
    const uint32_t made = q.blocksMade();
    passThrough(50000, 5);
    EXPECT_EQ(q.blocksMade(), made + 1);
    EXPECT_LT(q.bytesHeld(), 50000 + kSlotPictureOffset + 4096);
    EXPECT_EQ(q.TrimSurplus(), 0);
    EXPECT_EQ(q.TrimSurplus(), 0);  // a window without pictures frees nothing for their size
    EXPECT_GT(q.bytesHeld(), 0u);
}

TEST_F(FrameQueueTest, ABurstsBlocksGoOnceItIsOverAndTheBlocksStillNeededStay) {
    std::vector<int32_t> slots;
    for (int i = 0; i < 20; ++i) {  // a consumer held up: twenty pictures wait
        slots.push_back(Reserve());
        Complete(slots.back(), static_cast<uint32_t>(i));
    }
    EXPECT_EQ(Drain().size(), 20u);
    EXPECT_EQ(q.TrimSurplus(), 0);  // the burst was in this window: its blocks may be needed
    for (int i = 0; i < 50; ++i) {  // then two at a time again
        const int32_t a = Reserve();
        const int32_t b = Reserve();
        Complete(a, 1);
        Complete(b, 2);
        Drain();
    }
    const uint32_t made = q.blocksMade();
    EXPECT_EQ(q.TrimSurplus(), 20 - (2 + 1));  // two in use at most, one to spare
    for (int i = 0; i < 50; ++i) {             // what is kept serves the pictures that come now
        const int32_t a = Reserve();
        const int32_t b = Reserve();
        Complete(a, 1);
        Complete(b, 2);
        Drain();
    }
    EXPECT_EQ(q.blocksMade(), made);
    EXPECT_EQ(q.TrimSurplus(), 0);
    // A picture held by the consumer counts as in use, never freed under it.
    Add(7);
    NET_FRAME_HEADER h;
    const uint8_t* pixels = nullptr;
    ASSERT_TRUE(q.PeekOldest(1, 0ms, h, pixels));
    q.TrimSurplus();
    q.TrimSurplus();
    uint32_t painted = 0;
    std::memcpy(&painted, pixels, sizeof painted);
    EXPECT_EQ(painted, 7u);
    q.PopOldest();
}

TEST_F(FrameQueueTest, APictureBeingReadKeepsItsMemoryAcrossAClearUntilItsPop) {
    Add(1);
    NET_FRAME_HEADER h;
    const uint8_t* pixels = nullptr;
    ASSERT_TRUE(q.PeekOldest(1, 0ms, h, pixels));
    q.Clear();
    for (uint32_t n = 100; n < 100 + kQueueSlots - 1; ++n) {
        Add(n);  // every other block may be handed out again, not the one being read
    }
    uint32_t painted = 0;
    std::memcpy(&painted, pixels, sizeof painted);
    EXPECT_EQ(painted, 1u);
    EXPECT_EQ(Reserve(), -1);  // the 32nd block is still the reader's
    q.PopOldest();
    EXPECT_EQ(q.Numframe.load(), kQueueSlots - 1);  // the pop took nothing newer
    EXPECT_GE(Reserve(), 0);
}

TEST_F(FrameQueueTest, AWaitingConsumerWakesForEnoughPicturesOrAStopAndTimesOutOtherwise) {
    NET_FRAME_HEADER h;
    const uint8_t* pixels = nullptr;
    int64_t arrived = 0;
    auto start = Clock::now();
    EXPECT_FALSE(q.PeekOldest(1, 150ms, h, pixels));
    EXPECT_GE(SecondsSince(start), 0.14);
    Add(40);
    EXPECT_FALSE(q.PeekOldest(2, 50ms, h, pixels));  // one is not enough

    std::thread producer([&] {
        std::this_thread::sleep_for(100ms);
        Add(41);
    });
    start = Clock::now();
    EXPECT_TRUE(q.PeekOldest(2, 5s, h, pixels, &arrived));
    EXPECT_LT(SecondsSince(start), 2.0);
    producer.join();
    EXPECT_EQ(h.frameNo, 40u);
    EXPECT_EQ(arrived, 40);

    std::thread stopper([&] {
        std::this_thread::sleep_for(100ms);
        work.store(0);
        q.WakeConsumers();
    });
    start = Clock::now();
    EXPECT_FALSE(q.PeekOldest(3, 5s, h, pixels));
    EXPECT_LT(SecondsSince(start), 2.0);
    stopper.join();
}

// Two decodes in flight, finishing in reverse: the consumer still sees every picture in order,
// header and pixels as written.
TEST_F(FrameQueueTest, AProducerAndAConsumerThreadPassEveryPictureInOrder) {
    constexpr uint32_t kPictures = 3000;
    std::thread producer([&] {
        for (uint32_t n = 0; n < kPictures;) {
            const int32_t first = Reserve();
            if (first < 0) {
                std::this_thread::yield();
                continue;
            }
            const int32_t second = n + 1 < kPictures ? Reserve() : -1;
            if (second >= 0) {
                Complete(second, n + 1);
            }
            Complete(first, n);
            n += second >= 0 ? 2 : 1;
        }
    });
    std::vector<uint32_t> wrong;
    for (uint32_t n = 0; n < kPictures; ++n) {
        NET_FRAME_HEADER h;
        const uint8_t* pixels = nullptr;
        ASSERT_TRUE(q.PeekOldest(1, 5s, h, pixels)) << n;
        uint32_t painted = 0;
        std::memcpy(&painted, pixels, sizeof painted);
        if (h.frameNo != n || painted != n) {
            wrong.push_back(n);
        }
        q.PopOldest();
    }
    producer.join();
    EXPECT_TRUE(wrong.empty()) << wrong.size() << " wrong, first at " << wrong.front();
    EXPECT_EQ(q.QueuedOrDecoding(), 0);
}

}  // namespace
