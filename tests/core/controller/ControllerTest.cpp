// The controller's DVR commands against simulated DVRs: one attempt per DVR, the status timer,
// the view switch, deleting while connected or connecting, and an orderly end.
#include <chrono>
#include <thread>
#include "core/dvr/DvrSlot.h"

#include "core/support/FixedText.h"
#include "tests/support/ClientFixture.h"
#include "tests/support/FullBacklogListener.h"
#include "tests/support/Wait.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

double SecondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

class Controller : public ClientTest {
  protected:
    void addNodes(int n) {
        for (int i = 0; i < n; ++i) {
            ui.appendNode(std::string(TextOf(vc->EntryCopy(i).showName)));
        }
    }
    std::vector<std::string> dvrArgs(std::vector<std::string> extra = {}) {
        std::vector<std::string> args{"--listen",        "127.0.0.1:0", "--account",
                                      "admin:1234:2:16", "--account",   "guest:guest:1:4"};
        args.insert(args.end(), extra.begin(), extra.end());
        return args;
    }
};

TEST_F(Controller, ConnectRunsOneAttemptPerDvrAndDestroyingTheControllerEndsItAtOnce) {
    FullBacklogListener silent("127.0.0.1");
    setEntry(0, "127.0.0.1:" + std::to_string(silent.port()));
    addNodes(1);
    ui.select(0);
    vc->ConnectDVR();
    EXPECT_TRUE(WaitFor([&] { return ui.titleOf(0) == "connecting"; }));
    EXPECT_TRUE(vc->AttemptRunning(0));
    vc->ConnectDVR();  // ignored while the first runs
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(ui.titles().size(), 1u);
    const auto start = Clock::now();
    vc.reset();  // the attempt waits up to 10 s for the DVR; quitting must not
    EXPECT_LT(SecondsSince(start), 1.5);
}

TEST_F(Controller, NothingSelectedOrOutOfRangeConnectsNothing) {
    ui.select(-1);
    vc->ConnectDVR();
    ui.select(3);  // a row the list does not have
    vc->ConnectDVR();
    EXPECT_FALSE(vc->AttemptRunning(3));
    EXPECT_EQ(vc->GetNetCtrlStruct(3).init.load(), 0);
}

TEST_F(Controller, IconsFollowTheSessionAndALostOneIsShownOnceAsNetError) {
    auto sim = std::make_unique<SimProcess>(dvrArgs());
    setEntry(0, at(*sim), "guest", "guest");
    setEntry(1, at(*sim));
    addNodes(2);
    NetCtrl_Struct& guest = vc->GetNetCtrlStruct(0);
    NetCtrl_Struct& b = vc->GetNetCtrlStruct(1);
    EXPECT_EQ(vc->NodeIconFor(0), NodeIcon::Disconnected);
    ui.select(0);
    vc->ConnectDVR();
    ASSERT_TRUE(WaitFor([&] { return guest.NetWorking.load() == 1; }));
    EXPECT_EQ(vc->NodeIconFor(0), NodeIcon::User);
    vc->DisconnectDVR();
    EXPECT_EQ(vc->NodeIconFor(0), NodeIcon::Disconnected);

    ui.select(1);
    vc->ConnectDVR();
    ASSERT_TRUE(WaitFor([&] { return b.CurNetStatus.load() == NET_DATA_SEND; }));
    EXPECT_EQ(vc->NodeIconFor(1), NodeIcon::SuperUser);
    const std::string server = at(*sim);
    sim->kill();
    ASSERT_TRUE(WaitFor([&] { return b.CurNetStatus.load() == NET_ERROR; }));
    EXPECT_EQ(vc->NodeIconFor(1), NodeIcon::Disconnected);
    vc->animationTimer();
    vc->animationTimer();
    auto boxes = ui.boxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].heading, server);
    EXPECT_EQ(boxes[0].text, "Net error");
    EXPECT_EQ(b.CurNetStatus.load(), NET_DISCONNECTED);
}

TEST_F(Controller, SelectionSwitchesBetweenTheSingleAndTheAllDvrView) {
    setEntry(0, "h:1", "u", "p", "Gate");
    setEntry(1, "h:2", "u", "p", "Yard");
    addNodes(2);
    ui.select(1);
    vc->outlineViewSelectionDidChange();
    EXPECT_EQ(vc->CurrentDVR(), 1);
    EXPECT_EQ(ui.label(), "Yard");
    EXPECT_EQ(vc->showAutoDisplay(), 0);
    ui.select(-1);
    vc->outlineViewSelectionDidChange();
    EXPECT_EQ(vc->CurrentDVR(), -1);
    EXPECT_EQ(ui.label(), "ALL DVR");
    EXPECT_EQ(vc->showAutoDisplay(), 1);
}

TEST_F(Controller, DeletingADvrWhoseLoginIsUnderWayLeavesTheRenumberedSlotAlone) {
    SimProcess hanging(dvrArgs({"--silent"}));  // takes the login and never answers
    SimProcess other(dvrArgs());
    setEntry(0, at(hanging), "admin", "1234", "Hanging");
    setEntry(1, at(other), "admin", "1234", "Other");
    addNodes(2);
    ui.select(0);
    vc->ConnectDVR();
    ASSERT_TRUE(WaitFor([&] { return vc->GetNetCtrlStruct(0).socket.load() > 0; }));
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
    ui.select(0);
    vc->ConnectDVR();
    EXPECT_TRUE(WaitFor([&] { return vc->GetNetCtrlStruct(0).NetWorking.load() == 1; }));
    EXPECT_EQ(ui.nodes(), (std::vector<std::string>{"Other"}));
}

TEST_F(Controller, DeletingResetsTheQueueAndSequenceOfEverySlotThatChangesHands) {
    SimProcess first(dvrArgs());
    SimProcess second(dvrArgs());
    setEntry(0, at(first), "admin", "1234", "First");
    setEntry(1, at(second), "guest", "guest", "Second");
    addNodes(2);
    for (int d = 0; d < 2; ++d) {
        ui.select(d);
        vc->ConnectDVR();
    }
    NetCtrl_Struct& b1 = vc->GetNetCtrlStruct(1);
    auto expected = [&](int d, int c) { return vc->Slot(d).ExpectedFrame(c); };
    ASSERT_TRUE(WaitFor([&] { return b1.Numframe.load() >= 2; }));
    ASSERT_GT(expected(1, 0), 0u);
    ui.select(0);
    vc->DeleteUser();
    EXPECT_EQ(b1.CurNetStatus.load(), NET_DISCONNECTED);
    EXPECT_EQ(vc->GetNetCtrlStruct(0).CurNetStatus.load(), NET_DISCONNECTED);
    // Each receive thread resets its slot once it has finished the unit it was reading.
    auto reset = [&](int d) {
        for (int c = 0; c < 40; ++c) {
            if (expected(d, c) != 0) {
                return false;
            }
        }
        return vc->GetNetCtrlStruct(d).Numframe.load() == 0;
    };
    EXPECT_TRUE(WaitFor([&] { return reset(0) && reset(1); }));
}

}  // namespace
