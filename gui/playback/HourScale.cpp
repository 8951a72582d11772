#include "gui/playback/HourScale.h"

#include <QFontMetrics>
#include <QPainter>

#include <algorithm>

HourScale::HourScale(int width, QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("HourScale"));
    setAccessibleName(QStringLiteral("Hours of the day"));
    setFixedSize(width, fontMetrics().height() + 5);
}

void HourScale::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setPen(palette().color(QPalette::WindowText));
    const QFontMetrics metrics = fontMetrics();
    const int w = width() - 1;
    for (int hour = 0; hour <= 24; hour += kStepHours) {
        const int x = hour * w / 24;
        painter.drawLine(x, 0, x, 4);
        const QString text = QString::number(hour);
        const int textWidth = metrics.horizontalAdvance(text);
        // The first and the last number stay inside the scale.
        const int left = std::clamp(x - textWidth / 2, 0, width() - textWidth);
        painter.drawText(left, 5 + metrics.ascent(), text);
    }
}
