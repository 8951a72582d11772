// Whole-window sequences as an operator meets them, with the real window's modal boxes left open
// as they are while nobody is at the desk. A box runs its own event loop, so each sequence is a
// list of steps that a timer walks through: the timer fires in whichever loop is running.
#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

#include "core/directory/UserListFile.h"
#include "gui/main/VideoView.h"
#include "tests/gui/UiFixture.h"

namespace {

// One step: once `ready` holds, `then` runs and the next step begins; `ready` must hold within
// `limit` of the step's start.
struct Step {
    std::string what;
    std::function<bool()> ready;
    std::function<void()> then;
    std::chrono::milliseconds limit = 10s;
};

// Walks through `steps` on a timer, in whichever event loop runs (a box's included), and returns
// once all ran or one did not become ready in time; the failed step's name, or empty.
std::string RunSteps(std::vector<Step> steps) {
    std::size_t at = 0;
    std::string failed;
    auto started = std::chrono::steady_clock::now();
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, [&] {
        if (at >= steps.size() || !failed.empty()) {
            return;
        }
        Step& step = steps[at];
        if (step.ready()) {
            if (step.then) {
                step.then();
            }
            ++at;
            started = std::chrono::steady_clock::now();
        } else if (std::chrono::steady_clock::now() - started > step.limit) {
            failed = step.what;
        }
    });
    timer.start(20);
    WaitUntil([&] { return at >= steps.size() || !failed.empty(); }, 120s);
    return failed;
}

QList<QMessageBox*> OpenBoxes() {
    QList<QMessageBox*> open;
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (auto* box = qobject_cast<QMessageBox*>(w); box && box->isVisible()) {
            open.append(box);
        }
    }
    return open;
}

// The operator comes back and closes every box.
void CloseBoxes() {
    for (QMessageBox* box : OpenBoxes()) {
        box->accept();
    }
}

class OperatorScenario : public UiTest {
  protected:
    // A DVR with two cameras.
    std::vector<std::string> DvrArgs(int port = 0) {
        return {"--listen", "127.0.0.1:" + std::to_string(port), "--account", "admin:1234:2:2"};
    }
    bool Working(int dvr) { return vc->GetNetCtrlStruct(dvr).NetWorking.load() == 1; }
};

// The Net error box waits for the operator; nothing else does: the lost DVR is connected again
// behind it, and a second DVR lost meanwhile is marked, counted down and connected again too.
TEST_F(OperatorScenario, ADvrLostWhileAnotherDvrsBoxIsOpenIsMarkedAndConnectedAgainOnTime) {
    auto gate = std::make_unique<SimProcess>(DvrArgs());
    auto yard = std::make_unique<SimProcess>(DvrArgs());
    const int gatePort = gate->port();
    const int yardPort = yard->port();
    WriteList({Entry(At(*gate), "Gate"), Entry(At(*yard), "Yard")});
    StartApp();
    vc->limits.reconnectFirst = 1s;
    vc->limits.reconnectJitter = 0;
    ConnectDvr(0);
    ConnectDvr(1);  // the view shows Yard
    window->splitButton(4)->click();
    ASSERT_TRUE(WaitUntil([&] { return PaneShows(0, 0); }));

    std::chrono::steady_clock::time_point yardBack;
    gate->Kill();
    const std::string failed = RunSteps({
        {"the Net error box of the lost Gate opens",
         [&] {
             const auto boxes = OpenBoxes();
             return boxes.size() == 1 && boxes[0]->informativeText() == u"Net error"_s;
         },
         [&] { gate = std::make_unique<SimProcess>(DvrArgs(gatePort)); }},
        {"Gate is connected again behind its open box", [&] { return Working(0); },
         [&] { yard->Kill(); }, 5s},
        {"Yard's node counts down under its name",
         [&] { return Titles().value(1).startsWith(u"Yard \u2014 reconnecting in "_s); },
         {},
         3s},
        {"Yard's pane says it is offline, with its name",
         [&] {
             const Look look = LookOf(Surface(), Pane(0));
             return look.grey > look.pixels / 2 && look.white > 30;
         },
         [&] {
             yard = std::make_unique<SimProcess>(DvrArgs(yardPort));
             yardBack = std::chrono::steady_clock::now();
         },
         3s},
        // Its first wait was 1 s, long over: the next attempt is at most 2 s away.
        {"Yard's pictures are back, both boxes still open",
         [&] { return Working(1) && PaneShows(0, 0); },
         {},
         5s},
        {"one box an outage", [&] { return OpenBoxes().size() == 2; },
         [&] {
             EXPECT_LE(std::chrono::steady_clock::now() - yardBack, 4s);
             CloseBoxes();
         },
         1s},
    });
    EXPECT_EQ(failed, "");
    CloseBoxes();
    EXPECT_TRUE(WaitUntil([] { return OpenBoxes().isEmpty(); }, 2s));
}

// A page of channels the DVR does not have shows nothing and costs nothing: no key-frame
// request, no box, no second login, however long it stays on screen.
TEST_F(OperatorScenario, APageOfCamerasTheDvrDoesNotHaveRaisesNoAlarm) {
    TempDir logs;
    const std::string log = logs.File("dvr.log");
    std::vector<std::string> args = DvrArgs();
    args[3] = "admin:1234:2:4";  // four cameras
    args.insert(args.end(), {"--log", log});
    SimProcess dock(args);
    WriteList({Entry(At(dock), "Dock")});
    StartApp();
    vc->limits.streamSilence = 1s;  // the alarm would come within 1.5 s
    vc->limits.lostAfterKeyRequest = 500ms;
    ConnectDvr(0);
    vc->ShowSplitPage(9, 1);  // cameras 10 to 18
    const auto start = std::chrono::steady_clock::now();
    bool boxSeen = false;
    const std::string failed = RunSteps({
        {"six quiet seconds",
         [&] {
             boxSeen = boxSeen || !OpenBoxes().isEmpty();
             return std::chrono::steady_clock::now() - start > 6s;
         },
         {},
         8s},
    });
    EXPECT_EQ(failed, "");
    EXPECT_FALSE(boxSeen) << "a box for a healthy DVR";
    CloseBoxes();
    EXPECT_TRUE(Working(0));
    const std::vector<std::string> lines = ReadLines(log);
    EXPECT_EQ(LinesStartingWith(lines, "LOGIN ").size(), 1u);
    // The page back: its cameras' pictures again.
    vc->ShowSplitPage(9, 0);
    EXPECT_TRUE(WaitUntil([&] { return PaneShows(3, 3); }));
}

// Switching between a DVR's own view and the all-DVR view never leaves another DVR's picture in
// the DVR's view: the two-camera DVR's third and fourth panes stay empty, though in the all-DVR
// view they show the four-camera DVR's first cameras.
TEST_F(OperatorScenario, FiftyViewSwitchesLeaveNoPictureOfTheOtherDvr) {
    std::vector<std::string> fourArgs = DvrArgs();
    fourArgs[3] = "admin:1234:2:4";
    SimProcess two(DvrArgs());  // two cameras
    SimProcess four(fourArgs);
    WriteList({Entry(At(two), "Two"), Entry(At(four), "Four")});
    StartApp();
    ConnectDvr(0);
    ConnectDvr(1);
    Deselect();
    vc->AutoSetDisplay();  // panes 0-1: Two's cameras, 2-5: Four's
    window->splitButton(4)->click();
    ASSERT_TRUE(WaitUntil([&] { return PaneShows(2, 0); }));
    auto foreignIn = [&](const QImage& s) {
        for (int p : {2, 3}) {
            for (int channel = 0; channel < 4; ++channel) {
                if (RegionShows(s, Pane(p), channel)) {
                    return true;
                }
            }
        }
        return false;
    };
    int foreign = 0;
    for (int i = 0; i < 50; ++i) {
        Select(0);
        Pump(std::chrono::milliseconds(40 + (i % 5) * 20));
        foreign += foreignIn(Surface());
        Deselect();
        Pump(std::chrono::milliseconds(40 + (i % 3) * 20));
    }
    Select(0);
    window->splitButton(4)->click();
    ASSERT_TRUE(WaitUntil([&] { return PaneShows(1, 1); }));
    Pump(500ms);
    EXPECT_FALSE(foreignIn(Surface())) << "the other DVR's picture stayed in the view";
    EXPECT_EQ(foreign, 0) << "the other DVR's picture showed in the view";
}

// In the all-DVR view a lost DVR is marked in its own panes only: a pane past every DVR's cameras
// shows nothing before and says nothing while the DVR's box stays open.
TEST_F(OperatorScenario, ALostDvrIsMarkedOnlyInThePanesOfItsCamerasInTheAllDvrView) {
    std::vector<std::string> fourArgs = DvrArgs();
    fourArgs[3] = "admin:1234:2:4";
    auto two = std::make_unique<SimProcess>(DvrArgs());  // two cameras
    SimProcess four(fourArgs);
    // A list whose panes were never assigned: each names code 0, the first DVR's first camera,
    // which only the first of them shows.
    auto image = std::make_unique<UserListImage>();
    image->entries[0] = Entry(At(*two), "Two");
    image->entries[1] = Entry(At(four), "Four");
    ASSERT_TRUE(WriteUserList(ListPath(), *image));
    StartApp();
    ConnectDvr(0);
    ConnectDvr(1);
    Deselect();
    vc->AutoSetDisplay();  // panes 0-1: Two's cameras, 2-5: Four's; 6-8 keep code 0
    window->splitButton(9)->click();
    ASSERT_TRUE(WaitUntil([&] { return PaneShows(1, 1) && PaneShows(5, 3); }));
    const auto marked = [&](const QImage& surface, int pane) {
        const Look look = LookOf(surface, Pane(pane));
        return look.grey > look.pixels / 2 && look.white > 30;
    };
    two->Kill();
    // The box runs its own loop until it is closed: the panes are read in a step meanwhile.
    const std::string failed = RunSteps({
        {"Two's panes say it is offline, behind its open box",
         [&] {
             const QImage surface = Surface();
             return !OpenBoxes().isEmpty() && marked(surface, 0) && marked(surface, 1);
         },
         [&] {
             const QImage surface = Surface();
             for (int pane : {6, 7, 8}) {
                 EXPECT_FALSE(marked(surface, pane)) << "pane " << pane;
             }
             EXPECT_TRUE(PaneShows(2, 0));  // Four goes on
             CloseBoxes();
         },
         10s},
    });
    EXPECT_EQ(failed, "");
    CloseBoxes();
}

}  // namespace
