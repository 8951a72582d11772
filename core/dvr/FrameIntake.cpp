// Frame intake on the receive thread: read a media frame, check its sequence, decode it and queue
// the picture for the display.
#include <cstring>
#include <thread>

#include "core/ViewController.h"
#include "core/decode/H264Scan.h"
#include "core/decode/SizeFrame.h"
#include "core/support/Log.h"

namespace {

constexpr auto kBackPressureStep = std::chrono::milliseconds(10);
constexpr int kBackPressureSteps = 101;
constexpr auto kKeyFrameRequestInterval = std::chrono::seconds(1);

bool IsMediaType(char type) {
    return type == 'V' || type == 'A';
}

}  // namespace

int32_t ViewController::ReadFrameData(NetCtrl_Struct& b) {
    const int dvr = b.NetID.load();
    NET_FRAME_HEADER h;
    if (ReadReceived(b, &h, sizeof h) < 0) {
        return -1;
    }
    if (!IsMediaType(h.type) || h.dataLen > kMaxFramePayload) {
        QLog("protocol error: frame type %d, %u bytes", h.type, h.dataLen);
        CloseSocket(b);
        return -1;
    }
    uint8_t* payload = b.tmpbuf.get();
    if (ReadReceived(b, payload, static_cast<int>(h.dataLen)) < 0) {
        return -1;
    }
    std::memset(payload + h.dataLen, 0, kInputPadding);
    const int64_t arrived = std::chrono::duration_cast<std::chrono::nanoseconds>(
                                std::chrono::steady_clock::now().time_since_epoch())
                                .count();
    if (h.timeSec == 0 && h.timeExtra == 0) {
        return ReadBundle(b, dvr, h, arrived);
    }
    IntakeFrame(b, dvr, h, payload, /*bundleMember=*/false, arrived);
    return 1;
}

int32_t ViewController::ReadBundle(NetCtrl_Struct& b, int dvr, const NET_FRAME_HEADER& bundle,
                                   int64_t arrived) {
    const uint8_t* payload = b.tmpbuf.get();
    const std::size_t total = bundle.dataLen;
    std::size_t offset = 0;
    for (uint32_t k = 0; k < bundle.frameNo; ++k) {
        // Every member must lie wholly inside the bundle's payload.
        if (offset > total || total - offset < sizeof(NET_FRAME_HEADER)) {
            QLog("protocol error: bundle member %u outside the payload", k);
            CloseSocket(b);
            return -1;
        }
        NET_FRAME_HEADER g;
        std::memcpy(&g, payload + offset, sizeof g);
        const std::size_t start = offset + sizeof g;
        if (!IsMediaType(g.type) || g.dataLen > total - start) {
            QLog("rrrrrr   header.type!='V'");
            CloseSocket(b);
            return -1;
        }
        if (g.type != 'V') {
            QLog("split header.type!='V'");
        }
        // The decoder needs zero padding after its input, so a member is decoded from a copy.
        uint8_t* member = AVData2[dvr].get();
        std::memcpy(member, payload + start, g.dataLen);
        std::memset(member + g.dataLen, 0, kInputPadding);
        IntakeFrame(b, dvr, g, member, /*bundleMember=*/true, arrived);
        offset = (start + g.dataLen + 3) & ~std::size_t{3};
    }
    return 1;
}

void ViewController::WaitForQueueRoom(NetCtrl_Struct& b) {
    for (int i = 0; i < kBackPressureSteps && b.Numframe.load() >= kBackPressureDepth &&
                    b.NetWorking.load() == 1 && b.ThreadWork.load() != 0;
         ++i) {
        std::this_thread::sleep_for(kBackPressureStep);
    }
}

void ViewController::IntakeFrame(NetCtrl_Struct& b, int dvr, NET_FRAME_HEADER h,
                                 const uint8_t* payload, bool bundleMember, int64_t arrived) {
    if (h.channel < 0 || h.channel >= kMaxChannels) {
        return;  // no decoder and no table entry for it
    }
    const int ch = h.channel;
    ChannelStats& stats = b.stats[ch];
    stats.frames.fetch_add(1, std::memory_order_relaxed);
    const bool video = h.type == 'V';
    if (video) {
        WaitForQueueRoom(b);
    }

    int32_t slot;
    {
        std::lock_guard<std::mutex> g(b.mutex);
        // Sound and pictures share the channel's count, so both pass the check.
        uint32_t& expected = frameNumber[dvr][ch];
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
        slot = b.Numframe.load() < kQueueSlots ? b.m_Top.load() : -1;
    }

    if (slot < 0) {
        // Our own drop, not a gap in the DVR's stream: the count stays in step, and the channel
        // resumes at the next key frame so that no picture decoded without its reference shows.
        stats.dropped.fetch_add(1, std::memory_order_relaxed);
        b.needKey[ch] = true;
        const auto now = std::chrono::steady_clock::now();
        if (now - b.lastKeyRequest >= kKeyFrameRequestInterval) {
            b.lastKeyRequest = now;
            CreateNetKeyFrame(b);
        }
        return;
    }
    if (b.needKey[ch]) {
        if (!ContainsIdrSlice(payload, h.dataLen)) {
            stats.dropped.fetch_add(1, std::memory_order_relaxed);
            return;
        }
        b.needKey[ch] = false;
    }

    // The slot at m_Top is not visible to the consumer until it is counted in Numframe, and only
    // this thread fills slots, so the picture is decoded straight into it without the lock.
    uint8_t* dst = b.buf[slot];
    const int32_t bytes =
        DecodeData(Decoder[dvr], payload, h.dataLen, h, ch, dst + kSlotPictureOffset);
    if (bytes <= 0) {
        return;  // nothing to show: compressed bytes never reach the screen
    }
    std::memcpy(dst, &h, sizeof h);
    stats.decoded.fetch_add(1, std::memory_order_relaxed);
    std::lock_guard<std::mutex> g(b.mutex);
    b.arrivedAt[slot] = arrived;
    b.m_Top.store((slot + 1) % kQueueSlots);
    b.Numframe.fetch_add(1);
    b.queued.notify_all();
}
