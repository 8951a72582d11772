// The playback request thread: the operator's latest wish of each kind wins, in posting order.
#include <gtest/gtest.h>

#include <future>
#include <mutex>
#include <string>
#include <vector>

#include "core/playback/RequestRunner.h"

namespace {

using namespace std::chrono_literals;
using Kind = RequestRunner::Kind;

class Runner : public ::testing::Test {
  protected:
    // A job that records its name and, while `gate` is closed, blocks.
    RequestRunner::Job job(const std::string& name) {
        return [this, name](const std::atomic<bool>& superseded) {
            {
                std::lock_guard<std::mutex> g(lock);
                ran.push_back(name);
            }
            if (name == "blocking") {
                started.set_value();
                gate.wait();
                sawSuperseded = superseded.load();
            }
        };
    }
    std::vector<std::string> order() {
        std::lock_guard<std::mutex> g(lock);
        return ran;
    }

    std::mutex lock;
    std::vector<std::string> ran;
    std::promise<void> started;
    std::promise<void> open;
    std::shared_future<void> gate = open.get_future().share();
    bool sawSuperseded = false;
    RequestRunner runner;
};

TEST_F(Runner, ANewerRequestReplacesAQueuedOneOfItsKindAndFlagsTheRunningOne) {
    runner.post(Kind::TimeMap, job("blocking"));
    started.get_future().wait();
    runner.post(Kind::TimeMap, job("map 2"));
    runner.post(Kind::Play, job("play"));
    runner.post(Kind::TimeMap, job("map 3"));  // replaces map 2, and now comes after play
    runner.post(Kind::Play, job("stop"));      // replaces play, and comes after map 3
    open.set_value();
    ASSERT_TRUE(runner.waitIdle(5s));
    EXPECT_TRUE(sawSuperseded);
    EXPECT_EQ(order(), (std::vector<std::string>{"blocking", "map 3", "stop"}));
}

TEST_F(Runner, ARequestOfAnotherKindDoesNotSupersedeTheRunningOne) {
    runner.post(Kind::TimeMap, job("blocking"));
    started.get_future().wait();
    runner.post(Kind::Play, job("play"));
    open.set_value();
    ASSERT_TRUE(runner.waitIdle(5s));
    EXPECT_FALSE(sawSuperseded);
    EXPECT_EQ(order(), (std::vector<std::string>{"blocking", "play"}));
}

TEST_F(Runner, StoppingDropsQueuedRequestsAndLaterPostsDoNothing) {
    runner.post(Kind::Play, job("blocking"));
    started.get_future().wait();
    runner.post(Kind::TimeMap, job("map"));
    std::thread opener([&] {
        std::this_thread::sleep_for(50ms);
        open.set_value();
    });
    runner.stop();  // returns once the running request did
    opener.join();
    runner.post(Kind::TimeMap, job("late"));
    EXPECT_TRUE(runner.waitIdle(1s));
    EXPECT_TRUE(sawSuperseded);
    EXPECT_EQ(order(), (std::vector<std::string>{"blocking"}));
}

}  // namespace
