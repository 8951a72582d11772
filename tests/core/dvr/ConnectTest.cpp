// Connecting and logging in to a simulated DVR over loopback, and the slot's connection state.
#include <arpa/inet.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/socket.h>
#include <unistd.h>

#include <fstream>
#include <thread>

#include "core/dvr/DvrSlot.h"
#include "tests/support/ClientFixture.h"
#include "tests/support/FullBacklogListener.h"
#include "tests/support/ScriptedDvr.h"
#include "tests/support/Wait.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using status::Connect;
using status::Login;

class Connecting : public ClientTest {
  protected:
    std::vector<std::string> SimArgs(std::vector<std::string> extra = {}) {
        std::vector<std::string> args{"--listen",          "127.0.0.1:0",    "--log",
                                      tmp.File("dvr.log"), "--account",      "admin:1234:2:116",
                                      "--account",         "guest:guest:1:8"};
        args.insert(args.end(), extra.begin(), extra.end());
        return args;
    }
    std::vector<std::string> Log() { return ReadLines(tmp.File("dvr.log")); }
    std::vector<std::string> WaitForCommands(std::size_t n) {
        return WaitForLines(tmp.File("dvr.log"),
                            [n](const auto& lines) { return Commands(lines).size() >= n; });
    }
    // DVR 0 logged in to a simulator of its own, its live stream set up.
    void LogIn() {
        dvr = std::make_unique<SimProcess>(SimArgs());
        SetEntry(0, At(*dvr));
        ASSERT_EQ(vc->NetConnect(b, 0), Connect::Done);
    }
    // A failure that only a send can find: the DVR is gone, and the next send on its
    // connection fails at once.
    void LoseTheDvrSilently() {
        dvr->Kill();
        std::this_thread::sleep_for(100ms);
        const NET_COMMAND probe = MakeCommand(NET_KEY_FRAME);
        if (std::shared_ptr<TcpSocket> s = b.connection()) {
            s->SendAll(&probe, sizeof probe, 1s);  // draws the reset of the closed peer
        }
        std::this_thread::sleep_for(100ms);
    }
    // The status timer reports the loss: one "Net error" box, and the block is disconnected.
    void ExpectOneNetError() {
        vc->animationTimer();
        vc->animationTimer();
        ASSERT_EQ(ui.boxes().size(), 1u);
        EXPECT_EQ(ui.boxes()[0].text, "Net error");
        EXPECT_EQ(b.CurNetStatus.load(), NET_DISCONNECTED);
    }

    NetCtrl_Struct& b = Block(0);
    std::unique_ptr<SimProcess> dvr;
};

TEST_F(Connecting, SuperuserLogsInDirectlyAndTheLiveStreamStartsWithTheSavedMask) {
    SimProcess sim(SimArgs());
    SetEntry(0, At(sim), "admin", "1234", "Gate", 0x80000005u);  // channels 1, 3 and 32
    EXPECT_EQ(vc->NodeIconFor(0), NodeIcon::Disconnected);

    EXPECT_EQ(vc->NetConnect(b, 0), Connect::Done);
    EXPECT_EQ(b.NetWorking.load(), 1);
    EXPECT_EQ(b.CurNetStatus.load(), NET_DATA_SEND);
    EXPECT_EQ(b.iUsermode.load(), 2);
    EXPECT_EQ(b.iDvrChannel.load() % 100, 16);
    EXPECT_GT(b.socket.load(), 0);
    EXPECT_EQ(vc->NodeIconFor(0), NodeIcon::SuperUser);
    EXPECT_TRUE(ui.boxes().empty());
    // The node reads "connecting" during the attempt, then the display name again.
    auto titles = ui.titles();
    ASSERT_EQ(titles.size(), 2u);
    EXPECT_EQ(titles[0].title, "connecting");
    EXPECT_EQ(titles[1].title, "Gate");
    EXPECT_GE(ui.reloads(), 1);

    auto lines = WaitForCommands(3);
    auto cmds = Commands(lines);
    ASSERT_EQ(cmds.size(), 3u);
    // Login: NET_LOGIN with the record's length, then the 20-byte user and password record.
    EXPECT_EQ(cmds[0].Words(), (std::vector<int>{18, 20, 0, 0, 0}));
    EXPECT_EQ(
        LinesStartingWith(lines, "LOGIN "),
        std::vector<std::string>{"LOGIN admin 1234 61646d696e000000000031323334000000000000"});
    // Stream set-up for a new entry: high quality at 25 fps, no sound; then the live view.
    EXPECT_EQ(cmds[1].Words(), (std::vector<int>{15, 1000, 25, 0, 0}));
    EXPECT_EQ(cmds[2].Words(), (std::vector<int>{11, 0, 0, int(0x80000005u), 0}));

    // An ordinary user logs in with its own mode and channel count; its entry's stream settings
    // (normal quality at 6 fps, with sound) go into the set-up.
    SAVE_INFO_STRUCT guest = NewSaveInfo(At(sim), "guest", "guest", "Gate");
    guest.frame_rate = 2;
    guest.qulity = 1;
    guest.send_sound = 1;
    vc->list().Store(1, guest);
    EXPECT_EQ(vc->NetConnect(Block(1), 1), Connect::Done);
    EXPECT_EQ(Block(1).iUsermode.load(), 1);
    EXPECT_EQ(Block(1).iDvrChannel.load(), 8);
    EXPECT_EQ(vc->NodeIconFor(1), NodeIcon::User);
    cmds = Commands(WaitForCommands(6));
    ASSERT_EQ(cmds.size(), 6u);
    EXPECT_EQ(cmds[4].Words(), (std::vector<int>{NET_SET_STREAM, 120, 6, 1, 0}));
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
        SimProcess sim(SimArgs(c.simExtra));
        controller.list().Store(0, NewSaveInfo(At(sim), c.user, c.pass, "Gate"));
        controller.list().Store(1, NewSaveInfo(At(sim), c.user, c.pass, "Gate"));
        NetCtrl_Struct& refused = controller.GetNetCtrlStruct(0);
        EXPECT_EQ(controller.NetConnect(refused, 0), Connect::Done);
        auto boxes = caseUi.boxes();
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_EQ(boxes[0].heading, At(sim));
        EXPECT_EQ(boxes[0].text, c.message);
        EXPECT_EQ(ConnectionOf(refused), kNoConnection);
        EXPECT_EQ(caseUi.TitleOf(0), "Gate");

        // The login step alone gives the refusal's code and shows nothing itself.
        auto s = TcpSocket::Create();
        ASSERT_TRUE(s);
        ASSERT_EQ(s->ConnectWithin(*ResolveIPv4("127.0.0.1", sim.port()), 2s), 0);
        NetCtrl_Struct& other = controller.GetNetCtrlStruct(1);
        ASSERT_TRUE(other.BeginLogin(std::move(s)));
        EXPECT_EQ(controller.SetParameter(other, 1), c.result);
        EXPECT_EQ(caseUi.boxes().size(), 1u);
    }
}

TEST_F(Connecting, ServerTextsThatNameNoReachableDvrFailWithTheirBox) {
    int freePort;
    {
        SimProcess gone(SimArgs());
        freePort = gone.port();
    }  // the simulator is gone: nothing listens there now
    struct Case {
        std::string server;
        Connect result;
        std::string text;
    };
    std::vector<Case> cases = {{"127.0.0.1", Connect::NoColonInServer, ""}};
    for (const std::string& server : std::vector<std::string>{
             "no-such-dvr.invalid:5000", "127.0.0.1:" + std::to_string(freePort), "127.0.0.1:99999",
             "127.0.0.1:-1", "127.0.0.1:abcd", "127.0.0.1:", "127.0.0.1:0", "127.0.0.1:+80",
             "127.0.0.1:12 3"}) {
        cases.push_back({server, Connect::DvrUnreachable, "Failure conncecting to DVR"});
    }
    for (const Case& c : cases) {
        SCOPED_TRACE("server text '" + c.server + "'");
        const auto start = Clock::now();
        EXPECT_EQ(AttemptWithOneBox(c.server, c.text), c.result);
        EXPECT_LT(SecondsSince(start), 2.0);
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
        std::ofstream(dir.File("resolv.conf"))
            << "nameserver " << address << "\noptions timeout:30 attempts:3\n";
        // A mount namespace of this test process's own: the host's resolv.conf stays as it is.
        private_ = ::unshare(CLONE_NEWNS) == 0 &&
                   ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0 &&
                   ::mount(dir.File("resolv.conf").c_str(), "/etc/resolv.conf", nullptr, MS_BIND,
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
    SetEntry(0, "dvr.quillmarsh.test:5000");
    auto start = Clock::now();
    EXPECT_EQ(vc->ConnectAndReport(b, 0), Connect::DvrUnreachable);
    EXPECT_GE(SecondsSince(start), 1.9);
    EXPECT_LT(SecondsSince(start), 3.5);
    EXPECT_EQ(ui.TitleOf(0), "Gate");

    vc->limits.dvrConnect = 10s;
    ui.Select(0);
    vc->ConnectDVR();
    EXPECT_TRUE(WaitFor([&] { return ui.TitleOf(0) == "connecting"; }));
    std::this_thread::sleep_for(300ms);
    start = Clock::now();
    vc.reset();  // quitting does not wait for the resolver
    EXPECT_LT(SecondsSince(start), 1.0);
}

TEST_F(Connecting, DvrThatDoesNotAnswerTheConnectFailsAfterTenSecondsAndNeverHoldsTheEndOfTheRun) {
    FullBacklogListener silent("127.0.0.1");
    const std::string server = "127.0.0.1:" + std::to_string(silent.port());
    auto start = Clock::now();
    EXPECT_EQ(AttemptWithOneBox(server, "Failure conncecting to DVR"), Connect::DvrUnreachable);
    EXPECT_GE(SecondsSince(start), 9.9);
    EXPECT_LT(SecondsSince(start), 12.0);
    SetEntry(0, server);

    // The operator's command: nothing for no DVR or a row the list lacks, one attempt at a time.
    for (int row : {-1, 1}) {
        ui.Select(row);
        vc->ConnectDVR();
    }
    EXPECT_FALSE(vc->AttemptRunning(1));
    EXPECT_EQ(Block(1).init.load(), 0);
    EXPECT_TRUE(ui.boxes().empty());
    ui.Select(0);
    vc->ConnectDVR();
    EXPECT_TRUE(WaitFor([&] { return ui.TitleOf(0) == "connecting"; }));
    EXPECT_TRUE(vc->AttemptRunning(0));
    vc->ConnectDVR();  // ignored while the first runs
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(ui.titles().size(), 1u);
    start = Clock::now();
    vc.reset();  // the attempt waits up to 10 s for the DVR; quitting must not
    EXPECT_LT(SecondsSince(start), 1.5);
}

TEST_F(Connecting, ADvrRenamedWhileItConnectsKeepsItsNewName) {
    FullBacklogListener silent("127.0.0.1");
    const std::string server = "127.0.0.1:" + std::to_string(silent.port());
    SetEntry(0, server);
    vc->limits.dvrConnect = 1s;
    ui.Select(0);
    vc->ConnectDVR();
    ASSERT_TRUE(WaitFor([&] { return ui.TitleOf(0) == "connecting"; }));
    vc->SavePropertyEntry(0, NewSaveInfo(server, "admin", "1234", "Yard"));
    ASSERT_TRUE(WaitFor([&] { return !vc->AttemptRunning(0); }, 5s));
    EXPECT_EQ(ui.TitleOf(0), "Yard");
}

TEST_F(Connecting, ALoginWithoutAReplyEndsDisconnectedWithoutABoxAndALaterAttemptWorks) {
    struct Case {
        const char* misbehaviour;
        double least, most;  // seconds: the 0.5 s pause, and 10 s for a reply that never comes
    };
    std::size_t attempts = 0;
    for (const Case& c : {Case{"--close-on-login", 0.4, 3.0}, Case{"--silent", 10.0, 13.0}}) {
        SCOPED_TRACE(c.misbehaviour);
        SimProcess peer(SimArgs({c.misbehaviour}));
        SetEntry(0, At(peer));
        const auto start = Clock::now();
        EXPECT_EQ(vc->NetConnect(b, 0), Connect::Done);
        EXPECT_GE(SecondsSince(start), c.least);
        EXPECT_LT(SecondsSince(start), c.most);
        EXPECT_TRUE(ui.boxes().empty());  // a transport failure shows nothing
        EXPECT_EQ(ConnectionOf(b), kNoConnection);
        EXPECT_EQ(vc->SetParameter(b, 0), Login::Failed);  // nothing goes to a closed socket
        // One connection, and the client closed it.
        ++attempts;
        auto lines = WaitForLines(tmp.File("dvr.log"), [&](const auto& l) {
            return LinesStartingWith(l, "CLOSE").size() >= attempts;
        });
        EXPECT_EQ(LinesStartingWith(lines, "CLOSE").size(), attempts);
        EXPECT_EQ(LinesStartingWith(lines, "LOGIN ").size(), attempts);
    }
    LogIn();
    EXPECT_EQ(b.NetWorking.load(), 1);
}

TEST_F(Connecting, ReconnectOfALoggedInBlockStopsWhatRunsThenSetsTheStreamUpAgain) {
    LogIn();
    ASSERT_EQ(b.CurNetStatus.load(), NET_DATA_SEND);

    auto start = Clock::now();
    EXPECT_EQ(vc->NetConnect(b, 0), Connect::Failed);
    EXPECT_GE(SecondsSince(start), 1.0);  // the pause after NET_STOP_PLAY_FILE
    EXPECT_EQ(b.NetWorking.load(), 1);
    EXPECT_EQ(b.CurNetStatus.load(), NET_DATA_SEND);
    // Without a running stream nothing is stopped and there is no pause.
    vc->StopNetLocalView(b);
    EXPECT_EQ(b.CurNetStatus.load(), NET_CONNECTED);
    start = Clock::now();
    EXPECT_EQ(vc->NetConnect(b, 0), Connect::Failed);
    EXPECT_LT(SecondsSince(start), 0.9);
    EXPECT_EQ(b.CurNetStatus.load(), NET_DATA_SEND);
    auto lines = WaitForCommands(9);
    EXPECT_EQ(CommandCodes(lines),
              (std::vector<int>{NET_LOGIN, NET_SET_STREAM, NET_LIVE_VIEW, NET_STOP_PLAY_FILE,
                                NET_SET_STREAM, NET_LIVE_VIEW, NET_STOP_LIVE_VIEW, NET_SET_STREAM,
                                NET_LIVE_VIEW}));
    EXPECT_EQ(LinesStartingWith(lines, "LOGIN ").size(), 1u);
    EXPECT_TRUE(ui.boxes().empty());
    EXPECT_EQ(ui.titles().size(), 2u);  // no "connecting" for the later calls
}

TEST_F(Connecting, AttemptsOfTwoDvrsRunOnTheirOwnThreadsWithTheirOwnEntries) {
    SimProcess sim(SimArgs());
    SetEntry(0, At(sim));
    SetEntry(1, "127.0.0.1");
    vc->Slot(0).StartConnectAttempt();
    vc->Slot(1).StartConnectAttempt();
    EXPECT_TRUE(vc->AttemptRunning(0));
    ASSERT_TRUE(WaitFor([&] { return !vc->AttemptRunning(0) && !vc->AttemptRunning(1); }));
    EXPECT_EQ(b.NetWorking.load(), 1);
    EXPECT_EQ(Block(1).NetWorking.load(), 0);
    auto boxes = ui.boxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].heading, "127.0.0.1");  // only DVR 1's empty box
    EXPECT_EQ(boxes[0].text, "");
}

// ---- The slot's state: every failure is reported, nothing goes out before the login ----------

TEST_F(Connecting, AnUnreportedLossRefusesANewAttemptUntilTheTimerReportsIt) {
    LogIn();
    vc->CloseSocket(b);
    ASSERT_EQ(b.CurNetStatus.load(), NET_ERROR);
    EXPECT_EQ(vc->NodeIconFor(0), NodeIcon::Disconnected);
    const std::size_t before = Commands(WaitForCommands(3)).size();
    EXPECT_EQ(vc->ConnectAndReport(b, 0), Connect::Failed);
    EXPECT_TRUE(ui.boxes().empty());
    EXPECT_EQ(ui.titles().size(), 2u);
    // A lost session is not shown as working again, and nothing is sent on it.
    EXPECT_FALSE(b.SetLiveStatus(NET_DATA_SEND));
    vc->NetLocalViewPlay(b, 1, 0);
    EXPECT_EQ(b.CurNetStatus.load(), NET_ERROR);
    ExpectOneNetError();
    std::this_thread::sleep_for(200ms);
    EXPECT_EQ(Commands(Log()).size(), before);
}

TEST_F(Connecting, ALiveViewAdjustmentThatFindsTheDvrGoneReportsTheLoss) {
    LogIn();
    LoseTheDvrSilently();
    vc->ActiveNetServerAdjust(0);  // its stop fails; the play that follows must not hide that
    EXPECT_EQ(b.CurNetStatus.load(), NET_ERROR);
    ExpectOneNetError();
}

TEST_F(Connecting, AFailedSetUpOfALoggedInBlockReportsTheLoss) {
    LogIn();
    LoseTheDvrSilently();
    EXPECT_EQ(vc->NetConnect(b, 0), Connect::Failed);  // logged in: the stream is set up anew
    EXPECT_EQ(b.CurNetStatus.load(), NET_ERROR);
    ExpectOneNetError();
}

TEST_F(Connecting, NothingButTheLoginGoesOutBeforeTheLoginReply) {
    SimProcess sim(SimArgs());
    SetEntry(0, At(sim));
    vc->limits.loginPause = 400ms;
    std::thread attempt([&] { EXPECT_EQ(vc->NetConnect(b, 0), Connect::Done); });
    ASSERT_TRUE(WaitFor([&] { return b.socket.load() != 0; }, 5s));
    // What the view and the PTZ panel would send while the login is under way.
    EXPECT_EQ(b.CurNetStatus.load(), NET_DISCONNECTED);
    vc->ActiveNetServerAdjust(0);
    vc->NetSendPtzValue(1009, 0, 1017, 0);
    vc->CreateNetKeyFrame(b);
    attempt.join();
    EXPECT_EQ(CommandCodes(WaitForCommands(3)),
              (std::vector<int>{NET_LOGIN, NET_SET_STREAM, NET_LIVE_VIEW}));
    std::this_thread::sleep_for(200ms);
    EXPECT_EQ(Commands(Log()).size(), 3u);
    EXPECT_EQ(b.CurNetStatus.load(), NET_DATA_SEND);
}

// ---- Attempts overtaken during their login: each works on its own connection only ----------

class Overtaking : public ClientTest {
  protected:
    Overtaking() {
        vc->limits.loginPause = 600ms;
        vc->limits.loginReply = 2s;
        vc->limits.streamSilence = 60s;  // no key-frame request on the quiet test connections
        SetEntry(0, "127.0.0.1:" + std::to_string(dvr.port()));
        EXPECT_EQ(vc->PrepareDvr(0), 1);  // its receive thread reads once a session is up
    }

    ScriptedDvr dvr;
    NetCtrl_Struct& b = Block(0);
    DvrSlot& slot = vc->Slot(0);
};

TEST_F(Overtaking, ANewAttemptDuringTheLoginPauseGetsItsOwnReplyAndTheOldOneSendsNothingMore) {
    slot.StartConnectAttempt();
    ScriptedDvr::Connection first = dvr.AcceptLogin();
    ASSERT_TRUE(first.valid());
    // The operator connects again while the first attempt waits out its pause.
    slot.CancelAttempts();
    slot.StartConnectAttempt();
    ScriptedDvr::Connection second = dvr.AcceptLogin();
    ASSERT_TRUE(second.valid());
    ASSERT_TRUE(second.AcceptLogin(kSuperUserMode, 16));  // before the first attempt's pause ends

    ASSERT_TRUE(WaitFor([&] { return !slot.AttemptRunning(); }, 8s));
    EXPECT_EQ(b.CurNetStatus.load(), NET_DATA_SEND);
    EXPECT_EQ(b.NetWorking.load(), 1);
    EXPECT_EQ(ClientPort(0), second.ClientPort());
    EXPECT_EQ(slot.LastLogin(), Login::Ok);
    EXPECT_TRUE(ui.boxes().empty());
    // The first connection got its login and nothing else, and the client closed it.
    EXPECT_TRUE(first.ClosedWithNothingMore(3s));

    vc->StopDvrThreads();  // the overtaken attempt has ended too
    bool closed = false;
    const std::vector<NET_COMMAND> after = second.CommandsUntilClosed(3s, closed);
    EXPECT_TRUE(closed);
    // One stream set-up and one live view, both the second attempt's: no second login reader.
    ASSERT_EQ(after.size(), 2u);
    EXPECT_EQ((std::vector<int>{after[0].iCmd, after[1].iCmd}),
              (std::vector<int>{NET_SET_STREAM, NET_LIVE_VIEW}));
}

TEST_F(Overtaking, ACancelDuringTheLoginPauseLeavesTheSlotDisconnectedWhateverTheReply) {
    const Login before = slot.LastLogin();
    slot.StartConnectAttempt();
    ScriptedDvr::Connection first = dvr.AcceptLogin();
    ASSERT_TRUE(first.valid());
    slot.CancelAttempts();  // a property save: the attempt is void
    EXPECT_FALSE(slot.AttemptRunning());
    ASSERT_TRUE(first.AcceptLogin(kSuperUserMode, 16));

    // The attempt closes its connection without setting a stream up on it.
    EXPECT_TRUE(first.ClosedWithNothingMore(5s));
    EXPECT_EQ(ConnectionOf(b), kNoConnection);
    EXPECT_EQ(slot.LastLogin(), before);
    EXPECT_TRUE(ui.boxes().empty());

    // The next attempt is the slot's.
    slot.StartConnectAttempt();
    ScriptedDvr::Connection second = dvr.AcceptLogin();
    ASSERT_TRUE(second.valid());
    ASSERT_TRUE(second.AcceptLogin(1, 4));
    ASSERT_TRUE(WaitFor([&] { return !slot.AttemptRunning(); }, 5s));
    EXPECT_EQ(b.NetWorking.load(), 1);
    EXPECT_EQ(b.iDvrChannel.load(), 4);
    EXPECT_EQ(ClientPort(0), second.ClientPort());
}

}  // namespace
