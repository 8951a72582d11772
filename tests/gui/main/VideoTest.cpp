// Live video in the window under Xvfb, read back from the surface: each pane must show its
// channel's picture, right way up; a zoom fills the surface with one channel; a layout change
// clears to grey; a snapshot saves what is shown as a JPEG.
#include <QApplication>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>

#include <cstring>
#include <filesystem>

#include "gui/main/VideoView.h"
#include "gui/main/video/CaptureBuffer.h"
#include "tests/gui/UiFixture.h"

namespace {

class WindowVideo : public UiTest {
  protected:
    void WaitForVideo() {
        ASSERT_TRUE(WaitUntil([&] { return PanesShowChannels(Surface()); }, 15s))
            << "the panes never showed their channels";
    }
    // Whether the X server shows what the surface holds, where the surface is on the screen:
    // the pictures must reach the screen, not only the surface's buffer.
    bool ScreenShowsSurface() const {
        VideoView* view = window->videoView();
        const QImage drawn = Surface();
        const QRect global(view->mapToGlobal(QPoint(0, 0)), drawn.size());
        const QRect visible = global.intersected(view->screen()->geometry());
        const QImage shown =
            view->screen()
                ->grabWindow(0, visible.x(), visible.y(), visible.width(), visible.height())
                .toImage();
        int same = 0;
        int all = 0;
        for (int y = 0; y < shown.height(); y += 4) {
            for (int x = 0; x < shown.width(); x += 4) {
                const QPoint in = QPoint(x, y) + visible.topLeft() - global.topLeft();
                const QRgb d = drawn.pixel(in);
                same += Near(shown.pixel(x, y), Rgb{qRed(d), qGreen(d), qBlue(d)}, 2);
                ++all;
            }
        }
        return all > 1000 && same == all;
    }
    QSize ViewSize() const { return window->videoView()->size(); }
    // A pane's rectangle in an image of the surface.
    QRect pane(int p, const QImage& image) const { return PaneOnScreen(*vc, p, image.height()); }
    bool PanesShowChannels(const QImage& image, int tolerance = 24) const {
        for (int ch = 0; ch < 4; ++ch) {
            if (!RegionShows(image, pane(ch, image), ch, tolerance)) {
                return false;
            }
        }
        return true;
    }
    // Clicks the capture button and answers the save dialog: with a file name typed into it, or
    // Cancel when `name` is empty. Returns what the dialog showed: its folder, the name and the
    // suffix it proposed, and (when asked to watch) whether the pictures moved on meanwhile.
    QStringList Capture(const QString& name, bool watchVideo = false) {
        QStringList seen;
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, [&] {
            auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            if (!dialog || !dialog->isVisible() || !seen.isEmpty()) {
                return;
            }
            auto* edit = dialog->findChild<QLineEdit*>(u"fileNameEdit"_s);
            seen = {dialog->directory().absolutePath(), edit->text(), dialog->defaultSuffix()};
            if (watchVideo) {
                const QImage first = Surface();
                seen << (WaitUntil([&] { return Surface() != first; }, 3s) ? u"moved"_s
                                                                           : u"still"_s);
            }
            if (name.isEmpty()) {
                dialog->reject();
            } else {
                edit->setText(name);
                // As the operator does: the Save button.
                auto* box = dialog->findChild<QDialogButtonBox*>(u"buttonBox"_s);
                box->button(QDialogButtonBox::Save)->click();
            }
        });
        poll.start(20);
        window->captureButton()->click();
        return seen;
    }

    BoxAnswerer answerer;
};

// A DVR of four cameras in four panes: each pane shows its channel, right way up; a snapshot
// saves them as shown; a click zooms a pane over the surface.
TEST_F(WindowVideo, EachPaneShowsItsChannelASnapshotSavesThemAsShownAndAZoomFillsTheSurface) {
    SimProcess sim({"--listen", "127.0.0.1:0", "--account", "admin:1234:2:4"});
    WriteList({Entry(At(sim), "Gate")});
    StartApp();
    ConnectDvr(0);
    window->splitButton(4)->click();
    ASSERT_NO_FATAL_FAILURE(WaitForVideo());
    EXPECT_TRUE(WaitUntil([&] { return ScreenShowsSurface(); }, 5s));
    // With one DVR selected, the splits above 36 are not offered.
    EXPECT_FALSE(window->splitButton(49)->isEnabled());
    EXPECT_FALSE(window->splitButton(256)->isEnabled());
    EXPECT_TRUE(window->splitButton(36)->isEnabled());

    // No ~/Desktop here: the dialog starts in the home folder and proposes "pic", while the
    // pictures move on.
    EXPECT_EQ(Capture(u"first"_s, true),
              (QStringList{QDir(QString::fromStdString(home_.path())).absolutePath(), u"pic"_s,
                           u"jpeg"_s, u"moved"_s}));
    const QImage shot(QString::fromStdString(home_.File("first.jpeg")));
    ASSERT_FALSE(shot.isNull()) << "no JPEG saved";
    EXPECT_EQ(shot.size(), ViewSize());
    // Each pane in its place, right way up (the light band of the top panes in the first rows),
    // colours converted exactly once and red and blue not swapped; JPEG blurs a little.
    EXPECT_TRUE(PanesShowChannels(shot, 30));
    const Rgb topBand = Bt601(200, TestPatternChroma(0).cb, TestPatternChroma(0).cr);
    EXPECT_TRUE(Near(shot.pixel(pane(0, shot).right() - 4, 1), topBand, 30));
    const QRgb bluish = CommonColour(shot, 10, pane(0, shot).right(), pane(0, shot).center().y());
    const QRgb reddish = CommonColour(shot, pane(1, shot).center().x(), pane(1, shot).right(),
                                      pane(1, shot).center().y());
    EXPECT_GT(qBlue(bluish), qRed(bluish) + 40);
    EXPECT_GT(qRed(reddish), qBlue(reddish) + 40);

    // The window grows: the next snapshot has the new size, all of it.
    const QSize before = ViewSize();
    window->resize(window->width() + 160, window->height() + 120);
    ASSERT_TRUE(WaitUntil([&] { return ViewSize() != before; }));
    ASSERT_NO_FATAL_FAILURE(WaitForVideo());
    EXPECT_TRUE(WaitUntil([&] { return ScreenShowsSurface(); }, 5s));
    ASSERT_FALSE(Capture(u"second.jpeg"_s).isEmpty());
    const QImage grown(QString::fromStdString(home_.File("second.jpeg")));
    EXPECT_EQ(grown.size(), ViewSize());
    EXPECT_GT(grown.width(), before.width());
    EXPECT_TRUE(PanesShowChannels(grown, 30));

    // A click on the top pixel row of pane 1 zooms it over the whole surface.
    Mouse(window->videoView(), QEvent::MouseButtonPress,
          {pane(1, Surface()).center().x() + 0.0, 0});
    EXPECT_EQ(vc->LayoutCopy().iShowChanNum, 1);
    ASSERT_TRUE(WaitUntil([&] { return RegionShows(Surface(), pane(1, Surface()), 1); }, 10s));
    EXPECT_EQ(pane(1, Surface()).size(), ViewSize());

    // Without new pictures, a layout change leaves the surface grey.
    vc->DisconnectDVR();
    Pump(200ms);
    const uint32_t zoomed = vc->layout().Generation();
    const PaneRect whole = vc->LayoutCopy().m_screenRect[1].FrameRect;
    window->splitButton(9)->click();
    auto grey = [&] {
        const QImage image = Surface();
        for (int y = 5; y < image.height(); y += image.height() / 7) {
            for (int x = 5; x < image.width(); x += image.width() / 7) {
                if (!Near(image.pixel(x, y), Rgb{122, 122, 122}, 2)) {
                    return false;
                }
            }
        }
        return true;
    };
    ASSERT_TRUE(WaitUntil(grey));
    EXPECT_TRUE(ScreenShowsSurface());  // with no picture to carry it there
    // A picture placed for the zoom but drawn after the change is dropped, not left in the
    // zoom's place; the same picture placed for the layout shown is drawn.
    window->videoView()->renderCurrentFrame(whole, 1, zoomed);
    Pump(200ms);
    EXPECT_TRUE(grey());
    window->videoView()->renderCurrentFrame(whole, 1, vc->layout().Generation());
    EXPECT_TRUE(WaitUntil([&] { return RegionShows(Surface(), Surface().rect(), 1); }));

    // The all-DVR view offers the large splits too.
    Deselect();
    Pump(50ms);
    EXPECT_TRUE(window->splitButton(49)->isEnabled());
    EXPECT_TRUE(window->splitButton(256)->isEnabled());
    window->splitButton(256)->click();
    EXPECT_EQ(vc->LayoutCopy().iShowChanNum, 256);
}

using Snapshot = WindowVideo;

TEST_F(Snapshot, StartsInTheDesktopFolderAndCancelWritesNothing) {
    const std::string desktop = home_.File("Desktop");
    std::filesystem::create_directories(desktop);
    StartApp();
    EXPECT_EQ(Capture(QString()), (QStringList{QDir(QString::fromStdString(desktop)).absolutePath(),
                                               u"pic"_s, u"jpeg"_s}));
    Pump(100ms);
    EXPECT_TRUE(std::filesystem::is_empty(desktop));
    for (const auto& entry : std::filesystem::recursive_directory_iterator(home_.path())) {
        EXPECT_NE(entry.path().extension(), ".jpeg") << entry.path();
    }

    // A name without the extension gets it.
    ASSERT_FALSE(Capture(u"grey"_s).isEmpty());
    const QImage grey(QString::fromStdString(desktop + "/grey.jpeg"));
    ASSERT_FALSE(grey.isNull());
    EXPECT_TRUE(Near(grey.pixel(grey.width() / 2, grey.height() / 2), Rgb{122, 122, 122}, 4));
}

TEST(CaptureBuffer, FollowsTheSizeAskedForIsMadeAgainAfterAFailureAndFlipsItsRows) {
    CaptureBuffer buffer(64 * 64 * 4);
    EXPECT_FALSE(buffer.Ensure(65, 64));  // too large: missing, not a stale smaller buffer
    EXPECT_EQ(buffer.data(), nullptr);
    EXPECT_EQ(buffer.width(), 0);
    EXPECT_FALSE(buffer.Ensure(0, 10));
    EXPECT_EQ(buffer.data(), nullptr);
    ASSERT_TRUE(buffer.Ensure(64, 64));
    EXPECT_NE(buffer.data(), nullptr);
    ASSERT_TRUE(buffer.Ensure(32, 16));
    EXPECT_EQ(buffer.width(), 32);
    EXPECT_EQ(buffer.height(), 16);
    EXPECT_EQ(buffer.rowBytes(), 128);
    EXPECT_FALSE(buffer.Ensure(100, 100));
    EXPECT_EQ(buffer.data(), nullptr);

    // An odd height keeps its middle row in place.
    ASSERT_TRUE(buffer.Ensure(2, 3));
    for (int row = 0; row < 3; ++row) {
        std::memset(buffer.data() + row * buffer.rowBytes(), row + 1, buffer.rowBytes());
    }
    buffer.FlipRows();
    EXPECT_EQ(buffer.data()[0], 3);
    EXPECT_EQ(buffer.data()[buffer.rowBytes()], 2);
    EXPECT_EQ(buffer.data()[2 * buffer.rowBytes() + 7], 1);
}

}  // namespace
