#include "core/playback/DayEvents.h"

#include <algorithm>
#include <cstdio>
#include <ctime>

namespace {

const char* KindName(uint8_t kind) {
    switch (kind) {
        case kKindSensor: return "sensor";
        case kKindMotion: return "motion";
        case kKindLoss: return "video loss";
        default: return "recording";
    }
}

std::string Clock(int slot) {
    slot = std::clamp(slot, 0, 24 * 12);  // 24:00 ends the day's last span
    char text[16];
    std::snprintf(text, sizeof text, "%02d:%02d", slot / 12, slot % 12 * 5);
    return text;
}

}  // namespace

uint8_t EntryKinds(const GST_FILESHOWINFO& entry) {
    uint8_t kinds = kKindRecorded;
    if (entry.event.motion != 0) {
        kinds |= kKindMotion;
    }
    if (entry.event.loss != 0) {
        kinds |= kKindLoss;
    }
    if (entry.event.sensor != 0) {
        kinds |= kKindSensor;
    }
    return kinds;
}

void MarkEvents(DayEvents& events, const RecordListPage& page, const BandSelection& selection,
                int day) {
    const uint32_t selected = PlayMask(selection);
    for (const GST_FILESHOWINFO& entry : page) {
        if (entry.fileStartTime == 0) {
            continue;
        }
        const std::bitset<kDaySlots> slots =
            RecordingSlots(entry.fileStartTime, entry.fileEndTime, day);
        if (slots.none()) {
            continue;  // not on this day
        }
        const uint8_t kinds = EntryKinds(entry);
        const auto cams = static_cast<uint32_t>(entry.iCam);
        for (std::size_t k = 0; k < kPlaybackBands; ++k) {
            const int32_t v = selection[k];
            if (v < 1 || v > kMaxChannels || !(cams & (1u << (v - 1)))) {
                continue;
            }
            for (std::size_t s = 0; s < kDaySlots; ++s) {
                if (slots[s]) {
                    events.slots[k][s] |= kinds;
                }
            }
        }
        if ((kinds & kEventKinds) && (cams & selected) && events.files.size() < kMaxFlaggedFiles) {
            const std::time_t t = entry.fileStartTime;
            std::tm fields{};
            gmtime_r(&t, &fields);
            const int32_t second = fields.tm_hour * 3600 + fields.tm_min * 60 + fields.tm_sec;
            events.files.push_back(
                FlaggedFile{second, cams, static_cast<uint8_t>(kinds & kEventKinds)});
        }
    }
}

uint8_t ShownKind(uint8_t kinds, uint8_t filter) {
    for (const uint8_t kind : {kKindSensor, kKindMotion, kKindLoss, kKindRecorded}) {
        if (kinds & filter & kind) {
            return kind;
        }
    }
    return 0;
}

std::optional<int32_t> NextEventStart(const std::vector<FlaggedFile>& files, int32_t from,
                                      uint32_t mask, uint8_t filter, bool forward) {
    std::optional<int32_t> best;
    for (const FlaggedFile& f : files) {
        if (!(f.cams & mask) || !(f.kinds & filter & kEventKinds)) {
            continue;
        }
        if (forward ? f.start > from && (!best || f.start < *best)
                    : f.start < from && (!best || f.start > *best)) {
            best = f.start;
        }
    }
    return best;
}

std::string FlaggedSpans(const std::array<uint8_t, kDaySlots>& band, uint8_t filter) {
    std::string text;
    for (int s = 0; s < kDaySlots;) {
        const uint8_t kind = ShownKind(band[static_cast<std::size_t>(s)], filter & kEventKinds);
        int end = s + 1;
        while (end < kDaySlots &&
               ShownKind(band[static_cast<std::size_t>(end)], filter & kEventKinds) == kind) {
            ++end;
        }
        if (kind != 0) {
            text += (text.empty() ? "" : ", ") + std::string(KindName(kind)) + " " + Clock(s) +
                    "-" + (end == kDaySlots ? std::string("24:00") : Clock(end));
        }
        s = end;
    }
    return text.empty() ? "no events" : text;
}
