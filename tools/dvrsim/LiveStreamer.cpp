#include "tools/dvrsim/LiveStreamer.h"

#include <array>
#include <chrono>
#include <cstdio>
#include <exception>
#include <utility>

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kDefaultFps = 25;
constexpr int kMaxFps = 30;
// A peer that stopped reading for longer than this gets the stream from now on rather than a
// burst of every frame it missed.
constexpr auto kMaxLag = std::chrono::seconds(1);

const std::array<uint8_t, 160> kAudioPayload = [] {
    std::array<uint8_t, 160> a{};
    a.fill(0xFF);
    return a;
}();

// Deadline of tick n from the start, computed from n so that rounding never accumulates.
Clock::duration TickOffset(int64_t n, int fps) {
    return std::chrono::duration_cast<Clock::duration>(
        std::chrono::nanoseconds(n * 1'000'000'000LL / fps));
}

uint32_t MaskOfCount(int channels) {
    if (channels <= 0) {
        return 0;
    }
    return channels >= kMaxChannels ? 0xFFFFFFFFu : (1u << channels) - 1;
}

PictureGeometry GeometryOf(const StreamConfig& c) {
    // ParseStreamOption only lets through standards and sizes that have a picture.
    return *SizeFrameGeometry(FoldSizeFrame(c.videoStandard, c.imageSize));
}

}  // namespace

LiveStreamer::LiveStreamer(const StreamConfig& config, CommandLog& log, SessionSocket& socket,
                           FrameRecorder& recorder, int channelCount)
    : config_(config),
      log_(log),
      socket_(socket),
      channelMask_(MaskOfCount(channelCount)),
      geometry_(GeometryOf(config)),
      emitter_(config, log, socket, recorder) {}

LiveStreamer::~LiveStreamer() {
    {
        std::lock_guard<std::mutex> g(lock_);
        quit_ = true;
    }
    wake_.notify_all();
    if (thread_.joinable()) {
        thread_.join();
    }
}

int LiveStreamer::FrameRate(int32_t requested) {
    return requested <= 0 || requested > kMaxFps ? kDefaultFps : requested;
}

void LiveStreamer::start(uint32_t mask, int fps) {
    const uint32_t streamed = mask & channelMask_;
    char text[48];
    std::snprintf(text, sizeof text, "STREAM mask=0x%08x fps=%d", streamed, fps);
    log_.line(text);
    {
        std::lock_guard<std::mutex> g(lock_);
        live_ = true;
        ++generation_;
        mask_ = streamed;
        fps_ = fps;
        keyWanted_ = false;  // a restart begins with key frames anyway
    }
    wake_.notify_all();
    if (!thread_.joinable()) {
        thread_ = std::thread([this] { run(); });
    }
}

void LiveStreamer::stop() {
    {
        std::lock_guard<std::mutex> g(lock_);
        live_ = false;
    }
    wake_.notify_all();
}

void LiveStreamer::requestKeyFrame() {
    std::lock_guard<std::mutex> g(lock_);
    if (live_) {
        keyWanted_ = true;
    }
}

void LiveStreamer::run() {
    try {
        stream();
    } catch (const std::exception& e) {
        // The session cannot stream; end it instead of taking every other session down.
        std::fprintf(stderr, "quillmarsh-dvrsim: %s\n", e.what());
        log_.line(std::string("ERROR ") + e.what());
        socket_.shutdown();
    }
}

void LiveStreamer::stream() {
    std::vector<MediaFrame> tick;
    uint64_t seen = 0;
    Clock::time_point origin;
    int64_t tickNo = 0;
    int fps = kDefaultFps;
    std::unique_lock<std::mutex> lk(lock_);
    while (!quit_) {
        if (!live_) {
            wake_.wait(lk);
            continue;
        }
        if (generation_ != seen) {
            seen = generation_;
            fps = fps_;
            resetChannels(mask_);
            origin = Clock::now();
            tickNo = 0;
        }
        const auto due = origin + TickOffset(tickNo, fps);
        if (wake_.wait_until(lk, due, [&] { return quit_ || !live_ || generation_ != seen; })) {
            continue;
        }
        const bool keyFrame = std::exchange(keyWanted_, false);
        lk.unlock();
        buildTick(keyFrame, tick);
        const bool going = emitter_.emit(tick);
        lk.lock();
        if (!going) {
            // The peer is gone or a fault silenced the session: nothing more goes out.
            wake_.wait(lk, [&] { return quit_; });
            return;
        }
        ++tickNo;
        if (Clock::now() - (origin + TickOffset(tickNo, fps)) > kMaxLag) {
            origin = Clock::now();
            tickNo = 0;
        }
    }
}

void LiveStreamer::resetChannels(uint32_t mask) {
    channels_.clear();
    for (int32_t n = 0; n < kMaxChannels; ++n) {
        if (mask & (1u << n)) {
            channels_.push_back(Channel{n, EncodedLoop::For(n, geometry_, config_.gop)});
        }
    }
}

void LiveStreamer::buildTick(bool keyFrame, std::vector<MediaFrame>& out) {
    out.clear();
    if (keyFrame && !channels_.empty()) {
        log_.line("KEYFRAME");
    }
    const FrameTime now = FrameTimeNow();
    for (Channel& c : channels_) {
        if (keyFrame) {
            c.loopPos = 0;
        }
        std::span<const uint8_t> payload = c.loop->frame(c.loopPos);
        out.push_back(MediaFrame{MakeFrameHeader('V', c.number, c.frameNo++, payload.size(),
                                                 config_.videoStandard, config_.imageSize, now),
                                 payload, c.fresh});
        c.fresh = false;
        c.loopPos = (c.loopPos + 1) % c.loop->length();
        if (config_.audioEvery > 0 && ++c.videoFrames % config_.audioEvery == 0) {
            out.push_back(
                MediaFrame{MakeFrameHeader('A', c.number, c.frameNo++, kAudioPayload.size(),
                                           config_.videoStandard, config_.imageSize, now),
                           kAudioPayload, false});
        }
    }
}
