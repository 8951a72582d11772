#include "tools/dvrsim/FrameRecorder.h"

FrameRecorder::FrameRecorder(std::string dir) : dir_(std::move(dir)) {}

void FrameRecorder::Append(int channel, std::span<const uint8_t> payload) {
    if (dir_.empty()) {
        return;
    }
    std::lock_guard<std::mutex> g(lock_);
    auto found = files_.find(channel);
    if (found == files_.end()) {
        const std::string path = dir_ + "/ch" + std::to_string(channel) + ".h264";
        FilePtr file(std::fopen(path.c_str(), "ab"));
        if (!file) {
            std::fprintf(stderr, "quillmarsh-dvrsim: cannot record to %s\n", path.c_str());
        }
        found = files_.emplace(channel, std::move(file)).first;
    }
    if (std::FILE* f = found->second.get()) {
        std::fwrite(payload.data(), 1, payload.size(), f);
        std::fflush(f);
    }
}
