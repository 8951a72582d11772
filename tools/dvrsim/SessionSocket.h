// The socket of one DVR session. The reader answers the login and the streaming thread sends
// frames; every send takes the session's write lock so that records never interleave.
#pragma once

#include <atomic>
#include <cstddef>
#include <mutex>

class SessionSocket {
  public:
    // trickleMicros > 0: a slow peer that writes one byte at a time.
    explicit SessionSocket(int fd, int trickleMicros = 0);
    ~SessionSocket();  // closes the descriptor
    SessionSocket(const SessionSocket&) = delete;
    SessionSocket& operator=(const SessionSocket&) = delete;

    int fd() const { return fd_; }
    // Sends all n bytes as one unit; false when the peer is gone.
    bool Send(const void* data, std::size_t n);
    // The same, never trickled: the login reply of a slow DVR still comes in time.
    bool SendWhole(const void* data, std::size_t n);
    // From now on nothing goes out, and every send reports success: a DVR that went silent
    // without closing (a cable pulled behind a switch, a hung firmware).
    void Silence() { silent_.store(true); }
    // Ends both directions: the reader sees end of stream and a send blocked on a peer that
    // stopped reading returns. The descriptor stays open until destruction.
    void Shutdown();

  private:
    const int fd_;
    const int trickleMicros_;
    std::mutex writeLock_;
    std::atomic<bool> silent_{false};
};
