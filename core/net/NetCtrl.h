// The network control block: one per DVR slot, its connection state, its socket, its replies and
// its frame queue (FrameQueue.h).
//
// Connection state. NetWorking, CurNetStatus, ViewOrBack and the socket are read by any thread
// but written only by the transitions below, which keep them consistent and never hide a failure:
// once a working session failed (NET_ERROR), nothing but the report of the loss (the status
// timer) or an operator's disconnect leaves that state. The phases:
//
//   disconnected --BeginLogin--> logging in --LoginAccepted--> logged in --SessionUp--> working
//   logging in / logged in --AbandonLogin--> disconnected
//   working --Fail--> NET_ERROR --TakeReportedLoss--> disconnected
//   any --Disconnect--> disconnected
//
// While logging in (socket attached, status NET_DISCONNECTED) only the login may be sent
// (SendLogin); from the login reply on (NET_CONNECTED or NET_DATA_SEND) anything may.
//
// The socket object is handed out with shared ownership (connection()): a thread that holds it
// can keep using the descriptor even if a transition takes it out meanwhile (taking it out shuts
// it down, which wakes that thread; the descriptor is closed when the last holder lets go, so its
// number is never reused under a reader).
//
// Locks: sendLock keeps records whole on the wire (held for a whole send, at most the send limit,
// about 3 s); requestLock is held by a request from its mark to its reply (about 6 s); replyLock
// guards what the information replies fill. Lock order: requestLock, sendLock, then the
// process-wide send lock; the queue's `mutex` is never held with any of them.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>

#include "core/net/FrameQueue.h"
#include "core/support/ByteBuffer.h"
#include "core/wire/WireFormats.h"

// Connection status (CurNetStatus).
enum : int32_t {
    NET_DISCONNECTED = 0,
    NET_CONNECTED = 1,
    NET_DATA_SEND = 2,
    NET_ERROR = 3,
};

// ViewOrBack.
enum : int32_t {
    VIEW_LIVE = 0,
    VIEW_PLAYBACK = 1,
};

// What the intake saw per channel; any thread may read them.
struct ChannelStats {
    std::atomic<uint32_t> frames{0};        // headers received, video and audio, accepted or not
    std::atomic<uint32_t> decoded{0};       // video pictures decoded and queued
    std::atomic<uint32_t> dropped{0};       // dropped by the sequence check or a full queue
    std::atomic<int32_t> sizeFrame{-1};     // SizeFrame of the last video frame, -1 before any
    std::atomic<uint64_t> bytes{0};         // compressed video bytes received
    std::atomic<int64_t> lastPictureAt{0};  // when the last picture was queued (steady, ns)
};

class TcpSocket;
struct NetCtrl_Struct;

// A field every thread may read and only the block's transitions write.
template <typename T>
class StateField {
  public:
    T load() const { return value_.load(); }

  private:
    friend struct NetCtrl_Struct;
    explicit StateField(T v) : value_(v) {}
    std::atomic<T> value_;
};

struct NetCtrl_Struct {
    NetCtrl_Struct() = default;
    NetCtrl_Struct(const NetCtrl_Struct&) = delete;
    NetCtrl_Struct& operator=(const NetCtrl_Struct&) = delete;

    // ---- Connection state: read anywhere, written by the transitions only -------------------
    StateField<int32_t> NetWorking{0};    // 1 while logged in and the stream is set up
    StateField<int32_t> CurNetStatus{0};  // NET_DISCONNECTED .. NET_ERROR
    StateField<int32_t> ViewOrBack{0};    // VIEW_LIVE or VIEW_PLAYBACK
    StateField<int32_t> socket{0};        // descriptor number, for display and checks; 0 = none

    // ---- Transitions (any thread) --------------------------------------------------------------
    // Those that take `on` concern that connection only: they do nothing (and return false) once
    // another socket, or none, is attached. nullptr: whatever is attached.
    //
    // A freshly connected socket starts its login; any previous socket is shut down. False (the
    // socket is dropped) while an unreported loss stands.
    bool BeginLogin(std::shared_ptr<TcpSocket> s);
    // The DVR accepted the login: NET_CONNECTED, with the user mode and channel count it gave.
    bool LoginAccepted(int32_t usermode, int32_t channels, const TcpSocket* on = nullptr);
    // The stream or playback session is set up: the receive thread reads from now on.
    bool SessionUp(const TcpSocket* on = nullptr);
    // NET_CONNECTED <-> NET_DATA_SEND while logged in; false (nothing changed) otherwise, so that
    // neither a lost nor a closed session is shown as working again.
    bool SetLiveStatus(int32_t status, const TcpSocket* on = nullptr);
    // The connection `on` broke. A working session on it ends in NET_ERROR and its socket goes;
    // anything else is left alone. True when this call did it.
    bool Fail(const TcpSocket* on);
    // A login or set-up that did not finish: back to disconnected, unless a loss stands.
    bool AbandonLogin(const TcpSocket* on = nullptr);
    // The operator's disconnect, a refused login, a deleted DVR: disconnected from any phase.
    bool Disconnect(const TcpSocket* on = nullptr);
    // Whether `s` is the connection attached now.
    bool Attached(const TcpSocket* s) const;
    // The status timer's report: NET_ERROR becomes NET_DISCONNECTED, true once per loss.
    bool TakeReportedLoss();
    void SetView(int32_t viewOrBack);
    // The end of the run: everything stops, the socket goes.
    void Stop();

    bool LoggedIn() const;   // NET_CONNECTED or NET_DATA_SEND
    bool LoggingIn() const;  // a socket waits for its login reply

    // The connection, or nullptr. Any thread.
    std::shared_ptr<TcpSocket> connection() const;

    // ---- Identity and session facts ----
    std::atomic<int32_t> ThreadWork{0};   // 1 while the slot's threads run
    std::atomic<int32_t> NetID{0};        // DVR number 0 to 63
    std::atomic<int32_t> init{0};         // 1 once buffers exist and threads were started
    std::atomic<int32_t> iUsermode{0};    // 2 = superuser
    std::atomic<int32_t> iDvrChannel{0};  // channel count = value % 100
    std::atomic<int32_t> RecvCmd{0};      // information subtype awaited, 0 = none
    std::atomic<int32_t> Results{0};      // last refused playback: -1011 or -1012

    // Serialises whole sends on this block, so two records never interleave on the wire.
    std::mutex sendLock;
    // Held by a request from mark to reply (or give-up): RecvCmd awaits one reply at a time.
    std::mutex requestLock;

    // ---- Receive side (written by the receive thread) ----------------------------------------
    ByteBuffer tmpbuf;  // one frame payload (kMaxFramePayload) plus decoder padding
    ChannelStats stats[kMaxChannels];
    // The intake's own per-channel state, not the queue's: a channel that lost a picture to a
    // full queue skips to its next key frame.
    bool needKey[kMaxChannels] = {};

    // The decoded pictures on their way to the display thread. Its `mutex` also guards the
    // sequence table entries of this DVR (DvrSlot's frameNumber).
    FrameQueue queue{ThreadWork};

    // Set when the slot's DVR number was given to another DVR: the receive thread empties the
    // slot before it reads anything more.
    std::atomic<bool> resetRequested{false};

    // Information replies: guards the disk information and record-list destination of this DVR
    // between the receive thread and a requesting thread.
    mutable std::mutex replyLock;
    // A reply of `subtype` was stored: if it is the awaited one, clears RecvCmd and wakes the
    // requester at once. A late reply to a request that gave up leaves a later request waiting.
    void ReplyStored(int32_t subtype);
    std::condition_variable replied;  // with replyLock

    // Wakes the receive thread from its idle wait (a login finished, or the thread must stop).
    void WakeReceiver();
    std::mutex idleLock;
    std::condition_variable idle;

  private:
    // Takes the socket out under sockLock_ (caller holds it); the caller shuts it down unlocked.
    std::shared_ptr<TcpSocket> TakeSocketLocked();
    // A socket is attached, and it is `on` unless that is nullptr. Caller holds sockLock_.
    bool OnAttachedLocked(const TcpSocket* on) const;

    // Guards sock_ and makes each transition's writes one step for every reader of the socket.
    mutable std::mutex sockLock_;
    std::shared_ptr<TcpSocket> sock_;
};
