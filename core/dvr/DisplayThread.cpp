// A DVR's display thread: takes pictures off the DVR's queue and draws each in its pane.
#include "core/ViewController.h"
#include "core/decode/PixelConversion.h"
#include "core/support/Log.h"

namespace {
// Pictures and the stop both notify the queue; this only bounds a missed wake-up.
constexpr auto kIdleWait = std::chrono::seconds(5);
constexpr int kKeptBehind = 2;  // a picture is taken once another waits behind it
}  // namespace

void oneNetThread3(ThreadStart start) {
    start.controller->animationother(start.dvr);
}

void ViewController::animationother(int dvr) {
    NetCtrl_Struct& b = NetCtrl[dvr];
    while (b.ThreadWork.load() != 0) {
        NET_FRAME_HEADER h;
        const uint8_t* pixels = nullptr;
        int64_t arrived = 0;
        // Blocks until pictures come (or the thread must stop): an idle DVR costs nothing.
        if (!b.peekOldest(kKeptBehind, kIdleWait, h, pixels, &arrived)) {
            continue;
        }
        // Only pictures are queued; anything else would be skipped, never end the thread.
        if (h.type == 'V') {
            Present(dvr, h, pixels, arrived);
        }
        b.popOldest();
    }
}

void ViewController::Present(int dvr, const NET_FRAME_HEADER& h, const uint8_t* pixels,
                             int64_t arrived) {
    DisplayPort* display = display_.load();
    if (!display || !AVDataFrame.allocated()) {
        return;
    }
    const bool allDvrView = m_selfChannelEffectFlag.load() != 0;
    if (dvr != focusID.load() && !allDvrView) {
        return;  // not shown in the single-DVR view of another DVR
    }
    const bool playback = NetCtrl[dvr].ViewOrBack.load() == VIEW_PLAYBACK;
    if (playback) {
        // Reported whether or not the picture's pane is shown: the window follows the play.
        if (PlaybackPort* port = playback_.load()) {
            port->SetTimeNow(static_cast<int32_t>(h.timeSec % kDaySeconds));
        }
    }
    const int32_t channel = h.channel;
    int32_t target = GetChangedChannel(channel, dvr);
    if (target < 0) {
        target = channel;
    }
    int32_t pane = channel;
    if (allDvrView) {
        pane = ReadSelfChannelChan(dvr * 100 + channel);
    }
    const int32_t drawnIn = playback ? target : pane;
    if (pane < 0 || pane >= kPanes || drawnIn < 0 || drawnIn >= kPanes) {
        return;
    }
    PaneRect rect;
    {
        std::lock_guard<std::mutex> g(layoutLock_);
        if (ShowCtrl.m_screenRect[drawnIn].iOnShow != 1) {
            return;
        }
        rect = ShowCtrl.m_screenRect[drawnIn].FrameRect;
    }
    PaneBuffers::Pane& buffer = AVDataFrame[pane];
    std::lock_guard<std::mutex> g(buffer.lock);
    DataChange(buffer.pixels, pixels, h.imageSize);
    buffer.sizeFrame = h.imageSize;
    buffer.arrivedAt = arrived;
    display->renderCurrentFrame(rect, pane);
}
