// A video area that records what the core drew, for tests without a window.
#pragma once

#include <map>
#include <mutex>
#include <vector>

#include "core/ports/DisplayPort.h"

class RecordingDisplay : public DisplayPort {
  public:
    explicit RecordingDisplay(PaneRect bounds = {0, 0, 800, 600}) : bounds_(bounds) {}

    PaneRect surfaceBounds() override {
        std::lock_guard<std::mutex> g(lock_);
        return bounds_;
    }
    void clearScreen(uint32_t) override {
        std::lock_guard<std::mutex> g(lock_);
        ++clears_;
    }
    void renderCurrentFrame(const PaneRect& rect, int pane, uint32_t) override {
        std::lock_guard<std::mutex> g(lock_);
        ++renders_[pane];
        lastRect_[pane] = rect;
    }
    void enableLargeSplits(bool enabled) override {
        std::lock_guard<std::mutex> g(lock_);
        largeSplits_ = enabled;
    }
    void markPane(int pane, const PaneRect&, const PaneMark& mark) override {
        std::lock_guard<std::mutex> g(lock_);
        marks_[pane] = mark;
    }
    PaneMark mark(int pane) const {
        std::lock_guard<std::mutex> g(lock_);
        auto it = marks_.find(pane);
        return it == marks_.end() ? PaneMark{} : it->second;
    }

    void setBounds(PaneRect b) {
        std::lock_guard<std::mutex> g(lock_);
        bounds_ = b;
    }
    std::map<int, int> renders() const {
        std::lock_guard<std::mutex> g(lock_);
        return renders_;
    }
    PaneRect lastRect(int pane) const {
        std::lock_guard<std::mutex> g(lock_);
        return lastRect_.at(pane);
    }
    void forget() {
        std::lock_guard<std::mutex> g(lock_);
        renders_.clear();
    }
    int clears() const {
        std::lock_guard<std::mutex> g(lock_);
        return clears_;
    }
    bool largeSplits() const {
        std::lock_guard<std::mutex> g(lock_);
        return largeSplits_;
    }

  private:
    mutable std::mutex lock_;
    PaneRect bounds_;
    std::map<int, int> renders_;
    std::map<int, PaneRect> lastRect_;
    std::map<int, PaneMark> marks_;
    int clears_ = 0;
    bool largeSplits_ = false;
};
