// Recording a live pane against the simulator: the key starts and stops it, a red dot shows on
// the pane meanwhile, and the file left plays.
#include <QAction>
#include <QPushButton>
#include <QSettings>

#include <filesystem>

#include "gui/main/video/LiveRecorder.h"
#include "tests/gui/UiFixture.h"

namespace {

bool RedDotOn(const QImage& surface, const QRect& pane) {
    const QColor c = surface.pixelColor(pane.right() - 64, pane.top() + 14);
    return c.red() > 180 && c.green() < 80 && c.blue() < 80;
}

TEST_F(UiTest, ALivePaneIsRecordedUntilStoppedWithARedDotMeanwhile) {
    SimProcess sim({"--listen", "127.0.0.1:0", "--account", "admin:1234:2:4"});
    WriteList({Entry(At(sim), "Gate")});
    TempDir out;
    QSettings().setValue(u"export/folder"_s, QString::fromStdString(out.path()));
    StartApp();
    BoxAnswerer answerer;
    Select(0);
    ChooseFromMenu(0, u"connectDVR"_s);
    window->splitButton(4)->click();
    ASSERT_TRUE(WaitUntil([&] { return PaneShows(1, 1); }, 20s));
    ClickPane(1);
    EXPECT_FALSE(RedDotOn(Surface(), Pane(1)));
    QAction* record = window->findChild<QAction*>(u"actionRecord"_s);
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(record->shortcut(), QKeySequence(u"Ctrl+Shift+R"_s));

    record->trigger();
    ASSERT_TRUE(window->liveRecorder().recordingNow());
    ASSERT_TRUE(WaitUntil([&] { return RedDotOn(Surface(), Pane(1)); }, 5s));
    Pump(4s);
    record->trigger();
    EXPECT_FALSE(window->liveRecorder().recordingNow());
    ASSERT_TRUE(WaitUntil([&] { return !RedDotOn(Surface(), Pane(1)); }, 5s));

    std::vector<std::string> files;
    for (const auto& e : std::filesystem::directory_iterator(out.path())) {
        files.push_back(e.path().string());
    }
    ASSERT_EQ(files.size(), 1u);
    EXPECT_EQ(std::filesystem::path(files[0]).filename().string().rfind("Gate_CAM02_", 0), 0u)
        << files[0];
    // From a key frame (at most two seconds in), 25 pictures a second.
    std::string probed;
    ASSERT_TRUE(WaitUntil(
        [&] {
            probed = RunProcess({"/usr/bin/ffprobe", "-v", "error", "-count_frames",
                                 "-select_streams", "v:0", "-show_entries", "stream=nb_read_frames",
                                 "-of", "csv=p=0", files[0]},
                                30s)
                         .out;
            return std::atoi(probed.c_str()) >= 40;
        },
        10s))
        << probed;
    // Every picture decodes: what the decoder complains of comes on standard error. (A live
    // second holds as many pictures as came in it, so ffmpeg's constant-rate output would
    // complain of the file's varying rate, not of its pictures.)
    const std::string decoded =
        RunProcess({"/usr/bin/ffprobe", "-v", "error", "-count_frames", "-select_streams", "v:0",
                    "-show_entries", "stream=nb_read_frames", "-of", "csv=p=0", files[0]},
                   30s, true)
            .out;
    EXPECT_EQ(decoded, std::to_string(std::atoi(decoded.c_str())) + "\n");
    EXPECT_TRUE(answerer.boxes().isEmpty());
}

}  // namespace
