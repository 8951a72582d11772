// --h264 FILE: an Annex B H.264 elementary stream that every channel replays in place of its test
// pattern. It is read and checked whole at start-up, before any client can connect; nothing in it
// is trusted.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <optional>
#include <span>
#include <string>
#include <vector>

inline constexpr int kNalIdrSlice = 5;
inline constexpr int kNalSps = 7;
inline constexpr int kNalPps = 8;

// Larger files are refused rather than read.
inline constexpr std::size_t kMaxH264FileBytes = std::size_t{256} << 20;
// More pictures than this (11 hours at 25 fps) are refused.
inline constexpr std::size_t kMaxH264FilePictures = 1'000'000;

// Whether an Annex B access unit holds a NAL unit of each given type.
bool HasNalTypes(std::span<const uint8_t> au, std::initializer_list<int> wanted);

// Splits an Annex B stream into access units of one picture each, start codes included. Empty,
// with the reason in `error`, when the stream does not start with a start code, holds no picture,
// ends with NAL units that belong to no picture, or has a picture larger than a frame may carry.
std::vector<std::vector<uint8_t>> SplitAccessUnits(std::span<const uint8_t> stream,
                                                   std::string& error);

struct H264File {
    std::vector<std::vector<uint8_t>> pictures;  // at least one; the first is a decoding start
    int8_t videoStandard;                        // the header geometry of its picture size
    int8_t imageSize;
};

// Reads and checks FILE: its first picture must carry SPS, PPS and an IDR slice and decode to a
// size the DVR sends. Nothing, with the reason in `error`, otherwise.
std::optional<H264File> LoadH264File(const std::string& path, std::string& error);
