// Commands that start, stop and tune a slot's live stream.
#include "core/dvr/DvrSlot.h"
#include "core/support/Log.h"

void DvrSlot::NetLocalViewPlay(uint32_t cam, int32_t /*audio*/) {
    // The sound flag is chosen by NET_SET_STREAM at login; it is not part of this record.
    // A session that failed or closed meanwhile is not shown as streaming again.
    if (!NetCtrl.SetLiveStatus(NET_DATA_SEND)) {
        return;
    }
    if (NetCtrl.ViewOrBack.load() != VIEW_LIVE) {
        StopNetPlayFile();
    }
    NetCtrl.SetView(VIEW_LIVE);
    QLog("ptr->NetID=%d", dvr_);
    const NET_COMMAND c = MakeCommand(NET_LIVE_VIEW, 0, 0, static_cast<int32_t>(cam));
    SendData(&c, sizeof c);
}

void DvrSlot::StopNetLocalView() {
    if (!NetCtrl.SetLiveStatus(NET_CONNECTED)) {
        return;
    }
    const NET_COMMAND c = MakeCommand(NET_STOP_LIVE_VIEW);
    SendData(&c, sizeof c);
}

void DvrSlot::CreateNetKeyFrame() {
    const NET_COMMAND c = MakeCommand(NET_KEY_FRAME);
    SendData(&c, sizeof c);
}

void DvrSlot::AdjustActive(uint32_t mask, int32_t audio) {
    const int32_t status = NetCtrl.CurNetStatus.load();
    if (status == NET_DATA_SEND) {
        m_CurShowCam.store(mask);
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
    if (NetCtrl.CurNetStatus.load() == NET_DATA_SEND) {
        StopNetLocalView();
    }
}

void DvrSlot::AdjustShown(uint32_t mask, uint32_t wanted, int32_t audio) {
    const int32_t status = NetCtrl.CurNetStatus.load();
    if (status == NET_DATA_SEND) {
        m_CurShowCam.store(mask);
        QLog("iLiveCam=%u   %u", mask, wanted);
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
