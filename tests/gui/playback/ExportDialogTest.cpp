// The playback window's export against the simulator: clips of two channels that ffprobe reads,
// and no file under a final name from a cancelled export or an unwritable folder.
#include <QLineEdit>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QSettings>
#include <QTimeEdit>

#include <filesystem>
#include <fstream>

#include "gui/playback/ExportDialog.h"
#include "gui/playback/NetPlayBack.h"
#include "tests/gui/UiFixture.h"
#include "tests/support/ClientFixture.h"

namespace {

// Channels 0 and 2 record 10:00-10:05 every day from yesterday to tomorrow.
class PlaybackExport : public UiTest {
  protected:
    void SetUp() override {
        UiTest::SetUp();
        sim = std::make_unique<SimProcess>(
            std::vector<std::string>{"--listen", "127.0.0.1:0", "--account", "admin:1234:2:4",
                                     "--rec", "0+2=10:00-10:05", "--rec-days", "-1:1"});
        WriteList({Entry(At(*sim), "Gate")});
        StartApp();
        Select(0);
        ChooseFromMenu(0, u"NetPlayBack"_s);
        ASSERT_TRUE(WaitUntil([&] { return NetPlayBack::Existing() != nullptr; }, 30s));
        w = NetPlayBack::Existing();
        ASSERT_TRUE(vc->PlaybackRequestsIdle(10s));
        w->ButtonCh2->setCurrentIndex(3);  // bands 1 and 2: CAM01 and CAM03
        w->DateTime->setTime(QTime(10, 1, 0));
        ASSERT_TRUE(vc->PlaybackRequestsIdle(10s));
    }
    // Opens the dialog, sets its range from 10:01:00 and its folder and starts it; the defaults
    // are the played time and five minutes later while nothing played yet.
    QPointer<ExportDialog> Export(const QTime& to, const std::string& folder) {
        w->ActionExport();
        QPointer<ExportDialog> d = w->findChild<ExportDialog*>();
        EXPECT_TRUE(d);
        if (d) {
            if (firstExport_) {
                EXPECT_EQ(d->fromEdit->time(), QTime(10, 1, 0));
                EXPECT_EQ(d->toEdit->time(), QTime(10, 6, 0));
            }
            firstExport_ = false;
            d->fromEdit->setTime(QTime(10, 1, 0));
            d->toEdit->setTime(to);
            d->folderEdit->setText(QString::fromStdString(folder));
            d->exportButton->click();
        }
        return d;
    }
    static std::vector<std::string> Files(const std::string& dir) {
        std::vector<std::string> out;
        if (std::filesystem::is_directory(dir)) {
            for (const auto& e : std::filesystem::directory_iterator(dir)) {
                out.push_back(e.path().filename().string());
            }
        }
        return out;
    }

    TempDir out;
    std::unique_ptr<SimProcess> sim;
    BoxAnswerer answerer;
    NetPlayBack* w = nullptr;
    bool firstExport_ = true;
};

TEST_F(PlaybackExport, TwoChannelsGiveTwoClipsOfEveryPlayedPicture) {
    QPointer<ExportDialog> d = Export(QTime(10, 1, 10), out.path());
    ASSERT_TRUE(WaitUntil([&] { return !d; }, 60s)) << "the export never ended";
    EXPECT_TRUE(answerer.boxes().isEmpty());
    for (const int channel : {1, 3}) {
        SCOPED_TRACE(channel);
        // Named after the DVR as the operator knows it.
        const std::string path = out.File(
            "Gate_CAM0" + std::to_string(channel) + "_" +
            QDate::currentDate().toString(u"yyyy-MM-dd"_s).toStdString() + "_100100-100110.mp4");
        // 25 pictures a second for 10 s, from the key frame a play starts with.
        EXPECT_EQ(RunProcess(
                      {"/usr/bin/ffprobe", "-v", "error", "-count_frames", "-select_streams", "v:0",
                       "-show_entries", "stream=codec_name,nb_read_frames", "-of", "csv=p=0", path},
                      30s)
                      .out,
                  "h264,250\n");
    }
    EXPECT_EQ(Files(out.path()).size(), 2u);
    QSettings settings;
    EXPECT_EQ(settings.value(u"export/folder"_s).toString(), QString::fromStdString(out.path()));
}

TEST_F(PlaybackExport, CancelledOrUnwritableLeavesNoClip) {
    QPointer<ExportDialog> d = Export(QTime(10, 4, 0), out.path());
    ASSERT_TRUE(WaitUntil([&] { return d && d->progress->value() > 2; }, 30s));
    d->cancelButton->click();
    ASSERT_TRUE(WaitUntil([&] { return !d; }, 10s));
    EXPECT_TRUE(Files(out.path()).empty());
    EXPECT_TRUE(answerer.boxes().isEmpty());

    // A file where the folder should be: no one may write there, root included.
    const std::string plain = out.File("plain");
    std::ofstream(plain) << "x";
    d = Export(QTime(10, 1, 5), plain);
    ASSERT_TRUE(WaitUntil([&] { return !answerer.boxes().isEmpty(); }, 30s));
    EXPECT_TRUE(
        answerer.boxes().front().informative.startsWith(u"The clips could not be written"_s))
        << answerer.boxes().front().informative.toStdString();
    EXPECT_EQ(Files(out.path()), std::vector<std::string>{"plain"});
    ASSERT_TRUE(d);
    EXPECT_TRUE(d->exportButton->isEnabled());
    d->close();
}

}  // namespace
