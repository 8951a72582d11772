// The playback window's pictures as a test reads them: the time map it must draw, and keys
// sent to its controls.
#pragma once

#include <QCoreApplication>
#include <QImage>
#include <QKeyEvent>

#include <algorithm>
#include <array>
#include <initializer_list>

#include "core/playback/TimeMap.h"
#include "gui/playback/NetPlayBack.h"

inline const QRgb kBlack = qRgb(0, 0, 0);
inline const QRgb kWhite = qRgb(255, 255, 255);

// The picture a map must give: white, with two black columns per recorded slot below each band's
// gap of 6 rows.
inline QImage MapPicture(const TimeMap& map) {
    QImage image(576, 120, QImage::Format_RGB32);
    image.fill(kWhite);
    for (int band = 0; band < kPlaybackBands; ++band) {
        for (int slot = 0; slot < kDaySlots; ++slot) {
            for (int y = 30 * band + 6; map[band][slot] == 1 && y < 30 * band + 30; ++y) {
                image.setPixel(2 * slot, y, kBlack);
                image.setPixel(2 * slot + 1, y, kBlack);
            }
        }
    }
    return image;
}

// A map of the slots [first, last] of each band listed.
inline TimeMap Recorded(std::initializer_list<std::array<int, 3>> ranges) {
    TimeMap map{};
    for (const auto& [band, first, last] : ranges) {
        std::fill(map[band].begin() + first, map[band].begin() + last + 1, 1);
    }
    return map;
}

inline void Key(QWidget* target, Qt::Key key) {
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
    QCoreApplication::sendEvent(target, &press);
}

// The window's time map as drawn now.
inline QImage Picture(const NetPlayBack* w) {
    return w->ImageView->grab().toImage().convertToFormat(QImage::Format_RGB32);
}
