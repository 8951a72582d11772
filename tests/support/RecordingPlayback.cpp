#include "tests/support/RecordingPlayback.h"

void RecordingPlayback::Open(int dvr, const std::string& serverText, int channelCount) {
    {
        std::lock_guard<std::mutex> g(lock_);
        opened_.push_back({dvr, serverText, channelCount});
    }
    changed_.notify_all();
}

void RecordingPlayback::SetValidTime(int, const std::string& text) {
    {
        std::lock_guard<std::mutex> g(lock_);
        validTimes_.push_back(text);
    }
    changed_.notify_all();
}

void RecordingPlayback::SetChShow(int, const BandSelection& selection) {
    {
        std::lock_guard<std::mutex> g(lock_);
        selections_.push_back(selection);
    }
    changed_.notify_all();
}

void RecordingPlayback::SetChShow(int, const std::string& text, int band) {
    {
        std::lock_guard<std::mutex> g(lock_);
        if (band >= 0 && band < kPlaybackBands) {
            labels_[band] = text;
        }
    }
    changed_.notify_all();
}

void RecordingPlayback::CreatePicture(int, const TimeMap& map) {
    {
        std::lock_guard<std::mutex> g(lock_);
        pictures_.push_back(map);
    }
    changed_.notify_all();
}

void RecordingPlayback::SetTimeNow(int, int32_t daySecond) {
    timeNow_.store(daySecond);
}

std::vector<RecordingPlayback::Opened> RecordingPlayback::opened() const {
    std::lock_guard<std::mutex> g(lock_);
    return opened_;
}

std::vector<std::string> RecordingPlayback::validTimes() const {
    std::lock_guard<std::mutex> g(lock_);
    return validTimes_;
}

std::vector<BandSelection> RecordingPlayback::selections() const {
    std::lock_guard<std::mutex> g(lock_);
    return selections_;
}

std::vector<std::string> RecordingPlayback::labels() const {
    std::lock_guard<std::mutex> g(lock_);
    return labels_;
}

std::vector<TimeMap> RecordingPlayback::pictures() const {
    std::lock_guard<std::mutex> g(lock_);
    return pictures_;
}

bool RecordingPlayback::waitFor(const std::function<bool(const RecordingPlayback&)>& done,
                                std::chrono::milliseconds limit) const {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    std::unique_lock<std::mutex> lk(lock_);
    for (;;) {
        lk.unlock();
        const bool met = done(*this);
        lk.lock();
        if (met) {
            return true;
        }
        if (changed_.wait_until(lk, deadline) == std::cv_status::timeout) {
            lk.unlock();
            return done(*this);
        }
    }
}

void RecordingPlayback::ConnectionLost(int dvr) {
    std::lock_guard<std::mutex> g(lock_);
    lost_.push_back(dvr);
    changed_.notify_all();
}

std::vector<int> RecordingPlayback::lost() const {
    std::lock_guard<std::mutex> g(lock_);
    return lost_;
}
