#include "tests/support/RecordingUi.h"

void RecordingUi::messageBox(const std::optional<std::string>& heading, const std::string& text) {
    std::lock_guard<std::mutex> g(lock_);
    boxes_.push_back({heading, text});
    changed_.notify_all();
}

void RecordingUi::setNodeTitle(int dvr, const std::string& title) {
    std::lock_guard<std::mutex> g(lock_);
    titles_.push_back({dvr, title});
    if (dvr >= 0 && dvr < static_cast<int>(nodes_.size())) {
        nodes_[static_cast<std::size_t>(dvr)] = title;
    }
}

bool RecordingUi::confirm(const std::string&, const std::string&) {
    std::lock_guard<std::mutex> g(lock_);
    ++confirmations_;
    return confirmAnswer_;
}

void RecordingUi::appendNode(const std::string& title) {
    std::lock_guard<std::mutex> g(lock_);
    nodes_.push_back(title);
}

void RecordingUi::removeNode(int index) {
    std::lock_guard<std::mutex> g(lock_);
    if (index >= 0 && index < static_cast<int>(nodes_.size())) {
        nodes_.erase(nodes_.begin() + index);
    }
}

int RecordingUi::selectedDvr() {
    std::lock_guard<std::mutex> g(lock_);
    return selected_;
}

void RecordingUi::clearSelection() {
    {
        std::lock_guard<std::mutex> g(lock_);
        selected_ = -1;
    }
}

void RecordingUi::setDvrLabel(const std::string& text) {
    std::lock_guard<std::mutex> g(lock_);
    label_ = text;
}

std::vector<std::string> RecordingUi::nodes() const {
    std::lock_guard<std::mutex> g(lock_);
    return nodes_;
}

void RecordingUi::select(int dvr) {
    std::lock_guard<std::mutex> g(lock_);
    selected_ = dvr;
}

void RecordingUi::answerConfirm(bool ok) {
    std::lock_guard<std::mutex> g(lock_);
    confirmAnswer_ = ok;
}

int RecordingUi::confirmations() const {
    std::lock_guard<std::mutex> g(lock_);
    return confirmations_;
}

std::string RecordingUi::label() const {
    std::lock_guard<std::mutex> g(lock_);
    return label_;
}

void RecordingUi::reloadTree() {
    std::lock_guard<std::mutex> g(lock_);
    ++reloads_;
}

std::vector<RecordingUi::Box> RecordingUi::boxes() const {
    std::lock_guard<std::mutex> g(lock_);
    return boxes_;
}

std::vector<RecordingUi::Title> RecordingUi::titles() const {
    std::lock_guard<std::mutex> g(lock_);
    return titles_;
}

int RecordingUi::reloads() const {
    std::lock_guard<std::mutex> g(lock_);
    return reloads_;
}

std::string RecordingUi::titleOf(int dvr) const {
    std::lock_guard<std::mutex> g(lock_);
    for (auto it = titles_.rbegin(); it != titles_.rend(); ++it) {
        if (it->dvr == dvr) {
            return it->title;
        }
    }
    return "";
}

bool RecordingUi::waitForBoxes(std::size_t n, std::chrono::milliseconds limit) const {
    std::unique_lock<std::mutex> g(lock_);
    return changed_.wait_for(g, limit, [&] { return boxes_.size() >= n; });
}

bool RecordingUi::reconnectAutomatically(int) {
    std::lock_guard<std::mutex> g(lock_);
    return reconnect_;
}

void RecordingUi::setReconnect(bool on) {
    std::lock_guard<std::mutex> g(lock_);
    reconnect_ = on;
}
