#include "core/playback/RequestRunner.h"

#include <utility>

#include "core/support/ThreadName.h"

RequestRunner::RequestRunner() : thread_([this] { Run(); }) {}

RequestRunner::~RequestRunner() {
    Stop();
}

void RequestRunner::Post(Kind kind, Job job) {
    {
        std::lock_guard<std::mutex> g(lock_);
        PostLocked(kind, std::move(job));
    }
    changed_.notify_all();
}

int RequestRunner::postedCount(Kind kind) {
    std::lock_guard<std::mutex> g(lock_);
    return postedOf_[static_cast<int>(kind)];
}

bool RequestRunner::PostUnlessPostedSince(Kind kind, Job job, int mark) {
    {
        std::lock_guard<std::mutex> g(lock_);
        if (postedOf_[static_cast<int>(kind)] != mark) {
            return false;
        }
        PostLocked(kind, std::move(job));
    }
    changed_.notify_all();
    return true;
}

void RequestRunner::PostLocked(Kind kind, Job job) {
    const int k = static_cast<int>(kind);
    if (quit_) {
        return;
    }
    if (running_[k]) {
        running_[k]->store(true);
    }
    const int search = static_cast<int>(Kind::TimeMap);
    if (kind == Kind::Play && running_[search]) {
        running_[search]->store(true);
    }
    queued_[k] = Pending{std::move(job), std::make_shared<std::atomic<bool>>(false)};
    order_[k] = ++posted_;
    ++postedOf_[k];
}

void RequestRunner::Stop() {
    {
        std::lock_guard<std::mutex> g(lock_);
        quit_ = true;
        for (int k = 0; k < kKinds; ++k) {
            queued_[k] = Pending{};
            if (running_[k]) {
                running_[k]->store(true);
            }
        }
    }
    changed_.notify_all();
    if (thread_.joinable() && thread_.get_id() != std::this_thread::get_id()) {
        thread_.join();
    }
}

bool RequestRunner::WaitIdle(std::chrono::milliseconds limit) {
    std::unique_lock<std::mutex> lk(lock_);
    return changed_.wait_for(lk, limit,
                             [&] { return !busy_ && !queued_[0].job && !queued_[1].job; });
}

void RequestRunner::Run() {
    NameThisThread("play requests");
    std::unique_lock<std::mutex> lk(lock_);
    for (;;) {
        changed_.wait(lk, [&] { return quit_ || queued_[0].job || queued_[1].job; });
        if (quit_) {
            return;
        }
        int k = queued_[0].job ? 0 : 1;
        if (queued_[0].job && queued_[1].job && order_[1] < order_[0]) {
            k = 1;
        }
        Pending p = std::exchange(queued_[k], Pending{});
        running_[k] = p.superseded;
        busy_ = true;
        lk.unlock();
        p.job(*p.superseded);
        p = Pending{};  // the job's captures go before the runner counts as idle
        lk.lock();
        running_[k].reset();
        busy_ = false;
        changed_.notify_all();
    }
}
