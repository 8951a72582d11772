// Live video in the window under Xvfb: the surface is read back and each pane must show its
// channel's picture, right way up; a zoom fills the surface with one channel; a layout change
// clears to grey.
#include <QApplication>
#include <QImage>
#include <QMouseEvent>
#include <QPushButton>

#include <cstdlib>

#include "gui/main/VideoView.h"
#include "tests/gui/PaneColours.h"
#include "tests/gui/UiFixture.h"

namespace {

using namespace std::chrono_literals;

class WindowVideo : public UiTest {
  protected:
    // The surface's image and a pane's rectangle in it (Qt's top-left coordinates).
    QImage surface() { return window->videoView()->grabSurface(); }
    QRect paneOnScreen(int pane) { return PaneOnScreen(*vc, pane, window->videoView()->height()); }
    // Whether pane `pane` shows camera `channel`.
    bool paneShows(const QImage& image, int pane, int channel) {
        return RegionShows(image, paneOnScreen(pane), channel);
    }
    void saveArtifact(const QString& name) {
        if (const char* dir = std::getenv("QUILLMARSH_TEST_ARTIFACTS")) {
            window->grab().save(QString::fromUtf8(dir) + QStringLiteral("/") + name);
        }
    }
};

TEST_F(WindowVideo, EachPaneShowsItsChannelTheRightWayUpAndAZoomFillsTheSurface) {
    SimProcess sim({"--listen", "127.0.0.1:0", "--account", "admin:1234:2:4"});
    writeList({Entry("127.0.0.1:" + std::to_string(sim.port()), "Gate")});
    startApp();
    BoxAnswerer answerer;
    select(0);
    chooseFromMenu(0, QStringLiteral("connectDVR"));
    ASSERT_TRUE(WaitUntil([&] { return vc->GetNetCtrlStruct(0).NetWorking.load() == 1; }));
    window->splitButton(4)->click();
    ASSERT_TRUE(WaitUntil(
        [&] {
            const QImage image = surface();
            for (int ch = 0; ch < 4; ++ch) {
                if (!paneShows(image, ch, ch)) {
                    return false;
                }
            }
            return true;
        },
        15s))
        << "the four panes never all showed their channels";
    saveArtifact(QStringLiteral("four-panes.png"));

    // A click in pane 2 zooms it over the whole surface.
    const QRect pane2 = paneOnScreen(2);
    QMouseEvent press(QEvent::MouseButtonPress, QPointF(pane2.center()),
                      window->videoView()->mapToGlobal(QPointF(pane2.center())), Qt::LeftButton,
                      Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(window->videoView(), &press);
    EXPECT_EQ(vc->LayoutCopy().iShowChanNum, 1);
    ASSERT_TRUE(WaitUntil([&] { return paneShows(surface(), 2, 2); }, 10s));
    const QRect whole = paneOnScreen(2);
    EXPECT_EQ(whole.width(), window->videoView()->width());
    EXPECT_EQ(whole.height(), window->videoView()->height());
    saveArtifact(QStringLiteral("zoomed.png"));

    // Without new pictures, a layout change leaves the surface grey.
    vc->DisconnectDVR();
    Pump(200ms);
    window->splitButton(9)->click();
    ASSERT_TRUE(WaitUntil([&] {
        const QImage image = surface();
        const QRgb grey = qRgb(122, 122, 122);
        for (int y = 5; y < image.height(); y += image.height() / 7) {
            for (int x = 5; x < image.width(); x += image.width() / 7) {
                if (std::abs(qRed(image.pixel(x, y)) - qRed(grey)) > 2 ||
                    std::abs(qBlue(image.pixel(x, y)) - qBlue(grey)) > 2) {
                    return false;
                }
            }
        }
        return true;
    }));
}

TEST_F(WindowVideo, TheLargeSplitsAreOfferedInTheAllDvrViewOnly) {
    writeList({Entry("127.0.0.1:1", "Gate")});
    startApp();
    select(0);
    Pump(50ms);
    EXPECT_FALSE(window->splitButton(49)->isEnabled());
    EXPECT_FALSE(window->splitButton(256)->isEnabled());
    EXPECT_TRUE(window->splitButton(36)->isEnabled());
    deselect();
    Pump(50ms);
    EXPECT_TRUE(window->splitButton(49)->isEnabled());
    EXPECT_TRUE(window->splitButton(256)->isEnabled());
    window->splitButton(256)->click();
    EXPECT_EQ(vc->LayoutCopy().iShowChanNum, 256);
}

}  // namespace
