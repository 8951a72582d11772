// One channel's clip in an MP4 file: the DVR's H.264 copied as it came (no re-encoding), from the
// first key frame at or after `from` up to `to`, each picture at its recorded second (the frame
// header's time) with the pictures of one second spread evenly over it.
//
// Whole clips are written to NAME.part and renamed to NAME by Finish, so that no failed or
// unfinished clip ever carries the final name. Fragmented clips (for live recording) are written
// under NAME itself, a fragment per key frame group flushed as it ends: a file cut off by a crash
// still plays up to its last fragment.
//
// Threads: one thread at a time (the exporter's), never the receive thread: it writes files.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/export/FormatHandles.h"
#include "core/support/FfmpegHandles.h"
#include "core/wire/WireFormats.h"

class ClipWriter {
  public:
    enum class Mode { Whole, Fragmented };
    enum class Result { Written, Nothing, Failed };
    // The most pictures one second may hold; more make the clip fail.
    static constexpr int kMaxPicturesPerSecond = 1000;

    // Seconds `from` (included) and `to` (excluded) on the frame headers' time scale.
    ClipWriter(std::string path, Mode mode, int64_t from, int64_t to);
    // Unfinished: a whole clip's .part goes; a fragmented one keeps what it wrote.
    ~ClipWriter();
    ClipWriter(const ClipWriter&) = delete;
    ClipWriter& operator=(const ClipWriter&) = delete;

    // One video frame (header and Annex B payload of h.dataLen bytes). False once the clip failed.
    bool Add(const NET_FRAME_HEADER& h, const uint8_t* payload);
    // Frames were lost before the next one: the pictures up to the next key frame cannot be
    // decoded, so they are skipped, as before the first key frame of the clip.
    void Resync() { waitForKey_ = true; }
    // Writes what is held and closes the file: Written (renamed to the final name), Nothing (no
    // key frame in the range: no file), or Failed (no file under the final name; see error()).
    Result Finish();

    bool ended() const { return ended_; }  // a picture at or after `to` came
    bool failed() const { return !error_.empty(); }
    int64_t pictures() const { return written_; }
    const std::string& error() const { return error_; }
    const std::string& path() const { return path_; }

  private:
    bool Open(const NET_FRAME_HEADER& h, const uint8_t* payload);
    // Writes the held pictures of one second spread over it.
    bool FlushSecond();
    bool Fail(const std::string& what, int code = 0);
    std::string WorkPath() const;

    const std::string path_;
    const Mode mode_;
    const int64_t from_;
    const int64_t to_;
    OutputContextPtr out_;
    AVStream* stream_ = nullptr;
    PacketPtr packet_;
    // The pictures of the second being held; the buffers are kept for the next second.
    struct Held {
        std::vector<uint8_t> bytes;
        bool key = false;
    };
    std::vector<Held> held_;
    int heldCount_ = 0;
    int64_t heldSecond_ = 0;
    int64_t firstSecond_ = -1;
    int64_t written_ = 0;
    bool ended_ = false;
    bool waitForKey_ = false;  // Resync: skipping until a key frame
    bool finished_ = false;
    std::string error_;
};
