#include "core/playback/PlaybackState.h"

#include <algorithm>

void PlaybackState::SetBands(int dvr, const BandSelection& selection) {
    if (dvr < 0 || dvr >= kMaxDvrs) {
        return;
    }
    for (int k = 0; k < kPlaybackBands; ++k) {
        m_a[dvr][k].store(selection[static_cast<std::size_t>(k)]);
    }
}

int32_t PlaybackState::GetChangedChannel(int32_t channel, int dvr) const {
    if (dvr < 0 || dvr >= kMaxDvrs) {
        return -1;
    }
    for (int32_t k = 0; k < kPlaybackBands; ++k) {
        if (m_a[dvr][k].load(std::memory_order_relaxed) == channel + 1) {
            return k;
        }
    }
    return -1;
}

int32_t PlaybackState::BandChannel(int dvr, int pane) const {
    if (dvr < 0 || dvr >= kMaxDvrs || pane < 0 || pane >= kPlaybackBands) {
        return -1;
    }
    return m_a[dvr][pane].load(std::memory_order_relaxed) - 1;
}

void PlaybackState::SetPlayed(int dvr, int32_t daySecond) {
    if (dvr >= 0 && dvr < kMaxDvrs) {
        played_[dvr].store(daySecond + 1, std::memory_order_relaxed);
    }
}

int32_t PlaybackState::Played(int dvr) const {
    return dvr >= 0 && dvr < kMaxDvrs ? played_[dvr].load(std::memory_order_relaxed) - 1 : -1;
}

RequestRunner* PlaybackState::requests(int dvr) {
    if (dvr < 0 || dvr >= kMaxDvrs) {
        return nullptr;
    }
    std::lock_guard<std::mutex> g(runnersLock_);
    if (stopped_) {
        return nullptr;
    }
    if (!runners_[dvr]) {
        runners_[dvr] = std::make_unique<RequestRunner>();
    }
    return runners_[dvr].get();
}

bool PlaybackState::WaitIdle(std::chrono::milliseconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    for (int d = 0; d < kMaxDvrs; ++d) {
        RequestRunner* runner;
        {
            std::lock_guard<std::mutex> g(runnersLock_);
            runner = runners_[d].get();
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            end - std::chrono::steady_clock::now());
        if (runner && !runner->WaitIdle(std::max(left, std::chrono::milliseconds(0)))) {
            return false;
        }
    }
    return true;
}

void PlaybackState::Stop() {
    std::lock_guard<std::mutex> g(runnersLock_);
    stopped_ = true;
    for (auto& runner : runners_) {
        if (runner) {
            runner->Stop();
        }
    }
}
