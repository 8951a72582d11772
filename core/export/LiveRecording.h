// A live pane's recording: the compressed live frames of one DVR channel, from a FrameTap the
// caller puts on the DVR's receive path (DvrSlot::SetTap(&tap(), 1u << channel)), written by a
// thread of its own to a fragmented MP4 from the next key frame until End. A file cut off by a
// crash still plays up to its last fragment.
//
// Threads: the constructor, Start, the destructor and error() on the owner's thread; End, done()
// and pictures() on any thread; the writer on the recording's thread only. `lock_` guards error_
// once the thread wrote it (done() tells when).
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "core/dvr/FrameTap.h"

class LiveRecording {
  public:
    LiveRecording(std::string path, int dvr, int channel);
    // Ends and joins: the thread finishes the file (a short write).
    ~LiveRecording();
    LiveRecording(const LiveRecording&) = delete;
    LiveRecording& operator=(const LiveRecording&) = delete;

    FrameTap& tap() { return *tap_; }
    const std::string& path() const { return path_; }
    int dvr() const { return dvr_; }
    int channel() const { return channel_; }

    void Start();
    void End() { end_.store(true); }
    // The thread ended: after End, or when the file could not be written (see error()).
    bool done() const { return done_.load(); }
    int64_t pictures() const { return pictures_.load(); }
    // Why the file could not be written, once done(); empty when it was.
    std::string error() const;

  private:
    void Run();

    const std::string path_;
    const int dvr_;
    const int channel_;
    std::unique_ptr<FrameTap> tap_;
    std::atomic<bool> end_{false};
    std::atomic<bool> done_{false};
    std::atomic<int64_t> pictures_{0};
    mutable std::mutex lock_;
    std::string error_;  // under lock_
    std::thread thread_;
};
