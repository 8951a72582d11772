// Sending on logged-in connections: records whole and in order, one stuck DVR holding up no other.
#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "tests/support/ClientFixture.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

double SecondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

class Transport : public ClientTest {
  protected:
    std::unique_ptr<SimProcess> loggedIn(int dvr, std::vector<std::string> extra = {}) {
        std::vector<std::string> args{"--listen", "127.0.0.1:0", "--account", "admin:1234:2:16"};
        args.insert(args.end(), extra.begin(), extra.end());
        auto sim = std::make_unique<SimProcess>(args);
        setEntry(dvr, at(*sim));
        EXPECT_EQ(vc->NetConnect(vc->GetNetCtrlStruct(dvr), dvr), status::Connect::Done);
        EXPECT_EQ(vc->GetNetCtrlStruct(dvr).NetWorking.load(), 1);
        return sim;
    }
};

TEST_F(Transport, DvrThatStopsReadingFailsItsSendWithoutHoldingUpOtherDvrs) {
    auto stuck = loggedIn(0, {"--stop-reading"});
    auto healthy = loggedIn(1);
    std::atomic<bool> done{false};
    std::atomic<int32_t> stuckResult{0};
    Clock::time_point failedAt;
    std::thread filler([&] {
        std::vector<char> chunk(64 * 1024, 0);
        while (stuckResult.load() >= 0) {
            stuckResult.store(
                vc->SendData(vc->GetNetCtrlStruct(0), chunk.data(), int(chunk.size())));
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
        ASSERT_EQ(vc->SendData(vc->GetNetCtrlStruct(1), &c, sizeof c), int32_t(sizeof c));
        slowest = std::max(slowest, SecondsSince(t));
        std::this_thread::sleep_for(20ms);
    }
    filler.join();
    EXPECT_LT(slowest, 0.25);
    EXPECT_EQ(stuckResult.load(), -1);
    EXPECT_LT(std::chrono::duration<double>(failedAt - start).count(), 10.0);
    EXPECT_EQ(vc->GetNetCtrlStruct(0).CurNetStatus.load(), NET_ERROR);
    EXPECT_EQ(vc->GetNetCtrlStruct(1).CurNetStatus.load(), NET_DATA_SEND);
}

TEST_F(Transport, BlockWithoutAConnectionSendsAndReadsNothing) {
    NetCtrl_Struct& b = vc->GetNetCtrlStruct(5);
    const NET_COMMAND c = MakeCommand(NET_KEY_FRAME);
    char buf[20];
    EXPECT_EQ(vc->SendData(b, &c, sizeof c), -1);
    EXPECT_EQ(vc->ReadData(b, buf, sizeof buf), -1);
    EXPECT_EQ(vc->StopNetPlayFile(b), -1);
    EXPECT_EQ(vc->CloseSocket(b), 1);
    EXPECT_EQ(b.CurNetStatus.load(), NET_DISCONNECTED);  // nothing was logged in: no error
}

TEST_F(Transport, LiveViewCommandsSetTheStatusAndReachTheDvr) {
    auto sim = loggedIn(0, {"--log", tmp.file("dvr.log")});
    NetCtrl_Struct& b = vc->GetNetCtrlStruct(0);
    vc->StopNetLocalView(b);
    EXPECT_EQ(b.CurNetStatus.load(), NET_CONNECTED);
    vc->NetLocalViewPlay(b, 0x5, 0);
    EXPECT_EQ(b.CurNetStatus.load(), NET_DATA_SEND);
    vc->CreateNetKeyFrame(b);
    auto cmds = Commands(
        WaitForLines(tmp.file("dvr.log"), [](const auto& l) { return Commands(l).size() >= 6; }));
    ASSERT_EQ(cmds.size(), 6u);
    EXPECT_EQ(cmds[3].iCmd, NET_STOP_LIVE_VIEW);
    EXPECT_EQ(cmds[4].hex,
              "0b000000"
              "00000000"
              "00000000"
              "05000000"
              "00000000");
    EXPECT_EQ(cmds[5].iCmd, NET_KEY_FRAME);
}

}  // namespace
