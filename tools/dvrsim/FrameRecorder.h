// --record: every video payload sent on channel C is appended to DIR/chC.h264, so that a test can
// decode the very bitstream the client received. Shared by all sessions; thread-safe.
#pragma once

#include <cstdint>
#include <cstdio>
#include <map>
#include <memory>
#include <mutex>
#include <span>
#include <string>

class FrameRecorder {
  public:
    explicit FrameRecorder(std::string dir);  // empty: record nothing

    // Appends and flushes; a file that cannot be opened is reported once and skipped.
    void Append(int channel, std::span<const uint8_t> payload);

  private:
    struct FileCloser {
        void operator()(std::FILE* f) const { std::fclose(f); }
    };
    using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

    const std::string dir_;
    std::mutex lock_;
    std::map<int, FilePtr> files_;  // null when opening failed
};
