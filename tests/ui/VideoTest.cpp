// Live video in the window under Xvfb: the surface is read back and each pane must show its
// channel's picture, right way up; a zoom fills the surface with one channel; a layout change
// clears to grey.
#include <QApplication>
#include <QImage>
#include <QMouseEvent>
#include <QPushButton>

#include <algorithm>
#include <cstdlib>
#include <map>

#include "display/VideoView.h"
#include "tests/ui/UiFixture.h"
#include "tools/dvrsim/TestPattern.h"

namespace {

using namespace std::chrono_literals;

struct Rgb {
    int r, g, b;
};

// BT.601, limited range: what the surface must show for a luma/chroma sample.
Rgb Bt601(int y, int cb, int cr) {
    const double yy = 1.164383 * (y - 16);
    auto clamp = [](double v) { return std::clamp(static_cast<int>(v + 0.5), 0, 255); };
    return {clamp(yy + 1.596027 * (cr - 128)),
            clamp(yy - 0.391762 * (cb - 128) - 0.812968 * (cr - 128)),
            clamp(yy + 2.017232 * (cb - 128))};
}

bool Near(QRgb pixel, Rgb expected, int tolerance = 14) {
    return std::abs(qRed(pixel) - expected.r) <= tolerance &&
           std::abs(qGreen(pixel) - expected.g) <= tolerance &&
           std::abs(qBlue(pixel) - expected.b) <= tolerance;
}

// The most common colour along a horizontal line of a region: the flat background wins over the
// moving bar and the digits.
QRgb CommonColour(const QImage& image, int left, int right, int y) {
    std::map<QRgb, int> seen;
    for (int x = left; x < right; ++x) {
        ++seen[image.pixel(x, y) & 0xF0F0F0];  // small coding noise falls together
    }
    return std::max_element(seen.begin(), seen.end(),
                            [](auto& a, auto& b) { return a.second < b.second; })
        ->first;
}

class WindowVideo : public UiTest {
  protected:
    // The surface's image and a pane's rectangle in it (Qt's top-left coordinates).
    QImage surface() { return window->videoView()->grabSurface(); }
    QRect paneOnScreen(int pane) {
        const PaneRect r = vc->LayoutCopy().m_screenRect[pane].FrameRect;
        const int h = window->videoView()->height();
        return QRect(static_cast<int>(r.x), h - static_cast<int>(r.y + r.height),
                     static_cast<int>(r.width), static_cast<int>(r.height));
    }
    // Whether pane `pane` shows camera `channel`: its background colour in the middle, the light
    // band at the top and the dark band at the bottom.
    bool paneShows(const QImage& image, int pane, int channel) {
        const QRect p = paneOnScreen(pane);
        const PatternChroma c = TestPatternChroma(channel);
        const Rgb background = Bt601(TestPatternBackground(channel), c.cb, c.cr);
        const Rgb top = Bt601(200, c.cb, c.cr);
        const Rgb bottom = Bt601(30, c.cb, c.cr);
        const int left = p.left() + p.width() / 2;
        const int right = p.right() - 2;
        return Near(CommonColour(image, left, right, p.top() + p.height() * 3 / 5) | 0x080808,
                    background, 18) &&
               Near(image.pixel(p.right() - 4, p.top() + 3), top, 24) &&
               Near(image.pixel(p.right() - 4, p.bottom() - 3), bottom, 24);
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
    ASSERT_TRUE(WaitUntil([&] { return vc->NetCtrl[0].NetWorking.load() == 1; }));
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
