// A playback window that records what the core handed it. Thread-safe: the core calls it from
// connect, request and display threads, the test reads it from its own.
#pragma once

#include <atomic>
#include <string>
#include <vector>

#include "core/ports/PlaybackPort.h"
#include "tests/support/Guarded.h"

class RecordingPlayback : public PlaybackPort, private Guarded {
  public:
    struct Opened {
        int dvr;
        std::string server;
        int channels;
    };

    void Open(int dvr, const std::string& serverText, int channelCount) override {
        Add(opened_, Opened{dvr, serverText, channelCount});
    }
    void SetValidTime(int, const std::string& text) override { Add(validTimes_, text); }
    void SetChShow(int, const BandSelection& selection) override { Add(selections_, selection); }
    void SetChShow(int, const std::string& text, int band) override {
        std::lock_guard<std::mutex> g(lock_);
        if (band >= 0 && band < kPlaybackBands) {
            labels_[band] = text;
        }
    }
    void CreatePicture(int, const TimeMap& map) override { Add(pictures_, map); }
    void SetTimeNow(int, int32_t daySecond) override { timeNow_.store(daySecond); }
    void ConnectionLost(int dvr) override { Add(lost_, dvr); }
    struct Refusal {
        int dvr;
        int32_t startSecond;
        int32_t result;
    };
    void PlayRefused(int dvr, int32_t startSecond, int32_t result) override {
        Add(refusals_, Refusal{dvr, startSecond, result});
    }

    std::vector<Opened> opened() const { return Get(opened_); }
    std::vector<std::string> validTimes() const { return Get(validTimes_); }
    std::vector<BandSelection> selections() const { return Get(selections_); }
    std::vector<std::string> labels() const { return Get(labels_); }  // the four, as last set
    std::vector<TimeMap> pictures() const { return Get(pictures_); }
    int32_t timeNow() const { return timeNow_.load(); }
    std::vector<int> lost() const { return Get(lost_); }
    std::vector<Refusal> refusals() const { return Get(refusals_); }

  private:
    std::vector<Opened> opened_;
    std::vector<std::string> validTimes_;
    std::vector<BandSelection> selections_;
    std::vector<std::string> labels_ = std::vector<std::string>(kPlaybackBands);
    std::vector<TimeMap> pictures_;
    std::vector<int> lost_;
    std::vector<Refusal> refusals_;
    std::atomic<int32_t> timeNow_{-1};
};
