#include "tools/dvrsim/PlayClock.h"

#include <utility>

PlayClock::PlayClock(std::shared_ptr<const RecordingSchedule> schedule, uint32_t mask, int64_t from,
                     int64_t to)
    : schedule_(std::move(schedule)), mask_(mask), to_(to), millis_(from * 1000) {}

bool PlayClock::Settle() {
    if (ended_) {
        return false;
    }
    channels_ = 0;
    skipped_ = false;
    if (second() < to_) {
        channels_ = schedule_->RecordedAt(second(), mask_);
        if (channels_ == 0) {
            // Nothing covers this second, so the next start lies after it.
            const auto next = schedule_->NextStart(second(), mask_);
            if (next && *next < to_) {
                millis_ = *next * 1000;
                skipped_ = true;
                channels_ = schedule_->RecordedAt(*next, mask_);
            }
        }
    }
    ended_ = channels_ == 0;
    return !ended_;
}

FrameTime PlayClock::Time() const {
    // Milliseconds plus 1 keep both time words from being zero, which marks a bundle.
    return FrameTime{static_cast<uint32_t>(second()), static_cast<uint32_t>(millis_ % 1000 + 1)};
}
