// The DVR stream parser: reads one unit of what a logged-in DVR sends (a command record, and a
// frame, a bundle of frames or an information reply after it) from a byte source and hands what
// it found to a sink. Every length and count the DVR sends is checked against the buffers before
// it is used; a unit that breaks the protocol ends with ProtocolError and nothing of it reaches
// the sink past the break.
//
// Threads: one thread at a time (the DVR's receive thread, or a fuzzer). The parser owns no
// memory: the two buffers it reads into belong to its DVR slot.
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/net/ByteSource.h"
#include "core/wire/WireFormats.h"

// What a parsed unit carries. Called on the parser's thread, in stream order.
class StreamSink {
  public:
    virtual ~StreamSink() = default;
    // One video or sound frame: `payload` holds h.dataLen bytes followed by the decoder's zero
    // padding, valid during the call. `bundleMember` for a frame that came inside a bundle.
    virtual void OnFrame(const NET_FRAME_HEADER& h, const uint8_t* payload, bool bundleMember,
                         int64_t arrived) = 0;
    // A disk-information reply: `count` records as sent (the first eight are in `disks`).
    virtual void OnDiskInfo(int32_t count, const NET_SEND_INFO (&disks)[kMaxDiskRecords]) = 0;
    // A record-list reply: the day's page count and, when it is above 0, `len` bytes of entries.
    virtual void OnRecordList(int32_t pages, const uint8_t* data, std::size_t len) = 0;
    // A play-state reply: iParam2 (9 playing, 8 refused) and iParam3 (the refusal's reason).
    virtual void OnPlayState(int32_t state, int32_t reason) = 0;
};

class StreamParser {
  public:
    enum class Unit {
        Read,           // a whole unit was read (and handed over, when it carried anything)
        Broken,         // the source ended or failed
        ProtocolError,  // the DVR broke the protocol: the connection cannot go on
    };

    // Both buffers hold kMaxFramePayload bytes plus kInputPadding.
    StreamParser(uint8_t* payload, uint8_t* member) : payload_(payload), member_(member) {}

    // Reads one unit.
    Unit RecvCommand(ByteSource& in, StreamSink& sink, NET_COMMAND& cmd);
    // The frame or bundle after a NET_FRAME_DATA record.
    Unit ReadFrameData(ByteSource& in, StreamSink& sink);
    // The information reply after a NET_OTHER_INFO record `cmd`.
    Unit ReadOtherInfo(ByteSource& in, StreamSink& sink, const NET_COMMAND& cmd);

  private:
    Unit ReadBundle(StreamSink& sink, const NET_FRAME_HEADER& bundle, int64_t arrived);

    uint8_t* payload_;
    uint8_t* member_;
};
