// The played time of a remote playback: it starts at the start of the played interval and moves
// on as the streamer asks; a gap in which none of the played channels recorded is skipped, and the
// playback ends at the end of the interval or after the last recording.
#pragma once

#include <cstdint>
#include <memory>

#include "tools/dvrsim/FrameRecords.h"
#include "tools/dvrsim/RecordingSchedule.h"

class PlayClock {
  public:
    // Plays the channels of `mask` over [from, to), in seconds on the DVR's time scale.
    PlayClock(std::shared_ptr<const RecordingSchedule> schedule, uint32_t mask, int64_t from,
              int64_t to);

    // Jumps over a gap at the played time to the next recording start; false once ended.
    bool Settle();
    // The played channels recorded at the played second (after a Settle() that held).
    uint32_t channels() const { return channels_; }
    // Whether the last Settle() jumped over a gap: every channel starts again with a key frame.
    bool skipped() const { return skipped_; }
    int64_t second() const { return millis_ / 1000; }
    // The played time as the time words of a frame header.
    FrameTime Time() const;
    void Advance(int64_t millis) { millis_ += millis; }

  private:
    const std::shared_ptr<const RecordingSchedule> schedule_;
    const uint32_t mask_;
    const int64_t to_;
    int64_t millis_;  // played time in milliseconds since 1970
    uint32_t channels_ = 0;
    bool skipped_ = false;
    bool ended_ = false;
};
