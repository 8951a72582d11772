// One libx264 encoder producing the access units of a camera loop: the first picture is an IDR
// that carries SPS and PPS in band, every later one a P picture, one access unit (Annex B) per
// picture and no delay, so picture i of the loop is access unit i.
#pragma once

#include <cstdint>
#include <vector>

#include "core/support/FfmpegHandles.h"
#include "tools/dvrsim/TestPattern.h"

class H264Encoder {
  public:
    // Throws std::runtime_error when libx264 is missing or refuses the settings. With
    // `intraRefresh` only the first picture is an IDR: later pictures renew a column of blocks
    // each, and a recovery-point SEI marks where each round of renewal starts. With `deblock` the
    // pictures carry the deblocking filter (the fast preset leaves it out), as most cameras'.
    H264Encoder(int width, int height, int gop, bool intraRefresh = false, bool deblock = false);

    // The picture to paint before the next Encode().
    YuvPlanes Picture();
    // Encodes the painted picture and returns its access unit.
    std::vector<uint8_t> Encode();

    // Whether this libavcodec has the libx264 encoder at all.
    static bool Available();

  private:
    CodecContextPtr context_;
    FramePtr frame_;
    int64_t pts_ = 0;
};
