// The event flags of a day: the kinds each slot holds, the filter's strongest kind and the jumps
// from one flagged file to the next, without a DVR.
#include <gtest/gtest.h>

#include <tuple>
#include <vector>

#include "core/playback/DayEvents.h"

namespace {

int32_t At(int day, int hour, int minute, int second = 0) {
    return 1796515200 + day * 86400 + hour * 3600 + minute * 60 + second;  // from 2026-12-06
}

GST_FILESHOWINFO Entry(uint32_t cams, int32_t start, int32_t end, GST_EVENT event) {
    GST_FILESHOWINFO e{};
    e.iCam = static_cast<int32_t>(cams);
    e.fileStartTime = start;
    e.fileEndTime = end;
    e.event = event;
    return e;
}

TEST(DayEvents, SlotsHoldTheKindsOfEveryFileCoveringThemAndTheStrongestShownWins) {
    RecordListPage page{};
    page[0] = Entry(0b01, At(0, 10, 0), At(0, 10, 10), {0, 0, 0});
    page[1] = Entry(0b01, At(0, 10, 5), At(0, 10, 9), {1, 0, 0});      // motion, inside page[0]
    page[2] = Entry(0b11, At(0, 10, 8), At(0, 10, 12), {0, 0xff, 7});  // loss and sensor
    page[3] = Entry(0b10, At(-1, 23, 0), At(0, 1, 0), {1, 1, 1});      // starts yesterday
    page[4] = Entry(0b100, 0, At(0, 12, 0), {1, 1, 1});                // an unused entry
    page[5] = Entry(0b1000, At(0, 10, 30), At(0, 10, 35), {1, 0, 0});  // no band shows it
    DayEvents events;
    MarkEvents(events, page, BandSelection{1, 2, 3, 0}, 6);
    constexpr uint8_t R = kKindRecorded, M = kKindMotion, L = kKindLoss, S = kKindSensor;
    // Band, slot and its kinds.
    const std::tuple<int, int, uint8_t> slots[] = {
        {0, 119, 0}, {0, 120, R}, {0, 121, R | M | L | S}, {0, 122, R | L | S},
        {0, 123, 0}, {1, 120, 0}, {1, 121, R | L | S},     {1, 122, R | L | S},
        {2, 122, 0}, {3, 126, 0}};
    for (const auto& [band, slot, kinds] : slots) {
        EXPECT_EQ(events.slots[band][slot], kinds) << band << " " << slot;
    }
    // Only flagged files of the day, with their second of the day and their event kinds.
    EXPECT_EQ(events.files, (std::vector<FlaggedFile>{{36300, 0b01, M}, {36480, 0b11, L | S}}));

    // Kinds, filter, the kind shown.
    const std::tuple<uint8_t, uint8_t, uint8_t> shown[] = {
        {R | M | L | S, kAllKinds, S}, {R | M | L, kAllKinds, M},
        {R | L, kAllKinds, L},         {R, kAllKinds, R},
        {R | S, R | L | M, R},         {R | S, M, 0},
        {R | M | L, L | S, L},         {0, kAllKinds, 0}};
    for (const auto& [kinds, filter, kind] : shown) {
        EXPECT_EQ(ShownKind(kinds, filter), kind) << int{kinds} << " " << int{filter};
    }
    // A weaker kind shows where the filter hides the stronger one.
    EXPECT_EQ(FlaggedSpans(events.slots[0], kAllKinds), "sensor 10:05-10:15");
    EXPECT_EQ(FlaggedSpans(events.slots[0], M | L), "motion 10:05-10:10, video loss 10:10-10:15");
    EXPECT_EQ(FlaggedSpans(events.slots[2], kAllKinds), "no events");
}

TEST(DayEvents, JumpsGoToTheNearestFlaggedStartOfTheChosenChannelsAndKinds) {
    constexpr uint8_t M = kKindMotion, L = kKindLoss, S = kKindSensor;
    const std::vector<FlaggedFile> files = {
        {36000, 0b01, M}, {30000, 0b10, S}, {36600, 0b11, L}, {50000, 0b100, M | S}};
    // From, mask, filter, forward, where it lands (-1: nowhere).
    const std::tuple<int32_t, uint32_t, uint8_t, bool, int32_t> cases[] = {
        {0, ~0u, kAllKinds, true, 30000},      {30000, ~0u, kAllKinds, true, 36000},
        {36000, 0b01, kAllKinds, true, 36600}, {36000, 0b01, M, true, -1},
        {36601, ~0u, kAllKinds, false, 36600}, {36600, 0b10, kAllKinds, false, 30000},
        {30000, ~0u, kAllKinds, false, -1},    {40000, 0b100, S, true, 50000},
        {40000, ~0u, kKindRecorded, true, -1}, {86399, ~0u, kAllKinds, true, -1},
        {40000, 0, kAllKinds, false, -1}};
    for (const auto& [from, mask, filter, forward, at] : cases) {
        const std::optional<int32_t> got = NextEventStart(files, from, mask, filter, forward);
        EXPECT_EQ(got.value_or(-1), at) << from << " " << mask << " " << int{filter} << forward;
    }
}

}  // namespace
