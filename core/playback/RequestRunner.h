// Runs the playback window's requests to a DVR one at a time on a thread of its own, so that the
// GUI thread never waits for a DVR (a search may wait about 6 s per page, a stop pauses 1 s).
//
// A request replaces a queued one of the same kind: only the operator's latest wish is carried
// out. A running request of that kind is told it was superseded, so that a map search can stop
// after its current page and show nothing; a play or stop request supersedes a running search
// too, so that it never waits behind a long one.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

class RequestRunner {
  public:
    enum class Kind { TimeMap, Play };  // Play covers play and stop requests
    using Job = std::function<void(const std::atomic<bool>& superseded)>;

    RequestRunner();
    ~RequestRunner();  // waits for the running request; queued ones are dropped
    RequestRunner(const RequestRunner&) = delete;
    RequestRunner& operator=(const RequestRunner&) = delete;

    void Post(Kind kind, Job job);
    // How many requests of `kind` were posted so far: a mark for PostUnlessPostedSince.
    int postedCount(Kind kind);
    // Posts `job` only if no request of `kind` was posted after `mark` was taken, so that a
    // default request made late never replaces a choice the operator made meanwhile.
    bool PostUnlessPostedSince(Kind kind, Job job, int mark);
    // Drops the queued requests and ends the thread once the running one returns.
    void Stop();
    // Whether nothing is queued or running; waits up to `limit` for that.
    bool WaitIdle(std::chrono::milliseconds limit);

  private:
    struct Pending {
        Job job;
        std::shared_ptr<std::atomic<bool>> superseded;
    };
    static constexpr int kKinds = 2;

    void Run();
    void PostLocked(Kind kind, Job job);

    std::mutex lock_;
    std::condition_variable changed_;
    Pending queued_[kKinds];
    std::shared_ptr<std::atomic<bool>> running_[kKinds];  // flag of the running request per kind
    int order_[kKinds] = {};  // posting order of the queued requests, to run them in that order
    int posted_ = 0;
    int postedOf_[kKinds] = {};
    bool busy_ = false;
    bool quit_ = false;
    std::thread thread_;
};
