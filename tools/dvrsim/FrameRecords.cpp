#include "tools/dvrsim/FrameRecords.h"

#include <chrono>
#include <cstring>

namespace {

template <typename T>
void AppendBytes(std::vector<uint8_t>& out, const T& record) {
    const auto* p = reinterpret_cast<const uint8_t*>(&record);
    out.insert(out.end(), p, p + sizeof record);
}

std::size_t Aligned(std::size_t n) {
    return (n + kBundleAlign - 1) / kBundleAlign * kBundleAlign;
}

}  // namespace

FrameTime FrameTimeNow() {
    const auto since = std::chrono::system_clock::now().time_since_epoch();
    const auto sec = std::chrono::duration_cast<std::chrono::seconds>(since);
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(since - sec);
    return FrameTime{static_cast<uint32_t>(sec.count()), static_cast<uint32_t>(ms.count() + 1)};
}

NET_FRAME_HEADER MakeFrameHeader(char type, int32_t channel, uint32_t frameNo, std::size_t dataLen,
                                 int8_t videoStandard, int8_t imageSize, FrameTime time) {
    NET_FRAME_HEADER h{};
    h.dataLen = static_cast<uint32_t>(dataLen);
    h.timeSec = time.sec;
    h.timeExtra = time.extra;
    h.type = type;
    h.channel = channel;
    h.videoStandard = videoStandard;
    h.imageSize = imageSize;
    h.frameNo = frameNo;
    return h;
}

void AppendFrameRecord(std::vector<uint8_t>& out, const NET_FRAME_HEADER& header,
                       std::span<const uint8_t> payload) {
    AppendBytes(out, MakeCommand(NET_FRAME_DATA));
    AppendBytes(out, header);
    out.insert(out.end(), payload.begin(), payload.end());
}

void AppendBundleRecord(std::vector<uint8_t>& out, std::span<const MediaFrame> members) {
    std::size_t dataLen = 0;
    for (const MediaFrame& m : members) {
        dataLen = Aligned(dataLen) + sizeof(NET_FRAME_HEADER) + m.payload.size();
    }
    const NET_FRAME_HEADER& first = members.front().header;
    NET_FRAME_HEADER bundle =
        MakeFrameHeader('V', first.channel, static_cast<uint32_t>(members.size()), dataLen,
                        first.videoStandard, first.imageSize, {0, 0});
    AppendBytes(out, MakeCommand(NET_FRAME_DATA));
    AppendBytes(out, bundle);
    const std::size_t start = out.size();
    for (const MediaFrame& m : members) {
        // Offsets count from the start of the bundle payload.
        out.resize(start + Aligned(out.size() - start), 0);
        NET_FRAME_HEADER h = m.header;
        h.seqReset = m.firstAfterStart ? 1 : 0;
        AppendBytes(out, h);
        out.insert(out.end(), m.payload.begin(), m.payload.end());
    }
}
