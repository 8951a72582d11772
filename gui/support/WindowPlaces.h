// Where the operator left the windows: each dialog's place, the main window's size and its
// splitter, kept in the user's settings (never in the DVR list) from one run to the next.
//
// Threads: GUI thread.
#pragma once

#include <QString>

class QSplitter;
class QWidget;

// Puts `window` where it was when last kept under `name`; nothing when it never was.
void RestorePlace(QWidget& window, const QString& name);
void KeepPlace(const QWidget& window, const QString& name);
void RestoreSplit(QSplitter& splitter, const QString& name);
void KeepSplit(const QSplitter& splitter, const QString& name);
