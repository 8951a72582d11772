// Puts a session's frames on the wire: as ordinary records or in bundles, records the video
// payloads that went out, counts frames and injects the configured fault when it is due.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "tools/dvrsim/CommandLog.h"
#include "tools/dvrsim/FrameRecorder.h"
#include "tools/dvrsim/FrameRecords.h"
#include "tools/dvrsim/SessionSocket.h"
#include "tools/dvrsim/StreamConfig.h"

class FrameEmitter {
  public:
    FrameEmitter(const StreamConfig& config, CommandLog& log, SessionSocket& socket,
                 FrameRecorder& recorder);

    // Sends the frames of one tick in order. False once the session sends nothing more: the
    // peer is gone, or a fault silenced or closed the connection.
    bool Emit(std::span<const MediaFrame> frames);

  private:
    bool SendUnit(std::span<const MediaFrame> frames);
    // Acts out the fault in place of (or before) `next`; false when sending ends.
    bool Inject(StreamFault::Kind kind, const MediaFrame& next);

    const StreamConfig& config_;
    CommandLog& log_;
    SessionSocket& socket_;
    FrameRecorder& recorder_;
    std::optional<StreamFault> pendingFault_;
    int64_t sent_ = 0;  // frames sent in this session, video and audio, bundled or not
    std::vector<uint8_t> buffer_;
};
