#include "tools/dvrsim/EncodedLoop.h"

#include <map>
#include <stdexcept>
#include <tuple>
#include <utility>

#include "tools/dvrsim/H264File.h"
#include "tools/dvrsim/TestPattern.h"

std::shared_ptr<EncodedLoop> EncodedLoop::For(int channel, PictureGeometry geometry, int length) {
    static std::mutex lock;
    static std::map<std::tuple<int, int, int, int>, std::shared_ptr<EncodedLoop>> loops;
    std::lock_guard<std::mutex> g(lock);
    auto& loop = loops[{channel, geometry.width, geometry.height, length}];
    if (!loop) {
        loop = std::make_shared<EncodedLoop>(channel, geometry, length);
    }
    return loop;
}

EncodedLoop::EncodedLoop(int channel, PictureGeometry geometry, int length)
    : channel_(channel), geometry_(geometry), length_(length), frames_(length) {}

EncodedLoop::EncodedLoop(std::vector<std::vector<uint8_t>> pictures)
    : channel_(-1),
      geometry_{0, 0},
      length_(static_cast<int>(pictures.size())),
      frames_(std::move(pictures)),
      ready_(length_) {}

std::span<const uint8_t> EncodedLoop::Frame(int i) {
    if (i >= ready_.load(std::memory_order_acquire)) {
        std::lock_guard<std::mutex> g(encodeLock_);
        while (i >= ready_.load(std::memory_order_relaxed)) {
            EncodeNext();
        }
    }
    return frames_[i];
}

void EncodedLoop::EncodeNext() {
    const int n = ready_.load(std::memory_order_relaxed);
    if (!encoder_) {
        encoder_ = std::make_unique<H264Encoder>(geometry_.width, geometry_.height, length_);
    }
    FillTestPattern(encoder_->Picture(), geometry_.width, geometry_.height, channel_, n);
    frames_[n] = encoder_->Encode();
    // A client joining at a key frame needs the parameter sets right there.
    if (n == 0 && !HasNalTypes(frames_[n], {kNalSps, kNalPps, kNalIdrSlice})) {
        throw std::runtime_error("libx264 sent a first picture without SPS, PPS and IDR slice");
    }
    if (n > 0 && HasNalTypes(frames_[n], {kNalIdrSlice})) {
        throw std::runtime_error("libx264 sent an IDR inside the loop");
    }
    ready_.store(n + 1, std::memory_order_release);
    if (n + 1 == length_) {
        encoder_.reset();
    }
}
