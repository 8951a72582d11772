// The receive thread's intake: a frame's sequence check, its decoding and queueing, and the
// information replies, as the stream parser hands them over.
#include <algorithm>
#include <cstring>
#include <thread>

#include "core/decode/H264Scan.h"
#include "core/decode/SizeFrame.h"
#include "core/dvr/DvrSlot.h"
#include "core/support/Log.h"

namespace {

// Jobs wait on a lane only for reserved slots, so a lane never turns one away.
static_assert(DecodeLanes::kCapacity >= kQueueSlots);

constexpr auto kBackPressureStep = std::chrono::milliseconds(10);
constexpr int kBackPressureSteps = 101;
constexpr auto kKeyFrameRequestInterval = std::chrono::seconds(1);
// While a channel waits for a point to start decoding at, it asks for a key frame this often.
constexpr auto kKeyFrameRetryInterval = std::chrono::seconds(2);

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
    if (video) {
        // Written once per channel and connection, not for every frame.
        if ((deliveredChannels_.load(std::memory_order_relaxed) & (1u << ch)) == 0) {
            deliveredChannels_.fetch_or(1u << ch, std::memory_order_relaxed);
        }
        stats.bytes.fetch_add(h.dataLen, std::memory_order_relaxed);
        WaitForQueueRoom();
    }

    int32_t slot;
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
        slot = b.queue.ReserveLocked();
    }
    if ((tapChannels_.load(std::memory_order_relaxed) & (1u << ch)) != 0) {
        std::lock_guard<std::mutex> g(tapLock_);
        if (tap_) {
            tap_->Offer(h, payload);
        }
    }

    if (slot < 0) {
        // Our own drop, not a gap in the DVR's stream: the count stays in step, and the channel
        // resumes at the next key frame so that no picture decoded without its reference shows.
        stats.dropped.fetch_add(1, std::memory_order_relaxed);
        b.needKey[ch] = true;
        const auto now = std::chrono::steady_clock::now();
        if (now - b.lastKeyRequest >= kKeyFrameRequestInterval) {
            b.lastKeyRequest = now;
            CreateNetKeyFrame();
        }
        return;
    }
    if (b.needKey[ch]) {
        if (!IsDecodingStart(payload, h.dataLen)) {
            b.queue.Release(slot);
            stats.dropped.fetch_add(1, std::memory_order_relaxed);
            // A DVR may have missed the request, or ignore it: it is asked again now and then.
            const auto now = std::chrono::steady_clock::now();
            if (now - b.lastKeyRequest >= kKeyFrameRetryInterval) {
                b.lastKeyRequest = now;
                CreateNetKeyFrame();
            }
            return;
        }
        b.needKey[ch] = false;
    }
    const ReducedChannels::Step reduce = reduced_.Next(ch, payload, h.dataLen);
    if (reduce.askKey) {
        // Back to full at the next key frame: asked for, so that the picture is whole soon.
        const auto now = std::chrono::steady_clock::now();
        if (now - b.lastKeyRequest >= kKeyFrameRequestInterval) {
            b.lastKeyRequest = now;
            CreateNetKeyFrame();
        }
    }

    if (lanes_.running()) {
        // The decoder would copy a payload it does not own; this buffer it only references, so
        // the lane reads it after the next frame has replaced the parser's.
        BufferRefPtr ref(av_buffer_pool_get(payloadPool_.get()));
        if (!ref) {
            b.queue.Release(slot);
            return;
        }
        std::memcpy(ref->data, payload, h.dataLen);
        std::memset(ref->data + h.dataLen, 0, kInputPadding);
        lanes_.Submit(ch, DecodeLanes::Job{slot, h, std::move(ref), arrived, reduce.reduced});
        return;
    }
    // The reserved slot is not visible to the consumer until it is completed, so the picture is
    // decoded straight into it without the lock.
    const int32_t bytes = DecodeData(Decoder, payload, h.dataLen, h, ch,
                                     b.queue.buf[slot] + kSlotPictureOffset, reduce.reduced);
    reduced_.Decoded(ch, reduce.reduced, bytes);
    Publish(slot, h, bytes, arrived);
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

void DvrSlot::DecodeOnLane(int lane, DecodeLanes::Job& job) {
    AVPacket* packet = lanePackets_[static_cast<std::size_t>(lane)].get();
    packet->buf = job.payload.get();  // the job keeps its reference; the decoder takes its own
    packet->data = job.payload->data;
    packet->size = static_cast<int>(job.header.dataLen);
    const int32_t bytes =
        DecodePacket(Decoder, packet, job.header, job.header.channel,
                     NetCtrl.queue.buf[job.slot] + kSlotPictureOffset, job.reduced);
    reduced_.Decoded(job.header.channel, job.reduced, bytes);
    packet->buf = nullptr;
    packet->data = nullptr;
    packet->size = 0;
    Publish(job.slot, job.header, bytes, job.arrived);
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

bool DvrSlot::StartDecodeLanes() {
    const int lanes = DecodeLanes::LaneCount(ctx_.limits.decodeLanes);
    if (lanes < 2 || Decoder.init != 1) {
        return false;
    }
    if (!payloadPool_) {
        payloadPool_.reset(av_buffer_pool_init(kMaxFramePayload + kInputPadding, nullptr));
    }
    while (lanePackets_.size() < static_cast<std::size_t>(lanes)) {
        PacketPtr packet(av_packet_alloc());
        if (!packet) {
            break;
        }
        lanePackets_.push_back(std::move(packet));
    }
    if (!payloadPool_ || lanePackets_.size() < static_cast<std::size_t>(lanes)) {
        return false;  // decoding stays on the receive thread
    }
    return lanes_.Start(lanes,
                        [this](int lane, DecodeLanes::Job& job) { DecodeOnLane(lane, job); });
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
