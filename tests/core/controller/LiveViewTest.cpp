// What the layout and the view mode ask of the DVRs, as the simulated DVRs receive it, and where
// the display threads draw the pictures.
#include <chrono>
#include <filesystem>
#include <future>
#include <thread>

#include "core/dvr/DvrSlot.h"
#include "tests/support/ClientFixture.h"
#include "tests/support/StreamPeer.h"
#include "tests/support/Wait.h"

namespace {

using namespace std::chrono_literals;

class LiveView : public DisplayTest {
  protected:
    // A logged-in DVR in slot `dvr` that streams `channels` channels (or nothing).
    std::unique_ptr<SimProcess> Dvr(int slot, int channels, bool stream = true,
                                    uint32_t cam = 0xFFFFFFFF) {
        const std::string log = tmp.File("dvr" + std::to_string(slot) + ".log");
        std::vector<std::string> args{"--listen",  "127.0.0.1:0",
                                      "--account", "admin:1234:1:" + std::to_string(channels),
                                      "--log",     log};
        if (!stream) {
            args.insert(args.end(), {"--fault", "stall:0"});
        }
        auto sim = std::make_unique<SimProcess>(args);
        SetEntry(slot, At(*sim), "admin", "1234", "DVR" + std::to_string(slot), cam);
        EXPECT_EQ(vc->PrepareDvr(slot), 1);
        EXPECT_EQ(vc->ConnectAndReport(Block(slot), slot), status::Connect::Done);
        EXPECT_EQ(Block(slot).NetWorking.load(), 1);
        return sim;
    }
    std::vector<LoggedCommand> CommandsOf(int slot) {
        return Commands(ReadLines(tmp.File("dvr" + std::to_string(slot) + ".log")));
    }
    // The number of commands once the DVR's log has stopped growing.
    std::size_t Settled(int slot) {
        EXPECT_TRUE(vc->CommandsIdle(5s));
        std::size_t n = CommandsOf(slot).size();
        for (;;) {
            std::this_thread::sleep_for(150ms);
            const std::size_t now = CommandsOf(slot).size();
            if (now == n) {
                return n;
            }
            n = now;
        }
    }
    // The commands a DVR received after the first `from`.
    std::vector<LoggedCommand> CommandsSince(int slot, std::size_t from) {
        auto all = CommandsOf(slot);
        return std::vector<LoggedCommand>(all.begin() + std::min(from, all.size()), all.end());
    }
};

TEST_F(LiveView, OnlyARealChangeOfTheShownChannelsRestartsTheStreamWithAKeyFrame) {
    auto sim = Dvr(0, 16, false, 0x105);  // channels 0, 2 and 8 enabled
    auto four = Dvr(1, 4, false);         // every channel enabled: -1 asks for its four
    const std::vector<int> restart{NET_STOP_LIVE_VIEW, NET_LIVE_VIEW, NET_KEY_FRAME};
    const std::vector<int> start{NET_LIVE_VIEW, NET_KEY_FRAME};
    const struct {
        const char* what;
        int select;  // the DVR selected, or a split button pressed (select < 0)
        int split;
        int dvr;
        std::vector<int> sent;
        uint32_t mask;  // of the live view sent
    } steps[] = {
        {"its own view asks for what its login asked", 0, 0, 0, {}, 0},
        {"split 4 leaves channel 8 out", -1, 4, 0, restart, 0b0101},
        {"split 16 shows it again", -1, 16, 0, restart, 0x105},
        {"split 25 shows the same channels", -1, 25, 0, {}, 0},
        {"DVR 1 was stopped while DVR 0 was shown", 1, 0, 1, start, 0xFFFFFFFF},
        {"channels 0 to 3 are all a 4-channel DVR has", -1, 4, 1, {}, 0},
        {"the next page: channels it does not have, asked for as they are", -1, 4, 1, restart,
         0xF0},
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(step.what);
        const std::size_t before = Settled(step.dvr);
        if (step.select >= 0) {
            Select(step.select);
        } else {
            vc->doSomethingForButton(step.split);
        }
        Settled(step.dvr);
        const auto cmds = CommandsSince(step.dvr, before);
        EXPECT_EQ(CommandCodes(cmds), step.sent);
        if (!step.sent.empty() && cmds.size() == step.sent.size()) {
            EXPECT_EQ(static_cast<uint32_t>(cmds[step.sent.size() - 2].iParam3), step.mask);
        }
        EXPECT_EQ(Block(step.dvr).CurNetStatus.load(), NET_DATA_SEND);
    }

    // Only channel 31 enabled, and not shown: a DVR not streaming still gets the live view, with
    // an empty mask.
    SetEntry(0, At(*sim), "admin", "1234", "DVR0", 1u << 30);
    Select(0);
    vc->doSomethingForButton(4);
    ASSERT_TRUE(vc->CommandsIdle(5s));
    vc->StopNetLocalView(Block(0));  // NET_CONNECTED
    const std::size_t stopped = Settled(0);
    vc->AllNetServerAdjust();
    ASSERT_TRUE(WaitFor([&] { return CommandsSince(0, stopped).size() >= 2; }));
    const auto cmds = CommandsSince(0, stopped);
    EXPECT_EQ(CommandCodes(cmds), (std::vector<int>{NET_LIVE_VIEW, NET_KEY_FRAME}));
    EXPECT_EQ(cmds[0].iParam3, 0);
}

TEST_F(LiveView, HeldAdjustmentsAskEachDvrOnceAtTheLastReleaseForTheViewThen) {
    auto a = Dvr(0, 4, false);
    auto b = Dvr(1, 4, false);
    Select(0);  // DVR 1 stops
    const std::size_t before0 = Settled(0);
    const std::size_t before1 = Settled(1);
    // A burst that ends where it began asks nothing of anyone.
    vc->HoldAdjustments();
    vc->HoldAdjustments();
    Select(1);
    vc->doSomethingForButton(4);
    vc->ReleaseAdjustments();  // an inner release: still held
    Select(0);
    vc->doSomethingForButton(9);
    vc->ReleaseAdjustments();
    Settled(0);
    EXPECT_EQ(CommandsSince(0, before0).size(), 0u);
    EXPECT_EQ(CommandsSince(1, before1).size(), 0u);
    // One that ends elsewhere asks each DVR for that, once.
    vc->HoldAdjustments();
    Select(1);
    vc->doSomethingForButton(4);
    vc->NextPage();  // channels 4 to 7: none on DVR 1
    vc->ReleaseAdjustments();
    Settled(0);
    Settled(1);
    EXPECT_EQ(CommandCodes(CommandsSince(0, before0)), std::vector<int>{NET_STOP_LIVE_VIEW});
    const auto cmds = CommandsSince(1, before1);
    EXPECT_EQ(CommandCodes(cmds), (std::vector<int>{NET_LIVE_VIEW, NET_KEY_FRAME}));
    EXPECT_EQ(cmds.empty() ? -1 : cmds[0].iParam3, 0xF0);
}

TEST_F(LiveView, AllDvrViewAsksEachDvrForTheChannelsItsPanesHoldAndDrawsThemInTheFirstSuchPane) {
    auto a = Dvr(0, 3);
    auto b = Dvr(1, 3);
    for (int p = 0; p < 256; ++p) {
        vc->WriteSelfChannel(p, -1);
    }
    vc->WriteSelfChannel(5, 1);    // DVR 0 channel 1
    vc->WriteSelfChannel(6, 102);  // DVR 1 channel 2
    vc->WriteSelfChannel(9, 102);  // held twice: drawn in pane 6 only
    Select(-1);
    EXPECT_TRUE(display.largeSplits());
    EXPECT_EQ(ui.label(), "ALL DVR");
    EXPECT_EQ(vc->showAutoDisplay(), 1);
    ASSERT_TRUE(WaitFor([&] { return vc->Slot(1).CurShowCam() == 0b100u; }));
    // The last live-view request of each DVR is the all-DVR one, once its log has settled.
    for (int d = 0; d < 2; ++d) {
        Settled(d);
        int lastLive = -1;
        for (const auto& c : CommandsOf(d)) {
            if (c.iCmd == NET_LIVE_VIEW) {
                lastLive = c.iParam3;
            }
        }
        EXPECT_EQ(lastLive, d == 0 ? 0b10 : 0b100) << "DVR " << d;
        EXPECT_EQ(CommandsOf(d).back().iCmd, NET_KEY_FRAME) << "DVR " << d;
    }
    display.Forget();
    ASSERT_TRUE(WaitFor([&] { return display.renders().size() >= 2; }));
    std::this_thread::sleep_for(300ms);
    auto renders = display.renders();
    EXPECT_EQ(renders.size(), 2u);
    EXPECT_GT(renders[5], 0);
    EXPECT_GT(renders[6], 0);
}

TEST_F(LiveView, SwitchingDvrsStopsTheOthersAndLeavesPlaybackAlone) {
    auto a = Dvr(0, 4, false);
    auto b = Dvr(1, 4, false);
    auto c = Dvr(2, 4, false);
    Block(2).SetView(VIEW_PLAYBACK);
    const std::size_t before0 = Settled(0);
    const std::size_t before2 = Settled(2);
    Select(1);
    ASSERT_TRUE(WaitFor([&] { return CommandsSince(0, before0).size() >= 1; }));
    EXPECT_EQ(CommandCodes(CommandsSince(0, before0)), std::vector<int>{NET_STOP_LIVE_VIEW});
    std::this_thread::sleep_for(200ms);
    EXPECT_TRUE(CommandsSince(2, before2).empty());
    EXPECT_FALSE(display.largeSplits());
    EXPECT_EQ(ui.label(), "DVR1");
    EXPECT_EQ(vc->showAutoDisplay(), 0);
    EXPECT_EQ(Block(2).ViewOrBack.load(), VIEW_PLAYBACK);
}

TEST_F(LiveView, AnAdjustmentQueuedBeforeThePlaybackStartedLeavesThePlaybackAlone) {
    auto sim = Dvr(0, 4, false);
    Select(0);
    const std::size_t before = Settled(0);
    // The command thread is busy, so the view's adjustment waits in the queue.
    std::promise<void> release;
    std::shared_future<void> busy = release.get_future().share();
    vc->Slot(0).Post([busy] { busy.wait(); });
    vc->ActiveNetServerAdjust(0);
    vc->NetPlayBack();
    release.set_value();
    ASSERT_TRUE(WaitFor([&] { return !vc->AttemptRunning(0); }));
    Settled(0);
    EXPECT_EQ(Block(0).ViewOrBack.load(), VIEW_PLAYBACK);
    const auto since = CommandsSince(0, before);
    ASSERT_FALSE(since.empty());  // the stop before the playback
    for (const LoggedCommand& c : since) {
        EXPECT_NE(c.iCmd, NET_LIVE_VIEW);
        EXPECT_NE(c.iCmd, NET_STOP_PLAY_FILE);
    }
}

TEST_F(LiveView, PtzRecordsReachTheDvrAndChannelOfThePane) {
    SetEntry(0, "127.0.0.1:1");
    SetEntry(1, "127.0.0.1:1");
    SetEntry(2, "127.0.0.1:1");
    auto sim = Dvr(3, 16, false);
    vc->WriteSelfChannel(7, 305);
    const std::size_t before = Settled(3);
    vc->NetSendPtzValue(9, 7, 1017, -1);
    vc->NetSendPtzValue(9, -1, 1017, -1);   // no single pane: nothing
    vc->NetSendPtzValue(9, 256, 1017, -1);  // no such pane: nothing
    vc->WriteSelfChannel(8, 6405);
    vc->NetSendPtzValue(9, 8, 1017, -1);     // no such DVR: nothing
    vc->NetSendPtzValue(2009, 3, 1017, 64);  // no such DVR: nothing
    vc->NetSendPtzValue(2009, 3, 1017, 3);   // single view: the channel as given
    ASSERT_TRUE(WaitFor([&] { return CommandsSince(3, before).size() >= 2; }));
    std::this_thread::sleep_for(100ms);
    auto cmds = CommandsSince(3, before);
    ASSERT_EQ(cmds.size(), 2u);
    EXPECT_EQ(cmds[0].Words(), (std::vector<int>{16, 9, 5, 1017, 0}));
    EXPECT_EQ(cmds[1].iParam1, 2009);
    EXPECT_EQ(cmds[1].iParam2, 3);
}

TEST_F(LiveView, AutoDisplayFillsPanesWithTheConnectedDvrsInOrderAndSaves) {
    const char* home = std::getenv("HOME");
    const std::string oldHome = home ? home : "";
    ::setenv("HOME", tmp.path().c_str(), 1);
    for (int d = 0; d < 4; ++d) {
        SetEntry(d, "127.0.0.1:1");
    }
    std::vector<std::unique_ptr<StreamPeer>> peers;
    auto connected = [&](int d, int32_t channels) {
        Block(d).Disconnect();
        Block(d).iDvrChannel.store(channels);
        peers.push_back(std::make_unique<StreamPeer>(Block(d)));
    };
    connected(0, 16);
    Block(1).iDvrChannel.store(16);  // not connected
    connected(2, 108);               // 8 channels: the count is modulo 100
    connected(3, -5);                // a negative count is none
    for (int p = 0; p < 256; ++p) {
        vc->WriteSelfChannel(p, 999);
    }
    Select(-1);
    vc->AutoSetDisplay();
    for (int p = 0; p < 16; ++p) {
        EXPECT_EQ(vc->layout().SelfChannel(p), p);
    }
    for (int p = 16; p < 24; ++p) {
        EXPECT_EQ(vc->layout().SelfChannel(p), 200 + p - 16);
    }
    EXPECT_EQ(vc->layout().SelfChannel(24), 999);
    EXPECT_TRUE(std::filesystem::exists(tmp.File("userinfo/info.uss")));
    // More channels than panes: nothing is written past pane 255.
    for (int d = 0; d < 4; ++d) {
        connected(d, 99);
    }
    vc->AutoSetDisplay();
    EXPECT_EQ(vc->layout().SelfChannel(255), 200 + 255 - 198);
    ::setenv("HOME", oldHome.c_str(), 1);
}

TEST_F(LiveView, SingleViewDrawsEachChannelInItsPaneAndOtherDvrsNowhere) {
    auto a = Dvr(0, 4);
    auto b = Dvr(1, 4);
    Select(0);
    vc->doSomethingForButton(4);
    // Each pane twice: its second picture since the split was drawn in the split's rectangle.
    display.Forget();
    ASSERT_TRUE(WaitFor([&] {
        auto renders = display.renders();
        return renders.size() == 4 && renders[0] > 1 && renders[1] > 1 && renders[2] > 1 &&
               renders[3] > 1;
    }));
    const SCREEN_SHOW_CTRL layout = vc->LayoutCopy();
    const PaneRect r = display.lastRect(3);
    EXPECT_FLOAT_EQ(r.x, layout.m_screenRect[3].FrameRect.x);
    EXPECT_FLOAT_EQ(r.y, layout.m_screenRect[3].FrameRect.y);
    // DVR 1 is not shown (selecting DVR 0 stopped its stream); pictures it sends anyway are
    // taken off its queue and dropped.
    vc->NetLocalViewPlay(Block(1), 0xF, 0);
    ASSERT_TRUE(WaitFor([&] { return Block(1).stats[0].decoded.load() > 40; }, 10s));
    // Taken and dropped as fast as they come: the queue never fills, nothing is dropped.
    EXPECT_LT(Block(1).queue.Numframe.load(), 30);
    EXPECT_EQ(Block(1).stats[0].dropped.load(), 0u);
    // The pane buffer holds the converted picture of its channel.
    {
        PaneBuffers::Pane& pane = vc->layout().AVDataFrame[2];
        std::lock_guard<std::mutex> g(pane.lock);
        EXPECT_EQ(pane.sizeFrame, 2);
    }
}

}  // namespace
