// Connecting and logging in to a simulated DVR over loopback.
#include <chrono>
#include <thread>

#include "core/wire/StreamSettings.h"
#include "tests/support/ClientFixture.h"
#include "tests/support/FullBacklogListener.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

double SecondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

class Connect : public ClientTest {
  protected:
    std::vector<std::string> simArgs(std::vector<std::string> extra = {}) {
        std::vector<std::string> args{"--listen",          "127.0.0.1:0",    "--log",
                                      tmp.file("dvr.log"), "--account",      "admin:1234:2:116",
                                      "--account",         "guest:guest:1:8"};
        args.insert(args.end(), extra.begin(), extra.end());
        return args;
    }
    std::vector<std::string> log() { return ReadLines(tmp.file("dvr.log")); }
    std::vector<std::string> waitForCommands(std::size_t n) {
        return WaitForLines(tmp.file("dvr.log"),
                            [n](const auto& lines) { return Commands(lines).size() >= n; });
    }
};

TEST_F(Connect, SuperuserLogsInDirectlyAndTheLiveStreamStarts) {
    SimProcess sim(simArgs());
    setEntry(0, at(sim));
    NetCtrl_Struct& b = vc->NetCtrl[0];

    EXPECT_EQ(vc->NetConnect(b, 0), 1);
    EXPECT_EQ(b.NetWorking.load(), 1);
    EXPECT_EQ(b.CurNetStatus.load(), NET_DATA_SEND);
    EXPECT_EQ(b.iUsermode.load(), 2);
    EXPECT_EQ(b.iDvrChannel.load() % 100, 16);
    EXPECT_GT(b.socket.load(), 0);
    EXPECT_TRUE(ui.boxes().empty());
    // The node reads "connecting" during the attempt, then the display name again.
    auto titles = ui.titles();
    ASSERT_EQ(titles.size(), 2u);
    EXPECT_EQ(titles[0].title, "connecting");
    EXPECT_EQ(titles[1].title, "Gate");
    EXPECT_GE(ui.reloads(), 1);

    auto lines = waitForCommands(3);
    auto cmds = Commands(lines);
    ASSERT_EQ(cmds.size(), 3u);
    // Login: NET_LOGIN with the record's length, then the 20-byte user and password record.
    EXPECT_EQ(cmds[0].hex,
              "12000000"
              "14000000"
              "00000000"
              "00000000"
              "00000000");
    auto logins = LinesStartingWith(lines, "LOGIN ");
    ASSERT_EQ(logins.size(), 1u);
    EXPECT_EQ(logins[0], "LOGIN admin 1234 61646d696e000000000031323334000000000000");
    // Stream set-up for a new entry: high quality at 25 fps, no sound.
    EXPECT_EQ(cmds[1].hex,
              "0f000000"
              "e8030000"
              "19000000"
              "00000000"
              "00000000");
    // Live view of every channel of the saved mask.
    EXPECT_EQ(cmds[2].hex,
              "0b000000"
              "00000000"
              "00000000"
              "ffffffff"
              "00000000");
}

TEST_F(Connect, OrdinaryUserLogsInWithItsUserMode) {
    SimProcess sim(simArgs());
    setEntry(0, at(sim), "guest", "guest");
    EXPECT_EQ(vc->NetConnect(vc->NetCtrl[0], 0), 1);
    EXPECT_EQ(vc->NetCtrl[0].NetWorking.load(), 1);
    EXPECT_EQ(vc->NetCtrl[0].iUsermode.load(), 1);
    EXPECT_EQ(vc->NetCtrl[0].iDvrChannel.load(), 8);
    EXPECT_TRUE(ui.boxes().empty());
}

TEST_F(Connect, StreamSetUpCarriesTheBitRateAndFrameRateOfEveryIndex) {
    SimProcess sim(simArgs({"--max-users", "50"}));
    const int32_t fps[] = {1, 3, 6, 10, 20, 25, 16};
    int slot = 0;
    for (int q = 0; q < 3; ++q) {
        for (int f = 0; f < 7; ++f, ++slot) {
            setEntry(slot, at(sim), "guest", "guest");  // one superuser at a time
            {
                std::lock_guard<std::mutex> g(vc->userinfoLock);
                vc->Userinfo[slot].frame_rate = f == 6 ? 9 : f;  // 9: any other index
                vc->Userinfo[slot].qulity = q;
                vc->Userinfo[slot].send_sound = q;  // carried as given
            }
            ASSERT_EQ(vc->NetConnect(vc->NetCtrl[slot], slot), 1);
            auto cmds = Commands(waitForCommands(3 * (slot + 1)));
            ASSERT_EQ(cmds.size(), 3u * (slot + 1));
            const LoggedCommand& s = cmds[3 * slot + 1];
            const int base = q == 0 ? 384 : q == 1 ? 512 : 1024;
            EXPECT_EQ(s.iCmd, NET_SET_STREAM);
            EXPECT_EQ(s.iParam1, base / 25 * fps[f]) << "quality " << q << " fps index " << f;
            EXPECT_EQ(s.iParam2, fps[f]);
            EXPECT_EQ(s.iParam3, q);
            EXPECT_EQ(s.iParam4, 0);
        }
    }
}

TEST_F(Connect, LiveViewAsksForTheSavedChannelMask) {
    SimProcess sim(simArgs());
    setEntry(0, at(sim));
    {
        std::lock_guard<std::mutex> g(vc->userinfoLock);
        vc->Userinfo[0].cam = 0x80000005u;  // channels 1, 3 and 32
    }
    ASSERT_EQ(vc->NetConnect(vc->NetCtrl[0], 0), 1);
    auto cmds = Commands(waitForCommands(3));
    ASSERT_EQ(cmds.size(), 3u);
    EXPECT_EQ(cmds[2].hex,
              "0b000000"
              "00000000"
              "00000000"
              "05000080"
              "00000000");
}

struct Refusal {
    std::vector<std::string> simExtra;
    std::string user, pass;
    std::string message;
};

TEST_F(Connect, RefusedLoginsShowTheirMessageAndLeaveTheBlockDisconnected) {
    const Refusal cases[] = {
        // The simulator's too-many reply also says BAD_USER_PASS: iCmd 10 must win.
        {{"--max-users", "0"}, "admin", "1234", "Too many users!"},
        {{"--super-online"}, "admin", "1234", "Super username is online!"},
        {{}, "admin", "wrong", "Bad user or password!"},
        {{}, "nobody", "1234", "Bad user or password!"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.message + " " + c.user);
        RecordingUi caseUi;
        ViewController controller(caseUi);
        TempDir dir;
        auto args = simArgs(c.simExtra);
        SimProcess sim(args);
        {
            std::lock_guard<std::mutex> g(controller.userinfoLock);
            controller.Userinfo[0] = NewSaveInfo(at(sim), c.user, c.pass, "Gate");
            controller.usercount.store(1);
        }
        NetCtrl_Struct& b = controller.NetCtrl[0];
        EXPECT_EQ(controller.NetConnect(b, 0), 1);
        auto boxes = caseUi.boxes();
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_EQ(boxes[0].heading, at(sim));
        EXPECT_EQ(boxes[0].text, c.message);
        EXPECT_EQ(b.CurNetStatus.load(), NET_DISCONNECTED);
        EXPECT_EQ(b.NetWorking.load(), 0);
        EXPECT_EQ(b.socket.load(), 0);
        EXPECT_EQ(caseUi.titleOf(0), "Gate");
    }
}

TEST_F(Connect, LoginResultCodesMatchTheRefusal) {
    SimProcess sim(simArgs({"--super-online"}));
    setEntry(0, at(sim), "admin", "1234");
    setEntry(1, at(sim), "admin", "bad");
    // Log the block in by hand (TCP up) and run the login step alone.
    for (int d = 0; d < 2; ++d) {
        auto s = TcpSocket::Create();
        ASSERT_TRUE(s);
        ASSERT_EQ(s->connectWithin(*ResolveIPv4("127.0.0.1", sim.port()), 2s), 0);
        vc->NetCtrl[d].attach(std::move(s));
        vc->NetCtrl[d].CurNetStatus.store(NET_CONNECTED);
    }
    EXPECT_EQ(vc->SetParameter(vc->NetCtrl[0], 0), -3);
    EXPECT_EQ(vc->SetParameter(vc->NetCtrl[1], 1), -2);
    EXPECT_TRUE(ui.boxes().empty());  // boxes belong to the connect step
}

TEST_F(Connect, ServerTextWithoutAColonShowsAnEmptyBox) {
    setEntry(0, "127.0.0.1");
    const auto start = Clock::now();
    EXPECT_EQ(vc->ConnectAndReport(vc->NetCtrl[0], 0), -6);
    EXPECT_LT(SecondsSince(start), 1.0);
    auto boxes = ui.boxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].heading, "127.0.0.1");
    EXPECT_EQ(boxes[0].text, "");
    EXPECT_EQ(ui.titleOf(0), "Gate");  // not left at "connecting"
    EXPECT_EQ(vc->NetCtrl[0].socket.load(), 0);
}

TEST_F(Connect, PortTextThatIsNotAPortFailsAsAFailedConnect) {
    SimProcess sim(simArgs());
    for (const std::string port : {"99999", "-1", "abcd", "", "0", "+80", "12 3"}) {
        SCOPED_TRACE("port text '" + port + "'");
        RecordingUi caseUi;
        ViewController controller(caseUi);
        {
            std::lock_guard<std::mutex> g(controller.userinfoLock);
            controller.Userinfo[0] = NewSaveInfo("127.0.0.1:" + port, "admin", "1234", "Gate");
        }
        EXPECT_EQ(controller.ConnectAndReport(controller.NetCtrl[0], 0), -4);
        auto boxes = caseUi.boxes();
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_EQ(boxes[0].text, "Failure conncecting to DVR");
        EXPECT_EQ(controller.NetCtrl[0].CurNetStatus.load(), NET_DISCONNECTED);
    }
    EXPECT_TRUE(Commands(log()).empty());
}

TEST_F(Connect, UnresolvableHostFailsAsAFailedConnect) {
    setEntry(0, "no-such-dvr.invalid:5000");
    EXPECT_EQ(vc->ConnectAndReport(vc->NetCtrl[0], 0), -4);
    auto boxes = ui.boxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, "Failure conncecting to DVR");
    EXPECT_EQ(ui.titleOf(0), "Gate");
}

TEST_F(Connect, RefusedTcpConnectFailsAtOnce) {
    int freePort;
    {
        SimProcess sim(simArgs());
        freePort = sim.port();
    }  // the simulator is gone: nothing listens there now
    setEntry(0, "127.0.0.1:" + std::to_string(freePort));
    const auto start = Clock::now();
    EXPECT_EQ(vc->ConnectAndReport(vc->NetCtrl[0], 0), -4);
    EXPECT_LT(SecondsSince(start), 2.0);
    ASSERT_EQ(ui.boxes().size(), 1u);
    EXPECT_EQ(ui.boxes()[0].text, "Failure conncecting to DVR");
}

TEST_F(Connect, DvrThatDoesNotAnswerTheConnectFailsAfterTenSeconds) {
    FullBacklogListener silent("127.0.0.1");
    setEntry(0, "127.0.0.1:" + std::to_string(silent.port()));
    const auto start = Clock::now();
    EXPECT_EQ(vc->ConnectAndReport(vc->NetCtrl[0], 0), -4);
    const double took = SecondsSince(start);
    EXPECT_GE(took, 9.9);
    EXPECT_LT(took, 12.0);
    ASSERT_EQ(ui.boxes().size(), 1u);
    EXPECT_EQ(ui.boxes()[0].text, "Failure conncecting to DVR");
    EXPECT_EQ(ui.titleOf(0), "Gate");
    EXPECT_EQ(vc->NetCtrl[0].socket.load(), 0);
}

TEST_F(Connect, LoginReplyThatNeverComesEndsTheAttemptDisconnected) {
    SimProcess sim(simArgs({"--silent"}));
    setEntry(0, at(sim));
    NetCtrl_Struct& b = vc->NetCtrl[0];
    const auto start = Clock::now();
    EXPECT_EQ(vc->NetConnect(b, 0), 1);
    const double took = SecondsSince(start);
    EXPECT_GE(took, 10.0);  // 0.5 s pause + 10 s for the reply
    EXPECT_LT(took, 13.0);
    EXPECT_TRUE(ui.boxes().empty());  // a transport failure shows nothing
    EXPECT_EQ(b.CurNetStatus.load(), NET_DISCONNECTED);
    EXPECT_EQ(b.NetWorking.load(), 0);
    EXPECT_EQ(b.socket.load(), 0);
    EXPECT_EQ(vc->SetParameter(b, 0), -1);  // nothing is sent to a socket that never logged in
    // The simulator saw its connection closed by the client.
    auto lines = WaitForLines(tmp.file("dvr.log"),
                              [](const auto& l) { return !LinesStartingWith(l, "CLOSE").empty(); });
    EXPECT_EQ(LinesStartingWith(lines, "CLOSE").size(), 1u);
}

TEST_F(Connect, PeerClosingDuringLoginLeavesTheBlockDisconnected) {
    SimProcess sim(simArgs({"--close-on-login"}));
    setEntry(0, at(sim));
    NetCtrl_Struct& b = vc->NetCtrl[0];
    EXPECT_EQ(vc->NetConnect(b, 0), 1);
    EXPECT_TRUE(ui.boxes().empty());
    EXPECT_EQ(b.CurNetStatus.load(), NET_DISCONNECTED);
    EXPECT_EQ(b.socket.load(), 0);
    // A later attempt works once the DVR behaves.
    SimProcess good(simArgs());
    setEntry(0, at(good));
    EXPECT_EQ(vc->NetConnect(b, 0), 1);
    EXPECT_EQ(b.NetWorking.load(), 1);
}

TEST_F(Connect, ReconnectOfALoggedInBlockStopsTheStreamThenSetsItUpAgain) {
    SimProcess sim(simArgs());
    setEntry(0, at(sim));
    NetCtrl_Struct& b = vc->NetCtrl[0];
    ASSERT_EQ(vc->NetConnect(b, 0), 1);
    ASSERT_EQ(b.CurNetStatus.load(), NET_DATA_SEND);

    const auto start = Clock::now();
    EXPECT_EQ(vc->NetConnect(b, 0), -1);
    EXPECT_GE(SecondsSince(start), 1.0);  // the pause after NET_STOP_PLAY_FILE
    EXPECT_EQ(b.NetWorking.load(), 1);
    EXPECT_EQ(b.CurNetStatus.load(), NET_DATA_SEND);
    auto lines = waitForCommands(6);
    EXPECT_EQ(CommandCodes(lines),
              (std::vector<int>{NET_LOGIN, NET_SET_STREAM, NET_LIVE_VIEW, NET_STOP_PLAY_FILE,
                                NET_SET_STREAM, NET_LIVE_VIEW}));
    EXPECT_EQ(LinesStartingWith(lines, "LOGIN ").size(), 1u);
    EXPECT_TRUE(ui.boxes().empty());
    EXPECT_EQ(ui.titles().size(), 2u);  // no "connecting" for the second call
}

TEST_F(Connect, ReconnectWithoutARunningStreamSendsNoStop) {
    SimProcess sim(simArgs());
    setEntry(0, at(sim));
    NetCtrl_Struct& b = vc->NetCtrl[0];
    ASSERT_EQ(vc->NetConnect(b, 0), 1);
    vc->StopNetLocalView(b);  // NET_CONNECTED: no stream
    const auto start = Clock::now();
    EXPECT_EQ(vc->NetConnect(b, 0), -1);
    EXPECT_LT(SecondsSince(start), 0.9);
    EXPECT_EQ(CommandCodes(waitForCommands(6)),
              (std::vector<int>{NET_LOGIN, NET_SET_STREAM, NET_LIVE_VIEW, NET_STOP_LIVE_VIEW,
                                NET_SET_STREAM, NET_LIVE_VIEW}));
}

TEST_F(Connect, BlockWithAnUnreportedErrorDoesNothing) {
    SimProcess sim(simArgs());
    setEntry(0, at(sim));
    vc->NetCtrl[0].CurNetStatus.store(NET_ERROR);
    EXPECT_EQ(vc->ConnectAndReport(vc->NetCtrl[0], 0), -1);
    EXPECT_TRUE(ui.boxes().empty());
    EXPECT_TRUE(ui.titles().empty());
    std::this_thread::sleep_for(200ms);
    EXPECT_TRUE(log().empty());
}

TEST_F(Connect, ConnectThreadEntryRunsTheAttemptWithItsOwnStartValues) {
    SimProcess sim(simArgs());
    setEntry(0, at(sim));
    setEntry(1, "127.0.0.1");
    std::thread first(oneNetThread2, ThreadStart{0, vc.get(), &vc->NetCtrl[0]});
    std::thread second(oneNetThread2, ThreadStart{1, vc.get(), &vc->NetCtrl[1]});
    first.join();
    second.join();
    EXPECT_EQ(vc->NetCtrl[0].NetWorking.load(), 1);
    EXPECT_EQ(vc->NetCtrl[1].NetWorking.load(), 0);
    auto boxes = ui.boxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].heading, "127.0.0.1");  // only DVR 1's empty box
    EXPECT_EQ(boxes[0].text, "");
}

}  // namespace
