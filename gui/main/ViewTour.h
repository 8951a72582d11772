// The tour of the saved views: recalls them one after another, in their saved order, every
// `seconds()`; operator input pauses it, so that the next view comes 10 s after the last input.
// The pace is kept in the settings (tour/seconds) for the next run.
//
// Ownership: the window owns the tour; the tour reads the window's ViewStore, which must outlive
// it, and recalls views through the function it is given.
//
// Threads: GUI thread only.
#pragma once

#include <QObject>
#include <QString>
#include <QTimer>

#include <functional>

class ViewStore;

class ViewTour : public QObject {
    Q_OBJECT

  public:
    static constexpr int kPauseMs = 10000;

    ViewTour(const ViewStore& views, std::function<bool(const QString&)> recall,
             QObject* parent = nullptr);

    // The seconds per view, from 2 to 3600. Setting them keeps them for the next run; a tour
    // running takes them from its next step on.
    int seconds() const { return seconds_; }
    void SetSeconds(int seconds);

    // Shows the first view at once and the others every `seconds`; nothing without a view.
    void Start(int seconds);
    void Stop();
    // F5 and the views dialog's button: stops a tour, or starts one at the pace set.
    void StartOrStop();
    bool touring() const { return timer_.isActive(); }

    // The tour's step: the next view, at the tour's own pace again. With no view left the tour
    // stops.
    void ShowNext();
    // Operator input: a running tour waits 10 s from now before its next view.
    void PauseForInput();
    // The wait before the next step, in milliseconds.
    int stepInterval() const { return timer_.interval(); }

  Q_SIGNALS:
    // The tour started or stopped.
    void changed();

  private:
    const ViewStore& views_;
    std::function<bool(const QString&)> recall_;
    QTimer timer_;
    int seconds_ = 10;
    int next_ = 0;
};
