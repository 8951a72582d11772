#include "gui/main/ViewTour.h"

#include <QSettings>
#include <QStringList>

#include <algorithm>
#include <utility>

#include "gui/main/ViewStore.h"

namespace {

QSettings Settings() {
    return QSettings(QStringLiteral("Quillmarsh"), QStringLiteral("Quillmarsh"));
}

int Pace(int seconds) {
    return std::clamp(seconds, 2, 3600);
}

}  // namespace

ViewTour::ViewTour(const ViewStore& views, std::function<bool(const QString&)> recall,
                   QObject* parent)
    : QObject(parent), views_(views), recall_(std::move(recall)) {
    seconds_ = Pace(Settings().value(QStringLiteral("tour/seconds"), 10).toInt());
    // A coarse timer may be 5 % off: half a second late, or early, over a 10 s pause.
    timer_.setTimerType(Qt::PreciseTimer);
    connect(&timer_, &QTimer::timeout, this, &ViewTour::ShowNext);
}

void ViewTour::SetSeconds(int seconds) {
    seconds_ = Pace(seconds);
    Settings().setValue(QStringLiteral("tour/seconds"), seconds_);  // the next run's pace too
}

void ViewTour::Start(int seconds) {
    if (views_.names().isEmpty()) {
        return;
    }
    seconds_ = Pace(seconds);
    next_ = 0;
    timer_.start(seconds_ * 1000);
    recall_(views_.names().first());
    next_ = 1;
    Q_EMIT changed();
}

void ViewTour::Stop() {
    timer_.stop();
    Q_EMIT changed();
}

void ViewTour::StartOrStop() {
    if (touring()) {
        Stop();
    } else {
        Start(seconds_);
    }
}

void ViewTour::ShowNext() {
    const QStringList names = views_.names();
    if (names.isEmpty()) {
        Stop();
        return;
    }
    timer_.setInterval(seconds_ * 1000);  // after a pause, the tour's own pace again
    recall_(names[next_++ % names.size()]);
}

void ViewTour::PauseForInput() {
    if (timer_.isActive()) {
        timer_.start(kPauseMs);
    }
}
