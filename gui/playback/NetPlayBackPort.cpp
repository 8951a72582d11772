#include "gui/playback/NetPlayBackPort.h"

#include <QWidget>

#include <memory>

#include "gui/playback/EventStrip.h"
#include "gui/playback/NetPlayBack.h"
#include "gui/support/GuiDispatcher.h"
#include "gui/support/QtText.h"

NetPlayBackPort::NetPlayBackPort(QWidget& owner, GuiDispatcher& dispatcher, CoreContext& context)
    : owner_(&owner), dispatcher_(dispatcher), context_(context) {}

NetPlayBackPort::~NetPlayBackPort() {
    BeginClosing();
}

NetPlayBack* NetPlayBackPort::playbackWindow() {
    NetPlayBack* w = window_.load();
    if (!w && owner_) {
        w = NetPlayBack::sharedEffectStackController(owner_, context_);
        window_.store(w);
    }
    return w;
}

bool NetPlayBackPort::isClosing() const {
    return dispatcher_.isClosing();
}

void NetPlayBackPort::BeginClosing() {
    dispatcher_.BeginClosing();
    if (NetPlayBack* w = window_.load()) {
        w->close();
    }
}

void NetPlayBackPort::Post(std::function<void(NetPlayBack&)> fn) {
    dispatcher_.Post([this, fn = std::move(fn)] {
        if (NetPlayBack* w = playbackWindow()) {
            fn(*w);
        }
    });
}

void NetPlayBackPort::Open(int dvr, const std::string& serverText, int channelCount) {
    // Texts travel as bytes and become QStrings on the GUI thread.
    Post([this, dvr, serverText, channelCount](NetPlayBack& w) {
        shownDvr_.store(dvr);
        w.show();
        w.raise();
        w.activateWindow();
        w.SetIP(QStringFromBytes(serverText));
        w.initData(channelCount, dvr);
    });
}

void NetPlayBackPort::PostFor(int dvr, std::function<void(NetPlayBack&)> fn) {
    Post([dvr, fn = std::move(fn)](NetPlayBack& w) {
        if (w.DVR == dvr) {
            fn(w);
        }
    });
}

void NetPlayBackPort::SetValidTime(int dvr, const std::string& text) {
    PostFor(dvr, [text](NetPlayBack& w) { w.SetValidTime(QString::fromUtf8(text)); });
}

void NetPlayBackPort::SetChShow(int dvr, const BandSelection& selection) {
    PostFor(dvr, [selection](NetPlayBack& w) { w.SetChShow(selection); });
}

void NetPlayBackPort::SetChShow(int dvr, const std::string& text, int band) {
    PostFor(dvr, [text, band](NetPlayBack& w) { w.SetChShow(QString::fromUtf8(text), band); });
}

void NetPlayBackPort::ShowEvents(int dvr, const DayEvents& events) {
    PostFor(dvr, [events = std::make_shared<const DayEvents>(events)](NetPlayBack& w) {
        w.eventStrip->ShowEvents(*events);
    });
}

void NetPlayBackPort::CreatePicture(int dvr, const TimeMap& map) {
    // The map is large; a shared copy keeps the queue's entries small.
    PostFor(dvr, [map = std::make_shared<const TimeMap>(map)](NetPlayBack& w) {
        w.CreatePicture(*map);
    });
}

void NetPlayBackPort::ConnectionLost(int dvr) {
    Post([dvr](NetPlayBack& w) { w.ConnectionLost(dvr); });
}

void NetPlayBackPort::PlayRefused(int dvr, int32_t startSecond, int32_t result) {
    PostFor(dvr, [dvr, startSecond, result](NetPlayBack& w) {
        w.PlayRefused(dvr, startSecond, result);
    });
}

void NetPlayBackPort::SetTimeNow(int dvr, int32_t daySecond) {
    if (NetPlayBack* w = window_.load(); w && shownDvr_.load() == dvr) {
        w->daySecond.store(daySecond);
    }
}
