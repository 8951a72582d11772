// The live stream of one session: a thread that, after NET_LIVE_VIEW, sends one frame per
// streamed channel per tick at the session's frame rate, replaying each camera's encoded loop.
// The session's reader drives it through start/stop/requestKeyFrame.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "tools/dvrsim/CommandLog.h"
#include "tools/dvrsim/EncodedLoop.h"
#include "tools/dvrsim/FrameEmitter.h"

class LiveStreamer {
  public:
    // channelCount: the account's channels; higher bits of a live-view mask are ignored.
    LiveStreamer(const StreamConfig& config, CommandLog& log, SessionSocket& socket,
                 FrameRecorder& recorder, int channelCount);
    // Stops the thread and waits for it. A send blocked on a peer that stopped reading must be
    // released first (SessionSocket::shutdown).
    ~LiveStreamer();
    LiveStreamer(const LiveStreamer&) = delete;
    LiveStreamer& operator=(const LiveStreamer&) = delete;

    // NET_LIVE_VIEW: (re)starts every channel of the mask, each at frame number 0 with a key
    // frame, at `fps` frames per second.
    void start(uint32_t mask, int fps);
    void stop();             // NET_STOP_LIVE_VIEW
    void requestKeyFrame();  // NET_KEY_FRAME: the next frame of every channel is a key frame

    // The frame rate a NET_SET_STREAM value stands for: 1 to 30, anything else is 25.
    static int FrameRate(int32_t requested);

  private:
    struct Channel {
        int32_t number;  // 0-based
        std::shared_ptr<EncodedLoop> loop;
        int loopPos = 0;
        uint32_t frameNo = 0;  // shared by video and audio
        int64_t videoFrames = 0;
        bool fresh = true;  // nothing sent since NET_LIVE_VIEW
    };

    void run();
    void stream();
    void resetChannels(uint32_t mask);
    void buildTick(bool keyFrame, std::vector<MediaFrame>& out);

    const StreamConfig& config_;
    CommandLog& log_;
    SessionSocket& socket_;
    const uint32_t channelMask_;
    const PictureGeometry geometry_;
    FrameEmitter emitter_;           // streaming thread only
    std::vector<Channel> channels_;  // streaming thread only

    std::mutex lock_;
    std::condition_variable wake_;
    bool quit_ = false;
    bool live_ = false;
    uint64_t generation_ = 0;  // counts start() calls; a new value restarts the channels
    uint32_t mask_ = 0;
    int fps_ = 25;
    bool keyWanted_ = false;
    std::thread thread_;  // started by the first start()
};
