// Information replies and the rendezvous of a request with its reply.
#include <algorithm>
#include <cstring>
#include <thread>

#include "core/ViewController.h"
#include "core/support/Log.h"

namespace {

constexpr auto kReplyCheckInterval = std::chrono::milliseconds(100);
constexpr int kReplyChecks = 60;
// More disk records than any DVR has: a larger count is a broken stream.
constexpr int32_t kMaxDiskRecordsOnWire = 1024;
constexpr int32_t kRecordListBytes = sizeof(RecordListPage);

}  // namespace

void ViewController::SetRecCmd(NetCtrl_Struct& b, int32_t subtype) {
    b.RecvCmd.store(subtype);
}

int32_t ViewController::WaitRecCmd(NetCtrl_Struct& b) {
    // The reply wakes the wait at once; a closed connection or the end of the run is seen within
    // one check interval.
    std::unique_lock<std::mutex> lk(b.replyLock);
    for (int check = 1;; ++check) {
        if (b.RecvCmd.load() == 0 || b.socket.load() == 0) {
            return 1;
        }
        if (check == kReplyChecks || Cancelled(cancelFd_)) {
            return -1;
        }
        b.replied.wait_for(lk, kReplyCheckInterval);
    }
}

int32_t ViewController::ReadOtherInfo(NetCtrl_Struct& b, const NET_COMMAND& cmd) {
    const int dvr = b.NetID.load();
    switch (cmd.iParam1) {
        case INFO_DISK: {
            const int32_t count = std::max(cmd.iParam2, 0);
            if (count > kMaxDiskRecordsOnWire) {
                QLog("protocol error: %d disk records", count);
                CloseSocket(b);
                return -1;
            }
            // Records past the table's eight are read off the stream to stay in step.
            NET_SEND_INFO disks[kMaxDiskRecords] = {};
            for (int32_t i = 0; i < count; ++i) {
                NET_SEND_INFO record;
                if (ReadReceived(b, &record, sizeof record) < 0) {
                    return -1;
                }
                if (i < kMaxDiskRecords) {
                    disks[i] = record;
                }
            }
            {
                std::lock_guard<std::mutex> g(b.replyLock);
                Dvrinfo[dvr].iDiskNum = std::min(count, int32_t{kMaxDiskRecords});
                std::memcpy(Dvrinfo[dvr].stNetDiskInfo, disks, sizeof disks);
            }
            b.replyStored(INFO_DISK);
            return 0;
        }
        case INFO_RECORD_LIST: {
            m_listPage[dvr].store(cmd.iParam2);
            if (cmd.iParam2 > 0) {
                const int32_t len = cmd.iParam3;
                if (len < 0 || static_cast<uint32_t>(len) > kMaxFramePayload) {
                    QLog("protocol error: record list of %d bytes", len);
                    CloseSocket(b);
                    return -1;
                }
                // Read into our own buffer first: the requester may have given up meanwhile.
                uint8_t* staging = b.tmpbuf.get();
                if (ReadReceived(b, staging, len) < 0) {
                    return -1;
                }
                std::lock_guard<std::mutex> g(b.replyLock);
                if (pFileShow[dvr]) {
                    std::memcpy(*pFileShow[dvr], staging,
                                static_cast<std::size_t>(std::min(len, kRecordListBytes)));
                }
            }
            b.replyStored(INFO_RECORD_LIST);
            return 0;
        }
        case INFO_PLAY_STATE:
            if (cmd.iParam2 == 9) {
                b.CurNetStatus.store(NET_DATA_SEND);
            } else if (cmd.iParam2 == 8) {
                b.Results.store(cmd.iParam3 == 17 ? -1012 : -1011);
            }
            b.replyStored(INFO_PLAY_STATE);
            return 0;
        default: QLog("information reply of subtype %d ignored", cmd.iParam1); return 0;
    }
}
