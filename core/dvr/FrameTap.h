// A tap on a DVR's receive path: a copy of the compressed frames (header and payload) of chosen
// channels, for a consumer that writes them somewhere (a clip export, a live recording).
//
// Its memory is made once, when the tap is made: a ring of kRingBytes for the payloads and
// kMaxFrames headers. The receive thread never waits for the consumer: a frame that finds no
// room is dropped, counted, and its channel is marked (the consumer learns of it with the next
// frame it takes, and a writer must then wait for a key frame).
//
// Threads: Offer on the DVR's receive thread (DvrSlot calls it under the slot's tap lock);
// Take, Release, Wait and the counts on one consumer thread. `lock_` guards the ring's indices;
// the payload a Take gave stays untouched until Release.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>

#include "core/wire/WireFormats.h"

class FrameTap {
  public:
    static constexpr std::size_t kRingBytes = std::size_t{16} << 20;
    static constexpr int kMaxFrames = 1024;

    FrameTap();
    FrameTap(const FrameTap&) = delete;
    FrameTap& operator=(const FrameTap&) = delete;

    // Receive thread: copies the frame in, or drops it when the ring is full. Never waits.
    void Offer(const NET_FRAME_HEADER& h, const uint8_t* payload);

    // Consumer: the oldest frame, waiting up to `limit` for one. `droppedBefore` says whether
    // frames of its channel were dropped since the last one taken. False when none came.
    bool Take(std::chrono::milliseconds limit, NET_FRAME_HEADER& h, const uint8_t*& payload,
              bool& droppedBefore);
    // Gives the frame of the last Take back.
    void Release();

    uint64_t dropped() const { return dropped_.load(std::memory_order_relaxed); }

  private:
    struct Entry {
        NET_FRAME_HEADER header;
        std::size_t offset;
        bool droppedBefore;
    };

    std::unique_ptr<uint8_t[]> ring_;
    std::unique_ptr<Entry[]> entries_;
    std::mutex lock_;
    std::condition_variable arrived_;
    int first_ = 0;             // under lock_: the oldest entry
    int count_ = 0;             // under lock_
    uint32_t droppedMask_ = 0;  // under lock_: channels that lost a frame since their last one
    std::atomic<uint64_t> dropped_{0};
};
