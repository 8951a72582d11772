// What a recording fake keeps, read and written under one lock: the core calls the fakes from its
// own threads while the test reads them from the test thread.
#pragma once

#include <mutex>
#include <vector>

class Guarded {
  protected:
    template <typename T>
    T Get(const T& member) const {
        std::lock_guard<std::mutex> g(lock_);
        return member;
    }
    template <typename T, typename V>
    void Set(T& member, const V& value) {
        std::lock_guard<std::mutex> g(lock_);
        member = value;
    }
    template <typename T, typename V>
    void Add(std::vector<T>& list, const V& value) {
        std::lock_guard<std::mutex> g(lock_);
        list.push_back(value);
    }

    mutable std::mutex lock_;
};
