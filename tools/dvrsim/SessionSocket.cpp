#include "tools/dvrsim/SessionSocket.h"

#include <sys/socket.h>
#include <unistd.h>

#include "tools/dvrsim/SimSocket.h"

SessionSocket::SessionSocket(int fd) : fd_(fd) {}

SessionSocket::~SessionSocket() {
    ::close(fd_);
}

bool SessionSocket::send(const void* data, std::size_t n) {
    std::lock_guard<std::mutex> g(writeLock_);
    return WriteFully(fd_, data, n);
}

void SessionSocket::shutdown() {
    ::shutdown(fd_, SHUT_RDWR);
}
