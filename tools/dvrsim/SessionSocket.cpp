#include "tools/dvrsim/SessionSocket.h"

#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <thread>

#include "tools/dvrsim/SimSocket.h"

SessionSocket::SessionSocket(int fd, int trickleMicros) : fd_(fd), trickleMicros_(trickleMicros) {}

SessionSocket::~SessionSocket() {
    ::close(fd_);
}

bool SessionSocket::SendWhole(const void* data, std::size_t n) {
    std::lock_guard<std::mutex> g(writeLock_);
    return silent_.load() || WriteFully(fd_, data, n);
}

bool SessionSocket::Send(const void* data, std::size_t n) {
    std::lock_guard<std::mutex> g(writeLock_);
    if (silent_.load()) {
        return true;
    }
    if (trickleMicros_ <= 0) {
        return WriteFully(fd_, data, n);
    }
    auto* p = static_cast<const uint8_t*>(data);
    for (std::size_t i = 0; i < n; ++i) {
        if (!WriteFully(fd_, p + i, 1)) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::microseconds(trickleMicros_));
    }
    return true;
}

void SessionSocket::Shutdown() {
    ::shutdown(fd_, SHUT_RDWR);
}
