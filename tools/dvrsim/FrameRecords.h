// Media records as the DVR puts them on the wire: a NET_COMMAND with iCmd NET_FRAME_DATA, a
// NET_FRAME_HEADER and the payload; or a bundle, whose header has both time words zero and whose
// payload holds whole member frames (header and payload), each starting at a multiple of 4.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "core/wire/WireFormats.h"

// One frame ready to go out.
struct MediaFrame {
    NET_FRAME_HEADER header;  // dataLen = payload size
    std::span<const uint8_t> payload;
    bool firstAfterStart = false;  // the channel's first frame since NET_LIVE_VIEW
};

// The time words of an ordinary frame: wall-clock seconds, and milliseconds within the second
// plus 1, so that the pair is never zero (zero in both marks a bundle).
struct FrameTime {
    uint32_t sec;
    uint32_t extra;
};
FrameTime FrameTimeNow();

NET_FRAME_HEADER MakeFrameHeader(char type, int32_t channel, uint32_t frameNo, std::size_t dataLen,
                                 int8_t videoStandard, int8_t imageSize, FrameTime time);

// Appends one ordinary frame record.
void AppendFrameRecord(std::vector<uint8_t>& out, const NET_FRAME_HEADER& header,
                       std::span<const uint8_t> payload);

// Appends one bundle of the members, in order (at least one). A member that is its channel's
// first frame since NET_LIVE_VIEW has seqReset 1.
void AppendBundleRecord(std::vector<uint8_t>& out, std::span<const MediaFrame> members);

inline constexpr std::size_t kBundleAlign = 4;
