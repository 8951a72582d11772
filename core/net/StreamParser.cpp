#include "core/net/StreamParser.h"

#include <algorithm>
#include <cstring>

#include "core/decode/InputPadding.h"
#include "core/support/Clocks.h"
#include "core/support/Log.h"

namespace {

// More disk records than any DVR has: a larger count is a broken stream.
constexpr int32_t kMaxDiskRecordsOnWire = 1024;

bool IsMediaType(char type) {
    return type == 'V' || type == 'A';
}

}  // namespace

StreamParser::Unit StreamParser::RecvCommand(ByteSource& in, StreamSink& sink, NET_COMMAND& cmd) {
    if (!in.ReadExactly(&cmd, sizeof cmd)) {
        return Unit::Broken;
    }
    if (cmd.iCmd == NET_FRAME_DATA) {
        return ReadFrameData(in, sink);
    }
    if (cmd.iCmd == NET_OTHER_INFO) {
        QLog("ReadOtherInfo");
        return ReadOtherInfo(in, sink, cmd);
    }
    return Unit::Read;  // other records carry nothing for the client
}

StreamParser::Unit StreamParser::ReadFrameData(ByteSource& in, StreamSink& sink) {
    NET_FRAME_HEADER h;
    if (!in.ReadExactly(&h, sizeof h)) {
        return Unit::Broken;
    }
    if (!IsMediaType(h.type) || h.dataLen > kMaxFramePayload) {
        QLog("protocol error: frame type %d, %u bytes", h.type, h.dataLen);
        return Unit::ProtocolError;
    }
    if (!in.ReadExactly(payload_, h.dataLen)) {
        return Unit::Broken;
    }
    std::memset(payload_ + h.dataLen, 0, kInputPadding);
    const int64_t arrived = SteadyNs();
    if (h.timeSec == 0 && h.timeExtra == 0) {
        return ReadBundle(sink, h, arrived);
    }
    sink.OnFrame(h, payload_, /*bundleMember=*/false, arrived);
    return Unit::Read;
}

StreamParser::Unit StreamParser::ReadBundle(StreamSink& sink, const NET_FRAME_HEADER& bundle,
                                            int64_t arrived) {
    const std::size_t total = bundle.dataLen;
    std::size_t offset = 0;
    for (uint32_t k = 0; k < bundle.frameNo; ++k) {
        // Every member must lie wholly inside the bundle's payload.
        if (offset > total || total - offset < sizeof(NET_FRAME_HEADER)) {
            QLog("protocol error: bundle member %u outside the payload", k);
            return Unit::ProtocolError;
        }
        NET_FRAME_HEADER g;
        std::memcpy(&g, payload_ + offset, sizeof g);
        const std::size_t start = offset + sizeof g;
        if (!IsMediaType(g.type) || g.dataLen > total - start) {
            QLog("rrrrrr   header.type!='V'");
            return Unit::ProtocolError;
        }
        if (g.type != 'V') {
            QLog("split header.type!='V'");
        }
        // The decoder needs zero padding after its input, so a member is decoded from a copy.
        std::memcpy(member_, payload_ + start, g.dataLen);
        std::memset(member_ + g.dataLen, 0, kInputPadding);
        sink.OnFrame(g, member_, /*bundleMember=*/true, arrived);
        offset = (start + g.dataLen + 3) & ~std::size_t{3};
    }
    return Unit::Read;
}

StreamParser::Unit StreamParser::ReadOtherInfo(ByteSource& in, StreamSink& sink,
                                               const NET_COMMAND& cmd) {
    switch (cmd.iParam1) {
        case INFO_DISK: {
            const int32_t count = std::max(cmd.iParam2, 0);
            if (count > kMaxDiskRecordsOnWire) {
                QLog("protocol error: %d disk records", count);
                return Unit::ProtocolError;
            }
            // Records past the table's eight are read off the stream to stay in step.
            NET_SEND_INFO disks[kMaxDiskRecords] = {};
            for (int32_t i = 0; i < count; ++i) {
                NET_SEND_INFO record;
                if (!in.ReadExactly(&record, sizeof record)) {
                    return Unit::Broken;
                }
                if (i < kMaxDiskRecords) {
                    disks[i] = record;
                }
            }
            sink.OnDiskInfo(count, disks);
            return Unit::Read;
        }
        case INFO_RECORD_LIST: {
            std::size_t len = 0;
            if (cmd.iParam2 > 0) {
                if (cmd.iParam3 < 0 || static_cast<uint32_t>(cmd.iParam3) > kMaxFramePayload) {
                    QLog("protocol error: record list of %d bytes", cmd.iParam3);
                    return Unit::ProtocolError;
                }
                len = static_cast<std::size_t>(cmd.iParam3);
                // Read into the slot's own buffer: the requester may have given up meanwhile.
                if (!in.ReadExactly(payload_, len)) {
                    return Unit::Broken;
                }
            }
            sink.OnRecordList(cmd.iParam2, payload_, len);
            return Unit::Read;
        }
        case INFO_PLAY_STATE: sink.OnPlayState(cmd.iParam2, cmd.iParam3); return Unit::Read;
        default: QLog("information reply of subtype %d ignored", cmd.iParam1); return Unit::Read;
    }
}
