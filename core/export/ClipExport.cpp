#include "core/export/ClipExport.h"

#include <algorithm>
#include <chrono>

#include "core/export/ClipName.h"
#include "core/support/ThreadName.h"

using namespace std::chrono_literals;

ClipExport::ClipExport(Range range)
    : range_(std::move(range)), tap_(std::make_unique<FrameTap>()), lastSecond_(range_.from) {
    for (int c = 0; c < kMaxChannels; ++c) {
        if (range_.channels & (1u << c)) {
            writers_.push_back(std::make_unique<ClipWriter>(
                range_.folder + "/" +
                    ClipFileName(range_.displayName, c + 1, range_.year, range_.month, range_.day,
                                 range_.from, range_.to),
                ClipWriter::Mode::Whole, range_.dayStart + range_.from,
                range_.dayStart + range_.to));
        } else {
            writers_.push_back(nullptr);
        }
    }
    lost_.assign(writers_.size(), false);
}

ClipExport::~ClipExport() {
    Cancel();
    if (thread_.joinable()) {
        thread_.join();
    }
}

void ClipExport::Start() {
    thread_ = std::thread([this] { Run(); });
}

std::vector<ClipExport::Outcome> ClipExport::outcomes() const {
    std::lock_guard<std::mutex> g(lock_);
    return outcomes_;
}

void ClipExport::Run() {
    NameThisThread("clip export");
    auto last = std::chrono::steady_clock::now();
    bool any = false;
    for (;;) {
        NET_FRAME_HEADER h;
        const uint8_t* data = nullptr;
        bool dropped = false;
        if (tap_->Take(20ms, h, data, dropped)) {
            last = std::chrono::steady_clock::now();
            any = true;
            const auto c = static_cast<std::size_t>(h.channel);
            ClipWriter* w = c < writers_.size() ? writers_[c].get() : nullptr;
            if (w && (h.spare & kPlayedPicture) != 0) {
                lost_[c] = lost_[c] || dropped;
                w->Add(h, data);
                const int64_t second = static_cast<int64_t>(h.timeSec) - range_.dayStart;
                if (second > lastSecond_.load() && second <= range_.to) {
                    lastSecond_.store(static_cast<int32_t>(second));
                }
            }
            tap_->Release();
        }
        const bool open = std::any_of(writers_.begin(), writers_.end(), [](const auto& w) {
            return w && !w->ended() && !w->failed();
        });
        const auto quiet = std::chrono::steady_clock::now() - last;
        if (!open || cancel_.load() || end_.load() || quiet > (any ? 3s : 10s)) {
            break;
        }
    }
    std::vector<Outcome> results;
    if (!cancel_.load()) {
        for (std::size_t c = 0; c < writers_.size(); ++c) {
            if (ClipWriter* w = writers_[c].get()) {
                const ClipWriter::Result r = w->Finish();
                results.push_back(
                    {static_cast<int>(c), w->path(), r, w->pictures(), lost_[c], w->error()});
            }
        }
    }
    writers_.clear();  // a cancelled clip's .part goes with its writer
    {
        std::lock_guard<std::mutex> g(lock_);
        outcomes_ = std::move(results);
    }
    done_.store(true);
}

int64_t FirstRecordedSecond(const std::vector<GST_FILESHOWINFO>& files, uint32_t channels,
                            int64_t from, int64_t to) {
    int64_t start = -1;
    for (const GST_FILESHOWINFO& f : files) {
        const int64_t s = std::max<int64_t>(f.fileStartTime, from);
        if ((static_cast<uint32_t>(f.iCam) & channels) != 0 && s < f.fileEndTime && s < to &&
            (start < 0 || s < start)) {
            start = s;
        }
    }
    return start;
}
