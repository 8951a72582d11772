#include "core/dvr/CommandQueue.h"

#include <algorithm>

#include "core/support/ThreadName.h"

CommandQueue::~CommandQueue() {
    Stop();
}

void CommandQueue::Start(const std::string& name) {
    std::lock_guard<std::mutex> g(lock_);
    if (started_ || quit_) {
        return;
    }
    started_ = true;
    thread_ = std::thread([this, name] {
        NameThisThread(name);
        Run();
    });
}

void CommandQueue::Post(Job job, bool replacesPending) {
    {
        std::unique_lock<std::mutex> g(lock_);
        if (quit_) {
            return;
        }
        if (started_) {
            if (replacesPending) {
                jobs_.erase(std::remove_if(jobs_.begin(), jobs_.end(),
                                           [](const Entry& e) { return e.replaces; }),
                            jobs_.end());
            }
            jobs_.push_back(Entry{std::move(job), replacesPending});
            g.unlock();
            changed_.notify_all();
            return;
        }
    }
    job();
}

void CommandQueue::Clear() {
    std::lock_guard<std::mutex> g(lock_);
    jobs_.clear();
    changed_.notify_all();
}

void CommandQueue::Stop() {
    {
        std::lock_guard<std::mutex> g(lock_);
        quit_ = true;
        jobs_.clear();
    }
    changed_.notify_all();
    if (thread_.joinable()) {
        thread_.join();
    }
}

bool CommandQueue::WaitIdle(std::chrono::milliseconds limit) {
    std::unique_lock<std::mutex> g(lock_);
    return changed_.wait_for(g, limit, [&] { return jobs_.empty() && !busy_; });
}

void CommandQueue::Run() {
    std::unique_lock<std::mutex> g(lock_);
    for (;;) {
        changed_.wait(g, [&] { return quit_ || !jobs_.empty(); });
        if (quit_) {
            return;
        }
        Job job = std::move(jobs_.front().job);
        jobs_.pop_front();
        busy_ = true;
        g.unlock();
        job();
        job = nullptr;  // its captures go before the queue counts as idle
        g.lock();
        busy_ = false;
        changed_.notify_all();
    }
}
