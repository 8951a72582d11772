#include "gui/playback/NetPlayBackPort.h"

#include <QWidget>

#include <memory>

#include "gui/playback/NetPlayBack.h"
#include "gui/support/QtText.h"

NetPlayBackPort::NetPlayBackPort(QWidget& owner) : owner_(&owner) {
    connect(this, &NetPlayBackPort::workQueued, this, &NetPlayBackPort::runQueuedWork,
            Qt::QueuedConnection);
}

NetPlayBackPort::~NetPlayBackPort() {
    beginClosing();
}

void NetPlayBackPort::SetViewController(ViewController* vc) {
    viewcontroller_ = vc;
    if (NetPlayBack* w = window_.load()) {
        w->SetViewController(vc);
    }
}

NetPlayBack* NetPlayBackPort::playbackWindow() {
    NetPlayBack* w = window_.load();
    if (!w && owner_) {
        w = NetPlayBack::sharedEffectStackController(owner_);
        w->SetViewController(viewcontroller_);
        window_.store(w);
    }
    return w;
}

bool NetPlayBackPort::isClosing() const {
    std::lock_guard<std::mutex> g(gate_);
    return closing_;
}

void NetPlayBackPort::beginClosing() {
    {
        std::lock_guard<std::mutex> g(gate_);
        closing_ = true;
        queue_.clear();
    }
    if (NetPlayBack* w = window_.load()) {
        w->SetViewController(nullptr);
        w->close();
    }
}

void NetPlayBackPort::post(std::function<void(NetPlayBack&)> fn) {
    {
        std::lock_guard<std::mutex> g(gate_);
        if (closing_) {
            return;
        }
        queue_.push_back(std::move(fn));
    }
    Q_EMIT workQueued();
}

void NetPlayBackPort::runQueuedWork() {
    for (;;) {
        std::function<void(NetPlayBack&)> work;
        {
            std::lock_guard<std::mutex> g(gate_);
            if (queue_.empty()) {
                return;
            }
            work = std::move(queue_.front());
            queue_.pop_front();
        }
        if (NetPlayBack* w = playbackWindow()) {
            work(*w);
        }
    }
}

void NetPlayBackPort::Open(int dvr, const std::string& serverText, int channelCount) {
    // Texts travel as bytes and become QStrings on the GUI thread.
    post([dvr, serverText, channelCount](NetPlayBack& w) {
        w.show();
        w.raise();
        w.activateWindow();
        w.SetIP(QStringFromBytes(serverText));
        w.initData(channelCount, dvr);
    });
}

void NetPlayBackPort::SetValidTime(const std::string& text) {
    post([text](NetPlayBack& w) { w.SetValidTime(QString::fromUtf8(text)); });
}

void NetPlayBackPort::SetChShow(const BandSelection& selection) {
    post([selection](NetPlayBack& w) { w.SetChShow(selection); });
}

void NetPlayBackPort::SetChShow(const std::string& text, int band) {
    post([text, band](NetPlayBack& w) { w.SetChShow(QString::fromUtf8(text), band); });
}

void NetPlayBackPort::CreatePicture(const TimeMap& map) {
    // The map is large; a shared copy keeps the queue's entries small.
    post([map = std::make_shared<const TimeMap>(map)](NetPlayBack& w) { w.CreatePicture(*map); });
}

void NetPlayBackPort::SetTimeNow(int32_t daySecond) {
    if (NetPlayBack* w = window_.load()) {
        w->daySecond.store(daySecond);
    }
}
