// A window-system port that records what the core asked of it. Thread-safe: the core calls it
// from connect threads and the test reads it from the test thread.
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "core/ports/UiPort.h"

class RecordingUi : public UiPort {
  public:
    struct Box {
        std::optional<std::string> heading;
        std::string text;
    };
    struct Title {
        int dvr;
        std::string title;
    };

    void messageBox(const std::optional<std::string>& heading, const std::string& text) override;
    void setNodeTitle(int dvr, const std::string& title) override;
    void reloadTree() override;
    bool confirm(const std::string& message, const std::string& informative) override;
    void appendNode(const std::string& title) override;
    void removeNode(int index) override;
    int selectedDvr() override;
    void clearSelection() override;
    void setDvrLabel(const std::string& text) override;
    bool reconnectAutomatically(int dvr) override;
    void setReconnect(bool on);

    // The tree as the core left it: one title per node.
    std::vector<std::string> nodes() const;
    void select(int dvr);
    void answerConfirm(bool ok);
    int confirmations() const;
    std::string label() const;

    std::vector<Box> boxes() const;
    std::vector<Title> titles() const;
    int reloads() const;
    // The last title set for a node, or "" when none was.
    std::string titleOf(int dvr) const;
    // Waits until at least n boxes were shown.
    bool waitForBoxes(std::size_t n, std::chrono::milliseconds limit) const;

  private:
    mutable std::mutex lock_;
    mutable std::condition_variable changed_;
    std::vector<Box> boxes_;
    std::vector<Title> titles_;
    int reloads_ = 0;
    std::vector<std::string> nodes_;
    int selected_ = -1;
    bool confirmAnswer_ = true;
    int confirmations_ = 0;
    std::string label_;
    bool reconnect_ = true;
};
