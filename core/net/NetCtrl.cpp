#include "core/net/NetCtrl.h"

#include <cstring>

std::shared_ptr<TcpSocket> NetCtrl_Struct::connection() const {
    std::lock_guard<std::mutex> g(sockLock_);
    return sock_;
}

void NetCtrl_Struct::attach(std::shared_ptr<TcpSocket> s) {
    std::shared_ptr<TcpSocket> old;
    {
        std::lock_guard<std::mutex> g(sockLock_);
        old = std::move(sock_);
        sock_ = std::move(s);
        socket.store(sock_ ? sock_->fd() : 0);
    }
    if (old) {
        old->shutdown();
    }
}

bool NetCtrl_Struct::detach() {
    std::shared_ptr<TcpSocket> old;
    {
        std::lock_guard<std::mutex> g(sockLock_);
        old = std::move(sock_);
        socket.store(0);
    }
    if (!old) {
        return false;
    }
    old->shutdown();  // wakes a thread blocked in a read or a send on it
    return true;
}

bool NetCtrl_Struct::peekOldest(int minQueued, std::chrono::milliseconds limit,
                                NET_FRAME_HEADER& header, const uint8_t*& pixels,
                                int64_t* arrived) {
    std::unique_lock<std::mutex> g(mutex);
    // A stopping thread is woken too (ThreadWork cleared and `queued` notified).
    queued.wait_for(g, limit,
                    [&] { return Numframe.load() >= minQueued || ThreadWork.load() == 0; });
    if (Numframe.load() < minQueued) {
        return false;
    }
    peekedEpoch = queueEpoch;
    const uint8_t* slot = buf[m_Bottom.load()];
    if (arrived) {
        *arrived = arrivedAt[m_Bottom.load()];
    }
    std::memcpy(&header, slot, sizeof header);
    pixels = slot + kSlotPictureOffset;
    return true;
}

void NetCtrl_Struct::popOldest() {
    std::lock_guard<std::mutex> g(mutex);
    // After a reset the peeked picture is gone already.
    if (Numframe.load() > 0 && peekedEpoch == queueEpoch) {
        m_Bottom.store((m_Bottom.load() + 1) % kQueueSlots);
        Numframe.fetch_sub(1);
    }
}

void NetCtrl_Struct::replyStored(int32_t subtype) {
    {
        // Cleared under the lock, so that a requester between its check and its wait cannot
        // miss the wake-up.
        std::lock_guard<std::mutex> g(replyLock);
        if (RecvCmd.load() != subtype) {
            return;
        }
        RecvCmd.store(0);
    }
    replied.notify_all();
}

void NetCtrl_Struct::wakeReceiver() {
    std::lock_guard<std::mutex> g(idleLock);
    idle.notify_all();
}
