// The operator's DVR commands and the controller's reactions to the tree and the status timer.
#include <algorithm>

#include "core/ViewController.h"
#include "core/support/FixedText.h"
#include "core/support/Log.h"

namespace {
const char* const kNoMemoryText = "Not enough memory to show this DVR.";
}

int32_t ViewController::GetCurrentDVR() {
    return ui_.selectedDvr();
}

bool ViewController::AttemptRunning(int dvr) const {
    std::lock_guard<std::mutex> g(slotLock_);
    return dvr >= 0 && dvr < kMaxDvrs && attemptRunning_[dvr];
}

int ViewController::ChosenDvrReady() {
    const int d = GetCurrentDVR();
    if (d < 0 || d >= usercount.load() || AttemptRunning(d)) {
        return -1;  // nothing chosen, or an attempt for it is under way already
    }
    if (PrepareDvr(d) != 1) {
        MessageBox(kNoMemoryText, d);
        return -1;
    }
    return d;
}

void ViewController::ConnectDVR() {
    const int d = ChosenDvrReady();
    if (d < 0) {
        return;
    }
    NetCtrl[d].ViewOrBack.store(VIEW_LIVE);
    QLog("ConnectDVR dvrPath=%d", d);
    StartConnectAttempt(d);
}

void ViewController::NetPlayBack() {
    const int d = ChosenDvrReady();
    if (d < 0) {
        return;
    }
    NetCtrl_Struct& b = NetCtrl[d];
    if (b.ViewOrBack.load() != VIEW_PLAYBACK) {
        // Only a logged-in DVR has a live view to stop; the status of one that is not must stay.
        if (b.NetWorking.load() == 1) {
            StopNetLocalView(b);
        }
        SetScreenWindow(4);
    }
    b.ViewOrBack.store(VIEW_PLAYBACK);
    QLog("NetPlayBack dvrPath=%d", d);
    StartConnectAttempt(d);
}

void ViewController::StartConnectAttempt(int dvr) {
    std::lock_guard<std::mutex> g(slotLock_);
    // Threads of finished attempts are joined here, so they never pile up.
    auto finished =
        std::remove_if(connectThreads_.begin(), connectThreads_.end(), [](ConnectThread& c) {
            if (!c.done->load()) {
                return false;
            }
            c.thread.join();
            return true;
        });
    connectThreads_.erase(finished, connectThreads_.end());
    attemptRunning_[dvr] = true;
    const ThreadStart start{dvr, this, &NetCtrl[dvr], slotGeneration_[dvr]};
    auto done = std::make_shared<std::atomic<bool>>(false);
    connectThreads_.push_back({std::thread([this, start, done] {
                                   oneNetThread2(start);
                                   {
                                       std::lock_guard<std::mutex> g(slotLock_);
                                       if (slotGeneration_[start.dvr] == start.generation) {
                                           attemptRunning_[start.dvr] = false;
                                       }
                                   }
                                   done->store(true);
                               }),
                               done});
}

void ViewController::DisconnectDVR() {
    const int d = GetCurrentDVR();
    if (d >= 0 && d < kMaxDvrs) {
        Disconnect(NetCtrl[d]);
    }
}

void ViewController::outlineViewSelectionDidChange() {
    const int d = GetCurrentDVR();
    focusID.store(d);
    if (d >= 0) {
        ui_.setDvrLabel(std::string(TextOf(EntryCopy(d).showName)));
        SetShowMaxNum(36);
        SetScreenWindow(36);
        m_selfChannelEffectFlag.store(0);
        AllNetServerAdjust();
        Hide36MoreButton();
    } else {
        ui_.setDvrLabel("ALL DVR");
        SetShowMaxNum(256);
        m_selfChannelEffectFlag.store(1);
        Show36MoreButton();
        // 4 then 36, so that the 36-pane split starts on its first page.
        SetScreenWindow(4);
        SetScreenWindow(36);
        AllNetServerAdjust();
    }
}

void ViewController::animationTimer() {
    for (int d = 0; d < kMaxDvrs; ++d) {
        // Cleared before the box: timers run inside a modal box, and one loss is one message.
        int32_t expected = NET_ERROR;
        if (NetCtrl[d].CurNetStatus.compare_exchange_strong(expected, NET_DISCONNECTED)) {
            MessageBox("Net error", d);
            ui_.reloadTree();
        }
    }
}

ViewController::NodeIcon ViewController::NodeIconFor(int dvr) const {
    if (dvr < 0 || dvr >= kMaxDvrs) {
        return NodeIcon::Disconnected;
    }
    const int32_t status = NetCtrl[dvr].CurNetStatus.load();
    if (status == NET_DISCONNECTED || status == NET_ERROR) {
        return NodeIcon::Disconnected;
    }
    return NetCtrl[dvr].iUsermode.load() == kSuperUserMode ? NodeIcon::SuperUser : NodeIcon::User;
}
