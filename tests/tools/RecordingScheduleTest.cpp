// The simulator's recordings: the options that describe them, the files they make around a fixed
// "today", disk information, record-search pages and the played-time clock.
#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>
#include <tuple>

#include "tools/dvrsim/PlayClock.h"
#include "tools/dvrsim/RecordingSchedule.h"
#include "tools/dvrsim/SimConfig.h"

namespace {

constexpr CivilDate kToday{2026, 12, 6};
constexpr int64_t kMidnight = 1796515200;  // 2026-12-06 00:00:00 UTC
constexpr int64_t kDay = kSecondsPerDay;

// The command line: the words of `args`, split at spaces, after the listening address.
std::optional<SimConfig> Parse(const std::string& args, std::string& error) {
    std::vector<std::string> words{"quillmarsh-dvrsim", "--listen", "127.0.0.1:0"};
    std::istringstream in(args);
    for (std::string w; in >> w;) {
        words.push_back(w);
    }
    std::vector<char*> argv;
    for (auto& w : words) {
        argv.push_back(w.data());
    }
    return ParseSimConfig(static_cast<int>(argv.size()), argv.data(), error);
}

RecordingConfig Recording(const std::string& args) {
    std::string error;
    auto config = Parse(args, error);
    EXPECT_TRUE(config) << error;
    return config ? config->recording : RecordingConfig{};
}

int64_t At(int64_t day, int h, int m, int s = 0) {
    return kMidnight + day * kDay + h * 3600 + m * 60 + s;
}

TEST(RecordingOptions, RangesChannelsAndDaysAreReadAsWritten) {
    const RecordingConfig c = Recording(
        "--rec 2+15=08:00-12:00:30,23:58-00:03 --rec 0=00:00-24:00 --rec-days -2:1 "
        "--rec-split 600 --disks 3 --disk-start-zero --play-refuse -5 --reply-delay 250");
    const auto rule = [](const RecordingRule& r) {
        return std::make_tuple(r.cams, r.start, r.end);
    };
    ASSERT_EQ(c.rules.size(), 3u);
    EXPECT_EQ(rule(c.rules[0]), std::make_tuple((1u << 2) | (1u << 15), 8 * 3600, 12 * 3600 + 30));
    // An end before the start runs into the next day.
    EXPECT_EQ(rule(c.rules[1]), std::make_tuple((1u << 2) | (1u << 15), 86280, 86400 + 180));
    EXPECT_EQ(rule(c.rules[2]), std::make_tuple(1u, 0, 86400));
    EXPECT_EQ(std::make_tuple(c.firstDay, c.lastDay, c.splitSeconds, c.disks, c.diskStartZero,
                              c.playRefuse, c.replyDelayMillis),
              std::make_tuple(-2, 1, 600, 3, true, std::optional<int32_t>(-5), 250));
    const RecordingConfig d = Recording("");
    EXPECT_EQ(std::make_tuple(d.firstDay, d.lastDay, d.disks, d.playRefuse.has_value()),
              std::make_tuple(0, 0, 1, false));
}

TEST(RecordingOptions, MalformedOrUnboundedValuesAreRefused) {
    std::vector<std::string> refused = {
        "--rec-days 1:0", "--rec-days -4000:0",  "--rec-split 0",   "--disks 9",
        "--disks -1",     "--reply-delay 60001", "--play-refuse x", "--play-refuse 4294967296"};
    // The last makes too many files.
    for (const char* rec :
         {"32=10:00-11:00", "-1=10:00-11:00", "1+=10:00-11:00", "1=10:00", "1=10:00-24:01",
          "1=24:00-01:00", "1=10:60-11:00", "1=10:00-11:00,", "1=+1:00-2:00", "10:00-11:00", "",
          "0=00:00-24:00 --rec-split 1 --rec-days -9:0"}) {
        refused.push_back(std::string("--rec ") + rec);
    }
    for (const std::string& args : refused) {
        std::string error;
        EXPECT_FALSE(Parse(args, error)) << args;
        EXPECT_FALSE(error.empty()) << args;
    }
}

TEST(DateKeys, NameCalendarDaysAndNothingElse) {
    EXPECT_EQ(DateKey({2011, 3, 10}), 1110210);
    EXPECT_EQ(DateOfKey(1110210), (CivilDate{2011, 3, 10}));
    EXPECT_EQ(DateOfKey(1120129), (CivilDate{2012, 2, 29}));  // leap day
    EXPECT_EQ(DayStart({2011, 3, 10}), 1299715200);
    EXPECT_EQ(DayStart(kToday), kMidnight);
    for (int32_t key : {1110129 /* 29 Feb 2011 */, 1110200, 1111201, -1, 1110132}) {
        EXPECT_FALSE(DateOfKey(key)) << key;
    }
}

TEST(RecordingSchedule, RecordingsAreCutIntoFilesSortedByStartThenChannels) {
    const RecordingSchedule s(Recording("--rec 3=10:00-10:25 --rec 1+2=10:00-10:05,23:58-00:03 "
                                        "--rec-split 600 --rec-days -1:0"),
                              kToday);
    std::vector<RecordedFile> today;
    std::copy_if(s.files().begin(), s.files().end(), std::back_inserter(today),
                 [](const RecordedFile& f) { return f.start >= kMidnight; });
    EXPECT_EQ(today, (std::vector<RecordedFile>{{At(0, 10, 0), At(0, 10, 5), 0b110, 0},
                                                {At(0, 10, 0), At(0, 10, 10), 0b1000, 0},
                                                {At(0, 10, 10), At(0, 10, 20), 0b1000, 0},
                                                {At(0, 10, 20), At(0, 10, 25), 0b1000, 0},
                                                {At(0, 23, 58), At(1, 0, 3), 0b110, 0}}));
    EXPECT_EQ(s.files().size(), 2 * today.size());  // and as many yesterday
}

TEST(RecordingSchedule, EventRangesFlagTheOverlappingFilesOfTheirChannels) {
    const RecordingSchedule s(
        Recording("--rec 0+1=10:00-10:30 --rec 2=23:50-00:20 --rec-split 600 --rec-days -1:0 "
                  "--rec-event 1=motion@10:12-10:13 --rec-event 0+2=sensor+loss@10:20-10:21,"
                  "00:05-00:06 --rec-event 3=motion@10:00-11:00"),
        kToday);
    // Per file of today: start and the flags of its record list entry.
    std::vector<std::tuple<int64_t, int, int, int>> got;
    for (const RecordedFile& f : s.Search(kMidnight, 0).entries) {
        const GST_FILESHOWINFO e = FileShowInfo(f, 0, 0);
        got.emplace_back(f.start, e.event.motion, e.event.loss, e.event.sensor);
    }
    // Yesterday's 23:50 recording is cut at 00:00; its 00:00-00:10 piece holds the 00:05 range.
    EXPECT_EQ(got, (std::vector<std::tuple<int64_t, int, int, int>>{{At(0, 0, 0), 0, 1, 1},
                                                                    {At(0, 0, 10), 0, 0, 0},
                                                                    {At(0, 10, 0), 0, 0, 0},
                                                                    {At(0, 10, 10), 1, 0, 0},
                                                                    {At(0, 10, 20), 0, 1, 1},
                                                                    {At(0, 23, 50), 0, 0, 0}}));
    for (const char* bad : {"1=motion", "1=@10:00-11:00", "1=smoke@10:00-11:00",
                            "32=loss@10:00-11:00", "1=loss@10:00", "1@loss=10:00-11:00"}) {
        std::string error;
        EXPECT_FALSE(Parse(std::string("--rec-event ") + bad, error)) << bad;
    }
}

TEST(RecordingSchedule, SearchFindsEveryFileOverlappingTheDayInPagesOf300) {
    // 00:00-24:00 cut into 240 s is 360 files a day; the 23:58 recording of yesterday reaches
    // into today, the 23:59 one ends at midnight.
    const RecordingSchedule s(Recording("--rec 0=00:00-24:00 --rec 1+3=23:58-00:01 --rec "
                                        "2=23:59-24:00 --rec-split 240 --rec-days -1:0"),
                              kToday);
    // The first page and the page counts are checked on the wire by SimRecordings.DisksAndSearch…
    const SearchResult first = s.Search(kMidnight, 0);
    ASSERT_EQ(first.entries.size(), 300u);
    const SearchResult second = s.Search(kMidnight, 1);
    ASSERT_EQ(second.entries.size(), 63u);  // 360 + yesterday's 23:58 + today's 23:58 and 23:59
    EXPECT_EQ(second.entries.back(), (RecordedFile{At(0, 23, 59), At(1, 0, 0), 0b100, 0}));
    std::vector<RecordedFile> all = first.entries;
    all.insert(all.end(), second.entries.begin(), second.entries.end());
    EXPECT_TRUE(std::is_sorted(all.begin(), all.end(),
                               [](const auto& a, const auto& b) { return a.start < b.start; }));
    // Yesterday ends before today's first file.
    const SearchResult yesterday = s.Search(kMidnight - kDay, 1);
    ASSERT_EQ(yesterday.entries.size(), 62u);
    EXPECT_EQ(yesterday.entries.back(), (RecordedFile{At(0, 0, -1), At(0, 0, 0), 0b100, 0}));
    for (int32_t page : {1000, -1}) {
        const SearchResult past = s.Search(kMidnight, page);
        EXPECT_EQ(past.pages, 2) << page;
        EXPECT_TRUE(past.entries.empty()) << page;
    }
    // Tomorrow only has the end of today's 23:58 recording; the day after has nothing.
    const SearchResult tomorrow = s.Search(kMidnight + kDay, 0);
    EXPECT_EQ(tomorrow.pages, 1);
    ASSERT_EQ(tomorrow.entries.size(), 1u);
    EXPECT_EQ(tomorrow.entries[0].start, At(0, 23, 58));
    const SearchResult after = s.Search(kMidnight + 2 * kDay, 0);
    EXPECT_EQ(std::make_pair(after.pages, after.entries.size()), std::make_pair(0, std::size_t{0}));
}

TEST(RecordingSchedule, DisksHoldContiguousSharesOfTheDays) {
    const std::string rec = "--rec 5=01:00-02:00,23:00-01:00 --rec-days -2:0 --disks ";
    const auto d = [](int day) { return At(day, 1, 0); };
    // Start and end of each disk's recordings; an empty disk reports zeros and is all free.
    for (const auto& [disks, expected] : std::vector<std::pair<std::string, std::vector<int64_t>>>{
             {"3", {d(-2), d(-1), d(-1), d(0), d(0), d(1)}},
             {"2 --disk-start-zero", {0, d(0), d(0), d(1)}},  // the earlier disk holds two days
             {"5", {d(-2), d(-1), d(-1), d(0), 0, 0, d(0), d(1), 0, 0}},
             {"0", {}}}) {
        SCOPED_TRACE(disks);
        std::vector<int64_t> got;
        for (const NET_SEND_INFO& info :
             RecordingSchedule(Recording(rec + disks), kToday).Disks()) {
            got.insert(got.end(), {info.start_rec_time, info.end_rec_time});
            EXPECT_EQ(info.disk_remain == info.disk_size, info.end_rec_time == 0);
        }
        EXPECT_EQ(got, expected);
    }
    // A file is on the disk of the day it starts on.
    const SearchResult today = RecordingSchedule(Recording(rec + "5"), kToday).Search(kMidnight, 0);
    EXPECT_EQ(today.entries.front().disk, 1);  // yesterday's 23:00
    EXPECT_EQ(today.entries.back().disk, 3);
}

TEST(RecordingSchedule, RecordedChannelsAndNextStartFollowTheMask) {
    const RecordingSchedule s(Recording("--rec 0=10:00-10:10 --rec 0+4=10:05-10:20,11:00-11:01"),
                              kToday);
    EXPECT_EQ(s.RecordedAt(At(0, 10, 0), ~0u), 0b1u);
    EXPECT_EQ(s.RecordedAt(At(0, 10, 7), ~0u), 0b10001u);
    EXPECT_EQ(s.RecordedAt(At(0, 10, 7), 0b10000u), 0b10000u);
    EXPECT_EQ(s.RecordedAt(At(0, 10, 19, 59), ~0u), 0b10001u);
    EXPECT_EQ(s.RecordedAt(At(0, 10, 20), ~0u), 0u);  // the end is not recorded
    EXPECT_EQ(s.RecordedAt(At(0, 9, 59, 59), ~0u), 0u);
    EXPECT_EQ(s.RecordedAt(At(0, 10, 7), 0b1110u), 0u);

    EXPECT_EQ(s.NextStart(At(0, 9, 0), 0b10000u), At(0, 10, 5));
    EXPECT_EQ(s.NextStart(At(0, 10, 20), ~0u), At(0, 11, 0));
    EXPECT_EQ(s.NextStart(At(0, 11, 0), ~0u), At(0, 11, 0));
    EXPECT_FALSE(s.NextStart(At(0, 11, 0, 1), ~0u));
    EXPECT_FALSE(s.NextStart(At(0, 9, 0), 0b100u));
}

TEST(PlayClock, PlaysFromTheStartSkipsGapsAndEndsWithTheRecordingsOrTheInterval) {
    auto s = std::make_shared<const RecordingSchedule>(
        Recording("--rec 0=10:00:00-10:00:02,10:00:30-10:00:31 --rec 1=10:00:01-10:01"), kToday);
    // After settling: the played second, the channels, whether a gap was skipped and the
    // milliseconds word of the frame time.
    const auto settled = [](PlayClock& c) {
        EXPECT_TRUE(c.Settle());
        return std::make_tuple(c.second(), c.channels(), c.skipped(), c.Time().extra);
    };
    PlayClock clock(s, 0b1, At(0, 10, 0), At(0, 12, 0));
    EXPECT_EQ(settled(clock), std::make_tuple(At(0, 10, 0), 0b1u, false, 1u));
    EXPECT_EQ(clock.Time().sec, At(0, 10, 0));
    clock.Advance(1960);
    EXPECT_EQ(settled(clock), std::make_tuple(At(0, 10, 0, 1), 0b1u, false, 961u));
    clock.Advance(40);  // 10:00:02, where channel 0 stops until 10:00:30
    EXPECT_EQ(settled(clock), std::make_tuple(At(0, 10, 0, 30), 0b1u, true, 1u));
    clock.Advance(1000);
    EXPECT_FALSE(clock.Settle());  // nothing of channel 0 after 10:00:31
    EXPECT_FALSE(clock.Settle());

    PlayClock both(s, 0b11, At(0, 10, 0, 1), At(0, 10, 0, 45));
    EXPECT_EQ(settled(both), std::make_tuple(At(0, 10, 0, 1), 0b11u, false, 1u));
    both.Advance(1000);  // no gap: channel 1 goes on alone
    EXPECT_EQ(settled(both), std::make_tuple(At(0, 10, 0, 2), 0b10u, false, 1u));
    both.Advance(42000);
    EXPECT_EQ(settled(both), std::make_tuple(At(0, 10, 0, 44), 0b10u, false, 1u));
    both.Advance(1000);
    EXPECT_FALSE(both.Settle());  // the end of the interval
}

TEST(ScheduleSource, BuildsTheRecordingsAroundTheCurrentLocalDate) {
    std::time_t now = 1796558400;  // 2026-12-06 12:00 UTC
    ScheduleSource source(Recording("--rec 0=10:00-11:00"), [&now] { return now; });
    const auto first = source.Current();
    EXPECT_EQ(first->today(), LocalDate(now));
    EXPECT_EQ(source.Current(), first);
    now += 2 * kDay;
    const auto later = source.Current();
    EXPECT_EQ(later->today(), LocalDate(now));
    ASSERT_EQ(later->files().size(), 1u);
    EXPECT_EQ(later->files()[0].start, DayStart(LocalDate(now)) + 10 * 3600);
}

}  // namespace
