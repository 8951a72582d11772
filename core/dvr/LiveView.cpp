// Commands that start, stop and tune a slot's live stream.
#include <algorithm>

#include "core/dvr/DvrSlot.h"
#include "core/support/Clocks.h"
#include "core/support/Log.h"

void DvrSlot::NetLocalViewPlay(uint32_t cam, int32_t /*audio*/) {
    // The sound flag is chosen by NET_SET_STREAM at login; it is not part of this record.
    // A session that failed or closed meanwhile is not shown as streaming again.
    if (!NetCtrl.SetLiveStatus(NET_DATA_SEND)) {
        return;
    }
    // Only a change of view writes it: an adjustment that found the view live must not undo a
    // playback the GUI thread has set since.
    if (NetCtrl.ViewOrBack.load() != VIEW_LIVE) {
        StopNetPlayFile();
        NetCtrl.SetView(VIEW_LIVE);
    }
    QLog("ptr->NetID=%d", dvr_);
    playStamp_.store(false);
    const NET_COMMAND c = MakeCommand(NET_LIVE_VIEW, 0, 0, static_cast<int32_t>(cam));
    Ask(cam, true);
    SendData(&c, sizeof c);
}

void DvrSlot::Ask(uint32_t channels, bool live) {
    liveAsked_.store(live ? kLiveAsked | channels : 0);
    const uint32_t before = askedChannels_.exchange(channels);
    const int64_t now = SteadyNs();
    for (int c = 0; c < kMaxChannels; ++c) {
        const uint32_t bit = 1u << c;
        if ((channels & bit) == 0) {
            askedSince_[c].store(0);
        } else if ((before & bit) == 0) {
            askedSince_[c].store(now);
        }
    }
}

int64_t DvrSlot::AskedSince(int channel) const {
    if (channel < 0 || channel >= kMaxChannels) {
        return 0;
    }
    // A channel that comes into a pane starts at its next key frame: no earlier.
    const int64_t asked = askedSince_[channel].load();
    return asked == 0 ? 0 : std::max(asked, shownSince_[channel].load());
}

void DvrSlot::SetShownChannels(uint32_t mask) {
    const uint32_t added = mask & ~shownChannels_.exchange(mask);
    const int64_t now = SteadyNs();
    for (int c = 0; c < kMaxChannels; ++c) {
        if ((added & (1u << c)) != 0) {
            shownSince_[c].store(now);
        }
    }
}

void DvrSlot::StopNetLocalView() {
    if (!NetCtrl.SetLiveStatus(NET_CONNECTED)) {
        return;
    }
    const NET_COMMAND c = MakeCommand(NET_STOP_LIVE_VIEW);
    Ask(0);
    SendData(&c, sizeof c);
}

void DvrSlot::CreateNetKeyFrame() {
    keyAskedAt_.store(SteadyNs(), std::memory_order_relaxed);
    const NET_COMMAND c = MakeCommand(NET_KEY_FRAME);
    SendData(&c, sizeof c);
}

void DvrSlot::AskKeyFrameUnlessAskedWithin(std::chrono::nanoseconds interval) {
    // One key frame serves every channel that waits for one, whoever asked for it.
    if (SteadyNs() - keyAskedAt_.load(std::memory_order_relaxed) >= interval.count()) {
        CreateNetKeyFrame();
    }
}

bool DvrSlot::PlayingBack() const {
    return NetCtrl.ViewOrBack.load() == VIEW_PLAYBACK;
}

bool DvrSlot::LiveUnchanged(uint32_t mask) const {
    const uint64_t asked = liveAsked_.load();
    if ((asked & kLiveAsked) == 0 || NetCtrl.CurNetStatus.load() != NET_DATA_SEND ||
        PlayingBack()) {
        return false;
    }
    // -1 and 15 ask a 4-channel DVR for the same four cameras; the record keeps what was asked.
    const int32_t count = NetCtrl.iDvrChannel.load() % 100;
    const uint32_t has = count > 0 && count < kMaxChannels ? (1u << count) - 1 : 0xFFFFFFFFu;
    return (static_cast<uint32_t>(asked) & has) == (mask & has);
}

void DvrSlot::AdjustActive(uint32_t mask, int32_t audio) {
    if (PlayingBack()) {
        return;  // queued before the playback started: it would end it
    }
    const int32_t status = NetCtrl.CurNetStatus.load();
    if (status == NET_DATA_SEND) {
        m_CurShowCam.store(mask);
        if (LiveUnchanged(mask)) {
            return;
        }
        StopNetLocalView();
        NetLocalViewPlay(mask, audio);
        CreateNetKeyFrame();
    } else if (status == NET_CONNECTED) {
        m_CurShowCam.store(mask);
        NetLocalViewPlay(mask, audio);
        CreateNetKeyFrame();
    }
}

void DvrSlot::AdjustNotActive() {
    if (!PlayingBack() && NetCtrl.CurNetStatus.load() == NET_DATA_SEND) {
        StopNetLocalView();
    }
}

void DvrSlot::AdjustShown(uint32_t mask, uint32_t wanted, int32_t audio) {
    if (PlayingBack()) {
        return;
    }
    const int32_t status = NetCtrl.CurNetStatus.load();
    if (status == NET_DATA_SEND) {
        m_CurShowCam.store(mask);
        QLog("iLiveCam=%u   %u", mask, wanted);
        if (LiveUnchanged(mask)) {
            return;
        }
        StopNetLocalView();
        NetLocalViewPlay(mask, audio);
        CreateNetKeyFrame();
    } else if (status == NET_CONNECTED) {
        if (wanted != 0) {
            m_CurShowCam.store(mask);
            NetLocalViewPlay(mask, audio);
            CreateNetKeyFrame();
        }
    } else {
        CreateNetKeyFrame();
    }
}
