#include "core/support/CancelSignal.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <thread>

#include "core/support/Log.h"

CancelSignal::CancelSignal() : fd_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

CancelSignal::~CancelSignal() {
    if (fd_ >= 0) {
        ::close(fd_);
    }
}

void CancelSignal::Raise() {
    const uint64_t one = 1;
    if (fd_ >= 0 && ::write(fd_, &one, sizeof one) < 0) {
        QLog("cannot raise the stop signal");
    }
}

bool CancelSignal::raised() const {
    if (fd_ < 0) {
        return false;
    }
    pollfd p{fd_, POLLIN, 0};
    return ::poll(&p, 1, 0) > 0;
}

bool CancelSignal::Pause(std::chrono::milliseconds d) const {
    if (fd_ < 0) {
        std::this_thread::sleep_for(d);
        return true;
    }
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + d;
    pollfd p{fd_, POLLIN, 0};
    for (;;) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0) {
            return true;
        }
        const int r = ::poll(&p, 1, static_cast<int>(left.count()));
        if (r > 0) {
            return false;
        }
        if (r < 0 && errno != EINTR) {
            return true;
        }
    }
}
