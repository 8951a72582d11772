#include "tests/support/ScriptedDvr.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>

namespace {

using Clock = std::chrono::steady_clock;

// Waits until `fd` is readable; false when `end` passes first.
bool Readable(int fd, Clock::time_point end) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now());
    pollfd p{fd, POLLIN, 0};
    return left.count() > 0 && ::poll(&p, 1, static_cast<int>(left.count())) == 1;
}

// Reads up to `len` bytes; how many came before the peer closed, or -1 on time-out or error.
long ReadUpTo(int fd, void* data, std::size_t len, Clock::time_point end) {
    std::size_t got = 0;
    auto* out = static_cast<uint8_t*>(data);
    while (got < len) {
        if (!Readable(fd, end)) {
            return -1;
        }
        const ssize_t n = ::recv(fd, out + got, len - got, 0);
        if (n == 0) {
            break;
        }
        if (n < 0) {
            return errno == ECONNRESET ? static_cast<long>(got) : -1;
        }
        got += static_cast<std::size_t>(n);
    }
    return static_cast<long>(got);
}

}  // namespace

ScriptedDvr::ScriptedDvr() {
    listenFd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::bind(listenFd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
        ::listen(listenFd_, 8) != 0) {
        throw std::runtime_error("cannot listen on loopback");
    }
    socklen_t len = sizeof addr;
    ::getsockname(listenFd_, reinterpret_cast<sockaddr*>(&addr), &len);
    port_ = ntohs(addr.sin_port);
}

ScriptedDvr::~ScriptedDvr() {
    ::close(listenFd_);
}

ScriptedDvr::Connection ScriptedDvr::Accept(std::chrono::milliseconds limit) {
    if (!Readable(listenFd_, Clock::now() + limit)) {
        return Connection{};
    }
    return Connection{::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC)};
}

ScriptedDvr::Connection::~Connection() {
    if (fd_ >= 0) {
        ::close(fd_);
    }
}

ScriptedDvr::Connection& ScriptedDvr::Connection::operator=(Connection&& other) noexcept {
    if (this != &other) {
        if (fd_ >= 0) {
            ::close(fd_);
        }
        fd_ = other.fd_;
        other.fd_ = -1;
    }
    return *this;
}

int ScriptedDvr::Connection::ClientPort() const {
    sockaddr_in addr{};
    socklen_t len = sizeof addr;
    if (::getpeername(fd_, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
        return -1;
    }
    return ntohs(addr.sin_port);
}

bool ScriptedDvr::Connection::ReadLogin(std::chrono::milliseconds limit) {
    const auto end = Clock::now() + limit;
    NET_COMMAND c{};
    NET_LOGIN_INFO info{};
    return ReadUpTo(fd_, &c, sizeof c, end) == sizeof c && c.iCmd == NET_LOGIN &&
           ReadUpTo(fd_, &info, sizeof info, end) == sizeof info;
}

bool ScriptedDvr::Connection::AcceptLogin(int32_t mode, int32_t channels) {
    const NET_COMMAND reply = MakeCommand(NET_LOGIN, 0, mode, 0, channels);
    return ::send(fd_, &reply, sizeof reply, MSG_NOSIGNAL) == sizeof reply;
}

std::vector<NET_COMMAND> ScriptedDvr::Connection::CommandsUntilClosed(
    std::chrono::milliseconds limit, bool& closed) {
    const auto end = Clock::now() + limit;
    std::vector<NET_COMMAND> commands;
    closed = false;
    for (;;) {
        NET_COMMAND c{};
        const long got = ReadUpTo(fd_, &c, sizeof c, end);
        if (got == sizeof c) {
            commands.push_back(c);
            continue;
        }
        closed = got >= 0;  // a part record before the close still counts as closed
        return commands;
    }
}
