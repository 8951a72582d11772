#include "core/net/NetCtrl.h"

#include "core/net/TcpSocket.h"

std::shared_ptr<TcpSocket> NetCtrl_Struct::connection() const {
    std::lock_guard<std::mutex> g(sockLock_);
    return sock_;
}

std::shared_ptr<TcpSocket> NetCtrl_Struct::TakeSocketLocked() {
    socket.value_.store(0);
    return std::move(sock_);
}

namespace {
void ShutDown(const std::shared_ptr<TcpSocket>& s) {
    if (s) {
        s->Shutdown();  // wakes a thread blocked in a read or a send on it
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
        old = TakeSocketLocked();
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

bool NetCtrl_Struct::OnAttachedLocked(const TcpSocket* on) const {
    return sock_ && (!on || sock_.get() == on);
}

bool NetCtrl_Struct::LoginAccepted(int32_t usermode, int32_t channels, const TcpSocket* on) {
    std::lock_guard<std::mutex> g(sockLock_);
    if (!OnAttachedLocked(on)) {
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
        if (!OnAttachedLocked(on) || !LoggedIn()) {
            return false;
        }
        NetWorking.value_.store(1);
    }
    WakeReceiver();
    return true;
}

bool NetCtrl_Struct::SetLiveStatus(int32_t status, const TcpSocket* on) {
    if (status != NET_CONNECTED && status != NET_DATA_SEND) {
        return false;
    }
    std::lock_guard<std::mutex> g(sockLock_);
    if (!OnAttachedLocked(on) || !LoggedIn()) {
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
        old = TakeSocketLocked();
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
        old = TakeSocketLocked();
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
        old = TakeSocketLocked();
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
    WakeReceiver();
    queue.WakeConsumers();  // the display thread
}

bool NetCtrl_Struct::LoggedIn() const {
    const int32_t s = CurNetStatus.load();
    return s == NET_CONNECTED || s == NET_DATA_SEND;
}

bool NetCtrl_Struct::LoggingIn() const {
    return socket.load() != 0 && CurNetStatus.load() == NET_DISCONNECTED;
}

void NetCtrl_Struct::ReplyStored(int32_t subtype) {
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

void NetCtrl_Struct::WakeReceiver() {
    std::lock_guard<std::mutex> g(idleLock);
    idle.notify_all();
}
