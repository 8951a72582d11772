// The background colour of a push button, given as the window's calibrated red, green and blue
// fractions. A style sheet, since the platform styles ignore a palette's button colour. Text is
// white on dark backgrounds; a pressed button is darker, its only feedback while held.
#pragma once

#include <QColor>
#include <QPushButton>
#include <QString>

inline void SetButtonBackground(QPushButton* button, double red, double green, double blue) {
    const QColor c = QColor::fromRgbF(static_cast<float>(red), static_cast<float>(green),
                                      static_cast<float>(blue));
    const QString text = c.lightness() < 128 ? QStringLiteral("white") : QStringLiteral("black");
    button->setStyleSheet(QStringLiteral("QPushButton { background-color: %1; color: %2;"
                                         " border: 1px solid rgb(60, 60, 60); padding: 3px 6px; }"
                                         " QPushButton:pressed { background-color: %3; }"
                                         " QPushButton:disabled { color: rgb(150, 150, 150); }")
                              .arg(c.name(), text, c.darker(140).name()));
}
