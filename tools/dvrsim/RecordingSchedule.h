// What the simulated DVR has recorded: the --rec options turned into files on its disks, around
// the machine's current local date. Answers disk-information requests, record searches and "what
// is recorded when" for remote playback.
//
// Times of recordings are the DVR's wall clock read with a UTC calendar: a recording at 10:02:00
// on 6 Dec 2026 starts at timegm({2026-12-06 10:02:00}). "Today" is the local calendar date of
// the machine, the date a client's search key names.
#pragma once

#include <cstdint>
#include <ctime>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "core/wire/WireFormats.h"

inline constexpr int64_t kSecondsPerDay = 86400;

// One --rec range: recorded every day of the day range from `start` to `end` seconds after that
// day's midnight; 0 <= start < end <= start + one day.
struct RecordingRule {
    uint32_t cams = 0;  // bit n: channel n (from 0)
    int32_t start = 0;
    int32_t end = 0;
};

// Event flags of a recorded file, as the record list's event bytes carry them.
inline constexpr uint8_t kSimEventMotion = 1;
inline constexpr uint8_t kSimEventLoss = 2;
inline constexpr uint8_t kSimEventSensor = 4;

// One --rec-event range: every recorded file of one of `cams` that overlaps [start, end) of a
// recorded day carries the flags `kinds`.
struct EventRule {
    uint32_t cams = 0;
    uint8_t kinds = 0;
    int32_t start = 0;
    int32_t end = 0;
};

struct RecordingConfig {
    std::vector<RecordingRule> rules;
    std::vector<EventRule> events;
    int32_t firstDay = 0;  // recorded days, as offsets from today, inclusive
    int32_t lastDay = 0;
    int32_t splitSeconds = 0;  // > 0: recordings are cut into files at most this long
    int32_t disks = 1;         // 0 to kMaxDiskRecords
    bool diskStartZero = false;
    std::optional<int32_t> playRefuse;  // every play request refused with this reason
    int32_t replyDelayMillis = 0;       // disk, search and play answers go out this late
    int32_t slowSearchFromPage = -1;    // answers to searches of this page on go out late too
    int32_t slowSearchMillis = 0;
};

// Parsed: the option took the value; Flag: an option without a value.
enum class RecordingOption { NotMine, Flag, Parsed, Bad };

// Parses one recording option and its value (null when the command line ended). On Bad, `error`
// says why.
//   --rec CHANNELS=RANGES   (repeatable) CHANNELS: one channel from 0 to 31 or several joined by
//                           '+'; RANGES: HH:MM[:SS]-HH:MM[:SS] joined by ','. Every range is one
//                           recording of all the channels on each recorded day; an end at or
//                           before its start is on the next day, 24:00 is midnight.
//   --rec-event CHANNELS=KINDS@RANGES  (repeatable) KINDS: motion, loss or sensor joined by
//                           '+'; the files of those channels that overlap a range carry them
//   --rec-days FROM:TO      the recorded days as offsets from today, inclusive (default 0:0)
//   --rec-split SECONDS     recordings are cut into files of at most this long (default: uncut)
//   --disks N               0 to 8 disks (default 1), each holding a contiguous share of the
//                           recorded days, the earliest on disk 0
//   --disk-start-zero       disk 0 reports the start of its recordings as 0
//   --play-refuse REASON    every NET_PLAY_FILE is refused with this reason
//   --reply-delay MS        disk, search and play answers go out this late (0 to 60000)
//   --search-delay PAGE:MS  answers to searches of page PAGE and later go out MS later still
RecordingOption ParseRecordingOption(const std::string& arg, const char* value,
                                     RecordingConfig& config, std::string& error);
// Checks the options together (the number of files they make is bounded); empty when fine.
std::string CheckRecordingConfig(const RecordingConfig& config);

struct CivilDate {
    int year = 1970;
    int month = 1;  // 1 to 12
    int day = 1;    // 1 to 31
    bool operator==(const CivilDate&) const = default;
};

CivilDate LocalDate(std::time_t t);
// Seconds since 1970 of the date's midnight on the DVR's time scale.
int64_t DayStart(CivilDate date);
// The search key of a date: (year - 1900) * 10000 + (month - 1) * 100 + day.
int32_t DateKey(CivilDate date);
// The date a search key names; nullopt for a key that names no real date.
std::optional<CivilDate> DateOfKey(int32_t key);

struct RecordedFile {
    int64_t start = 0;  // [start, end) on the DVR's time scale
    int64_t end = 0;
    uint32_t cams = 0;
    int32_t disk = 0;
    uint8_t events = 0;  // kSimEvent* bits
    bool operator==(const RecordedFile&) const = default;
};

// One page of a record search.
struct SearchResult {
    int32_t pages = 0;  // pages of the whole result; 0 when the day has no files
    std::vector<RecordedFile> entries;
};

class RecordingSchedule {
  public:
    RecordingSchedule(const RecordingConfig& config, CivilDate today);

    CivilDate today() const { return today_; }
    // Every file, sorted by start, then channel bits.
    const std::vector<RecordedFile>& files() const { return files_; }
    // The disk-information records, one per disk.
    std::vector<NET_SEND_INFO> Disks() const;
    // Page `page` (from 0) of the files that overlap the day starting at `dayStart`, in file order,
    // kMaxRecordListEntries to a page. A page past the last one has no entries.
    SearchResult Search(int64_t dayStart, int32_t page) const;
    // The channels of `mask` that have a recording covering second t.
    uint32_t RecordedAt(int64_t t, uint32_t mask) const;
    // The first start at or after t of a recording of a channel of `mask`.
    std::optional<int64_t> NextStart(int64_t t, uint32_t mask) const;

  private:
    // The first file that starts at or after t.
    std::vector<RecordedFile>::const_iterator StartingAt(int64_t t) const;

    const CivilDate today_;
    const int32_t diskCount_;
    const bool diskStartZero_;
    std::vector<RecordedFile> files_;
    int64_t longest_ = 0;  // duration of the longest file
};

GST_FILESHOWINFO FileShowInfo(const RecordedFile& file, int32_t videoStandard, int32_t imageSize);

// The schedule of the machine's current local date, rebuilt when the date changes. Thread-safe.
class ScheduleSource {
  public:
    using Now = std::function<std::time_t()>;
    explicit ScheduleSource(
        RecordingConfig config, Now now = [] { return std::time(nullptr); });

    std::shared_ptr<const RecordingSchedule> Current();

  private:
    const RecordingConfig config_;
    const Now now_;
    std::mutex lock_;
    std::shared_ptr<const RecordingSchedule> schedule_;
};
