// The simulator's disk information, record search and remote playback, spoken to over a loopback
// connection the way a DVR client would.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <ctime>
#include <optional>

#include "core/net/TcpSocket.h"
#include "core/support/FixedText.h"
#include "core/wire/WireFormats.h"
#include "tests/support/SimProcess.h"
#include "tools/dvrsim/RecordingSchedule.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using Lines = std::vector<std::string>;

// What the DVR sends: a command record and, for frames and some information replies, more.
struct Unit {
    NET_COMMAND cmd{};
    NET_FRAME_HEADER frame{};  // frames only
    std::vector<uint8_t> payload;
    bool isFrame() const { return cmd.iCmd == NET_FRAME_DATA; }
};

// A logged-in connection to the simulator on 127.0.0.1.
class DvrLink {
  public:
    explicit DvrLink(int port) {
        NET_LOGIN_INFO login{};
        SetText(login.user, "admin");
        SetText(login.pass, "1234");
        NET_COMMAND reply{};
        EXPECT_TRUE(socket_->ConnectWithin(*ResolveIPv4("127.0.0.1", port), 5s) == 0 &&
                    Send(MakeCommand(NET_LOGIN)) && socket_->SendAll(&login, sizeof login, 5s) &&
                    socket_->RecvAll(&reply, sizeof reply, 5s) && reply.iCmd == NET_LOGIN)
            << "no login";
    }

    bool Send(const NET_COMMAND& c) { return socket_->SendAll(&c, sizeof c, 5s); }

    // The next unit within `limit`; none on time-out or end of stream.
    std::optional<Unit> Next(std::chrono::milliseconds limit = 5s) {
        Unit u;
        if (!socket_->RecvAll(&u.cmd, sizeof u.cmd, limit) ||
            (u.isFrame() && !socket_->RecvAll(&u.frame, sizeof u.frame, limit))) {
            return std::nullopt;
        }
        const int32_t info = u.cmd.iCmd == NET_OTHER_INFO ? u.cmd.iParam1 : 0;
        u.payload.resize(u.isFrame()                ? u.frame.dataLen
                         : info == INFO_DISK        ? u.cmd.iParam2 * sizeof(NET_SEND_INFO)
                         : info == INFO_RECORD_LIST ? static_cast<std::size_t>(u.cmd.iParam3)
                                                    : 0);
        return socket_->RecvAll(u.payload.data(), u.payload.size(), limit) ? std::optional(u)
                                                                           : std::nullopt;
    }
    // The next information reply of a subtype, passing over frames.
    Unit Reply(int32_t subtype) {
        while (const auto u = Next()) {
            if (u->cmd.iCmd == NET_OTHER_INFO && u->cmd.iParam1 == subtype) {
                return *u;
            }
        }
        ADD_FAILURE() << "no reply of subtype " << subtype;
        return Unit{};
    }
    // The next `n` frames (fewer on time-out).
    std::vector<Unit> Frames(std::size_t n) {
        std::vector<Unit> out;
        for (std::optional<Unit> u; out.size() < n && (u = Next());) {
            if (u->isFrame()) {
                out.push_back(*u);
            }
        }
        return out;
    }

  private:
    std::unique_ptr<TcpSocket> socket_ = TcpSocket::Create();
};

template <typename T>
std::vector<T> Records(const Unit& u) {
    std::vector<T> out(u.payload.size() / sizeof(T));
    std::memcpy(out.data(), u.payload.data(), out.size() * sizeof(T));
    return out;
}

bool HasIdrSlice(const std::vector<uint8_t>& au) {
    for (std::size_t i = 0; i + 3 < au.size(); ++i) {
        if (au[i] == 0 && au[i + 1] == 0 && au[i + 2] == 1 && (au[i + 3] & 0x1F) == 5) {
            return true;
        }
    }
    return false;
}

NET_COMMAND Play(int32_t start, uint32_t mask, bool fast = false) {
    return MakeCommand(NET_PLAY_FILE, 86400, fast ? 1 : 0, static_cast<int32_t>(mask), start);
}

constexpr int32_t k1000 = 10 * 3600;  // 10:00:00 in seconds of the day

class SimRecordings : public ::testing::Test {
  protected:
    // The simulator with these recording options, its log in `log`.
    SimProcess Start(std::vector<std::string> options) {
        options.insert(options.begin(),
                       {"--listen", "127.0.0.1:0", "--account", "admin:1234:2:4", "--log", log});
        return SimProcess(options);
    }
    // The log, once a line of it starts with `prefix`.
    Lines LinesOnceLogged(const std::string& prefix) {
        return WaitForLines(log,
                            [&](const Lines& l) { return !LinesStartingWith(l, prefix).empty(); });
    }

    // The date the simulator calls today, read the same way.
    const int64_t midnight = DayStart(LocalDate(std::time(nullptr)));
    TempDir tmp;
    const std::string log = tmp.File("dvr.log");
};

TEST_F(SimRecordings, DisksAndSearchPagesDescribeTheScheduleAndRepliesWaitAndRefuseAsAsked) {
    SimProcess sim =
        Start({"--rec", "0=00:00-24:00", "--rec", "1+3=23:58-00:01", "--rec-split", "240",
               "--rec-days", "-2:0", "--disks", "3", "--play-refuse", "3", "--reply-delay", "300"});
    DvrLink dvr(sim.port());
    auto sent = Clock::now();
    dvr.Send(MakeCommand(NET_OTHER_INFO, INFO_DISK));
    const Unit disks = dvr.Reply(INFO_DISK);
    EXPECT_GE(Clock::now() - sent, 300ms);
    EXPECT_EQ(disks.cmd.iParam2, 3);
    const auto records = Records<NET_SEND_INFO>(disks);
    ASSERT_EQ(records.size(), 3u);
    for (int d = 0; d < 3; ++d) {
        EXPECT_EQ(records[d].start_rec_time, midnight + (d - 2) * kSecondsPerDay) << d;
        EXPECT_EQ(records[d].end_rec_time, midnight + (d - 1) * kSecondsPerDay + 60) << d;
    }

    const int32_t key = DateKey(LocalDate(std::time(nullptr)));
    for (int32_t page : {0, 1, 2}) {
        dvr.Send(MakeCommand(NET_SEARCH_RECORD, 0, page, 0, key));
    }
    dvr.Send(MakeCommand(NET_SEARCH_RECORD, 0, 0, 0, key + 20000));  // two years on
    // The page count, and the entries of the page: none past the last page or on an empty day.
    const int32_t pagesAndEntries[][2] = {{2, 300}, {2, 62}, {2, 0}, {0, 0}};
    std::vector<GST_FILESHOWINFO> first;
    for (const auto& [pages, entries] : pagesAndEntries) {
        const Unit u = dvr.Reply(INFO_RECORD_LIST);
        EXPECT_EQ(u.cmd.iParam2, pages);
        EXPECT_EQ(u.cmd.iParam3, entries * 92);
        if (first.empty()) {
            first = Records<GST_FILESHOWINFO>(u);
        }
    }
    ASSERT_EQ(first.size(), 300u);
    // Yesterday's 23:58 recording reaches into today and comes first.
    const auto fields = [](const GST_FILESHOWINFO& e) {
        return std::make_tuple(e.iCam, e.fileStartTime, e.fileEndTime, e.iDiskId, e.imageSize);
    };
    EXPECT_EQ(fields(first[0]), std::make_tuple(0b1010, midnight - 120, midnight + 60, 1, 2));
    EXPECT_EQ(fields(first[1]), std::make_tuple(0b1, midnight, midnight + 240, 2, 2));

    sent = Clock::now();
    dvr.Send(Play(k1000, 0b1));
    const Unit refused = dvr.Reply(INFO_PLAY_STATE);
    EXPECT_GE(Clock::now() - sent, 300ms);
    EXPECT_EQ(std::make_pair(refused.cmd.iParam2, refused.cmd.iParam3), std::make_pair(8, 3));

    const std::string k = "SEARCH key=" + std::to_string(key);
    const Lines lines = LinesOnceLogged("PLAY ");
    EXPECT_EQ(LinesStartingWith(lines, "DISKS "), Lines{"DISKS n=3"});
    EXPECT_EQ(LinesStartingWith(lines, "SEARCH "),
              (Lines{k + " page=0 pages=2 entries=300", k + " page=1 pages=2 entries=62",
                     k + " page=2 pages=2 entries=0",
                     "SEARCH key=" + std::to_string(key + 20000) + " page=0 pages=0 entries=0"}));
    EXPECT_EQ(LinesStartingWith(lines, "PLAY "),
              Lines{"PLAY start=36000 end=86400 mask=0x00000001 fast=0 state=8 reason=3"});
}

TEST_F(SimRecordings, PlaybackStreamsTheRecordedChannelsAtThePlayedTime) {
    SimProcess sim = Start({"--rec", "0+1=10:00-11:00", "--rec", "2=10:00:00-10:00:02,10:30-10:31",
                            "--rec", "5=10:00-11:00", "--rec-days", "-1:0"});
    DvrLink dvr(sim.port());
    dvr.Send(MakeCommand(NET_STOP_LIVE_VIEW));

    // Nothing recorded at noon, nor on channel 2 at 10:00:30; channel 5 is past the account's 4.
    for (const NET_COMMAND& c : {Play(12 * 3600, 0b111), Play(k1000 + 30, 0b100),
                                 Play(k1000 + 30, 0b100000), Play(86400, 0b1)}) {
        dvr.Send(c);
        const Unit refused = dvr.Reply(INFO_PLAY_STATE);
        EXPECT_EQ(std::make_pair(refused.cmd.iParam2, refused.cmd.iParam3), std::make_pair(8, 17))
            << c.iParam4;
    }
    EXPECT_FALSE(dvr.Next(300ms)) << "a refused play sent frames";

    // Today, channel 0 of the two recorded ones, one played second per second at 25 fps; then
    // fast forward, eight played seconds per second.
    for (const bool fast : {false, true}) {
        SCOPED_TRACE(fast ? "fast" : "normal");
        dvr.Send(Play(k1000 + 30, 0b1, fast));
        EXPECT_EQ(dvr.Reply(INFO_PLAY_STATE).cmd.iParam2, 9);
        const auto played = dvr.Frames(51);
        ASSERT_EQ(played.size(), 51u);
        EXPECT_TRUE(HasIdrSlice(played[0].payload));
        EXPECT_EQ(played[0].frame.frameNo, 0u);
        EXPECT_EQ(played[0].frame.timeSec, midnight + k1000 + 30);
        for (const Unit& f : played) {
            EXPECT_EQ(f.frame.channel, 0);
            EXPECT_NE(f.frame.timeExtra, 0u);
        }
        EXPECT_GE(played[50].frame.timeSec, played[0].frame.timeSec + (fast ? 12 : 1));
        EXPECT_LE(played[50].frame.timeSec, played[0].frame.timeSec + (fast ? 16 : 2));
    }

    // Yesterday's recording after a search of yesterday; the gap on channel 2 is skipped.
    const int64_t yesterday = midnight - kSecondsPerDay;
    std::tm utc{};
    const std::time_t t = yesterday;
    gmtime_r(&t, &utc);
    dvr.Send(MakeCommand(NET_SEARCH_RECORD, 0, 0, 0,
                         DateKey({utc.tm_year + 1900, utc.tm_mon + 1, utc.tm_mday})));
    EXPECT_EQ(dvr.Reply(INFO_RECORD_LIST).cmd.iParam2, 1);
    dvr.Send(Play(k1000, 0b100, true));
    EXPECT_EQ(dvr.Reply(INFO_PLAY_STATE).cmd.iParam2, 9);
    const auto played = dvr.Frames(10);
    ASSERT_EQ(played.size(), 10u);
    EXPECT_EQ(played[0].frame.timeSec, yesterday + k1000);
    EXPECT_FALSE(HasIdrSlice(played[1].payload));
    const auto jump = std::find_if(played.begin(), played.end(), [&](const Unit& f) {
        return f.frame.timeSec > yesterday + k1000 + 1;
    });
    ASSERT_NE(jump, played.end());
    EXPECT_EQ(jump->frame.timeSec, yesterday + k1000 + 1800);
    EXPECT_TRUE(HasIdrSlice(jump->payload));

    // Stop: once the disk reply sent after it arrives, no frame follows.
    dvr.Send(MakeCommand(NET_STOP_PLAY_FILE));
    dvr.Send(MakeCommand(NET_OTHER_INFO, INFO_DISK));
    dvr.Reply(INFO_DISK);
    EXPECT_FALSE(dvr.Next(1s)) << "frame after the stop";

    const Lines lines = LinesOnceLogged("PLAY-STOP");
    const auto plays = LinesStartingWith(lines, "PLAY ");
    ASSERT_EQ(plays.size(), 7u);
    EXPECT_EQ(plays[5], "PLAY start=36030 end=86400 mask=0x00000001 fast=1 state=9 reason=0");
    EXPECT_EQ(LinesStartingWith(lines, "PLAY-STOP").size(), 1u);
}

}  // namespace
