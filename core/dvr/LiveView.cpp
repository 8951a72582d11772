// Commands that start, stop and tune a DVR's live stream.
#include <algorithm>

#include "core/ViewController.h"
#include "core/support/Log.h"

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

void ViewController::ActiveNetServerAdjust(int dvr) {
    // Single-DVR view: pane i shows channel i, so the shown panes 0 to 31 are the channels.
    uint32_t mask = 0;
    {
        std::lock_guard<std::mutex> g(layoutLock_);
        for (int i = 0; i < kMaxChannels; ++i) {
            if (ShowCtrl.m_screenRect[i].iOnShow != 0) {
                mask |= 1u << i;
            }
        }
    }
    const SAVE_INFO_STRUCT entry = EntryCopy(dvr);
    mask &= entry.cam;
    NetCtrl_Struct& b = NetCtrl[dvr];
    const int32_t status = b.CurNetStatus.load();
    if (status == NET_DATA_SEND) {
        m_CurShowCam[dvr].store(mask);
        StopNetLocalView(b);
        NetLocalViewPlay(b, mask, entry.send_sound);
        CreateNetKeyFrame(b);
    } else if (status == NET_CONNECTED) {
        m_CurShowCam[dvr].store(mask);
        NetLocalViewPlay(b, mask, entry.send_sound);
        CreateNetKeyFrame(b);
    }
}

void ViewController::NotActiveNetServerAdjust(int dvr) {
    if (NetCtrl[dvr].CurNetStatus.load() == NET_DATA_SEND) {
        StopNetLocalView(NetCtrl[dvr]);
    }
}

void ViewController::AllNetServerAdjust() {
    const int focus = focusID.load();
    for (int d = 0; d < usercount.load() && d < kMaxDvrs; ++d) {
        if (NetCtrl[d].ViewOrBack.load() == VIEW_PLAYBACK) {
            continue;  // a DVR in remote playback is left alone
        }
        if (focus < 0 || focus == d) {
            ActiveNetServerAdjust(d);
        } else {
            NotActiveNetServerAdjust(d);
        }
    }
    ShowNetServerAdjust();
}

void ViewController::ShowNetServerAdjust() {
    if (m_selfChannelEffectFlag.load() == 0) {
        return;
    }
    QLog("ShowNetServerAdjust");
    std::fill(std::begin(m_selfChan), std::end(m_selfChan), 0u);
    {
        std::lock_guard<std::mutex> g(layoutLock_);
        for (int i = 0; i < kPanes; ++i) {
            const int32_t v = m_selfChannel[i].load();
            if (ShowCtrl.m_screenRect[i].iOnShow == 0 || v < 0) {
                continue;
            }
            const int32_t d = v / 100;
            const int32_t c = v % 100;
            // A code naming no saved DVR, or a channel above 32, asks for nothing.
            if (d < kMaxDvrs && c < kMaxChannels) {
                m_selfChan[d] |= 1u << c;
            }
        }
    }
    for (int d = 0; d < usercount.load() && d < kMaxDvrs; ++d) {
        NetCtrl_Struct& b = NetCtrl[d];
        const SAVE_INFO_STRUCT entry = EntryCopy(d);
        const uint32_t mask = m_selfChan[d] & entry.cam;
        const int32_t status = b.CurNetStatus.load();
        if (status == NET_DATA_SEND) {
            m_CurShowCam[d].store(mask);
            QLog("iLiveCam=%u   %u", mask, m_selfChan[d]);
            StopNetLocalView(b);
            NetLocalViewPlay(b, mask, entry.send_sound);
            CreateNetKeyFrame(b);
        } else if (status == NET_CONNECTED) {
            if (m_selfChan[d] != 0) {
                m_CurShowCam[d].store(mask);
                NetLocalViewPlay(b, mask, entry.send_sound);
                CreateNetKeyFrame(b);
            }
        } else {
            CreateNetKeyFrame(b);
        }
    }
}

int32_t ViewController::NetSendPtzValue(int32_t operation, int32_t page, int32_t fileID,
                                        int32_t dvr) {
    NET_COMMAND c = MakeCommand(NET_PTZ, operation, page, fileID);
    QLog("  %d    %d    %d     %d  ", operation, page, fileID, dvr);
    if (dvr >= 0) {
        if (dvr < kMaxDvrs) {
            SendData(NetCtrl[dvr], &c, sizeof c);
        }
        return 1;
    }
    // All-DVR view: `page` is a pane, and the pane's assignment names the DVR and channel. A pane
    // outside the table, or one without an assignment, sends nothing.
    if (page < 0 || page >= kPanes) {
        return 1;
    }
    const int32_t code = m_selfChannel[page].load();
    if (code < 0 || code / 100 >= kMaxDvrs || code / 100 >= usercount.load()) {
        return 1;
    }
    c.iParam2 = code % 100;
    SendData(NetCtrl[code / 100], &c, sizeof c);
    return 1;
}
