// The simulator's recordings: the options that describe them, the files they make around a fixed
// "today", disk information, record-search pages and the played-time clock.
#include <gtest/gtest.h>

#include <algorithm>
#include <tuple>

#include "tools/dvrsim/PlayClock.h"
#include "tools/dvrsim/RecordingSchedule.h"
#include "tools/dvrsim/SimConfig.h"

namespace {

constexpr CivilDate kToday{2026, 12, 6};
constexpr int64_t kMidnight = 1796515200;  // 2026-12-06 00:00:00 UTC
constexpr int64_t kDay = kSecondsPerDay;

std::optional<SimConfig> Parse(std::vector<std::string> args, std::string& error) {
    args.insert(args.begin(), {"quillmarsh-dvrsim", "--listen", "127.0.0.1:0"});
    std::vector<char*> argv;
    for (auto& a : args) {
        argv.push_back(a.data());
    }
    return ParseSimConfig(static_cast<int>(argv.size()), argv.data(), error);
}

RecordingConfig Recording(std::vector<std::string> args) {
    std::string error;
    auto config = Parse(std::move(args), error);
    EXPECT_TRUE(config) << error;
    return config ? config->recording : RecordingConfig{};
}

int64_t At(int64_t day, int h, int m, int s = 0) {
    return kMidnight + day * kDay + h * 3600 + m * 60 + s;
}

TEST(RecordingOptions, RangesChannelsAndDaysAreReadAsWritten) {
    const RecordingConfig c =
        Recording({"--rec", "2+15=08:00-12:00:30,23:58-00:03", "--rec", "0=00:00-24:00",
                   "--rec-days", "-2:1", "--rec-split", "600", "--disks", "3", "--disk-start-zero",
                   "--play-refuse", "-5", "--reply-delay", "250"});
    ASSERT_EQ(c.rules.size(), 3u);
    EXPECT_EQ(c.rules[0].cams, (1u << 2) | (1u << 15));
    EXPECT_EQ(c.rules[0].start, 8 * 3600);
    EXPECT_EQ(c.rules[0].end, 12 * 3600 + 30);
    // An end before the start runs into the next day.
    EXPECT_EQ(c.rules[1].start, 23 * 3600 + 58 * 60);
    EXPECT_EQ(c.rules[1].end, kDay + 3 * 60);
    EXPECT_EQ(c.rules[2].cams, 1u);
    EXPECT_EQ(c.rules[2].end, kDay);
    EXPECT_EQ(c.firstDay, -2);
    EXPECT_EQ(c.lastDay, 1);
    EXPECT_EQ(c.splitSeconds, 600);
    EXPECT_EQ(c.disks, 3);
    EXPECT_TRUE(c.diskStartZero);
    EXPECT_EQ(c.playRefuse, -5);
    EXPECT_EQ(c.replyDelayMillis, 250);

    const RecordingConfig defaults = Recording({});
    EXPECT_EQ(std::make_tuple(defaults.firstDay, defaults.lastDay, defaults.disks),
              std::make_tuple(0, 0, 1));
}

TEST(RecordingOptions, MalformedOrUnboundedValuesAreRefused) {
    // Each is an option and its value, split at the space; the last makes too many files.
    for (std::string bad : {"--rec 32=10:00-11:00",
                            "--rec -1=10:00-11:00",
                            "--rec 1+=10:00-11:00",
                            "--rec 1=10:00",
                            "--rec 1=10:00-24:01",
                            "--rec 1=24:00-01:00",
                            "--rec 1=10:60-11:00",
                            "--rec 1=10:00-11:00,",
                            "--rec 1=+1:00-2:00",
                            "--rec 10:00-11:00",
                            "--rec",
                            "--rec-days 1:0",
                            "--rec-days -4000:0",
                            "--rec-split 0",
                            "--disks 9",
                            "--disks -1",
                            "--reply-delay 60001",
                            "--play-refuse x",
                            "--play-refuse 4294967296",
                            "--rec-split 1 --rec 0=00:00-24:00 --rec-days -9:0"}) {
        std::vector<std::string> args;
        for (std::size_t at = 0; at != std::string::npos;) {
            const std::size_t space = bad.find(' ', at);
            args.push_back(bad.substr(at, space == std::string::npos ? space : space - at));
            at = space == std::string::npos ? space : space + 1;
        }
        std::string error;
        EXPECT_FALSE(Parse(args, error)) << bad;
        EXPECT_FALSE(error.empty()) << bad;
    }
}

TEST(DateKeys, NameCalendarDaysAndNothingElse) {
    EXPECT_EQ(DateKey({2011, 3, 10}), 1110210);
    EXPECT_EQ(DateOfKey(1110210), (CivilDate{2011, 3, 10}));
    EXPECT_EQ(DateOfKey(DateKey(kToday)), kToday);
    EXPECT_EQ(DayStart({2011, 3, 10}), 1299715200);
    EXPECT_EQ(DayStart(kToday), kMidnight);
    EXPECT_EQ(DateOfKey(1120129), (CivilDate{2012, 2, 29}));  // leap day
    for (int32_t key : {1110129 /* 29 Feb 2011 */, 1110200, 1111201, -1, 1110132}) {
        EXPECT_FALSE(DateOfKey(key)) << key;
    }
}

TEST(RecordingSchedule, RecordingsAreCutIntoFilesSortedByStartThenChannels) {
    const RecordingSchedule s(
        Recording({"--rec", "3=10:00-10:25", "--rec", "1+2=10:00-10:05,23:58-00:03", "--rec-split",
                   "600", "--rec-days", "-1:0"}),
        kToday);
    const std::vector<RecordedFile> yesterdayAndToday = s.files();
    std::vector<RecordedFile> today;
    for (const RecordedFile& f : yesterdayAndToday) {
        if (f.start >= kMidnight) {
            today.push_back(f);
        }
    }
    const uint32_t both = 0b110;
    const uint32_t three = 0b1000;
    EXPECT_EQ(today, (std::vector<RecordedFile>{
                         {At(0, 10, 0), At(0, 10, 5), both, 0},
                         {At(0, 10, 0), At(0, 10, 10), three, 0},
                         {At(0, 10, 10), At(0, 10, 20), three, 0},
                         {At(0, 10, 20), At(0, 10, 25), three, 0},
                         {At(0, 23, 58), At(1, 0, 3), both, 0},
                     }));
    EXPECT_EQ(yesterdayAndToday.size(), 2 * today.size());
}

TEST(RecordingSchedule, SearchFindsEveryFileOverlappingTheDayInPagesOf300) {
    // 00:00-24:00 cut into 240 s is 360 files a day; the 23:58 recording of yesterday reaches
    // into today, the 23:59 one ends at midnight.
    const RecordingSchedule s(
        Recording({"--rec", "0=00:00-24:00", "--rec", "1+3=23:58-00:01", "--rec", "2=23:59-24:00",
                   "--rec-split", "240", "--rec-days", "-1:0"}),
        kToday);
    const SearchResult first = s.search(kMidnight, 0);
    EXPECT_EQ(first.pages, 2);
    ASSERT_EQ(first.entries.size(), 300u);
    EXPECT_EQ(first.entries[0], (RecordedFile{At(0, 0, -2), At(0, 0, 1), 0b1010, 0}));
    EXPECT_EQ(first.entries[1], (RecordedFile{At(0, 0, 0), At(0, 0, 4), 0b1, 0}));
    const SearchResult second = s.search(kMidnight, 1);
    EXPECT_EQ(second.pages, 2);
    ASSERT_EQ(second.entries.size(), 63u);  // 360 + yesterday's 23:58 + today's 23:58 and 23:59
    EXPECT_EQ(second.entries.back(), (RecordedFile{At(0, 23, 59), At(1, 0, 0), 0b100, 0}));
    std::vector<RecordedFile> all = first.entries;
    all.insert(all.end(), second.entries.begin(), second.entries.end());
    EXPECT_TRUE(std::is_sorted(all.begin(), all.end(),
                               [](const auto& a, const auto& b) { return a.start < b.start; }));
    // Yesterday ends before today's first file.
    const SearchResult yesterday = s.search(kMidnight - kDay, 1);
    ASSERT_EQ(yesterday.entries.size(), 62u);
    EXPECT_EQ(yesterday.entries.back(), (RecordedFile{At(0, 0, -1), At(0, 0, 0), 0b100, 0}));

    for (int32_t page : {2, 1000, -1}) {
        const SearchResult past = s.search(kMidnight, page);
        EXPECT_EQ(past.pages, 2) << page;
        EXPECT_TRUE(past.entries.empty()) << page;
    }
    // Tomorrow only has the end of today's 23:58 recording; the day after has nothing.
    const SearchResult tomorrow = s.search(kMidnight + kDay, 0);
    EXPECT_EQ(tomorrow.pages, 1);
    ASSERT_EQ(tomorrow.entries.size(), 1u);
    EXPECT_EQ(tomorrow.entries[0].start, At(0, 23, 58));
    EXPECT_EQ(s.search(kMidnight + 2 * kDay, 0).pages, 0);
    EXPECT_TRUE(s.search(kMidnight + 2 * kDay, 0).entries.empty());
}

TEST(RecordingSchedule, DisksHoldContiguousSharesOfTheDays) {
    const auto config =
        Recording({"--rec", "5=01:00-02:00,23:00-01:00", "--rec-days", "-2:0", "--disks", "3"});
    const std::vector<NET_SEND_INFO> disks = RecordingSchedule(config, kToday).disks();
    ASSERT_EQ(disks.size(), 3u);
    for (int d = 0; d < 3; ++d) {
        SCOPED_TRACE(d);
        EXPECT_EQ(disks[d].start_rec_time, At(d - 2, 1, 0));
        EXPECT_EQ(disks[d].end_rec_time, At(d - 1, 1, 0));
    }
    // Two disks over three days: the earlier one holds two of them.
    auto two = config;
    two.disks = 2;
    two.diskStartZero = true;
    const auto twoDisks = RecordingSchedule(two, kToday).disks();
    ASSERT_EQ(twoDisks.size(), 2u);
    EXPECT_EQ(twoDisks[0].start_rec_time, 0);
    EXPECT_EQ(twoDisks[0].end_rec_time, At(0, 1, 0));
    EXPECT_EQ(twoDisks[1].start_rec_time, At(0, 1, 0));
    // More disks than days leaves some empty; none at all is an empty answer.
    two.disks = 5;
    two.diskStartZero = false;
    const auto fiveDisks = RecordingSchedule(two, kToday).disks();
    ASSERT_EQ(fiveDisks.size(), 5u);
    EXPECT_EQ(fiveDisks[1].start_rec_time, At(-1, 1, 0));
    EXPECT_EQ(fiveDisks[2].start_rec_time, 0);
    EXPECT_EQ(fiveDisks[2].end_rec_time, 0);
    EXPECT_EQ(fiveDisks[2].disk_remain, fiveDisks[2].disk_size);
    EXPECT_EQ(fiveDisks[3].start_rec_time, At(0, 1, 0));
    const SearchResult today = RecordingSchedule(two, kToday).search(kMidnight, 0);
    EXPECT_EQ(today.entries.front().disk, 1);  // yesterday's 23:00
    EXPECT_EQ(today.entries.back().disk, 3);
    two.disks = 0;
    EXPECT_TRUE(RecordingSchedule(two, kToday).disks().empty());
}

TEST(RecordingSchedule, RecordedChannelsAndNextStartFollowTheMask) {
    const RecordingSchedule s(
        Recording({"--rec", "0=10:00-10:10", "--rec", "0+4=10:05-10:20,11:00-11:01"}), kToday);
    EXPECT_EQ(s.recordedAt(At(0, 10, 0), ~0u), 0b1u);
    EXPECT_EQ(s.recordedAt(At(0, 10, 7), ~0u), 0b10001u);
    EXPECT_EQ(s.recordedAt(At(0, 10, 7), 0b10000u), 0b10000u);
    EXPECT_EQ(s.recordedAt(At(0, 10, 19, 59), ~0u), 0b10001u);
    EXPECT_EQ(s.recordedAt(At(0, 10, 20), ~0u), 0u);  // the end is not recorded
    EXPECT_EQ(s.recordedAt(At(0, 9, 59, 59), ~0u), 0u);
    EXPECT_EQ(s.recordedAt(At(0, 10, 7), 0b1110u), 0u);

    EXPECT_EQ(s.nextStart(At(0, 9, 0), 0b10000u), At(0, 10, 5));
    EXPECT_EQ(s.nextStart(At(0, 10, 20), ~0u), At(0, 11, 0));
    EXPECT_EQ(s.nextStart(At(0, 11, 0), ~0u), At(0, 11, 0));
    EXPECT_FALSE(s.nextStart(At(0, 11, 0, 1), ~0u));
    EXPECT_FALSE(s.nextStart(At(0, 9, 0), 0b100u));
}

TEST(PlayClock, PlaysFromTheStartSkipsGapsAndEndsWithTheRecordingsOrTheInterval) {
    auto s = std::make_shared<const RecordingSchedule>(
        Recording({"--rec", "0=10:00:00-10:00:02,10:00:30-10:00:31", "--rec", "1=10:00:01-10:01"}),
        kToday);
    PlayClock clock(s, 0b1, At(0, 10, 0), At(0, 12, 0));
    ASSERT_TRUE(clock.settle());
    EXPECT_EQ(clock.second(), At(0, 10, 0));
    EXPECT_EQ(clock.channels(), 0b1u);
    EXPECT_EQ(clock.time().sec, At(0, 10, 0));
    EXPECT_EQ(clock.time().extra, 1u);
    clock.advance(1960);
    ASSERT_TRUE(clock.settle());
    EXPECT_FALSE(clock.skipped());
    EXPECT_EQ(clock.second(), At(0, 10, 0, 1));
    EXPECT_EQ(clock.time().extra, 961u);
    clock.advance(40);  // 10:00:02, where channel 0 stops until 10:00:30
    ASSERT_TRUE(clock.settle());
    EXPECT_TRUE(clock.skipped());
    EXPECT_EQ(clock.second(), At(0, 10, 0, 30));
    EXPECT_EQ(clock.time().extra, 1u);
    clock.advance(1000);
    EXPECT_FALSE(clock.settle());  // nothing of channel 0 after 10:00:31
    EXPECT_FALSE(clock.settle());

    PlayClock both(s, 0b11, At(0, 10, 0, 1), At(0, 10, 0, 45));
    ASSERT_TRUE(both.settle());
    EXPECT_EQ(both.channels(), 0b11u);
    both.advance(1000);
    ASSERT_TRUE(both.settle());
    EXPECT_EQ(both.channels(), 0b10u);  // no gap: channel 1 goes on alone
    EXPECT_FALSE(both.skipped());
    both.advance(42000);
    ASSERT_TRUE(both.settle());
    EXPECT_EQ(both.second(), At(0, 10, 0, 44));
    both.advance(1000);
    EXPECT_FALSE(both.settle());  // the end of the interval
}

TEST(ScheduleSource, BuildsTheRecordingsAroundTheCurrentLocalDate) {
    std::time_t now = 1796558400;  // 2026-12-06 12:00 UTC
    ScheduleSource source(Recording({"--rec", "0=10:00-11:00"}), [&now] { return now; });
    const auto first = source.current();
    EXPECT_EQ(first->today(), LocalDate(now));
    EXPECT_EQ(source.current(), first);
    now += 2 * kDay;
    const auto later = source.current();
    EXPECT_EQ(later->today(), LocalDate(now));
    ASSERT_EQ(later->files().size(), 1u);
    EXPECT_EQ(later->files()[0].start, DayStart(LocalDate(now)) + 10 * 3600);
}

}  // namespace
