// Waiting in tests for something another thread or process does, and timing it.
#pragma once

#include <chrono>
#include <thread>

// Polls `done` until it holds or `limit` passes; returns whether it held.
template <typename Pred>
bool WaitFor(Pred done, std::chrono::milliseconds limit = std::chrono::seconds(10)) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() > end) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

inline double SecondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}
