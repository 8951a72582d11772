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

    void MessageBox(const std::optional<std::string>& heading, const std::string& text) override;
    void SetNodeTitle(int, const std::string&) override {}
    void ReloadTree() override {}
    bool Confirm(const std::string&, const std::string&) override { return false; }
    void AppendNode(const std::string&) override {}
    void RemoveNode(int) override {}
    int SelectedDvr() override { return -1; }
    void ClearSelection() override {}
    void SetDvrLabel(const std::string&) override {}
    bool ReconnectAutomatically(int) override { return true; }

    // The text of the first box, if there was one.
    std::optional<std::string> FirstMessage() const;

  private:
    const bool echo_;
    mutable std::mutex lock_;
    std::optional<std::string> first_;
};
