// The playback part: which channel each of a DVR's four playback panes shows (m_a), and the one
// thread that runs the playback window's requests (searches, play, stop) off the GUI thread.
//
// Threads: m_a is written by the thread that runs a map search and read by display threads, one
// atomic per entry. The runner takes requests from the GUI thread (they return at once) and runs
// them one at a time; a request may block its thread for about 6 s per reply it waits for.
#pragma once

#include <atomic>
#include <cstdint>

#include "core/playback/RequestRunner.h"
#include "core/playback/TimeMap.h"
#include "core/support/Limits.h"

class PlaybackState {
  public:
    // Pane k of DVR `dvr`'s playback shows band k's selection (0 none, channel + 1).
    void SetBands(int dvr, const BandSelection& selection);
    // The playback pane (0 to 3) showing `channel` of `dvr`, -1 for none. Any thread.
    int32_t GetChangedChannel(int32_t channel, int dvr) const;

    RequestRunner& requests() { return requests_; }

  private:
    std::atomic<int32_t> m_a[kMaxDvrs][kPlaybackBands] = {};
    RequestRunner requests_;
};
