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
#include <cstdint>
#include <memory>
#include <mutex>

#include "connection/TcpSocket.h"

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
