// The hour scale under the playback window's time map: a tick and the hour every three hours,
// 0 at the left edge of the map, 24 at its right, so that a time can be read off the map.
//
// Threads: GUI thread only.
#pragma once

#include <QWidget>

class HourScale : public QWidget {
    Q_OBJECT

  public:
    // `width`: the map's width in pixels, midnight to midnight.
    HourScale(int width, QWidget* parent);

    static constexpr int kStepHours = 3;

  protected:
    void paintEvent(QPaintEvent* event) override;
};
