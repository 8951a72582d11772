// What the panes say, read back from the surface: a silent camera's pane dims its last picture
// and says since when; a lost DVR's panes turn grey with its name and the wait for the next
// attempt; its pictures come back by themselves; a disconnected DVR leaves plain grey.
#include <QImage>
#include <QOpenGLContext>
#include <QPushButton>
#include <QSurfaceFormat>

#include "core/decode/PixelConversion.h"
#include "gui/main/VideoView.h"
#include "tests/gui/UiFixture.h"

namespace {

using namespace std::chrono_literals;

TEST_F(UiTest, PanesSayWhenTheirPictureIsOldTheirDvrOfflineOrDisconnected) {
    // Three seconds of pictures, then a DVR that stays connected and sends nothing.
    SimProcess sim({"--listen", "127.0.0.1:0", "--account", "admin:1234:2:2", "--fault",
                    "blackhole-once:150"});
    WriteList({Entry("127.0.0.1:" + std::to_string(sim.port()), "Gate")});
    StartApp();
    vc->limits.streamSilence = 3s;
    vc->limits.lostAfterKeyRequest = 1s;
    vc->limits.reconnectFirst = 3s;
    BoxAnswerer answerer;
    Select(0);
    ChooseFromMenu(0, QStringLiteral("connectDVR"));
    window->splitButton(4)->click();
    ASSERT_TRUE(WaitUntil([&] { return PaneShows(0, 0); }));
    const double live = LookOf(Surface(), Pane(0)).brightness;

    // Stale: the last picture, dimmed, with a line of text. The DVR goes quiet after 150 frames,
    // about 3 s of its stream: a loaded, sanitized run may show them well after that.
    ASSERT_TRUE(WaitUntil([&] { return LookOf(Surface(), Pane(0)).brightness < live * 0.6; }, 16s));
    Look stale = LookOf(Surface(), Pane(0));
    EXPECT_GT(stale.white, 30) << "no text over the stale picture";
    EXPECT_FALSE(PaneShows(0, 0));

    // Lost: grey, the DVR's name and the wait, at once; no picture stays.
    ASSERT_TRUE(WaitUntil([&] { return !answerer.boxes().isEmpty(); }, 10s));
    ASSERT_TRUE(WaitUntil([&] { return LookOf(Surface(), Pane(0)).grey > 0; }, 2s));
    Look offline = LookOf(Surface(), Pane(0));
    EXPECT_GT(offline.grey, offline.pixels / 2);
    EXPECT_GT(offline.white, 30) << "no text on the offline pane";
    EXPECT_TRUE(Titles().value(0).startsWith(u"Gate \u2014 reconnecting in "_s))
        << Titles().value(0).toStdString();

    // Back by itself, with no operator action: pictures again, the mark gone.
    ASSERT_TRUE(WaitUntil([&] { return PaneShows(0, 0); }, 10s));
    EXPECT_EQ(answerer.boxes().size(), 1);
    EXPECT_EQ(Titles().value(0), QStringLiteral("Gate"));

    // Disconnected by the operator: plain grey, no text, no picture.
    ChooseFromMenu(0, QStringLiteral("DisconnectDVR"));
    ASSERT_TRUE(WaitUntil(
        [&] {
            const Look look = LookOf(Surface(), Pane(0));
            return look.grey == look.pixels;
        },
        3s));
}

}  // namespace

namespace {

// The surface's shaders on OpenGL ES, which wants what desktop OpenGL does not (a precision):
// a picture in a pane comes out in its colours.
TEST(VideoSurfaceEs, DrawsAPictureOnAnOpenGlEsContext) {
    LoneSurface lone;
    VideoView view(lone.context);
    QWindow* surface = view.surfaceWindow();
    QSurfaceFormat es = surface->format();
    es.setRenderableType(QSurfaceFormat::OpenGLES);
    es.setVersion(2, 0);
    surface->setFormat(es);
    view.resize(320, 240);
    view.show();
    ASSERT_TRUE(WaitUntil([&] { return view.surfaceContext() != nullptr; }));
    ASSERT_EQ(view.surfaceContext()->isOpenGLES(), true);
    // A flat 352x288 picture: Y 81, Cb 90, Cr 240 (a red).
    std::vector<uint8_t> i420(352 * 288 * 3 / 2, 81);
    std::fill(i420.begin() + 352 * 288, i420.begin() + 352 * 288 * 5 / 4, uint8_t{90});
    std::fill(i420.begin() + 352 * 288 * 5 / 4, i420.end(), uint8_t{240});
    {
        PaneBuffers::Pane& pane = (*lone.context.panes())[0];
        std::lock_guard<std::mutex> g(pane.lock);
        DataChange(pane.pixels, i420.data(), 2);
        pane.sizeFrame = 2;
        view.clearScreen(1);
        view.renderCurrentFrame(PaneRect{0, 0, 320, 240}, 0, 1);
    }
    ASSERT_TRUE(
        WaitUntil([&] { return Near(view.GrabSurface().pixel(160, 120), Bt601(81, 90, 240)); }));
}

}  // namespace
