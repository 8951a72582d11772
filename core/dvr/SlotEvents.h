// What a DVR slot needs from the rest of the client, kept apart from the slot itself so that the
// controller's header can name it without the decoders' FFmpeg declarations.
#pragma once

#include <cstdint>
#include <mutex>

#include "core/directory/SaveInfo.h"
#include "core/wire/WireFormats.h"

class CancelSignal;
class DecodePool;
class DvrList;
class UiPort;
struct ConnectionLimits;

// What a slot needs from the rest of the client.
class SlotEvents {
  public:
    virtual ~SlotEvents() = default;
    // A picture taken off the slot's queue, for its pane. Display thread of `dvr`; the pixels
    // stay valid during the call.
    virtual void Present(int dvr, const NET_FRAME_HEADER& h, const uint8_t* pixels,
                         int64_t arrived) = 0;
    // A superuser's playback session is logged in: the window opens with the disks and today's
    // map. Connect thread of `dvr`; may block it for the requests it makes.
    virtual void PlaybackSessionUp(int dvr, const SAVE_INFO_STRUCT& entry) = 0;
};

// The services every slot shares; they outlive the slots.
struct SlotContext {
    UiPort& ui;
    const DvrList& list;
    const ConnectionLimits& limits;
    std::mutex& sendLock;  // the process-wide lock around each send call
    const CancelSignal& cancel;
    SlotEvents& events;
    DecodePool& decodePool;  // the decode threads every slot shares
};
