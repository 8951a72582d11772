// What a pane of the video surface must show for a simulated camera: its colour converted as the
// surface converts it, the light band at the top and the dark band at the bottom.
#pragma once

#include <QImage>
#include <QRect>

#include <algorithm>
#include <cstdlib>
#include <map>

#include "core/ViewController.h"
#include "tools/dvrsim/TestPattern.h"

struct Rgb {
    int r, g, b;
};

// BT.601, limited range: what the surface must show for a luma/chroma sample.
inline Rgb Bt601(int y, int cb, int cr) {
    const double yy = 1.164383 * (y - 16);
    auto clamp = [](double v) { return std::clamp(static_cast<int>(v + 0.5), 0, 255); };
    return {clamp(yy + 1.596027 * (cr - 128)),
            clamp(yy - 0.391762 * (cb - 128) - 0.812968 * (cr - 128)),
            clamp(yy + 2.017232 * (cb - 128))};
}

inline bool Near(QRgb pixel, Rgb expected, int tolerance = 14) {
    return std::abs(qRed(pixel) - expected.r) <= tolerance &&
           std::abs(qGreen(pixel) - expected.g) <= tolerance &&
           std::abs(qBlue(pixel) - expected.b) <= tolerance;
}

// The most common colour along a horizontal line of a region: the flat background wins over the
// moving bar and the digits.
inline QRgb CommonColour(const QImage& image, int left, int right, int y) {
    std::map<QRgb, int> seen;
    for (int x = left; x < right; ++x) {
        ++seen[image.pixel(x, y) & 0xF0F0F0];  // small coding noise falls together
    }
    return std::max_element(seen.begin(), seen.end(),
                            [](auto& a, auto& b) { return a.second < b.second; })
        ->first;
}

// A pane's rectangle in an image of the surface of height `surfaceHeight` (Qt's top-left
// coordinates).
inline QRect PaneOnScreen(const ViewController& vc, int pane, int surfaceHeight) {
    const PaneRect r = vc.LayoutCopy().m_screenRect[pane].FrameRect;
    return QRect(static_cast<int>(r.x), surfaceHeight - static_cast<int>(r.y + r.height),
                 static_cast<int>(r.width), static_cast<int>(r.height));
}

// Whether the region `p` of `image` shows camera `channel`: its background colour in the middle,
// the light band at the top and the dark band at the bottom.
inline bool RegionShows(const QImage& image, const QRect& p, int channel, int tolerance = 24) {
    const PatternChroma c = TestPatternChroma(channel);
    const Rgb background = Bt601(TestPatternBackground(channel), c.cb, c.cr);
    const Rgb top = Bt601(200, c.cb, c.cr);
    const Rgb bottom = Bt601(30, c.cb, c.cr);
    const int left = p.left() + p.width() / 2;
    const int right = p.right() - 2;
    return Near(CommonColour(image, left, right, p.top() + p.height() * 3 / 5) | 0x080808,
                background, tolerance - 6) &&
           Near(image.pixel(p.right() - 4, p.top() + 3), top, tolerance) &&
           Near(image.pixel(p.right() - 4, p.bottom() - 3), bottom, tolerance);
}
