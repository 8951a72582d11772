// The playback part: which channel each of a DVR's four playback panes shows (m_a), and per DVR
// the thread that runs the playback window's requests (searches, play, stop) off the GUI thread,
// so that a DVR that answers slowly delays no other DVR's requests.
//
// Threads: m_a is written by the thread that runs a map search and read by display threads, one
// atomic per entry. A runner takes requests from the GUI thread (they return at once) and runs
// them one at a time; a request may block its thread for about 6 s per reply it waits for. A
// DVR's runner and its thread are made on its first request and kept to the end.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>

#include "core/playback/RequestRunner.h"
#include "core/playback/TimeMap.h"
#include "core/support/Limits.h"

class PlaybackState {
  public:
    // Pane k of DVR `dvr`'s playback shows band k's selection (0 none, channel + 1).
    void SetBands(int dvr, const BandSelection& selection);
    // The playback pane (0 to 3) showing `channel` of `dvr`, -1 for none. Any thread.
    int32_t GetChangedChannel(int32_t channel, int dvr) const;
    // The channel playback pane `pane` of `dvr` shows, -1 for none. Any thread.
    int32_t BandChannel(int dvr, int pane) const;
    // The second of the day the last played picture of `dvr` showed; -1 before any. Any thread.
    void SetPlayed(int dvr, int32_t daySecond);
    int32_t Played(int dvr) const;

    // The request runner of DVR `dvr` (0 to 63); null once stopped. Any thread.
    RequestRunner* requests(int dvr);
    // Whether every runner has run all it was given; waits up to `limit` in all.
    bool WaitIdle(std::chrono::milliseconds limit);
    // The end of the run: queued requests are dropped, running ones end at the stop signal.
    void Stop();

  private:
    std::atomic<int32_t> m_a[kMaxDvrs][kPlaybackBands] = {};
    std::atomic<int32_t> played_[kMaxDvrs] = {};  // the second + 1, 0 before any
    std::mutex runnersLock_;
    bool stopped_ = false;                              // under runnersLock_
    std::unique_ptr<RequestRunner> runners_[kMaxDvrs];  // under runnersLock_
};
