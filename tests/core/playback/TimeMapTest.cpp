// The time map's slot rules, the band selections and the recorded-range text, without a DVR.
#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <vector>

#include "core/playback/TimeMap.h"
#include "tests/support/TimeMapSlots.h"

namespace {

// Seconds since 1970 of a wall-clock time read with the UTC calendar, as DVRs give them.
int32_t Utc(int year, int month, int day, int hour, int minute, int second = 0) {
    std::tm t{};
    t.tm_year = year - 1900;
    t.tm_mon = month - 1;
    t.tm_mday = day;
    t.tm_hour = hour;
    t.tm_min = minute;
    t.tm_sec = second;
    return static_cast<int32_t>(timegm(&t));
}

TEST(TimeMapSlots, ARecordingMarksTheSlotsItSpansStartsInAndEndsIn) {
    TimeMap map{};
    MarkRecording(map, Utc(2026, 12, 6, 10, 2), Utc(2026, 12, 6, 10, 7, 30), 0, 6);
    EXPECT_EQ(MarkedSlots(map, 0), (std::vector<int>{120, 121}));

    TimeMap exact{};  // an end on a slot's first second lies in that slot
    MarkRecording(exact, Utc(2026, 12, 6, 10, 0), Utc(2026, 12, 6, 10, 5), 1, 6);
    EXPECT_EQ(MarkedSlots(exact, 1), (std::vector<int>{120, 121}));

    TimeMap longer{};
    MarkRecording(longer, Utc(2026, 12, 6, 0, 0), Utc(2026, 12, 6, 0, 20, 1), 3, 6);
    EXPECT_EQ(MarkedSlots(longer, 3), (std::vector<int>{0, 1, 2, 3, 4}));
    EXPECT_TRUE(MarkedSlots(longer, 0).empty());
}

TEST(TimeMapSlots, OnlyTheShownDayOfARecordingIsDrawn) {
    TimeMap map{};
    // Into the next day: only the last slot of the day it starts on.
    MarkRecording(map, Utc(2026, 12, 6, 23, 58), Utc(2026, 12, 7, 0, 3), 0, 6);
    EXPECT_EQ(MarkedSlots(map, 0), (std::vector<int>{287}));
    // Started the day before: not drawn on the 7th even though it ends there.
    TimeMap next{};
    MarkRecording(next, Utc(2026, 12, 6, 23, 0), Utc(2026, 12, 7, 0, 20), 0, 7);
    EXPECT_TRUE(MarkedSlots(next, 0).empty());
}

TEST(TimeMapSlots, MarksAddUpAndABandOutsideTheMapMarksNothing) {
    TimeMap map{};
    MarkRecording(map, Utc(2026, 12, 6, 1, 0), Utc(2026, 12, 6, 1, 4), 2, 6);
    MarkRecording(map, Utc(2026, 12, 6, 1, 2), Utc(2026, 12, 6, 1, 12), 2, 6);
    EXPECT_EQ(MarkedSlots(map, 2), (std::vector<int>{12, 13, 14}));
    const TimeMap before = map;
    MarkRecording(map, Utc(2026, 12, 6, 5, 0), Utc(2026, 12, 6, 6, 0), 4, 6);
    MarkRecording(map, Utc(2026, 12, 6, 5, 0), Utc(2026, 12, 6, 6, 0), static_cast<uint32_t>(-1),
                  6);
    EXPECT_EQ(map, before);
}

TEST(TimeMapPage, EntriesAreMarkedInTheBandsWhoseChannelTheyCarry) {
    RecordListPage page{};
    page[0].iCam = 1 << 2;  // channel 2 counted from 0: pop-up item 3
    page[0].fileStartTime = Utc(2026, 12, 6, 8, 0);
    page[0].fileEndTime = Utc(2026, 12, 6, 8, 4);
    page[1].iCam = static_cast<int32_t>(0x80000000u | (1u << 2));  // channels 31 and 2
    page[1].fileStartTime = Utc(2026, 12, 6, 9, 0);
    page[1].fileEndTime = Utc(2026, 12, 6, 9, 4);
    page[2].iCam = -1;  // every channel, but no start time: an empty entry
    page[2].fileEndTime = Utc(2026, 12, 6, 12, 0);
    TimeMap map{};
    MarkPage(map, page, BandSelection{3, 32, 0, 5}, 6);
    EXPECT_EQ(MarkedSlots(map, 0), (std::vector<int>{96, 108}));
    EXPECT_EQ(MarkedSlots(map, 1), (std::vector<int>{108}));
    EXPECT_TRUE(MarkedSlots(map, 2).empty());
    EXPECT_TRUE(MarkedSlots(map, 3).empty());
}

TEST(BandSelections, RepeatsAndImpossibleItemsBecomeNone) {
    EXPECT_EQ(DistinctSelection({3, 0, 3, 16}), (BandSelection{3, 0, 0, 16}));
    EXPECT_EQ(DistinctSelection({5, 5, 5, 5}), (BandSelection{5, 0, 0, 0}));
    EXPECT_EQ(DistinctSelection({-1, 33, 32, 1000}), (BandSelection{0, 0, 32, 0}));
    EXPECT_EQ(BandLabel(0), "NONE");
    EXPECT_EQ(BandLabel(1), "CAM01");
    EXPECT_EQ(BandLabel(16), "CAM16");
}

TEST(BandSelections, ThePlayMaskHasOneBitPerChosenChannelUpToChannel32) {
    EXPECT_EQ(PlayMask({3, 0, 3, 16}), (1u << 2) | (1u << 15));
    EXPECT_EQ(PlayMask({32, 1, 0, 0}), 0x80000001u);
    EXPECT_EQ(PlayMask({0, 0, 0, 0}), 0u);
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

DVR_MACHINE_INFO Disks(std::vector<std::pair<int32_t, int32_t>> ranges) {
    DVR_MACHINE_INFO info{};
    info.iDiskNum = static_cast<int32_t>(ranges.size());
    for (std::size_t i = 0; i < ranges.size() && i < kMaxDiskRecords; ++i) {
        info.stNetDiskInfo[i].start_rec_time = ranges[i].first;
        info.stNetDiskInfo[i].end_rec_time = ranges[i].second;
    }
    return info;
}

TEST(RecordedRange, TheTextRunsFromTheEarliestStartToTheLatestEnd) {
    const auto info = Disks({{Utc(2026, 11, 20, 9, 5), Utc(2026, 11, 25, 18, 0)},
                             {Utc(2026, 11, 14, 0, 7), Utc(2026, 11, 19, 23, 59)},
                             {Utc(2026, 11, 26, 0, 0), Utc(2026, 12, 6, 10, 30)}});
    EXPECT_EQ(RecordedRangeText(DiskRange(info)), "2026/11/14 0:7 --  2026/12/6 10:30");
}

TEST(RecordedRange, NoDisksOrNoEndIsNoDiskAndAZeroFirstStartIs1970) {
    EXPECT_EQ(RecordedRangeText(DiskRange(Disks({}))), "No Disk");
    EXPECT_EQ(RecordedRangeText(DiskRange(Disks({{0, 0}, {0, 0}}))), "No Disk");
    const auto zeroStart = Disks({{0, Utc(2026, 1, 2, 3, 4)}, {Utc(2025, 5, 5, 5, 5), 0}});
    EXPECT_EQ(RecordedRangeText(DiskRange(zeroStart)), "1970/1/1 0:0 --  2026/1/2 3:4");
    // A count beyond the table reads the eight records it has, never past them.
    auto many = Disks({{Utc(2026, 3, 1, 1, 1), Utc(2026, 3, 2, 2, 2)}});
    many.iDiskNum = 1000;
    EXPECT_EQ(RecordedRangeText(DiskRange(many)), "2026/3/1 1:1 --  2026/3/2 2:2");
}

}  // namespace
