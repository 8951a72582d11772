// The controller's view: the split-screen layout's operations, what each pane shows, and drawing
// a picture that a DVR's display thread took into its pane.
#include <algorithm>
#include <cstring>
#include <mutex>

#include "core/ViewController.h"
#include "core/decode/PixelConversion.h"
#include "core/decode/SizeFrame.h"
#include "core/dvr/DvrSlot.h"
#include "core/support/Log.h"

// ---- Split-screen layout ----

int32_t ViewController::InitScreenCtrl(int32_t maximum, int32_t split) {
    if (layout_.Init(maximum, split) != 0) {
        return -1;
    }
    GetScreenRect();
    return 0;
}

int32_t ViewController::SetScreenWindow(int32_t split) {
    if (layout_.Select(split) != 0) {
        return -1;
    }
    GetScreenRect();
    return 0;
}

void ViewController::GetScreenRect() {
    DisplayPort* display = display_.load();
    if (!display) {
        return;
    }
    layout_.ComputeRects(display->SurfaceBounds());
    display->clearScreen(layout_.Generation());
    for (PaneMark& shown : marksShown_) {
        shown = PaneMark{};  // the clear took them off
    }
}

void ViewController::SurfaceResized() {
    GetScreenRect();
}

std::optional<ViewController::PaneSource> ViewController::SourceOfPane(int pane) const {
    if (pane < 0 || pane >= kPanes) {
        return std::nullopt;
    }
    const int focus = focusID.load();
    if (focus >= 0) {
        if (pane >= kMaxChannels || focus >= list_.count()) {
            return std::nullopt;
        }
        if (slots_[focus]->NetCtrl.ViewOrBack.load() == VIEW_PLAYBACK) {
            // The four playback panes show the chosen channels at the played time.
            const int32_t channel = session_.state().BandChannel(focus, pane);
            if (channel < 0) {
                return std::nullopt;
            }
            return PaneSource{focus, channel, session_.state().Played(focus)};
        }
        return PaneSource{focus, pane};
    }
    const int32_t code = layout_.ShownCode(pane);
    const int dvr = code / 100;
    const int channel = code % 100;
    if (code < 0 || dvr >= list_.count() || channel >= kMaxChannels) {
        return std::nullopt;
    }
    return PaneSource{dvr, channel};
}

void ViewController::SetShowMaxNum(int32_t maximum) {
    layout_.SetShowMaxNum(maximum);
}

void ViewController::doSomethingForButton(int32_t split) {
    QLog("doSomethingForButton%d", split);
    SetScreenWindow(split);
    AllNetServerAdjust();
}

void ViewController::NextPage() {
    const int32_t split = LayoutCopy().iShowChanNum;
    if (split > 1) {
        doSomethingForButton(split);  // a press of the split shown turns its page
    }
}

void ViewController::ShowSplitPage(int32_t split, int32_t page) {
    if (layout_.SelectPage(split, page) == 0) {
        GetScreenRect();
        AllNetServerAdjust();
    }
}

void ViewController::PreviousPage() {
    if (layout_.SelectPreviousPage() == 0) {
        GetScreenRect();
        AllNetServerAdjust();
    }
}

bool ViewController::MoveSelection(int dx, int dy) {
    return layout_.MoveSelection(dx, dy);
}

void ViewController::ZoomSelected() {
    if (layout_.ZoomSelected()) {
        GetScreenRect();
        AllNetServerAdjust();
    }
}

void ViewController::DoLeftMouseButton(float x, float y) {
    if (layout_.ZoomAt(x, y)) {
        GetScreenRect();
        AllNetServerAdjust();
    }
    QLog("DoLeftMouseButton");
}

void ViewController::WriteSelfChannel(int pane, int32_t code) {
    layout_.WriteSelfChannel(pane, code);
}

int32_t ViewController::ReadSelfChannelChan(int32_t code) const {
    return layout_.ReadSelfChannelChan(code);
}

int32_t ViewController::GetChangedChannel(int32_t channel, int dvr) const {
    return session_.state().GetChangedChannel(channel, dvr);
}

void ViewController::AutoSetDvrDisplay(int dvr, int position) {
    // A negative count from a DVR counts as none; panes past 255 do not exist.
    const int32_t count = std::max(Slot(dvr).NetCtrl.iDvrChannel.load() % 100, 0);
    QLog("AutoSetDvrDisplay=%d %d", count, dvr);
    for (int32_t c = 0; c < count && position + c < kPanes; ++c) {
        WriteSelfChannel(position + c, dvr * 100 + c);
    }
}

void ViewController::AutoSetDisplay() {
    int position = 0;
    for (int d = 0; d < list_.count() && d < kMaxDvrs; ++d) {
        const NetCtrl_Struct& b = Slot(d).NetCtrl;
        const int32_t status = b.CurNetStatus.load();
        if (status != NET_DISCONNECTED && status != NET_ERROR) {
            AutoSetDvrDisplay(d, position);
            position += std::max(b.iDvrChannel.load() % 100, 0);
        }
    }
    // A pane given to another camera shows nothing of the one it had: the surface is cleared
    // and pictures placed under the old assignment are dropped.
    GetScreenRect();
    AllNetServerAdjust();
    UnloadUserInfoToFile();
}

void ViewController::Show36MoreButton() {
    if (DisplayPort* display = display_.load()) {
        display->EnableLargeSplits(true);
    }
}

void ViewController::Hide36MoreButton() {
    if (DisplayPort* display = display_.load()) {
        display->EnableLargeSplits(false);
    }
}

// ---- Drawing a picture ----

void ViewController::Present(int dvr, const NET_FRAME_HEADER& h, const uint8_t* pixels,
                             int64_t arrived) {
    DisplayPort* display = display_.load();
    if (!display || !layout_.AVDataFrame.allocated()) {
        return;
    }
    // The layout's generation first: a view change writes the view, the focus and the panes'
    // assignment before it starts a new generation, so what is read after this is at least as
    // new, and a picture placed by an older view than the one it is drawn in is dropped below.
    const uint32_t seen = layout_.Generation();
    const bool allDvrView = m_selfChannelEffectFlag.load() != 0;
    if (dvr != focusID.load() && !allDvrView) {
        return;  // not shown in the single-DVR view of another DVR
    }
    const NetCtrl_Struct& b = Slot(dvr).NetCtrl;
    if (!b.LoggedIn()) {
        return;  // pictures still queued when the session ended: its panes say why they stopped
    }
    const bool playback = b.ViewOrBack.load() == VIEW_PLAYBACK;
    // A picture belongs to the session it came in: a live one still queued when the playback
    // began, or a played one after the session ended, has no pane to go to.
    if (playback != ((h.spare & kPlayedPicture) != 0)) {
        return;
    }
    if (playback) {
        // Reported whether or not the picture's pane is shown: the window follows the play.
        const auto second = static_cast<int32_t>(h.timeSec % kDaySeconds);
        session_.state().SetPlayed(dvr, second);
        if (PlaybackPort* port = session_.port()) {
            port->SetTimeNow(dvr, second);
        }
    }
    // A played picture belongs in its band of the DVR's own view; the all-DVR view's panes are
    // live cameras, and a recording shown there would pass for one.
    if (playback && allDvrView) {
        return;
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
    // The pane it is drawn in owns the buffer it is written to: marks, the selection's frame and
    // snapshots of that pane read the same picture.
    const int32_t drawnIn = playback ? target : pane;
    if (drawnIn < 0 || drawnIn >= kPanes) {
        return;
    }
    // The rectangle and its layout's generation together: a picture placed before a layout change
    // that has not reached the surface yet is dropped there, not drawn into an old rectangle.
    uint32_t generation = 0;
    const std::optional<PaneRect> rect = layout_.ShownRect(drawnIn, &generation);
    if (!rect || generation != seen) {
        return;
    }
    // A channel shown at half its size or less everywhere comes already packed at that size:
    // all its panes can show, at a quarter of the bytes to keep and upload.
    const bool halved = (h.spare & kHalvedPicture) != 0;
    PaneBuffers::Pane& buffer = layout_.AVDataFrame[drawnIn];
    std::lock_guard<std::mutex> g(buffer.lock);
    if (const auto size = SizeFrameGeometry(h.imageSize); size && halved) {
        std::memcpy(buffer.pixels, pixels, size->HalfPackedBytes());
        layout_.AVDataFrame.Wrote(drawnIn, size->HalfPackedBytes());
    } else if (size) {
        DataChange(buffer.pixels, pixels, h.imageSize);
        layout_.AVDataFrame.Wrote(drawnIn, size->PackedBytes());
    }
    buffer.sizeFrame = h.imageSize;
    buffer.halved = halved;
    buffer.arrivedAt = arrived;
    ++buffer.version;
    display->renderCurrentFrame(*rect, drawnIn, generation);
}
