// The socket of one DVR session. The reader answers the login and the streaming thread sends
// frames; every send takes the session's write lock so that records never interleave.
#pragma once

#include <cstddef>
#include <mutex>

class SessionSocket {
  public:
    explicit SessionSocket(int fd);
    ~SessionSocket();  // closes the descriptor
    SessionSocket(const SessionSocket&) = delete;
    SessionSocket& operator=(const SessionSocket&) = delete;

    int fd() const { return fd_; }
    // Sends all n bytes as one unit; false when the peer is gone.
    bool send(const void* data, std::size_t n);
    // Ends both directions: the reader sees end of stream and a send blocked on a peer that
    // stopped reading returns. The descriptor stays open until destruction.
    void shutdown();

  private:
    const int fd_;
    std::mutex writeLock_;
};
