#include "gui/playback/ViewConntroller2.h"

#include <QPainter>

ViewConntroller2::ViewConntroller2(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("ViewConntroller2"));
    setAccessibleDescription(objectName());
}

QColor ViewConntroller2::background() {
    return QColor::fromRgbF(0.71f, 0.71f, 0.71f, 1.0f);
}

void ViewConntroller2::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), background());
}
