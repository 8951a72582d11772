// A DVR slot's command thread: runs what the GUI thread wants sent to the DVR (live-view
// adjustments, PTZ records, the stop before playback) one job at a time, in the order posted, so
// that the GUI thread never waits for a DVR that stops reading. A job that replaces pending ones
// drops the jobs of its kind still waiting: only the newest live-view wish is carried out.
//
// Threads: Post and WaitIdle from any thread; Start and Stop from the GUI thread. A job runs on
// the command thread, or on the posting thread when the thread was never started (a slot that was
// never prepared has no connection to wait for).
#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

class CommandQueue {
  public:
    using Job = std::function<void()>;

    CommandQueue() = default;
    ~CommandQueue();
    CommandQueue(const CommandQueue&) = delete;
    CommandQueue& operator=(const CommandQueue&) = delete;

    // Once, the thread named `name`; later calls do nothing.
    void Start(const std::string& name);
    // Queues `job`; with `replacesPending`, the replacing jobs still waiting are dropped first.
    void Post(Job job, bool replacesPending = false);
    // Drops the waiting jobs (the running one finishes).
    void Clear();
    // Drops the waiting jobs, lets the running one finish and ends the thread.
    void Stop();
    // Whether nothing waits or runs; waits up to `limit` for that.
    bool WaitIdle(std::chrono::milliseconds limit);

  private:
    struct Entry {
        Job job;
        bool replaces;
    };
    void Run();

    std::mutex lock_;
    std::condition_variable changed_;
    std::deque<Entry> jobs_;  // under lock_
    bool busy_ = false;       // under lock_
    bool quit_ = false;       // under lock_
    bool started_ = false;    // under lock_
    std::thread thread_;
};
