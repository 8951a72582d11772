// The two clocks the client measures with, in nanoseconds.
#pragma once

#include <time.h>

#include <chrono>
#include <cstdint>

// The steady clock: when something happened. One for the whole client, as a frame's arrival
// stamped by the receive thread is compared with its drawing on the GUI thread.
inline int64_t SteadyNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// The CPU time the calling thread has used. What a piece of its work cost, without the time it
// waited for a core: on a busy machine the wall clock counts that waiting as work.
inline int64_t ThreadCpuNs() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<int64_t>(t.tv_sec) * 1'000'000'000 + t.tv_nsec;
}
