// Hostile and broken DVRs against the client's real receive path: each must end with the status
// and message the operator expects, and the client must be able to connect again.
#include <chrono>
#include <thread>

#include "tests/support/ClientFixture.h"
#include "tests/support/RecordingDisplay.h"
#include "tests/support/Wait.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

class Fault : public ClientTest {
  protected:
    // A display that takes the pictures off the queue, so that the DVR is never slowed down.
    Fault() { vc->SetDisplayPort(&display); }
    ~Fault() override { vc->StopDvrThreads(); }
    std::unique_ptr<SimProcess> dvr(std::vector<std::string> extra) {
        std::vector<std::string> args{"--listen", "127.0.0.1:0", "--account", "admin:1234:1:2"};
        args.insert(args.end(), extra.begin(), extra.end());
        auto sim = std::make_unique<SimProcess>(args);
        setEntry(0, at(*sim));
        EXPECT_EQ(vc->PrepareDvr(0), 1);
        EXPECT_EQ(vc->ConnectAndReport(b(), 0), status::Connect::Done);
        EXPECT_EQ(b().NetWorking.load(), 1);
        return sim;
    }
    NetCtrl_Struct& b() { return vc->GetNetCtrlStruct(0); }
    RecordingDisplay display;
    // The loss is reported once as "Net error" headed by the server text, then the block is
    // disconnected and a new attempt logs in again.
    void expectNetErrorThenReconnect(const std::string& server) {
        ASSERT_TRUE(WaitFor([&] { return b().CurNetStatus.load() == NET_ERROR; }));
        EXPECT_EQ(b().socket.load(), 0);
        vc->animationTimer();
        auto boxes = ui.boxes();
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_EQ(boxes[0].heading, server);
        EXPECT_EQ(boxes[0].text, "Net error");
        EXPECT_EQ(b().CurNetStatus.load(), NET_DISCONNECTED);
        EXPECT_EQ(vc->ConnectAndReport(b(), 0), status::Connect::Done);
        EXPECT_EQ(b().NetWorking.load(), 1);
    }
};

TEST_F(Fault, FrameOfAnUnknownTypeEndsInANetError) {
    auto sim = dvr({"--fault", "bad-type:60"});
    expectNetErrorThenReconnect(at(*sim));
}

TEST_F(Fault, OversizeLengthEndsInANetErrorWithoutReadingIt) {
    auto sim = dvr({"--fault", "oversize:60"});
    expectNetErrorThenReconnect(at(*sim));
}

TEST_F(Fault, RandomBytesAfterTheLoginEndInANetError) {
    auto sim = dvr({"--fault", "garbage:60"});
    expectNetErrorThenReconnect(at(*sim));
}

TEST_F(Fault, DvrClosingInTheMiddleOfAPayloadEndsInANetError) {
    auto sim = dvr({"--fault", "close-mid-frame:60"});
    expectNetErrorThenReconnect(at(*sim));
}

TEST_F(Fault, ASlowDvrSendingOneByteAtATimeStillDeliversWholePictures) {
    auto sim = dvr({"--trickle", "100"});
    ASSERT_TRUE(WaitFor([&] { return b().stats[0].decoded.load() >= 3; }, 20s));
    EXPECT_EQ(b().stats[0].dropped.load(), 0u);
    EXPECT_EQ(b().CurNetStatus.load(), NET_DATA_SEND);
}

TEST_F(Fault, DisconnectingADvrStalledInTheMiddleOfAFrameWakesTheReceiveThreadAtOnce) {
    auto sim = dvr({"--trickle", "1000000"});  // one byte a second: the thread waits mid-frame
    std::this_thread::sleep_for(1500ms);
    EXPECT_EQ(b().stats[0].frames.load() + b().stats[1].frames.load(), 0u);
    const auto start = Clock::now();
    vc->Disconnect(b());
    EXPECT_EQ(b().CurNetStatus.load(), NET_DISCONNECTED);
    // The thread is free again: a new connection to a well-behaved DVR streams at once.
    SimProcess good({"--listen", "127.0.0.1:0", "--account", "admin:1234:2:2"});
    setEntry(0, at(good));
    EXPECT_EQ(vc->ConnectAndReport(b(), 0), status::Connect::Done);
    ASSERT_TRUE(WaitFor([&] { return b().stats[0].decoded.load() >= 2; }, 5s));
    EXPECT_LT(std::chrono::duration<double>(Clock::now() - start).count(), 3.0);
    EXPECT_TRUE(ui.boxes().empty());
}

}  // namespace
