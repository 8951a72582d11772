// The window against simulated DVRs: connecting from the context menu, the status shown in the
// tree, and the boxes a DVR's failures raise.
#include <QApplication>
#include <QMouseEvent>
#include <QPushButton>

#include "core/net/TcpSocket.h"
#include "gui/main/VideoView.h"
#include "gui/tree/DvrTreeModel.h"
#include "tests/gui/PaneColours.h"
#include "tests/gui/UiFixture.h"
#include "tests/support/FullBacklogListener.h"

namespace {

using namespace std::chrono_literals;

std::vector<std::string> SimArgs(std::vector<std::string> extra = {}) {
    std::vector<std::string> args{"--listen", "127.0.0.1:0", "--account", "admin:1234:2:16",
                                  "--fault",  "stall:0"};  // logged in, but no pictures
    args.insert(args.end(), extra.begin(), extra.end());
    return args;
}

std::string At(const SimProcess& sim) {
    return "127.0.0.1:" + std::to_string(sim.port());
}

class WindowAgainstDvr : public UiTest {
  protected:
    // Every title node `row` was given, in order, from now on.
    void recordTitles(int row) {
        QObject::connect(window->treeModel(), &QAbstractItemModel::dataChanged, window.get(),
                         [this, row](const QModelIndex& from, const QModelIndex& to) {
                             if (from.row() <= row && row <= to.row()) {
                                 seenTitles.append(titles().value(row));
                             }
                         });
    }

    QStringList seenTitles;
};

TEST_F(WindowAgainstDvr, ConnectFromTheMenuLogsTheSelectedDvrInAndShowsWhoIsLoggedIn) {
    SimProcess first(SimArgs({"--account", "guest:guest:1:4"}));
    SimProcess second(SimArgs());
    writeList({Entry(At(first), "Gate", "guest", "guest"), Entry(At(second), "Yard")});
    startApp();
    ASSERT_EQ(titles(), (QStringList{QStringLiteral("Gate"), QStringLiteral("Yard")}));
    EXPECT_TRUE(rowShows(0, window->icons().folderImage));
    EXPECT_TRUE(rowShows(1, window->icons().folderImage));
    recordTitles(1);
    BoxAnswerer answerer;

    select(1);
    chooseFromMenu(1, QStringLiteral("connectDVR"));
    ASSERT_TRUE(WaitUntil([&] { return iconShown(1) == QStringLiteral("usersupper.bmp"); }));
    EXPECT_TRUE(rowShows(1, window->icons().SuperImage));
    EXPECT_TRUE(rowShows(0, window->icons().folderImage));  // the other DVR stays unconnected
    ASSERT_TRUE(WaitUntil([&] { return !vc->AttemptRunning(1); }));
    Pump(50ms);
    EXPECT_EQ(seenTitles, (QStringList{QStringLiteral("connecting"), QStringLiteral("Yard")}));

    select(0);  // an ordinary user
    chooseFromMenu(0, QStringLiteral("connectDVR"));
    ASSERT_TRUE(WaitUntil([&] { return iconShown(0) == QStringLiteral("userpop.bmp"); }));
    EXPECT_TRUE(rowShows(0, window->icons().UserImage));

    chooseFromMenu(0, QStringLiteral("DisconnectDVR"));
    EXPECT_TRUE(WaitUntil([&] { return iconShown(0) == QStringLiteral("user.tiff"); }));
    EXPECT_EQ(iconShown(1), QStringLiteral("usersupper.bmp"));
    Pump(1500ms);  // a disconnect asked for is no lost connection
    EXPECT_TRUE(answerer.boxes().isEmpty());
}

TEST_F(WindowAgainstDvr, ANodeReadsConnectingWhileItsAttemptRuns) {
    FullBacklogListener silent("127.0.0.1");
    const std::string server = "127.0.0.1:" + std::to_string(silent.port());
    writeList({Entry(server, "Gate")});
    startApp();
    vc->limits.dvrConnect = 1500ms;
    BoxAnswerer answerer;
    select(0);
    chooseFromMenu(0, QStringLiteral("connectDVR"));
    EXPECT_TRUE(WaitUntil([&] { return titles().value(0) == QStringLiteral("connecting"); }, 1s));
    EXPECT_EQ(iconShown(0), QStringLiteral("user.tiff"));
    ASSERT_TRUE(WaitUntil([&] { return !answerer.boxes().isEmpty(); }, 8s));
    EXPECT_EQ(answerer.boxes().first().text, QString::fromStdString(server));
    EXPECT_EQ(answerer.boxes().first().informative, QStringLiteral("Failure conncecting to DVR"));
    EXPECT_TRUE(WaitUntil([&] { return titles().value(0) == QStringLiteral("Gate"); }));
}

TEST_F(WindowAgainstDvr, AFailedLoginIsReportedInABoxHeadedByTheDvrsServerText) {
    SimProcess sim(SimArgs());
    writeList({Entry("127.0.0.1:1", "Other"), Entry(At(sim), "Gate", "admin", "wrong")});
    startApp();
    BoxAnswerer answerer;
    select(1);
    chooseFromMenu(1, QStringLiteral("connectDVR"));
    ASSERT_TRUE(WaitUntil([&] { return !answerer.boxes().isEmpty(); }));
    EXPECT_EQ(answerer.boxes().first().text, QString::fromStdString(At(sim)));
    EXPECT_EQ(answerer.boxes().first().informative, QStringLiteral("Bad user or password!"));
    EXPECT_EQ(answerer.boxes().first().buttons.size(), 1);
    EXPECT_TRUE(WaitUntil([&] { return !vc->AttemptRunning(1); }));
    EXPECT_TRUE(WaitUntil([&] { return titles().value(1) == QStringLiteral("Gate"); }));
    EXPECT_EQ(iconShown(1), QStringLiteral("user.tiff"));
}

TEST_F(WindowAgainstDvr, ADvrThatDropsALiveConnectionIsReportedAsNetError) {
    auto sim = std::make_unique<SimProcess>(SimArgs());
    const std::string server = At(*sim);
    writeList({Entry(server, "Gate")});
    startApp();
    BoxAnswerer answerer;
    select(0);
    chooseFromMenu(0, QStringLiteral("connectDVR"));
    ASSERT_TRUE(WaitUntil([&] { return iconShown(0) == QStringLiteral("usersupper.bmp"); }));
    sim->kill();
    ASSERT_TRUE(WaitUntil([&] { return !answerer.boxes().isEmpty(); }, 8s));
    EXPECT_EQ(answerer.boxes().first().text, QString::fromStdString(server));
    EXPECT_EQ(answerer.boxes().first().informative, QStringLiteral("Net error"));
    EXPECT_TRUE(WaitUntil([&] { return iconShown(0) == QStringLiteral("user.tiff"); }));
    Pump(1500ms);
    EXPECT_EQ(answerer.boxes().size(), 1);  // one loss, one box
}

TEST_F(WindowAgainstDvr, QuittingDuringAnAttemptDoesNotWaitForTheDvr) {
    FullBacklogListener silent("127.0.0.1");
    writeList({Entry("127.0.0.1:" + std::to_string(silent.port()), "Gate")});
    startApp();
    select(0);
    chooseFromMenu(0, QStringLiteral("connectDVR"));
    ASSERT_TRUE(WaitUntil([&] { return vc->AttemptRunning(0); }));
    const auto start = std::chrono::steady_clock::now();
    window->close();
    endApp();
    EXPECT_LT(std::chrono::steady_clock::now() - start, 2s);
}

// The GUI thread never waits for a DVR: what a split or a zoom asks of it goes out on the DVR's
// own command thread, however long its sends wait.
TEST_F(WindowAgainstDvr, SplitsAndZoomsAnswerAtOnceWhileADvrHasStoppedReading) {
    SimProcess sim(SimArgs({"--stop-reading"}));
    writeList({Entry(At(sim), "Gate")});
    startApp();
    select(0);
    chooseFromMenu(0, QStringLiteral("connectDVR"));
    NetCtrl_Struct& b = vc->GetNetCtrlStruct(0);
    ASSERT_TRUE(WaitUntil([&] { return b.NetWorking.load() == 1; }));
    // The DVR takes nothing more: every later send waits its full limit.
    const std::vector<char> filler(1 << 20);
    std::shared_ptr<TcpSocket> s = b.connection();
    ASSERT_TRUE(s);
    for (int i = 0; i < 64 && s->sendAll(filler.data(), filler.size(), 300ms); ++i) {
    }
    // Small sends fill the last buffer's tail too.
    for (int i = 0; i < 200000 && s->sendAll(filler.data(), 20, 20ms); ++i) {
    }
    ASSERT_FALSE(s->sendAll(filler.data(), 20, 100ms));
    auto timed = [](const std::function<void()>& action) {
        const auto start = std::chrono::steady_clock::now();
        action();
        return std::chrono::duration_cast<std::chrono::milliseconds>(
            std::chrono::steady_clock::now() - start);
    };
    VideoView* view = window->videoView();
    auto clickPane = [&](int pane) {
        const QPointF at(PaneOnScreen(*vc, pane, view->height()).center());
        QMouseEvent e(QEvent::MouseButtonPress, at, view->mapToGlobal(at), Qt::LeftButton,
                      Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(view, &e);
    };
    EXPECT_LT(timed([&] { window->splitButton(9)->click(); }), 50ms);
    EXPECT_LT(timed([&] { window->splitButton(16)->click(); }), 50ms);
    EXPECT_LT(timed([&] { clickPane(5); }), 50ms);
    EXPECT_EQ(vc->LayoutCopy().iShowChanNum, 1);
    EXPECT_LT(timed([&] { clickPane(5); }), 50ms);  // and back to the grid
    EXPECT_EQ(vc->LayoutCopy().iShowChanNum, 16);
    // The DVR's own thread finds out: its send gives up and the loss is reported.
    BoxAnswerer answerer;
    ASSERT_TRUE(WaitUntil([&] { return !answerer.boxes().isEmpty(); }, 10s));
    EXPECT_EQ(answerer.boxes().first().informative, QStringLiteral("Net error"));
}

}  // namespace
