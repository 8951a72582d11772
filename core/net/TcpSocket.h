// A TCP socket descriptor with RAII ownership and the bounded operations the connection path
// needs. Thread use: one TcpSocket may be used by several threads at once (a receiving thread, a
// sending thread and a thread that shuts it down); its descriptor is closed only by the destructor,
// so a descriptor number is never reused while any holder of the object can still use it.
#pragma once

#include <netinet/in.h>

#include <chrono>
#include <cstddef>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "core/net/ByteSource.h"

class TcpSocket : public ByteSource {
  public:
    // Creates an IPv4 stream socket; nullptr when the system refuses one. Every wait of the
    // socket also ends, as a failure, once `cancelFd` (an eventfd, or -1 for none) is signalled:
    // that is how a quitting application stops attempts that are waiting for a peer.
    static std::unique_ptr<TcpSocket> Create(int cancelFd = -1);
    // Takes ownership of a connected stream descriptor (a socket pair end in tests and fuzzers).
    static std::unique_ptr<TcpSocket> Adopt(int fd);
    ~TcpSocket() override;
    TcpSocket(const TcpSocket&) = delete;
    TcpSocket& operator=(const TcpSocket&) = delete;

    int fd() const { return fd_; }

    // Connects with a time limit. Returns 0 on success, else the errno-style reason
    // (ETIMEDOUT when the limit passed). The socket is left blocking.
    int ConnectWithin(const sockaddr_in& to, std::chrono::milliseconds limit);

    // Probes a silent peer: after `idle` without traffic, `count` probes `interval` apart; a
    // peer that answers none (powered off, cable pulled) fails every wait on the socket. Data
    // the peer never acknowledges fails it after the same time. False when the system refused.
    bool EnableKeepAlive(std::chrono::seconds idle, std::chrono::seconds interval, int count);

    // Sends all n bytes, waiting at most `limit` in all for the peer to take them. Each send call
    // runs under `syscallLock` when one is given; the lock is not held while waiting. Never
    // raises SIGPIPE. Returns false on an error, a reset or when the limit passes.
    bool SendAll(const void* data, std::size_t n, std::chrono::milliseconds limit,
                 std::mutex* syscallLock = nullptr);

    // Reads exactly n bytes. With a limit, gives up when the bytes have not all arrived by then;
    // without one, blocks until they arrive, the peer closes, or Shutdown() is called.
    // Returns false on an error, end of stream or time-out.
    bool RecvAll(void* data, std::size_t n,
                 std::optional<std::chrono::milliseconds> limit = std::nullopt);

    // ByteSource: RecvAll without a limit.
    bool ReadExactly(void* data, std::size_t n) override { return RecvAll(data, n); }

    // Waits until the socket is readable: 1 readable, 0 time-out, -1 error.
    int WaitReadable(std::chrono::milliseconds limit);

    // Pending socket error (SO_ERROR), or the getsockopt failure's errno.
    int PendingError();

    // Wakes every thread blocked on this socket; later operations fail at once.
    void Shutdown();

  private:
    TcpSocket(int fd, int cancelFd) : fd_(fd), cancelFd_(cancelFd) {}
    // poll() on the socket and the cancel descriptor; -1 = no limit. >0 ready, 0 time-out or
    // cancelled, <0 error.
    int PollFor(short events, int timeoutMs);
    const int fd_;
    const int cancelFd_;
};

// Resolves a host name or dotted address to an IPv4 address with the given port. A dotted
// address needs no resolver. A name is looked up on a thread of its own, and the caller waits at
// most `limit`, or until `cancelFd` is signalled: a resolver that does not answer holds nobody (the
// lookup thread ends when the resolver gives up).
std::optional<sockaddr_in> ResolveIPv4(
    const std::string& host, int port,
    std::chrono::milliseconds limit = std::chrono::milliseconds(10000), int cancelFd = -1);
