// The event flags of a day's recordings: which kinds of flagged files cover each 5-minute slot of
// each band, and where the flagged files start. Pure functions over the record list pages, beside
// the plain time map (TimeMap.h), which stays as it is.
//
// A file's flags are three bytes from the DVR: any non-zero byte counts as set.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "core/playback/TimeMap.h"

// Kinds as bits of a slot, weakest first: a slot shows the strongest kind its filter lets through.
inline constexpr uint8_t kKindRecorded = 1;  // any recording, flagged or not
inline constexpr uint8_t kKindLoss = 2;
inline constexpr uint8_t kKindMotion = 4;
inline constexpr uint8_t kKindSensor = 8;
inline constexpr uint8_t kEventKinds = kKindLoss | kKindMotion | kKindSensor;
inline constexpr uint8_t kAllKinds = kEventKinds | kKindRecorded;
// Flagged files kept for one day: more than a DVR records in a day; the rest are not jumped to.
inline constexpr std::size_t kMaxFlaggedFiles = 50000;

// Band k, slot s: the kinds of the files of band k's channel that cover the slot (as TimeMap marks
// them).
using EventMap = std::array<std::array<uint8_t, kDaySlots>, kPlaybackBands>;

struct FlaggedFile {
    int32_t start = 0;  // second of the day, 0 to 86399
    uint32_t cams = 0;  // the entry's channel mask
    uint8_t kinds = 0;  // event kinds only
    bool operator==(const FlaggedFile&) const = default;
};

struct DayEvents {
    EventMap slots{};
    std::vector<FlaggedFile> files;  // in the order found, at most kMaxFlaggedFiles
};

// The kinds of one record list entry: kKindRecorded plus one bit per non-zero flag byte.
uint8_t EntryKinds(const GST_FILESHOWINFO& entry);

// Adds one search page as MarkPage does for the time map; flagged files that start on day of month
// `day` and carry a selected channel are kept for the jumps.
void MarkEvents(DayEvents& events, const RecordListPage& page, const BandSelection& selection,
                int day);

// The strongest kind of `kinds` that `filter` lets through, or 0.
uint8_t ShownKind(uint8_t kinds, uint8_t filter);

// The start of the nearest flagged file after (`forward`) or before `from` (a second of the day)
// among the channels of `mask` with a kind of `filter`; nullopt when there is none.
std::optional<int32_t> NextEventStart(const std::vector<FlaggedFile>& files, int32_t from,
                                      uint32_t mask, uint8_t filter, bool forward);

// The spans of one band's slots whose shown kind is an event, as "motion 10:10-10:20, ...";
// "no events" when there is none.
std::string FlaggedSpans(const std::array<uint8_t, kDaySlots>& band, uint8_t filter);
