#include "connection/NetCtrl.h"

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
