// The playback window's background panel: a plain light grey surface behind its controls.
//
// Threads: GUI thread only.
#pragma once

#include <QWidget>

class ViewConntroller2 : public QWidget {
    Q_OBJECT

  public:
    explicit ViewConntroller2(QWidget* parent = nullptr);

    // The panel's grey, 0.71 in each component, opaque.
    static QColor background();

  protected:
    void paintEvent(QPaintEvent* event) override;
};
