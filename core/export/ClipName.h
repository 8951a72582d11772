// The name of an exported clip: <display name>_CAM<nn>_<YYYY-MM-DD>_<HHMMSS>-<HHMMSS>.mp4.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// `text` with every character a common file system refuses (control characters, / \ : * ? " < >
// |) replaced by '_', at most 100 bytes, and never empty, "." or ".." nor ending in a dot or a
// space.
std::string SafeFileNamePart(std::string_view text);

// The clip's file name for channel `channel` (counted from 1) from second `from` to second `to`
// of the day year-month-day.
std::string ClipFileName(std::string_view displayName, int channel, int year, int month, int day,
                         int32_t from, int32_t to);

// A live recording's file name for channel `channel` (counted from 1), started at second `from`
// of the day year-month-day: <display name>_CAM<nn>_<YYYY-MM-DD>_<HHMMSS>_live.mp4.
std::string LiveFileName(std::string_view displayName, int channel, int year, int month, int day,
                         int32_t from);
