// The time map's slot rules, the band selections and the recorded-range text, without a DVR.
#include <gtest/gtest.h>

#include <ctime>
#include <tuple>
#include <vector>

#include "core/playback/TimeMap.h"
#include "tests/support/TimeMapSlots.h"

namespace {

// A DVR's wall-clock time, read with the UTC calendar: `day` days from 2026-12-06.
int32_t At(int day, int hour, int minute, int second = 0) {
    return 1796515200 + day * 86400 + hour * 3600 + minute * 60 + second;
}

TEST(TimeMapSlots, ARecordingMarksTheSlotsOfItsOwnBandItSpansStartsInAndEndsInOnTheShownDay) {
    // Start, end, band, shown day and the slots marked. An end on a slot's first second lies in
    // that slot; a recording into the next day marks only the day it starts on.
    const std::tuple<int32_t, int32_t, uint32_t, int, std::vector<int>> cases[] = {
        {At(0, 10, 2), At(0, 10, 7, 30), 0, 6, {120, 121}},
        {At(0, 10, 0), At(0, 10, 5), 1, 6, {120, 121}},
        {At(0, 0, 0), At(0, 0, 20, 1), 3, 6, {0, 1, 2, 3, 4}},
        {At(0, 23, 58), At(1, 0, 3), 2, 6, {287}},
        {At(0, 23, 0), At(1, 0, 20), 0, 7, {}}};
    for (const auto& [start, end, band, day, slots] : cases) {
        TimeMap map{};
        MarkRecording(map, start, end, band, day);
        for (uint32_t b = 0; b < kPlaybackBands; ++b) {
            EXPECT_EQ(MarkedSlots(map, b), b == band ? slots : std::vector<int>{})
                << start << " band " << b;
        }
    }
}

TEST(TimeMapSlots, MarksAddUpAndABandOutsideTheMapMarksNothing) {
    TimeMap map{};
    MarkRecording(map, At(0, 1, 0), At(0, 1, 4), 2, 6);
    MarkRecording(map, At(0, 1, 2), At(0, 1, 12), 2, 6);
    EXPECT_EQ(MarkedSlots(map, 2), (std::vector<int>{12, 13, 14}));
    const TimeMap before = map;
    for (uint32_t band : {4u, static_cast<uint32_t>(-1)}) {
        MarkRecording(map, At(0, 5, 0), At(0, 6, 0), band, 6);
    }
    EXPECT_EQ(map, before);
}

TEST(TimeMapPage, EntriesAreMarkedInTheBandsWhoseChannelTheyCarry) {
    RecordListPage page{};
    page[0].iCam = 1 << 2;  // channel 2 counted from 0: pop-up item 3
    page[0].fileStartTime = At(0, 8, 0);
    page[0].fileEndTime = At(0, 8, 4);
    page[1].iCam = static_cast<int32_t>(0x80000000u | (1u << 2));  // channels 31 and 2
    page[1].fileStartTime = At(0, 9, 0);
    page[1].fileEndTime = At(0, 9, 4);
    page[2].iCam = -1;  // every channel, but no start time: an empty entry
    page[2].fileEndTime = At(0, 12, 0);
    TimeMap map{};
    MarkPage(map, page, BandSelection{3, 32, 0, 5}, 6);
    EXPECT_EQ(MarkedSlots(map, 0), (std::vector<int>{96, 108}));
    EXPECT_EQ(MarkedSlots(map, 1), (std::vector<int>{108}));
    EXPECT_TRUE(MarkedSlots(map, 2).empty());
    EXPECT_TRUE(MarkedSlots(map, 3).empty());
}

TEST(BandSelections, RepeatsAndImpossibleItemsBecomeNoneAndThePlayMaskHasABitPerChosenChannel) {
    EXPECT_EQ(DistinctSelection({3, 0, 3, 16}), (BandSelection{3, 0, 0, 16}));
    EXPECT_EQ(DistinctSelection({5, 5, 5, 5}), (BandSelection{5, 0, 0, 0}));
    EXPECT_EQ(DistinctSelection({-1, 33, 32, 1000}), (BandSelection{0, 0, 32, 0}));
    EXPECT_EQ(BandLabel(0), "NONE");
    EXPECT_EQ(BandLabel(1), "CAM01");
    EXPECT_EQ(BandLabel(16), "CAM16");
    EXPECT_EQ(PlayMask({3, 0, 3, 16}), (1u << 2) | (1u << 15));
    EXPECT_EQ(PlayMask({32, 1, 0, 0}), 0x80000001u);
    EXPECT_EQ(PlayMask({-1, 33, 0, 0}), 0u);
}

TEST(DateKey, TheLocalCalendarDayNamesTheSearch) {
    std::tm noon{};
    noon.tm_year = 111;
    noon.tm_mon = 2;
    noon.tm_mday = 10;
    noon.tm_hour = 12;
    noon.tm_isdst = -1;
    int32_t key = 0;
    int day = 0;
    ASSERT_TRUE(LocalDateKey(std::mktime(&noon), key, day));
    EXPECT_EQ(key, 1110210);
    EXPECT_EQ(day, 10);
}

TEST(RecordedRange, TheTextRunsFromTheEarliestStartToTheLatestEnd) {
    // The disks' start and end times, the disk count the DVR claims and the text.
    const std::tuple<std::vector<std::pair<int32_t, int32_t>>, int32_t, const char*> cases[] = {
        {{{At(-16, 9, 5), At(-11, 18, 0)},
          {At(-22, 0, 7), At(-17, 23, 59)},
          {At(-10, 0, 0), At(0, 10, 30)}},
         3,
         "2026/11/14 0:7 --  2026/12/6 10:30"},
        {{}, 0, "No Disk"},
        {{{0, 0}, {0, 0}}, 2, "No Disk"},
        // A zero start of the first disk stays the earliest.
        {{{0, At(-4, 3, 4)}, {At(-9, 5, 5), 0}}, 2, "1970/1/1 0:0 --  2026/12/2 3:4"},
        // A count beyond the table reads the eight records it has, never past them.
        {{{At(-5, 1, 1), At(-4, 2, 2)}}, 1000, "2026/12/1 1:1 --  2026/12/2 2:2"}};
    for (const auto& [disks, count, text] : cases) {
        DVR_MACHINE_INFO info{};
        info.iDiskNum = count;
        for (std::size_t i = 0; i < disks.size(); ++i) {
            info.stNetDiskInfo[i].start_rec_time = disks[i].first;
            info.stNetDiskInfo[i].end_rec_time = disks[i].second;
        }
        EXPECT_EQ(RecordedRangeText(DiskRange(info)), text);
    }
}

}  // namespace
