// The text painted over the pictures: a pane's mark and its caption. One place, so that the
// surface and whatever checks its text (the tests render the same text with Qt's raster engine
// and compare) paint alike. GUI thread; `pane` is in Qt's top-left coordinates.
#pragma once

#include <QPainter>
#include <QRectF>
#include <QString>

#include "core/ports/DisplayPort.h"

// The mark's title and text, centred in the pane on a dark band. Nothing for a mark with no text.
void PaintMarkText(QPainter& painter, const QRectF& pane, const PaneMark& mark);
// A caption in the pane's top left corner, on a dark band.
void PaintCaption(QPainter& painter, const QRectF& pane, const QString& text);
// What a pane showing a recording always says, in its bottom left corner: "recording" and the
// played time (`daySecond` of the day). Returns the band it painted.
QRectF PaintRecordingBand(QPainter& painter, const QRectF& pane, int daySecond);
