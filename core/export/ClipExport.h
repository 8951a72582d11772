// An export of a played range: a ClipWriter per chosen channel, fed by a thread of its own from a
// FrameTap the caller puts on the DVR's receive path (DvrSlot::SetTap(&tap(), channels())).
// The thread writes and finishes the clips itself, so whoever started the export (the GUI
// thread, the command-line exporter) never waits for a file write: it polls done().
//
// The export ends when every writer passed the range's end or failed, when it is ended or
// cancelled, or when the DVR fell silent (no frame for 10 s before the first, 3 s after one). A
// cancelled export finishes no clip: no file under a final name.
//
// Threads: the constructor, Start, the destructor and outcomes() on the owner's thread; Cancel,
// End, done() and lastSecond() on any thread; the writers on the export's thread only. `lock_`
// guards outcomes_ once the thread wrote them (done() tells when).
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "core/dvr/FrameTap.h"
#include "core/export/ClipWriter.h"
#include "core/wire/WireFormats.h"

class ClipExport {
  public:
    struct Range {
        std::string folder;
        std::string displayName;  // first part of the file names
        int year = 0, month = 0, day = 0;
        int64_t dayStart = 0;      // the day's first second on the frame headers' scale
        int32_t from = 0, to = 0;  // seconds of the day; from < to
        uint32_t channels = 0;     // bit c for channel c (counted from 0)
    };
    struct Outcome {
        int channel = 0;  // counted from 0
        std::string path;
        ClipWriter::Result result = ClipWriter::Result::Nothing;
        int64_t pictures = 0;
        bool framesLost = false;  // the tap dropped frames of the channel
        std::string error;
    };

    explicit ClipExport(Range range);
    // Cancels and joins a running export (the wait is short: the thread checks every 20 ms).
    ~ClipExport();
    ClipExport(const ClipExport&) = delete;
    ClipExport& operator=(const ClipExport&) = delete;

    FrameTap& tap() { return *tap_; }
    uint32_t channels() const { return range_.channels; }
    // Starts taking frames; call once, after the tap is on the receive path.
    void Start();
    void Cancel() { cancel_.store(true); }
    // Ends the export now with the clips of what came (the DVR was lost, the play stopped).
    void End() { end_.store(true); }
    // The thread ended and the outcomes are final.
    bool done() const { return done_.load(); }
    bool cancelled() const { return cancel_.load(); }
    // The second of the day of the newest picture written (from before the first), for progress.
    int32_t lastSecond() const { return lastSecond_.load(); }
    // One per chosen channel, once done(); empty before and after a cancel.
    std::vector<Outcome> outcomes() const;

  private:
    void Run();

    const Range range_;
    std::unique_ptr<FrameTap> tap_;
    std::vector<std::unique_ptr<ClipWriter>> writers_;  // the thread's only, once started
    std::vector<bool> lost_;                            // the thread's only
    std::atomic<bool> cancel_{false};
    std::atomic<bool> end_{false};
    std::atomic<bool> done_{false};
    std::atomic<int32_t> lastSecond_;
    mutable std::mutex lock_;
    std::vector<Outcome> outcomes_;  // under lock_
    std::thread thread_;
};

// The first second (on the headers' scale) from which the DVR can play channels `channels` of
// the range [from, to), among the recorded files `files`; -1 when nothing is recorded there.
// The DVR refuses a play that starts where nothing is recorded.
int64_t FirstRecordedSecond(const std::vector<GST_FILESHOWINFO>& files, uint32_t channels,
                            int64_t from, int64_t to);
