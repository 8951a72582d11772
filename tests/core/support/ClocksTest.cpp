// The clock a DVR's decoding load is weighed with counts the calling thread's own work only: not
// the time it sleeps or waits, not what other threads do meanwhile.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <chrono>
#include <thread>

#include "core/support/Clocks.h"

namespace {

using namespace std::chrono_literals;

// The calling thread's CPU time as the kernel's resource accounting gives it (user and system).
int64_t RusageThreadNs() {
    rusage u{};
    getrusage(RUSAGE_THREAD, &u);
    return (static_cast<int64_t>(u.ru_utime.tv_sec) + u.ru_stime.tv_sec) * 1'000'000'000 +
           (static_cast<int64_t>(u.ru_utime.tv_usec) + u.ru_stime.tv_usec) * 1'000;
}

TEST(ThreadClock, CountsTheThreadsOwnWorkAndNotItsWaitsNorOtherThreads) {
    // Asleep: next to nothing.
    int64_t start = ThreadCpuNs();
    std::this_thread::sleep_for(60ms);
    EXPECT_LT(ThreadCpuNs() - start, 20'000'000);

    // Waiting for a thread that works: that thread's work is its own.
    start = ThreadCpuNs();
    std::thread spinner([] {
        const int64_t from = ThreadCpuNs();
        // Until it has used 40 ms of a core, however long a busy machine makes that.
        volatile uint64_t sink = 0;
        while (ThreadCpuNs() - from < 40'000'000) {
            for (int i = 0; i < 10000; ++i) {
                sink = sink + static_cast<uint64_t>(i);
            }
        }
    });
    spinner.join();
    EXPECT_LT(ThreadCpuNs() - start, 20'000'000);

    // Working: what the kernel's accounting says the thread used, in nanoseconds, and at most
    // the time that went by.
    const auto wallFrom = std::chrono::steady_clock::now();
    const int64_t accountedFrom = RusageThreadNs();
    start = ThreadCpuNs();
    volatile uint64_t sink = 0;
    while (std::chrono::steady_clock::now() - wallFrom < 50ms) {
        sink = sink + 1;
    }
    const int64_t used = ThreadCpuNs() - start;
    const int64_t accounted = RusageThreadNs() - accountedFrom;
    const int64_t wall = std::chrono::duration_cast<std::chrono::nanoseconds>(
                             std::chrono::steady_clock::now() - wallFrom)
                             .count();
    EXPECT_NEAR(static_cast<double>(used), static_cast<double>(accounted), 5e6);
    EXPECT_LE(used, wall + 1'000'000);
}

}  // namespace
