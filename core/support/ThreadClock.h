// The CPU time the calling thread has used. What a piece of its work cost, without the time it
// waited for a core: on a busy machine the wall clock counts that waiting as work.
#pragma once

#include <time.h>

#include <cstdint>

inline int64_t ThreadCpuNs() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<int64_t>(t.tv_sec) * 1'000'000'000 + t.tv_nsec;
}
