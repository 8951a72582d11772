#include "core/net/FrameQueue.h"

#include <sys/mman.h>

#include <algorithm>
#include <cstring>

FrameQueue::FrameQueue(const std::atomic<int32_t>& work) : work_(work) {
    std::fill(std::begin(slotBlock_), std::end(slotBlock_), kNoBlock);
    for (int i = 0; i < kQueueSlots; ++i) {
        freeBlocks_[i] = static_cast<int8_t>(i);
    }
    freeCount_ = kQueueSlots;
}

FrameQueue::~FrameQueue() {
    for (Block& b : blocks_) {
        Unmap(b);
    }
}

void FrameQueue::Unmap(Block& b) {
    if (b.mapped > 0) {
        munmap(b.memory, b.mapped);
        bytesHeld_.fetch_sub(b.mapped);
    }
    b = Block{};
}

int8_t FrameQueue::TakeBlockLocked(std::size_t bytes) {
    if (freeCount_ == 0) {
        return kNoBlock;  // a cleared picture still being read holds the last one
    }
    // The most recently freed block that fits: its pages are the ones still in the cache.
    int pick = -1;
    for (int i = freeCount_ - 1; i >= 0; --i) {
        if (blocks_[freeBlocks_[i]].mapped > 0 && blocks_[freeBlocks_[i]].bytes >= bytes) {
            pick = i;
            break;
        }
    }
    if (pick < 0) {
        // Nothing fits: the oldest free block too small is made anew (so a larger size
        // replaces the smaller one), else an unused record.
        pick = 0;
        for (int i = 0; i < freeCount_; ++i) {
            if (blocks_[freeBlocks_[i]].mapped > 0) {
                pick = i;
                break;
            }
        }
        Block& b = blocks_[freeBlocks_[pick]];
        Unmap(b);
        const std::size_t length = kSlotPictureOffset + bytes;
        void* memory =
            mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (memory == MAP_FAILED) {
            return kNoBlock;
        }
        b.memory = static_cast<uint8_t*>(memory);
        b.mapped = length;
        b.bytes = bytes;
        bytesHeld_.fetch_add(length);
        blocksMade_.fetch_add(1);
    }
    const int8_t block = freeBlocks_[pick];
    std::copy(freeBlocks_ + pick + 1, freeBlocks_ + freeCount_, freeBlocks_ + pick);
    --freeCount_;
    heldPeak_ = std::max(heldPeak_, kQueueSlots - freeCount_);
    largestPeak_ = std::max(largestPeak_, bytes);
    return block;
}

void FrameQueue::FreeBlockLocked(int8_t b) {
    if (b != kNoBlock && freeCount_ < kQueueSlots) {
        freeBlocks_[freeCount_++] = b;
    }
}

int32_t FrameQueue::ReserveLocked(std::size_t pictureBytes) {
    if (QueuedOrDecoding() >= kQueueSlots) {
        return -1;
    }
    const int32_t slot = (m_Top.load() + reserved_.load()) % kQueueSlots;
    const int8_t block = TakeBlockLocked(pictureBytes);
    if (block == kNoBlock) {
        return -1;
    }
    slotBlock_[slot] = block;
    buf[slot] = blocks_[block].memory;
    slotState_[slot] = kDecoding;
    reserved_.fetch_add(1);
    lastReserve_ = std::chrono::steady_clock::now();
    return slot;
}

void FrameQueue::Release(int32_t slot) {
    std::lock_guard<std::mutex> g(mutex);
    if (reserved_.load() > 0 && slot == (m_Top.load() + reserved_.load() - 1) % kQueueSlots) {
        reserved_.fetch_sub(1);
        FreeBlockLocked(slotBlock_[slot]);
        slotBlock_[slot] = kNoBlock;
        buf[slot] = nullptr;
    }
}

void FrameQueue::Complete(int32_t slot, bool picture, int64_t arrived) {
    if (slot < 0 || slot >= kQueueSlots) {
        return;
    }
    std::lock_guard<std::mutex> g(mutex);
    slotState_[slot] = picture ? kPicture : kGap;
    if (picture) {
        arrivedAt[slot] = arrived;
    }
    bool published = false;
    while (reserved_.load() > 0 && slotState_[m_Top.load()] != kDecoding) {
        const int32_t top = m_Top.load();
        const bool gap = slotState_[top] == kGap;
        slotState_[top] = kDecoding;
        reserved_.fetch_sub(1);
        if (gap && reserved_.load() == 0) {
            // Nothing behind it: the slot is simply free again.
            FreeBlockLocked(slotBlock_[top]);
            slotBlock_[top] = kNoBlock;
            buf[top] = nullptr;
            break;
        }
        if (gap) {
            NET_FRAME_HEADER none{};
            none.type = 0;
            std::memcpy(buf[top], &none, sizeof none);
        }
        m_Top.store((top + 1) % kQueueSlots);
        Numframe.fetch_add(1);
        published = true;
    }
    // Only a consumer whose wait is now over is woken: one that waits for two pictures is not
    // woken for the first (a thread switch per picture saved).
    if (published && waitingFor_ > 0 && Numframe.load() >= waitingFor_) {
        queued.notify_all();
    }
}

bool FrameQueue::PeekOldest(int minQueued, std::chrono::milliseconds limit,
                            NET_FRAME_HEADER& header, const uint8_t*& pixels, int64_t* arrived) {
    std::unique_lock<std::mutex> g(mutex);
    waitingFor_ = std::max(minQueued, 1);
    queued.wait_for(g, limit, [&] { return Numframe.load() >= minQueued || work_.load() == 0; });
    waitingFor_ = 0;
    if (Numframe.load() < minQueued) {
        return false;
    }
    // A picture peeked before a Clear and never popped is no longer read.
    FreeBlockLocked(peekedBlock_);
    peekedBlock_ = kNoBlock;
    peeking_ = true;
    const uint8_t* slot = buf[m_Bottom.load()];
    if (arrived) {
        *arrived = arrivedAt[m_Bottom.load()];
    }
    std::memcpy(&header, slot, sizeof header);
    pixels = slot + kSlotPictureOffset;
    return true;
}

void FrameQueue::PopOldest() {
    std::lock_guard<std::mutex> g(mutex);
    peeking_ = false;
    if (peekedBlock_ != kNoBlock) {
        // A Clear came after the peek: the picture is gone already, only its memory returns.
        FreeBlockLocked(peekedBlock_);
        peekedBlock_ = kNoBlock;
        return;
    }
    if (Numframe.load() > 0) {
        const int32_t bottom = m_Bottom.load();
        FreeBlockLocked(slotBlock_[bottom]);
        slotBlock_[bottom] = kNoBlock;
        buf[bottom] = nullptr;
        m_Bottom.store((bottom + 1) % kQueueSlots);
        Numframe.fetch_sub(1);
    }
}

void FrameQueue::WakeConsumers() {
    std::lock_guard<std::mutex> g(mutex);
    queued.notify_all();
}

void FrameQueue::Clear() {
    std::lock_guard<std::mutex> g(mutex);
    // The oldest queued picture may be the one the consumer is reading: its memory stays its
    // own until the pop.
    const bool peeked = peeking_ && peekedBlock_ == kNoBlock;
    for (int i = 0; i < kQueueSlots; ++i) {
        if (slotBlock_[i] == kNoBlock) {
            continue;
        }
        if (peeked && i == m_Bottom.load()) {
            peekedBlock_ = slotBlock_[i];
        } else {
            FreeBlockLocked(slotBlock_[i]);
        }
        slotBlock_[i] = kNoBlock;
        buf[i] = nullptr;
    }
    m_Top.store(0);
    m_Bottom.store(0);
    Numframe.store(0);
    reserved_.store(0);
    std::fill(std::begin(slotState_), std::end(slotState_), kDecoding);
}

int FrameQueue::TrimSurplus() {
    // Spare blocks beyond the peak: the next window's pictures may come a little faster.
    constexpr int kSpare = 1;
    std::lock_guard<std::mutex> g(mutex);
    int keep = heldPeak_ + kSpare;
    int freed = 0;
    // Blocks in use count against what is kept; the oldest freed go first.
    for (int i = 0; i < kQueueSlots; ++i) {
        keep -= slotBlock_[i] != kNoBlock ? 1 : 0;
    }
    keep -= peekedBlock_ != kNoBlock ? 1 : 0;
    int mapped = 0;
    for (int i = freeCount_ - 1; i >= 0; --i) {
        Block& b = blocks_[freeBlocks_[i]];
        if (b.mapped == 0) {
            continue;
        }
        // A block over twice the largest picture of the window stays from larger pictures (a
        // channel now shown small): one of the size needed is made when it is needed.
        if (++mapped > keep || (largestPeak_ > 0 && b.bytes > 2 * largestPeak_)) {
            Unmap(b);
            ++freed;
            --mapped;
        }
    }
    heldPeak_ = kQueueSlots - freeCount_;
    largestPeak_ = 0;
    return freed;
}

int FrameQueue::TrimIdle(std::chrono::steady_clock::duration quiet) {
    std::lock_guard<std::mutex> g(mutex);
    if (std::chrono::steady_clock::now() - lastReserve_ < quiet) {
        return 0;
    }
    int freed = 0;
    for (int i = 0; i < freeCount_; ++i) {
        Block& b = blocks_[freeBlocks_[i]];
        if (b.mapped > 0) {
            Unmap(b);
            ++freed;
        }
    }
    return freed;
}
