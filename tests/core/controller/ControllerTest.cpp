// The controller's delete command against simulated DVRs: deleting while a DVR connects or
// streams leaves every renumbered slot clean.
#include <thread>

#include "core/dvr/DvrSlot.h"
#include "tests/support/ClientFixture.h"
#include "tests/support/Wait.h"

namespace {

using namespace std::chrono_literals;

class Controller : public ClientTest {
  protected:
    // DVR `dvr` saved with a simulator of its own (with these options), its node in the tree.
    void addDvr(int dvr, const std::string& name, std::vector<std::string> extra = {}) {
        std::vector<std::string> args{"--listen", "127.0.0.1:0", "--account", "admin:1234:2:16"};
        args.insert(args.end(), extra.begin(), extra.end());
        sims.push_back(std::make_unique<SimProcess>(args));
        setEntry(dvr, at(*sims.back()), "admin", "1234", name);
        ui.appendNode(name);
    }
    std::vector<std::unique_ptr<SimProcess>> sims;
};

TEST_F(Controller, DeletingADvrWhoseLoginIsUnderWayLeavesTheRenumberedSlotAlone) {
    addDvr(0, "Hanging", {"--silent"});  // takes the login and never answers
    addDvr(1, "Other");
    ui.select(0);
    vc->ConnectDVR();
    ASSERT_TRUE(WaitFor([&] { return block(0).socket.load() > 0; }));
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
    EXPECT_TRUE(WaitFor([&] { return block(0).NetWorking.load() == 1; }));
    EXPECT_EQ(ui.nodes(), (std::vector<std::string>{"Other"}));
}

TEST_F(Controller, DeletingResetsTheQueueAndSequenceOfEverySlotThatChangesHands) {
    addDvr(0, "First");
    addDvr(1, "Second");
    for (int d = 0; d < 2; ++d) {
        ui.select(d);
        vc->ConnectDVR();
    }
    auto expected = [&](int d, int c) { return vc->Slot(d).ExpectedFrame(c); };
    ASSERT_TRUE(WaitFor([&] { return block(1).Numframe.load() >= 2; }));
    ASSERT_GT(expected(1, 0), 0u);
    ui.select(0);
    vc->DeleteUser();
    EXPECT_EQ(block(1).CurNetStatus.load(), NET_DISCONNECTED);
    EXPECT_EQ(block(0).CurNetStatus.load(), NET_DISCONNECTED);
    // Each receive thread resets its slot once it has finished the unit it was reading.
    auto reset = [&](int d) {
        for (int c = 0; c < 40; ++c) {
            if (expected(d, c) != 0) {
                return false;
            }
        }
        return block(d).Numframe.load() == 0;
    };
    EXPECT_TRUE(WaitFor([&] { return reset(0) && reset(1); }));
}

}  // namespace
