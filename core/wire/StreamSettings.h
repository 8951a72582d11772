// What a saved entry's frame-rate and quality indexes become on the wire (NET_SET_STREAM).
#pragma once

#include <cstdint>

// Frames per second for a frame_rate index: 1, 3, 6, 10, 20, 25; any other index 16.
int32_t StreamFrameRate(int32_t frameRateIndex);
// Bit rate for a qulity index and frame rate: (base / 25) * fps with base 384, 512 or 1024.
int32_t StreamBitRate(int32_t qualityIndex, int32_t framesPerSecond);
