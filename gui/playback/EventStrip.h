// What the playback window shows of the recordings' event flags: the colours of the time map's
// slots, the legend and filter under the map (one check box per kind, with its colour), the hour
// scale, the "Previous event" / "Next event" buttons and their keys N and Shift+N, and per band
// an accessible element over the map whose description lists the band's flagged spans.
//
// The window owns it; it reads the window's picker, pop-ups and map, and moves the picker through
// the window's own operations.
//
// Threads: GUI thread only.
#pragma once

#include <QColor>
#include <QWidget>

#include <array>
#include <cstdint>
#include <vector>

#include "core/playback/DayEvents.h"

class NetPlayBack;
class QCheckBox;
class QLabel;
class QPushButton;

class EventStrip : public QWidget {
    Q_OBJECT

  public:
    EventStrip(NetPlayBack& window, QWidget* parent);

    // The colour of a kind on the map (black for a plain recording).
    static QColor KindColour(uint8_t kind);

    // The events of the map that comes next; they take effect with Paint's next map.
    void ShowEvents(const DayEvents& events);
    // The window took a new map: the events given last belong to it (none when none were given).
    void AdoptEvents();
    // Draws `map` into the window's picture buffer (rows of `bytesPerLine`, RGB) in the kinds'
    // colours as the filter shows them, and describes each band's flagged spans.
    void Paint(std::vector<uint8_t>& bitmap, const TimeMap& map) const;

    // The kinds the filter shows (kKind* bits).
    uint8_t filter() const;
    // Moves the picker to the start of the next (or previous) flagged file of the pop-ups'
    // channels whose kind the filter shows; at the end of the day nothing moves and the note
    // says so.
    void NextEvent();
    void PreviousEvent();

    QCheckBox* filterBox(uint8_t kind) const;
    QPushButton* nextButton() const { return next_; }
    QPushButton* previousButton() const { return previous_; }
    QLabel* note() const { return note_; }  // the window puts it in its status line
    QWidget* bandSpans(int band) const { return spans_[static_cast<std::size_t>(band)]; }

  private:
    void Jump(bool forward);

    NetPlayBack& window_;
    DayEvents pending_;
    DayEvents current_;
    std::array<QCheckBox*, 4> boxes_{};  // sensor, motion, video loss, all recordings
    std::array<QWidget*, kPlaybackBands> spans_{};
    QPushButton* previous_;
    QPushButton* next_;
    QLabel* note_;
};
