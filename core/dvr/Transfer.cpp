// The two transfer primitives of a DVR connection and the two ways a connection ends.
#include "core/ViewController.h"
#include "core/support/Log.h"

int32_t ViewController::SendData(NetCtrl_Struct& b, const void* data, int len) {
    if (b.socket.load() <= 0 || len < 0) {
        return -1;
    }
    std::shared_ptr<TcpSocket> s = b.connection();
    if (!s) {
        return -1;
    }
    bool ok;
    {
        // The block's lock keeps records whole on this socket; the process-wide lock is held only
        // around each send call, so a DVR that stops reading holds up nobody but itself.
        std::lock_guard<std::mutex> g(b.sendLock);
        ok = s->sendAll(data, static_cast<std::size_t>(len), limits.send, &mutex);
    }
    if (!ok) {
        if (b.connection() == s) {
            CloseSocket(b);
        }
        return -1;
    }
    return len;
}

int32_t ViewController::ReadData(NetCtrl_Struct& b, void* data, int len,
                                 std::optional<std::chrono::milliseconds> limit) {
    if (b.socket.load() <= 0) {
        return -1;
    }
    return ReadFrom(b, b.connection(), data, len, limit);
}

int32_t ViewController::ReadReceived(NetCtrl_Struct& b, void* data, int len) {
    return ReadFrom(b, b.receiving, data, len, std::nullopt);
}

int32_t ViewController::ReadFrom(NetCtrl_Struct& b, const std::shared_ptr<TcpSocket>& s, void* data,
                                 int len, std::optional<std::chrono::milliseconds> limit) {
    if (!s || len < 0) {
        return -1;
    }
    if (!s->recvAll(data, static_cast<std::size_t>(len), limit)) {
        QLog("ReadData CloseSocket");
        if (b.connection() == s) {
            CloseSocket(b);
        }
        return -1;
    }
    return len;
}

int32_t ViewController::Disconnect(NetCtrl_Struct& b) {
    b.NetWorking.store(0);
    QLog("Disconnect:2");
    b.detach();
    b.CurNetStatus.store(NET_DISCONNECTED);
    ui_.reloadTree();
    QLog("Disconnect:");
    return 1;
}

int32_t ViewController::CloseSocket(NetCtrl_Struct& b) {
    // Only a logged-in session ends in an error; the first thread to see the failure reports it.
    if (b.NetWorking.exchange(0) != 0) {
        // The error status is set before the socket goes, so whoever sees the socket gone
        // (a waiting request) also sees why; the block never shows as disconnected meanwhile.
        b.CurNetStatus.store(NET_ERROR);
        b.detach();
        QLog("CloseSocket");
        ui_.reloadTree();
    }
    return 1;
}
