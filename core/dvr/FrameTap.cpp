#include "core/dvr/FrameTap.h"

#include <cstring>

#include "core/support/Log.h"

FrameTap::FrameTap()
    : ring_(std::make_unique<uint8_t[]>(kRingBytes)),
      entries_(std::make_unique<Entry[]>(kMaxFrames)) {}

void FrameTap::Offer(const NET_FRAME_HEADER& h, const uint8_t* payload) {
    const std::size_t len = h.dataLen;
    const uint32_t bit = 1u << (static_cast<uint32_t>(h.channel) % 32);
    std::unique_lock<std::mutex> g(lock_);
    // Where the frame goes: after the newest one, or at the ring's start when the end is short;
    // never over the oldest one (the consumer may be reading it).
    std::size_t at = 0;
    bool room = count_ < kMaxFrames && len <= kRingBytes;
    if (room && count_ > 0) {
        const Entry& oldest = entries_[first_];
        const Entry& newest = entries_[(first_ + count_ - 1) % kMaxFrames];
        const std::size_t end = newest.offset + newest.header.dataLen;
        if (newest.offset >= oldest.offset) {  // not wrapped yet
            at = end + len <= kRingBytes ? end : 0;
            room = at == end || len <= oldest.offset;
        } else {
            at = end;
            room = end + len <= oldest.offset;
        }
    }
    if (!room) {
        const bool first = (droppedMask_ & bit) == 0;
        droppedMask_ |= bit;
        g.unlock();
        if (dropped_.fetch_add(1, std::memory_order_relaxed) == 0 || first) {
            QLog("frame tap full: frames of channel %d dropped", h.channel);
        }
        return;
    }
    std::memcpy(ring_.get() + at, payload, len);
    entries_[(first_ + count_) % kMaxFrames] = Entry{h, at, (droppedMask_ & bit) != 0};
    droppedMask_ &= ~bit;
    ++count_;
    g.unlock();
    arrived_.notify_one();
}

bool FrameTap::Take(std::chrono::milliseconds limit, NET_FRAME_HEADER& h, const uint8_t*& payload,
                    bool& droppedBefore) {
    std::unique_lock<std::mutex> g(lock_);
    if (!arrived_.wait_for(g, limit, [&] { return count_ > 0; })) {
        return false;
    }
    const Entry& e = entries_[first_];
    h = e.header;
    payload = ring_.get() + e.offset;
    droppedBefore = e.droppedBefore;
    return true;
}

void FrameTap::Release() {
    std::lock_guard<std::mutex> g(lock_);
    if (count_ > 0) {
        first_ = (first_ + 1) % kMaxFrames;
        --count_;
    }
}
