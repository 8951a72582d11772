#include "core/playback/TimeMap.h"

#include <algorithm>
#include <cstdio>

#include "core/support/Log.h"

namespace {
constexpr int32_t kMaxSelection = kMaxChannels;  // item 32 is channel 31
}

std::bitset<kDaySlots> RecordingSlots(int32_t start, int32_t end, int day) {
    std::bitset<kDaySlots> slots;
    const std::time_t t = start;
    std::tm fields{};
    if (!gmtime_r(&t, &fields) || fields.tm_mday != day) {
        return slots;  // only recordings that start on the shown day are drawn
    }
    // Seconds of the day in 64 bits: a DVR's end time may be anything.
    const int64_t midnight =
        int64_t{start} - (fields.tm_hour * 3600 + fields.tm_min * 60 + fields.tm_sec);
    const int64_t s = int64_t{start} - midnight;
    const int64_t e = int64_t{end} - midnight;
    for (int i = 0; i < kDaySlots; ++i) {
        const int64_t lo = int64_t{kSlotSeconds} * i;
        const int64_t hi = lo + kSlotSeconds;
        if ((s <= lo && lo < e) || (lo <= s && s < hi) || (lo <= e && e < hi)) {
            slots.set(static_cast<std::size_t>(i));
        }
    }
    return slots;
}

void MarkRecording(TimeMap& map, int32_t start, int32_t end, uint32_t band, int day) {
    if (band >= static_cast<uint32_t>(kPlaybackBands)) {
        return;
    }
    const std::bitset<kDaySlots> slots = RecordingSlots(start, end, day);
    for (std::size_t i = 0; i < kDaySlots; ++i) {
        if (slots[i]) {
            map[band][i] = 1;
        }
    }
}

void MarkPage(TimeMap& map, const RecordListPage& page, const BandSelection& selection, int day) {
    for (const GST_FILESHOWINFO& entry : page) {
        if (entry.fileStartTime == 0) {
            continue;
        }
        for (int k = 0; k < kPlaybackBands; ++k) {
            const int32_t v = selection[k];
            if (v < 1 || v > kMaxSelection) {
                continue;
            }
            if (static_cast<uint32_t>(entry.iCam) & (1u << (v - 1))) {
                MarkRecording(map, entry.fileStartTime, entry.fileEndTime, k, day);
            }
        }
    }
}

BandSelection DistinctSelection(const BandSelection& selection) {
    BandSelection a = selection;
    for (int32_t& v : a) {
        if (v < 0 || v > kMaxSelection) {
            v = 0;
        }
    }
    for (int i = 0; i < kPlaybackBands - 1; ++i) {
        for (int j = i + 1; j < kPlaybackBands; ++j) {
            if (a[i] == a[j]) {
                a[j] = 0;
            }
        }
    }
    return a;
}

std::string BandLabel(int32_t selection) {
    if (selection == 0) {
        return "NONE";
    }
    char text[24];
    std::snprintf(text, sizeof text, "CAM%.2d", selection);
    return text;
}

uint32_t PlayMask(const BandSelection& selection) {
    uint32_t mask = 0;
    for (const int32_t i : selection) {
        if (i >= 1 && i <= kMaxSelection) {
            mask |= 1u << (i - 1);
        }
    }
    return mask;
}

bool LocalDateKey(std::time_t date, int32_t& key, int& dayOfMonth) {
    std::tm fields{};
    if (!localtime_r(&date, &fields)) {
        return false;
    }
    key = fields.tm_year * 10000 + fields.tm_mon * 100 + fields.tm_mday;
    dayOfMonth = fields.tm_mday;
    return true;
}

RecordedRange DiskRange(const DVR_MACHINE_INFO& info) {
    RecordedRange r;
    const int disks = std::min(std::max(info.iDiskNum, 0), kMaxDiskRecords);
    for (int i = 0; i < disks; ++i) {
        const NET_SEND_INFO& disk = info.stNetDiskInfo[i];
        if (i == 0) {
            r.start = disk.start_rec_time;
            r.end = disk.end_rec_time;
        }
        if (disk.start_rec_time != 0 && disk.start_rec_time < r.start) {
            r.start = disk.start_rec_time;
        }
        if (disk.end_rec_time > r.end) {
            r.end = disk.end_rec_time;
        }
    }
    return r;
}

std::string RecordedRangeText(const RecordedRange& range) {
    const std::time_t start = range.start;
    const std::time_t end = range.end;
    std::tm s{};
    std::tm e{};
    gmtime_r(&start, &s);
    gmtime_r(&end, &e);
    QLog("startTime sec=%d,min=%d,hour=%d,day=%d,mon=%d,year=%d", s.tm_sec, s.tm_min, s.tm_hour,
         s.tm_mday, s.tm_mon + 1, s.tm_year + 1900);
    if (range.end == 0) {
        return "No Disk";
    }
    char text[96];
    std::snprintf(text, sizeof text, "%d/%d/%d %d:%d --  %d/%d/%d %d:%d", s.tm_year + 1900,
                  s.tm_mon + 1, s.tm_mday, s.tm_hour, s.tm_min, e.tm_year + 1900, e.tm_mon + 1,
                  e.tm_mday, e.tm_hour, e.tm_min);
    return text;
}
