// A DVR's receive thread: waits for its connection, then reads everything the DVR sends.
#include <unistd.h>

#include <algorithm>
#include <cstring>

#include "core/ViewController.h"
#include "core/decode/SizeFrame.h"
#include "core/support/Log.h"

namespace {
constexpr auto kIdleWait = std::chrono::milliseconds(500);
constexpr auto kReadableWait = std::chrono::milliseconds(1000);
}  // namespace

int32_t ViewController::initNet(NetCtrl_Struct& b, int dvr) {
    b.NetID.store(dvr);
    if (b.init.load() == 1) {
        return 1;
    }
    b.m_Top.store(0);
    b.m_Bottom.store(0);
    b.Numframe.store(0);
    b.RecvCmd.store(0);
    ByteBuffer tmp = AllocZeroed(kMaxFramePayload + kInputPadding);
    ByteBuffer member = AllocZeroed(kMaxFramePayload + kInputPadding);
    ByteBuffer slots = AllocZeroed(kQueueSlots * (kSlotPictureOffset + kMaxPictureBytes));
    if (!tmp || !member || !slots) {
        QLog("initNet: no memory for DVR %d", dvr);
        return -1;  // stays uninitialised: nothing may use the missing buffers
    }
    b.tmpbuf = std::move(tmp);
    AVData2[dvr] = std::move(member);
    b.slots = std::move(slots);
    for (int i = 0; i < kQueueSlots; ++i) {
        b.buf[i] = b.slots.get() + i * (kSlotPictureOffset + kMaxPictureBytes);
    }
    b.init.store(1);
    return 1;
}

int32_t ViewController::PrepareDvr(int dvr) {
    if (dvr < 0 || dvr >= kMaxDvrs) {
        return -1;
    }
    if (initDecode(Decoder[dvr]) != 1 || initNet(NetCtrl[dvr], dvr) != 1) {
        return -1;
    }
    StartReceiveThread(dvr);
    return 1;
}

void oneNetThread(ThreadStart start) {
    start.controller->NetWorkThread(*start.block, start.dvr);
}

void ViewController::StartReceiveThread(int dvr) {
    if (dvr < 0 || dvr >= kMaxDvrs || receiveThread_[dvr].joinable()) {
        return;
    }
    NetCtrl[dvr].ThreadWork.store(1);
    receiveThread_[dvr] = std::thread(oneNetThread, ThreadStart{dvr, this, &NetCtrl[dvr]});
    // Without a video surface (the probe, a benchmark) the caller takes the pictures itself.
    if (display_.load()) {
        displayThread_[dvr] = std::thread(oneNetThread3, ThreadStart{dvr, this, &NetCtrl[dvr]});
    }
}

void ViewController::StopDvrThreads() {
    // Every wait for a peer ends now: connects, lookups, login replies, pauses.
    const uint64_t one = 1;
    if (cancelFd_ >= 0 && ::write(cancelFd_, &one, sizeof one) < 0) {
        QLog("cannot signal the DVR threads to stop");
    }
    playbackRequests_->stop();  // a waiting request ends at the signal
    std::vector<ConnectThread> attempts;
    {
        std::lock_guard<std::mutex> g(slotLock_);
        attempts.swap(connectThreads_);
    }
    for (auto& a : attempts) {
        a.thread.join();
    }
    for (int d = 0; d < kMaxDvrs; ++d) {
        NetCtrl_Struct& b = NetCtrl[d];
        b.ThreadWork.store(0);
        b.NetWorking.store(0);
        b.detach();  // wakes a blocked read
        b.wakeReceiver();
        std::lock_guard<std::mutex> g(b.mutex);
        b.queued.notify_all();  // wakes the display thread
    }
    for (int d = 0; d < kMaxDvrs; ++d) {
        if (receiveThread_[d].joinable()) {
            receiveThread_[d].join();
        }
        if (displayThread_[d].joinable()) {
            displayThread_[d].join();
        }
    }
}

void ViewController::NetWorkThread(NetCtrl_Struct& b, int dvr) {
    QLog("receive thread of DVR %d", dvr);
    NET_COMMAND cmd;
    while (b.ThreadWork.load() != 0) {
        if (b.resetRequested.exchange(false)) {
            ResetSlot(b, dvr);
        }
        if (b.NetWorking.load() <= 0) {
            std::unique_lock<std::mutex> g(b.idleLock);
            b.idle.wait_for(g, kIdleWait,
                            [&] { return b.ThreadWork.load() == 0 || b.NetWorking.load() > 0; });
            continue;
        }
        std::shared_ptr<TcpSocket> s = b.connection();
        // Checked again with the socket in hand: a connection that is still logging in (its
        // connect thread reads the login reply) is not ours to read.
        if (!s || b.NetWorking.load() <= 0) {
            continue;
        }
        if (s->pendingError() != 0) {
            CloseSocket(b);
            continue;
        }
        const int ready = s->waitReadable(kReadableWait);
        if (ready < 0) {
            CloseSocket(b);
        } else if (ready > 0) {
            RecvCommand(b, std::move(s), cmd);
        }
    }
}

void ViewController::ResetSlot(NetCtrl_Struct& b, int dvr) {
    {
        std::lock_guard<std::mutex> g(b.mutex);
        b.m_Top.store(0);
        b.m_Bottom.store(0);
        b.Numframe.store(0);
        ++b.queueEpoch;
        std::fill(std::begin(frameNumber[dvr]), std::end(frameNumber[dvr]), 0u);
    }
    for (int c = 0; c < kMaxChannels; ++c) {
        b.needKey[c] = false;
        b.stats[c].frames.store(0);
        b.stats[c].decoded.store(0);
        b.stats[c].dropped.store(0);
        b.stats[c].sizeFrame.store(-1);
        if (Decoder[dvr].init == 1) {
            avcodec_flush_buffers(Decoder[dvr].out_c[c].get());  // no reference pictures carry over
        }
    }
    {
        std::lock_guard<std::mutex> g(b.replyLock);
        Dvrinfo[dvr] = DVR_MACHINE_INFO{};
        pFileShow[dvr] = nullptr;
    }
    m_listPage[dvr].store(0);
    b.RecvCmd.store(0);
    b.Results.store(0);
}

int32_t ViewController::RecvCommand(NetCtrl_Struct& b, NET_COMMAND& cmd) {
    return RecvCommand(b, b.connection(), cmd);
}

int32_t ViewController::RecvCommand(NetCtrl_Struct& b, std::shared_ptr<TcpSocket> s,
                                    NET_COMMAND& cmd) {
    b.receiving = std::move(s);
    struct Done {
        NetCtrl_Struct& b;
        ~Done() { b.receiving.reset(); }
    } done{b};
    if (ReadReceived(b, &cmd, sizeof cmd) < 0) {
        return -1;
    }
    if (cmd.iCmd == NET_FRAME_DATA) {
        ReadFrameData(b);
    } else if (cmd.iCmd == NET_OTHER_INFO) {
        QLog("ReadOtherInfo");
        ReadOtherInfo(b, cmd);
    }
    return 1;
}

int32_t ViewController::IsNet_NET_DATA_SEND(const NetCtrl_Struct& b) const {
    return b.CurNetStatus.load() == NET_DATA_SEND && b.ViewOrBack.load() == VIEW_PLAYBACK ? 1 : 0;
}
