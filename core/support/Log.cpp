#include "core/support/Log.h"

#include <syslog.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdarg>

namespace {

// Without a system logger, every syslog call opens, tries and closes a socket: three system calls
// a line for nothing. Whether the logger's socket exists is looked at again once a second.
bool LoggerPresent() {
    static std::atomic<int64_t> nextCheck{0};
    static std::atomic<bool> present{false};
    const int64_t now = std::chrono::duration_cast<std::chrono::milliseconds>(
                            std::chrono::steady_clock::now().time_since_epoch())
                            .count();
    if (now >= nextCheck.load(std::memory_order_relaxed)) {
        nextCheck.store(now + 1000, std::memory_order_relaxed);
        present.store(::access("/dev/log", W_OK) == 0, std::memory_order_relaxed);
    }
    return present.load(std::memory_order_relaxed);
}

}  // namespace

void QLog(const char* format, ...) {
    if (!LoggerPresent()) {
        return;
    }
    va_list args;
    va_start(args, format);
    ::vsyslog(LOG_USER | LOG_DEBUG, format, args);
    va_end(args);
}
