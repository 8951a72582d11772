#include "core/decode/DecodeLanes.h"

#include <algorithm>
#include <system_error>

#include "core/support/Log.h"

int DecodeLanes::LanesForThisMachine() {
    return static_cast<int>(std::clamp(std::thread::hardware_concurrency(), 1u, 8u));
}

DecodeLanes::~DecodeLanes() {
    Stop();
}

bool DecodeLanes::Start(int lanes, Work work) {
    if (running() || lanes < 2) {
        return running();
    }
    work_ = std::move(work);
    for (int i = 0; i < lanes; ++i) {
        lanes_.push_back(std::make_unique<Lane>());
    }
    for (int i = 0; i < lanes; ++i) {
        try {
            lanes_[i]->thread = std::thread(&DecodeLanes::Run, this, i);
        } catch (const std::system_error&) {
            QLog("decode lanes: thread %d could not start", i);
            Stop();
            return false;
        }
    }
    return true;
}

void DecodeLanes::Submit(int channel, Job&& job) {
    Lane& lane = *lanes_[static_cast<std::size_t>(channel) % lanes_.size()];
    {
        std::lock_guard<std::mutex> g(lane.lock);
        if (lane.count == kCapacity) {
            // Cannot happen while jobs are bounded by queue slots; never overwrite one. The
            // turned-away job lets its payload go.
            return;
        }
        lane.jobs[(lane.head + lane.count) % kCapacity] = std::move(job);
        ++lane.count;
    }
    lane.wake.notify_one();
}

void DecodeLanes::Drain() {
    for (auto& lane : lanes_) {
        std::unique_lock<std::mutex> g(lane->lock);
        lane->idle.wait(g, [&] { return lane->count == 0 && !lane->busy; });
    }
}

void DecodeLanes::Stop() {
    for (auto& lane : lanes_) {
        {
            std::lock_guard<std::mutex> g(lane->lock);
            lane->stop = true;
        }
        lane->wake.notify_one();
    }
    for (auto& lane : lanes_) {
        if (lane->thread.joinable()) {
            lane->thread.join();
        }
    }
    lanes_.clear();
}

void DecodeLanes::Run(int index) {
    Lane& lane = *lanes_[index];
    std::unique_lock<std::mutex> g(lane.lock);
    for (;;) {
        lane.wake.wait(g, [&] { return lane.count > 0 || lane.stop; });
        if (lane.count == 0) {
            return;  // stopped with nothing left to do
        }
        {
            Job job = std::move(lane.jobs[lane.head]);
            lane.head = (lane.head + 1) % kCapacity;
            --lane.count;
            lane.busy = true;
            g.unlock();
            work_(index, job);
        }  // the payload goes before the lane counts as idle
        g.lock();
        lane.busy = false;
        if (lane.count == 0) {
            lane.idle.notify_all();
        }
    }
}
