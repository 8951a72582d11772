// The snapshot under Xvfb: the saved JPEG against the known pictures of the simulated cameras,
// the save dialog, and the capture buffer on its own.
#include <QApplication>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QLineEdit>
#include <QPushButton>

#include <cstring>
#include <filesystem>
#include <optional>

#include "gui/main/CaptureBuffer.h"
#include "gui/main/VideoView.h"
#include "tests/gui/PaneColours.h"
#include "tests/gui/UiFixture.h"

namespace {

using namespace std::chrono_literals;

// What the save dialog showed when it opened.
struct DialogSeen {
    QString folder;
    QString name;
    QString suffix;
    bool videoRan = false;
};

class Snapshot : public UiTest {
  protected:
    // Clicks the capture button and answers the save dialog: with a file name typed into it, or
    // Cancel when `name` is empty. Returns what the dialog showed (nothing if none opened).
    std::optional<DialogSeen> capture(const QString& name, bool watchVideo = false) {
        std::optional<DialogSeen> seen;
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, [&] {
            auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            if (!dialog || !dialog->isVisible() || seen) {
                return;
            }
            DialogSeen s;
            s.folder = dialog->directory().absolutePath();
            if (auto* edit = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))) {
                s.name = edit->text();
            }
            s.suffix = dialog->defaultSuffix();
            if (watchVideo) {
                // The pictures move on while the operator picks a name.
                const QImage first = window->videoView()->grabSurface();
                s.videoRan =
                    WaitUntil([&] { return window->videoView()->grabSurface() != first; }, 3s);
            }
            seen = s;
            if (name.isEmpty()) {
                dialog->reject();
            } else {
                dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))->setText(name);
                // As the operator does: the Save button.
                auto* box = dialog->findChild<QDialogButtonBox*>(QStringLiteral("buttonBox"));
                box->button(QDialogButtonBox::Save)->click();
            }
        });
        poll.start(20);
        window->captureButton()->click();
        return seen;
    }
    QRect pane(int p, int height) { return PaneOnScreen(*vc, p, height); }
    bool panesShowChannels(const QImage& image, int tolerance = 24) {
        for (int ch = 0; ch < 4; ++ch) {
            if (!RegionShows(image, pane(ch, image.height()), ch, tolerance)) {
                return false;
            }
        }
        return true;
    }
    void waitForVideo() {
        ASSERT_TRUE(
            WaitUntil([&] { return panesShowChannels(window->videoView()->grabSurface()); }, 15s))
            << "the panes never showed their channels";
    }
    QSize viewSize() const { return window->videoView()->size(); }
};

TEST_F(Snapshot, SavesTheWholeViewAsShownTopRowFirstAndFollowsTheViewsSize) {
    SimProcess sim({"--listen", "127.0.0.1:0", "--account", "admin:1234:2:4"});
    writeList({Entry("127.0.0.1:" + std::to_string(sim.port()), "Gate")});
    startApp();
    BoxAnswerer answerer;
    select(0);
    chooseFromMenu(0, QStringLiteral("connectDVR"));
    ASSERT_TRUE(WaitUntil([&] { return vc->GetNetCtrlStruct(0).NetWorking.load() == 1; }));
    window->splitButton(4)->click();
    waitForVideo();

    // No ~/Desktop here: the dialog starts in the home folder and proposes "pic".
    const auto seen = capture(QStringLiteral("first"), true);
    ASSERT_TRUE(seen.has_value());
    EXPECT_EQ(seen->folder, QDir(QString::fromStdString(home_.path())).absolutePath());
    EXPECT_EQ(seen->name, QStringLiteral("pic"));
    EXPECT_EQ(seen->suffix, QStringLiteral("jpeg"));
    EXPECT_TRUE(seen->videoRan);

    const QString first = QString::fromStdString(home_.file("first.jpeg"));
    QImage shot(first);
    ASSERT_FALSE(shot.isNull()) << "no JPEG at " << first.toStdString();
    EXPECT_EQ(shot.size(), viewSize());
    // Each pane in its place, right way up (the light band of the top panes in the first rows),
    // colours converted exactly once and red and blue not swapped; JPEG blurs a little.
    EXPECT_TRUE(panesShowChannels(shot, 30));
    const Rgb topBand = Bt601(200, TestPatternChroma(0).cb, TestPatternChroma(0).cr);
    EXPECT_TRUE(Near(shot.pixel(pane(0, shot.height()).right() - 4, 1), topBand, 30));
    const QRgb bluish =
        CommonColour(shot, 10, pane(0, shot.height()).right(), pane(0, shot.height()).center().y());
    const QRgb reddish =
        CommonColour(shot, pane(1, shot.height()).center().x(), pane(1, shot.height()).right(),
                     pane(1, shot.height()).center().y());
    EXPECT_GT(qBlue(bluish), qRed(bluish) + 40);
    EXPECT_GT(qRed(reddish), qBlue(reddish) + 40);

    // The window grows: the next snapshot has the new size, all of it.
    const QSize before = viewSize();
    window->resize(window->width() + 160, window->height() + 120);
    ASSERT_TRUE(WaitUntil([&] { return viewSize() != before; }));
    waitForVideo();
    ASSERT_TRUE(capture(QStringLiteral("second.jpeg")).has_value());
    QImage grown(QString::fromStdString(home_.file("second.jpeg")));
    ASSERT_FALSE(grown.isNull());
    EXPECT_EQ(grown.size(), viewSize());
    EXPECT_GT(grown.width(), before.width());
    EXPECT_TRUE(panesShowChannels(grown, 30));
}

TEST_F(Snapshot, StartsInTheDesktopFolderAndCancelWritesNothing) {
    const std::string desktop = home_.file("Desktop");
    std::filesystem::create_directories(desktop);
    startApp();
    const auto seen = capture(QString());
    ASSERT_TRUE(seen.has_value());
    EXPECT_EQ(seen->folder, QDir(QString::fromStdString(desktop)).absolutePath());
    EXPECT_EQ(seen->name, QStringLiteral("pic"));
    Pump(100ms);
    EXPECT_TRUE(std::filesystem::is_empty(desktop));
    for (const auto& entry : std::filesystem::recursive_directory_iterator(home_.path())) {
        EXPECT_NE(entry.path().extension(), ".jpeg") << entry.path();
    }

    // A name without the extension gets it.
    ASSERT_TRUE(capture(QStringLiteral("grey")).has_value());
    QImage grey(QString::fromStdString(desktop + "/grey.jpeg"));
    ASSERT_FALSE(grey.isNull());
    EXPECT_TRUE(Near(grey.pixel(grey.width() / 2, grey.height() / 2), Rgb{122, 122, 122}, 4));
}

TEST(CaptureBuffer, FollowsTheSizeAskedForAndIsMadeAgainAfterAFailure) {
    CaptureBuffer buffer(64 * 64 * 4);
    EXPECT_FALSE(buffer.ensure(65, 64));  // too large: missing, not a stale smaller buffer
    EXPECT_EQ(buffer.data(), nullptr);
    EXPECT_EQ(buffer.width(), 0);
    EXPECT_FALSE(buffer.ensure(0, 10));
    EXPECT_EQ(buffer.data(), nullptr);
    ASSERT_TRUE(buffer.ensure(64, 64));
    EXPECT_NE(buffer.data(), nullptr);
    ASSERT_TRUE(buffer.ensure(32, 16));
    EXPECT_EQ(buffer.width(), 32);
    EXPECT_EQ(buffer.height(), 16);
    EXPECT_EQ(buffer.rowBytes(), 128);
    EXPECT_FALSE(buffer.ensure(100, 100));
    EXPECT_EQ(buffer.data(), nullptr);
}

TEST(CaptureBuffer, FlippingTurnsTheRowsOverAndKeepsTheMiddleOfAnOddHeight) {
    CaptureBuffer buffer;
    ASSERT_TRUE(buffer.ensure(2, 3));
    for (int row = 0; row < 3; ++row) {
        std::memset(buffer.data() + row * buffer.rowBytes(), row + 1, buffer.rowBytes());
    }
    buffer.flipRows();
    EXPECT_EQ(buffer.data()[0], 3);
    EXPECT_EQ(buffer.data()[buffer.rowBytes()], 2);
    EXPECT_EQ(buffer.data()[2 * buffer.rowBytes() + 7], 1);
}

}  // namespace
