#include "core/playback/PlaybackState.h"

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
