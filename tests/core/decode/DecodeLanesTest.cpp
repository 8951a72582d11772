// The decode lanes with a forced lane count, so that they run the same on any machine.
#include "core/decode/DecodeLanes.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <set>
#include <thread>
#include <vector>

#include "tests/support/Wait.h"

namespace {

using namespace std::chrono_literals;

// Jobs whose payloads count their release and say which job they belong to.
struct Jobs {
    std::atomic<int> released{0};

    DecodeLanes::Job Make(int channel, uint32_t n) {
        auto* data = static_cast<uint8_t*>(av_malloc(sizeof n));
        std::memcpy(data, &n, sizeof n);
        DecodeLanes::Job job;
        job.header.channel = channel;
        job.header.frameNo = n;
        job.payload.reset(av_buffer_create(
            data, sizeof n,
            [](void* counter, uint8_t* bytes) {
                static_cast<std::atomic<int>*>(counter)->fetch_add(1);
                av_free(bytes);
            },
            &released, 0));
        return job;
    }
};

// What the lanes did, recorded by the work function.
struct Record {
    std::mutex lock;
    std::vector<std::vector<uint32_t>> order = std::vector<std::vector<uint32_t>>(kMaxChannels);
    std::vector<std::set<int>> lanesOf = std::vector<std::set<int>>(kMaxChannels);

    // Records the number the job's payload holds: a payload gone or mixed up shows as disorder.
    void Run(int lane, DecodeLanes::Job& job) {
        uint32_t n = 0;
        std::memcpy(&n, job.payload->data, sizeof n);
        std::this_thread::sleep_for(50us);
        std::lock_guard<std::mutex> g(lock);
        order[job.header.channel].push_back(n);
        lanesOf[job.header.channel].insert(lane);
    }
};

TEST(DecodeLanes, EachChannelRunsInOrderOnOneLaneAndEveryJobIsDoneAndReleased) {
    constexpr int kChannels = 6;
    constexpr uint32_t kPerChannel = 20;  // a lane holds at most kCapacity: 3 channels' jobs
    for (int lanes : {1, 2, 4}) {
        SCOPED_TRACE(lanes);
        Record rec;
        Jobs jobs;
        DecodeLanes d;
        // A single lane is no lane: the receive thread decodes itself.
        const bool started = d.Start(lanes, [&](int l, DecodeLanes::Job& j) { rec.Run(l, j); });
        EXPECT_EQ(started, lanes >= 2);
        EXPECT_EQ(d.running(), lanes >= 2);
        if (!started) {
            continue;
        }
        for (uint32_t n = 0; n < kPerChannel; ++n) {
            for (int ch = 0; ch < kChannels; ++ch) {
                d.Submit(ch, jobs.Make(ch, n));
            }
        }
        d.Drain();
        std::set<int> used;
        for (int ch = 0; ch < kChannels; ++ch) {
            ASSERT_EQ(rec.order[ch].size(), kPerChannel) << "channel " << ch;
            for (uint32_t n = 0; n < kPerChannel; ++n) {
                ASSERT_EQ(rec.order[ch][n], n) << "channel " << ch;
            }
            EXPECT_EQ(rec.lanesOf[ch], std::set<int>{ch % lanes}) << "channel " << ch;
            used.insert(*rec.lanesOf[ch].begin());
        }
        EXPECT_EQ(static_cast<int>(used.size()), lanes);
        EXPECT_EQ(jobs.released.load(), kChannels * static_cast<int>(kPerChannel));
    }
}

TEST(DecodeLanes, StopFinishesTheQueuedJobsAndAJobTurnedAwayLetsItsPayloadGo) {
    Jobs jobs;
    std::atomic<int> started{0};
    std::atomic<int> done{0};
    std::atomic<bool> open{false};
    DecodeLanes d;
    ASSERT_TRUE(d.Start(2, [&](int, DecodeLanes::Job&) {
        started.fetch_add(1);
        while (!open.load()) {
            std::this_thread::sleep_for(1ms);
        }
        done.fetch_add(1);
    }));
    // Channel 0's lane holds its first job, then takes kCapacity more; one beyond is turned away.
    d.Submit(0, jobs.Make(0, 0));
    EXPECT_TRUE(WaitFor([&] { return started.load() == 1; }));
    for (uint32_t n = 1; n <= DecodeLanes::kCapacity + 1; ++n) {
        d.Submit(0, jobs.Make(0, n));
    }
    d.Submit(1, jobs.Make(1, 0));
    EXPECT_EQ(jobs.released.load(), 1);
    open.store(true);
    d.Stop();
    EXPECT_FALSE(d.running());
    EXPECT_EQ(done.load(), DecodeLanes::kCapacity + 2);
    EXPECT_EQ(jobs.released.load(), DecodeLanes::kCapacity + 3);
}

}  // namespace
