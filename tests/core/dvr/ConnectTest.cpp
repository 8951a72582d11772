// Connecting and logging in to a simulated DVR over loopback, and the slot's connection state.
#include <arpa/inet.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <thread>

#include "core/dvr/DvrSlot.h"
#include "tests/support/ClientFixture.h"
#include "tests/support/FullBacklogListener.h"
#include "tests/support/Wait.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using status::Connect;
using status::Login;

double SecondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

class Connecting : public ClientTest {
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
    // A failure that only a send can find: the DVR is gone, and the next send on its
    // connection fails at once.
    void loseTheDvrSilently(SimProcess& sim, NetCtrl_Struct& b) {
        sim.kill();
        std::this_thread::sleep_for(100ms);
        const NET_COMMAND probe = MakeCommand(NET_KEY_FRAME);
        if (std::shared_ptr<TcpSocket> s = b.connection()) {
            s->sendAll(&probe, sizeof probe, 1s);  // draws the reset of the closed peer
        }
        std::this_thread::sleep_for(100ms);
    }
};

TEST_F(Connecting, SuperuserLogsInDirectlyAndTheLiveStreamStartsWithTheSavedMask) {
    SimProcess sim(simArgs());
    setEntry(0, at(sim), "admin", "1234", "Gate", 0x80000005u);  // channels 1, 3 and 32
    NetCtrl_Struct& b = block(0);

    EXPECT_EQ(vc->NetConnect(b, 0), Connect::Done);
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
    EXPECT_EQ(
        LinesStartingWith(lines, "LOGIN "),
        std::vector<std::string>{"LOGIN admin 1234 61646d696e000000000031323334000000000000"});
    // Stream set-up for a new entry: high quality at 25 fps, no sound.
    EXPECT_EQ(cmds[1].hex,
              "0f000000"
              "e8030000"
              "19000000"
              "00000000"
              "00000000");
    EXPECT_EQ(cmds[2].hex,
              "0b000000"
              "00000000"
              "00000000"
              "05000080"
              "00000000");

    // An ordinary user logs in with its own mode and channel count.
    setEntry(1, at(sim), "guest", "guest");
    EXPECT_EQ(vc->NetConnect(block(1), 1), Connect::Done);
    EXPECT_EQ(block(1).iUsermode.load(), 1);
    EXPECT_EQ(block(1).iDvrChannel.load(), 8);
}

TEST_F(Connecting, StreamSetUpCarriesTheBitRateAndFrameRateOfEveryIndex) {
    SimProcess sim(simArgs({"--max-users", "50"}));
    const int32_t fps[] = {1, 3, 6, 10, 20, 25, 16};
    int slot = 0;
    for (int q = 0; q < 3; ++q) {
        for (int f = 0; f < 7; ++f, ++slot) {
            SAVE_INFO_STRUCT entry = NewSaveInfo(at(sim), "guest", "guest", "Gate");
            entry.frame_rate = f == 6 ? 9 : f;  // 9: any other index
            entry.qulity = q;
            entry.send_sound = q;  // carried as given
            vc->list().Store(slot, entry);
            ASSERT_EQ(vc->NetConnect(block(slot), slot), Connect::Done);
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

TEST_F(Connecting, RefusedLoginsShowTheirMessageAndLeaveTheBlockDisconnected) {
    struct Refusal {
        std::vector<std::string> simExtra;
        std::string user, pass, message;
        Login result;
    };
    const Refusal cases[] = {
        // The simulator's too-many reply also says BAD_USER_PASS: iCmd 10 must win.
        {{"--max-users", "0"}, "admin", "1234", "Too many users!", Login::TooManyUsers},
        {{"--super-online"}, "admin", "1234", "Super username is online!", Login::SuperUserOnline},
        {{}, "admin", "wrong", "Bad user or password!", Login::BadUserOrPassword},
        {{}, "nobody", "1234", "Bad user or password!", Login::BadUserOrPassword},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.message + " " + c.user);
        RecordingUi caseUi;
        ViewController controller(caseUi);
        SimProcess sim(simArgs(c.simExtra));
        controller.list().Store(0, NewSaveInfo(at(sim), c.user, c.pass, "Gate"));
        controller.list().Store(1, NewSaveInfo(at(sim), c.user, c.pass, "Gate"));
        NetCtrl_Struct& b = controller.GetNetCtrlStruct(0);
        EXPECT_EQ(controller.NetConnect(b, 0), Connect::Done);
        auto boxes = caseUi.boxes();
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_EQ(boxes[0].heading, at(sim));
        EXPECT_EQ(boxes[0].text, c.message);
        EXPECT_EQ(b.CurNetStatus.load(), NET_DISCONNECTED);
        EXPECT_EQ(b.NetWorking.load(), 0);
        EXPECT_EQ(b.socket.load(), 0);
        EXPECT_EQ(caseUi.titleOf(0), "Gate");

        // The login step alone gives the refusal's code and shows nothing itself.
        auto s = TcpSocket::Create();
        ASSERT_TRUE(s);
        ASSERT_EQ(s->connectWithin(*ResolveIPv4("127.0.0.1", sim.port()), 2s), 0);
        NetCtrl_Struct& other = controller.GetNetCtrlStruct(1);
        ASSERT_TRUE(other.BeginLogin(std::move(s)));
        EXPECT_EQ(controller.SetParameter(other, 1), c.result);
        EXPECT_EQ(caseUi.boxes().size(), 1u);
    }
}

TEST_F(Connecting, ServerTextsThatNameNoReachableDvrFailWithTheirBox) {
    int freePort;
    {
        SimProcess sim(simArgs());
        freePort = sim.port();
    }  // the simulator is gone: nothing listens there now
    struct Case {
        std::string server;
        Connect result;
        std::string text;
    };
    std::vector<Case> cases = {
        {"127.0.0.1", Connect::NoColonInServer, ""},
        {"no-such-dvr.invalid:5000", Connect::DvrUnreachable, "Failure conncecting to DVR"},
        {"127.0.0.1:" + std::to_string(freePort), Connect::DvrUnreachable,
         "Failure conncecting to DVR"},
    };
    for (const std::string port : {"99999", "-1", "abcd", "", "0", "+80", "12 3"}) {
        cases.push_back(
            {"127.0.0.1:" + port, Connect::DvrUnreachable, "Failure conncecting to DVR"});
    }
    for (const Case& c : cases) {
        SCOPED_TRACE("server text '" + c.server + "'");
        RecordingUi caseUi;
        ViewController controller(caseUi);
        controller.list().Store(0, NewSaveInfo(c.server, "admin", "1234", "Gate"));
        const auto start = Clock::now();
        EXPECT_EQ(controller.ConnectAndReport(controller.GetNetCtrlStruct(0), 0), c.result);
        EXPECT_LT(SecondsSince(start), 2.0);
        auto boxes = caseUi.boxes();
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_EQ(boxes[0].heading, c.server);
        EXPECT_EQ(boxes[0].text, c.text);
        EXPECT_EQ(caseUi.titleOf(0), "Gate");  // not left at "connecting"
        EXPECT_EQ(controller.GetNetCtrlStruct(0).CurNetStatus.load(), NET_DISCONNECTED);
        EXPECT_EQ(controller.GetNetCtrlStruct(0).socket.load(), 0);
    }
}

// A name server that takes every question and answers none, made this process's only one.
class SilentNameServer {
  public:
    explicit SilentNameServer(const TempDir& dir) {
        const std::string address = RandomLoopbackAddress();
        fd_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        sockaddr_in at{};
        at.sin_family = AF_INET;
        at.sin_port = htons(53);
        ::inet_pton(AF_INET, address.c_str(), &at.sin_addr);
        bound_ = fd_ >= 0 && ::bind(fd_, reinterpret_cast<sockaddr*>(&at), sizeof at) == 0;
        std::ofstream(dir.file("resolv.conf"))
            << "nameserver " << address << "\noptions timeout:30 attempts:3\n";
        // A mount namespace of this test process's own: the host's resolv.conf stays as it is.
        private_ = ::unshare(CLONE_NEWNS) == 0 &&
                   ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0 &&
                   ::mount(dir.file("resolv.conf").c_str(), "/etc/resolv.conf", nullptr, MS_BIND,
                           nullptr) == 0;
    }
    ~SilentNameServer() { ::close(fd_); }
    bool ready() const { return bound_ && private_; }

  private:
    int fd_ = -1;
    bool bound_ = false;
    bool private_ = false;
};

TEST_F(Connecting, AResolverThatNeverAnswersHoldsAnAttemptOnlyItsLimitAndNeverTheEndOfTheRun) {
    SilentNameServer silent(tmp);
    ASSERT_TRUE(silent.ready())
        << "needs root: a name server on port 53 and a resolv.conf of its own";
    vc->limits.dvrConnect = 2s;
    setEntry(0, "dvr.quillmarsh.test:5000");
    auto start = Clock::now();
    EXPECT_EQ(vc->ConnectAndReport(block(0), 0), Connect::DvrUnreachable);
    EXPECT_GE(SecondsSince(start), 1.9);
    EXPECT_LT(SecondsSince(start), 3.5);
    EXPECT_EQ(ui.titleOf(0), "Gate");

    vc->limits.dvrConnect = 10s;
    ui.appendNode("Gate");
    ui.select(0);
    vc->ConnectDVR();
    EXPECT_TRUE(WaitFor([&] { return ui.titleOf(0) == "connecting"; }));
    std::this_thread::sleep_for(300ms);
    start = Clock::now();
    vc.reset();  // quitting does not wait for the resolver
    EXPECT_LT(SecondsSince(start), 1.0);
}

TEST_F(Connecting, DvrThatDoesNotAnswerTheConnectFailsAfterTenSeconds) {
    FullBacklogListener silent("127.0.0.1");
    setEntry(0, "127.0.0.1:" + std::to_string(silent.port()));
    const auto start = Clock::now();
    EXPECT_EQ(vc->ConnectAndReport(block(0), 0), Connect::DvrUnreachable);
    const double took = SecondsSince(start);
    EXPECT_GE(took, 9.9);
    EXPECT_LT(took, 12.0);
    ASSERT_EQ(ui.boxes().size(), 1u);
    EXPECT_EQ(ui.boxes()[0].text, "Failure conncecting to DVR");
    EXPECT_EQ(ui.titleOf(0), "Gate");
    EXPECT_EQ(block(0).socket.load(), 0);
}

TEST_F(Connecting, LoginReplyThatNeverComesEndsTheAttemptDisconnected) {
    SimProcess sim(simArgs({"--silent"}));
    setEntry(0, at(sim));
    NetCtrl_Struct& b = block(0);
    const auto start = Clock::now();
    EXPECT_EQ(vc->NetConnect(b, 0), Connect::Done);
    const double took = SecondsSince(start);
    EXPECT_GE(took, 10.0);  // 0.5 s pause + 10 s for the reply
    EXPECT_LT(took, 13.0);
    EXPECT_TRUE(ui.boxes().empty());  // a transport failure shows nothing
    EXPECT_EQ(b.CurNetStatus.load(), NET_DISCONNECTED);
    EXPECT_EQ(b.NetWorking.load(), 0);
    EXPECT_EQ(b.socket.load(), 0);
    EXPECT_EQ(vc->SetParameter(b, 0), Login::Failed);  // nothing goes to a closed socket
    auto lines = WaitForLines(tmp.file("dvr.log"),
                              [](const auto& l) { return !LinesStartingWith(l, "CLOSE").empty(); });
    EXPECT_EQ(LinesStartingWith(lines, "CLOSE").size(), 1u);
}

TEST_F(Connecting, PeerClosingDuringLoginLeavesTheBlockDisconnectedAndALaterAttemptWorks) {
    SimProcess sim(simArgs({"--close-on-login"}));
    setEntry(0, at(sim));
    NetCtrl_Struct& b = block(0);
    EXPECT_EQ(vc->NetConnect(b, 0), Connect::Done);
    EXPECT_TRUE(ui.boxes().empty());
    EXPECT_EQ(b.CurNetStatus.load(), NET_DISCONNECTED);
    EXPECT_EQ(b.socket.load(), 0);
    SimProcess good(simArgs());
    setEntry(0, at(good));
    EXPECT_EQ(vc->NetConnect(b, 0), Connect::Done);
    EXPECT_EQ(b.NetWorking.load(), 1);
}

TEST_F(Connecting, ReconnectOfALoggedInBlockStopsWhatRunsThenSetsTheStreamUpAgain) {
    SimProcess sim(simArgs());
    setEntry(0, at(sim));
    NetCtrl_Struct& b = block(0);
    ASSERT_EQ(vc->NetConnect(b, 0), Connect::Done);
    ASSERT_EQ(b.CurNetStatus.load(), NET_DATA_SEND);

    auto start = Clock::now();
    EXPECT_EQ(vc->NetConnect(b, 0), Connect::Failed);
    EXPECT_GE(SecondsSince(start), 1.0);  // the pause after NET_STOP_PLAY_FILE
    EXPECT_EQ(b.NetWorking.load(), 1);
    EXPECT_EQ(b.CurNetStatus.load(), NET_DATA_SEND);
    // Without a running stream nothing is stopped and there is no pause.
    vc->StopNetLocalView(b);
    start = Clock::now();
    EXPECT_EQ(vc->NetConnect(b, 0), Connect::Failed);
    EXPECT_LT(SecondsSince(start), 0.9);
    auto lines = waitForCommands(9);
    EXPECT_EQ(CommandCodes(lines),
              (std::vector<int>{NET_LOGIN, NET_SET_STREAM, NET_LIVE_VIEW, NET_STOP_PLAY_FILE,
                                NET_SET_STREAM, NET_LIVE_VIEW, NET_STOP_LIVE_VIEW, NET_SET_STREAM,
                                NET_LIVE_VIEW}));
    EXPECT_EQ(LinesStartingWith(lines, "LOGIN ").size(), 1u);
    EXPECT_TRUE(ui.boxes().empty());
    EXPECT_EQ(ui.titles().size(), 2u);  // no "connecting" for the later calls
}

TEST_F(Connecting, AttemptsOfTwoDvrsRunOnTheirOwnThreadsWithTheirOwnEntries) {
    SimProcess sim(simArgs());
    setEntry(0, at(sim));
    setEntry(1, "127.0.0.1");
    vc->Slot(0).StartConnectAttempt();
    vc->Slot(1).StartConnectAttempt();
    EXPECT_TRUE(vc->AttemptRunning(0));
    ASSERT_TRUE(WaitFor([&] { return !vc->AttemptRunning(0) && !vc->AttemptRunning(1); }));
    EXPECT_EQ(block(0).NetWorking.load(), 1);
    EXPECT_EQ(block(1).NetWorking.load(), 0);
    auto boxes = ui.boxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].heading, "127.0.0.1");  // only DVR 1's empty box
    EXPECT_EQ(boxes[0].text, "");
}

// ---- The slot's state: every failure is reported, nothing goes out before the login ----------

TEST_F(Connecting, AnUnreportedLossRefusesANewAttemptUntilTheTimerReportsIt) {
    SimProcess sim(simArgs());
    setEntry(0, at(sim));
    NetCtrl_Struct& b = block(0);
    ASSERT_EQ(vc->NetConnect(b, 0), Connect::Done);
    vc->CloseSocket(b);
    ASSERT_EQ(b.CurNetStatus.load(), NET_ERROR);
    const std::size_t before = Commands(waitForCommands(3)).size();
    EXPECT_EQ(vc->ConnectAndReport(b, 0), Connect::Failed);
    EXPECT_TRUE(ui.boxes().empty());
    EXPECT_EQ(ui.titles().size(), 2u);
    // A lost session is not shown as working again, and nothing is sent on it.
    EXPECT_FALSE(b.SetLiveStatus(NET_DATA_SEND));
    vc->NetLocalViewPlay(b, 1, 0);
    EXPECT_EQ(b.CurNetStatus.load(), NET_ERROR);
    vc->animationTimer();
    vc->animationTimer();
    ASSERT_EQ(ui.boxes().size(), 1u);
    EXPECT_EQ(ui.boxes()[0].text, "Net error");
    EXPECT_EQ(b.CurNetStatus.load(), NET_DISCONNECTED);
    std::this_thread::sleep_for(200ms);
    EXPECT_EQ(Commands(log()).size(), before);
}

TEST_F(Connecting, ALiveViewAdjustmentThatFindsTheDvrGoneReportsTheLoss) {
    SimProcess sim(simArgs());
    setEntry(0, at(sim));
    NetCtrl_Struct& b = block(0);
    ASSERT_EQ(vc->NetConnect(b, 0), Connect::Done);
    loseTheDvrSilently(sim, b);
    vc->ActiveNetServerAdjust(0);  // its stop fails; the play that follows must not hide that
    EXPECT_EQ(b.CurNetStatus.load(), NET_ERROR);
    vc->animationTimer();
    ASSERT_EQ(ui.boxes().size(), 1u);
    EXPECT_EQ(ui.boxes()[0].text, "Net error");
}

TEST_F(Connecting, AFailedSetUpOfALoggedInBlockReportsTheLoss) {
    SimProcess sim(simArgs());
    setEntry(0, at(sim));
    NetCtrl_Struct& b = block(0);
    ASSERT_EQ(vc->NetConnect(b, 0), Connect::Done);
    loseTheDvrSilently(sim, b);
    EXPECT_EQ(vc->NetConnect(b, 0), Connect::Failed);  // logged in: the stream is set up anew
    EXPECT_EQ(b.CurNetStatus.load(), NET_ERROR);
    vc->animationTimer();
    ASSERT_EQ(ui.boxes().size(), 1u);
    EXPECT_EQ(ui.boxes()[0].text, "Net error");
}

TEST_F(Connecting, NothingButTheLoginGoesOutBeforeTheLoginReply) {
    SimProcess sim(simArgs());
    setEntry(0, at(sim));
    vc->limits.loginPause = 400ms;
    NetCtrl_Struct& b = block(0);
    std::thread attempt([&] { EXPECT_EQ(vc->NetConnect(b, 0), Connect::Done); });
    ASSERT_TRUE(WaitFor([&] { return b.socket.load() != 0; }, 5s));
    // What the view and the PTZ panel would send while the login is under way.
    EXPECT_EQ(b.CurNetStatus.load(), NET_DISCONNECTED);
    vc->ActiveNetServerAdjust(0);
    vc->NetSendPtzValue(1009, 0, 1017, 0);
    vc->CreateNetKeyFrame(b);
    attempt.join();
    EXPECT_EQ(CommandCodes(waitForCommands(3)),
              (std::vector<int>{NET_LOGIN, NET_SET_STREAM, NET_LIVE_VIEW}));
    std::this_thread::sleep_for(200ms);
    EXPECT_EQ(Commands(log()).size(), 3u);
    EXPECT_EQ(b.CurNetStatus.load(), NET_DATA_SEND);
}

}  // namespace
