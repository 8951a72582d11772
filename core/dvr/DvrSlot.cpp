// The life of a DVR slot: its buffers and threads, connection attempts, renumbering, reset.
#include "core/dvr/DvrSlot.h"

#include <algorithm>
#include <string>

#include "core/decode/SizeFrame.h"
#include "core/directory/DvrList.h"
#include "core/ports/UiPort.h"
#include "core/support/FixedText.h"
#include "core/support/Log.h"
#include "core/support/ThreadName.h"

namespace {

// The start values of a slot's threads, passed by value: a second connect cannot change what a
// starting thread reads.
struct ThreadStart {
    DvrSlot* slot;
};

}  // namespace

// Thread entries: the receive thread, the display thread.
void oneNetThread(ThreadStart start) {
    NameThisThread("receive " + std::to_string(start.slot->dvr()));
    start.slot->NetWorkThread();
}

void oneNetThread3(ThreadStart start) {
    NameThisThread("display " + std::to_string(start.slot->dvr()));
    start.slot->animationother();
}

DvrSlot::DvrSlot(int dvr, SlotContext context) : dvr_(dvr), ctx_(context) {
    NetCtrl.NetID.store(dvr);
}

DvrSlot::~DvrSlot() {
    Stop();
}

int32_t DvrSlot::initNet() {
    NetCtrl.NetID.store(dvr_);
    if (NetCtrl.init.load() == 1) {
        return 1;
    }
    NetCtrl.RecvCmd.store(0);
    ByteBuffer tmp = AllocZeroed(kMaxFramePayload + kInputPadding);
    ByteBuffer member = AllocZeroed(kMaxFramePayload + kInputPadding);
    if (!tmp || !member) {
        QLog("initNet: no memory for DVR %d", dvr_);
        return -1;  // stays uninitialised: nothing may use the missing buffers
    }
    NetCtrl.tmpbuf = std::move(tmp);
    AVData2 = std::move(member);
    parser_ = std::make_unique<StreamParser>(NetCtrl.tmpbuf.get(), AVData2.get());
    NetCtrl.init.store(1);
    return 1;
}

int32_t DvrSlot::initDecode() {
    return ::initDecode(Decoder);
}

int32_t DvrSlot::Prepare(bool withDisplay) {
    if (initDecode() != 1 || initNet() != 1) {
        return -1;
    }
    StartReceiveThread(withDisplay);
    return 1;
}

void DvrSlot::StartReceiveThread(bool withDisplay) {
    if (receiveThread_.joinable()) {
        return;
    }
    NetCtrl.ThreadWork.store(1);
    ResetDecodePlacement();  // before the thread that owns its fields runs
    receiveThread_ = std::thread(oneNetThread, ThreadStart{this});
    commands_.Start("command " + std::to_string(dvr_));
    // Without a video surface (the probe, a benchmark) the caller takes the pictures itself.
    if (withDisplay) {
        displayThread_ = std::thread(oneNetThread3, ThreadStart{this});
    }
}

void DvrSlot::Stop() {
    std::vector<ConnectThread> attempts;
    {
        std::lock_guard<std::mutex> g(slotLock_);
        attempts.swap(connectThreads_);
    }
    for (auto& a : attempts) {
        a.thread.join();  // the stop signal ends every wait of an attempt
    }
    NetCtrl.Stop();  // wakes a blocked read or send, and the display thread
    commands_.Stop();
    if (receiveThread_.joinable()) {
        receiveThread_.join();
    }
    if (displayThread_.joinable()) {
        displayThread_.join();
    }
}

void DvrSlot::Renumbered() {
    {
        std::lock_guard<std::mutex> g(slotLock_);
        ++generation_;
        attemptRunning_ = false;
    }
    commands_.Clear();  // what was queued was meant for the DVR that had this number
    NetCtrl.Disconnect();
    NetCtrl.SetView(VIEW_LIVE);
    if (receiveThread_.joinable()) {
        NetCtrl.resetRequested.store(true);
        NetCtrl.WakeReceiver();
    } else {
        ResetSlot();
    }
}

void DvrSlot::ResetSlot() {
    DrainJobs();             // no picture of the old DVR lands in the emptied queue
    ResetDecodePlacement();  // the new DVR is weighed afresh; no lane holds a job of the slot now
    NetCtrl.queue.Clear();
    {
        std::lock_guard<std::mutex> g(NetCtrl.queue.mutex);
        std::fill(std::begin(frameNumber), std::end(frameNumber), 0u);
    }
    reduced_.Reset();
    passedOver_ = 0;
    for (int c = 0; c < kMaxChannels; ++c) {
        NetCtrl.needKey[c] = false;
        NetCtrl.stats[c].frames.store(0);
        NetCtrl.stats[c].decoded.store(0);
        NetCtrl.stats[c].dropped.store(0);
        NetCtrl.stats[c].sizeFrame.store(-1);
        NetCtrl.stats[c].bytes.store(0);
        NetCtrl.stats[c].lastPictureAt.store(0);
    }
    Ask(0);
    deliveredChannels_.store(0);
    playStamp_.store(false);
    FlushDecoders(Decoder);  // no reference pictures carry over
    std::fill(std::begin(lastFrameAt_), std::end(lastFrameAt_), 0);
    {
        std::lock_guard<std::mutex> g(NetCtrl.replyLock);
        Dvrinfo = DVR_MACHINE_INFO{};
        pFileShow = nullptr;
        owedSearchReplies_ = 0;
    }
    m_listPage.store(0);
    NetCtrl.RecvCmd.store(0);
    NetCtrl.Results.store(0);
}

uint32_t DvrSlot::ExpectedFrame(int entry) const {
    if (entry < 0 || entry >= 40) {
        return 0;
    }
    std::lock_guard<std::mutex> g(NetCtrl.queue.mutex);
    return frameNumber[entry];
}

DvrSlot::MemoryFigures DvrSlot::Memory() const {
    return MemoryFigures{NetCtrl.queue.bytesHeld(),
                         NetCtrl.queue.blocksMade(),
                         Decoder.open.load(std::memory_order_relaxed),
                         Decoder.made.load(std::memory_order_relaxed),
                         payloadGrowths_.load(std::memory_order_relaxed),
                         payloadBuffers_.load(std::memory_order_relaxed)};
}

DVR_MACHINE_INFO DvrSlot::MachineInfo() const {
    std::lock_guard<std::mutex> g(NetCtrl.replyLock);
    return Dvrinfo;
}

void DvrSlot::Post(CommandQueue::Job job, bool replacesPending) {
    commands_.Post(std::move(job), replacesPending);
}

bool DvrSlot::CommandsIdle(std::chrono::milliseconds limit) {
    return commands_.WaitIdle(limit);
}

// ---- Connection attempts ----

DvrSlot::Attempt DvrSlot::CurrentAttempt() const {
    std::lock_guard<std::mutex> g(slotLock_);
    return Attempt{generation_, false, NetCtrl.connection()};
}

bool DvrSlot::Current(const Attempt& a) const {
    std::lock_guard<std::mutex> g(slotLock_);
    return generation_ == a.generation;
}

bool DvrSlot::Owns(const Attempt& a) const {
    std::lock_guard<std::mutex> g(slotLock_);
    return generation_ == a.generation && NetCtrl.Attached(a.sock.get());
}

void DvrSlot::LeaveOvertaken(const Attempt& a) {
    if (!a.made || !a.sock) {
        return;  // the connection is the session's, not the attempt's
    }
    // A session that came up on it before the attempt was overtaken stays.
    if (!NetCtrl.AbandonLogin(a.sock.get()) && !NetCtrl.Attached(a.sock.get())) {
        a.sock->Shutdown();
    }
}

bool DvrSlot::AttemptRunning() const {
    std::lock_guard<std::mutex> g(slotLock_);
    return attemptRunning_;
}

bool DvrSlot::OperatorAttemptRunning() const {
    std::lock_guard<std::mutex> g(slotLock_);
    return attemptRunning_ && !runningQuiet_;
}

void DvrSlot::AttemptTitle(const Attempt& a, const std::string& title) {
    // Checked and posted under the slot lock, so a delete cannot slip in between.
    std::lock_guard<std::mutex> g(slotLock_);
    if (generation_ == a.generation) {
        ctx_.ui.SetNodeTitle(dvr_, title);
    }
}

void DvrSlot::AttemptBox(const Attempt& a, const SAVE_INFO_STRUCT& entry, const std::string& text) {
    if (Current(a)) {
        ctx_.ui.MessageBox(std::string(TextOf(entry.server)), text);
    }
}

void DvrSlot::FailureBox(const Attempt& a, const SAVE_INFO_STRUCT& entry, const std::string& text) {
    if (!a.quiet) {
        AttemptBox(a, entry, text);
    }
}

void DvrSlot::CancelAttempts() {
    std::lock_guard<std::mutex> g(slotLock_);
    ++generation_;
    attemptRunning_ = false;
}

bool DvrSlot::AttemptBeginLogin(const Attempt& a) {
    std::lock_guard<std::mutex> g(slotLock_);
    return generation_ == a.generation && NetCtrl.BeginLogin(a.sock);
}

void DvrSlot::StartConnectAttempt(bool quiet) {
    std::lock_guard<std::mutex> g(slotLock_);
    // Threads of finished attempts are joined here, so they never pile up.
    auto finished =
        std::remove_if(connectThreads_.begin(), connectThreads_.end(), [](ConnectThread& c) {
            if (!c.done->load()) {
                return false;
            }
            c.thread.join();
            return true;
        });
    connectThreads_.erase(finished, connectThreads_.end());
    attemptRunning_ = true;
    runningQuiet_ = quiet;
    const Attempt attempt{generation_, quiet, nullptr, false};
    auto done = std::make_shared<std::atomic<bool>>(false);
    // The connect-and-login thread.
    connectThreads_.push_back({std::thread([this, attempt, done] {
                                   NameThisThread("connect " + std::to_string(dvr_));
                                   ConnectAndReport(attempt);
                                   {
                                       std::lock_guard<std::mutex> g(slotLock_);
                                       if (generation_ == attempt.generation) {
                                           attemptRunning_ = false;
                                       }
                                   }
                                   done->store(true);
                               }),
                               done});
}
