// A slot's display thread: takes pictures off the queue and hands each over to be drawn.
#include "core/dvr/DvrSlot.h"

namespace {
// Pictures and the stop both notify the queue; this only bounds a missed wake-up.
constexpr auto kIdleWait = std::chrono::seconds(5);
constexpr int kKeptBehind = 2;  // a picture is taken once another waits behind it
}  // namespace

void DvrSlot::animationother() {
    NetCtrl_Struct& b = NetCtrl;
    while (b.ThreadWork.load() != 0) {
        NET_FRAME_HEADER h;
        const uint8_t* pixels = nullptr;
        int64_t arrived = 0;
        // Blocks until pictures come (or the thread must stop): an idle DVR costs nothing.
        if (!b.queue.PeekOldest(kKeptBehind, kIdleWait, h, pixels, &arrived)) {
            continue;
        }
        // Only pictures are queued; anything else would be skipped, never end the thread.
        if (h.type == 'V') {
            ctx_.events.Present(dvr_, h, pixels, arrived);
        }
        b.queue.PopOldest();
    }
}
