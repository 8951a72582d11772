#include "gui/main/video/PaneOverlay.h"

#include <QPainter>
#include <QWidget>

#include <algorithm>
#include <optional>

#include "core/ViewController.h"
#include "core/support/Clocks.h"
#include "gui/main/video/DigitalZoom.h"
#include "gui/main/video/LiveRecorder.h"
#include "gui/main/video/PaneCaptions.h"
#include "gui/main/video/PaneRenderer.h"
#include "gui/main/video/PaneText.h"
#include "gui/main/video/SurfaceWindow.h"
#include "gui/support/CoreContext.h"

namespace {

constexpr float kStaleDim = 0.35f;  // how bright a stale pane's last picture stays

}  // namespace

PaneOverlay::PaneOverlay(CoreContext& context, SurfaceWindow& window, PaneRenderer& renderer,
                         const QWidget& view, const DigitalZoom& zoom)
    : context_(context), window_(window), renderer_(renderer), view_(view), zoom_(zoom) {}

void PaneOverlay::Clear() {
    for (Marked& m : marks_) {
        m = Marked{};  // the clear takes them off; the controller hands them again
    }
    std::fill(std::begin(drawnAt_), std::end(drawnAt_), int64_t{0});
    framedPane_ = -1;  // the clear took the frame off too
}

bool PaneOverlay::Mark(int pane, const PaneRect& rect, const PaneMark& mark) {
    if (pane < 0 || pane >= kLayoutPanes) {
        return false;
    }
    Marked& m = marks_[pane];
    if (mark.kind == PaneMark::Kind::None) {
        // An offline mark's text stays on the screen until something covers it: a pane whose
        // DVR came back but whose camera sends nothing (or does not exist) goes back to plain
        // grey rather than keep saying what is no longer true. A picture covers it anyway.
        const bool offlineShown = m.painted && m.mark.kind == PaneMark::Kind::Offline;
        m = offlineShown ? Marked{PaneMark{PaneMark::Kind::Cleared, {}, {}}, m.rect, false}
                         : Marked{};
        return offlineShown;
    }
    const bool sameRect = m.rect.x == rect.x && m.rect.y == rect.y && m.rect.width == rect.width &&
                          m.rect.height == rect.height;
    if (m.painted && m.mark == mark && sameRect) {
        return false;
    }
    m = Marked{mark, rect, false};
    return true;
}

void PaneOverlay::PictureDrawn(int pane) {
    marks_[pane] = Marked{};  // a new picture takes the mark off
    drawnAt_[pane] = SteadyNs();
}

int PaneOverlay::UnmarkedOldPanes(std::chrono::milliseconds age) const {
    const int64_t now = SteadyNs();
    int old = 0;
    for (int p = 0; p < kLayoutPanes; ++p) {
        const bool marked = marks_[p].mark.kind != PaneMark::Kind::None && marks_[p].painted;
        old += drawnAt_[p] != 0 && !marked &&
               now - drawnAt_[p] > std::chrono::nanoseconds(age).count();
    }
    return old;
}

void PaneOverlay::Paint(PaneBuffers& panes, const bool (&drawn)[kLayoutPanes],
                        const PaneRect (&rects)[kLayoutPanes], bool focused) {
    // A mark painted now covers its pane as a picture does: a frame on it is drawn again.
    bool covered[kLayoutPanes];
    for (int pane = 0; pane < kLayoutPanes; ++pane) {
        covered[pane] = drawn[pane] ||
                        (marks_[pane].mark.kind != PaneMark::Kind::None && !marks_[pane].painted);
    }
    PaintMarks(panes);
    PaintSelection(panes, covered, focused);
    if (captions_ && captions_->any()) {
        PaintCaptions(drawn, rects);
    }
    PaintRecordingBands(drawn, rects);
    if (recorder_ && recorder_->recordingNow()) {
        PaintLiveRecording(drawn, rects);
    }
}

void PaneOverlay::PaintFailure(const QString& failure) {
    window_.DamageAll();
    QPainter painter(window_.paintDevice());
    painter.fillRect(view_.rect(), QColor(60, 0, 0));
    painter.setPen(Qt::white);
    painter.drawText(view_.rect().adjusted(12, 12, -12, -12), Qt::AlignCenter | Qt::TextWordWrap,
                     failure);
}

QRectF PaneOverlay::FromTop(const PaneRect& r) const {
    return QRectF(r.x, view_.height() - r.y - r.height, r.width, r.height);
}

void PaneOverlay::PaintMarks(PaneBuffers& panes) {
    bool any = false;
    for (int pane = 0; pane < kLayoutPanes; ++pane) {
        Marked& m = marks_[pane];
        if (m.mark.kind == PaneMark::Kind::None || m.painted) {
            continue;
        }
        any = true;
        if (m.mark.kind == PaneMark::Kind::Stale) {
            renderer_.DrawPane(pane, panes[pane], m.rect, kStaleDim);
        } else {
            drawnAt_[pane] = 0;  // the picture is gone
            renderer_.ClearRect(m.rect);
        }
    }
    if (!any) {
        return;
    }
    // The texts, drawn over the pictures in the same frame buffer.
    QPainter painter(window_.paintDevice());
    painter.setRenderHint(QPainter::TextAntialiasing);
    for (Marked& m : marks_) {
        if (m.mark.kind == PaneMark::Kind::None || m.painted) {
            continue;
        }
        m.painted = true;
        if (m.mark.kind == PaneMark::Kind::Cleared) {
            continue;
        }
        PaintMarkText(painter, FromTop(m.rect), m.mark);
    }
}

void PaneOverlay::PaintSelection(PaneBuffers& panes, const bool (&covered)[kLayoutPanes],
                                 bool focused) {
    const WallQuery* wall = context_.query();
    // The window's focus widget, active or not: a wall left alone keeps its frame.
    int want = wall && focused ? wall->SelectedPane() : -1;
    const std::optional<PaneRect> at = wall && want >= 0 ? wall->ShownRect(want) : std::nullopt;
    if (!at || zoom_.paneZoomed()) {
        want = -1;  // not on the page, or zoomed: the whole surface is the selection
    }
    if (want == framedPane_ && (want < 0 || !covered[want])) {
        return;
    }
    if (framedPane_ >= 0 && framedPane_ != want && framedPane_ < kLayoutPanes) {
        // The pane that loses the frame gets back what it showed: its picture, its mark, or grey.
        if (const std::optional<PaneRect> old =
                wall ? wall->ShownRect(framedPane_) : std::nullopt) {
            if (drawnAt_[framedPane_] != 0) {
                renderer_.DrawPane(framedPane_, panes[framedPane_], *old);
            } else {
                renderer_.ClearRect(*old);
            }
            if (marks_[framedPane_].mark.kind != PaneMark::Kind::None) {
                marks_[framedPane_].painted = false;
                PaintMarks(panes);
            }
        }
    }
    framedPane_ = want;
    if (want >= 0) {
        renderer_.FrameRect(*at);
    }
}

void PaneOverlay::PaintCaptions(const bool (&drawn)[kLayoutPanes],
                                const PaneRect (&rects)[kLayoutPanes]) {
    const WallQuery* wall = context_.query();
    if (!wall) {
        return;
    }
    QPainter painter(window_.paintDevice());
    painter.setRenderHint(QPainter::TextAntialiasing);
    for (int pane = 0; pane < kLayoutPanes; ++pane) {
        if (!drawn[pane]) {
            continue;
        }
        const QString text = captions_->TextFor(*wall, pane);
        if (text.isEmpty()) {
            continue;
        }
        PaintCaption(painter, FromTop(rects[pane]), text);
    }
}

void PaneOverlay::PaintRecordingBands(const bool (&drawn)[kLayoutPanes],
                                      const PaneRect (&rects)[kLayoutPanes]) {
    const WallQuery* wall = context_.query();
    // Only the playback panes of a DVR shown alone can hold a recording: a live wall asks nothing.
    const int focus = wall ? wall->CurrentDVR() : -1;
    if (focus < 0 || !wall->PlayingBack(focus)) {
        return;
    }
    std::optional<QPainter> painter;  // made only when a recording shows
    for (int pane = 0; pane < kLayoutPanes; ++pane) {
        if (!drawn[pane]) {
            continue;
        }
        const std::optional<WallQuery::PaneSource> source = wall->SourceOfPane(pane);
        if (!source || source->playedSecond < 0) {
            continue;
        }
        if (!painter) {
            painter.emplace(window_.paintDevice());
        }
        PaintRecordingBand(*painter, FromTop(rects[pane]), source->playedSecond);
    }
}

void PaneOverlay::PaintLiveRecording(const bool (&drawn)[kLayoutPanes],
                                     const PaneRect (&rects)[kLayoutPanes]) {
    const WallQuery* wall = context_.query();
    const std::optional<LiveRecorder::Source> live = recorder_->recording();
    if (!wall || !live) {
        return;
    }
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(live->elapsed).count();
    const QString text = QStringLiteral("%1:%2")
                             .arg(seconds / 60, 2, 10, QLatin1Char('0'))
                             .arg(seconds % 60, 2, 10, QLatin1Char('0'));
    std::optional<QPainter> painter;  // made only when the recorded pane was drawn
    for (int pane = 0; pane < kLayoutPanes; ++pane) {
        const std::optional<WallQuery::PaneSource> source =
            drawn[pane] ? wall->SourceOfPane(pane) : std::nullopt;
        if (!source || source->dvr != live->dvr || source->channel != live->channel ||
            source->playedSecond >= 0) {
            continue;
        }
        if (!painter) {
            painter.emplace(window_.paintDevice());
            painter->setRenderHint(QPainter::Antialiasing);
        }
        // Top right, clear of the captions at the top left.
        const QRectF r = FromTop(rects[pane]);
        const QRectF dot(r.right() - 70, r.top() + 8, 12, 12);
        painter->setPen(Qt::NoPen);
        painter->setBrush(QColor(230, 0, 0));
        painter->drawEllipse(dot);
        painter->setPen(Qt::white);
        painter->drawText(QRectF(dot.right() + 4, r.top() + 4, 54, 20),
                          Qt::AlignLeft | Qt::AlignVCenter, text);
    }
}
