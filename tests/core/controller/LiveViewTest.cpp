// What the layout and the view mode ask of the DVRs, as the simulated DVRs receive it, and where
// the display threads draw the pictures.
#include <chrono>
#include <filesystem>
#include <thread>

#include "core/decode/PixelConversion.h"
#include "core/dvr/DvrSlot.h"
#include "core/support/FixedText.h"
#include "tests/support/ClientFixture.h"
#include "tests/support/RecordingDisplay.h"
#include "tests/support/StreamPeer.h"
#include "tests/support/Wait.h"

namespace {

using namespace std::chrono_literals;

class LiveView : public ClientTest {
  protected:
    LiveView() {
        vc->SetDisplayPort(&display);
        EXPECT_TRUE(vc->layout().AVDataFrame.allocate());
        vc->InitScreenCtrl(36, 36);
    }
    // The display threads draw into `display`: they stop before it goes.
    ~LiveView() override { vc->StopDvrThreads(); }
    // A logged-in DVR in slot `dvr` that streams `channels` channels (or nothing).
    std::unique_ptr<SimProcess> dvr(int slot, int channels, bool stream = true,
                                    uint32_t cam = 0xFFFFFFFF) {
        const std::string log = tmp.file("dvr" + std::to_string(slot) + ".log");
        std::vector<std::string> args{"--listen",  "127.0.0.1:0",
                                      "--account", "admin:1234:1:" + std::to_string(channels),
                                      "--log",     log};
        if (!stream) {
            args.insert(args.end(), {"--fault", "stall:0"});
        }
        auto sim = std::make_unique<SimProcess>(args);
        setEntry(slot, at(*sim), "admin", "1234", "DVR" + std::to_string(slot), cam);
        ui.appendNode("DVR" + std::to_string(slot));
        EXPECT_EQ(vc->PrepareDvr(slot), 1);
        EXPECT_EQ(vc->ConnectAndReport(vc->GetNetCtrlStruct(slot), slot), status::Connect::Done);
        EXPECT_EQ(vc->GetNetCtrlStruct(slot).NetWorking.load(), 1);
        return sim;
    }
    std::vector<LoggedCommand> commands(int slot) {
        return Commands(ReadLines(tmp.file("dvr" + std::to_string(slot) + ".log")));
    }
    // The number of commands once the DVR's log has stopped growing.
    std::size_t settled(int slot) {
        EXPECT_TRUE(vc->CommandsIdle(5s));
        std::size_t n = commands(slot).size();
        for (;;) {
            std::this_thread::sleep_for(150ms);
            const std::size_t now = commands(slot).size();
            if (now == n) {
                return n;
            }
            n = now;
        }
    }
    // The commands a DVR received after the first `from`.
    std::vector<LoggedCommand> commandsSince(int slot, std::size_t from) {
        auto all = commands(slot);
        return std::vector<LoggedCommand>(all.begin() + std::min(from, all.size()), all.end());
    }
    void select(int d) {
        ui.select(d);
        vc->outlineViewSelectionDidChange();
    }

    RecordingDisplay display;
};

std::vector<int> Codes(const std::vector<LoggedCommand>& cmds) {
    std::vector<int> codes;
    for (const auto& c : cmds) {
        codes.push_back(c.iCmd);
    }
    return codes;
}

TEST_F(LiveView, SingleViewAsksForTheShownAndEnabledChannelsThenAKeyFrame) {
    auto sim = dvr(0, 16, false, 0b0101);
    select(0);
    const std::size_t before = settled(0);
    vc->doSomethingForButton(4);
    ASSERT_TRUE(WaitFor([&] { return commandsSince(0, before).size() >= 3; }));
    auto cmds = commandsSince(0, before);
    EXPECT_EQ(Codes(cmds), (std::vector<int>{NET_STOP_LIVE_VIEW, NET_LIVE_VIEW, NET_KEY_FRAME}));
    EXPECT_EQ(cmds[1].hex,
              "0b000000"
              "00000000"
              "00000000"
              "05000000"
              "00000000");
    EXPECT_EQ(vc->Slot(0).CurShowCam(), 0b0101u);
}

TEST_F(LiveView, ConnectedDvrWithNothingShownStillGetsLiveViewWithAnEmptyMask) {
    auto sim = dvr(0, 16, false, 0b0100'0000'0000'0000'0000'0000'0000'0000);  // channel 31
    select(0);
    vc->doSomethingForButton(4);  // panes 0 to 3 only
    ASSERT_TRUE(vc->CommandsIdle(5s));
    vc->StopNetLocalView(vc->GetNetCtrlStruct(0));  // NET_CONNECTED
    const std::size_t before = settled(0);
    vc->AllNetServerAdjust();
    ASSERT_TRUE(WaitFor([&] { return commandsSince(0, before).size() >= 2; }));
    auto cmds = commandsSince(0, before);
    EXPECT_EQ(Codes(cmds), (std::vector<int>{NET_LIVE_VIEW, NET_KEY_FRAME}));
    EXPECT_EQ(cmds[0].iParam3, 0);
}

TEST_F(LiveView, AllDvrViewAsksEachDvrForTheChannelsItsPanesHold) {
    auto a = dvr(0, 16, false);
    auto b = dvr(1, 16, false);
    vc->WriteSelfChannel(0, 1);     // DVR 0 channel 1
    vc->WriteSelfChannel(1, 102);   // DVR 1 channel 2
    vc->WriteSelfChannel(2, 140);   // channel 40: asks for nothing
    vc->WriteSelfChannel(3, 6401);  // no such DVR
    for (int p = 4; p < 256; ++p) {
        vc->WriteSelfChannel(p, -1);
    }
    select(-1);
    EXPECT_TRUE(display.largeSplits());
    ASSERT_TRUE(WaitFor([&] { return vc->Slot(1).CurShowCam() == 0b100u; }));
    // The last live-view request of each DVR is the all-DVR one, once its log has settled.
    for (int d = 0; d < 2; ++d) {
        settled(d);
        int lastLive = -1;
        for (const auto& c : commands(d)) {
            if (c.iCmd == NET_LIVE_VIEW) {
                lastLive = c.iParam3;
            }
        }
        EXPECT_EQ(lastLive, d == 0 ? 0b10 : 0b100) << "DVR " << d;
        EXPECT_EQ(commands(d).back().iCmd, NET_KEY_FRAME) << "DVR " << d;
    }
}

TEST_F(LiveView, SwitchingDvrsStopsTheOthersAndLeavesPlaybackAlone) {
    auto a = dvr(0, 4, false);
    auto b = dvr(1, 4, false);
    auto c = dvr(2, 4, false);
    vc->GetNetCtrlStruct(2).SetView(VIEW_PLAYBACK);
    const std::size_t before0 = settled(0);
    const std::size_t before2 = settled(2);
    select(1);
    ASSERT_TRUE(WaitFor([&] { return commandsSince(0, before0).size() >= 1; }));
    EXPECT_EQ(Codes(commandsSince(0, before0)), std::vector<int>{NET_STOP_LIVE_VIEW});
    std::this_thread::sleep_for(200ms);
    EXPECT_TRUE(commandsSince(2, before2).empty());
    EXPECT_FALSE(display.largeSplits());
}

TEST_F(LiveView, PtzRecordsReachTheDvrAndChannelOfThePane) {
    setEntry(0, "127.0.0.1:1");
    setEntry(1, "127.0.0.1:1");
    setEntry(2, "127.0.0.1:1");
    auto sim = dvr(3, 16, false);
    vc->WriteSelfChannel(7, 305);
    const std::size_t before = settled(3);
    vc->NetSendPtzValue(9, 7, 1017, -1);
    vc->NetSendPtzValue(9, -1, 1017, -1);   // no single pane: nothing
    vc->NetSendPtzValue(9, 256, 1017, -1);  // no such pane: nothing
    vc->WriteSelfChannel(8, 6405);
    vc->NetSendPtzValue(9, 8, 1017, -1);     // no such DVR: nothing
    vc->NetSendPtzValue(2009, 3, 1017, 64);  // no such DVR: nothing
    vc->NetSendPtzValue(2009, 3, 1017, 3);   // single view: the channel as given
    ASSERT_TRUE(WaitFor([&] { return commandsSince(3, before).size() >= 2; }));
    std::this_thread::sleep_for(100ms);
    auto cmds = commandsSince(3, before);
    ASSERT_EQ(cmds.size(), 2u);
    EXPECT_EQ(cmds[0].hex,
              "10000000"
              "09000000"
              "05000000"
              "f9030000"
              "00000000");
    EXPECT_EQ(cmds[1].iParam1, 2009);
    EXPECT_EQ(cmds[1].iParam2, 3);
}

TEST_F(LiveView, AutoDisplayFillsPanesWithTheConnectedDvrsInOrderAndSaves) {
    const char* home = std::getenv("HOME");
    const std::string oldHome = home ? home : "";
    ::setenv("HOME", tmp.path().c_str(), 1);
    for (int d = 0; d < 4; ++d) {
        setEntry(d, "127.0.0.1:1");
    }
    std::vector<std::unique_ptr<StreamPeer>> peers;
    auto connected = [&](int d, int32_t channels) {
        vc->GetNetCtrlStruct(d).Disconnect();
        vc->GetNetCtrlStruct(d).iDvrChannel.store(channels);
        peers.push_back(std::make_unique<StreamPeer>(vc->GetNetCtrlStruct(d)));
    };
    connected(0, 16);
    vc->GetNetCtrlStruct(1).iDvrChannel.store(16);  // not connected
    connected(2, 108);                              // 8 channels: the count is modulo 100
    connected(3, -5);                               // a negative count is none
    for (int p = 0; p < 256; ++p) {
        vc->WriteSelfChannel(p, 999);
    }
    select(-1);
    vc->AutoSetDisplay();
    for (int p = 0; p < 16; ++p) {
        EXPECT_EQ(vc->layout().SelfChannel(p), p);
    }
    for (int p = 16; p < 24; ++p) {
        EXPECT_EQ(vc->layout().SelfChannel(p), 200 + p - 16);
    }
    EXPECT_EQ(vc->layout().SelfChannel(24), 999);
    EXPECT_TRUE(std::filesystem::exists(tmp.file("userinfo/info.uss")));
    // More channels than panes: nothing is written past pane 255.
    for (int d = 0; d < 4; ++d) {
        connected(d, 99);
    }
    vc->AutoSetDisplay();
    EXPECT_EQ(vc->layout().SelfChannel(255), 200 + 255 - 198);
    ::setenv("HOME", oldHome.c_str(), 1);
}

TEST_F(LiveView, SingleViewDrawsEachChannelInItsPaneAndOtherDvrsNowhere) {
    auto a = dvr(0, 4);
    auto b = dvr(1, 4);
    select(0);
    vc->doSomethingForButton(4);
    ASSERT_TRUE(WaitFor([&] { return display.renders().size() == 4; }));
    auto renders = display.renders();
    for (int p = 0; p < 4; ++p) {
        EXPECT_GT(renders[p], 0) << "pane " << p;
    }
    const SCREEN_SHOW_CTRL layout = vc->LayoutCopy();
    const PaneRect r = display.lastRect(3);
    EXPECT_FLOAT_EQ(r.x, layout.m_screenRect[3].FrameRect.x);
    EXPECT_FLOAT_EQ(r.y, layout.m_screenRect[3].FrameRect.y);
    // DVR 1 is not shown (selecting DVR 0 stopped its stream); pictures it sends anyway are
    // taken off its queue and dropped.
    vc->NetLocalViewPlay(vc->GetNetCtrlStruct(1), 0xF, 0);
    ASSERT_TRUE(WaitFor([&] { return vc->GetNetCtrlStruct(1).stats[0].decoded.load() > 40; }, 10s));
    // Taken and dropped as fast as they come: the queue never fills, nothing is dropped.
    EXPECT_LT(vc->GetNetCtrlStruct(1).Numframe.load(), 30);
    EXPECT_EQ(vc->GetNetCtrlStruct(1).stats[0].dropped.load(), 0u);
    // The pane buffer holds the converted picture of its channel.
    {
        PaneBuffers::Pane& pane = vc->layout().AVDataFrame[2];
        std::lock_guard<std::mutex> g(pane.lock);
        EXPECT_EQ(pane.sizeFrame, 2);
    }
}

TEST_F(LiveView, AllDvrViewDrawsAChannelInTheFirstPaneThatHoldsIt) {
    auto a = dvr(0, 2);
    auto b = dvr(1, 2);
    for (int p = 0; p < 256; ++p) {
        vc->WriteSelfChannel(p, -1);
    }
    vc->WriteSelfChannel(5, 101);
    vc->WriteSelfChannel(9, 101);  // held twice: drawn in pane 5 only
    vc->WriteSelfChannel(6, 0);
    select(-1);
    display.forget();
    ASSERT_TRUE(WaitFor([&] { return display.renders().size() >= 2; }));
    std::this_thread::sleep_for(300ms);
    auto renders = display.renders();
    EXPECT_EQ(renders.size(), 2u);
    EXPECT_GT(renders[5], 0);
    EXPECT_GT(renders[6], 0);
}

}  // namespace
