// Real H.264 for tests: a short clip encoded with libx264, one access unit per frame, the first
// of every group a key frame.
#pragma once

#include <cstdint>
#include <vector>

using AccessUnit = std::vector<uint8_t>;

std::vector<AccessUnit> EncodeClip(int width, int height, int frames, int gop, int seed = 0,
                                   bool intraRefresh = false, bool deblock = false);

// Access units `from` to `to` - 1 of a CIF clip through a fresh client decoder (without the
// deblocking filter when `reduced`): one packed I420 picture each, empty where none came out.
std::vector<std::vector<uint8_t>> DecodeClip(const std::vector<AccessUnit>& clip, int from, int to,
                                             bool reduced);

// A packed I420 picture of `width` x `height` as a channel shown small is queued: packed 4:2:2 at
// half the size, luma 4k and 4k+2 with chroma 2k of luma row 2r and chroma row r.
std::vector<uint8_t> HalfPacked(const std::vector<uint8_t>& i420, int width, int height);
