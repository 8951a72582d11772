// The controller's delete command against simulated DVRs: deleting while a DVR connects or
// streams leaves every renumbered slot clean.
#include <functional>
#include <stdexcept>
#include <thread>

#include "core/dvr/DvrSlot.h"
#include "tests/support/ClientFixture.h"
#include "tests/support/ScriptedDvr.h"
#include "tests/support/Wait.h"

namespace {

using namespace std::chrono_literals;

class Controller : public ClientTest {
  protected:
    // DVR `dvr` saved with a simulator of its own (with these options), its node in the tree.
    void AddDvr(int dvr, const std::string& name, std::vector<std::string> extra = {}) {
        std::vector<std::string> args{"--listen", "127.0.0.1:0", "--account", "admin:1234:2:16"};
        args.insert(args.end(), extra.begin(), extra.end());
        sims.push_back(std::make_unique<SimProcess>(args));
        SetEntry(dvr, At(*sims.back()), "admin", "1234", name);
        ui.AppendNode(name);
    }
    std::vector<std::unique_ptr<SimProcess>> sims;
};

TEST_F(Controller, DeletingADvrWhoseLoginIsUnderWayLeavesTheRenumberedSlotAlone) {
    AddDvr(0, "Hanging", {"--silent"});  // takes the login and never answers
    AddDvr(1, "Other");
    ui.Select(0);
    vc->ConnectDVR();
    ASSERT_TRUE(WaitFor([&] { return Block(0).socket.load() > 0; }));
    const std::size_t titlesBefore = ui.titles().size();
    vc->DeleteUser();  // asks (answered OK), then renumbers "Other" to slot 0
    EXPECT_EQ(ui.nodes(), (std::vector<std::string>{"Other"}));
    EXPECT_FALSE(vc->AttemptRunning(0));
    // The old attempt ends (its socket was closed) without touching slot 0's title or block.
    std::this_thread::sleep_for(1500ms);
    for (std::size_t t = titlesBefore; t < ui.titles().size(); ++t) {
        EXPECT_NE(ui.titles()[t].title, "Hanging");
        EXPECT_NE(ui.titles()[t].title, "connecting");
    }
    EXPECT_EQ(ui.nodes(), (std::vector<std::string>{"Other"}));
    EXPECT_TRUE(ui.boxes().empty());
    // The renumbered DVR connects normally on its new slot.
    ui.Select(0);
    vc->ConnectDVR();
    EXPECT_TRUE(WaitFor([&] { return Block(0).NetWorking.load() == 1; }));
    EXPECT_EQ(ui.nodes(), (std::vector<std::string>{"Other"}));
}

TEST_F(Controller, DeletingResetsTheQueueAndSequenceOfEverySlotThatChangesHands) {
    AddDvr(0, "First");
    AddDvr(1, "Second");
    for (int d = 0; d < 2; ++d) {
        ui.Select(d);
        vc->ConnectDVR();
    }
    auto expected = [&](int d, int c) { return vc->Slot(d).ExpectedFrame(c); };
    ASSERT_TRUE(WaitFor([&] { return Block(1).queue.Numframe.load() >= 2; }));
    ASSERT_GT(expected(1, 0), 0u);
    ui.Select(0);
    vc->DeleteUser();
    EXPECT_EQ(Block(1).CurNetStatus.load(), NET_DISCONNECTED);
    EXPECT_EQ(Block(0).CurNetStatus.load(), NET_DISCONNECTED);
    // Each receive thread resets its slot once it has finished the unit it was reading.
    auto reset = [&](int d) {
        for (int c = 0; c < 40; ++c) {
            if (expected(d, c) != 0) {
                return false;
            }
        }
        return Block(d).queue.Numframe.load() == 0;
    };
    EXPECT_TRUE(WaitFor([&] { return reset(0) && reset(1); }));
}

// ---- The operator's commands and the automatic reconnect ---------------------------------------

TEST_F(Controller, ABadDvrNumberOrAnotherDvrsBlockIsRefusedNotTakenForAnotherDvr) {
    for (int bad : {-1, 64, 6401}) {
        EXPECT_THROW(vc->Slot(bad), std::out_of_range) << bad;
        EXPECT_THROW(vc->ActiveNetServerAdjust(bad), std::out_of_range) << bad;
    }
    EXPECT_THROW(vc->NetConnect(Block(0), 1), std::invalid_argument);
    EXPECT_THROW(vc->SetParameter(Block(1), 0), std::invalid_argument);
    // What the tree, a pane or a closed window may hand over outside the table is answered.
    EXPECT_EQ(vc->PrepareDvr(64), -1);
    EXPECT_FALSE(vc->PlayingBack(-1));
    EXPECT_EQ(vc->NodeIconFor(64), NodeIcon::Disconnected);
    vc->EndPlayback(-1);
    vc->ClearPlayedPanes(64);
    EXPECT_TRUE(ui.boxes().empty());
}

class OperatorOverReconnect : public ClientTest {
  protected:
    OperatorOverReconnect() {
        vc->limits.reconnectFirst = 50ms;
        vc->limits.reconnectLongest = 50ms;
        vc->limits.streamSilence = 60s;
        SetEntry(0, "127.0.0.1:" + std::to_string(dvr.port()));
        ui.AppendNode("Gate");
        ui.Select(0);
    }
    // DVR 0 connected, then lost; the reconnect's quiet attempt is left hanging on its login.
    void LoseAndHangTheReconnect() {
        vc->ConnectDVR();
        ScriptedDvr::Connection session = dvr.AcceptLogin();
        ASSERT_TRUE(session.valid());
        ASSERT_TRUE(session.AcceptLogin(kSuperUserMode, 16));
        ASSERT_TRUE(WaitFor([&] { return Block(0).NetWorking.load() == 1; }));
        session = ScriptedDvr::Connection{};  // the DVR drops the session
        ASSERT_TRUE(WaitFor([&] {
            vc->animationTimer();
            return vc->Slot(0).reconnect.inFlight;
        }));
        hanging = dvr.AcceptLogin();
        ASSERT_TRUE(hanging.valid());  // its login never answered
        ASSERT_TRUE(vc->AttemptRunning(0));
        ASSERT_EQ(ui.boxes().size(), 1u);  // "Net error"
    }
    // The operator's `command` starts its attempt at once; it logs in as `mode` and keeps the
    // slot, and the reconnect is over.
    void OvertakeWith(const std::function<void()>& command, int32_t mode) {
        LoseAndHangTheReconnect();
        if (HasFatalFailure()) {
            return;
        }
        command();
        // Kept open to the test's end: the checks after this one read the session it holds.
        mine = dvr.Accept(2s);
        ASSERT_TRUE(mine.valid()) << "the operator's attempt waited for the reconnect's";
        // While the operator's own attempt runs, a second click starts nothing.
        command();
        EXPECT_FALSE(dvr.Accept(300ms).valid());
        ASSERT_TRUE(mine.ReadLogin());
        ASSERT_TRUE(mine.AcceptLogin(mode, 16));
        ASSERT_TRUE(WaitFor([&] { return !vc->AttemptRunning(0); }));
        EXPECT_EQ(Block(0).NetWorking.load(), 1);
        EXPECT_EQ(ClientPort(0), mine.ClientPort());
        // The reconnect's connection was closed without anything more on it.
        EXPECT_TRUE(hanging.ClosedWithNothingMore(3s));
        // No further attempt comes, and the node keeps its name.
        for (int i = 0; i < 5; ++i) {
            vc->animationTimer();
            std::this_thread::sleep_for(20ms);
        }
        EXPECT_FALSE(vc->Slot(0).reconnect.pending);
        EXPECT_FALSE(dvr.Accept(100ms).valid());
        EXPECT_EQ(ui.TitleOf(0), "Gate");
        EXPECT_EQ(Block(0).NetWorking.load(), 1);
    }

    ScriptedDvr dvr;
    ScriptedDvr::Connection hanging;
    ScriptedDvr::Connection mine;  // the operator's session
};

TEST_F(OperatorOverReconnect, ConnectStartsAtOnceWhileAReconnectAttemptHangs) {
    OvertakeWith([&] { vc->ConnectDVR(); }, kSuperUserMode);
    EXPECT_EQ(Block(0).CurNetStatus.load(), NET_DATA_SEND);
    EXPECT_EQ(ui.boxes().size(), 1u);
}

TEST_F(OperatorOverReconnect, PlaybackStartsAtOnceWhileAReconnectAttemptHangs) {
    OvertakeWith([&] { vc->NetPlayBack(); }, 1);
    EXPECT_EQ(Block(0).ViewOrBack.load(), VIEW_PLAYBACK);
    EXPECT_EQ(Block(0).CurNetStatus.load(), NET_CONNECTED);
    ASSERT_EQ(ui.boxes().size(), 2u);
    EXPECT_EQ(ui.boxes()[1].text, "Please use superuser!");
}

}  // namespace
