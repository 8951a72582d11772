// A playback window that records what the core handed it. Thread-safe: the core calls it from
// connect, request and display threads, the test reads it from its own.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "core/ports/PlaybackPort.h"

class RecordingPlayback : public PlaybackPort {
  public:
    struct Opened {
        int dvr;
        std::string server;
        int channels;
    };

    void Open(int dvr, const std::string& serverText, int channelCount) override;
    void SetValidTime(int dvr, const std::string& text) override;
    void SetChShow(int dvr, const BandSelection& selection) override;
    void SetChShow(int dvr, const std::string& text, int band) override;
    void CreatePicture(int dvr, const TimeMap& map) override;
    void SetTimeNow(int dvr, int32_t daySecond) override;
    void ConnectionLost(int dvr) override;
    std::vector<int> lost() const;

    std::vector<Opened> opened() const;
    std::vector<std::string> validTimes() const;
    std::vector<BandSelection> selections() const;
    std::vector<std::string> labels() const;  // the four band labels as last set
    std::vector<TimeMap> pictures() const;
    int32_t timeNow() const { return timeNow_.load(); }

    // Waits until `done` holds of this recorder (checked after every call it records).
    bool waitFor(const std::function<bool(const RecordingPlayback&)>& done,
                 std::chrono::milliseconds limit) const;

  private:
    mutable std::mutex lock_;
    mutable std::condition_variable changed_;
    std::vector<Opened> opened_;
    std::vector<std::string> validTimes_;
    std::vector<BandSelection> selections_;
    std::vector<std::string> labels_ = std::vector<std::string>(kPlaybackBands);
    std::vector<TimeMap> pictures_;
    std::vector<int> lost_;
    std::atomic<int32_t> timeNow_{-1};
};
