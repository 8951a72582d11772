// What the panes say over their pictures when the operator asks: the DVR's display name and the
// camera (T), and the stream's figures (I): pictures per second, kbit/s, picture size and frames
// dropped, from the counters the intake keeps, sampled once a second; "reduced" first on that line
// while the channel decodes without the deblocking filter. Off, it costs nothing.
//
// Threads: GUI thread only.
#pragma once

#include <QString>

#include <chrono>
#include <cstdint>

#include "core/ports/WallQuery.h"
#include "core/support/Limits.h"
#include "core/wire/WireFormats.h"

class PaneCaptions {
  public:
    bool titles = false;
    bool figures = false;
    bool any() const { return titles || figures; }

    // Takes each connected DVR's counters (the status timer, once a second, while figures show).
    void Sample(const WallQuery& vc);
    // The caption of `pane` now, one line per kind shown; empty for a pane without a camera.
    QString TextFor(const WallQuery& vc, int pane) const;
    // The figures' line: each figure's words held together, so that a narrow pane wraps the line
    // only between figures.
    static QString FiguresLine(bool reduced, int perSecond, int kbits, const QString& size,
                               uint64_t dropped, uint64_t grew);

  private:
    struct Rate {
        uint32_t decoded = 0;
        uint64_t bytes = 0;
        int perSecond = 0;
        int kbits = 0;
    };
    Rate rates_[kMaxDvrs][kMaxChannels] = {};
    std::chrono::steady_clock::time_point sampled_{};
};
