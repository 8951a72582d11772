#include "tools/dvrsim/RecordingSchedule.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <string_view>
#include <tuple>
#include <utility>

namespace {

// Enough for a few days cut into very short files; more would only eat the simulator's memory.
constexpr int64_t kMaxFiles = 200000;
constexpr int32_t kMaxDayOffset = 3650;
// Every file is checked against every event range.
constexpr std::size_t kMaxEventRules = 64;
constexpr int32_t kMaxReplyDelayMillis = 60000;
// What every disk reports about its capacity, in megabytes.
constexpr int32_t kDiskSizeMb = 953869;
constexpr int32_t kDiskRemainMb = 238467;

std::vector<std::string_view> Split(std::string_view s, char sep) {
    std::vector<std::string_view> parts;
    for (;;) {
        const std::size_t at = s.find(sep);
        parts.push_back(s.substr(0, at));
        if (at == std::string_view::npos) {
            return parts;
        }
        s.remove_prefix(at + 1);
    }
}

// A decimal number in [low, high]: digits with an optional leading minus, nothing else.
bool ToNumber(std::string_view s, int64_t low, int64_t high, int64_t& out) {
    const std::string_view digits = !s.empty() && s.front() == '-' ? s.substr(1) : s;
    if (digits.empty() || digits.size() > 12 ||
        !std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        return false;
    }
    const long long v = std::strtoll(std::string(s).c_str(), nullptr, 10);
    if (v < low || v > high) {
        return false;
    }
    out = v;
    return true;
}

// "HH:MM[:SS]" as seconds of the day; "24:00[:00]" only as the end of a range.
std::optional<int32_t> ClockTime(std::string_view s, bool isEnd) {
    const auto parts = Split(s, ':');
    int64_t h = 0, m = 0, sec = 0;
    if (parts.size() < 2 || parts.size() > 3 || parts[0].size() > 2 || parts[1].size() != 2 ||
        !ToNumber(parts[0], 0, 24, h) || !ToNumber(parts[1], 0, 59, m) ||
        (parts.size() == 3 && (parts[2].size() != 2 || !ToNumber(parts[2], 0, 59, sec)))) {
        return std::nullopt;
    }
    if (h == 24 && (!isEnd || m != 0 || sec != 0)) {
        return std::nullopt;
    }
    return static_cast<int32_t>(h * 3600 + m * 60 + sec);
}

// "2+15" as a channel mask; 0 when malformed.
uint32_t ChannelMask(std::string_view v) {
    uint32_t cams = 0;
    for (std::string_view channel : Split(v, '+')) {
        int64_t n = 0;
        if (!ToNumber(channel, 0, kMaxChannels - 1, n)) {
            return 0;
        }
        cams |= 1u << n;
    }
    return cams;
}

// "CHANNELS=RANGES", e.g. "2+15=08:00-12:00,23:58-00:03".
bool ParseRec(std::string_view v, RecordingConfig& c) {
    const std::size_t eq = v.find('=');
    if (eq == std::string_view::npos) {
        return false;
    }
    const uint32_t cams = ChannelMask(v.substr(0, eq));
    if (cams == 0) {
        return false;
    }
    for (std::string_view range : Split(v.substr(eq + 1), ',')) {
        const std::size_t dash = range.find('-');
        if (dash == std::string_view::npos) {
            return false;
        }
        const auto start = ClockTime(range.substr(0, dash), false);
        const auto end = ClockTime(range.substr(dash + 1), true);
        if (!start || !end) {
            return false;
        }
        // An end at or before the start is on the next day.
        const int32_t endSec = *end <= *start ? *end + static_cast<int32_t>(kSecondsPerDay) : *end;
        c.rules.push_back(RecordingRule{cams, *start, endSec});
    }
    return true;
}

// "CHANNELS=KINDS@RANGES", e.g. "0+1=motion+sensor@10:00-10:05"; the ranges as for --rec.
bool ParseEvent(std::string_view v, RecordingConfig& c) {
    const std::size_t eq = v.find('=');
    const std::size_t at = v.find('@');
    if (eq == std::string_view::npos || at == std::string_view::npos || at < eq) {
        return false;
    }
    uint8_t kinds = 0;
    for (std::string_view kind : Split(v.substr(eq + 1, at - eq - 1), '+')) {
        if (kind == "motion") {
            kinds |= kSimEventMotion;
        } else if (kind == "loss") {
            kinds |= kSimEventLoss;
        } else if (kind == "sensor") {
            kinds |= kSimEventSensor;
        } else {
            return false;
        }
    }
    RecordingConfig ranges;
    if (!ParseRec(std::string(v.substr(0, eq)) + "=" + std::string(v.substr(at + 1)), ranges)) {
        return false;
    }
    for (const RecordingRule& r : ranges.rules) {
        c.events.push_back(EventRule{r.cams, kinds, r.start, r.end});
    }
    return true;
}

bool ParseDays(std::string_view v, RecordingConfig& c) {
    const std::size_t colon = v.find(':');
    int64_t from = 0, to = 0;
    if (colon == std::string_view::npos ||
        !ToNumber(v.substr(0, colon), -kMaxDayOffset, kMaxDayOffset, from) ||
        !ToNumber(v.substr(colon + 1), -kMaxDayOffset, kMaxDayOffset, to) || from > to) {
        return false;
    }
    c.firstDay = static_cast<int32_t>(from);
    c.lastDay = static_cast<int32_t>(to);
    return true;
}

// The flags of the event ranges a file of day `dayStart`'s recordings overlaps: the file may
// reach into the next day, a range into the day after its own.
uint8_t EventsOf(const RecordedFile& f, int64_t dayStart, const std::vector<EventRule>& rules) {
    uint8_t kinds = 0;
    for (const EventRule& e : rules) {
        for (const int64_t day : {dayStart - kSecondsPerDay, dayStart, dayStart + kSecondsPerDay}) {
            if ((f.cams & e.cams) && f.start < day + e.end && day + e.start < f.end) {
                kinds |= e.kinds;
            }
        }
    }
    return kinds;
}

int64_t PiecesOf(const RecordingRule& r, int32_t split) {
    const int64_t length = r.end - r.start;
    return split > 0 ? (length + split - 1) / split : 1;
}

}  // namespace

RecordingOption ParseRecordingOption(const std::string& arg, const char* value,
                                     RecordingConfig& config, std::string& error) {
    if (arg == "--disk-start-zero") {
        config.diskStartZero = true;
        return RecordingOption::Flag;
    }
    const std::string_view v = value ? value : "";
    int64_t n = 0;
    bool ok = false;
    const char* usage = nullptr;
    if (arg == "--rec") {
        ok = ParseRec(v, config);
        usage =
            "--rec takes CHANNELS=RANGES: channels 0 to 31 joined by '+', ranges "
            "HH:MM[:SS]-HH:MM[:SS] joined by ','";
    } else if (arg == "--rec-event") {
        ok = ParseEvent(v, config) && config.events.size() <= kMaxEventRules;
        usage =
            "--rec-event takes CHANNELS=KINDS@RANGES: kinds motion, loss or sensor joined by "
            "'+', channels and ranges as for --rec";
    } else if (arg == "--rec-days") {
        ok = ParseDays(v, config);
        usage = "--rec-days takes FROM:TO, day offsets from today (-3650 to 3650), FROM <= TO";
    } else if (arg == "--rec-split") {
        ok = ToNumber(v, 1, kSecondsPerDay, n);
        config.splitSeconds = static_cast<int32_t>(n);
        usage = "--rec-split takes seconds from 1 to 86400";
    } else if (arg == "--disks") {
        ok = ToNumber(v, 0, kMaxDiskRecords, n);
        config.disks = static_cast<int32_t>(n);
        usage = "--disks takes a number from 0 to 8";
    } else if (arg == "--play-refuse") {
        ok = ToNumber(v, INT32_MIN, INT32_MAX, n);
        config.playRefuse = static_cast<int32_t>(n);
        usage = "--play-refuse takes the reason, a number";
    } else if (arg == "--search-delay") {
        const std::string_view text = v;
        const std::size_t colon = text.find(':');
        int64_t page = 0;
        ok = colon != std::string_view::npos && ToNumber(text.substr(0, colon), 0, 1000, page) &&
             ToNumber(text.substr(colon + 1), 0, kMaxReplyDelayMillis, n);
        config.slowSearchFromPage = static_cast<int32_t>(page);
        config.slowSearchMillis = static_cast<int32_t>(n);
        usage = "--search-delay takes PAGE:MILLISECONDS, a page from 0 to 1000 and 0 to 60000 ms";
    } else if (arg == "--reply-delay") {
        ok = ToNumber(v, 0, kMaxReplyDelayMillis, n);
        config.replyDelayMillis = static_cast<int32_t>(n);
        usage = "--reply-delay takes milliseconds from 0 to 60000";
    } else {
        return RecordingOption::NotMine;
    }
    if (!ok) {
        error = usage;
        return RecordingOption::Bad;
    }
    return RecordingOption::Parsed;
}

std::string CheckRecordingConfig(const RecordingConfig& config) {
    int64_t perDay = 0;
    for (const RecordingRule& r : config.rules) {
        perDay += PiecesOf(r, config.splitSeconds);
    }
    const int64_t days = int64_t{config.lastDay} - config.firstDay + 1;
    if (perDay * days > kMaxFiles) {
        return "the recordings make " + std::to_string(perDay * days) + " files, more than " +
               std::to_string(kMaxFiles);
    }
    return {};
}

CivilDate LocalDate(std::time_t t) {
    std::tm local{};
    localtime_r(&t, &local);
    return CivilDate{local.tm_year + 1900, local.tm_mon + 1, local.tm_mday};
}

int64_t DayStart(CivilDate date) {
    std::tm t{};
    t.tm_year = date.year - 1900;
    t.tm_mon = date.month - 1;
    t.tm_mday = date.day;
    return static_cast<int64_t>(timegm(&t));
}

int32_t DateKey(CivilDate date) {
    return (date.year - 1900) * 10000 + (date.month - 1) * 100 + date.day;
}

std::optional<CivilDate> DateOfKey(int32_t key) {
    if (key < 0) {
        return std::nullopt;
    }
    const CivilDate date{key / 10000 + 1900, key / 100 % 100 + 1, key % 100};
    if (date.month > 12 || date.day < 1) {
        return std::nullopt;
    }
    // timegm moves 31 February on to March; such a key names no day.
    const std::time_t start = static_cast<std::time_t>(DayStart(date));
    std::tm back{};
    if (!gmtime_r(&start, &back) || back.tm_mday != date.day || back.tm_mon != date.month - 1) {
        return std::nullopt;
    }
    return date;
}

RecordingSchedule::RecordingSchedule(const RecordingConfig& config, CivilDate today)
    : today_(today), diskCount_(config.disks), diskStartZero_(config.diskStartZero) {
    const int64_t todayStart = DayStart(today);
    const int64_t days = int64_t{config.lastDay} - config.firstDay + 1;
    for (int64_t i = 0; i < days; ++i) {
        const int64_t dayStart = todayStart + (config.firstDay + i) * kSecondsPerDay;
        // Contiguous shares of the days, the earliest on disk 0.
        const auto disk = static_cast<int32_t>(diskCount_ > 0 ? i * diskCount_ / days : 0);
        for (const RecordingRule& r : config.rules) {
            const int64_t end = dayStart + r.end;
            const int64_t step = config.splitSeconds > 0 ? config.splitSeconds : r.end - r.start;
            for (int64_t s = dayStart + r.start; s < end; s += step) {
                files_.push_back(RecordedFile{s, std::min(end, s + step), r.cams, disk});
                files_.back().events = EventsOf(files_.back(), dayStart, config.events);
                longest_ = std::max(longest_, files_.back().end - s);
            }
        }
    }
    std::stable_sort(files_.begin(), files_.end(), [](const auto& a, const auto& b) {
        return std::tie(a.start, a.cams) < std::tie(b.start, b.cams);
    });
}

std::vector<NET_SEND_INFO> RecordingSchedule::Disks() const {
    std::vector<NET_SEND_INFO> out(static_cast<std::size_t>(diskCount_));
    for (std::size_t d = 0; d < out.size(); ++d) {
        // A disk without recordings reports 0 and 0.
        int64_t first = 0, last = 0;
        bool any = false;
        for (const RecordedFile& f : files_) {
            if (f.disk == static_cast<int32_t>(d)) {
                first = any ? std::min(first, f.start) : f.start;
                last = std::max(last, f.end);
                any = true;
            }
        }
        NET_SEND_INFO& info = out[d];
        info.disk_size = kDiskSizeMb;
        info.disk_remain = any ? kDiskRemainMb : kDiskSizeMb;
        info.start_rec_time = d == 0 && diskStartZero_ ? 0 : static_cast<int32_t>(first);
        info.end_rec_time = static_cast<int32_t>(last);
    }
    return out;
}

std::vector<RecordedFile>::const_iterator RecordingSchedule::StartingAt(int64_t t) const {
    return std::lower_bound(files_.begin(), files_.end(), t,
                            [](const RecordedFile& f, int64_t at) { return f.start < at; });
}

SearchResult RecordingSchedule::Search(int64_t dayStart, int32_t page) const {
    const int64_t dayEnd = dayStart + kSecondsPerDay;
    std::vector<RecordedFile> day;
    // No file is longer than longest_, so none that starts earlier reaches into the day.
    for (auto it = StartingAt(dayStart - longest_ + 1); it != files_.end() && it->start < dayEnd;
         ++it) {
        if (it->end > dayStart) {
            day.push_back(*it);
        }
    }
    SearchResult result;
    const auto count = static_cast<int64_t>(day.size());
    result.pages =
        static_cast<int32_t>((count + kMaxRecordListEntries - 1) / kMaxRecordListEntries);
    if (page >= 0 && page < result.pages) {
        const int64_t first = int64_t{page} * kMaxRecordListEntries;
        const int64_t last = std::min(count, first + kMaxRecordListEntries);
        result.entries.assign(day.begin() + first, day.begin() + last);
    }
    return result;
}

uint32_t RecordingSchedule::RecordedAt(int64_t t, uint32_t mask) const {
    uint32_t cams = 0;
    for (auto it = StartingAt(t - longest_ + 1); it != files_.end() && it->start <= t; ++it) {
        if (it->end > t) {
            cams |= it->cams;
        }
    }
    return cams & mask;
}

std::optional<int64_t> RecordingSchedule::NextStart(int64_t t, uint32_t mask) const {
    for (auto it = StartingAt(t); it != files_.end(); ++it) {
        if (it->cams & mask) {
            return it->start;
        }
    }
    return std::nullopt;
}

GST_FILESHOWINFO FileShowInfo(const RecordedFile& file, int32_t videoStandard, int32_t imageSize) {
    GST_FILESHOWINFO info{};
    info.iDiskId = file.disk;
    info.iCam = static_cast<int32_t>(file.cams);
    info.event.motion = (file.events & kSimEventMotion) ? 1 : 0;
    info.event.loss = (file.events & kSimEventLoss) ? 1 : 0;
    info.event.sensor = (file.events & kSimEventSensor) ? 1 : 0;
    info.fileStartTime = static_cast<int32_t>(file.start);
    info.fileEndTime = static_cast<int32_t>(file.end);
    info.videoStandard = videoStandard;
    info.imageSize = imageSize;
    return info;
}

ScheduleSource::ScheduleSource(RecordingConfig config, Now now)
    : config_(std::move(config)), now_(std::move(now)) {}

std::shared_ptr<const RecordingSchedule> ScheduleSource::Current() {
    const CivilDate today = LocalDate(now_());
    std::lock_guard<std::mutex> g(lock_);
    if (!schedule_ || schedule_->today() != today) {
        schedule_ = std::make_shared<const RecordingSchedule>(config_, today);
    }
    return schedule_;
}
