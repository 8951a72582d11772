// Record search, disk information and remote file playback requests.
//
// Each request marks the reply it awaits, sends, and waits for the receive thread to store the
// reply. The block's request lock keeps a second request of the same DVR from marking meanwhile.
#include <algorithm>

#include "core/ViewController.h"
#include "core/playback/TimeMap.h"
#include "core/support/Log.h"

namespace {
bool ValidDvr(int dvr) {
    return dvr >= 0 && dvr < kMaxDvrs;
}
}  // namespace

int32_t ViewController::GetMachineDiskInfo(NetCtrl_Struct& b) {
    if (b.NetWorking.load() != 1) {
        return -1;
    }
    std::lock_guard<std::mutex> g(b.requestLock);
    SetRecCmd(b, INFO_DISK);
    const NET_COMMAND c = MakeCommand(NET_OTHER_INFO, INFO_DISK);
    const int32_t sent = SendData(b, &c, sizeof c);
    if (sent < 0) {
        SetRecCmd(b, 0);
        return -1;
    }
    WaitRecCmd(b);  // without an answer the previous disk information stays
    return sent;
}

int32_t ViewController::TimeToSearchRecList(NetCtrl_Struct& b, int32_t dateKey,
                                            RecordListPage* list, int32_t page) {
    const int dvr = b.NetID.load();
    if (!ValidDvr(dvr) || b.NetWorking.load() != 1) {
        return -1;
    }
    std::lock_guard<std::mutex> g(b.requestLock);
    {
        std::lock_guard<std::mutex> r(b.replyLock);
        pFileShow[dvr] = list;
    }
    m_listPage[dvr].store(0);
    SetRecCmd(b, INFO_RECORD_LIST);
    const NET_COMMAND c = MakeCommand(NET_SEARCH_RECORD, 0, page, 0, dateKey);
    int32_t pages = -1;
    if (SendData(b, &c, sizeof c) < 0) {
        SetRecCmd(b, 0);
    } else {
        WaitRecCmd(b);
        pages = m_listPage[dvr].load();
    }
    // The list is the caller's: a reply that comes after the wait must not write into it.
    std::lock_guard<std::mutex> r(b.replyLock);
    pFileShow[dvr] = nullptr;
    return pages;
}

int32_t ViewController::NetPlayFile(NetCtrl_Struct& b, int32_t time1, int32_t time2, uint32_t cam,
                                    int32_t sound, int32_t fast) {
    (void)sound;  // the DVR is not told: sound was chosen with the stream set-up
    if (b.NetWorking.load() != 1) {
        return -1;
    }
    const NET_COMMAND c =
        MakeCommand(NET_PLAY_FILE, time2, fast == 1 ? 1 : 0, static_cast<int32_t>(cam), time1);
    if (b.ViewOrBack.load() != VIEW_PLAYBACK) {
        StopNetLocalView(b);
    }
    std::lock_guard<std::mutex> g(b.requestLock);
    SetRecCmd(b, INFO_PLAY_STATE);
    if (SendData(b, &c, sizeof c) < 0) {
        SetRecCmd(b, 0);
        return -1;
    }
    b.ViewOrBack.store(VIEW_PLAYBACK);
    WaitRecCmd(b);
    return b.Results.load();
}

int32_t ViewController::StopNetPlayFile(NetCtrl_Struct& b) {
    if (b.NetWorking.load() != 1) {
        return -1;
    }
    if (b.CurNetStatus.load() != NET_DATA_SEND) {
        return 1;  // nothing is playing
    }
    const NET_COMMAND c = MakeCommand(NET_STOP_PLAY_FILE);
    if (SendData(b, &c, sizeof c) < 0) {
        return -1;
    }
    PauseUnlessCancelled(cancelFd_, limits.stopPlayPause);
    b.CurNetStatus.store(NET_CONNECTED);
    return 1;
}

int32_t ViewController::ConnectedMacSetInit(NetCtrl_Struct& b) {
    const int dvr = b.NetID.load();
    if (!ValidDvr(dvr) || b.CurNetStatus.load() != NET_CONNECTED) {
        return 1;
    }
    GetMachineDiskInfo(b);
    DVR_MACHINE_INFO info;
    {
        std::lock_guard<std::mutex> g(b.replyLock);
        info = Dvrinfo[dvr];
    }
    if (info.iDiskNum == 0) {
        QLog("Dvrinfo[ptr->NetID].iDiskNum == 0 ");
    }
    const RecordedRange range = DiskRange(info);
    const std::string text = RecordedRangeText(range);
    if (PlaybackPort* port = playback_.load()) {
        port->SetValidTime(text);
    }
    QLog("start_rec_time=%d,end_rec_time=%d", range.start, range.end);
    return 1;
}
