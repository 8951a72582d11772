#include "tests/support/FullBacklogListener.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <stdexcept>

FullBacklogListener::FullBacklogListener(const std::string& host, int port) {
    listenFd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    int one = 1;
    ::setsockopt(listenFd_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<uint16_t>(port));
    ::inet_pton(AF_INET, host.c_str(), &addr.sin_addr);
    if (::bind(listenFd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
        ::listen(listenFd_, 0) != 0) {
        throw std::runtime_error("cannot listen on " + host);
    }
    socklen_t len = sizeof addr;
    ::getsockname(listenFd_, reinterpret_cast<sockaddr*>(&addr), &len);
    port_ = ntohs(addr.sin_port);
    // Connect until a connect no longer completes: the queue is then full and later SYNs are
    // dropped.
    for (int i = 0; i < 64; ++i) {
        int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
        fillers_.push_back(fd);
        int r = ::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
        if (r != 0 && errno == EINPROGRESS) {
            pollfd p{fd, POLLOUT, 0};
            if (::poll(&p, 1, 300) == 0) {
                return;
            }
        }
    }
    throw std::runtime_error("could not fill the accept queue");
}

FullBacklogListener::~FullBacklogListener() {
    for (int fd : fillers_) {
        ::close(fd);
    }
    ::close(listenFd_);
}
