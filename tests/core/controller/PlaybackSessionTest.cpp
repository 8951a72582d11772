// Remote playback against a simulated DVR with recordings: the session's opening, the time map of
// a day, play and stop requests, and where played pictures go.
#include <atomic>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <thread>

#include "core/dvr/DvrSlot.h"
#include "tests/support/ClientFixture.h"
#include "tests/support/H264Clip.h"
#include "tests/support/RecordingPlayback.h"
#include "tests/support/StreamPeer.h"
#include "tests/support/TimeMapSlots.h"
#include "tests/support/Wait.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// "Y/M/D" of the local calendar day `offset` days from today.
std::string LocalDay(int offset) {
    const std::time_t now = std::time(nullptr);
    std::tm t{};
    localtime_r(&now, &t);
    t.tm_mday += offset;
    t.tm_hour = 12;
    t.tm_isdst = -1;
    const std::time_t then = std::mktime(&t);
    localtime_r(&then, &t);
    char text[32];
    std::snprintf(text, sizeof text, "%d/%d/%d", t.tm_year + 1900, t.tm_mon + 1, t.tm_mday);
    return text;
}

class Playback : public DisplayTest {
  protected:
    Playback() { vc->SetPlaybackPort(&pb); }
    // The display and request threads use `pb`: they stop before it goes.
    ~Playback() override { vc->StopDvrThreads(); }

    std::unique_ptr<SimProcess> Dvr(std::vector<std::string> extra,
                                    const std::string& superuser = "admin:1234:2:16") {
        std::vector<std::string> args{"--listen",  "127.0.0.1:0", "--log",     log,
                                      "--account", superuser,     "--account", "guest:guest:1:16"};
        args.insert(args.end(), extra.begin(), extra.end());
        return std::make_unique<SimProcess>(args);
    }
    // The operator chooses DVR 0 in the tree and asks for playback; returns once the session's
    // opening (login, disk information, first map) is over.
    void OpenPlayback(const SimProcess& sim, const std::string& user = "admin",
                      const std::string& pass = "1234") {
        SetEntry(0, At(sim), user, pass);
        if (vc->CurrentDVR() != 0) {
            Select(0);
        }
        vc->NetPlayBack();
        ASSERT_TRUE(WaitFor([&] { return !vc->AttemptRunning(0); }, 30s));
        ASSERT_TRUE(vc->PlaybackRequestsIdle(30s));  // the first map is asked for in turn
    }
    std::vector<LoggedCommand> AllCommands() { return Commands(ReadLines(log)); }
    std::vector<LoggedCommand> CommandsOf(int code) {
        std::vector<LoggedCommand> out;
        for (const auto& c : AllCommands()) {
            if (c.iCmd == code) {
                out.push_back(c);
            }
        }
        return out;
    }
    std::size_t Pictures() const { return pb.pictures().size(); }

    NetCtrl_Struct& b = Block(0);
    const std::string log = tmp.File("dvr.log");
    RecordingPlayback pb;
};

TEST_F(Playback, AnOrdinaryUserIsAskedForTheSuperuserAndGetsNoWindow) {
    auto sim = Dvr({"--rec", "0=10:00-11:00"});
    OpenPlayback(*sim, "guest", "guest");
    const auto boxes = ui.boxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_FALSE(boxes[0].heading.has_value());
    EXPECT_EQ(boxes[0].text, "Please use superuser!");
    EXPECT_TRUE(pb.opened().empty());
    EXPECT_TRUE(pb.validTimes().empty());
    EXPECT_EQ(b.NetWorking.load(), 1);  // stays logged in
    EXPECT_EQ(b.ViewOrBack.load(), VIEW_PLAYBACK);
    EXPECT_TRUE(CommandsOf(NET_SEARCH_RECORD).empty());
    EXPECT_TRUE(CommandsOf(NET_OTHER_INFO).empty());
}

TEST_F(Playback, ASuperuserGetsTheWindowTheRecordedRangeAndTodaysMapOfTheFirstChannel) {
    auto sim = Dvr(
        {"--rec", "0=10:00-11:00", "--rec", "1=13:00-13:10", "--rec-days", "-5:0", "--disks", "3"},
        "admin:1234:2:140");
    OpenPlayback(*sim);
    EXPECT_EQ(vc->LayoutCopy().iShowChanNum, 4);  // the 4-pane split of the playback panes
    const auto opened = pb.opened();
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_EQ(opened[0].dvr, 0);
    EXPECT_EQ(opened[0].server, At(*sim));
    EXPECT_EQ(opened[0].channels, 32);  // 140 % 100 channels, at most 32
    EXPECT_EQ(pb.validTimes(),
              (std::vector<std::string>{LocalDay(-5) + " 10:0 --  " + LocalDay(0) + " 13:10"}));
    EXPECT_EQ(pb.labels(), (std::vector<std::string>{"CAM01", "NONE", "NONE", "NONE"}));
    EXPECT_EQ(pb.selections(), (std::vector<BandSelection>{{1, 0, 0, 0}}));
    const auto maps = pb.pictures();
    ASSERT_EQ(maps.size(), 1u);
    EXPECT_EQ(MarkedSlots(maps[0], 0), SlotRange(120, 132));  // 10:00 to 11:00, channel 1 only
    EXPECT_TRUE(MarkedSlots(maps[0], 1).empty());
    // Stop the live view, then disk information, then the search of today's first page.
    EXPECT_EQ(CommandCodes(AllCommands()),
              (std::vector<int>{NET_LOGIN, NET_STOP_LIVE_VIEW, NET_OTHER_INFO, NET_SEARCH_RECORD}));
    EXPECT_EQ(CommandsOf(NET_OTHER_INFO)[0].iParam1, INFO_DISK);
}

TEST_F(Playback, ADayOfTwoPagesIsMarkedFromBothAndADayWithoutRecordingsKeepsThePicture) {
    // 360 files of 4 minutes: 300 on the first page (up to 20:00), 60 on the second.
    auto sim = Dvr({"--rec", "0=00:00-24:00", "--rec-split", "240"});
    OpenPlayback(*sim);
    const auto searches = CommandsOf(NET_SEARCH_RECORD);
    ASSERT_EQ(searches.size(), 2u);
    EXPECT_EQ(searches[0].iParam2, 0);
    EXPECT_EQ(searches[1].iParam2, 1);
    EXPECT_EQ(searches[0].iParam4, searches[1].iParam4);
    ASSERT_EQ(Pictures(), 1u);
    EXPECT_EQ(MarkedSlots(pb.pictures()[0], 0), SlotRange(0, 287));

    const std::time_t longAgo = std::time(nullptr) - 10 * 86400;
    EXPECT_EQ(vc->SetDiskTimeRect(b, longAgo, {1, 0, 0, 0}), -1);
    EXPECT_EQ(Pictures(), 1u);
    EXPECT_EQ(CommandsOf(NET_SEARCH_RECORD).size(), 3u);  // one page asked for, none came
}

TEST_F(Playback, TheMapFollowsTheBandsAndAChannelChosenTwiceStaysInTheFirstBand) {
    auto sim = Dvr({"--rec", "0=10:00-10:30", "--rec", "2+4=23:58-00:03", "--rec-days", "-1:0"});
    OpenPlayback(*sim);
    EXPECT_EQ(vc->SetDiskTimeRect(b, std::time(nullptr), {3, 5, 3, 1}), 1);
    EXPECT_EQ(pb.labels(), (std::vector<std::string>{"CAM03", "CAM05", "NONE", "CAM01"}));
    EXPECT_EQ(pb.selections().back(), (BandSelection{3, 5, 0, 1}));
    // The playback panes show channels 2, 4 and 0 (items 3, 5 and 1) in panes 0, 1 and 3.
    EXPECT_EQ(vc->GetChangedChannel(2, 0), 0);
    EXPECT_EQ(vc->GetChangedChannel(4, 0), 1);
    EXPECT_EQ(vc->GetChangedChannel(0, 0), 3);
    EXPECT_EQ(vc->GetChangedChannel(1, 0), -1);
    const TimeMap map = pb.pictures().back();
    // Yesterday's 23:58 recording reaches into today but is not drawn; today's is, in slot 287.
    EXPECT_EQ(MarkedSlots(map, 0), (std::vector<int>{287}));
    EXPECT_EQ(MarkedSlots(map, 1), (std::vector<int>{287}));
    EXPECT_TRUE(MarkedSlots(map, 2).empty());
    EXPECT_EQ(MarkedSlots(map, 3), SlotRange(120, 126));
}

TEST_F(Playback, PlayAsksForTheRestOfTheDayOfTheChosenChannelsStopEndsItARefusalSaysWhy) {
    auto sim = Dvr({"--rec", "2=08:00-09:00"});
    OpenPlayback(*sim);
    // Nothing recorded at 05:00: the DVR refuses with reason 17.
    EXPECT_EQ(vc->NetPlayFile(b, 18000, 86400, 1u << 2, 0, 0), -1012);
    EXPECT_EQ(vc->IsNet_NET_DATA_SEND(b), 0);
    vc->RequestPlay(0, 30000, PlayMask({3, 0, 3, 16}), 1, 0);
    ASSERT_TRUE(vc->PlaybackRequestsIdle(10s));
    const auto plays = CommandsOf(NET_PLAY_FILE);
    ASSERT_EQ(plays.size(), 2u);
    EXPECT_EQ(plays[1].Words(),
              (std::vector<int>{NET_PLAY_FILE, 86400, 0, (1 << 2) | (1 << 15), 30000}));
    EXPECT_EQ(vc->IsNet_NET_DATA_SEND(b), 1);

    const std::size_t before = AllCommands().size();
    vc->RequestStopPlay(0);
    ASSERT_TRUE(vc->PlaybackRequestsIdle(10s));
    EXPECT_EQ(CommandsOf(NET_STOP_PLAY_FILE).size(), 1u);
    EXPECT_EQ(b.CurNetStatus.load(), NET_CONNECTED);
    EXPECT_EQ(vc->IsNet_NET_DATA_SEND(b), 0);

    // Nothing plays now: a second stop sends nothing and does not pause.
    const auto start = Clock::now();
    vc->RequestStopPlay(0);
    ASSERT_TRUE(vc->PlaybackRequestsIdle(10s));
    EXPECT_LT(Clock::now() - start, 500ms);
    EXPECT_EQ(AllCommands().size(), before + 1);

    vc->RequestPlay(0, 28800, PlayMask({3, 0, 0, 0}), 0, 1);  // fast forward
    ASSERT_TRUE(vc->PlaybackRequestsIdle(10s));
    EXPECT_EQ(CommandsOf(NET_PLAY_FILE).back().iParam2, 1);

    vc->Disconnect(b);
    EXPECT_EQ(vc->NetPlayFile(b, 30000, 86400, 1u << 2, 0, 0), -1);  // not logged in

    auto refusing = Dvr({"--rec", "2=08:00-09:00", "--play-refuse", "3"});
    SetEntry(0, At(*refusing));
    vc->NetPlayBack();
    ASSERT_TRUE(WaitFor([&] { return !vc->AttemptRunning(0); }, 30s));
    EXPECT_EQ(vc->NetPlayFile(b, 30000, 86400, 1u << 2, 0, 0), -1011);
}

TEST_F(Playback, PlayedPicturesAreDrawnInTheirPlaybackPaneAndReportTheirTime) {
    auto sim = Dvr({"--rec", "2=08:00-09:00"});
    SetEntry(0, At(*sim));
    Select(0);
    vc->SetScreenWindow(4);  // the 4-pane split already on screen: playback still starts on page 0
    OpenPlayback(*sim);
    EXPECT_EQ(vc->LayoutCopy().iShowPage, 0);
    EXPECT_EQ(vc->SetDiskTimeRect(b, std::time(nullptr), {0, 3, 0, 0}), 1);
    vc->RequestPlay(0, 28800, PlayMask({0, 3, 0, 0}), 0, 0);
    const PaneRect pane1 = vc->LayoutCopy().m_screenRect[1].FrameRect;
    ASSERT_TRUE(WaitFor([&] { return display.renders().count(1) > 0; }, 15s));
    // Channel 2's picture, in pane 1 (its band), whose buffer it fills: nothing else is drawn.
    const PaneRect drawn = display.lastRect(1);
    EXPECT_EQ(drawn.x, pane1.x);
    EXPECT_EQ(drawn.y, pane1.y);
    EXPECT_EQ(drawn.width, pane1.width);
    EXPECT_EQ(display.renders().size(), 1u);
    EXPECT_GE(pb.timeNow(), 28800);
    EXPECT_LT(pb.timeNow(), 28800 + 60);

    // The all-DVR view leaves the DVR playing, but its live panes show live cameras only, even
    // the pane given to the played channel.
    vc->WriteSelfChannel(0, 2);
    Select(-1);
    std::this_thread::sleep_for(300ms);
    display.Forget();
    const int32_t playedBefore = pb.timeNow();
    ASSERT_TRUE(WaitFor([&] { return pb.timeNow() > playedBefore; }, 10s));  // still playing
    EXPECT_TRUE(display.renders().empty()) << "a played picture in the all-DVR view";
    Select(0);

    // Lost while it plays: the window is told, and nothing connects the DVR again behind it.
    sim->Kill();
    ASSERT_TRUE(WaitFor([&] {
        vc->animationTimer();
        return !ui.boxes().empty();
    }));
    std::this_thread::sleep_for(200ms);
    vc->animationTimer();
    EXPECT_EQ(pb.lost(), std::vector<int>{0});
    EXPECT_EQ(ui.TitleOf(0), "Gate");
}

TEST_F(Playback, AMapSearchWaitingForASlowDvrDoesNotHoldTheCallerAndANewerOneWins) {
    auto sim = Dvr({"--rec", "0=10:00-10:30", "--rec", "1=12:00-12:30", "--reply-delay", "1500"});
    OpenPlayback(*sim);
    ASSERT_EQ(Pictures(), 1u);
    const std::size_t searches = CommandsOf(NET_SEARCH_RECORD).size();
    const auto start = Clock::now();
    vc->RequestTimeMap(0, std::time(nullptr), {1, 0, 0, 0});
    vc->RequestTimeMap(0, std::time(nullptr), {3, 0, 0, 0});  // replaces the queued one
    EXPECT_LT(Clock::now() - start, 100ms);
    ASSERT_TRUE(WaitFor([&] { return CommandsOf(NET_SEARCH_RECORD).size() == searches + 1; }));
    vc->RequestTimeMap(0, std::time(nullptr), {2, 0, 0, 0});  // while that one waits
    EXPECT_FALSE(vc->PlaybackRequestsIdle(200ms));
    ASSERT_TRUE(vc->PlaybackRequestsIdle(20s));
    EXPECT_EQ(CommandsOf(NET_SEARCH_RECORD).size(), searches + 2);
    // The waiting search was superseded: only the newest one's map is shown.
    ASSERT_EQ(Pictures(), 2u);
    EXPECT_EQ(MarkedSlots(pb.pictures().back(), 0), SlotRange(144, 150));
    EXPECT_EQ(pb.labels()[0], "CAM02");
}

TEST_F(Playback, AChannelChosenWhileTheDiskInformationIsOnItsWayIsTheOneMapped) {
    auto sim = Dvr({"--rec", "0=10:00-10:30", "--rec", "2=12:00-12:30", "--reply-delay", "1500"});
    SetEntry(0, At(*sim));
    Select(0);
    vc->NetPlayBack();
    ASSERT_TRUE(WaitFor([&] { return !pb.opened().empty(); }, 10s));
    vc->RequestTimeMap(0, std::time(nullptr), {3, 0, 0, 0});  // the window is open: a choice
    ASSERT_TRUE(WaitFor([&] { return !vc->AttemptRunning(0); }, 30s));
    ASSERT_TRUE(vc->PlaybackRequestsIdle(30s));
    ASSERT_FALSE(pb.selections().empty());
    EXPECT_EQ(pb.selections().back(), (BandSelection{3, 0, 0, 0}));
    EXPECT_EQ(pb.labels()[0], "CAM03");
    EXPECT_EQ(MarkedSlots(pb.pictures().back(), 0), SlotRange(144, 150));
    EXPECT_EQ(CommandsOf(NET_SEARCH_RECORD).size(), 1u);
}

TEST_F(Playback, AnUnansweredPageEndsTheSearchItsLateAnswerFillsNoLaterMapAndOtherDvrsGoOn) {
    // 864 files of 100 s on three pages; the second page and later are answered after 7 s, past
    // the client's wait.
    auto sim = Dvr({"--rec", "0=00:00-24:00", "--rec-split", "100", "--search-delay", "1:7000"});
    const std::string otherLog = tmp.File("other.log");
    SimProcess other({"--listen", "127.0.0.1:0", "--account", "admin:1234:2:4", "--log", otherLog,
                      "--rec", "0=00:00-24:00"});
    SetEntry(1, At(other));
    ASSERT_EQ(vc->PrepareDvr(1), 1);
    ASSERT_EQ(vc->ConnectAndReport(Block(1), 1), status::Connect::Done);
    const auto otherPlays = [&] {
        std::size_t n = 0;
        for (const auto& c : Commands(ReadLines(otherLog))) {
            n += c.iCmd == NET_PLAY_FILE ? 1 : 0;
        }
        return n;
    };

    SetEntry(0, At(*sim));
    Select(0);
    vc->NetPlayBack();
    ASSERT_TRUE(WaitFor([&] { return CommandsOf(NET_SEARCH_RECORD).size() == 2; }, 30s));
    // DVR 0 waits for its second page: DVR 1 plays at once all the same.
    const auto asked = Clock::now();
    vc->RequestPlay(1, 0, PlayMask({1, 0, 0, 0}), 0, 0);
    ASSERT_TRUE(WaitFor([&] { return otherPlays() == 1; }, 10s));
    EXPECT_LT(Clock::now() - asked, 2s);

    ASSERT_TRUE(vc->PlaybackRequestsIdle(30s));
    ASSERT_EQ(Pictures(), 1u);
    const std::vector<int> firstPage = MarkedSlots(pb.pictures()[0], 0);
    EXPECT_EQ(firstPage, SlotRange(0, 100));              // 300 files: up to 08:20
    EXPECT_EQ(CommandsOf(NET_SEARCH_RECORD).size(), 2u);  // no third page after a silent one

    // The same map again: the late answer to the last search's second page comes first and is
    // nobody's, so this search's first page is its own.
    vc->RequestTimeMap(0, std::time(nullptr), {1, 0, 0, 0});
    ASSERT_TRUE(vc->PlaybackRequestsIdle(30s));
    ASSERT_EQ(Pictures(), 2u);
    EXPECT_EQ(MarkedSlots(pb.pictures()[1], 0), firstPage);
    EXPECT_EQ(CommandsOf(NET_SEARCH_RECORD).size(), 4u);
}

// A DVR played by the test sends frames with a chosen time; the display thread places them.
TEST_F(Playback, APictureOfChannel5GoesToThePaneSelectingItAndItsTimeToTheWindow) {
    Select(0);
    vc->SetScreenWindow(4);
    b.SetView(VIEW_PLAYBACK);
    // Pane 1 plays channel 5 (a search without a connection only sets the bands).
    EXPECT_EQ(vc->SetDiskTimeRect(b, std::time(nullptr), {0, 6, 0, 0}), -1);
    ASSERT_EQ(vc->PrepareDvr(0), 1);
    StreamPeer peer(b);
    const auto clip = EncodeClip(352, 288, 4, 4);
    // A live picture still on its way when the playback began has no pane: only the frames after
    // the play's acceptance are the recording's.
    for (uint32_t i = 0; i < 3; ++i) {
        FrameSpec live;
        live.channel = 5;
        live.frameNo = i;
        peer.Send(FrameUnit(live, clip[i]));
    }
    ASSERT_TRUE(WaitFor([&] { return b.stats[5].decoded.load() == 3; }));
    std::this_thread::sleep_for(200ms);
    EXPECT_TRUE(display.renders().empty()) << "a live picture in a playback pane";
    EXPECT_EQ(pb.timeNow(), -1);
    peer.Send(CommandUnit(MakeCommand(NET_OTHER_INFO, INFO_PLAY_STATE, 9)));
    for (uint32_t i = 0; i < clip.size(); ++i) {
        FrameSpec frame;
        frame.channel = 5;
        frame.frameNo = i + 3;
        frame.timeSec = 90061;  // a day and 01:01:01
        peer.Send(FrameUnit(frame, clip[i]));
    }
    ASSERT_TRUE(WaitFor([&] { return display.renders().count(1) > 0; }));
    const PaneRect pane1 = vc->LayoutCopy().m_screenRect[1].FrameRect;
    EXPECT_EQ(display.lastRect(1).x, pane1.x);
    EXPECT_EQ(display.lastRect(1).y, pane1.y);
    EXPECT_EQ(display.renders().count(5), 0u);  // pane 5 is not shown, nor its buffer written
    EXPECT_EQ(pb.timeNow(), 3661);
}

// A DVR played by the test answers every search page with a million more pages.
TEST_F(Playback, EndlessSearchPagesAreFollowedOnlyUpToTheCap) {
    ASSERT_EQ(vc->PrepareDvr(0), 1);
    StreamPeer peer(b);
    std::atomic<int32_t> result{2};
    std::thread search([&] { result = vc->SetDiskTimeRect(b, std::time(nullptr), {1, 0, 0, 0}); });
    std::size_t seen = 0;
    int searches = 0;
    const auto deadline = Clock::now() + 60s;
    while (result.load() == 2 && Clock::now() < deadline) {
        const auto received = peer.ReceivedCommands();
        for (; seen < received.size(); ++seen) {
            if (received[seen].iCmd == NET_SEARCH_RECORD) {
                ++searches;
                peer.Send(CommandUnit(MakeCommand(NET_OTHER_INFO, INFO_RECORD_LIST, 1000000, 0)));
            }
        }
        std::this_thread::sleep_for(1ms);
    }
    peer.Close();  // ends a search that went on past the deadline
    search.join();
    EXPECT_EQ(result.load(), 1);
    EXPECT_EQ(searches, kMaxSearchPages);
    EXPECT_EQ(pb.pictures().size(), 1u);
}

}  // namespace
