#include "tools/dvrsim/TestPattern.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numbers>
#include <string>

namespace {

constexpr uint8_t kLightBand = 200;
constexpr uint8_t kDarkBand = 30;
constexpr uint8_t kBar = 16;
constexpr uint8_t kDigit = 235;

// Segments a..g as bits 0..6.
constexpr uint8_t kSegments[10] = {0x3F, 0x06, 0x5B, 0x4F, 0x66, 0x6D, 0x7D, 0x07, 0x7F, 0x6F};

struct Luma {
    uint8_t* plane;
    int stride;
    int width;
    int height;

    // Clipped to the picture, so a tall digit on a small picture cannot write outside.
    void Fill(int x, int y, int w, int h, uint8_t value) const {
        const int x1 = std::min(x + w, width);
        const int y1 = std::min(y + h, height);
        for (int row = std::max(y, 0); row < y1; ++row) {
            for (int col = std::max(x, 0); col < x1; ++col) {
                plane[row * stride + col] = value;
            }
        }
    }
};

void DrawDigit(const Luma& luma, int digit, int x, int y, int w, int h, int t) {
    const uint8_t on = kSegments[digit];
    const int half = h / 2;
    const struct {
        int x, y, w, h;
    } segment[7] = {
        {x, y, w, t},                        // a: top
        {x + w - t, y, t, half},             // b: upper right
        {x + w - t, y + half, t, h - half},  // c: lower right
        {x, y + h - t, w, t},                // d: bottom
        {x, y + half, t, h - half},          // e: lower left
        {x, y, t, half},                     // f: upper left
        {x, y + half - t / 2, w, t},         // g: middle
    };
    for (int s = 0; s < 7; ++s) {
        if (on & (1 << s)) {
            luma.Fill(segment[s].x, segment[s].y, segment[s].w, segment[s].h, kDigit);
        }
    }
}

}  // namespace

uint8_t TestPatternBackground(int channel) {
    return static_cast<uint8_t>(80 + (53 * channel) % 100);
}

PatternChroma TestPatternChroma(int channel) {
    // The golden angle spreads any number of channels around the colour circle.
    const double angle = channel * 137.5 * std::numbers::pi / 180.0;
    return PatternChroma{static_cast<uint8_t>(std::lround(128 + 60 * std::cos(angle))),
                         static_cast<uint8_t>(std::lround(128 + 60 * std::sin(angle)))};
}

void FillTestPattern(const YuvPlanes& out, int width, int height, int channel, int frameIndex) {
    const Luma luma{out.y, out.yStride, width, height};
    const int band = height / 8;
    luma.Fill(0, 0, width, band, kLightBand);
    luma.Fill(0, band, width, height - 2 * band, TestPatternBackground(channel));
    luma.Fill(0, height - band, width, band, kDarkBand);

    const int barWidth = width / 16;
    const int step = std::max(width / 88, 1);
    const int barX = (frameIndex * step) % (width - barWidth);
    luma.Fill(barX, band, barWidth, height - 2 * band, kBar);

    const int digitHeight = height / 4;
    const int digitWidth = digitHeight / 2;
    const int thickness = std::max(digitHeight / 8, 2);
    const int margin = std::max(height / 24, 2);
    int x = margin;
    for (char c : std::to_string(channel + 1)) {
        DrawDigit(luma, c - '0', x, band + margin, digitWidth, digitHeight, thickness);
        x += digitWidth + thickness * 2;
    }

    const PatternChroma chroma = TestPatternChroma(channel);
    for (int row = 0; row < height / 2; ++row) {
        std::memset(out.u + row * out.uStride, chroma.cb, static_cast<std::size_t>(width / 2));
        std::memset(out.v + row * out.vStride, chroma.cr, static_cast<std::size_t>(width / 2));
    }
}
