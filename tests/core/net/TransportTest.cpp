// Sending on connections: one stuck DVR holds up no other, a block without one sends nothing.
#include <atomic>
#include <thread>

#include "tests/support/ClientFixture.h"
#include "tests/support/Wait.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using Transport = ClientTest;

TEST_F(Transport, DvrThatStopsReadingFailsItsSendWithoutHoldingUpOtherDvrs) {
    SimProcess stuck({"--listen", "127.0.0.1:0", "--account", "admin:1234:2:16", "--stop-reading"});
    SimProcess healthy({"--listen", "127.0.0.1:0", "--account", "admin:1234:2:16"});
    SetEntry(0, At(stuck));
    SetEntry(1, At(healthy));
    for (int d = 0; d < 2; ++d) {
        ASSERT_EQ(vc->NetConnect(Block(d), d), status::Connect::Done);
        ASSERT_EQ(Block(d).NetWorking.load(), 1);
    }
    std::atomic<bool> done{false};
    std::atomic<int32_t> stuckResult{0};
    Clock::time_point failedAt;
    std::thread filler([&] {
        std::vector<char> chunk(64 * 1024, 0);
        while (stuckResult.load() >= 0) {
            stuckResult.store(vc->SendData(Block(0), chunk.data(), int(chunk.size())));
        }
        failedAt = Clock::now();
        done.store(true);
    });
    // While DVR 0's sends are stuck, DVR 1's commands still go out at once.
    const NET_COMMAND c = MakeCommand(NET_KEY_FRAME);
    double slowest = 0;
    const auto start = Clock::now();
    while (!done.load() && SecondsSince(start) < 20) {
        const auto t = Clock::now();
        ASSERT_EQ(vc->SendData(Block(1), &c, sizeof c), int32_t(sizeof c));
        slowest = std::max(slowest, SecondsSince(t));
        std::this_thread::sleep_for(20ms);
    }
    filler.join();
    EXPECT_LT(slowest, 0.25);
    EXPECT_EQ(stuckResult.load(), -1);
    EXPECT_LT(std::chrono::duration<double>(failedAt - start).count(), 10.0);
    EXPECT_EQ(Block(0).CurNetStatus.load(), NET_ERROR);
    EXPECT_EQ(Block(1).CurNetStatus.load(), NET_DATA_SEND);
}

TEST_F(Transport, BlockWithoutAConnectionSendsAndReadsNothing) {
    NetCtrl_Struct& b = Block(5);
    const NET_COMMAND c = MakeCommand(NET_KEY_FRAME);
    char buf[20];
    EXPECT_EQ(vc->SendData(b, &c, sizeof c), -1);
    EXPECT_EQ(vc->ReadData(b, buf, sizeof buf), -1);
    EXPECT_EQ(vc->StopNetPlayFile(b), -1);
    EXPECT_EQ(vc->CloseSocket(b), 1);
    EXPECT_EQ(b.CurNetStatus.load(), NET_DISCONNECTED);  // nothing was logged in: no error
}

}  // namespace
