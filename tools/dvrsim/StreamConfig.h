// Command-line settings of the simulator's live stream.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

class EncodedLoop;

// A misbehaviour injected once a session has sent a number of frames.
struct StreamFault {
    enum class Kind {
        CloseMidFrame,  // half a frame, then the connection closes
        BadType,        // one frame of type 'X', then the stream goes on
        Oversize,       // a header announcing more than the largest payload, then silence
        Stall,          // silence; commands are still read
        UnknownInfo,    // a NET_OTHER_INFO record of a subtype the client does not know
        Garbage,        // 4,093 pseudo-random bytes (always the same), then the connection closes
        Blackhole,      // nothing more goes out, not even a reply; commands are still read
    };
    Kind kind = Kind::Stall;
    int64_t afterFrames = 0;
    bool firstSessionOnly = false;  // "KIND-once:K": later sessions behave
};

// The name of a fault on the command line, e.g. "close-mid-frame".
const char* FaultName(StreamFault::Kind kind);

struct StreamConfig {
    int8_t videoStandard = 0;    // header byte 28
    int8_t imageSize = 2;        // header byte 29; 0:2 is 352x288
    bool geometryGiven = false;  // --geometry was on the command line
    int gop = 50;                // key-frame interval, also the length of the replayed loop
    int bundle = 0;              // > 0: frames of a tick go out in bundles of at most this many
    int audioEvery = 0;          // > 0: one audio frame after this many video frames of a channel
    std::string recordDir;       // non-empty: video payloads are appended to DIR/chC.h264
    std::optional<StreamFault> fault;
    int trickleMicros = 0;  // > 0: every byte goes out alone, this long after the one before
    int fps = 0;            // > 0: live view at this rate, whatever the client asks for
    std::string h264Path;   // non-empty: every channel replays this file's pictures
    // The pictures of h264Path, loaded by main before serving; the geometry is theirs.
    std::shared_ptr<EncodedLoop> h264Loop;
};

enum class StreamOption { NotMine, Parsed, Bad };

// Parses one streaming option and its value (null when the command line ended). On Bad, `error`
// says why.
StreamOption ParseStreamOption(const std::string& arg, const char* value, StreamConfig& config,
                               std::string& error);
