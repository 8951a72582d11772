#include "gui/main/video/PaneCaptions.h"

#include <QStringList>
#include <QTime>

#include "core/decode/SizeFrame.h"
#include "core/support/FixedText.h"
#include "gui/support/QtText.h"

void PaneCaptions::Sample(const WallQuery& vc) {
    const auto now = std::chrono::steady_clock::now();
    const double seconds = std::chrono::duration<double>(now - sampled_).count();
    const bool rated = sampled_.time_since_epoch().count() != 0 && seconds > 0.2;
    sampled_ = now;
    for (int d = 0; d < vc.DvrCount() && d < kMaxDvrs; ++d) {
        for (int c = 0; c < kMaxChannels; ++c) {
            Rate& r = rates_[d][c];
            const WallQuery::ChannelFigures figures = vc.Figures(d, c);
            const uint32_t decoded = figures.decoded;
            const uint64_t bytes = figures.bytes;
            // A new connection starts its counters at 0 again.
            const uint32_t pictures = decoded >= r.decoded ? decoded - r.decoded : decoded;
            const uint64_t sent = bytes >= r.bytes ? bytes - r.bytes : bytes;
            r.perSecond = rated ? static_cast<int>(pictures / seconds + 0.5) : 0;
            r.kbits =
                rated ? static_cast<int>(static_cast<double>(sent) * 8 / 1000 / seconds + 0.5) : 0;
            r.decoded = decoded;
            r.bytes = bytes;
        }
    }
}

QString PaneCaptions::TextFor(const WallQuery& vc, int pane) const {
    const std::optional<WallQuery::PaneSource> source = vc.SourceOfPane(pane);
    if (!source || !any()) {
        return {};
    }
    QStringList lines;
    if (titles) {
        QString title = QStringFromBytes(TextOf(vc.EntryCopy(source->dvr).showName)) +
                        QStringLiteral("  CAM%1").arg(source->channel + 1, 2, 10, QLatin1Char('0'));
        if (source->playedSecond >= 0) {
            title += QStringLiteral("  ") +
                     QTime(0, 0).addSecs(source->playedSecond).toString(QStringLiteral("HH:mm:ss"));
        }
        lines << title;
    }
    if (figures) {
        const WallQuery::ChannelFigures s = vc.Figures(source->dvr, source->channel);
        const auto g = SizeFrameGeometry(s.sizeFrame);
        const Rate& r = rates_[source->dvr][source->channel];
        lines << FiguresLine(
            s.reduced, r.perSecond, r.kbits,
            g ? QStringLiteral("%1x%2").arg(g->width).arg(g->height) : QStringLiteral("-"),
            s.dropped, s.grew);
    }
    return lines.join(QLatin1Char('\n'));
}

QString PaneCaptions::FiguresLine(bool reduced, int perSecond, int kbits, const QString& size,
                                  uint64_t dropped, uint64_t grew) {
    // A figure's number and name are joined by a no-break space, and a word joiner keeps
    // "kbit/s" whole. "reduced" comes first: a pane too small to wrap cuts the line's end off.
    const QString mark = reduced ? QStringLiteral("reduced  ") : QString();
    return mark +
           QStringLiteral("%1\u00A0fps  %2\u00A0kbit/\u2060s  %3  dropped\u00A0%4  grew\u00A0%5")
               .arg(perSecond)
               .arg(kbits)
               .arg(size)
               .arg(dropped)
               .arg(grew);
}
