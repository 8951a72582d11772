// The simulator's disk information, record search and remote playback, spoken to over a raw
// loopback connection the way a DVR client would.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <ctime>
#include <stdexcept>

#include "core/wire/WireFormats.h"
#include "tests/support/SimProcess.h"
#include "tools/dvrsim/RecordingSchedule.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

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
        fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_port = htons(static_cast<uint16_t>(port));
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (::connect(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
            throw std::runtime_error("connect");
        }
        NET_LOGIN_INFO login{};
        std::memcpy(login.user, "admin", 5);
        std::memcpy(login.pass, "1234", 4);
        send(MakeCommand(NET_LOGIN));
        write(&login, sizeof login);
        NET_COMMAND reply{};
        if (!read(&reply, sizeof reply, Clock::now() + 5s) || reply.iCmd != NET_LOGIN) {
            throw std::runtime_error("login refused");
        }
    }
    ~DvrLink() { ::close(fd_); }

    void send(const NET_COMMAND& c) { write(&c, sizeof c); }

    // The next unit within `limit`; false on time-out or end of stream.
    bool next(Unit& u, std::chrono::milliseconds limit = 5s) {
        const auto deadline = Clock::now() + limit;
        u = Unit{};
        if (!read(&u.cmd, sizeof u.cmd, deadline)) {
            return false;
        }
        std::size_t more = 0;
        if (u.isFrame()) {
            if (!read(&u.frame, sizeof u.frame, deadline) || u.frame.dataLen > kMaxFramePayload) {
                return false;
            }
            more = u.frame.dataLen;
        } else if (u.cmd.iCmd == NET_OTHER_INFO && u.cmd.iParam1 == INFO_DISK) {
            more = static_cast<std::size_t>(u.cmd.iParam2) * sizeof(NET_SEND_INFO);
        } else if (u.cmd.iCmd == NET_OTHER_INFO && u.cmd.iParam1 == INFO_RECORD_LIST) {
            more = u.cmd.iParam2 > 0 ? static_cast<std::size_t>(u.cmd.iParam3) : 0;
        }
        u.payload.resize(more);
        return read(u.payload.data(), more, deadline);
    }
    // The next information reply of a subtype, passing over frames.
    Unit reply(int32_t subtype) {
        Unit u;
        while (next(u)) {
            if (u.cmd.iCmd == NET_OTHER_INFO && u.cmd.iParam1 == subtype) {
                return u;
            }
        }
        ADD_FAILURE() << "no reply of subtype " << subtype;
        return Unit{};
    }
    // The next `n` frames (fewer on time-out).
    std::vector<Unit> frames(int n) {
        std::vector<Unit> out;
        Unit u;
        while (static_cast<int>(out.size()) < n && next(u)) {
            if (u.isFrame()) {
                out.push_back(u);
            }
        }
        return out;
    }

  private:
    void write(const void* data, std::size_t n) {
        if (::send(fd_, data, n, MSG_NOSIGNAL) != static_cast<ssize_t>(n)) {
            throw std::runtime_error("send");
        }
    }
    bool read(void* data, std::size_t n, Clock::time_point deadline) {
        auto* p = static_cast<uint8_t*>(data);
        while (n > 0) {
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
            pollfd pfd{fd_, POLLIN, 0};
            if (left.count() <= 0 || ::poll(&pfd, 1, static_cast<int>(left.count())) <= 0) {
                return false;
            }
            const ssize_t got = ::recv(fd_, p, n, 0);
            if (got <= 0) {
                return false;
            }
            p += got;
            n -= static_cast<std::size_t>(got);
        }
        return true;
    }

    int fd_ = -1;
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

int64_t Sec(const Unit& frame) {
    return frame.frame.timeSec;
}

NET_COMMAND Play(int32_t start, uint32_t mask, bool fast = false) {
    return MakeCommand(NET_PLAY_FILE, 86400, fast ? 1 : 0, static_cast<int32_t>(mask), start);
}

constexpr int32_t k1000 = 10 * 3600;  // 10:00:00 in seconds of the day

class SimRecordings : public ::testing::Test {
  protected:
    // The date the simulator calls today, read the same way.
    const CivilDate today = LocalDate(std::time(nullptr));
    const int64_t midnight = DayStart(today);
    const CivilDate yesterday = [this] {
        const std::time_t t = midnight - kSecondsPerDay;
        std::tm utc{};
        gmtime_r(&t, &utc);
        return CivilDate{utc.tm_year + 1900, utc.tm_mon + 1, utc.tm_mday};
    }();
    TempDir tmp;
    const std::string log = tmp.file("dvr.log");
};

TEST_F(SimRecordings, DisksAndSearchPagesDescribeTheSchedule) {
    SimProcess sim({"--listen", "127.0.0.1:0", "--account", "admin:1234:2:4", "--log", log, "--rec",
                    "0=00:00-24:00", "--rec", "1+3=23:58-00:01", "--rec-split", "240", "--rec-days",
                    "-2:0", "--disks", "3"});
    DvrLink dvr(sim.port());

    dvr.send(MakeCommand(NET_OTHER_INFO, INFO_DISK));
    const Unit disks = dvr.reply(INFO_DISK);
    ASSERT_EQ(disks.cmd.iParam2, 3);
    const auto records = Records<NET_SEND_INFO>(disks);
    ASSERT_EQ(records.size(), 3u);
    for (int d = 0; d < 3; ++d) {
        EXPECT_EQ(records[d].start_rec_time, midnight + (d - 2) * kSecondsPerDay) << d;
        EXPECT_EQ(records[d].end_rec_time, midnight + (d - 1) * kSecondsPerDay + 60) << d;
    }

    const int32_t key = DateKey(today);
    dvr.send(MakeCommand(NET_SEARCH_RECORD, 0, 0, 0, key));
    const Unit first = dvr.reply(INFO_RECORD_LIST);
    EXPECT_EQ(first.cmd.iParam2, 2);
    ASSERT_EQ(first.cmd.iParam3, 300 * 92);
    const auto entries = Records<GST_FILESHOWINFO>(first);
    // Yesterday's 23:58 recording reaches into today and comes first.
    EXPECT_EQ(entries[0].iCam, 0b1010);
    EXPECT_EQ(entries[0].fileStartTime, midnight - 120);
    EXPECT_EQ(entries[0].fileEndTime, midnight + 60);
    EXPECT_EQ(entries[0].iDiskId, 1);
    EXPECT_EQ(entries[1].iCam, 0b1);
    EXPECT_EQ(entries[1].fileStartTime, midnight);
    EXPECT_EQ(entries[1].fileEndTime, midnight + 240);
    EXPECT_EQ(entries[1].iDiskId, 2);
    EXPECT_EQ(entries[1].imageSize, 2);

    dvr.send(MakeCommand(NET_SEARCH_RECORD, 0, 1, 0, key));
    const Unit second = dvr.reply(INFO_RECORD_LIST);
    EXPECT_EQ(second.cmd.iParam2, 2);
    EXPECT_EQ(second.cmd.iParam3, 62 * 92);
    // Past the last page: the page count and nothing else, so the next reply follows at once.
    dvr.send(MakeCommand(NET_SEARCH_RECORD, 0, 2, 0, key));
    dvr.send(MakeCommand(NET_SEARCH_RECORD, 0, 0, 0, key + 20000));  // two years on
    const Unit past = dvr.reply(INFO_RECORD_LIST);
    EXPECT_EQ(past.cmd.iParam2, 2);
    EXPECT_EQ(past.cmd.iParam3, 0);
    const Unit empty = dvr.reply(INFO_RECORD_LIST);
    EXPECT_EQ(empty.cmd.iParam2, 0);
    EXPECT_EQ(empty.cmd.iParam3, 0);

    const std::string k = std::to_string(key);
    const auto lines = WaitForLines(
        log, [](const auto& l) { return LinesStartingWith(l, "SEARCH ").size() == 4; });
    EXPECT_EQ(LinesStartingWith(lines, "DISKS "), std::vector<std::string>{"DISKS n=3"});
    EXPECT_EQ(LinesStartingWith(lines, "SEARCH "),
              (std::vector<std::string>{
                  "SEARCH key=" + k + " page=0 pages=2 entries=300",
                  "SEARCH key=" + k + " page=1 pages=2 entries=62",
                  "SEARCH key=" + k + " page=2 pages=2 entries=0",
                  "SEARCH key=" + std::to_string(key + 20000) + " page=0 pages=0 entries=0",
              }));
}

TEST_F(SimRecordings, PlaybackStreamsTheRecordedChannelsAtThePlayedTime) {
    SimProcess sim({"--listen", "127.0.0.1:0", "--account", "admin:1234:2:4", "--log", log, "--rec",
                    "0+1=10:00-11:00", "--rec", "2=10:00:00-10:00:02,10:30-10:31", "--rec",
                    "5=10:00-11:00", "--rec-days", "-1:0"});
    DvrLink dvr(sim.port());
    dvr.send(MakeCommand(NET_STOP_LIVE_VIEW));

    // Nothing recorded at noon, nor on channel 2 at 10:00:30; channel 5 is past the account's 4.
    for (const NET_COMMAND& c : {Play(12 * 3600, 0b111), Play(k1000 + 30, 0b100),
                                 Play(k1000 + 30, 0b100000), Play(86400, 0b1)}) {
        dvr.send(c);
        const Unit refused = dvr.reply(INFO_PLAY_STATE);
        EXPECT_EQ(refused.cmd.iParam2, 8) << c.iParam4;
        EXPECT_EQ(refused.cmd.iParam3, 17) << c.iParam4;
    }
    Unit none;
    EXPECT_FALSE(dvr.next(none, 300ms)) << "a refused play sent frames";

    // Today, channel 0 of the two recorded ones, one played second per second at 25 fps.
    dvr.send(Play(k1000 + 30, 0b1));
    EXPECT_EQ(dvr.reply(INFO_PLAY_STATE).cmd.iParam2, 9);
    auto played = dvr.frames(51);
    ASSERT_EQ(played.size(), 51u);
    EXPECT_TRUE(HasIdrSlice(played[0].payload));
    EXPECT_EQ(played[0].frame.frameNo, 0u);
    EXPECT_EQ(Sec(played[0]), midnight + k1000 + 30);
    for (const Unit& f : played) {
        EXPECT_EQ(f.frame.channel, 0);
        EXPECT_NE(f.frame.timeExtra, 0u);
    }
    EXPECT_GE(Sec(played[50]), Sec(played[0]) + 1);
    EXPECT_LE(Sec(played[50]), Sec(played[0]) + 2);

    // Fast forward: eight played seconds per second.
    dvr.send(Play(k1000 + 30, 0b1, true));
    EXPECT_EQ(dvr.reply(INFO_PLAY_STATE).cmd.iParam2, 9);
    played = dvr.frames(51);
    ASSERT_EQ(played.size(), 51u);
    EXPECT_EQ(Sec(played[0]) % 86400, k1000 + 30);
    EXPECT_GE(Sec(played[50]), Sec(played[0]) + 12);
    EXPECT_LE(Sec(played[50]), Sec(played[0]) + 16);

    // Yesterday's recording after a search of yesterday; the gap on channel 2 is skipped.
    dvr.send(MakeCommand(NET_SEARCH_RECORD, 0, 0, 0, DateKey(yesterday)));
    EXPECT_EQ(dvr.reply(INFO_RECORD_LIST).cmd.iParam2, 1);
    dvr.send(Play(k1000, 0b100, true));
    EXPECT_EQ(dvr.reply(INFO_PLAY_STATE).cmd.iParam2, 9);
    played = dvr.frames(10);
    ASSERT_EQ(played.size(), 10u);
    EXPECT_EQ(Sec(played[0]), midnight - kSecondsPerDay + k1000);
    const auto jump = std::find_if(played.begin(), played.end(), [&](const Unit& f) {
        return Sec(f) > midnight - kSecondsPerDay + k1000 + 1;
    });
    ASSERT_NE(jump, played.end());
    EXPECT_EQ(Sec(*jump), midnight - kSecondsPerDay + k1000 + 1800);
    EXPECT_TRUE(HasIdrSlice(jump->payload));
    EXPECT_FALSE(HasIdrSlice(played[1].payload));

    // Stop: once the disk reply sent after it arrives, no frame follows.
    dvr.send(MakeCommand(NET_STOP_PLAY_FILE));
    dvr.send(MakeCommand(NET_OTHER_INFO, INFO_DISK));
    dvr.reply(INFO_DISK);
    EXPECT_FALSE(dvr.next(none, 1s)) << "frame after the stop";

    const auto lines =
        WaitForLines(log, [](const auto& l) { return !LinesStartingWith(l, "PLAY-STOP").empty(); });
    const auto plays = LinesStartingWith(lines, "PLAY ");
    ASSERT_EQ(plays.size(), 7u);
    EXPECT_EQ(plays[1], "PLAY start=36030 end=86400 mask=0x00000004 fast=0 state=8 reason=17");
    EXPECT_EQ(plays[5], "PLAY start=36030 end=86400 mask=0x00000001 fast=1 state=9 reason=0");
    EXPECT_EQ(LinesStartingWith(lines, "PLAY-STOP").size(), 1u);
}

TEST_F(SimRecordings, RefusalSwitchAndSlowRepliesAreHonoured) {
    SimProcess sim({"--listen", "127.0.0.1:0", "--account", "admin:1234:2:4", "--log", log, "--rec",
                    "0=00:00-24:00", "--play-refuse", "3", "--reply-delay", "300", "--disks", "0"});
    DvrLink dvr(sim.port());
    auto sent = Clock::now();
    dvr.send(Play(k1000, 0b1));
    const Unit refused = dvr.reply(INFO_PLAY_STATE);
    EXPECT_GE(Clock::now() - sent, 300ms);
    EXPECT_EQ(refused.cmd.iParam2, 8);
    EXPECT_EQ(refused.cmd.iParam3, 3);

    sent = Clock::now();
    dvr.send(MakeCommand(NET_OTHER_INFO, INFO_DISK));
    EXPECT_EQ(dvr.reply(INFO_DISK).cmd.iParam2, 0);
    EXPECT_GE(Clock::now() - sent, 300ms);
    const auto lines =
        WaitForLines(log, [](const auto& l) { return !LinesStartingWith(l, "DISKS").empty(); });
    EXPECT_EQ(LinesStartingWith(lines, "PLAY "),
              std::vector<std::string>{
                  "PLAY start=36000 end=86400 mask=0x00000001 fast=0 state=8 reason=3"});
}

}  // namespace
