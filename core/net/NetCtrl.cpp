#include "core/net/NetCtrl.h"

#include <algorithm>
#include <cstring>

#include "core/net/TcpSocket.h"

std::shared_ptr<TcpSocket> NetCtrl_Struct::connection() const {
    std::lock_guard<std::mutex> g(sockLock_);
    return sock_;
}

std::shared_ptr<TcpSocket> NetCtrl_Struct::takeSocketLocked() {
    socket.value_.store(0);
    return std::move(sock_);
}

namespace {
void ShutDown(const std::shared_ptr<TcpSocket>& s) {
    if (s) {
        s->shutdown();  // wakes a thread blocked in a read or a send on it
    }
}
}  // namespace

bool NetCtrl_Struct::BeginLogin(std::shared_ptr<TcpSocket> s) {
    std::shared_ptr<TcpSocket> old;
    {
        std::lock_guard<std::mutex> g(sockLock_);
        if (CurNetStatus.load() == NET_ERROR) {
            return false;
        }
        old = takeSocketLocked();
        NetWorking.value_.store(0);
        CurNetStatus.value_.store(NET_DISCONNECTED);
        sock_ = std::move(s);
        socket.value_.store(sock_ ? sock_->fd() : 0);
    }
    ShutDown(old);
    return true;
}

bool NetCtrl_Struct::Attached(const TcpSocket* s) const {
    std::lock_guard<std::mutex> g(sockLock_);
    return s && sock_.get() == s;
}

bool NetCtrl_Struct::onAttachedLocked(const TcpSocket* on) const {
    return sock_ && (!on || sock_.get() == on);
}

bool NetCtrl_Struct::LoginAccepted(int32_t usermode, int32_t channels, const TcpSocket* on) {
    std::lock_guard<std::mutex> g(sockLock_);
    if (!onAttachedLocked(on)) {
        return false;  // disconnected or replaced meanwhile: stays so
    }
    iUsermode.store(usermode);
    iDvrChannel.store(channels);
    CurNetStatus.value_.store(NET_CONNECTED);
    return true;
}

bool NetCtrl_Struct::SessionUp(const TcpSocket* on) {
    {
        std::lock_guard<std::mutex> g(sockLock_);
        if (!onAttachedLocked(on) || !LoggedIn()) {
            return false;
        }
        NetWorking.value_.store(1);
    }
    wakeReceiver();
    return true;
}

bool NetCtrl_Struct::SetLiveStatus(int32_t status, const TcpSocket* on) {
    if (status != NET_CONNECTED && status != NET_DATA_SEND) {
        return false;
    }
    std::lock_guard<std::mutex> g(sockLock_);
    if (!onAttachedLocked(on) || !LoggedIn()) {
        return false;
    }
    CurNetStatus.value_.store(status);
    return true;
}

bool NetCtrl_Struct::Fail(const TcpSocket* on) {
    std::shared_ptr<TcpSocket> old;
    {
        std::lock_guard<std::mutex> g(sockLock_);
        if (on && sock_.get() != on) {
            return false;  // an earlier connection: this one is not affected
        }
        // Only a working session ends in an error; the first thread to see the failure reports it.
        if (NetWorking.value_.exchange(0) == 0) {
            return false;
        }
        // The error status is set with the socket's removal, so whoever sees the socket gone
        // (a waiting request) also sees why; the block never shows as disconnected meanwhile.
        CurNetStatus.value_.store(NET_ERROR);
        old = takeSocketLocked();
    }
    ShutDown(old);
    return true;
}

bool NetCtrl_Struct::AbandonLogin(const TcpSocket* on) {
    std::shared_ptr<TcpSocket> old;
    {
        std::lock_guard<std::mutex> g(sockLock_);
        if (CurNetStatus.load() == NET_ERROR || NetWorking.load() == 1 ||
            (on && sock_.get() != on)) {
            return false;
        }
        CurNetStatus.value_.store(NET_DISCONNECTED);
        old = takeSocketLocked();
    }
    ShutDown(old);
    return true;
}

bool NetCtrl_Struct::Disconnect(const TcpSocket* on) {
    std::shared_ptr<TcpSocket> old;
    {
        std::lock_guard<std::mutex> g(sockLock_);
        if (on && sock_.get() != on) {
            return false;  // another connection is attached: not this one's to end
        }
        NetWorking.value_.store(0);
        old = takeSocketLocked();
        CurNetStatus.value_.store(NET_DISCONNECTED);
    }
    ShutDown(old);
    return true;
}

bool NetCtrl_Struct::TakeReportedLoss() {
    int32_t expected = NET_ERROR;
    return CurNetStatus.value_.compare_exchange_strong(expected, NET_DISCONNECTED);
}

void NetCtrl_Struct::SetView(int32_t viewOrBack) {
    ViewOrBack.value_.store(viewOrBack);
}

void NetCtrl_Struct::Stop() {
    ThreadWork.store(0);
    Disconnect();
    wakeReceiver();
    std::lock_guard<std::mutex> g(mutex);
    queued.notify_all();  // wakes the display thread
}

bool NetCtrl_Struct::LoggedIn() const {
    const int32_t s = CurNetStatus.load();
    return s == NET_CONNECTED || s == NET_DATA_SEND;
}

bool NetCtrl_Struct::LoggingIn() const {
    return socket.load() != 0 && CurNetStatus.load() == NET_DISCONNECTED;
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

void NetCtrl_Struct::clearQueue() {
    std::lock_guard<std::mutex> g(mutex);
    m_Top.store(0);
    m_Bottom.store(0);
    Numframe.store(0);
    reserved_.store(0);
    std::fill(std::begin(slotState_), std::end(slotState_), kDecoding);
    ++queueEpoch;
}

int32_t NetCtrl_Struct::reserveSlotLocked() {
    if (queuedOrDecoding() >= kQueueSlots) {
        return -1;
    }
    const int32_t slot = (m_Top.load() + reserved_.load()) % kQueueSlots;
    slotState_[slot] = kDecoding;
    reserved_.fetch_add(1);
    return slot;
}

void NetCtrl_Struct::releaseSlot(int32_t slot) {
    std::lock_guard<std::mutex> g(mutex);
    if (reserved_.load() > 0 && slot == (m_Top.load() + reserved_.load() - 1) % kQueueSlots) {
        reserved_.fetch_sub(1);
    }
}

void NetCtrl_Struct::completeSlot(int32_t slot, bool picture, int64_t arrived) {
    if (slot < 0 || slot >= kQueueSlots) {
        return;
    }
    std::lock_guard<std::mutex> g(mutex);
    slotState_[slot] = picture ? kPicture : kGap;
    if (picture) {
        arrivedAt[slot] = arrived;
    }
    bool published = false;
    while (reserved_.load() > 0 && slotState_[m_Top.load()] != kDecoding) {
        const int32_t top = m_Top.load();
        const bool gap = slotState_[top] == kGap;
        slotState_[top] = kDecoding;
        reserved_.fetch_sub(1);
        if (gap && reserved_.load() == 0) {
            break;  // nothing behind it: the slot is simply free again
        }
        if (gap) {
            NET_FRAME_HEADER none{};
            none.type = 0;
            std::memcpy(buf[top], &none, sizeof none);
        }
        m_Top.store((top + 1) % kQueueSlots);
        Numframe.fetch_add(1);
        published = true;
    }
    if (published) {
        queued.notify_all();
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
