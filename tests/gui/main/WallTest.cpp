// Operating a wall: the keyboard's commands and their sheet, the command line (read before any
// window opens, carried out on the started window as an operator would), and the full-screen
// wall with F11 and Escape around it.
#include <QApplication>
#include <QDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QTableWidget>
#include <QTest>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "gui/main/StartOptions.h"
#include "gui/main/VideoView.h"
#include "gui/tree/OutlineViewCon.h"
#include "tests/gui/UiFixture.h"

namespace {

StartCommand Parse(QStringList args) {
    args.prepend(u"quillmarsh"_s);
    return ParseStartOptions(args);
}

TEST(StartOptions, ABadOptionOrValueEndsWith2AndSaysWhatIsWrong) {
    const struct {
        QStringList args;
        const char* said;
    } bad[] = {
        {{u"--split"_s, u"7"_s}, "--split takes 4, 9, 16"},
        {{u"--split"_s, u"16x"_s}, "not \"16x\""},
        {{u"--split"_s, u"4"_s, u"--page"_s, u"0"_s}, "--page takes a page from 1"},
        {{u"--page"_s, u"2"_s}, "--page needs --split"},
        {{u"--screen"_s, u"-1"_s}, "--screen takes"},
        {{u"--connect"_s, u""_s}, "--connect needs"},
        {{u"--list"_s}, "Missing value after '--list'"},
        {{u"--tours"_s}, "Unknown option 'tours'"},
        {{u"Gate"_s}, "unexpected argument \"Gate\""},
    };
    for (const auto& c : bad) {
        SCOPED_TRACE(c.args.join(u' ').toStdString());
        const StartCommand r = Parse(c.args);
        EXPECT_EQ(r.exitCode, 2);
        EXPECT_NE(r.error.find(c.said), std::string::npos) << r.error;
        EXPECT_NE(r.error.find("Usage: quillmarsh"), std::string::npos);
        EXPECT_TRUE(r.out.empty());
    }
    for (const QString& ask : {u"--help"_s, u"--version"_s}) {
        const StartCommand r = Parse({ask});
        EXPECT_EQ(r.exitCode, 0);
        EXPECT_TRUE(r.error.empty());
        EXPECT_NE(r.out.find(ask == u"--help"_s ? "--fullscreen" : "quillmarsh 0."),
                  std::string::npos);
    }

    const StartCommand good =
        Parse({u"--list"_s, u"/tmp/wall.uss"_s, u"--connect"_s, u"Gate"_s, u"Yard"_s,
               u"--connect"_s, u"all"_s, u"--split"_s, u"16"_s, u"--page"_s, u"2"_s,
               u"--fullscreen"_s, u"--screen"_s, u"0"_s});
    ASSERT_FALSE(good.exitCode) << good.error;
    const StartOptions& o = good.options;
    EXPECT_EQ(o.listFile, "/tmp/wall.uss");
    EXPECT_TRUE(o.connectAll);
    EXPECT_EQ(o.connectNames, (std::vector<std::string>{"Gate", "Yard"}));
    EXPECT_EQ(o.split, 16);
    EXPECT_EQ(o.page, 2);
    EXPECT_TRUE(o.fullScreen);
    EXPECT_EQ(o.screen, 0);

    // The program itself stops before it needs a display at all.
    const ProcessResult run =
        RunProcess({"/usr/bin/env", "-u", "DISPLAY", QUILLMARSH_APP, "--split", "7"}, 20s);
    EXPECT_EQ(run.exitCode, 2);
}

TEST(StartOptions, NamesAreLookedUpInTheListAndAnUnknownOneIsNamed) {
    const std::vector<std::string> names{"Gate", "Yard", "Gate", "Dock"};
    std::string error;
    StartOptions o;
    o.connectNames = {"Dock", "Gate"};
    EXPECT_EQ(DvrsToConnect(o, names, error), (std::vector<int>{0, 2, 3}));
    o.connectAll = true;
    EXPECT_EQ(DvrsToConnect(o, names, error), (std::vector<int>{0, 1, 2, 3}));
    o.connectNames = {"Gate", "Shed"};
    EXPECT_FALSE(DvrsToConnect(o, names, error));
    EXPECT_EQ(error, "quillmarsh: no DVR named \"Shed\" in the list\n");
}

using StartUpOptions = UiTest;

TEST_F(StartUpOptions, TheWindowStartsConnectedSplitPagedAndFullScreenAndF11BringsItBack) {
    const std::vector<std::string> args{"--listen",        "127.0.0.1:0", "--account",
                                        "admin:1234:2:16", "--fault",     "stall:0"};
    SimProcess gate(args);
    SimProcess yard(args);
    // Another list than the usual one: read from there, and saved there.
    const std::string wallList = home_.path() + "/wall.uss";
    writeList({Entry(At(gate), "Gate"), Entry(At(yard), "Yard")});
    std::filesystem::rename(listPath(), wallList);
    writeList({Entry(At(gate), "Home")});
    const auto homeBytes = listBytes();
    startApp(wallList);
    EXPECT_EQ(titles(), (QStringList{u"Gate"_s, u"Yard"_s}));
    const QRect normal = window->geometry();

    StartOptions o;
    o.connectAll = true;
    o.split = 16;
    o.page = 2;
    o.fullScreen = true;
    ApplyStartOptions(*window, *vc, o, {0, 1});
    EXPECT_TRUE(WaitUntil([&] {
        return vc->GetNetCtrlStruct(0).NetWorking.load() == 1 &&
               vc->GetNetCtrlStruct(1).NetWorking.load() == 1;
    }));
    EXPECT_EQ(vc->CurrentDVR(), -1);  // the all-DVR view, its panes filled as "Auto Display" does
    EXPECT_TRUE(WaitUntil([&] { return vc->layout().SelfChannel(16) == 100; }));
    EXPECT_EQ(vc->LayoutCopy().iShowChanNum, 16);
    EXPECT_EQ(vc->LayoutCopy().iShowPage, 1);
    const QSize screen = window->screen()->size();
    ASSERT_TRUE(WaitUntil([&] { return window->videoView()->size() == screen; }));
    EXPECT_FALSE(window->outlineView()->isVisible());
    EXPECT_FALSE(window->splitButton(16)->isVisible());
    // The panes follow the new size: the 4x4 grid spans the whole screen.
    EXPECT_NEAR(vc->LayoutCopy().m_screenRect[16].FrameRect.width, screen.width() / 4, 2);

    // A change of the list goes to the list in use, never to the usual one.
    vc->AddDVRNode("127.0.0.1:9", "admin", "1234", "Dock");
    EXPECT_EQ(listBytes(), homeBytes);
    std::ifstream wall(wallList, std::ios::binary);
    const std::string saved{std::istreambuf_iterator<char>(wall), {}};
    EXPECT_NE(saved.find("Dock"), std::string::npos);

    QTest::keyClick(window.get(), Qt::Key_F11);
    ASSERT_TRUE(WaitUntil([&] { return !window->isFullScreen(); }));
    EXPECT_TRUE(WaitUntil([&] { return window->geometry().size() == normal.size(); }));
    EXPECT_TRUE(window->outlineView()->isVisible());
    EXPECT_TRUE(window->splitButton(16)->isVisible());
    // Escape leaves the wall too, and is nobody's otherwise.
    QTest::keyClick(window.get(), Qt::Key_F11);
    ASSERT_TRUE(WaitUntil([&] { return window->isFullScreen(); }));
    QTest::keyClick(window->videoView(), Qt::Key_Escape);
    EXPECT_TRUE(WaitUntil([&] { return !window->isFullScreen(); }));
    EXPECT_FALSE(window->wallMode());
}

using Keyboard = UiTest;

TEST_F(Keyboard, EveryCommandHasAKeyOfItsOwnThatTriggersItAndTheSheetListsThemAll) {
    writeList({Entry("127.0.0.1:1", "Gate")});
    startApp();
    const QList<QAction*>& actions = window->keyboardActions();
    ASSERT_EQ(actions.size(), 22);
    QStringList keys;
    for (const QAction* a : actions) {
        keys << a->shortcut().toString();
        EXPECT_FALSE(a->shortcut().isEmpty()) << a->text().toStdString();
        EXPECT_FALSE(a->objectName().isEmpty());
    }
    keys.removeDuplicates();
    EXPECT_EQ(keys.size(), actions.size());

    // Each key triggers its command once, whatever window that command opens.
    BoxAnswerer answerer(u"Cancel"_s);  // the delete asks first; a failed connect reports
    QTimer closer;                      // the snapshot's file chooser is turned down
    QObject::connect(&closer, &QTimer::timeout, [] {
        auto* d = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if (d && !qobject_cast<QMessageBox*>(d)) {
            d->reject();
        }
    });
    closer.start(20);
    select(0);
    for (QAction* a : actions) {
        SCOPED_TRACE(a->text().toStdString());
        for (QWidget* w : QApplication::topLevelWidgets()) {
            if (w != window.get() && w->isVisible()) {
                w->close();
            }
        }
        window->activateWindow();
        ASSERT_TRUE(WaitUntil([&] { return window->isActiveWindow(); }));
        int fired = 0;
        const auto seen = QObject::connect(a, &QAction::triggered, [&] { ++fired; });
        QTest::keySequence(window.get(), a->shortcut());
        EXPECT_TRUE(WaitUntil([&] { return fired == 1; }, 2s));
        QObject::disconnect(seen);
    }
    EXPECT_TRUE(WaitUntil([&] { return !vc->AttemptRunning(0); }));
    EXPECT_EQ(titles(), QStringList{u"Gate"_s});  // the delete was turned down

    auto* sheet = window->findChild<QDialog*>(u"shortcutSheet"_s);
    ASSERT_NE(sheet, nullptr);
    auto* table = sheet->findChild<QTableWidget*>();
    ASSERT_EQ(table->rowCount(), actions.size() + 2);  // and the held PTZ keys
    EXPECT_EQ(table->item(actions.size(), 1)->text(), u"Ctrl+Arrows"_s);
    EXPECT_EQ(table->item(2, 0)->text(), u"16 panes"_s);
    EXPECT_EQ(table->item(2, 1)->text(), u"3"_s);

    // The pages: forward and back, and back from the first is the last (9 pages of 4 of 36).
    window->activateWindow();
    ASSERT_TRUE(WaitUntil([&] { return window->isActiveWindow(); }));
    QTest::keyClick(window.get(), Qt::Key_1);
    EXPECT_EQ(vc->LayoutCopy().iShowChanNum, 4);
    QTest::keyClick(window.get(), Qt::Key_PageDown);
    EXPECT_EQ(vc->LayoutCopy().iShowPage, 1);
    QTest::keyClick(window.get(), Qt::Key_PageUp);
    EXPECT_EQ(vc->LayoutCopy().iShowPage, 0);
    QTest::keyClick(window.get(), Qt::Key_PageUp);
    EXPECT_EQ(vc->LayoutCopy().iShowPage, 8);
    EXPECT_TRUE(vc->LayoutCopy().m_screenRect[35].iOnShow);
}

}  // namespace
