#include "core/layout/ScreenLayout.h"

#include <algorithm>

#include "core/support/Log.h"
#include "core/wire/WireFormats.h"

ScreenLayout::ScreenLayout() {
    for (auto& code : m_selfChannel) {
        code.store(0);
    }
}

int32_t ScreenLayout::Init(int32_t maximum, int32_t split) {
    std::lock_guard<std::mutex> g(layoutLock_);
    return InitLayout(ShowCtrl, maximum, split);
}

int32_t ScreenLayout::Select(int32_t split) {
    std::lock_guard<std::mutex> g(layoutLock_);
    return SelectSplit(ShowCtrl, split);
}

int32_t ScreenLayout::SelectFirstPage(int32_t split) {
    std::lock_guard<std::mutex> g(layoutLock_);
    if (!IsSplitCount(split)) {
        return -1;
    }
    ShowCtrl.iShowChanNum = 0;  // as if another split were shown: selecting it starts at page 0
    return SelectSplit(ShowCtrl, split);
}

int32_t ScreenLayout::SelectPage(int32_t split, int32_t page) {
    std::lock_guard<std::mutex> g(layoutLock_);
    if (!IsSplitCount(split)) {
        return -1;
    }
    ShowCtrl.iShowChanNum = 0;  // as if another split were shown: the first page, then turn
    SelectSplit(ShowCtrl, split);
    for (int32_t p = 0; p < std::min(page, kLayoutPanes); ++p) {
        SelectSplit(ShowCtrl, split);
    }
    return 0;
}

int32_t ScreenLayout::SelectPreviousPage() {
    std::lock_guard<std::mutex> g(layoutLock_);
    return ::SelectPreviousPage(ShowCtrl);
}

void ScreenLayout::ComputeRects(const PaneRect& bounds) {
    std::lock_guard<std::mutex> g(layoutLock_);
    ComputePaneRects(ShowCtrl, bounds);
    ++generation_;
}

uint32_t ScreenLayout::Generation() const {
    return generation_.load();
}

void ScreenLayout::SetShowMaxNum(int32_t maximum) {
    std::lock_guard<std::mutex> g(layoutLock_);
    ShowCtrl.iShowMaxNum = maximum;
}

bool ScreenLayout::ZoomAt(float x, float y) {
    std::lock_guard<std::mutex> g(layoutLock_);
    const int32_t pane = ShownPaneAt(ShowCtrl, x, y);
    if (pane < 0) {
        return false;
    }
    ShowCtrl.iSelectChan = pane;
    AnalyseShowFrame(ShowCtrl);
    return true;
}

bool ScreenLayout::MoveSelection(int dx, int dy) {
    std::lock_guard<std::mutex> g(layoutLock_);
    const int32_t before = ShowCtrl.iSelectChan;
    return ::MoveSelection(ShowCtrl, dx, dy) == 0 && ShowCtrl.iSelectChan != before;
}

bool ScreenLayout::ZoomSelected() {
    std::lock_guard<std::mutex> g(layoutLock_);
    const int32_t pane = ShowCtrl.iSelectChan;
    if (ShowCtrl.iShowChanNum != 1 &&
        (pane < 0 || pane >= kLayoutPanes || ShowCtrl.m_screenRect[pane].iOnShow != 1)) {
        return false;  // no shown pane is selected
    }
    AnalyseShowFrame(ShowCtrl);
    return true;
}

int32_t ScreenLayout::SelectedPane() const {
    std::lock_guard<std::mutex> g(layoutLock_);
    return ShowCtrl.iSelectChan;
}

SCREEN_SHOW_CTRL ScreenLayout::LayoutCopy() const {
    std::lock_guard<std::mutex> g(layoutLock_);
    return ShowCtrl;
}

std::optional<PaneRect> ScreenLayout::ShownRect(int pane, uint32_t* generation) const {
    if (pane < 0 || pane >= kPanes) {
        return std::nullopt;
    }
    std::lock_guard<std::mutex> g(layoutLock_);
    if (generation) {
        *generation = generation_.load();
    }
    if (ShowCtrl.m_screenRect[pane].iOnShow != 1) {
        return std::nullopt;
    }
    return ShowCtrl.m_screenRect[pane].FrameRect;
}

void ScreenLayout::WriteSelfChannel(int pane, int32_t code) {
    if (pane >= 0 && pane < kPanes) {
        m_selfChannel[pane].store(code);
        QLog("WriteSelfChannel=%d", code);
    }
}

int32_t ScreenLayout::SelfChannel(int pane) const {
    return pane >= 0 && pane < kPanes ? m_selfChannel[pane].load() : -1;
}

int32_t ScreenLayout::ReadSelfChannelChan(int32_t code) const {
    for (int32_t p = 0; p < kPanes; ++p) {
        if (m_selfChannel[p].load(std::memory_order_relaxed) == code) {
            return p;
        }
    }
    return -1;
}

int32_t ScreenLayout::ShownCode(int pane) const {
    const int32_t code = SelfChannel(pane);
    return code >= 0 && ReadSelfChannelChan(code) == pane ? code : -1;
}

void ScreenLayout::CopyCodes(int32_t (&codes)[kPanes]) const {
    for (int p = 0; p < kPanes; ++p) {
        codes[p] = m_selfChannel[p].load();
    }
}

void ScreenLayout::LoadCodes(const int32_t (&codes)[kPanes]) {
    for (int p = 0; p < kPanes; ++p) {
        m_selfChannel[p].store(codes[p]);
    }
}

int32_t CodeAfterDvrRemoved(int32_t code, int dvr) {
    if (code < 0) {
        return code;
    }
    const int32_t d = code / 100;
    if (d == dvr) {
        return -1;
    }
    return d > dvr && d < kMaxDvrs ? code - 100 : code;
}

void ScreenLayout::DvrRemoved(int dvr) {
    // Panes keep showing the cameras the operator chose: codes of the removed DVR become
    // unassigned, codes of the DVRs after it follow their entries down.
    for (auto& code : m_selfChannel) {
        code.store(CodeAfterDvrRemoved(code.load(), dvr));
    }
}
