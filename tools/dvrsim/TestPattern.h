// The picture a simulated camera shows: distinct per channel and moving, so that a test can tell
// channels apart, see that pictures advance and that nothing is upside down.
//   - background: luma 80 + (53 * channel) % 100; chroma (Cb, Cr) constant over the whole
//     picture, on a circle of radius 60 around 128 at the angle 137.5 * channel degrees
//   - top eighth: a light band (luma 200); bottom eighth: a dark band (luma 30)
//   - a black vertical bar (luma 16) between the bands, width / 16 wide, moving right by
//     width / 88 pixels per frame and wrapping
//   - the camera number (channel + 1) in white (luma 235) seven-segment digits, a quarter of the
//     height tall, just below the light band at the left
#pragma once

#include <cstdint>

struct YuvPlanes {
    uint8_t* y;
    uint8_t* u;  // Cb
    uint8_t* v;  // Cr
    int yStride;
    int uStride;
    int vStride;
};

// Fills a YUV 4:2:0 picture of width x height (both even) with frame `frameIndex` of camera
// `channel` (0-based).
void FillTestPattern(const YuvPlanes& out, int width, int height, int channel, int frameIndex);

// The constant chroma of a channel's picture.
struct PatternChroma {
    uint8_t cb;
    uint8_t cr;
};
PatternChroma TestPatternChroma(int channel);
uint8_t TestPatternBackground(int channel);
