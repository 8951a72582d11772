// A DVR's frame queue: 32 slots, each a frame header followed (at kSlotPictureOffset) by the
// packed I420 picture decoded from it, taken off oldest first.
//
// Memory follows the pictures: a reservation takes a block big enough for the picture it says
// it brings from the queue's free blocks (newest freed first, so the same few stay warm), and
// makes one only when none fits. A block goes back when its slot is popped or cleared. A queue
// that took nothing for a while gives its free blocks back (TrimIdle), and one whose burst is
// over the blocks it no longer needs (TrimSurplus). So a DVR costs the
// pictures it has in flight, not 32 of the largest size.
//
// Producer side (the DVR's receive thread, and the decode lanes it hands frames to): a slot is
// reserved when its frame arrives (ReserveLocked, receive thread only), filled without the lock,
// then completed with a picture or without one (Complete, any producer thread). Pictures may be
// decoded on several threads at once, so a completed slot becomes visible only once every slot
// reserved before it was completed too: consumers see pictures in the order of reservation. A
// slot completed without a picture is taken back when nothing was reserved after it; otherwise it
// is queued as a gap (a header of type 0) that consumers skip.
//
// Consumer side (one thread: the display thread, or the probe): PeekOldest, then PopOldest. The
// peeked header and pixels stay valid and untouched until PopOldest, even when Clear comes
// between: the picture is then gone from the queue, its memory stays the consumer's, and the pop
// gives back only that memory, never a newer picture.
//
// Locks: `mutex` guards the slot states, the arrival times and the blocks, and every write of the
// indices; m_Top, m_Bottom, Numframe and QueuedOrDecoding may be read without it. The owner may
// hold `mutex` over a step of its own that must be one with a reservation (the intake's sequence
// check). `mutex` is never held with a lock of the control block.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>

#include "core/wire/WireFormats.h"

inline constexpr int kQueueSlots = 32;
inline constexpr int kBackPressureDepth = 30;
inline constexpr std::size_t kSlotPictureOffset = 64;  // keeps pictures cache-line aligned

class FrameQueue {
  public:
    // A consumer's wait ends early once `work` is 0 (the owner's threads stop); whoever clears
    // it calls WakeConsumers.
    explicit FrameQueue(const std::atomic<int32_t>& work);
    ~FrameQueue();
    FrameQueue(const FrameQueue&) = delete;
    FrameQueue& operator=(const FrameQueue&) = delete;

    // ---- Producer side ------------------------------------------------------------------------
    // Reserves the next slot with room for a picture of `pictureBytes` after the header, or -1
    // when the queue, with the slots being decoded, is full (or memory is short). The caller
    // holds `mutex`, and fills buf[slot] without it.
    int32_t ReserveLocked(std::size_t pictureBytes);
    // Takes back the newest reservation, `slot`: its frame is dropped before decoding. Anything
    // else (an older slot, one no longer reserved) is left alone.
    void Release(int32_t slot);
    // Slot `slot` is done: with a picture (its header written at buf[slot]) that arrived at
    // `arrived` (steady clock, ns), or without one. Wakes the consumer when pictures became
    // visible. Any producer thread.
    void Complete(int32_t slot, bool picture, int64_t arrived);
    // Queued pictures plus those being decoded: what the back pressure waits on. Any thread.
    int32_t QueuedOrDecoding() const { return Numframe.load() + reserved_.load(); }

    // ---- Consumer side ------------------------------------------------------------------------
    // Waits up to `limit` until at least `minQueued` pictures are queued, then gives the oldest:
    // its header, its pixels and (`arrived`) when its frame's last byte arrived. False on
    // time-out, or at once when the owner's threads stop.
    bool PeekOldest(int minQueued, std::chrono::milliseconds limit, NET_FRAME_HEADER& header,
                    const uint8_t*& pixels, int64_t* arrived = nullptr);
    // Takes the peeked (oldest) picture off the queue; when a Clear came after the peek, only
    // its memory goes back.
    void PopOldest();
    // Wakes a consumer waiting in PeekOldest, so that it sees `work` cleared. Any thread.
    void WakeConsumers();

    // Empties the queue (a peeked picture is then gone, though its memory stays the consumer's
    // until its pop). Receive thread, with no slot being decoded.
    void Clear();

    // Frees the free blocks when nothing was reserved for `quiet` or longer; the blocks freed.
    // Any thread (the consumer calls it when its wait times out).
    int TrimIdle(std::chrono::steady_clock::duration quiet);
    // Frees the free blocks beyond what the queue held at most since the last call, with one to
    // spare, so that a burst (a consumer held up) does not keep its memory, and those over twice
    // the largest picture since then (the pictures got smaller); the blocks freed.
    // Any thread; meant to be called every few seconds.
    int TrimSurplus();
    // Blocks made since the start: growth is rare once the pictures' size is known. Any thread.
    uint32_t blocksMade() const { return blocksMade_.load(); }
    // Bytes of picture memory held now, in use or free. Any thread.
    std::size_t bytesHeld() const { return bytesHeld_.load(); }

    // The queue's lock, see above.
    mutable std::mutex mutex;
    std::atomic<int32_t> m_Top{0};     // next slot to fill
    std::atomic<int32_t> m_Bottom{0};  // oldest queued slot
    std::atomic<int32_t> Numframe{0};  // queued pictures, 0 to 32
    std::condition_variable queued;    // signalled under `mutex` when pictures become visible
    // Each reserved or queued slot's memory, set by its reservation. A reserved slot belongs to
    // its producer until it is completed; the oldest queued one to the consumer between its peek
    // and its pop.
    uint8_t* buf[kQueueSlots] = {};

  private:
    enum : uint8_t { kDecoding = 0, kPicture = 1, kGap = 2 };
    static constexpr int8_t kNoBlock = -1;

    // Mapped pages of their own, so that a freed block goes back to the system at once.
    struct Block {
        uint8_t* memory = nullptr;
        std::size_t mapped = 0;  // bytes mapped, 0 for none
        std::size_t bytes = 0;   // usable after the header
    };
    void Unmap(Block& b);
    // Gives block `b` back to the free ones (under `mutex`).
    void FreeBlockLocked(int8_t b);
    // The index of a free block of at least `bytes`, made or grown if none fits; kNoBlock when
    // memory is short (under `mutex`).
    int8_t TakeBlockLocked(std::size_t bytes);

    const std::atomic<int32_t>& work_;
    // At most one block per slot exists. All under `mutex`.
    Block blocks_[kQueueSlots];
    int8_t slotBlock_[kQueueSlots];   // the block each reserved or queued slot holds
    int8_t freeBlocks_[kQueueSlots];  // a stack; the last freed on top
    int freeCount_ = 0;
    int8_t peekedBlock_ = kNoBlock;  // kept for the consumer across a Clear until its pop
    bool peeking_ = false;           // between a consumer's peek and its pop
    int waitingFor_ = 0;             // the pictures a waiting consumer waits for; 0: none waits
    std::chrono::steady_clock::time_point lastReserve_{};
    int heldPeak_ = 0;  // blocks in use at most since the last TrimSurplus; under `mutex`
    std::size_t largestPeak_ = 0;  // the largest picture reserved since then; under `mutex`
    std::atomic<uint32_t> blocksMade_{0};
    std::atomic<std::size_t> bytesHeld_{0};
    // Slots from m_Top on being decoded; written under `mutex`, read anywhere.
    std::atomic<int32_t> reserved_{0};
    uint8_t slotState_[kQueueSlots] = {};  // of the reserved slots; under `mutex`
    int64_t arrivedAt[kQueueSlots] = {};   // when each queued frame arrived; under `mutex`
};
