// The receive thread's intake: a frame's sequence check, its decoding and queueing, and the
// information replies, as the stream parser hands them over.
#include <malloc.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <thread>

#include "core/decode/H264Scan.h"
#include "core/decode/SizeFrame.h"
#include "core/dvr/DvrSlot.h"
#include "core/support/ByteBuffer.h"
#include "core/support/Clocks.h"
#include "core/support/Log.h"

namespace {

constexpr auto kBackPressureStep = std::chrono::milliseconds(10);
constexpr int kBackPressureSteps = 101;
constexpr auto kKeyFrameRequestInterval = std::chrono::seconds(1);
// While a channel waits for a point to start decoding at, it asks for a key frame this often.
constexpr auto kKeyFrameRetryInterval = std::chrono::seconds(2);
// How often the receive thread looks for decoders to release.
constexpr int64_t kDecoderSweepNs = 250'000'000;
// How often the queue gives back the blocks a burst of pictures left behind.
constexpr int64_t kSurplusTrimNs = 2'000'000'000;
// A DVR whose decoding takes little of a core decodes on its own receive thread: handing each
// frame to a lane costs a copy and a thread's wake-up, worth it only where one thread would not
// keep up. Weighed every second in CPU time (a decode preempted on a busy machine is not a heavier
// one): under a fifth of a core it decodes alone, over two fifths on the lanes. It starts alone:
// many DVRs connecting at once would otherwise send a start-up burst of frames to the lanes, each
// holding a queue slot while it waits there (about 100 MB at the peak for 64 DVRs of 4 CIF
// cameras).
constexpr int64_t kLoadWindowNs = 1'000'000'000;
constexpr double kAloneBelow = 0.2;
constexpr double kLanesAbove = 0.4;
// CPU time does not see a DVR that falls behind because its receive thread gets too little of a
// crowded machine: one that spent this share of the window decoding (wall time), window after
// window (a start-up's burst passes sooner), goes to the lanes whatever its CPU time, and stays
// there a while, or it would come back within a second (its CPU time is small) and fall behind
// again.
constexpr double kBehindAbove = 0.8;
constexpr int kBehindWindows = 3;
constexpr int64_t kBehindHoldNs = 30'000'000'000;
// The payload buffers' smallest size; they grow in doublings to the largest frame seen.
constexpr uint32_t kFirstPayloadBytes = 64 * 1024;

// Payload buffers are pages of their own (ByteBuffer): only the pages frames wrote are
// resident, and a buffer let go goes back to the system at once instead of leaving a hole in the
// heap.
void FreePayload(void* bytes, uint8_t* data) {
    ByteBuffer(data, PagesDeleter{reinterpret_cast<std::size_t>(bytes)});  // freed as it goes
}

AVBufferRef* MapPayload(void* made, std::size_t size) {
    ByteBuffer data = AllocZeroed(size);
    if (!data) {
        return nullptr;
    }
    AVBufferRef* ref =
        av_buffer_create(data.get(), size, FreePayload, reinterpret_cast<void*>(size), 0);
    if (!ref) {
        return nullptr;
    }
    data.release();  // the buffer's now
    static_cast<std::atomic<uint32_t>*>(made)->fetch_add(1, std::memory_order_relaxed);
    return ref;
}

// A decoder's memory is spread over the heap between other allocations: freeing it leaves holes
// the heap keeps unless asked to hand whole free pages back. That walks every arena, so it is
// done for all DVRs at once, at most this often, after the last release asked for it.
constexpr int64_t kTrimIntervalNs = 2'000'000'000;
std::atomic<bool> trimWanted{false};
std::atomic<int64_t> nextTrim{0};
// Other frees leave such holes too: the start-up's burst, the surface's pictures when a split
// changes. While pictures flow, the heap's free memory is looked at this often, and handed back
// when it grew by more than kHeapSlack since it was lowest.
constexpr int64_t kHeapLookNs = 10'000'000'000;
constexpr std::size_t kHeapSlack = 8u << 20;
std::atomic<int64_t> nextHeapLook{0};
std::atomic<std::size_t> heapFreeLowest{SIZE_MAX};

void GiveBackFreedMemory(int64_t now) {
    int64_t due = nextTrim.load();
    const bool look = now >= nextHeapLook.load();
    if (now < due || (!look && !trimWanted.load())) {
        return;
    }
    if (!nextTrim.compare_exchange_strong(due, now + kTrimIntervalNs)) {
        return;  // another thread's turn came first; what it was asked it does
    }
    bool trim = trimWanted.exchange(false);
    if (look) {
        nextHeapLook.store(now + kHeapLookNs);
        const std::size_t free = mallinfo2().fordblks;
        const std::size_t lowest = std::min(heapFreeLowest.load(), free);
        heapFreeLowest.store(lowest);
        trim = trim || free > lowest + kHeapSlack;
    }
    if (trim) {
        malloc_trim(0);
        // Free memory stays free (its pages handed back): from here on it counts as the lowest.
        heapFreeLowest.store(mallinfo2().fordblks);
    }
}

// How the picture of a frame the intake stamped is written into its queue slot.
PictureOut Layout(const NET_FRAME_HEADER& h) {
    return (h.spare & kHalvedPicture) != 0 ? PictureOut::HalfPacked : PictureOut::I420;
}

}  // namespace

void DvrSlot::WaitForQueueRoom() {
    for (int i = 0;
         i < kBackPressureSteps && NetCtrl.queue.QueuedOrDecoding() >= kBackPressureDepth &&
         NetCtrl.NetWorking.load() == 1 && NetCtrl.ThreadWork.load() != 0;
         ++i) {
        std::this_thread::sleep_for(kBackPressureStep);
    }
}

void DvrSlot::OnFrame(const NET_FRAME_HEADER& header, const uint8_t* payload, bool bundleMember,
                      int64_t arrived) {
    if (header.channel < 0 || header.channel >= kMaxChannels) {
        return;  // no decoder and no table entry for it
    }
    NET_FRAME_HEADER h = header;
    // Live or played, as the stream says at this point of it: the frames after an accepted
    // play's answer are the recording's, until the play's stop has drained.
    h.spare = playStamp_.load(std::memory_order_relaxed) ? kPlayedPicture : 0;
    const int ch = h.channel;
    NetCtrl_Struct& b = NetCtrl;
    ChannelStats& stats = b.stats[ch];
    stats.frames.fetch_add(1, std::memory_order_relaxed);
    const bool video = h.type == 'V';
    // A live picture no pane shows would only cost a decoder and queue room.
    const bool unshown = video && (h.spare & kPlayedPicture) == 0 &&
                         (shownChannels_.load(std::memory_order_relaxed) & (1u << ch)) == 0;
    if (video) {
        // Written once per channel and connection, not for every frame.
        if ((deliveredChannels_.load(std::memory_order_relaxed) & (1u << ch)) == 0) {
            deliveredChannels_.fetch_or(1u << ch, std::memory_order_relaxed);
        }
        stats.bytes.fetch_add(h.dataLen, std::memory_order_relaxed);
        if (!unshown) {
            WaitForQueueRoom();
        }
    }

    int32_t slot = -1;
    {
        std::lock_guard<std::mutex> g(b.queue.mutex);
        // Sound and pictures share the channel's count, so both pass the check.
        uint32_t& expected = frameNumber[ch];
        if (bundleMember ? h.seqReset == 1 : h.frameNo == 0) {
            expected = 0;
        }
        if (h.frameNo != expected) {
            stats.dropped.fetch_add(1, std::memory_order_relaxed);
            return;
        }
        expected = h.frameNo + 1;
        if (!video) {
            return;  // sound is not played
        }
        h.imageSize = FoldSizeFrame(h.videoStandard, h.imageSize);
        stats.sizeFrame.store(h.imageSize, std::memory_order_relaxed);
        // Room for the picture the header announces: nothing is written for one without a size.
        // A channel the surface shows at half its size or less is queued at that size: a third
        // of the bytes to write, keep and hand over, and all its panes can show.
        const std::optional<PictureGeometry> size = SizeFrameGeometry(h.imageSize);
        const bool halved = (reduced_.wanted() & (1u << ch)) != 0;
        if (halved) {
            h.spare |= kHalvedPicture;
        }
        if (!unshown) {
            slot = b.queue.ReserveLocked(!size    ? 0
                                         : halved ? size->HalfPackedBytes()
                                                  : size->I420Bytes());
        }
    }
    if ((tapChannels_.load(std::memory_order_relaxed) & (1u << ch)) != 0) {
        std::lock_guard<std::mutex> g(tapLock_);
        if (tap_) {
            tap_->Offer(h, payload);
        }
    }

    if (unshown) {
        b.needKey[ch] = true;
        passedOver_ |= 1u << ch;
        return;
    }
    if (slot < 0) {
        // Our own drop, not a gap in the DVR's stream: the count stays in step, and the channel
        // resumes at the next key frame so that no picture decoded without its reference shows.
        stats.dropped.fetch_add(1, std::memory_order_relaxed);
        b.needKey[ch] = true;
        AskKeyFrameUnlessAskedWithin(kKeyFrameRequestInterval);
        return;
    }
    if (b.needKey[ch]) {
        // A channel a pane shows again after its frames were passed over is waited for by its
        // pane: it asks at once, and what it passes over until the key frame is no loss.
        const bool resumes = (passedOver_ & (1u << ch)) != 0;
        if (!IsDecodingStart(payload, h.dataLen)) {
            b.queue.Release(slot);
            if (!resumes) {
                stats.dropped.fetch_add(1, std::memory_order_relaxed);
            }
            // A DVR may have missed the request, or ignore it: it is asked again now and then.
            AskKeyFrameUnlessAskedWithin(resumes ? kKeyFrameRequestInterval
                                                 : kKeyFrameRetryInterval);
            return;
        }
        b.needKey[ch] = false;
        passedOver_ &= ~(1u << ch);
    }
    const ReducedChannels::Step reduce = reduced_.Next(ch, payload, h.dataLen);
    if (reduce.askKey) {
        // Back to full at the next key frame: asked for, so that the picture is whole soon.
        AskKeyFrameUnlessAskedWithin(kKeyFrameRequestInterval);
    }

    // The channel's decoder is made here, on the receive thread, before any lane may use it.
    if (!OpenChannel(Decoder, ch)) {
        b.queue.Release(slot);
        stats.dropped.fetch_add(1, std::memory_order_relaxed);
        return;
    }
    lastFrameAt_[ch] = arrived;  // steady clock, as SteadyNs
    if (!pooled_) {
        // The reserved slot is not visible to the consumer until it is completed, so the picture
        // is decoded straight into it without the lock.
        const int32_t bytes =
            DecodeData(Decoder, payload, h.dataLen, h, ch, b.queue.buf[slot] + kSlotPictureOffset,
                       reduce.reduced, Layout(h));
        reduced_.Decoded(ch, reduce.reduced, bytes);
        Publish(slot, h, bytes, arrived);
        return;
    }
    // The decoder would copy a payload it does not own (an allocation per frame); this buffer it
    // only references, so a lane reads it after the next frame has replaced the parser's.
    BufferRefPtr ref = PayloadBuffer(h.dataLen);
    if (!ref) {
        b.queue.Release(slot);
        stats.dropped.fetch_add(1, std::memory_order_relaxed);
        return;
    }
    std::memcpy(ref->data, payload, h.dataLen);
    std::memset(ref->data + h.dataLen, 0, kInputPadding);
    // A channel with frames still on a lane goes on there: its frames decode in order.
    if (decodeAlone_.load(std::memory_order_relaxed) &&
        channelJobs_[ch].load(std::memory_order_acquire) == 0) {
        const int64_t start = ThreadCpuNs();
        const int64_t startWall = SteadyNs();
        const int32_t bytes =
            DecodeReferenced(Decoder.packet.get(), ref.get(), h, slot, reduce.reduced);
        aloneDecodeNs_ += ThreadCpuNs() - start;
        aloneDecodeWallNs_ += SteadyNs() - startWall;
        Publish(slot, h, bytes, arrived);
        return;
    }
    DecodePool::Job& job = jobs_[slot];
    job.slot = slot;
    job.header = h;
    job.payload = std::move(ref);
    job.arrived = arrived;
    job.client = this;
    job.reduced = reduce.reduced;
    channelJobs_[ch].fetch_add(1, std::memory_order_relaxed);
    {
        std::lock_guard<std::mutex> g(jobsLock_);
        jobsPeak_ = std::max(jobsPeak_, ++jobsInFlight_);
    }
    ctx_.decodePool.Submit(static_cast<uint32_t>(dvr_ * kMaxChannels + ch), job);
}

void DvrSlot::SetTap(FrameTap* tap, uint32_t channels) {
    std::lock_guard<std::mutex> g(tapLock_);
    tap_ = tap;
    tapChannels_.store(tap ? channels : 0);
}

void DvrSlot::RemoveTap(FrameTap* tap) {
    std::lock_guard<std::mutex> g(tapLock_);
    if (tap_ == tap) {
        tap_ = nullptr;
        tapChannels_.store(0);
    }
}

void DvrSlot::DecodeOnLane(AVPacket* packet, DecodePool::Job& job) {
    // Once the slot is published, the receive thread may fill this job again: what is needed
    // afterwards is copied out first.
    const NET_FRAME_HEADER h = job.header;
    const int32_t slot = job.slot;
    const int64_t arrived = job.arrived;
    const bool reduced = job.reduced;
    const int64_t start = ThreadCpuNs();
    const int32_t bytes = DecodeReferenced(packet, job.payload.get(), h, slot, reduced);
    laneDecodeNs_.fetch_add(ThreadCpuNs() - start, std::memory_order_relaxed);
    job.payload.reset();
    Publish(slot, h, bytes, arrived);
    // The decoder is free for the receive thread to release from here on.
    channelJobs_[h.channel].fetch_sub(1, std::memory_order_release);
    std::lock_guard<std::mutex> g(jobsLock_);
    if (--jobsInFlight_ == 0) {
        jobsDone_.notify_all();  // under the lock: the slot may go once a drain sees zero
    }
}

int32_t DvrSlot::DecodeReferenced(AVPacket* packet, AVBufferRef* payload, const NET_FRAME_HEADER& h,
                                  int32_t slot, bool reduced) {
    packet->buf = payload;  // the caller keeps its reference; the decoder takes its own
    packet->data = payload->data;
    packet->size = static_cast<int>(h.dataLen);
    const int32_t bytes =
        DecodePacket(Decoder, packet, h, h.channel, NetCtrl.queue.buf[slot] + kSlotPictureOffset,
                     reduced, Layout(h));
    packet->buf = nullptr;
    packet->data = nullptr;
    packet->size = 0;
    reduced_.Decoded(h.channel, reduced, bytes);
    return bytes;
}

void DvrSlot::DrainJobs() {
    std::unique_lock<std::mutex> g(jobsLock_);
    jobsDone_.wait(g, [&] { return jobsInFlight_ == 0; });
}

BufferRefPtr DvrSlot::PayloadBuffer(uint32_t bytes) {
    const uint32_t needed = bytes + kInputPadding;
    if (!payloadPool_ || needed > payloadBytes_) {
        // A larger frame than any before (buffers of the old size go as their jobs end), or the
        // first since the buffers were let go.
        uint32_t size = std::max(payloadBytes_, kFirstPayloadBytes);
        while (size < needed) {
            size *= 2;
        }
        size = std::min<uint32_t>(size, kMaxFramePayload + kInputPadding);
        BufferPoolPtr pool(av_buffer_pool_init2(size, &payloadBuffers_, MapPayload, nullptr));
        if (!pool) {
            return nullptr;
        }
        payloadPool_ = std::move(pool);
        payloadBuffers_.store(0, std::memory_order_relaxed);
        payloadBytes_ = size;
        payloadGrowths_.fetch_add(1, std::memory_order_relaxed);
    }
    return BufferRefPtr(av_buffer_pool_get(payloadPool_.get()));
}

void DvrSlot::DropPayloadBuffers() {
    payloadPool_.reset();
    payloadBuffers_.store(0, std::memory_order_relaxed);
}

void DvrSlot::TrimPayloadBuffers() {
    int peak;
    {
        std::lock_guard<std::mutex> g(jobsLock_);
        peak = jobsPeak_;
        jobsPeak_ = jobsInFlight_;
    }
    // A pool never gives a buffer back: one holding more than the frames lately in flight at
    // once, and one to spare, is let go (its buffers still in flight go with their jobs), and
    // the next frame starts one of the same size.
    if (payloadPool_ &&
        payloadBuffers_.load(std::memory_order_relaxed) > static_cast<uint32_t>(peak) + 1) {
        DropPayloadBuffers();
    }
}

void DvrSlot::WeighDecodeLoad(int64_t now) {
    if (!pooled_) {
        return;
    }
    if (loadWindowStart_ == 0) {
        loadWindowStart_ = now;
    }
    const int64_t span = now - loadWindowStart_;
    if (span < kLoadWindowNs) {
        return;
    }
    const double load =
        static_cast<double>(aloneDecodeNs_ + laneDecodeNs_.exchange(0)) / static_cast<double>(span);
    const double busy = static_cast<double>(aloneDecodeWallNs_) / static_cast<double>(span);
    bool alone = decodeAlone_.load();
    if (alone && load < kLanesAbove && busy >= kBehindAbove) {
        if (++behindWindows_ >= kBehindWindows) {
            behindWindows_ = 0;
            lanesHeldUntil_ = now + kBehindHoldNs;
            alone = false;
            fellBehind_.fetch_add(1, std::memory_order_relaxed);
            QLog(
                "DVR %d falls behind decoding alone (%.0f %% of the time, %.0f %% of a core): "
                "lanes",
                dvr_, busy * 100, load * 100);
        }
    } else {
        behindWindows_ = 0;
        alone = alone ? load < kLanesAbove : load < kAloneBelow && now >= lanesHeldUntil_;
    }
    decodeAlone_.store(alone);
    aloneDecodeNs_ = 0;
    aloneDecodeWallNs_ = 0;
    loadWindowStart_ = now;
}

void DvrSlot::ReleaseIdleDecoders() {
    const int64_t now = SteadyNs();
    if (now < nextDecoderSweep_) {
        return;
    }
    nextDecoderSweep_ = now + kDecoderSweepNs;
    WeighDecodeLoad(now);
    if (now >= nextSurplusTrim_) {
        nextSurplusTrim_ = now + kSurplusTrimNs;
        NetCtrl.queue.TrimSurplus();
        TrimPayloadBuffers();
    }
    // A played recording may pause: its decoders wait for it.
    if (NetCtrl.ViewOrBack.load() == VIEW_PLAYBACK && NetCtrl.NetWorking.load() > 0) {
        return;
    }
    const int64_t idle =
        std::chrono::duration_cast<std::chrono::nanoseconds>(ctx_.limits.decoderIdle).count();
    bool anyRecent = false;
    bool released = false;
    const uint32_t shown = shownChannels_.load(std::memory_order_relaxed);
    for (int c = 0; c < kMaxChannels; ++c) {
        const bool silent = now - lastFrameAt_[c] >= idle;
        anyRecent = anyRecent || !silent;
        // A channel no pane shows keeps no decoder: its next picture starts at a key frame.
        const bool unshown = (shown & (1u << c)) == 0;
        if ((silent || unshown) && Decoder.out_c[c] &&
            channelJobs_[c].load(std::memory_order_acquire) == 0) {
            ReleaseChannel(Decoder, c);
            NetCtrl.needKey[c] = true;  // a new decoder starts at a key frame
            if (unshown) {
                passedOver_ |= 1u << c;
            }
            released = true;
        }
    }
    if (released) {
        trimWanted.store(true);
    }
    GiveBackFreedMemory(now);
    if (!anyRecent) {
        DropPayloadBuffers();  // what a lane still holds goes back with it
        payloadBytes_ = 0;
        NetCtrl.queue.TrimIdle(ctx_.limits.decoderIdle);
    }
}

void DvrSlot::Publish(int32_t slot, const NET_FRAME_HEADER& h, int32_t bytes, int64_t arrived) {
    // Nothing to show is queued as nothing: compressed bytes never reach the screen.
    if (bytes > 0) {
        std::memcpy(NetCtrl.queue.buf[slot], &h, sizeof h);
        ChannelStats& stats = NetCtrl.stats[h.channel];
        stats.decoded.fetch_add(1, std::memory_order_relaxed);
        stats.lastPictureAt.store(arrived, std::memory_order_relaxed);
    }
    NetCtrl.queue.Complete(slot, bytes > 0, arrived);
}

void DvrSlot::ResetDecodePlacement() {
    decodeAlone_.store(ctx_.limits.decodeStartsAlone);
    loadWindowStart_ = 0;
    aloneDecodeNs_ = 0;
    aloneDecodeWallNs_ = 0;
    laneDecodeNs_.store(0);
    lanesHeldUntil_ = 0;
    behindWindows_ = 0;
}

bool DvrSlot::StartDecodeLanes() {
    const int lanes = DecodePool::LaneCount(ctx_.limits.decodeLanes);
    pooled_ = lanes >= 2 && Decoder.init == 1 && ctx_.decodePool.Start(lanes);
    return pooled_;  // otherwise decoding stays on the receive thread
}

void DvrSlot::OnDiskInfo(int32_t count, const NET_SEND_INFO (&disks)[kMaxDiskRecords]) {
    {
        std::lock_guard<std::mutex> g(NetCtrl.replyLock);
        Dvrinfo.iDiskNum = std::min(count, int32_t{kMaxDiskRecords});
        std::memcpy(Dvrinfo.stNetDiskInfo, disks, sizeof disks);
    }
    NetCtrl.ReplyStored(INFO_DISK);
}

void DvrSlot::OnRecordList(int32_t pages, const uint8_t* data, std::size_t len) {
    {
        std::lock_guard<std::mutex> g(NetCtrl.replyLock);
        if (owedSearchReplies_ > 0) {
            --owedSearchReplies_;  // the late answer to a search that gave up: no one's page
            QLog("record list of a search that gave up dropped");
            return;
        }
        m_listPage.store(pages);
        if (pages > 0 && pFileShow) {
            // A short page ends the list: nothing of the page read before may stay behind it.
            const std::size_t n = std::min(len, sizeof(RecordListPage));
            auto* to = reinterpret_cast<uint8_t*>(*pFileShow);
            std::memcpy(to, data, n);
            std::memset(to + n, 0, sizeof(RecordListPage) - n);
        }
    }
    NetCtrl.ReplyStored(INFO_RECORD_LIST);
}

void DvrSlot::OnPlayState(int32_t state, int32_t reason) {
    if (state == 9) {
        playStamp_.store(true);
        NetCtrl.SetLiveStatus(NET_DATA_SEND);
    } else if (state == 8) {
        NetCtrl.Results.store(
            status::Code(reason == 17 ? status::Play::NoRecordingAtStart : status::Play::Refused));
    }
    NetCtrl.ReplyStored(INFO_PLAY_STATE);
}
