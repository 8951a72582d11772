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

// Played milliseconds from the start to tick n, computed from n so that rounding never accumulates.
int64_t PlayedMillis(int64_t n, int fps, int speed) {
    return n * speed * 1000 / fps;
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

void LiveStreamer::Start(uint32_t mask, int fps) {
    if (config_.fps > 0) {
        fps = config_.fps;
    }
    const uint32_t streamed = mask & channelMask_;
    char text[48];
    std::snprintf(text, sizeof text, "STREAM mask=0x%08x fps=%d", streamed, fps);
    log_.Line(text);
    {
        std::lock_guard<std::mutex> g(lock_);
        mode_ = Mode::Live;
        ++generation_;
        mask_ = streamed;
        fps_ = fps;
        keyWanted_ = false;  // a restart begins with key frames anyway
    }
    wake_.notify_all();
    StartThread();
}

void LiveStreamer::Stop() {
    {
        std::lock_guard<std::mutex> g(lock_);
        if (mode_ == Mode::Live) {
            mode_ = Mode::Idle;
        }
    }
    wake_.notify_all();
}

void LiveStreamer::Play(PlaybackRequest request) {
    {
        std::lock_guard<std::mutex> g(lock_);
        mode_ = Mode::Play;
        ++generation_;
        playback_ = std::move(request);
        playback_.mask &= channelMask_;
        keyWanted_ = false;
    }
    wake_.notify_all();
    StartThread();
}

void LiveStreamer::StopPlay() {
    End(Mode::Play);
}

void LiveStreamer::Halt() {
    End(Mode::Idle);
}

void LiveStreamer::End(Mode from) {
    std::unique_lock<std::mutex> lk(lock_);
    if (from == Mode::Idle || mode_ == from) {
        mode_ = Mode::Idle;
    }
    wake_.notify_all();
    // A tick under way still goes out; whatever the caller sends next must come after it.
    wake_.wait(lk, [&] { return !busy_; });
}

void LiveStreamer::StartThread() {
    // Only the session's reader starts the thread.
    if (!thread_.joinable()) {
        thread_ = std::thread([this] { Run(); });
    }
}

void LiveStreamer::RequestKeyFrame() {
    std::lock_guard<std::mutex> g(lock_);
    if (mode_ != Mode::Idle) {
        keyWanted_ = true;
    }
}

void LiveStreamer::Run() {
    try {
        Stream();
    } catch (const std::exception& e) {
        // The session cannot stream; end it instead of taking every other session down.
        std::fprintf(stderr, "quillmarsh-dvrsim: %s\n", e.what());
        log_.Line(std::string("ERROR ") + e.what());
        socket_.Shutdown();
    }
}

void LiveStreamer::Stream() {
    std::vector<MediaFrame> tick;
    uint64_t seen = 0;
    Clock::time_point origin;
    int64_t tickNo = 0;
    int fps = kDefaultFps;
    int speed = 1;
    std::unique_lock<std::mutex> lk(lock_);
    while (!quit_) {
        if (mode_ == Mode::Idle) {
            wake_.wait(lk);
            continue;
        }
        if (generation_ != seen) {
            seen = generation_;
            if (mode_ == Mode::Play) {
                fps = playback_.fps;
                speed = playback_.speed;
                clock_.emplace(playback_.schedule, playback_.mask, playback_.from, playback_.to);
                ResetChannels(playback_.mask);
            } else {
                fps = fps_;
                clock_.reset();
                ResetChannels(mask_);
            }
            origin = Clock::now();
            tickNo = 0;
        }
        const auto due = origin + TickOffset(tickNo, fps);
        if (wake_.wait_until(lk, due,
                             [&] { return quit_ || mode_ == Mode::Idle || generation_ != seen; })) {
            continue;
        }
        const bool keyFrame = std::exchange(keyWanted_, false);
        busy_ = true;
        lk.unlock();
        bool ended = false;
        if (clock_) {
            ended = !clock_->Settle();
            if (!ended && clock_->skipped()) {
                for (Channel& c : channels_) {
                    c.sending = false;
                }
            }
            if (!ended) {
                BuildTick(keyFrame, clock_->Time(), clock_->channels(), tick);
                clock_->Advance(PlayedMillis(tickNo + 1, fps, speed) -
                                PlayedMillis(tickNo, fps, speed));
            }
        } else {
            BuildTick(keyFrame, FrameTimeNow(), ~0u, tick);
        }
        const bool going = ended || emitter_.Emit(tick);
        lk.lock();
        busy_ = false;
        wake_.notify_all();
        if (ended) {
            // The end of the interval or of the recordings: nothing more until a new command.
            if (generation_ == seen) {
                mode_ = Mode::Idle;
            }
            continue;
        }
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

void LiveStreamer::ResetChannels(uint32_t mask) {
    channels_.clear();
    for (int32_t n = 0; n < kMaxChannels; ++n) {
        if (mask & (1u << n)) {
            channels_.push_back(Channel{n, config_.h264Loop
                                               ? config_.h264Loop
                                               : EncodedLoop::For(n, geometry_, config_.gop)});
        }
    }
}

void LiveStreamer::BuildTick(bool keyFrame, FrameTime time, uint32_t sending,
                             std::vector<MediaFrame>& out) {
    out.clear();
    if (keyFrame && !channels_.empty()) {
        log_.Line("KEYFRAME");
    }
    for (Channel& c : channels_) {
        if (!(sending & (1u << c.number))) {
            c.sending = false;
            continue;
        }
        // A channel that starts or comes back after a gap starts with a key frame.
        if (keyFrame || !c.sending) {
            c.loopPos = 0;
        }
        c.sending = true;
        std::span<const uint8_t> payload = c.loop->Frame(c.loopPos);
        out.push_back(MediaFrame{MakeFrameHeader('V', c.number, c.frameNo++, payload.size(),
                                                 config_.videoStandard, config_.imageSize, time),
                                 payload, c.fresh});
        c.fresh = false;
        c.loopPos = (c.loopPos + 1) % c.loop->length();
        if (config_.audioEvery > 0 && ++c.videoFrames % config_.audioEvery == 0) {
            out.push_back(
                MediaFrame{MakeFrameHeader('A', c.number, c.frameNo++, kAudioPayload.size(),
                                           config_.videoStandard, config_.imageSize, time),
                           kAudioPayload, false});
        }
    }
}
