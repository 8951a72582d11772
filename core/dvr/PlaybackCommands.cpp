// Record search, disk information and remote file playback requests, and the rendezvous of a
// request with its reply.
//
// Each request marks the reply it awaits, sends, and waits for the receive thread to store the
// reply. The block's request lock keeps a second request of the same DVR from marking meanwhile.
#include "core/dvr/DvrSlot.h"
#include "core/support/CancelSignal.h"
#include "core/support/Log.h"

namespace {
constexpr auto kReplyCheckInterval = std::chrono::milliseconds(100);
constexpr int kReplyChecks = 60;
}  // namespace

void DvrSlot::SetRecCmd(int32_t subtype) {
    NetCtrl.RecvCmd.store(subtype);
}

int32_t DvrSlot::WaitRecCmd() {
    // The reply wakes the wait at once; a closed connection or the end of the run is seen within
    // one check interval.
    std::unique_lock<std::mutex> lk(NetCtrl.replyLock);
    for (int check = 1;; ++check) {
        if (NetCtrl.RecvCmd.load() == 0 || NetCtrl.socket.load() == 0) {
            return 1;
        }
        if (check == kReplyChecks || ctx_.cancel.raised()) {
            return -1;
        }
        NetCtrl.replied.wait_for(lk, kReplyCheckInterval);
    }
}

int32_t DvrSlot::GetMachineDiskInfo() {
    if (NetCtrl.NetWorking.load() != 1) {
        return -1;
    }
    std::lock_guard<std::mutex> g(NetCtrl.requestLock);
    SetRecCmd(INFO_DISK);
    const NET_COMMAND c = MakeCommand(NET_OTHER_INFO, INFO_DISK);
    const int32_t sent = SendData(&c, sizeof c);
    if (sent < 0) {
        SetRecCmd(0);
        return -1;
    }
    WaitRecCmd();  // without an answer the previous disk information stays
    return sent;
}

int32_t DvrSlot::TimeToSearchRecList(int32_t dateKey, RecordListPage* list, int32_t page) {
    if (NetCtrl.NetWorking.load() != 1) {
        return -1;
    }
    std::lock_guard<std::mutex> g(NetCtrl.requestLock);
    {
        std::lock_guard<std::mutex> r(NetCtrl.replyLock);
        pFileShow = list;
    }
    m_listPage.store(0);
    SetRecCmd(INFO_RECORD_LIST);
    const NET_COMMAND c = MakeCommand(NET_SEARCH_RECORD, 0, page, 0, dateKey);
    int32_t pages = -1;
    if (SendData(&c, sizeof c) < 0) {
        SetRecCmd(0);
    } else if (WaitRecCmd() < 0) {
        std::lock_guard<std::mutex> r(NetCtrl.replyLock);
        if (NetCtrl.RecvCmd.load() == INFO_RECORD_LIST) {
            NetCtrl.RecvCmd.store(0);
            ++owedSearchReplies_;  // its answer may still come, before the next search's
        }
        pages = 0;
    } else {
        pages = m_listPage.load();
    }
    // The list is the caller's: a reply that comes after the wait must not write into it.
    std::lock_guard<std::mutex> r(NetCtrl.replyLock);
    pFileShow = nullptr;
    return pages;
}

int32_t DvrSlot::NetPlayFile(int32_t time1, int32_t time2, uint32_t cam, int32_t sound,
                             int32_t fast) {
    (void)sound;  // the DVR is not told: sound was chosen with the stream set-up
    if (NetCtrl.NetWorking.load() != 1) {
        return -1;
    }
    const NET_COMMAND c =
        MakeCommand(NET_PLAY_FILE, time2, fast == 1 ? 1 : 0, static_cast<int32_t>(cam), time1);
    if (NetCtrl.ViewOrBack.load() != VIEW_PLAYBACK) {
        StopNetLocalView();
    }
    std::lock_guard<std::mutex> g(NetCtrl.requestLock);
    SetRecCmd(INFO_PLAY_STATE);
    Ask(cam);
    if (SendData(&c, sizeof c) < 0) {
        SetRecCmd(0);
        return -1;
    }
    NetCtrl.SetView(VIEW_PLAYBACK);
    WaitRecCmd();
    return NetCtrl.Results.load();
}

int32_t DvrSlot::StopNetPlayFile() {
    return StopPlayOn(NetCtrl.connection());
}

int32_t DvrSlot::StopEarlierPlay() {
    return StopPlayOn(NetCtrl.connection(), true);
}

int32_t DvrSlot::StopPlayOn(const std::shared_ptr<TcpSocket>& s, bool evenIfNotPlaying) {
    if (NetCtrl.NetWorking.load() != 1) {
        return -1;
    }
    if (!evenIfNotPlaying && NetCtrl.CurNetStatus.load() != NET_DATA_SEND) {
        return 1;  // nothing is playing
    }
    const NET_COMMAND c = MakeCommand(NET_STOP_PLAY_FILE);
    Ask(0);
    if (SendOn(s, &c, sizeof c) < 0) {
        return -1;
    }
    ctx_.cancel.Pause(ctx_.limits.stopPlayPause);
    playStamp_.store(false);  // what comes now is no recording's
    NetCtrl.SetLiveStatus(NET_CONNECTED, s.get());
    return 1;
}
