// The clock a DVR's decoding load is weighed with counts the calling thread's own work only: not
// the time it sleeps or waits, not what other threads do meanwhile.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "core/support/ThreadClock.h"

namespace {

using namespace std::chrono_literals;

TEST(ThreadClock, CountsTheThreadsOwnWorkAndNotItsWaitsNorOtherThreads) {
    // Asleep: next to nothing.
    int64_t start = ThreadCpuNs();
    std::this_thread::sleep_for(60ms);
    EXPECT_LT(ThreadCpuNs() - start, 20'000'000);

    // Waiting for a thread that works: that thread's work is its own.
    std::atomic<int64_t> spinnerCpu{0};
    start = ThreadCpuNs();
    std::thread spinner([&] {
        const int64_t from = ThreadCpuNs();
        // Until it has used 40 ms of a core, however long a busy machine makes that.
        volatile uint64_t sink = 0;
        while (ThreadCpuNs() - from < 40'000'000) {
            for (int i = 0; i < 10000; ++i) {
                sink = sink + static_cast<uint64_t>(i);
            }
        }
        spinnerCpu = ThreadCpuNs() - from;
    });
    spinner.join();
    EXPECT_LT(ThreadCpuNs() - start, 20'000'000);
    EXPECT_GE(spinnerCpu.load(), 40'000'000);

    // Working: at most the time that went by.
    const auto wallFrom = std::chrono::steady_clock::now();
    start = ThreadCpuNs();
    volatile uint64_t sink = 0;
    while (std::chrono::steady_clock::now() - wallFrom < 30ms) {
        sink = sink + 1;
    }
    const int64_t used = ThreadCpuNs() - start;
    const int64_t wall = std::chrono::duration_cast<std::chrono::nanoseconds>(
                             std::chrono::steady_clock::now() - wallFrom)
                             .count();
    EXPECT_GT(used, 0);
    EXPECT_LE(used, wall + 1'000'000);
}

}  // namespace
