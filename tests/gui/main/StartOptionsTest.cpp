// The command line: its options and their errors, the names it looks up before any window
// opens, and the started window carried to the wall it asks for, with F11 and Escape around it.
#include <QPushButton>
#include <QScreen>
#include <QTest>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>

#include "core/directory/UserListFile.h"
#include "core/wire/WireFormats.h"
#include "gui/main/StartOptions.h"
#include "gui/main/VideoView.h"
#include "gui/tree/OutlineViewCon.h"
#include "tests/gui/UiFixture.h"

namespace {

StartCommand Parse(QStringList args) {
    args.prepend(u"quillmarsh"_s);
    return ParseStartOptions(args);
}

using StartUpOptions = UiTest;

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

// The program itself, on a HOME of its own and without a display: every name an option gives is
// looked up before Qt needs the display.
TEST(StartOptions, WithoutADisplayAnUnknownViewOrDvrEndsWithItsMessageAnd2) {
    TempDir home;
    std::filesystem::create_directories(home.path() + "/.config/Quillmarsh");
    std::ofstream(home.path() + "/.config/Quillmarsh/Views.conf")
        << "[views]\n1\\name=yard\n1\\split=9\nsize=1\n";
    auto image = std::make_unique<UserListImage>();
    image->entries[0] = Entry("127.0.0.1:1", "Gate");
    ASSERT_TRUE(WriteUserList(home.path() + "/userinfo/info.uss", *image));
    const std::string other = home.path() + "/other.uss";
    image->entries[0] = Entry("127.0.0.1:1", "Dock");
    ASSERT_TRUE(WriteUserList(other, *image));
    const auto run = [&](const std::string& args) {
        return RunProcess({"/bin/sh", "-c",
                           "exec /usr/bin/env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "
                           "-u XDG_CONFIG_HOME HOME='" +
                               home.path() + "' '" QUILLMARSH_APP "' " + args + " 2>&1"},
                          20s);
    };
    const struct {
        std::string args;
        std::string said;
    } bad[] = {
        {"--view Nope", "quillmarsh: no view named \"Nope\"\n"},
        {"--view yard --connect Shed", "quillmarsh: no DVR named \"Shed\" in the list\n"},
        {"--view yard --connect Gate Dock", "quillmarsh: no DVR named \"Dock\" in the list\n"},
        {"--list '" + other + "' --connect Dock Gate",
         "quillmarsh: no DVR named \"Gate\" in the list\n"},
    };
    for (const auto& c : bad) {
        SCOPED_TRACE(c.args);
        const ProcessResult r = run(c.args);
        EXPECT_EQ(r.exitCode, 2);
        EXPECT_EQ(r.out, c.said);
    }
    // No view saved at all: a tour has nothing to show.
    std::filesystem::remove(home.path() + "/.config/Quillmarsh/Views.conf");
    const ProcessResult tour = run("--tour 5");
    EXPECT_EQ(tour.exitCode, 2);
    EXPECT_EQ(tour.out, "quillmarsh: --tour shows the saved views, and none is saved\n");
}
TEST_F(StartUpOptions, TheWindowStartsConnectedSplitPagedAndFullScreenAndF11BringsItBack) {
    const std::vector<std::string> args{"--listen",        "127.0.0.1:0", "--account",
                                        "admin:1234:2:16", "--fault",     "stall:0"};
    SimProcess gate(args);
    SimProcess yard(args);
    // Another list than the usual one: read from there, and saved there.
    const std::string wallList = home_.path() + "/wall.uss";
    WriteList({Entry(At(gate), "Gate"), Entry(At(yard), "Yard")});
    std::filesystem::rename(ListPath(), wallList);
    WriteList({Entry(At(gate), "Home")});
    const auto homeBytes = ListBytes();
    StartApp(wallList);
    EXPECT_EQ(Titles(), (QStringList{u"Gate"_s, u"Yard"_s}));
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
    EXPECT_EQ(ListBytes(), homeBytes);
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

// Six 4-channel DVRs connected at once into the all-DVR view at split 16, its panes filled by
// "Auto Display": each DVR is asked for a live view by its login and again only where what it
// shows changes, whatever steps the start-up, a split button or a recalled view take.
TEST_F(StartUpOptions, DvrsConnectedAtOnceAreAskedOnlyForEachRealChangeOfWhatTheyShow) {
    TempDir logs;
    std::vector<std::unique_ptr<SimProcess>> sims;
    std::vector<SAVE_INFO_STRUCT> entries;
    for (int d = 0; d < 6; ++d) {
        sims.push_back(std::make_unique<SimProcess>(
            std::vector<std::string>{"--listen", "127.0.0.1:0", "--account", "admin:1234:2:4",
                                     "--fps", "5", "--log", logs.File(std::to_string(d))}));
        entries.push_back(Entry(At(*sims.back()), "D" + std::to_string(d)));
    }
    WriteList(entries);
    StartApp();
    // Per DVR once its records have settled: the masks of its live views and, after a '/', its
    // key-frame requests (a live view's restart asks for one) beyond those of the start-up.
    std::vector<int> startKeys(6, 0);
    const auto asked = [&] {
        EXPECT_TRUE(vc->CommandsIdle(5s));
        Pump(400ms);
        std::vector<std::string> all;
        for (int d = 0; d < 6; ++d) {
            std::string masks;
            int keyFrames = 0;
            for (const std::string& l :
                 LinesStartingWith(ReadLines(logs.File(std::to_string(d))), "CMD ")) {
                int cmd = 0;
                int32_t mask = 0;
                if (std::sscanf(l.c_str(), "CMD %d %*d %*d %d", &cmd, &mask) == 2) {
                    keyFrames += cmd == NET_KEY_FRAME ? 1 : 0;
                    masks += cmd == NET_LIVE_VIEW ? std::to_string(mask) + " " : "";
                }
            }
            all.push_back(masks + "/" + std::to_string(keyFrames - startKeys[d]));
        }
        return all;
    };

    StartOptions o;
    o.connectAll = true;
    o.split = 16;
    ApplyStartOptions(*window, *vc, o, {0, 1, 2, 3, 4, 5});
    ASSERT_TRUE(WaitUntil([&] { return vc->layout().SelfChannel(23) == 503; }));
    // DVRs 0 to 3 fill the 16 panes with what their logins asked for (-1: every channel, as
    // their entries say); 4 and 5 are not shown.
    std::vector<std::string> expected{"-1 /0", "-1 /0", "-1 /0", "-1 /0", "-1 0 /1", "-1 0 /1"};
    std::vector<std::string> first = asked();
    // A shown DVR whose pictures came before its panes were filled had them passed over (no pane
    // showed them yet): its panes start at a key frame it is asked for once.
    for (int d = 0; d < 4; ++d) {
        if (first[d] == "-1 /1") {
            first[d] = "-1 /0";
            startKeys[d] = 1;
        }
    }
    EXPECT_EQ(first, expected);

    // 25 panes show DVR 4 and DVR 5 as well, and nothing else changes.
    window->splitButton(25)->click();
    expected[4] = expected[5] = "-1 0 15 /2";
    EXPECT_EQ(asked(), expected);

    // From DVR 2's own view (the others stop) to a saved view of DVR 1's cameras alone: each DVR
    // is asked once, for what the saved view shows of it.
    SavedView wall{.name = u"wall"_s, .split = 4, .page = 1, .dvr = -1, .codes = {}};
    for (int p = 0; p < kPanes; ++p) {
        wall.codes.push_back(vc->SelfChannel(p));
    }
    window->views().Put(wall);
    Select(2);
    // The stops reach the DVRs first: a stop still queued when the view comes would be replaced
    // by the view's request, and DVR 1 then rightly asked for nothing.
    EXPECT_TRUE(vc->CommandsIdle(5s));
    ASSERT_TRUE(window->RecallView(u"wall"_s));
    expected = {"-1 0 /1", "-1 15 /1", "-1 0 /1", "-1 0 /1", "-1 0 15 0 /3", "-1 0 15 0 /3"};
    EXPECT_EQ(asked(), expected);
}

}  // namespace
