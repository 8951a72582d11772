// A video area that records what the core drew, for tests without a window.
#pragma once

#include <map>

#include "core/ports/DisplayPort.h"
#include "tests/support/Guarded.h"

class RecordingDisplay : public DisplayPort, private Guarded {
  public:
    PaneRect SurfaceBounds() override { return {0, 0, 800, 600}; }
    void clearScreen(uint32_t) override {}
    void renderCurrentFrame(const PaneRect& rect, int pane, uint32_t) override {
        std::lock_guard<std::mutex> g(lock_);
        ++renders_[pane];
        lastRect_[pane] = rect;
    }
    void EnableLargeSplits(bool enabled) override { Set(largeSplits_, enabled); }
    void MarkPane(int pane, const PaneRect&, const PaneMark& mark) override {
        std::lock_guard<std::mutex> g(lock_);
        marks_[pane] = mark;
    }

    PaneMark Mark(int pane) const {
        std::lock_guard<std::mutex> g(lock_);
        auto it = marks_.find(pane);
        return it == marks_.end() ? PaneMark{} : it->second;
    }
    // How many pictures each pane was given.
    std::map<int, int> renders() const { return Get(renders_); }
    PaneRect lastRect(int pane) const { return Get(lastRect_).at(pane); }
    void Forget() { Set(renders_, std::map<int, int>{}); }
    bool largeSplits() const { return Get(largeSplits_); }

  private:
    std::map<int, int> renders_;
    std::map<int, PaneRect> lastRect_;
    std::map<int, PaneMark> marks_;
    bool largeSplits_ = false;
};
