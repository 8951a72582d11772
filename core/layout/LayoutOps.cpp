// The controller's layout operations: splits, pages, zoom, clicks and the pane assignment.
#include "core/ViewController.h"
#include "core/support/Log.h"

void ViewController::SetDisplayPort(DisplayPort* port) {
    display_.store(port);
}

SCREEN_SHOW_CTRL ViewController::LayoutCopy() const {
    std::lock_guard<std::mutex> g(layoutLock_);
    return ShowCtrl;
}

void ViewController::SetShowMaxNum(int32_t maximum) {
    std::lock_guard<std::mutex> g(layoutLock_);
    ShowCtrl.iShowMaxNum = maximum;
}

int32_t ViewController::InitScreenCtrl(int32_t maximum, int32_t split) {
    {
        std::lock_guard<std::mutex> g(layoutLock_);
        if (InitLayout(ShowCtrl, maximum, split) != 0) {
            return -1;
        }
    }
    GetScreenRect();
    return 0;
}

int32_t ViewController::SetScreenWindow(int32_t split) {
    {
        std::lock_guard<std::mutex> g(layoutLock_);
        if (SelectSplit(ShowCtrl, split) != 0) {
            return -1;
        }
    }
    GetScreenRect();
    return 0;
}

void ViewController::GetScreenRect() {
    DisplayPort* display = display_.load();
    if (!display) {
        return;
    }
    const PaneRect bounds = display->surfaceBounds();
    {
        std::lock_guard<std::mutex> g(layoutLock_);
        ComputePaneRects(ShowCtrl, bounds);
    }
    display->clearScreen();
}

void ViewController::SurfaceResized() {
    GetScreenRect();
}

void ViewController::doSomethingForButton(int32_t split) {
    QLog("doSomethingForButton%d", split);
    SetScreenWindow(split);
    AllNetServerAdjust();
}

void ViewController::DoLeftMouseButton(float x, float y) {
    bool zoomed = false;
    {
        std::lock_guard<std::mutex> g(layoutLock_);
        const int32_t pane = ShownPaneAt(ShowCtrl, x, y);
        if (pane >= 0) {
            ShowCtrl.iSelectChan = pane;
            AnalyseShowFrame(ShowCtrl);
            zoomed = true;
        }
    }
    if (zoomed) {
        GetScreenRect();
        AllNetServerAdjust();
    }
    QLog("DoLeftMouseButton");
}

void ViewController::WriteSelfChannel(int pane, int32_t code) {
    if (pane >= 0 && pane < kPanes) {
        m_selfChannel[pane].store(code);
        QLog("WriteSelfChannel=%d", code);
    }
}

int32_t ViewController::ReadSelfChannelChan(int32_t code) const {
    for (int32_t p = 0; p < kPanes; ++p) {
        if (m_selfChannel[p].load(std::memory_order_relaxed) == code) {
            return p;
        }
    }
    return -1;
}

int32_t ViewController::GetChangedChannel(int32_t channel, int dvr) const {
    if (dvr < 0 || dvr >= kMaxDvrs) {
        return -1;
    }
    for (int32_t k = 0; k < 4; ++k) {
        if (m_a[dvr][k].load(std::memory_order_relaxed) == channel + 1) {
            return k;
        }
    }
    return -1;
}

void ViewController::AutoSetDvrDisplay(int dvr, int position) {
    // A negative count from a DVR counts as none; panes past 255 do not exist.
    const int32_t count = std::max(NetCtrl[dvr].iDvrChannel.load() % 100, 0);
    QLog("AutoSetDvrDisplay=%d %d", count, dvr);
    for (int32_t c = 0; c < count && position + c < kPanes; ++c) {
        WriteSelfChannel(position + c, dvr * 100 + c);
    }
}

void ViewController::AutoSetDisplay() {
    int position = 0;
    for (int d = 0; d < usercount.load() && d < kMaxDvrs; ++d) {
        const int32_t status = NetCtrl[d].CurNetStatus.load();
        if (status != NET_DISCONNECTED && status != NET_ERROR) {
            AutoSetDvrDisplay(d, position);
            position += std::max(NetCtrl[d].iDvrChannel.load() % 100, 0);
        }
    }
    AllNetServerAdjust();
    UnloadUserInfoToFile();
}

void ViewController::Show36MoreButton() {
    if (DisplayPort* display = display_.load()) {
        display->enableLargeSplits(true);
    }
}

void ViewController::Hide36MoreButton() {
    if (DisplayPort* display = display_.load()) {
        display->enableLargeSplits(false);
    }
}
