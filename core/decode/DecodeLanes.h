// Decodes the channels of one DVR on several threads. Channel c always decodes on lane
// c % lanes, so each channel's pictures go through its decoder in the order they came; what a
// lane does with a job is the caller's, and so is the lane count (Start takes it, so that the
// lanes run alike on any machine).
//
// Threads: Start, Submit, Drain and Stop belong to one thread (the DVR's receive thread); the
// work function runs on the lanes' own threads.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "core/support/FfmpegHandles.h"
#include "core/wire/WireFormats.h"

class DecodeLanes {
  public:
    // One frame to decode: its queue slot, its header and its payload, which the job owns (its
    // reference goes when the job is done, or turned away).
    struct Job {
        int32_t slot = -1;
        NET_FRAME_HEADER header{};
        BufferRefPtr payload;
        int64_t arrived = 0;
        bool reduced = false;  // decoded without the deblocking filter
    };
    // Runs on a lane for each job, which it hands back with the payload still owned.
    using Work = std::function<void(int lane, Job& job)>;

    // How many lanes a DVR gets on this machine: one per core, at most 8; 1 means decoding
    // stays on the receive thread.
    static int LanesForThisMachine();
    // The lanes for a wanted count: `wanted` when above 0 (tests force it), else the machine's.
    static int LaneCount(int wanted) { return wanted > 0 ? wanted : LanesForThisMachine(); }

    DecodeLanes() = default;
    DecodeLanes(const DecodeLanes&) = delete;
    DecodeLanes& operator=(const DecodeLanes&) = delete;
    ~DecodeLanes();

    // Starts `lanes` threads (at least 2; fewer starts none) that run `work`. False when a
    // thread could not start (none runs then).
    bool Start(int lanes, Work work);
    bool running() const { return !lanes_.empty(); }
    // Queues `job` on channel `channel`'s lane. At most `kCapacity` jobs wait per lane; the
    // caller bounds them (one per queue slot).
    void Submit(int channel, Job&& job);
    // Returns once every submitted job is done.
    void Drain();
    // Finishes the queued jobs and ends the threads.
    void Stop();

    static constexpr int kCapacity = 64;

  private:
    struct Lane {
        std::mutex lock;
        std::condition_variable wake;
        Job jobs[kCapacity];
        int head = 0;
        int count = 0;
        bool busy = false;
        bool stop = false;
        std::condition_variable idle;
        std::thread thread;
    };
    void Run(int index);

    Work work_;
    std::vector<std::unique_ptr<Lane>> lanes_;
};
