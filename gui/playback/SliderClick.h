// Where a click on the playback window's slider lands: the value under the pointer, as the
// platform's own slider jumps there, or nothing on the handle (a drag of the handle stays the
// slider's). GUI thread.
#pragma once

#include <QPoint>

#include <optional>

class QSlider;

std::optional<int> SliderValueAt(const QSlider& slider, QPoint at);
