// A slot's receive thread: waits for its session, then reads everything the DVR sends.
#include "core/dvr/DvrSlot.h"
#include "core/ports/UiPort.h"
#include "core/support/Log.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr auto kIdleWait = std::chrono::milliseconds(500);
constexpr auto kReadableWait = std::chrono::milliseconds(1000);

// The connection as the receive thread reads it: every read of a unit that has begun is bounded,
// so a DVR that stops half way through a frame cannot hold the thread.
class BoundedReads : public ByteSource {
  public:
    BoundedReads(TcpSocket& s, std::chrono::milliseconds limit) : s_(s), limit_(limit) {}
    bool ReadExactly(void* data, std::size_t n) override { return s_.recvAll(data, n, limit_); }

  private:
    TcpSocket& s_;
    const std::chrono::milliseconds limit_;
};

}  // namespace

void DvrSlot::NetWorkThread() {
    QLog("receive thread of DVR %d", dvr_);
    NET_COMMAND cmd;
    const TcpSocket* watched = nullptr;  // the session the silence is measured on
    SilenceWatch silence;
    StartDecodeLanes();
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
        if (s.get() != watched) {
            watched = s.get();
            silence = FreshSilence(Clock::now());
            std::lock_guard<std::mutex> g(NetCtrl.replyLock);
            owedSearchReplies_ = 0;  // a new connection owes nothing of the old one
        }
        const auto wait = std::min<Clock::duration>(kReadableWait, silence.next - Clock::now());
        const int ready = s->waitReadable(std::max(
            std::chrono::ceil<std::chrono::milliseconds>(wait), std::chrono::milliseconds(0)));
        if (ready < 0) {
            if (NetCtrl.Fail(s.get())) {
                QLog("CloseSocket");
                ctx_.ui.reloadTree();
            }
        } else if (ready > 0) {
            BoundedReads source(*s, ctx_.limits.streamSilence + ctx_.limits.lostAfterKeyRequest);
            if (RecvCommand(source, s.get(), cmd) == 1) {
                silence = FreshSilence(Clock::now());
            }
        } else {
            CheckSilence(*s, silence);
        }
    }
    lanes_.Stop();  // what they still decode is queued before the thread ends
}

DvrSlot::SilenceWatch DvrSlot::FreshSilence(std::chrono::steady_clock::time_point now) const {
    return SilenceWatch{now + ctx_.limits.streamSilence, false};
}

bool DvrSlot::Streaming() const {
    return NetCtrl.CurNetStatus.load() == NET_DATA_SEND && askedChannels_.load() != 0;
}

void DvrSlot::CheckSilence(const TcpSocket& s, SilenceWatch& silence) {
    const auto now = Clock::now();
    // Silence is normal while nothing is asked for; and a DVR that was lost for its silence and
    // came back still silent (every camera unplugged) is not lost again for that: keepalive still
    // finds a dead one.
    if (!Streaming() || lostForSilence_.load()) {
        silence = FreshSilence(now);
        return;
    }
    if (now < silence.next) {
        return;
    }
    if (!silence.keyAsked) {
        QLog("DVR %d silent: asking for a key frame", dvr_);
        CreateNetKeyFrame();
        silence.keyAsked = true;
        silence.next = now + ctx_.limits.lostAfterKeyRequest;
        return;
    }
    QLog("DVR %d silent after a key-frame request: connection lost", dvr_);
    lostForSilence_.store(true);
    if (NetCtrl.Fail(&s)) {
        ctx_.ui.reloadTree();
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
