// The H.264 loop of one simulated camera: `length` pictures of its test pattern, the first an IDR
// with SPS and PPS, the rest P pictures. Streaming replays the loop instead of encoding live, so
// many channels cost almost nothing; a key-frame request restarts at picture 0.
//
// Pictures are encoded on first use, in order, and kept for the life of the process, shared by
// every session that streams the same camera at the same size and key-frame interval. A loop may
// also be given its pictures whole (--h264 FILE); key frames are then wherever the file has them.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <span>
#include <vector>

#include "core/decode/SizeFrame.h"
#include "tools/dvrsim/H264Encoder.h"

class EncodedLoop {
  public:
    // The process-wide loop of camera `channel` (0-based). Thread-safe.
    static std::shared_ptr<EncodedLoop> For(int channel, PictureGeometry geometry, int length);

    EncodedLoop(int channel, PictureGeometry geometry, int length);
    // The given access units (at least one, the first a decoding start); nothing is encoded.
    explicit EncodedLoop(std::vector<std::vector<uint8_t>> pictures);

    int length() const { return length_; }
    // Access unit i (0 <= i < length) as it goes on the wire; valid for the life of the loop.
    // Thread-safe; the first call for a picture may encode it and those before it.
    std::span<const uint8_t> Frame(int i);

  private:
    void EncodeNext();

    const int channel_;
    const PictureGeometry geometry_;
    const int length_;
    std::mutex encodeLock_;
    std::unique_ptr<H264Encoder> encoder_;  // dropped once the loop is complete
    // Sized up front: slot i is written once, before ready_ passes i, and never moves.
    std::vector<std::vector<uint8_t>> frames_;
    std::atomic<int> ready_{0};
};
