// Hostile and broken DVRs against the client's real receive path: each must end with the status
// and message the operator expects, and the client must be able to connect again.
#include "tests/support/ClientFixture.h"
#include "tests/support/Wait.h"

namespace {

using namespace std::chrono_literals;

// The display takes the pictures off the queue, so that the DVR is never slowed down.
class Fault : public DisplayTest {
  protected:
    std::unique_ptr<SimProcess> Dvr(std::vector<std::string> extra) {
        std::vector<std::string> args{"--listen", "127.0.0.1:0", "--account", "admin:1234:1:2"};
        args.insert(args.end(), extra.begin(), extra.end());
        auto sim = std::make_unique<SimProcess>(args);
        SetEntry(0, At(*sim));
        EXPECT_EQ(vc->PrepareDvr(0), 1);
        EXPECT_EQ(vc->ConnectAndReport(b, 0), status::Connect::Done);
        EXPECT_EQ(b.NetWorking.load(), 1);
        return sim;
    }
    NetCtrl_Struct& b = Block(0);
};

TEST_F(Fault, EachBrokenStreamEndsInOneNetErrorAndTheDvrCanBeConnectedAgain) {
    for (const char* fault : {"bad-type:60", "oversize:60", "garbage:60", "close-mid-frame:60"}) {
        SCOPED_TRACE(fault);
        auto sim = Dvr({"--fault", fault});
        ASSERT_TRUE(WaitFor([&] { return b.CurNetStatus.load() == NET_ERROR; }));
        EXPECT_EQ(b.socket.load(), 0);
        const std::size_t before = ui.boxes().size();
        vc->animationTimer();
        vc->animationTimer();
        auto boxes = ui.boxes();
        ASSERT_EQ(boxes.size(), before + 1);
        EXPECT_EQ(boxes.back().heading, At(*sim));
        EXPECT_EQ(boxes.back().text, "Net error");
        EXPECT_EQ(b.CurNetStatus.load(), NET_DISCONNECTED);
        EXPECT_EQ(vc->ConnectAndReport(b, 0), status::Connect::Done);
        EXPECT_EQ(b.NetWorking.load(), 1);
        vc->Disconnect(b);
    }
}

TEST_F(Fault, ASlowDvrSendingOneByteAtATimeStillDeliversWholePictures) {
    auto sim = Dvr({"--trickle", "100"});
    ASSERT_TRUE(WaitFor([&] { return b.stats[0].decoded.load() >= 3; }, 20s));
    EXPECT_EQ(b.stats[0].dropped.load(), 0u);
    EXPECT_EQ(b.CurNetStatus.load(), NET_DATA_SEND);
}

}  // namespace
