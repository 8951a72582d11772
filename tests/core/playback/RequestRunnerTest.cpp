// The playback request thread: the operator's latest wish of each kind wins, in posting order.
#include <gtest/gtest.h>

#include <future>
#include <mutex>
#include <string>
#include <vector>

#include "core/playback/RequestRunner.h"
#include "tests/support/Wait.h"

namespace {

using namespace std::chrono_literals;
using Kind = RequestRunner::Kind;

class Runner : public ::testing::Test {
  protected:
    // A job that records its name; the one named "blocking" shows its flag and waits for `open`.
    RequestRunner::Job Job(const std::string& name) {
        return [this, name](const std::atomic<bool>& superseded) {
            {
                std::lock_guard<std::mutex> g(lock);
                ran.push_back(name);
            }
            if (name == "blocking") {
                flag = &superseded;
                started.set_value();
                gate.wait();
            }
        };
    }
    std::vector<std::string> Order() {
        std::lock_guard<std::mutex> g(lock);
        return ran;
    }

    std::mutex lock;
    std::vector<std::string> ran;
    const std::atomic<bool>* flag = nullptr;  // the running blocking job's
    std::promise<void> started;
    std::promise<void> open;
    std::shared_future<void> gate = open.get_future().share();
    RequestRunner runner;
};

TEST_F(Runner, ANewerRequestReplacesOneStillQueuedAndAPlayFlagsARunningSearch) {
    runner.Post(Kind::TimeMap, Job("blocking"));
    started.get_future().wait();
    runner.Post(Kind::Play, Job("play"));
    EXPECT_TRUE(flag->load()) << "a play waits behind a long map search";
    runner.Post(Kind::TimeMap, Job("map 2"));
    runner.Post(Kind::Play, Job("stop"));      // replaces play, and so comes after map 2
    runner.Post(Kind::TimeMap, Job("map 3"));  // replaces map 2, and so comes after stop
    open.set_value();
    ASSERT_TRUE(runner.WaitIdle(5s));
    EXPECT_EQ(Order(), (std::vector<std::string>{"blocking", "stop", "map 3"}));
}

TEST_F(Runner, StoppingDropsQueuedRequestsAndLaterPostsDoNothing) {
    runner.Post(Kind::Play, Job("blocking"));
    started.get_future().wait();
    runner.Post(Kind::TimeMap, Job("map"));
    EXPECT_FALSE(flag->load()) << "a map search superseded a running play";
    std::thread opener([&] {
        EXPECT_TRUE(WaitFor([&] { return flag->load(); }));
        open.set_value();
    });
    runner.Stop();  // flags the running request and returns once it did
    opener.join();
    runner.Post(Kind::TimeMap, Job("late"));
    EXPECT_TRUE(runner.WaitIdle(1s));
    EXPECT_EQ(Order(), (std::vector<std::string>{"blocking"}));
}

}  // namespace
