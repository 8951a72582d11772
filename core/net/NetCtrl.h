// The network control block: one per DVR slot, its connection state and socket.
//
// Threads: the fields below are shared by the DVR's receive thread, its connect-and-login thread,
// the GUI thread and the playback window without a common lock, so each is atomic. The socket
// object is reached only through connection()/attach()/detach(), which hand out shared ownership:
// a thread that holds the returned pointer can keep using the descriptor even if another thread
// detaches it meanwhile (detach shuts it down, which wakes that thread; the descriptor is closed
// when the last holder lets go, so its number is never reused under a reader).
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>

#include "core/net/TcpSocket.h"
#include "core/support/ByteBuffer.h"
#include "core/wire/WireFormats.h"

// Connection status (CurNetStatus).
enum : int32_t {
    NET_DISCONNECTED = 0,
    NET_CONNECTED = 1,
    NET_DATA_SEND = 2,
    NET_ERROR = 3,
};

// The frame queue: 32 slots, each a frame header followed (at kSlotPictureOffset) by the packed
// I420 picture decoded from it.
inline constexpr int kQueueSlots = 32;
inline constexpr int kBackPressureDepth = 30;
inline constexpr std::size_t kSlotPictureOffset = 64;  // keeps pictures cache-line aligned

// What the intake saw per channel; any thread may read them.
struct ChannelStats {
    std::atomic<uint32_t> frames{0};     // headers received, video and audio, accepted or not
    std::atomic<uint32_t> decoded{0};    // video pictures decoded and queued
    std::atomic<uint32_t> dropped{0};    // dropped by the sequence check or a full queue
    std::atomic<int32_t> sizeFrame{-1};  // SizeFrame of the last video frame, -1 before any
};

// ViewOrBack.
enum : int32_t {
    VIEW_LIVE = 0,
    VIEW_PLAYBACK = 1,
};

struct NetCtrl_Struct {
    std::atomic<int32_t> NetWorking{0};    // 1 while logged in and the stream is set up
    std::atomic<int32_t> ThreadWork{0};    // 1 while the receive thread runs
    std::atomic<int32_t> CurNetStatus{0};  // NET_DISCONNECTED .. NET_ERROR
    std::atomic<int32_t> NetID{0};         // DVR number 0 to 63
    std::atomic<int32_t> socket{0};        // descriptor number, for display and checks; 0 = none
    std::atomic<int32_t> init{0};          // 1 once buffers exist and threads were started
    std::atomic<int32_t> iUsermode{0};     // 2 = superuser
    std::atomic<int32_t> iDvrChannel{0};   // channel count = value % 100
    std::atomic<int32_t> RecvCmd{0};       // information subtype awaited, 0 = none
    std::atomic<int32_t> Results{0};       // last refused playback: -1011 or -1012
    std::atomic<int32_t> ViewOrBack{0};    // VIEW_LIVE or VIEW_PLAYBACK

    // Serialises whole SendData calls on this block, so two records never interleave on the wire.
    std::mutex sendLock;
    // Held by a request from mark to reply (or give-up): RecvCmd awaits one reply at a time.
    std::mutex requestLock;

    // ---- Receive side (written by the receive thread) ----------------------------------------
    // The connection the receive thread is reading one unit from. Reads of the unit go to this
    // socket only: after a quick disconnect and reconnect, the new connection's login reply
    // belongs to the connect thread. Receive thread only.
    std::shared_ptr<TcpSocket> receiving;
    ByteBuffer tmpbuf;  // one frame payload (kMaxFramePayload) plus decoder padding
    ByteBuffer slots;   // the queue's memory; buf[i] points into it
    uint8_t* buf[kQueueSlots] = {};
    // When each queued frame's last byte arrived (steady clock, ns); under `mutex`.
    int64_t arrivedAt[kQueueSlots] = {};
    ChannelStats stats[kMaxChannels];
    bool needKey[kMaxChannels] = {};  // dropped on a full queue: skip to the next key frame
    std::chrono::steady_clock::time_point lastKeyRequest;

    // The block's lock: the queue indices, the sequence table entries of this DVR.
    std::mutex mutex;
    std::atomic<int32_t> m_Top{0};     // next slot to fill
    std::atomic<int32_t> m_Bottom{0};  // oldest queued slot
    std::atomic<int32_t> Numframe{0};  // queued pictures, 0 to 32
    std::condition_variable queued;    // signalled under `mutex` for each queued picture

    // Consumer side of the queue (the display thread; the probe). Waits up to `limit` until at
    // least `minQueued` pictures are queued, then returns the oldest: its header and its pixels,
    // which stay valid and untouched until popOldest(). False on time-out.
    bool peekOldest(int minQueued, std::chrono::milliseconds limit, NET_FRAME_HEADER& header,
                    const uint8_t*& pixels, int64_t* arrived = nullptr);
    void popOldest();

    // Set when the slot's DVR number was given to another DVR: the receive thread empties the
    // slot before it reads anything more.
    std::atomic<bool> resetRequested{false};
    uint32_t queueEpoch = 0;   // under `mutex`; a reset starts a new epoch
    uint32_t peekedEpoch = 0;  // consumer side: the epoch of the picture it peeked

    // Information replies: guards the disk information and record-list destination of this DVR
    // between the receive thread and a requesting thread.
    std::mutex replyLock;
    // A reply of `subtype` was stored: if it is the awaited one, clears RecvCmd and wakes the
    // requester at once. A late reply to a request that gave up leaves a later request waiting.
    void replyStored(int32_t subtype);
    std::condition_variable replied;  // with replyLock

    // Wakes the receive thread from its idle wait (a login finished, or the thread must stop).
    void wakeReceiver();
    std::mutex idleLock;
    std::condition_variable idle;

    // The connection, or nullptr. Any thread.
    std::shared_ptr<TcpSocket> connection() const;
    // Installs a freshly connected socket, replacing (and shutting down) any previous one.
    void attach(std::shared_ptr<TcpSocket> s);
    // Takes the socket out and shuts it down; returns whether there was one. Any thread.
    bool detach();

  private:
    mutable std::mutex sockLock_;
    std::shared_ptr<TcpSocket> sock_;
};
