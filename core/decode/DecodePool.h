// The decode threads of every DVR: one pool, sized to the cores. Each channel of each DVR always
// decodes on the same lane (its key modulo the lane count), so its pictures go through its
// decoder in the order they came; which DVR a lane works for changes from job to job.
//
// A job lives in its client's memory (one per queue slot) from Submit until the client's work
// function has run it: the pool links it into a lane's list and never copies or frees it, so
// submitting allocates nothing. The work function must be the last to touch the job: once it
// completes the slot, the client may fill the job again.
//
// Threads: Start and Stop on any thread (Start is idempotent); Submit on any thread; the work
// runs on the lanes' own threads. The pool outlives every client that submits to it.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "core/support/FfmpegHandles.h"
#include "core/wire/WireFormats.h"

class DecodePool {
  public:
    class Client;
    // One frame to decode: its queue slot, its header and its payload (the job's reference).
    struct Job {
        int32_t slot = -1;
        NET_FRAME_HEADER header{};
        BufferRefPtr payload;
        int64_t arrived = 0;
        bool reduced = false;  // decoded without the deblocking filter
        Client* client = nullptr;
        Job* next = nullptr;  // the lane's list
    };
    // What runs a job: `packet` is the lane's own, to point at the payload while decoding.
    class Client {
      public:
        virtual void DecodeOnLane(AVPacket* packet, Job& job) = 0;

      protected:
        ~Client() = default;
    };

    // One lane per core, at most 8; 1 means decoding stays on the receive threads.
    static int LanesForThisMachine();
    // The lanes for a wanted count: `wanted` when above 0 (tests force it), else the machine's.
    static int LaneCount(int wanted) { return wanted > 0 ? wanted : LanesForThisMachine(); }

    DecodePool() = default;
    DecodePool(const DecodePool&) = delete;
    DecodePool& operator=(const DecodePool&) = delete;
    ~DecodePool();

    // Starts `lanes` threads (at least 2; fewer starts none) unless they run already. Whether
    // the pool runs.
    bool Start(int lanes);
    bool running() const;
    int lanes() const;
    // Queues `job` on the lane of `key` (a DVR's channel: dvr * channels + channel). The job must
    // stay put until its client's work has run. Only while the pool runs.
    void Submit(uint32_t key, Job& job);
    // Runs what is queued and ends the threads.
    void Stop();

  private:
    struct Lane {
        std::mutex lock;
        std::condition_variable wake;
        Job* head = nullptr;  // under lock
        Job* tail = nullptr;  // under lock
        bool stop = false;    // under lock
        PacketPtr packet;     // the lane thread's own
        std::thread thread;
    };
    void Run(Lane& lane);

    mutable std::mutex startLock_;  // Start, Stop and the queries against each other
    std::vector<std::unique_ptr<Lane>> lanes_;
};
