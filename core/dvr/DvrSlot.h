// One DVR slot: everything the client keeps for one DVR number. Its network control block, its
// decoders, sequence table and replies; its threads (receive, display, command, and one
// connect-and-login thread per attempt); and the operations of the connection path, the receive
// path, the live-view commands and the playback requests, all on this one DVR.
//
// Threads, and who may call what:
// - GUI thread: Prepare, StartConnectAttempt, Post, Renumbered, Stop, Disconnect.
// - Connect-and-login thread: ConnectAndReport, NetConnect, SetParameter. They block for up to
//   the connect limits (10 s to a DVR, 8 + 10 s through the lookup server, 0.5 + 10 s for the
//   login reply) or until the stop signal.
// - Receive thread: NetWorkThread and the stream sink; it blocks reading the DVR.
// - Display thread: animationother; it blocks waiting for pictures.
// - Command thread: the jobs posted with Post (each send may block up to 3 s).
// - Any thread but the GUI thread: the playback requests (GetMachineDiskInfo,
//   TimeToSearchRecList, NetPlayFile, StopNetPlayFile) wait about 6 s for their reply (one request
//   of a slot at a time: the others wait on the block's request lock); SendData blocks up to 3 s.
// - Any thread: the read-only queries, SendData's refusal when nothing is connected.
//
// Tables and their guards: NetCtrl (see NetCtrl.h); Decoder and AVData2 belong to the receive
// thread once made; frameNumber is under NetCtrl.queue.mutex; Dvrinfo and pFileShow under
// NetCtrl.replyLock; m_listPage and m_CurShowCam are atomic; the attempt state under slotLock_;
// reduced_ is atomic (written by the GUI, decided on by the receive thread: ReducedChannels.h).
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "core/decode/DecodePool.h"
#include "core/decode/DecoderPool.h"
#include "core/decode/ReducedChannels.h"
#include "core/directory/SaveInfo.h"
#include "core/dvr/CommandQueue.h"
#include "core/dvr/FrameTap.h"
#include "core/dvr/SlotEvents.h"
#include "core/net/ConnectionLimits.h"
#include "core/net/NetCtrl.h"
#include "core/net/StreamParser.h"
#include "core/net/TcpSocket.h"
#include "core/wire/ResultCodes.h"

class DvrSlot final : private StreamSink, private DecodePool::Client {
  public:
    DvrSlot(int dvr, SlotContext context);
    ~DvrSlot() override;
    DvrSlot(const DvrSlot&) = delete;
    DvrSlot& operator=(const DvrSlot&) = delete;

    int dvr() const { return dvr_; }

    // ---- Life of the slot ----
    // Creates the decoders and buffers once and starts the receive and command threads (and the
    // display thread `withDisplay`): they run until Stop(). -1 when the decoders or buffers could
    // not be made; the slot must then not be connected.
    int32_t Prepare(bool withDisplay);
    // The decoders, once; -1 when one could not be made.
    int32_t initDecode();
    // The buffers of the block, once; -1 (block left uninitialised) when memory is short.
    int32_t initNet();
    void StartReceiveThread(bool withDisplay);
    // The end of the run: attempts are joined (the stop signal must be raised), the connection
    // closes, every thread of the slot ends.
    void Stop();
    // The slot's DVR number now belongs to another DVR (a delete moved the list): attempts under
    // way are overtaken, the connection closes, the view returns to live and the slot is emptied
    // (by its receive thread when it has one).
    void Renumbered();

    // ---- Connection attempts ----
    bool AttemptRunning() const;
    // An attempt the operator started runs (not a quiet one, which the operator's commands
    // overtake).
    bool OperatorAttemptRunning() const;
    // Starts a connect-and-login thread for the slot's DVR as it is now. A quiet attempt (an
    // automatic reconnect) shows no box for a DVR it cannot reach or that is busy; a bad user or
    // password it still shows.
    void StartConnectAttempt(bool quiet = false);
    // The attempts under way are overtaken: they leave the slot, its title and its entry alone.
    void CancelAttempts();
    // How the login of the last attempt that got that far ended. Any thread.
    status::Login LastLogin() const { return static_cast<status::Login>(lastLogin_.load()); }

    // The automatic reconnect after a lost session. GUI thread only.
    struct Reconnect {
        bool pending = false;   // another attempt will come
        bool inFlight = false;  // one of its attempts runs
        int attempts = 0;       // attempts since the loss
        std::chrono::steady_clock::time_point due;
        int shownSeconds = -1;  // the countdown the node's title shows
        bool boxOpen = false;   // this DVR's "Net error" box is open
        bool lost = false;      // lost and not back yet: its panes say offline
        // When the last reconnect brought the session back: a loss within
        // `ConnectionLimits::reconnectSteady` goes on with the waits it had reached.
        std::optional<std::chrono::steady_clock::time_point> upSince;
    };
    Reconnect reconnect;
    // The connect-and-login thread's body: NetConnect, then the box for a failed connect or a
    // server text without ':'.
    status::Connect ConnectAndReport();
    status::Connect NetConnect();
    // Logs in unless logged in, then starts the live stream or the playback session.
    status::Login SetParameter();

    // ---- Transfer ----
    // Sends one record whole; -1 when nothing is logged in or the send failed (a working session
    // then ends in NET_ERROR).
    int32_t SendData(const void* data, int len);
    // Reads exactly len bytes from the connection; with a limit, fails when they are late.
    int32_t ReadData(void* data, int len,
                     std::optional<std::chrono::milliseconds> limit = std::nullopt);
    int32_t Disconnect();   // the operator's disconnect
    int32_t CloseSocket();  // the connection broke

    // ---- Receive path ----
    void NetWorkThread();
    // One unit from `in`, which is the connection `from` (nullptr: no connection, e.g. memory).
    // 1, or -1 when the unit broke (a working session on `from` then ends in NET_ERROR).
    int32_t RecvCommand(ByteSource& in, const TcpSocket* from, NET_COMMAND& cmd);
    void SetRecCmd(int32_t subtype);
    int32_t WaitRecCmd();
    // 1 while the DVR plays back a recording.
    int32_t IsNet_NET_DATA_SEND() const;
    // Empties the queue, the sequence numbers, the decoders' state and the replies. Receive
    // thread of the slot, or any thread while the slot has no receive thread.
    void ResetSlot();

    // Whether the DVR was asked for pictures (live or played) and is sending. Any thread.
    bool Streaming() const;
    // The channels asked for now (live or played), and since when each was asked for without a
    // break (steady clock, ns; 0 for one not asked for). Any thread.
    uint32_t AskedChannels() const { return askedChannels_.load(); }
    int64_t AskedSince(int channel) const;

    // ---- Live view ----
    void NetLocalViewPlay(uint32_t cam, int32_t audio);
    void StopNetLocalView();
    void CreateNetKeyFrame();
    // A key-frame request, unless one went to the DVR (from any thread) within `interval`.
    void AskKeyFrameUnlessAskedWithin(std::chrono::nanoseconds interval);
    // The single-DVR view's adjustment for channels `mask`; the all-DVR view's for `mask`, where
    // `wanted` are the channels shown panes ask for before the entry's mask; the DVR not shown.
    // Each does nothing while the DVR plays back: it is checked when the adjustment runs, so one
    // queued before a playback started does not end it. Nor does one that asks a streaming DVR
    // for the channels it was last asked for on this session: a restart would cost a key frame
    // and a late picture, and give nothing new.
    void AdjustActive(uint32_t mask, int32_t audio);
    void AdjustShown(uint32_t mask, uint32_t wanted, int32_t audio);
    void AdjustNotActive();
    // Hands `job` to the command thread; see CommandQueue.
    void Post(CommandQueue::Job job, bool replacesPending = false);
    bool CommandsIdle(std::chrono::milliseconds limit);
    uint32_t CurShowCam() const { return m_CurShowCam.load(); }

    // ---- Playback requests ----
    int32_t GetMachineDiskInfo();
    // Page `page` of the day `dateKey` into `list`; the day's page count, 0 without an answer.
    int32_t TimeToSearchRecList(int32_t dateKey, RecordListPage* list, int32_t page);
    // Plays seconds time1 .. time2 of the day for the channels of `cam`; the block's Results.
    int32_t NetPlayFile(int32_t time1, int32_t time2, uint32_t cam, int32_t sound, int32_t fast);
    int32_t StopNetPlayFile();
    // The stop record even though the status does not say the DVR plays: after a refused play,
    // the DVR may still play what it played before.
    int32_t StopEarlierPlay();
    DVR_MACHINE_INFO MachineInfo() const;

    // ---- Display thread ----
    void animationother();

    // ---- Frame tap ----
    // From now on a copy of every video frame of `channels` that passes the sequence check goes
    // to `tap` (nullptr or 0: none); the tap must live until it is replaced. When this returns,
    // no frame goes to the tap it replaced. Any thread; off, the receive path pays one atomic load.
    void SetTap(FrameTap* tap, uint32_t channels);
    // Takes `tap` off, if it is still the one in place (another may have replaced it). Any thread.
    void RemoveTap(FrameTap* tap);

    // ---- Reduced decoding ----
    // The channels to decode without the deblocking filter (the surface shows them small); a
    // channel taken out of the mask is asked a key frame for and decodes in full from it on.
    // Any thread.
    void SetReducedChannels(uint32_t mask) { reduced_.Want(mask); }
    const ReducedChannels& reducedChannels() const { return reduced_; }

    // ---- Shown channels ----
    // The channels some pane shows (all of them until told otherwise). A live frame of any other
    // channel costs no decoder and no queue room: the sequence check and the tap still see it,
    // and the channel starts again at a key frame, asked for at once, when a pane shows it.
    // Played frames are decoded whatever is shown: the playback follows them. Any thread.
    void SetShownChannels(uint32_t mask);
    uint32_t ShownChannels() const { return shownChannels_.load(std::memory_order_relaxed); }

    // The next frame number expected on a channel entry (0 to 39). Any thread.
    uint32_t ExpectedFrame(int entry) const;

    // What the slot's pictures hold now, and how often its memory had to grow. Any thread.
    struct MemoryFigures {
        std::size_t queueBytes = 0;    // the queue's picture memory, in use or free
        uint32_t queueBlocksMade = 0;  // picture blocks made
        int32_t decodersOpen = 0;      // channels with a decoder now
        uint32_t decodersMade = 0;     // decoders made
        uint32_t payloadGrowths = 0;   // times the payload buffers grew
        uint32_t payloadBuffers = 0;   // payload buffers held now
    };
    MemoryFigures Memory() const;
    // Whether the slot decodes on its receive thread now (as every DVR starts, and while its
    // decoding takes little of a core and keeps up) rather than on the shared lanes; how often it
    // went to the lanes for falling behind. Any thread.
    bool decodesAlone() const { return decodeAlone_.load(std::memory_order_relaxed); }
    uint32_t fellBehind() const { return fellBehind_.load(std::memory_order_relaxed); }

    NetCtrl_Struct NetCtrl;

  private:
    // One connection attempt, as of the slot's generation when it started: a delete that gives the
    // number to another DVR bumps the generation, and an overtaken attempt then leaves the slot,
    // its title and its entry alone.
    //
    // Each attempt works on its own connection: the socket it made (`made`), or for a block that
    // was logged in already the one attached when it started. It sends and reads on that socket
    // only, and touches the slot only while it is current and that socket is still attached.
    struct Attempt {
        uint32_t generation;
        bool quiet = false;
        std::shared_ptr<TcpSocket> sock;
        bool made = false;
    };
    // The slot's generation, with the connection attached now.
    Attempt CurrentAttempt() const;
    bool Current(const Attempt& a) const;
    // Current, and its socket is the one attached.
    bool Owns(const Attempt& a) const;
    // Runs `step` (a transition on the attempt's socket, a change to the slot) only while the
    // attempt owns the slot: under the slot lock, so that neither a cancel nor a newer attempt's
    // socket comes between the check and the step. False when it did not run or returned false.
    template <typename Step>
    bool AsOwner(const Attempt& a, Step&& step) {
        std::lock_guard<std::mutex> g(slotLock_);
        return generation_ == a.generation && NetCtrl.Attached(a.sock.get()) && step();
    }
    // An overtaken attempt's end: its own socket is closed, and taken off the slot only if it is
    // still attached there without a working session.
    void LeaveOvertaken(const Attempt& a);
    void AttemptTitle(const Attempt& a, const std::string& title);
    void RestoreTitle(const Attempt& a);
    void AttemptBox(const Attempt& a, const SAVE_INFO_STRUCT& entry, const std::string& text);
    // A box about a DVR that could not be reached: not for a quiet attempt.
    void FailureBox(const Attempt& a, const SAVE_INFO_STRUCT& entry, const std::string& text);
    bool AttemptBeginLogin(const Attempt& a);
    status::Connect ConnectAndReport(const Attempt& a);
    status::Connect NetConnect(const Attempt& a);
    status::Login SetParameter(const Attempt& a, const SAVE_INFO_STRUCT& entry);
    status::Login LogIn(const Attempt& a, const SAVE_INFO_STRUCT& entry);
    // Both login records on the attempt's socket under one hold of the block's send lock.
    bool SendLogin(const Attempt& a, const NET_COMMAND& login, const NET_LOGIN_INFO& info);
    // A refused login ends the attempt's own connection; false when the attempt was overtaken.
    bool EndRefused(const Attempt& a);
    // SendData on the connection `s`: refused unless `s` is attached and logged in.
    int32_t SendOn(const std::shared_ptr<TcpSocket>& s, const void* data, int len);
    // StopNetPlayFile on the connection `s`.
    int32_t StopPlayOn(const std::shared_ptr<TcpSocket>& s, bool evenIfNotPlaying = false);
    int32_t ReadFrom(const std::shared_ptr<TcpSocket>& s, void* data, int len,
                     std::optional<std::chrono::milliseconds> limit);

    // The stream sink: the receive thread's intake.
    void OnFrame(const NET_FRAME_HEADER& h, const uint8_t* payload, bool bundleMember,
                 int64_t arrived) override;
    void OnDiskInfo(int32_t count, const NET_SEND_INFO (&disks)[kMaxDiskRecords]) override;
    void OnRecordList(int32_t pages, const uint8_t* data, std::size_t len) override;
    void OnPlayState(int32_t state, int32_t reason) override;
    void WaitForQueueRoom();
    // Decoding on the shared pool's lanes, when the machine has cores to spare: joined by the
    // receive thread as it starts. Receive thread.
    bool StartDecodeLanes();
    void DecodeOnLane(AVPacket* packet, DecodePool::Job& job) override;
    // Decodes the frame of `h` from `payload`, which the decoder references instead of copying,
    // into queue slot `slot` with `packet` (the caller's to use); the picture's bytes. The
    // channel's decoder is the calling thread's meanwhile.
    int32_t DecodeReferenced(AVPacket* packet, AVBufferRef* payload, const NET_FRAME_HEADER& h,
                             int32_t slot, bool reduced);
    // Returns once no frame of this DVR is being decoded on a lane. Receive thread (or any, with
    // no receive thread running).
    void DrainJobs();
    // A buffer for a payload of `bytes` handed to a lane; the pool grows to the largest frame.
    BufferRefPtr PayloadBuffer(uint32_t bytes);
    // Whether the slot decodes on its receive thread rather than on the lanes, see the rule in
    // Intake.cpp. Receive thread, every sweep.
    void WeighDecodeLoad(int64_t now);
    // Where decoding starts, nothing weighed yet: before the receive thread starts, and on it
    // when another DVR takes the slot (its lane jobs drained).
    void ResetDecodePlacement();
    // Lets the payload buffers a burst of frames left behind go. Receive thread, every few s.
    void TrimPayloadBuffers();
    void DropPayloadBuffers();  // receive thread
    // Releases the decoders of channels silent for a while, and with every channel silent the
    // payload buffers and the queue's free memory too. Receive thread, a few times a second.
    void ReleaseIdleDecoders();
    // A reserved slot's picture (`bytes` > 0) or its absence goes on the queue.
    void Publish(int32_t slot, const NET_FRAME_HEADER& h, int32_t bytes, int64_t arrived);
    // The channels now asked for, as a record that asks for them goes out; `live` for a live
    // view's request, which the next adjustment compares with (any other record voids it).
    void Ask(uint32_t channels, bool live = false);
    // Whether the DVR streams the live view of `mask` already, asked for on this session: the
    // channels past the DVR's count do not count (the DVR has none to send).
    bool LiveUnchanged(uint32_t mask) const;
    bool PlayingBack() const;

    // How long the receive thread has heard nothing, and what it did about it.
    struct SilenceWatch {
        std::chrono::steady_clock::time_point next;  // when the silence is looked at again
        bool keyAsked = false;                       // a key frame was asked for meanwhile
    };
    SilenceWatch FreshSilence(std::chrono::steady_clock::time_point now) const;
    void CheckSilence(const TcpSocket& s, SilenceWatch& silence);

    const int dvr_;
    SlotContext ctx_;

    // ---- Tables ---------------------------------------------------------------------------------
    Decode_Struct Decoder;  // made once; each channel's decoder used by one thread at a time
    // Decoding on the shared pool: whether this slot does (receive thread), the job of each
    // queue slot (a reserved slot has at most one), and the payloads' buffers (receive thread),
    // sized to the largest frame so far, as many as were in flight at once lately.
    bool pooled_ = false;
    DecodePool::Job jobs_[kQueueSlots];
    BufferPoolPtr payloadPool_;
    uint32_t payloadBytes_ = 0;
    std::atomic<uint32_t> payloadGrowths_{0};
    std::atomic<uint32_t> payloadBuffers_{0};  // made by the pool now in use
    // Frames handed to a lane and not yet decoded: in all and the most since the payload
    // buffers were last looked at (both under jobsLock_), and per channel.
    std::mutex jobsLock_;
    std::condition_variable jobsDone_;
    int jobsInFlight_ = 0;
    int jobsPeak_ = 0;
    std::atomic<int32_t> channelJobs_[kMaxChannels] = {};
    // Decoding on the receive thread itself (written by the receive thread, and before it starts;
    // read anywhere). The rest the receive thread's, set before it starts: when the present
    // window started (steady clock, ns) and the CPU time spent decoding in it (thread CPU clock,
    // ns), on the receive thread and on the lanes; the wall time the receive thread spent
    // decoding in it; the windows in a row it fell behind in, until when one that did stays on
    // the lanes (steady clock, ns), and how often that happened.
    std::atomic<bool> decodeAlone_{false};
    int64_t loadWindowStart_ = 0;
    int64_t aloneDecodeNs_ = 0;
    int64_t aloneDecodeWallNs_ = 0;
    int behindWindows_ = 0;
    int64_t lanesHeldUntil_ = 0;
    std::atomic<uint32_t> fellBehind_{0};
    std::atomic<int64_t> laneDecodeNs_{0};
    // When each channel last had a frame to decode, and when the decoders are looked at next
    // (steady clock, ns). Receive thread.
    int64_t lastFrameAt_[kMaxChannels] = {};
    int64_t nextDecoderSweep_ = 0;
    int64_t nextSurplusTrim_ = 0;
    ByteBuffer AVData2;  // a bundle member and its padding; receive thread
    // Next frame number expected per channel entry; under NetCtrl.queue.mutex.
    uint32_t frameNumber[40] = {};
    DVR_MACHINE_INFO Dvrinfo = {};            // under NetCtrl.replyLock
    RecordListPage* pFileShow = nullptr;      // under NetCtrl.replyLock: the searcher's list
    std::atomic<int32_t> m_listPage{0};       // page count of the last search reply
    std::atomic<uint32_t> m_CurShowCam{0};    // the channel mask last asked for in live view
    std::atomic<uint32_t> askedChannels_{0};  // live or played channels asked for now
    // The last live view's mask with kLiveAsked, or 0 once a stop, a playback or another session
    // came after it.
    static constexpr uint64_t kLiveAsked = uint64_t{1} << 32;
    std::atomic<uint64_t> liveAsked_{0};
    std::atomic<int64_t> askedSince_[kMaxChannels] = {};
    // Record-list replies still owed to searches that gave up waiting: the DVR answers in order,
    // so the next ones that come are theirs, not the waiting search's. Under NetCtrl.replyLock.
    int owedSearchReplies_ = 0;
    // The channels that sent a picture on the current connection: silence counts only while one
    // of them is asked for, so a page of cameras the DVR does not have, or a DVR that came back
    // with every camera unplugged, raises no alarm (keepalive still finds a dead DVR).
    std::atomic<uint32_t> deliveredChannels_{0};
    // Whether the frames read now belong to a played recording: set by the receive thread at an
    // accepted play's answer (which the DVR sends before the recording's first frame), cleared
    // once a stop's frames in flight have drained and before a live view is asked for.
    std::atomic<bool> playStamp_{false};
    std::unique_ptr<StreamParser> parser_;
    // The tap and its channels: tap_ under tapLock_ (held by the receive thread while it copies a
    // frame in; never with another lock); the channels atomic, read first without the lock.
    std::mutex tapLock_;
    FrameTap* tap_ = nullptr;
    std::atomic<uint32_t> tapChannels_{0};  // reads into NetCtrl.tmpbuf and AVData2
    ReducedChannels reduced_;               // decided on the receive thread; see its header
    std::atomic<uint32_t> shownChannels_{0xFFFFFFFFu};
    // When each channel last came into a pane (steady clock, ns; 0: never told): its pictures are
    // due from then on, not from when it was asked for.
    std::atomic<int64_t> shownSince_[kMaxChannels] = {};
    // Channels whose frames were passed over unshown: the first frame after a pane shows one
    // asks for a key frame at once, and the frames before it are no drops. Receive thread.
    uint32_t passedOver_ = 0;
    std::atomic<int64_t> keyAskedAt_{0};  // the last key-frame request (steady clock, ns)

    // ---- Threads ----
    std::thread receiveThread_;
    std::thread displayThread_;
    CommandQueue commands_;
    struct ConnectThread {
        std::thread thread;
        std::shared_ptr<std::atomic<bool>> done;
    };
    mutable std::mutex slotLock_;
    std::vector<ConnectThread> connectThreads_;  // under slotLock_
    bool attemptRunning_ = false;                // under slotLock_
    bool runningQuiet_ = false;                  // under slotLock_: the running one is quiet
    uint32_t generation_ = 0;                    // under slotLock_
    std::atomic<int32_t> lastLogin_{status::Code(status::Login::Failed)};
};
