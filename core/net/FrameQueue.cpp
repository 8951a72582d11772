#include "core/net/FrameQueue.h"

#include <algorithm>
#include <cstring>

bool FrameQueue::Allocate(std::size_t pictureBytes) {
    const std::size_t slotBytes = kSlotPictureOffset + pictureBytes;
    ByteBuffer memory = AllocZeroed(kQueueSlots * slotBytes);
    if (!memory) {
        return false;
    }
    slots = std::move(memory);
    for (int i = 0; i < kQueueSlots; ++i) {
        buf[i] = slots.get() + i * slotBytes;
    }
    return true;
}

int32_t FrameQueue::ReserveLocked() {
    if (QueuedOrDecoding() >= kQueueSlots) {
        return -1;
    }
    const int32_t slot = (m_Top.load() + reserved_.load()) % kQueueSlots;
    slotState_[slot] = kDecoding;
    reserved_.fetch_add(1);
    return slot;
}

void FrameQueue::Release(int32_t slot) {
    std::lock_guard<std::mutex> g(mutex);
    if (reserved_.load() > 0 && slot == (m_Top.load() + reserved_.load() - 1) % kQueueSlots) {
        reserved_.fetch_sub(1);
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
            break;  // nothing behind it: the slot is simply free again
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
    if (published) {
        queued.notify_all();
    }
}

bool FrameQueue::PeekOldest(int minQueued, std::chrono::milliseconds limit,
                            NET_FRAME_HEADER& header, const uint8_t*& pixels, int64_t* arrived) {
    std::unique_lock<std::mutex> g(mutex);
    queued.wait_for(g, limit, [&] { return Numframe.load() >= minQueued || work_.load() == 0; });
    if (Numframe.load() < minQueued) {
        return false;
    }
    peekedEpoch = queueEpoch;
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
    // After a Clear the peeked picture is gone already.
    if (Numframe.load() > 0 && peekedEpoch == queueEpoch) {
        m_Bottom.store((m_Bottom.load() + 1) % kQueueSlots);
        Numframe.fetch_sub(1);
    }
}

void FrameQueue::WakeConsumers() {
    std::lock_guard<std::mutex> g(mutex);
    queued.notify_all();
}

void FrameQueue::Clear() {
    std::lock_guard<std::mutex> g(mutex);
    m_Top.store(0);
    m_Bottom.store(0);
    Numframe.store(0);
    reserved_.store(0);
    std::fill(std::begin(slotState_), std::end(slotState_), kDecoding);
    ++queueEpoch;
}
