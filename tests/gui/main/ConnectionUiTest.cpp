// The window against simulated DVRs: connecting from the context menu, the status shown in the
// tree, and the boxes a DVR's failures raise.
#include <QPushButton>

#include "core/net/TcpSocket.h"
#include "gui/tree/DvrTreeModel.h"
#include "tests/gui/UiFixture.h"
#include "tests/support/FullBacklogListener.h"

namespace {

std::vector<std::string> SimArgs(std::vector<std::string> extra = {}) {
    std::vector<std::string> args{"--listen", "127.0.0.1:0", "--account", "admin:1234:2:16",
                                  "--fault",  "stall:0"};  // logged in, but no pictures
    args.insert(args.end(), extra.begin(), extra.end());
    return args;
}

using WindowAgainstDvr = UiTest;

TEST_F(WindowAgainstDvr, ConnectingShowsWhoIsLoggedInAndALostConnectionIsReportedOnce) {
    SimProcess first(SimArgs({"--account", "guest:guest:1:4"}));
    auto second = std::make_unique<SimProcess>(SimArgs());
    WriteList({Entry(At(first), "Gate", "guest", "guest"), Entry(At(*second), "Yard")});
    StartApp();
    const NodeIcons& icons = window->icons();
    // Three different pictures.
    const QImage folder = icons.folderImage.pixmap.toImage();
    const QImage super = icons.SuperImage.pixmap.toImage();
    EXPECT_TRUE(folder != super && folder != icons.UserImage.pixmap.toImage() &&
                super != icons.UserImage.pixmap.toImage());
    ASSERT_EQ(Titles(), (QStringList{u"Gate"_s, u"Yard"_s}));
    EXPECT_TRUE(RowShows(0, icons.folderImage));
    EXPECT_TRUE(RowShows(1, icons.folderImage));
    EXPECT_EQ(IconShown(1), u"user.tiff"_s);
    QStringList seenTitles;  // every title row 1 is given from now on, in order
    QObject::connect(window->treeModel(), &QAbstractItemModel::dataChanged, window.get(),
                     [&](const QModelIndex& from, const QModelIndex& to) {
                         if (from.row() <= 1 && 1 <= to.row()) {
                             seenTitles.append(Titles().value(1));
                         }
                     });
    BoxAnswerer answerer;

    Select(1);
    ChooseFromMenu(1, u"connectDVR"_s);
    ASSERT_TRUE(WaitUntil([&] { return IconShown(1) == u"usersupper.bmp"_s; }));
    EXPECT_TRUE(RowShows(1, icons.SuperImage));
    EXPECT_FALSE(RowShows(1, icons.folderImage));
    EXPECT_TRUE(RowShows(0, icons.folderImage));  // the other DVR stays unconnected
    ASSERT_TRUE(WaitUntil([&] { return !vc->AttemptRunning(1); }));
    Pump(50ms);
    EXPECT_EQ(seenTitles, (QStringList{u"connecting"_s, u"Yard"_s}));

    Select(0);  // an ordinary user
    ChooseFromMenu(0, u"connectDVR"_s);
    ASSERT_TRUE(WaitUntil([&] { return IconShown(0) == u"userpop.bmp"_s; }));
    EXPECT_TRUE(RowShows(0, icons.UserImage));

    ChooseFromMenu(0, u"DisconnectDVR"_s);
    EXPECT_TRUE(WaitUntil([&] { return IconShown(0) == u"user.tiff"_s; }));
    EXPECT_TRUE(RowShows(0, icons.folderImage));
    EXPECT_EQ(IconShown(1), u"usersupper.bmp"_s);
    Pump(1500ms);  // a disconnect asked for is no lost connection
    EXPECT_TRUE(answerer.boxes().isEmpty());

    // The working connection breaks: the status timer reports it once, headed by the server text.
    second->Kill();
    ASSERT_TRUE(WaitUntil([&] { return !answerer.boxes().isEmpty(); }, 8s));
    EXPECT_EQ(answerer.boxes().first().text, QString::fromStdString(At(*second)));
    EXPECT_EQ(answerer.boxes().first().informative, u"Net error"_s);
    EXPECT_EQ(answerer.boxes().first().buttons.size(), 1);
    EXPECT_TRUE(WaitUntil([&] { return RowShows(1, icons.folderImage); }));
    Pump(1500ms);
    EXPECT_EQ(answerer.boxes().size(), 1);
}

// The failure box is headed by the server text of the DVR that failed, not of another one.
TEST_F(WindowAgainstDvr, ANodeReadsConnectingWhileItsAttemptRunsAndQuittingDoesNotWaitForIt) {
    FullBacklogListener silent("127.0.0.1");
    const std::string server = "127.0.0.1:" + std::to_string(silent.port());
    WriteList({Entry("127.0.0.1:1", "Other"), Entry(server, "Gate")});
    StartApp();
    // Long enough that a loaded, sanitized run still sees the attempt's title before it ends.
    vc->limits.dvrConnect = 4s;
    BoxAnswerer answerer;
    Select(1);
    ChooseFromMenu(1, u"connectDVR"_s);
    EXPECT_TRUE(WaitUntil([&] { return Titles().value(1) == u"connecting"_s; }, 3s));
    EXPECT_EQ(IconShown(1), u"user.tiff"_s);
    ASSERT_TRUE(WaitUntil([&] { return !answerer.boxes().isEmpty(); }, 12s));
    EXPECT_EQ(answerer.boxes().first().text, QString::fromStdString(server));
    EXPECT_EQ(answerer.boxes().first().informative, u"Failure conncecting to DVR"_s);
    EXPECT_EQ(answerer.boxes().first().buttons.size(), 1);
    EXPECT_TRUE(WaitUntil([&] { return Titles().value(1) == u"Gate"_s; }));

    // Another attempt, with the usual limit: quitting ends it at once.
    ASSERT_TRUE(WaitUntil([&] { return !vc->AttemptRunning(1); }));
    vc->limits.dvrConnect = 10s;
    ChooseFromMenu(1, u"connectDVR"_s);
    ASSERT_TRUE(WaitUntil([&] { return vc->AttemptRunning(1); }));
    const auto start = std::chrono::steady_clock::now();
    window->close();
    EndApp();
    EXPECT_LT(std::chrono::steady_clock::now() - start, 2s);
}

// The GUI thread never waits for a DVR: what a split or a zoom asks of it goes out on the DVR's
// own command thread, however long its sends wait.
TEST_F(WindowAgainstDvr, SplitsAndZoomsAnswerAtOnceWhileADvrHasStoppedReading) {
    SimProcess sim(SimArgs({"--stop-reading"}));
    WriteList({Entry(At(sim), "Gate")});
    StartApp();
    Select(0);
    ChooseFromMenu(0, QStringLiteral("connectDVR"));
    NetCtrl_Struct& b = vc->GetNetCtrlStruct(0);
    ASSERT_TRUE(WaitUntil([&] { return b.NetWorking.load() == 1; }));
    // The DVR takes nothing more: every later send waits its full limit.
    const std::vector<char> filler(1 << 20);
    std::shared_ptr<TcpSocket> s = b.connection();
    ASSERT_TRUE(s);
    for (int i = 0; i < 64 && s->SendAll(filler.data(), filler.size(), 300ms); ++i) {
    }
    // Small sends fill the last buffer's tail too.
    for (int i = 0; i < 200000 && s->SendAll(filler.data(), 20, 20ms); ++i) {
    }
    ASSERT_FALSE(s->SendAll(filler.data(), 20, 100ms));
    auto timed = [](const std::function<void()>& action) {
        const auto start = std::chrono::steady_clock::now();
        action();
        return std::chrono::duration_cast<std::chrono::milliseconds>(
            std::chrono::steady_clock::now() - start);
    };
    EXPECT_LT(timed([&] { window->splitButton(9)->click(); }), 50ms);
    EXPECT_LT(timed([&] { window->splitButton(16)->click(); }), 50ms);
    EXPECT_LT(timed([&] { ClickPane(5); }), 50ms);
    EXPECT_EQ(vc->LayoutCopy().iShowChanNum, 1);
    EXPECT_LT(timed([&] { ClickPane(5); }), 50ms);  // and back to the grid
    EXPECT_EQ(vc->LayoutCopy().iShowChanNum, 16);
    // The DVR's own thread finds out once it has a change to send (16 panes ask for what its
    // login asked for, 4 do not): its send gives up and the loss is reported.
    EXPECT_LT(timed([&] { window->splitButton(4)->click(); }), 50ms);
    BoxAnswerer answerer;
    ASSERT_TRUE(WaitUntil([&] { return !answerer.boxes().isEmpty(); }, 10s));
    EXPECT_EQ(answerer.boxes().first().informative, QStringLiteral("Net error"));
}

}  // namespace
