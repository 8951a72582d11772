// A live view that never lies: a silent DVR is found out and reported lost, a lost DVR comes back
// by itself, and every pane says when its picture is old, its DVR offline or disconnected.
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

#include <chrono>
#include <thread>

#include "core/dvr/DvrSlot.h"
#include "core/dvr/ReconnectDelay.h"
#include "core/net/TcpSocket.h"
#include "tests/support/ClientFixture.h"
#include "tests/support/ThreadNames.h"
#include "tests/support/Wait.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using Kind = PaneMark::Kind;

TEST(ReconnectDelay, DoublesFromTheFirstWaitUpToTheLongestWithinItsSpread) {
    std::vector<long> waits;
    for (int attempt = 0; attempt < 8; ++attempt) {
        waits.push_back(ReconnectDelay(attempt, 1s, 30s, 0.2, 0).count());
    }
    EXPECT_EQ(waits, (std::vector<long>{1000, 2000, 4000, 8000, 16000, 30000, 30000, 30000}));
    EXPECT_EQ(ReconnectDelay(3, 1s, 30s, 0.2, -1).count(), 6400);
    EXPECT_EQ(ReconnectDelay(3, 1s, 30s, 0.2, 1).count(), 9600);
    EXPECT_EQ(ReconnectDelay(1000, 1s, 30s, 0.2, 5).count(), 36000);  // spread is bounded
}

class LiveWatch : public DisplayTest {
  protected:
    std::vector<std::string> SimArgs(std::vector<std::string> extra, int port = 0) {
        std::vector<std::string> args{"--listen",  "127.0.0.1:" + std::to_string(port),
                                      "--account", "admin:1234:2:2",
                                      "--log",     log};
        args.insert(args.end(), extra.begin(), extra.end());
        return args;
    }
    // DVR 0 connected through the operator's command, shown in the single-DVR view; it streams
    // unless it is to be silent.
    void Connect(const SimProcess& sim, bool silent = false) {
        SetEntry(0, At(sim));
        Select(0);
        vc->ConnectDVR();
        if (!silent) {
            ASSERT_TRUE(WaitFor([&] { return b.NetWorking.load() == 1; }));
            ASSERT_TRUE(WaitFor([&] { return display.renders().count(1) > 0; }));
        }
    }
    // Runs the status timer as the window does, until `done` holds or `limit` passes.
    template <typename Pred>
    bool Tick(Pred done, std::chrono::milliseconds limit) {
        return WaitFor(
            [&] {
                vc->animationTimer();
                return done();
            },
            limit);
    }
    std::size_t LinesWith(const std::string& prefix) {
        return LinesStartingWith(ReadLines(log), prefix).size();
    }

    NetCtrl_Struct& b = Block(0);
    const std::string log = tmp.File("dvr.log");
};

TEST_F(LiveWatch, AKilledDvrBackOnItsPortIsConnectedAgainWithOneBoxAndItsPanesSayOffline) {
    vc->limits.reconnectFirst = 200ms;
    vc->limits.reconnectLongest = 800ms;
    auto sim = std::make_unique<SimProcess>(SimArgs({}));
    const int port = sim->port();
    Connect(*sim);
    sim->Kill();
    ASSERT_TRUE(Tick([&] { return !ui.boxes().empty(); }, 5s));
    ASSERT_TRUE(
        Tick([&] { return ui.TitleOf(0).rfind("Gate \u2014 reconnecting in ", 0) == 0; }, 2s));
    EXPECT_EQ(display.Mark(0).kind, Kind::Offline);
    // A pane of a camera the DVR does not have shows nothing of it, and says nothing of it.
    ASSERT_EQ(vc->LayoutCopy().m_screenRect[2].iOnShow, 1);
    EXPECT_EQ(display.Mark(2).kind, Kind::None);
    // Quiet attempts meet the closed port a few times, and show nothing.
    std::this_thread::sleep_for(1500ms);
    Tick([] { return false; }, 500ms);
    EXPECT_EQ(ui.boxes().size(), 1u);

    sim = std::make_unique<SimProcess>(SimArgs({}, port));
    const auto back = Clock::now();
    const uint32_t before = b.stats[0].decoded.load();
    ASSERT_TRUE(Tick([&] { return b.stats[0].decoded.load() > before + 2; }, 5s));
    EXPECT_LT(SecondsSince(back), 0.8 * 1.2 + 2.0);  // the longest wait, then 2 s
    ASSERT_TRUE(Tick([&] { return display.Mark(0).kind == Kind::None; }, 3s));
    EXPECT_EQ(ui.boxes().size(), 1u);
    EXPECT_EQ(ui.TitleOf(0), "Gate");
}

TEST_F(LiveWatch, AConnectedDvrsThreadsCarryTheirRolesAndTheDvrsPlace) {
    SimProcess sim(SimArgs({}));
    Connect(sim);
    // The command thread names itself when it starts, which nothing here waits for.
    std::multiset<std::string> named;
    EXPECT_TRUE(WaitFor([&] {
        named = ThreadNames();
        return named.count("command 0") > 0;
    }));
    for (const char* role : {"receive 0", "display 0", "command 0"}) {
        EXPECT_EQ(named.count(role), 1u) << role;
    }
}

TEST_F(LiveWatch, AnOperatorDisconnectClearsThePanesAndNothingComesBack) {
    vc->limits.reconnectFirst = 100ms;
    SimProcess sim(SimArgs({}));
    Connect(sim);
    vc->DisconnectDVR();
    ASSERT_TRUE(Tick([&] { return display.Mark(0).kind == Kind::Cleared; }, 2s));
    EXPECT_EQ(display.Mark(1).kind, Kind::Cleared);
    Tick([] { return false; }, 500ms);
    EXPECT_EQ(b.CurNetStatus.load(), NET_DISCONNECTED);
    EXPECT_EQ(LinesWith("LOGIN "), 1u);
    EXPECT_TRUE(ui.boxes().empty());
}

TEST_F(LiveWatch, AnyOperatorCommandEndsTheWaitForAReconnect) {
    vc->limits.reconnectFirst = 5s;
    auto sim = std::make_unique<SimProcess>(SimArgs({}));
    Connect(*sim);
    sim->Kill();
    ASSERT_TRUE(
        Tick([&] { return ui.TitleOf(0).rfind("Gate \u2014 reconnecting in ", 0) == 0; }, 5s));
    vc->DisconnectDVR();
    EXPECT_EQ(ui.TitleOf(0), "Gate");
    ASSERT_TRUE(Tick([&] { return display.Mark(0).kind == Kind::Cleared; }, 2s));
    // Off in the DVR's settings: a loss is reported, nothing more.
    sim = std::make_unique<SimProcess>(SimArgs({}));
    ui.setReconnect(false);
    SetEntry(0, At(*sim));
    vc->ConnectDVR();
    ASSERT_TRUE(WaitFor([&] { return b.NetWorking.load() == 1; }));
    sim->Kill();
    ASSERT_TRUE(Tick([&] { return ui.boxes().size() == 2; }, 5s));
    Tick([] { return false; }, 300ms);
    EXPECT_EQ(ui.TitleOf(0), "Gate");
    EXPECT_EQ(display.Mark(0).kind, Kind::Offline);
    EXPECT_EQ(display.Mark(0).text, "Offline");
}

// Silence is an alarm only where pictures are due: cameras that never sent, whether the DVR
// has none at all or the view shows a page of channels it does not have, cost no key-frame
// request, no box and no second login.
TEST_F(LiveWatch, SilenceCountsOnlyWhereAnAskedCameraHasSentInThisSession) {
    vc->limits.streamSilence = 1s;
    vc->limits.lostAfterKeyRequest = 500ms;
    vc->limits.reconnectFirst = 100ms;
    {
        SimProcess sim(SimArgs({"--fault", "blackhole:0"}));  // logs in, sends no picture, ever
        Connect(sim, true);
        ASSERT_TRUE(Tick([&] { return b.NetWorking.load() == 1; }, 5s));
        Tick([] { return false; }, 3s);
        EXPECT_EQ(b.NetWorking.load(), 1);
        EXPECT_TRUE(ui.boxes().empty());
        EXPECT_EQ(LinesWith("LOGIN "), 1u);
        EXPECT_EQ(LinesWith("CMD 19 "), 0u) << "a key frame asked of a DVR with no camera";
        EXPECT_EQ(display.Mark(0).kind, Kind::Stale);  // the pane still says it has no picture
        vc->DisconnectDVR();
    }
    {
        // Two cameras that stream; the second page of a 9-split asks for channels 9 to 17.
        SimProcess sim(SimArgs({}));
        Connect(sim);
        vc->ShowSplitPage(9, 1);
        ASSERT_TRUE(Tick([&] { return vc->Slot(0).AskedChannels() == 0x3FE00u; }, 3s));
        Tick([] { return false; }, 500ms);  // the page's own requests are logged
        const std::size_t keyRequests = LinesWith("CMD 19 ");
        Tick([] { return false; }, 3s);
        EXPECT_EQ(b.NetWorking.load(), 1);
        EXPECT_TRUE(ui.boxes().empty());
        EXPECT_EQ(LinesWith("LOGIN "), 2u);  // the first DVR's and this one's
        EXPECT_EQ(LinesWith("CMD 19 "), keyRequests);
        // Back on the page of its cameras: pictures again.
        vc->ShowSplitPage(9, 0);
        const uint32_t before = b.stats[0].decoded.load();
        EXPECT_TRUE(Tick([&] { return b.stats[0].decoded.load() > before + 5; }, 5s));
    }
}

// A DVR that drops every session soon after its login is asked again after ever longer waits:
// only a session that stayed up a while starts them again from the first.
TEST_F(LiveWatch, ADvrThatDropsEachSessionSoonIsAskedAgainAfterGrowingWaits) {
    vc->limits.reconnectFirst = 200ms;
    vc->limits.reconnectLongest = 10s;
    vc->limits.reconnectJitter = 0;
    SimProcess sim(SimArgs({"--fault", "close-mid-frame:10"}));
    Connect(sim);
    std::vector<Clock::time_point> ups{Clock::now()};
    bool up = true;
    Tick(
        [&] {
            const bool now = b.NetWorking.load() == 1;
            if (now && !up) {
                ups.push_back(Clock::now());
            }
            up = now;
            return ups.size() >= 5;
        },
        20s);
    ASSERT_GE(ups.size(), 5u);
    // Each gap is a session and a wait: 0.2, 0.4, 0.8 and 1.6 s, not 0.2 s every time.
    const auto first = ups[1] - ups[0];
    const auto fourth = ups[4] - ups[3];
    EXPECT_GE(fourth - first, 1s) << "waits did not grow";
}

// A DVR that freezes with its connection open: its panes say since when they have no picture,
// then, one key-frame request later, that it is lost and being connected again (the attempt hangs
// on a login nobody answers, and says so), then count down to the next attempt; thawed, it
// streams again on a second session and its marks go.
TEST_F(LiveWatch, AFrozenDvrsPanesSayWhatIsHappeningUntilItIsBack) {
    vc->limits.streamSilence = 2500ms;  // stale after 2 s, lost after 3 s
    vc->limits.lostAfterKeyRequest = 500ms;
    vc->limits.loginReply = 1500ms;
    vc->limits.reconnectFirst = 300ms;
    vc->limits.reconnectJitter = 0;
    SimProcess sim(SimArgs({}));
    Connect(sim);
    // Every DVR connection is probed by TCP keepalive.
    int on = 0, idle = 0;
    socklen_t len = sizeof on;
    ::getsockopt(b.socket.load(), SOL_SOCKET, SO_KEEPALIVE, &on, &len);
    ::getsockopt(b.socket.load(), IPPROTO_TCP, TCP_KEEPIDLE, &idle, &len);
    EXPECT_EQ(std::make_pair(on, idle), std::make_pair(1, 10));
    sim.Freeze();
    const auto frozen = Clock::now();
    // Each camera's pane goes stale 2 s after its own last picture.
    ASSERT_TRUE(Tick(
        [&] { return display.Mark(0).kind == Kind::Stale && display.Mark(1).kind == Kind::Stale; },
        5s));
    EXPECT_LT(SecondsSince(frozen), 3.0);
    EXPECT_EQ(display.Mark(0).text.rfind("No video since ", 0), 0u);
    EXPECT_EQ(display.Mark(2).kind, Kind::None);  // the DVR has two cameras
    ASSERT_TRUE(Tick([&] { return display.Mark(0).text == "Reconnecting now"; }, 5s))
        << display.Mark(0).text;
    EXPECT_GE(SecondsSince(frozen), 2.9);  // the silence, then the wait after the key request
    EXPECT_EQ(display.Mark(0).kind, Kind::Offline);
    EXPECT_EQ(display.Mark(0).title, "Gate");
    EXPECT_EQ(vc->NodeIconFor(0), NodeIcon::Disconnected);
    ASSERT_EQ(ui.boxes().size(), 1u);
    EXPECT_EQ(ui.boxes()[0].text, "Net error");
    ASSERT_TRUE(Tick([&] { return display.Mark(0).text.rfind("Reconnecting in ", 0) == 0; }, 5s))
        << display.Mark(0).text;
    EXPECT_EQ(ui.TitleOf(0).rfind("Gate \u2014 reconnecting in ", 0), 0u) << ui.TitleOf(0);
    sim.Thaw();
    ASSERT_TRUE(Tick([&] { return b.NetWorking.load() == 1; }, 10s));
    const uint32_t before = b.stats[0].decoded.load();
    ASSERT_TRUE(Tick([&] { return b.stats[0].decoded.load() > before + 2; }, 5s));
    ASSERT_TRUE(Tick([&] { return display.Mark(0).kind == Kind::None; }, 3s));
    EXPECT_EQ(ui.boxes().size(), 1u);
    EXPECT_EQ(ui.TitleOf(0), "Gate");
    EXPECT_GE(LinesWith("CMD 19 "), 1u);  // the key frame asked for before the loss
}

}  // namespace
