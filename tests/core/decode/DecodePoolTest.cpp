// The shared decode pool with a forced lane count, so that it runs the same on any machine.
#include "core/decode/DecodePool.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <functional>
#include <map>
#include <numeric>
#include <set>
#include <thread>
#include <vector>

#include "tests/support/ThreadNames.h"
#include "tests/support/Wait.h"

namespace {

using namespace std::chrono_literals;

// A DVR as the pool sees it: its jobs (kept in place until run), what ran, on which lane.
struct Dvr final : DecodePool::Client {
    std::atomic<int>* released = nullptr;
    std::vector<DecodePool::Job> jobs = std::vector<DecodePool::Job>(200);
    std::mutex lock;
    std::map<int, std::vector<uint32_t>> order;  // per channel
    std::map<int, std::set<AVPacket*>> lanesOf;  // the lanes' packets a channel ran with
    std::set<std::string> threads;               // the names of the threads that ran jobs
    std::function<void()> hold = [] {};

    DecodePool::Job& Make(int job, int channel, uint32_t n) {
        auto* data = static_cast<uint8_t*>(av_malloc(sizeof n));
        std::memcpy(data, &n, sizeof n);
        DecodePool::Job& j = jobs[static_cast<std::size_t>(job)];
        j.header.channel = channel;
        j.client = this;
        j.payload.reset(av_buffer_create(
            data, sizeof n,
            [](void* counter, uint8_t* bytes) {
                static_cast<std::atomic<int>*>(counter)->fetch_add(1);
                av_free(bytes);
            },
            released, 0));
        return j;
    }
    // Records the number the job's payload holds: a payload gone or mixed up shows as disorder.
    void DecodeOnLane(AVPacket* packet, DecodePool::Job& job) override {
        hold();
        uint32_t n = 0;
        std::memcpy(&n, job.payload->data, sizeof n);
        job.payload.reset();
        std::this_thread::sleep_for(20us);
        std::lock_guard<std::mutex> g(lock);
        order[job.header.channel].push_back(n);
        lanesOf[job.header.channel].insert(packet);
        threads.insert(ThisThreadName());
    }
};

TEST(DecodePool, EveryDvrsChannelsRunInOrderOnOneLaneEachAndEveryJobIsDoneAndReleased) {
    constexpr int kDvrs = 3;
    constexpr int kChannels = 4;
    constexpr uint32_t kPerChannel = 40;  // more than any lane would hold if it had a capacity
    for (int lanes : {1, 2, 4}) {
        SCOPED_TRACE(lanes);
        std::atomic<int> released{0};
        DecodePool pool;
        // A single lane is no lane: the receive threads decode themselves.
        EXPECT_EQ(pool.Start(lanes), lanes >= 2);
        EXPECT_EQ(pool.running(), lanes >= 2);
        if (lanes < 2) {
            continue;
        }
        EXPECT_TRUE(pool.Start(8));  // started already: stays as it is
        EXPECT_EQ(pool.lanes(), lanes);
        std::vector<std::unique_ptr<Dvr>> dvrs;
        for (int d = 0; d < kDvrs; ++d) {
            dvrs.push_back(std::make_unique<Dvr>());
            dvrs.back()->released = &released;
        }
        for (uint32_t n = 0; n < kPerChannel; ++n) {
            for (int d = 0; d < kDvrs; ++d) {
                for (int ch = 0; ch < kChannels; ++ch) {
                    const int job = static_cast<int>(n) * kChannels + ch;
                    pool.Submit(static_cast<uint32_t>(d * 32 + ch), dvrs[d]->Make(job, ch, n));
                }
            }
        }
        pool.Stop();  // runs what is queued first
        EXPECT_FALSE(pool.running());
        std::set<AVPacket*> used;
        for (int d = 0; d < kDvrs; ++d) {
            for (int ch = 0; ch < kChannels; ++ch) {
                SCOPED_TRACE("DVR " + std::to_string(d) + " channel " + std::to_string(ch));
                std::vector<uint32_t> expected(kPerChannel);
                std::iota(expected.begin(), expected.end(), 0u);
                EXPECT_EQ(dvrs[d]->order[ch], expected);
                ASSERT_EQ(dvrs[d]->lanesOf[ch].size(), 1u);
                used.insert(*dvrs[d]->lanesOf[ch].begin());
            }
        }
        EXPECT_EQ(static_cast<int>(used.size()), lanes);  // the channels spread over every lane
        // Each lane carries its name, as a profiler or `top -H` shows it.
        std::set<std::string> names;
        for (const auto& dvr : dvrs) {
            names.insert(dvr->threads.begin(), dvr->threads.end());
        }
        std::set<std::string> expectedNames;
        for (int lane = 0; lane < lanes; ++lane) {
            expectedNames.insert("decode lane " + std::to_string(lane));
        }
        EXPECT_EQ(names, expectedNames);
        EXPECT_EQ(released.load(), kDvrs * kChannels * static_cast<int>(kPerChannel));
    }
}

TEST(DecodePool, ABusyLaneHoldsOnlyTheChannelsMappedToIt) {
    std::atomic<int> released{0};
    std::atomic<bool> open{false};
    Dvr slow;
    Dvr fast;
    slow.released = fast.released = &released;
    slow.hold = [&] {
        while (!open.load()) {
            std::this_thread::sleep_for(1ms);
        }
    };
    DecodePool pool;
    ASSERT_TRUE(pool.Start(2));
    pool.Submit(0, slow.Make(0, 0, 7));  // lane 0 is held
    for (uint32_t n = 0; n < 10; ++n) {
        pool.Submit(1, fast.Make(static_cast<int>(n), 1, n));  // lane 1 goes on
    }
    EXPECT_TRUE(WaitFor([&] {
        std::lock_guard<std::mutex> g(fast.lock);
        return fast.order[1].size() == 10;
    }));
    open.store(true);
    pool.Stop();
    EXPECT_EQ(slow.order[0], std::vector<uint32_t>{7});
    EXPECT_EQ(released.load(), 11);
}

}  // namespace
