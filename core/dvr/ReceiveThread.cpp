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
    bool ReadExactly(void* data, std::size_t n) override { return s_.RecvAll(data, n, limit_); }

  private:
    TcpSocket& s_;
    const std::chrono::milliseconds limit_;
};

}  // namespace

void DvrSlot::NetWorkThread() {
    QLog("receive thread of DVR %d", dvr_);
    NET_COMMAND cmd;
    // The session the silence is measured on; held weakly, so that a new connection is never
    // taken for the old one because it was made at the freed one's address.
    std::weak_ptr<TcpSocket> watched;
    SilenceWatch silence;
    StartDecodeLanes();
    while (NetCtrl.ThreadWork.load() != 0) {
        if (NetCtrl.resetRequested.exchange(false)) {
            ResetSlot();
        }
        ReleaseIdleDecoders();
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
        if (watched.lock() != s) {
            watched = s;
            silence = FreshSilence(Clock::now());
            deliveredChannels_.store(0, std::memory_order_relaxed);
            playStamp_.store(false);  // a new session plays nothing until a play is accepted
            std::lock_guard<std::mutex> g(NetCtrl.replyLock);
            owedSearchReplies_ = 0;  // a new connection owes nothing of the old one
        }
        const auto wait = std::min<Clock::duration>(kReadableWait, silence.next - Clock::now());
        const int ready = s->WaitReadable(std::max(
            std::chrono::ceil<std::chrono::milliseconds>(wait), std::chrono::milliseconds(0)));
        if (ready < 0) {
            if (NetCtrl.Fail(s.get())) {
                QLog("CloseSocket");
                ctx_.ui.ReloadTree();
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
    DrainJobs();  // what the lanes still decode is queued before the thread ends
}

DvrSlot::SilenceWatch DvrSlot::FreshSilence(std::chrono::steady_clock::time_point now) const {
    return SilenceWatch{now + ctx_.limits.streamSilence, false};
}

bool DvrSlot::Streaming() const {
    return NetCtrl.CurNetStatus.load() == NET_DATA_SEND && askedChannels_.load() != 0;
}

void DvrSlot::CheckSilence(const TcpSocket& s, SilenceWatch& silence) {
    const auto now = Clock::now();
    // Silence counts only where pictures are due: a live stream of which an asked camera has
    // sent in this session. A played recording falls silent at its end, and cameras that never
    // sent (a page of channels the DVR does not have) were never going to.
    if (!Streaming() || NetCtrl.ViewOrBack.load() != VIEW_LIVE ||
        (AskedChannels() & deliveredChannels_.load(std::memory_order_relaxed)) == 0) {
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
    if (NetCtrl.Fail(&s)) {
        ctx_.ui.ReloadTree();
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
        ctx_.ui.ReloadTree();
    }
    return -1;
}

int32_t DvrSlot::IsNet_NET_DATA_SEND() const {
    return NetCtrl.CurNetStatus.load() == NET_DATA_SEND &&
                   NetCtrl.ViewOrBack.load() == VIEW_PLAYBACK
               ? 1
               : 0;
}
