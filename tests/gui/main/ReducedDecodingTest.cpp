// Reduced decoding as the window drives it: a split of small panes decodes its channels without
// the deblocking filter, a zoom makes the zoomed channel full again at a key frame it asked for,
// the figures say which channels are reduced, and a snapshot waits for full pictures.
#include <QApplication>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QPushButton>

#include <filesystem>

#include "core/dvr/DvrSlot.h"
#include "gui/main/VideoView.h"
#include "gui/main/video/ReducedDecoding.h"
#include "tests/gui/UiFixture.h"

namespace {

using Shown = ReducedDecoding::Shown;

TEST(ReducedDecoding, AChannelIsReducedWhenEveryPaneShowingItIsAtMostHalfItsPicture) {
    struct Case {
        const char* what;
        std::vector<Shown> shown;
        uint32_t dvr0;
        uint32_t dvr3;
    };
    const Case cases[] = {
        {"exactly half", {{0, 2, 176, 144, 352, 288}}, 1u << 2, 0},
        {"a pixel wider", {{0, 2, 177, 144, 352, 288}}, 0, 0},
        {"a pixel taller", {{0, 2, 176, 145, 352, 288}}, 0, 0},
        {"a D1 picture", {{3, 31, 300, 200, 704, 576}}, 0, 1u << 31},
        {"size unknown yet", {{0, 1, 10, 10, 0, 0}}, 0, 0},
        {"the largest pane counts",
         {{0, 1, 100, 80, 352, 288}, {0, 1, 400, 300, 352, 288}, {0, 4, 100, 80, 352, 288}},
         1u << 4,
         0},
        {"outside the tables", {{64, 0, 1, 1, 352, 288}, {0, 32, 1, 1, 352, 288}}, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::vector<uint32_t> masks = ReducedDecoding::Masks(c.shown);
        ASSERT_EQ(masks.size(), static_cast<std::size_t>(kMaxDvrs));
        EXPECT_EQ(masks[0], c.dvr0);
        EXPECT_EQ(masks[3], c.dvr3);
    }
}

class Reduced : public UiTest {
  protected:
    const ReducedChannels& Channels() { return vc->Slot(0).reducedChannels(); }
    int KeyFramesSent() {
        return static_cast<int>(LinesStartingWith(ReadLines(log), "KEYFRAME").size());
    }
    QString Figures(int pane) { return window->paneCaptions().TextFor(*vc, pane); }

    TempDir logs;
    std::string log = logs.File("dvr.log");
    BoxAnswerer answerer;
};

TEST_F(Reduced, SmallPanesDecodeReducedAZoomGoesFullAtAKeyFrameAndASnapshotWaitsForFullPictures) {
    // Key frames only when asked for (and at the start): the switch to full waits for one.
    SimProcess sim(
        {"--listen", "127.0.0.1:0", "--account", "admin:1234:2:4", "--gop", "1000", "--log", log});
    WriteList({Entry(At(sim), "Gate")});
    StartApp();
    ConnectDvr(0);
    window->paneCaptions().figures = true;
    window->splitButton(4)->click();
    ASSERT_TRUE(WaitUntil([&] { return vc->GetNetCtrlStruct(0).stats[3].decoded.load() > 3; }));
    Pump(1200ms);  // the size of the pictures is known: still nothing to reduce
    EXPECT_EQ(Channels().wanted(), 0u);
    EXPECT_FALSE(Figures(0).contains(u"reduced"_s)) << Figures(0).toStdString();

    // 36 panes on this window: each is under half of a CIF picture.
    ASSERT_LE(window->videoView()->width() * window->videoView()->devicePixelRatio(), 6 * 176);
    window->splitButton(36)->click();
    ASSERT_TRUE(WaitUntil([&] { return Channels().wanted() == 0xFu; }, 3s));
    ASSERT_TRUE(WaitUntil([&] { return Channels().applied() == 0xFu; }, 3s));
    EXPECT_TRUE(Figures(2).startsWith(u"reduced  "_s)) << Figures(2).toStdString();

    // A zoom shows channel 1 large: full again from a key frame the client asked for.
    const int keysBefore = KeyFramesSent();
    const uint32_t fullBefore = Channels().FullPictures(1);
    ClickPane(1);
    ASSERT_EQ(vc->LayoutCopy().iShowChanNum, 1);
    EXPECT_TRUE(WaitUntil([&] { return Channels().wanted() == 0u; }, 3s));
    EXPECT_TRUE(WaitUntil([&] { return (Channels().applied() & 2u) == 0; }, 5s));
    EXPECT_TRUE(WaitUntil([&] { return Channels().FullPictures(1) > fullBefore + 3; }, 5s));
    EXPECT_GT(KeyFramesSent(), keysBefore);
    EXPECT_TRUE(WaitUntil([&] { return RegionShows(Surface(), Pane(1), 1); }));
    EXPECT_FALSE(Figures(1).contains(u"reduced"_s)) << Figures(1).toStdString();

    // Back to the wall: reduced again. A snapshot first makes every channel full and opens its
    // dialog once each has shown full pictures; then the wall is reduced again.
    ClickPane(1);
    ASSERT_TRUE(WaitUntil([&] { return Channels().applied() == 0xFu; }, 3s));
    uint32_t fullAtStart[4];
    for (int ch = 0; ch < 4; ++ch) {
        fullAtStart[ch] = Channels().FullPictures(ch);
    }
    bool waited = false;
    bool fullWhenOpen = false;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        waited = waited || window->videoView()->awaitingFullPictures();
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        if (!dialog || !dialog->isVisible()) {
            return;
        }
        poll.stop();
        fullWhenOpen = true;
        for (int ch = 0; ch < 4; ++ch) {
            fullWhenOpen = fullWhenOpen && Channels().FullPictures(ch) >= fullAtStart[ch] + 3;
        }
        dialog->findChild<QLineEdit*>(u"fileNameEdit"_s)->setText(u"wall"_s);
        dialog->findChild<QDialogButtonBox*>(u"buttonBox"_s)
            ->button(QDialogButtonBox::Save)
            ->click();
    });
    poll.start(10);
    window->captureButton()->click();
    EXPECT_EQ(Channels().wanted(), 0u);  // at once, while the GUI goes on
    const std::string shot = home_.File("wall.jpeg");
    ASSERT_TRUE(WaitUntil([&] { return std::filesystem::exists(shot); }, 8s));
    EXPECT_TRUE(waited);
    EXPECT_TRUE(fullWhenOpen);
    EXPECT_TRUE(WaitUntil([&] { return Channels().applied() == 0xFu; }, 3s));
}

}  // namespace
