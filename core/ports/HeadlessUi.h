// A window-system port without a window, for the probe, the benchmarks and the fuzzers: it keeps
// the first message box's text (and can echo every box to standard error), answers every
// question with "Cancel" and has no tree.
//
// Threads: any thread; the kept message is under a lock.
#pragma once

#include <mutex>
#include <optional>
#include <string>

#include "core/ports/UiPort.h"

class HeadlessUi : public UiPort {
  public:
    explicit HeadlessUi(bool echoBoxes = false) : echo_(echoBoxes) {}

    void messageBox(const std::optional<std::string>& heading, const std::string& text) override;
    void setNodeTitle(int, const std::string&) override {}
    void reloadTree() override {}
    bool confirm(const std::string&, const std::string&) override { return false; }
    void appendNode(const std::string&) override {}
    void removeNode(int) override {}
    int selectedDvr() override { return -1; }
    void clearSelection() override {}
    void setDvrLabel(const std::string&) override {}
    bool reconnectAutomatically(int) override { return true; }

    // The text of the first box, if there was one.
    std::optional<std::string> firstMessage() const;

  private:
    const bool echo_;
    mutable std::mutex lock_;
    std::optional<std::string> first_;
};
