// A window-system port that records what the core asked of it. Thread-safe: the core calls it
// from connect threads and the test reads it from the test thread.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "core/ports/UiPort.h"
#include "tests/support/Guarded.h"

class RecordingUi : public UiPort, private Guarded {
  public:
    struct Box {
        std::optional<std::string> heading;
        std::string text;
    };
    struct Title {
        int dvr;
        std::string title;
    };

    void MessageBox(const std::optional<std::string>& heading, const std::string& text) override {
        Add(boxes_, Box{heading, text});
    }
    void SetNodeTitle(int dvr, const std::string& title) override {
        std::lock_guard<std::mutex> g(lock_);
        titles_.push_back({dvr, title});
        if (dvr >= 0 && dvr < static_cast<int>(nodes_.size())) {
            nodes_[static_cast<std::size_t>(dvr)] = title;
        }
    }
    void ReloadTree() override {
        std::lock_guard<std::mutex> g(lock_);
        ++reloads_;
    }
    bool Confirm(const std::string&, const std::string&) override {
        std::lock_guard<std::mutex> g(lock_);
        ++confirmations_;
        return confirmAnswer_;
    }
    void AppendNode(const std::string& title) override { Add(nodes_, title); }
    void RemoveNode(int index) override {
        std::lock_guard<std::mutex> g(lock_);
        if (index >= 0 && index < static_cast<int>(nodes_.size())) {
            nodes_.erase(nodes_.begin() + index);
        }
    }
    int SelectedDvr() override { return Get(selected_); }
    void ClearSelection() override { Set(selected_, -1); }
    void SetDvrLabel(const std::string& text) override { Set(label_, text); }
    bool ReconnectAutomatically(int) override { return Get(reconnect_); }

    void setReconnect(bool on) { Set(reconnect_, on); }
    void Select(int dvr) { Set(selected_, dvr); }
    void AnswerConfirm(bool ok) { Set(confirmAnswer_, ok); }
    // The tree as the core left it: one title per node.
    std::vector<std::string> nodes() const { return Get(nodes_); }
    int confirmations() const { return Get(confirmations_); }
    std::string label() const { return Get(label_); }
    std::vector<Box> boxes() const { return Get(boxes_); }
    std::vector<Title> titles() const { return Get(titles_); }
    int reloads() const { return Get(reloads_); }
    // The last title set for a node, or "" when none was.
    std::string TitleOf(int dvr) const {
        const std::vector<Title> all = titles();
        for (auto it = all.rbegin(); it != all.rend(); ++it) {
            if (it->dvr == dvr) {
                return it->title;
            }
        }
        return "";
    }

  private:
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
