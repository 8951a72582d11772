// The saved DVR entry: everything kept about one DVR of the operator's list, laid out in memory
// exactly as it is stored in the list file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "core/support/FixedText.h"
#include "core/support/Limits.h"

struct SAVE_INFO_STRUCT {
    char server[50];  // "host:port" or "lookuphost:identifier"
    char port[10];    // never read; zero in new entries
    char user[10];
    char pass[10];
    char showName[50];  // UTF-8 display name
    char path[1000];    // never read; zero in new entries
    uint8_t isValue;    // 1 = entry in use
    uint8_t pad;
    uint32_t cam;  // live-view channel mask, bit k-1 = channel k
    int32_t frame_rate;
    int32_t qulity;
    int32_t send_sound;
    int32_t auto_connect;
    int32_t alarm_output;
    int32_t overwrite;
};

static_assert(sizeof(SAVE_INFO_STRUCT) == 1160);
static_assert(offsetof(SAVE_INFO_STRUCT, port) == 50);
static_assert(offsetof(SAVE_INFO_STRUCT, user) == 60);
static_assert(offsetof(SAVE_INFO_STRUCT, pass) == 70);
static_assert(offsetof(SAVE_INFO_STRUCT, showName) == 80);
static_assert(offsetof(SAVE_INFO_STRUCT, path) == 130);
static_assert(offsetof(SAVE_INFO_STRUCT, isValue) == 1130);
static_assert(offsetof(SAVE_INFO_STRUCT, cam) == 1132);
static_assert(offsetof(SAVE_INFO_STRUCT, frame_rate) == 1136);
static_assert(offsetof(SAVE_INFO_STRUCT, qulity) == 1140);
static_assert(offsetof(SAVE_INFO_STRUCT, send_sound) == 1144);
static_assert(offsetof(SAVE_INFO_STRUCT, overwrite) == 1156);

inline constexpr uint32_t kAllChannels = 0xFFFFFFFFu;
inline constexpr int32_t kDefaultFrameRateIndex = 5;  // "25"
inline constexpr int32_t kDefaultQualityIndex = 2;    // "high"

// A new entry: in use, every channel enabled, 25 fps, high quality, everything else zero. Texts
// longer than their field are cut to fit with their terminator (the display name on a UTF-8
// character boundary).
SAVE_INFO_STRUCT NewSaveInfo(std::string_view server, std::string_view user, std::string_view pass,
                             std::string_view showName);

// The name the operator knows a DVR by: its display name, or its server text without one (what
// a clip or a recording is named after).
inline std::string_view ShownName(const SAVE_INFO_STRUCT& e) {
    const std::string_view name = TextOf(e.showName);
    return name.empty() ? TextOf(e.server) : name;
}
