// Which channels of one DVR decode without the deblocking filter: those the video surface shows
// at half their picture's size or less, where the filter's work cannot be seen. The surface says
// which channels it wants reduced; the receive thread decides for each frame, in arrival order,
// and the decision travels with the frame to the thread that decodes it.
//
// Going reduced applies from the next frame on. Going back to full waits for a point where
// decoding may start (an IDR picture or a recovery point): the pictures before it reference
// reduced pictures and would not come out whole anyway, so they stay reduced; from that frame on
// the decoder gives the same pictures as a decoder that never skipped the filter.
//
// Threads: Want and the readers from any thread; Next and Reset on the receive thread only (the
// one writer of the applied mask); Decoded on the thread that decoded the picture.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

#include "core/wire/WireFormats.h"

class ReducedChannels {
  public:
    // What the receive thread does with one video frame of a channel.
    struct Step {
        bool reduced = false;  // decode it without the deblocking filter
        bool askKey = false;   // the channel waits for a key frame to go back to full
    };

    // The channels to decode reduced from now on (bit c: channel c).
    void Want(uint32_t mask) { wanted_.store(mask, std::memory_order_relaxed); }
    uint32_t wanted() const { return wanted_.load(std::memory_order_relaxed); }
    // The channels whose frames are decoded reduced now, as the receive thread last decided.
    uint32_t applied() const { return applied_.load(std::memory_order_relaxed); }

    // The decision for the next video frame of `channel` (0 to 31), whose payload is given.
    Step Next(int channel, const uint8_t* payload, std::size_t len);
    // The decoders were emptied: they start at a key frame anyway, so each channel is at once
    // what is wanted of it.
    void Reset() { applied_.store(wanted(), std::memory_order_relaxed); }

    // A frame of `channel` was decoded (`reduced` or not) into `bytes` of picture (0 or less:
    // none).
    void Decoded(int channel, bool reduced, int32_t bytes) {
        if (bytes > 0 && !reduced) {
            fullPictures_[channel].fetch_add(1, std::memory_order_relaxed);
        }
    }
    // Pictures decoded in full on `channel` so far (0 outside 0 to 31). Any thread.
    uint32_t FullPictures(int channel) const {
        return channel >= 0 && channel < kMaxChannels
                   ? fullPictures_[channel].load(std::memory_order_relaxed)
                   : 0;
    }

  private:
    std::atomic<uint32_t> wanted_{0};
    std::atomic<uint32_t> applied_{0};
    std::atomic<uint32_t> fullPictures_[kMaxChannels] = {};
};
