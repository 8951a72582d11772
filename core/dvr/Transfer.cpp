// The transfer primitives of a slot's connection and the two ways a connection ends.
#include "core/dvr/DvrSlot.h"
#include "core/ports/UiPort.h"
#include "core/support/Log.h"

int32_t DvrSlot::SendData(const void* data, int len) {
    return SendOn(NetCtrl.connection(), data, len);
}

int32_t DvrSlot::SendOn(const std::shared_ptr<TcpSocket>& s, const void* data, int len) {
    if (len < 0 || !s || !NetCtrl.LoggedIn() || !NetCtrl.Attached(s.get())) {
        return -1;  // nothing but the login goes to a socket that has not logged in
    }
    bool ok;
    {
        // The block's lock keeps records whole on this socket; the process-wide lock is held only
        // around each send call, so a DVR that stops reading holds up nobody but itself.
        std::lock_guard<std::mutex> g(NetCtrl.sendLock);
        ok = s->SendAll(data, static_cast<std::size_t>(len), ctx_.limits.send, &ctx_.sendLock);
    }
    if (!ok) {
        if (NetCtrl.Fail(s.get())) {
            QLog("CloseSocket");
            ctx_.ui.ReloadTree();
        }
        return -1;
    }
    return len;
}

int32_t DvrSlot::ReadData(void* data, int len, std::optional<std::chrono::milliseconds> limit) {
    if (NetCtrl.socket.load() <= 0) {
        return -1;
    }
    return ReadFrom(NetCtrl.connection(), data, len, limit);
}

int32_t DvrSlot::ReadFrom(const std::shared_ptr<TcpSocket>& s, void* data, int len,
                          std::optional<std::chrono::milliseconds> limit) {
    if (!s || len < 0) {
        return -1;
    }
    if (!s->RecvAll(data, static_cast<std::size_t>(len), limit)) {
        QLog("ReadData CloseSocket");
        if (NetCtrl.Fail(s.get())) {
            ctx_.ui.ReloadTree();
        }
        return -1;
    }
    return len;
}

int32_t DvrSlot::Disconnect() {
    QLog("Disconnect:2");
    NetCtrl.Disconnect();
    ctx_.ui.ReloadTree();
    QLog("Disconnect:");
    return 1;
}

int32_t DvrSlot::CloseSocket() {
    if (NetCtrl.Fail(nullptr)) {
        QLog("CloseSocket");
        ctx_.ui.ReloadTree();
    }
    return 1;
}
