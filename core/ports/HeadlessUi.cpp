#include "core/ports/HeadlessUi.h"

#include <cstdio>

void HeadlessUi::MessageBox(const std::optional<std::string>&, const std::string& text) {
    if (echo_) {
        std::fprintf(stderr, "message: %s\n", text.c_str());
    }
    std::lock_guard<std::mutex> g(lock_);
    if (!first_) {
        first_ = text;
    }
}

std::optional<std::string> HeadlessUi::FirstMessage() const {
    std::lock_guard<std::mutex> g(lock_);
    return first_;
}
