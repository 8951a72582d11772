// The snapshot's second half: the surface's picture, read into capture(), is encoded as JPEG
// (quality 90) at once, then a modal save dialog asks for a name (video keeps running meanwhile)
// and the file is written atomically. Cancel writes nothing.
//
// Threads: GUI thread only. Save() runs a nested event loop: it is not re-entered while its
// dialog is open (saving()), and it touches nothing of its own once `parent`, its owner, is gone.
#pragma once

#include <QString>

#include "gui/main/video/CaptureBuffer.h"

class QWidget;

class SnapshotSaver {
  public:
    // Where the surface reads its picture into, top row first, red, green, blue and a fourth
    // byte that carries nothing.
    CaptureBuffer& capture() { return capture_; }
    // The save dialog is open.
    bool saving() const { return saving_; }

    // Encodes the capture and saves it where the operator chooses, the dialog a child of
    // `parent`, which owns this saver.
    void Save(QWidget* parent);

    // The folder the save dialog starts in: ~/Desktop, or the home folder without one.
    static QString SnapshotFolder();

  private:
    CaptureBuffer capture_;
    bool saving_ = false;
};
