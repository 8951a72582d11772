// The video stream of one session: a thread that, after NET_LIVE_VIEW or an accepted
// NET_PLAY_FILE, sends one frame per streamed channel per tick at the session's frame rate,
// replaying each camera's encoded loop. Live frames carry the wall-clock time; played frames carry
// the played time and go out only for the channels recorded then. The session streams live view or
// one playback, never both. The session's reader drives it through start/stop/play/stopPlay.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "tools/dvrsim/CommandLog.h"
#include "tools/dvrsim/EncodedLoop.h"
#include "tools/dvrsim/FrameEmitter.h"
#include "tools/dvrsim/PlayClock.h"
#include "tools/dvrsim/RecordingSchedule.h"

// What an accepted NET_PLAY_FILE plays.
struct PlaybackRequest {
    std::shared_ptr<const RecordingSchedule> schedule;
    uint32_t mask = 0;  // channels asked for; those past the account's are ignored
    int64_t from = 0;   // [from, to) on the DVR's time scale
    int64_t to = 0;
    int speed = 1;  // played seconds per real second
    int fps = 25;
};

class LiveStreamer {
  public:
    // channelCount: the account's channels; higher bits of a live-view or play mask are
    // ignored.
    LiveStreamer(const StreamConfig& config, CommandLog& log, SessionSocket& socket,
                 FrameRecorder& recorder, int channelCount);
    // Stops the thread and waits for it. A send blocked on a peer that stopped reading must be
    // released first (SessionSocket::shutdown).
    ~LiveStreamer();
    LiveStreamer(const LiveStreamer&) = delete;
    LiveStreamer& operator=(const LiveStreamer&) = delete;

    // NET_LIVE_VIEW: (re)starts every channel of the mask, each at frame number 0 with a key
    // frame, at `fps` frames per second (or --fps). Ends a playback.
    void Start(uint32_t mask, int fps);
    void Stop();  // NET_STOP_LIVE_VIEW: ends live view, not a playback
    // An accepted NET_PLAY_FILE: ends live view or the playback before and plays from the start;
    // each channel's frame numbers start at 0, and it starts with a key frame, also when it comes
    // back after a gap.
    void Play(PlaybackRequest request);
    // NET_STOP_PLAY_FILE: ends a playback; returns once none of its frames is still going out.
    void StopPlay();
    // Ends live view and playback; returns once none of their frames is still going out.
    void Halt();
    // NET_KEY_FRAME: the next frame of every channel is a key frame
    void RequestKeyFrame();

    // The account's channels.
    uint32_t channelMask() const { return channelMask_; }

    // The frame rate a NET_SET_STREAM value stands for: 1 to 30, anything else is 25.
    static int FrameRate(int32_t requested);

  private:
    struct Channel {
        int32_t number;  // 0-based
        std::shared_ptr<EncodedLoop> loop;
        int loopPos = 0;
        uint32_t frameNo = 0;  // shared by video and audio
        int64_t videoFrames = 0;
        bool fresh = true;     // nothing sent since NET_LIVE_VIEW or NET_PLAY_FILE
        bool sending = false;  // sent in the tick before
    };
    enum class Mode { Idle, Live, Play };

    void Run();
    void Stream();
    void StartThread();
    // Ends the stream when `from` is what streams (any mode for Idle) and waits for its tick.
    void End(Mode from);
    void ResetChannels(uint32_t mask);
    // One frame of each channel in `sending`, stamped `time`.
    void BuildTick(bool keyFrame, FrameTime time, uint32_t sending, std::vector<MediaFrame>& out);

    const StreamConfig& config_;
    CommandLog& log_;
    SessionSocket& socket_;
    const uint32_t channelMask_;
    const PictureGeometry geometry_;
    FrameEmitter emitter_;            // streaming thread only
    std::vector<Channel> channels_;   // streaming thread only
    std::optional<PlayClock> clock_;  // streaming thread only; set while playing

    std::mutex lock_;
    std::condition_variable wake_;
    bool quit_ = false;
    Mode mode_ = Mode::Idle;
    bool busy_ = false;        // a tick is being built or sent
    uint64_t generation_ = 0;  // counts Start() and Play() calls; a new value restarts
    uint32_t mask_ = 0;
    int fps_ = 25;
    PlaybackRequest playback_;
    bool keyWanted_ = false;
    std::thread thread_;  // started by the first Start() or Play()
};
