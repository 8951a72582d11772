#include "core/export/LiveRecording.h"

#include <chrono>
#include <cstdint>

#include "core/export/ClipWriter.h"
#include "core/support/ThreadName.h"

using namespace std::chrono_literals;

LiveRecording::LiveRecording(std::string path, int dvr, int channel)
    : path_(std::move(path)), dvr_(dvr), channel_(channel), tap_(std::make_unique<FrameTap>()) {}

LiveRecording::~LiveRecording() {
    End();
    if (thread_.joinable()) {
        thread_.join();
    }
}

void LiveRecording::Start() {
    thread_ = std::thread([this] { Run(); });
}

std::string LiveRecording::error() const {
    std::lock_guard<std::mutex> g(lock_);
    return error_;
}

void LiveRecording::Run() {
    NameThisThread("live recording");
    // Live frames carry the DVR's clock: every second it gives is in the range.
    ClipWriter writer(path_, ClipWriter::Mode::Fragmented, 0, INT64_MAX);
    while (!end_.load() && !writer.failed()) {
        NET_FRAME_HEADER h;
        const uint8_t* data = nullptr;
        bool dropped = false;
        if (!tap_->Take(50ms, h, data, dropped)) {
            continue;
        }
        if (dropped) {
            writer.Resync();
        }
        if (h.channel == channel_ && (h.spare & kPlayedPicture) == 0) {
            writer.Add(h, data);
            pictures_.store(writer.pictures());
        }
        tap_->Release();
    }
    writer.Finish();
    {
        std::lock_guard<std::mutex> g(lock_);
        error_ = writer.error();
    }
    done_.store(true);
}
