// The record time map of a day and the recorded range of a DVR's disks: pure functions over the
// records a DVR sends, shared by the search (which fills the map) and the playback window.
//
// Recording times are the DVR's wall clock read with a UTC calendar; the day a search names is
// taken from the chosen date with the machine's local calendar.
#pragma once

#include <array>
#include <bitset>
#include <cstdint>
#include <ctime>
#include <string>

#include "core/wire/WireFormats.h"

inline constexpr int kPlaybackBands = 4;  // playback panes, one band of the map each
inline constexpr int kDaySlots = 288;     // 5-minute slots of a day
inline constexpr int kSlotSeconds = 300;
inline constexpr int kDaySeconds = 86400;
// Pages of one day's search that are followed: 300,000 recordings, more than any DVR holds for a
// day. A DVR that claims more is not asked for them.
inline constexpr int32_t kMaxSearchPages = 1000;

// Band k, slot s: 1 when a recording of band k's channel touches seconds 300 s .. 300 s + 299.
using TimeMap = std::array<std::array<int32_t, kDaySlots>, kPlaybackBands>;

// A pane selection per band: 0 for none, channel + 1 otherwise (the pop-up's item index).
using BandSelection = std::array<int32_t, kPlaybackBands>;

// The slots of the recording [start, end) if it starts on day of month `day` (UTC calendar), as
// MarkRecording marks them; none otherwise.
std::bitset<kDaySlots> RecordingSlots(int32_t start, int32_t end, int day);

// Marks the recording [start, end) in `band` if it starts on day of month `day` (UTC calendar).
// Slot i is marked when the recording spans its start, starts in it or ends in it; the part after
// midnight is not drawn. A band outside 0..3 marks nothing.
void MarkRecording(TimeMap& map, int32_t start, int32_t end, uint32_t band, int day);

// Marks every entry of one search page in the bands whose selected channel the entry carries.
void MarkPage(TimeMap& map, const RecordListPage& page, const BandSelection& selection, int day);

// Selections outside 0..32 become 0, and a channel chosen in an earlier band clears later ones.
BandSelection DistinctSelection(const BandSelection& selection);

// The band's label: "CAM%.2d" of the selection, or "NONE".
std::string BandLabel(int32_t selection);

// The channel mask of a play request: bit i - 1 for every band selecting item i (1 to 32).
uint32_t PlayMask(const BandSelection& selection);

// The date key of the local calendar day of `date`: (year - 1900) * 10000 + month0 * 100 + day.
// Also gives the day of the month. False when the date has no calendar fields.
bool LocalDateKey(std::time_t date, int32_t& key, int& dayOfMonth);

// The range the disks hold, earliest start to latest end (a zero start of disk 0 stays 0).
struct RecordedRange {
    int32_t start = 0;
    int32_t end = 0;
};
RecordedRange DiskRange(const DVR_MACHINE_INFO& info);
// "Y/M/D h:m --  Y/M/D h:m" on the UTC calendar, or "No Disk" when the end is 0.
std::string RecordedRangeText(const RecordedRange& range);
