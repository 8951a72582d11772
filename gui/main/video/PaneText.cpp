#include "gui/main/video/PaneText.h"

#include <QTime>

#include <algorithm>
#include <optional>

#include "gui/support/QtText.h"

namespace {

// White text within `inset` of a pane, on a dark band (the text's bounds grown by `pad`, kept
// inside the pane) that keeps it readable on any picture. `bounds`: the text's, when the caller
// laid it out already.
QRectF DrawOnBand(QPainter& painter, const QRectF& pane, const QRectF& inset, int flags,
                  const QString& text, QPointF pad, int alpha,
                  std::optional<QRectF> bounds = std::nullopt) {
    QRectF band = bounds ? *bounds : painter.boundingRect(inset, flags, text);
    band.adjust(-pad.x(), -pad.y(), pad.x(), pad.y());
    band = band.intersected(pane);
    painter.fillRect(band, QColor(0, 0, 0, alpha));
    painter.setPen(Qt::white);
    painter.drawText(inset, flags, text);
    return band;
}

}  // namespace

void PaintMarkText(QPainter& painter, const QRectF& pane, const PaneMark& mark) {
    if (mark.kind == PaneMark::Kind::None || mark.kind == PaneMark::Kind::Cleared) {
        return;
    }
    painter.setRenderHint(QPainter::TextAntialiasing);
    QFont font = painter.font();
    font.setPixelSize(std::clamp(static_cast<int>(pane.height() / 9), 9, 40));
    font.setBold(true);
    painter.setFont(font);
    QString text = QString::fromUtf8(mark.text);
    if (!mark.title.empty()) {
        text = QStringFromBytes(mark.title) + QLatin1Char('\n') + text;
    }
    DrawOnBand(painter, pane, pane.adjusted(4, 4, -4, -4), Qt::AlignCenter | Qt::TextWordWrap, text,
               QPointF(6, 3), 160);
}

void PaintCaption(QPainter& painter, const QRectF& pane, const QString& text) {
    painter.setRenderHint(QPainter::TextAntialiasing);
    QFont font = painter.font();
    font.setPixelSize(std::clamp(static_cast<int>(pane.height() / 12), 9, 16));
    painter.setFont(font);
    // Wrapped, not cut, where the pane is narrow (the figures' last ones are the rare events), as
    // long as the caption keeps to the pane's upper half: a tiny pane shows its picture under a
    // cut caption rather than no picture under a whole one.
    const QRectF inset = pane.adjusted(4, 3, -4, -3);
    int flags = Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap;
    std::optional<QRectF> bounds = painter.boundingRect(inset, flags, text);
    if (bounds->height() > pane.height() / 2) {
        flags &= ~Qt::TextWordWrap;
        bounds.reset();
    }
    DrawOnBand(painter, pane, inset, flags, text, QPointF(3, 1), 170, bounds);
}

QRectF PaintRecordingBand(QPainter& painter, const QRectF& pane, int daySecond) {
    painter.setRenderHint(QPainter::TextAntialiasing);
    QFont font = painter.font();
    font.setPixelSize(std::clamp(static_cast<int>(pane.height() / 12), 9, 16));
    font.setBold(true);
    painter.setFont(font);
    const QString text =
        QStringLiteral("recording ") +
        QTime(0, 0).addSecs(std::clamp(daySecond, 0, 86399)).toString(QStringLiteral("HH:mm:ss"));
    return DrawOnBand(painter, pane, pane.adjusted(4, 3, -4, -3), Qt::AlignLeft | Qt::AlignBottom,
                      text, QPointF(3, 1), 190);
}
