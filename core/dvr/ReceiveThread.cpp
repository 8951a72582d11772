// A slot's receive thread: waits for its session, then reads everything the DVR sends.
#include "core/dvr/DvrSlot.h"
#include "core/ports/UiPort.h"
#include "core/support/Log.h"

namespace {
constexpr auto kIdleWait = std::chrono::milliseconds(500);
constexpr auto kReadableWait = std::chrono::milliseconds(1000);
}  // namespace

void DvrSlot::NetWorkThread() {
    QLog("receive thread of DVR %d", dvr_);
    NET_COMMAND cmd;
    while (NetCtrl.ThreadWork.load() != 0) {
        if (NetCtrl.resetRequested.exchange(false)) {
            ResetSlot();
        }
        if (NetCtrl.NetWorking.load() <= 0) {
            std::unique_lock<std::mutex> g(NetCtrl.idleLock);
            NetCtrl.idle.wait_for(g, kIdleWait, [&] {
                return NetCtrl.ThreadWork.load() == 0 || NetCtrl.NetWorking.load() > 0;
            });
            continue;
        }
        std::shared_ptr<TcpSocket> s = NetCtrl.connection();
        // Checked again with the socket in hand: a connection that is still logging in (its
        // connect thread reads the login reply) is not ours to read.
        if (!s || NetCtrl.NetWorking.load() <= 0) {
            continue;
        }
        const int ready = s->pendingError() != 0 ? -1 : s->waitReadable(kReadableWait);
        if (ready < 0) {
            if (NetCtrl.Fail(s.get())) {
                QLog("CloseSocket");
                ctx_.ui.reloadTree();
            }
        } else if (ready > 0) {
            RecvCommand(*s, s.get(), cmd);
        }
    }
}

int32_t DvrSlot::RecvCommand(ByteSource& in, const TcpSocket* from, NET_COMMAND& cmd) {
    if (!parser_) {
        return -1;  // no buffers: the slot was never prepared
    }
    const StreamParser::Unit unit = parser_->RecvCommand(in, *this, cmd);
    if (unit == StreamParser::Unit::Read) {
        return 1;
    }
    // Only the connection the unit came from ends: a newer one is not affected.
    QLog(unit == StreamParser::Unit::Broken ? "ReadData CloseSocket" : "protocol error: closed");
    if (from && NetCtrl.Fail(from)) {
        ctx_.ui.reloadTree();
    }
    return -1;
}

int32_t DvrSlot::IsNet_NET_DATA_SEND() const {
    return NetCtrl.CurNetStatus.load() == NET_DATA_SEND &&
                   NetCtrl.ViewOrBack.load() == VIEW_PLAYBACK
               ? 1
               : 0;
}
