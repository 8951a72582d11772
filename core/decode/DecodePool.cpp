#include "core/decode/DecodePool.h"

#include <algorithm>
#include <string>
#include <system_error>

#include "core/support/Log.h"
#include "core/support/ThreadName.h"

int DecodePool::LanesForThisMachine() {
    return static_cast<int>(std::clamp(std::thread::hardware_concurrency(), 1u, 8u));
}

DecodePool::~DecodePool() {
    Stop();
}

bool DecodePool::Start(int lanes) {
    std::lock_guard<std::mutex> g(startLock_);
    if (!lanes_.empty() || lanes < 2) {
        return !lanes_.empty();
    }
    std::vector<std::unique_ptr<Lane>> made;
    for (int i = 0; i < lanes; ++i) {
        auto lane = std::make_unique<Lane>();
        lane->packet.reset(av_packet_alloc());
        if (!lane->packet) {
            return false;
        }
        made.push_back(std::move(lane));
    }
    int number = 0;
    for (auto& lane : made) {
        try {
            lane->thread = std::thread([this, &l = *lane, n = number++] {
                NameThisThread("decode lane " + std::to_string(n));
                Run(l);
            });
        } catch (const std::system_error&) {
            QLog("decode pool: a lane could not start");
            for (auto& started : made) {
                if (started->thread.joinable()) {
                    {
                        std::lock_guard<std::mutex> l(started->lock);
                        started->stop = true;
                    }
                    started->wake.notify_one();
                    started->thread.join();
                }
            }
            return false;
        }
    }
    lanes_ = std::move(made);
    return true;
}

bool DecodePool::running() const {
    std::lock_guard<std::mutex> g(startLock_);
    return !lanes_.empty();
}

int DecodePool::lanes() const {
    std::lock_guard<std::mutex> g(startLock_);
    return static_cast<int>(lanes_.size());
}

void DecodePool::Submit(uint32_t key, Job& job) {
    // No lock: the lanes are set once, by a Start that every submitting client's own Start
    // followed under startLock_, and go only when no client is left.
    Lane* lane = lanes_[key % lanes_.size()].get();
    job.next = nullptr;
    {
        std::lock_guard<std::mutex> g(lane->lock);
        if (lane->tail) {
            lane->tail->next = &job;
        } else {
            lane->head = &job;
        }
        lane->tail = &job;
    }
    lane->wake.notify_one();
}

void DecodePool::Stop() {
    std::lock_guard<std::mutex> g(startLock_);
    for (auto& lane : lanes_) {
        {
            std::lock_guard<std::mutex> l(lane->lock);
            lane->stop = true;
        }
        lane->wake.notify_one();
    }
    for (auto& lane : lanes_) {
        lane->thread.join();
    }
    lanes_.clear();
}

void DecodePool::Run(Lane& lane) {
    std::unique_lock<std::mutex> g(lane.lock);
    for (;;) {
        lane.wake.wait(g, [&] { return lane.head != nullptr || lane.stop; });
        if (!lane.head) {
            return;  // stopped with nothing left to do
        }
        Job& job = *lane.head;
        lane.head = job.next;
        if (!lane.head) {
            lane.tail = nullptr;
        }
        g.unlock();
        job.client->DecodeOnLane(lane.packet.get(), job);  // the job is the client's again
        g.lock();
    }
}
