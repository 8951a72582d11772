#include "core/net/TcpSocket.h"

#include <fcntl.h>
#include <netdb.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <arpa/inet.h>

#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <thread>

#include "core/support/ThreadName.h"

namespace {

using Clock = std::chrono::steady_clock;

int MillisLeft(Clock::time_point deadline) {
    // Rounded up: a wait never ends before its deadline.
    auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
    return left.count() > 0 ? static_cast<int>(left.count()) : 0;
}

bool SetBlocking(int fd, bool blocking) {
    int flags = ::fcntl(fd, F_GETFL, 0);
    if (flags < 0) {
        return false;
    }
    flags = blocking ? (flags & ~O_NONBLOCK) : (flags | O_NONBLOCK);
    return ::fcntl(fd, F_SETFL, flags) == 0;
}

// poll() on fd and an optional cancel descriptor that restarts after a signal, keeping the
// overall limit; -1 = no limit. Returns >0 when fd is ready, 0 on time-out or cancel, <0 on error.
int PollWithCancel(int fd, short events, int cancelFd, int timeoutMs) {
    const bool bounded = timeoutMs >= 0;
    const auto deadline = Clock::now() + std::chrono::milliseconds(bounded ? timeoutMs : 0);
    for (;;) {
        pollfd p[2] = {{fd, events, 0}, {cancelFd, POLLIN, 0}};
        int r = ::poll(p, cancelFd >= 0 ? 2 : 1, bounded ? MillisLeft(deadline) : -1);
        if (r >= 0) {
            if (cancelFd >= 0 && p[1].revents != 0) {
                return 0;
            }
            return r;
        }
        if (errno != EINTR) {
            return -1;
        }
    }
}

// Whether the cancel descriptor was signalled; never waits.
bool Cancelled(int cancelFd) {
    if (cancelFd < 0) {
        return false;
    }
    pollfd p{cancelFd, POLLIN, 0};
    return ::poll(&p, 1, 0) > 0;
}

}  // namespace

std::unique_ptr<TcpSocket> TcpSocket::Create(int cancelFd) {
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        return nullptr;
    }
    return std::unique_ptr<TcpSocket>(new TcpSocket(fd, cancelFd));
}

std::unique_ptr<TcpSocket> TcpSocket::Adopt(int fd) {
    return fd < 0 ? nullptr : std::unique_ptr<TcpSocket>(new TcpSocket(fd, -1));
}

int TcpSocket::PollFor(short events, int timeoutMs) {
    return PollWithCancel(fd_, events, cancelFd_, timeoutMs);
}

TcpSocket::~TcpSocket() {
    ::close(fd_);
}

int TcpSocket::ConnectWithin(const sockaddr_in& to, std::chrono::milliseconds limit) {
    if (!SetBlocking(fd_, false)) {
        return errno;
    }
    int r = ::connect(fd_, reinterpret_cast<const sockaddr*>(&to), sizeof to);
    if (r != 0 && errno != EINPROGRESS) {
        return errno;
    }
    if (r != 0) {
        int w = PollFor(POLLOUT, static_cast<int>(limit.count()));
        if (w == 0) {
            return ETIMEDOUT;
        }
        if (w < 0) {
            return errno;
        }
        if (int err = PendingError(); err != 0) {
            return err;
        }
    }
    return SetBlocking(fd_, true) ? 0 : errno;
}

bool TcpSocket::EnableKeepAlive(std::chrono::seconds idle, std::chrono::seconds interval,
                                int count) {
    const int on = 1;
    const int idleSeconds = static_cast<int>(idle.count());
    const int intervalSeconds = static_cast<int>(interval.count());
    // Unacknowledged data gives up after the same time a silent peer is given.
    const unsigned int userTimeout =
        static_cast<unsigned int>((idle + interval * count).count() * 1000);
    return ::setsockopt(fd_, SOL_SOCKET, SO_KEEPALIVE, &on, sizeof on) == 0 &&
           ::setsockopt(fd_, IPPROTO_TCP, TCP_KEEPIDLE, &idleSeconds, sizeof idleSeconds) == 0 &&
           ::setsockopt(fd_, IPPROTO_TCP, TCP_KEEPINTVL, &intervalSeconds,
                        sizeof intervalSeconds) == 0 &&
           ::setsockopt(fd_, IPPROTO_TCP, TCP_KEEPCNT, &count, sizeof count) == 0 &&
           ::setsockopt(fd_, IPPROTO_TCP, TCP_USER_TIMEOUT, &userTimeout, sizeof userTimeout) == 0;
}

bool TcpSocket::SendAll(const void* data, std::size_t n, std::chrono::milliseconds limit,
                        std::mutex* syscallLock) {
    const auto deadline = Clock::now() + limit;
    auto* p = static_cast<const char*>(data);
    while (n > 0) {
        ssize_t sent;
        {
            std::unique_lock<std::mutex> lock;
            if (syscallLock) {
                lock = std::unique_lock<std::mutex>(*syscallLock);
            }
            sent = ::send(fd_, p, n, MSG_NOSIGNAL | MSG_DONTWAIT);
        }
        if (sent > 0) {
            p += sent;
            n -= static_cast<std::size_t>(sent);
            continue;
        }
        if (sent < 0 && errno == EINTR) {
            continue;
        }
        if (sent < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            // The peer is not reading fast enough: wait for room, within the limit.
            int left = MillisLeft(deadline);
            if (left == 0 || PollFor(POLLOUT, left) <= 0) {
                return false;
            }
            continue;
        }
        return false;
    }
    return true;
}

bool TcpSocket::RecvAll(void* data, std::size_t n, std::optional<std::chrono::milliseconds> limit) {
    const auto deadline = Clock::now() + limit.value_or(std::chrono::milliseconds(0));
    auto* p = static_cast<char*>(data);
    while (n > 0) {
        if (limit) {
            int w = PollFor(POLLIN, MillisLeft(deadline));
            if (w <= 0) {
                return false;
            }
        }
        ssize_t got = ::recv(fd_, p, n, 0);
        if (got > 0) {
            p += got;
            n -= static_cast<std::size_t>(got);
            continue;
        }
        if (got < 0 && errno == EINTR) {
            continue;
        }
        return false;  // end of stream or error
    }
    return true;
}

int TcpSocket::WaitReadable(std::chrono::milliseconds limit) {
    int r = PollFor(POLLIN, static_cast<int>(limit.count()));
    return r < 0 ? -1 : (r > 0 ? 1 : 0);
}

int TcpSocket::PendingError() {
    int err = 0;
    socklen_t len = sizeof err;
    if (::getsockopt(fd_, SOL_SOCKET, SO_ERROR, &err, &len) != 0) {
        return errno;
    }
    return err;
}

void TcpSocket::Shutdown() {
    ::shutdown(fd_, SHUT_RDWR);
}

namespace {

// One name lookup, shared by the thread that runs it and the caller that may stop waiting.
struct Lookup {
    std::mutex lock;
    std::condition_variable done;
    bool finished = false;  // under lock
    std::optional<in_addr> address;
};

}  // namespace

std::optional<sockaddr_in> ResolveIPv4(const std::string& host, int port,
                                       std::chrono::milliseconds limit, int cancelFd) {
    if (host.empty()) {
        return std::nullopt;
    }
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<uint16_t>(port));
    if (::inet_pton(AF_INET, host.c_str(), &addr.sin_addr) == 1) {
        return addr;
    }
    auto lookup = std::make_shared<Lookup>();
    std::thread([lookup, host] {
        NameThisThread("name lookup");
        addrinfo hints{};
        hints.ai_family = AF_INET;
        hints.ai_socktype = SOCK_STREAM;
        addrinfo* found = nullptr;
        std::optional<in_addr> address;
        if (::getaddrinfo(host.c_str(), nullptr, &hints, &found) == 0 && found != nullptr) {
            sockaddr_in first;
            std::memcpy(&first, found->ai_addr, sizeof first);
            address = first.sin_addr;
        }
        if (found) {
            ::freeaddrinfo(found);
        }
        std::lock_guard<std::mutex> g(lookup->lock);
        lookup->address = address;
        lookup->finished = true;
        lookup->done.notify_all();
    }).detach();
    // Waits in short steps, so that the stop signal is seen at once.
    const auto deadline = Clock::now() + limit;
    std::unique_lock<std::mutex> g(lookup->lock);
    while (!lookup->finished) {
        if (Clock::now() >= deadline || Cancelled(cancelFd)) {
            return std::nullopt;
        }
        lookup->done.wait_for(g, std::chrono::milliseconds(50));
    }
    if (!lookup->address) {
        return std::nullopt;
    }
    addr.sin_addr = *lookup->address;
    return addr;
}
