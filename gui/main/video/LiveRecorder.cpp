#include "gui/main/video/LiveRecorder.h"

#include <QDateTime>
#include <QDir>
#include <QSettings>

#include <cstring>

#include "core/ViewController.h"
#include "core/dvr/DvrSlot.h"
#include "core/export/ClipName.h"
#include "core/export/LiveRecording.h"
#include "core/support/Log.h"
#include "gui/support/CoreContext.h"

LiveRecorder::LiveRecorder(CoreContext& context) : context_(context) {
    timer_.setInterval(250);
    connect(&timer_, &QTimer::timeout, this, &LiveRecorder::Check);
}

LiveRecorder::~LiveRecorder() {
    StopAll();
}

std::optional<LiveRecorder::Source> LiveRecorder::recording() const {
    if (!running_) {
        return std::nullopt;
    }
    return Source{running_->dvr(), running_->channel(), std::chrono::steady_clock::now() - since_};
}

void LiveRecorder::StartOrStop() {
    if (running_) {
        Stop();
        return;
    }
    ViewController* vc = context_.controller();
    const WallQuery* wall = context_.query();
    const int pane = wall ? wall->SelectedPane() : -1;
    const auto source = pane >= 0 ? wall->SourceOfPane(pane) : std::nullopt;
    if (!vc || !source || source->playedSecond >= 0 || source->dvr < 0 ||
        vc->GetNetCtrlStruct(source->dvr).NetWorking.load() != 1) {
        return;  // no live picture to record there
    }
    // The export folder the playback window keeps; the home folder until one was chosen.
    const QString folder =
        QSettings().value(QStringLiteral("export/folder"), QDir::homePath()).toString();
    const QDateTime now = QDateTime::currentDateTime();
    const QTime t = now.time();
    const SAVE_INFO_STRUCT entry = wall->EntryCopy(source->dvr);
    const std::string name = LiveFileName(std::string(ShownName(entry)), source->channel + 1,
                                          now.date().year(), now.date().month(), now.date().day(),
                                          t.hour() * 3600 + t.minute() * 60 + t.second());
    running_ = std::make_unique<LiveRecording>(folder.toStdString() + "/" + name, source->dvr,
                                               source->channel);
    since_ = std::chrono::steady_clock::now();
    vc->Slot(source->dvr).SetTap(&running_->tap(), 1u << source->channel);
    running_->Start();
    QLog("live recording of DVR %d channel %d to %s", source->dvr, source->channel, name.c_str());
    timer_.start();
}

void LiveRecorder::Stop() {
    if (!running_) {
        return;
    }
    if (ViewController* vc = context_.controller()) {
        vc->Slot(running_->dvr()).RemoveTap(&running_->tap());
    }
    running_->End();
    ending_.push_back(std::move(running_));
}

void LiveRecorder::StopAll() {
    Stop();
    ending_.clear();  // joins: each finishes its file
    timer_.stop();
}

void LiveRecorder::Check() {
    if (running_) {
        ViewController* vc = context_.controller();
        const WallQuery* wall = context_.query();
        if (!vc || !wall || running_->done() ||
            vc->GetNetCtrlStruct(running_->dvr()).NetWorking.load() != 1 ||
            wall->PlayingBack(running_->dvr())) {
            const std::string error = running_->done() ? running_->error() : std::string();
            Stop();
            if (vc && !error.empty()) {
                vc->ui().MessageBoxLater(std::nullopt,
                                         "The recording could not be written: " + error, {});
            }
        }
    }
    std::erase_if(ending_, [](const auto& r) { return r->done(); });
    if (!running_ && ending_.empty()) {
        timer_.stop();
    }
}
