// Commands that start, stop and tune a DVR's live stream.
#include "app/Log.h"
#include "app/ViewController.h"

void ViewController::NetLocalViewPlay(NetCtrl_Struct& b, uint32_t cam, int32_t /*audio*/) {
    // The sound flag is chosen by NET_SET_STREAM at login; it is not part of this record.
    b.CurNetStatus.store(NET_DATA_SEND);
    if (b.ViewOrBack.load() != VIEW_LIVE) {
        StopNetPlayFile(b);
    }
    b.ViewOrBack.store(VIEW_LIVE);
    QLog("ptr->NetID=%d", b.NetID.load());
    const NET_COMMAND c = MakeCommand(NET_LIVE_VIEW, 0, 0, static_cast<int32_t>(cam));
    SendData(b, &c, sizeof c);
}

void ViewController::StopNetLocalView(NetCtrl_Struct& b) {
    b.CurNetStatus.store(NET_CONNECTED);
    const NET_COMMAND c = MakeCommand(NET_STOP_LIVE_VIEW);
    SendData(b, &c, sizeof c);
}

void ViewController::CreateNetKeyFrame(NetCtrl_Struct& b) {
    const NET_COMMAND c = MakeCommand(NET_KEY_FRAME);
    SendData(b, &c, sizeof c);
}
