// Reduced decoding as the window drives it: a split of small panes decodes its channels without
// the deblocking filter, a zoom makes the zoomed channel full again at a key frame it asked for,
// the figures say which channels are reduced, and a snapshot waits for full pictures; a channel
// that leaves the panes gives its decoder back at once.
#include <QApplication>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QPushButton>

#include <filesystem>
#include <fstream>

#include "core/dvr/DvrSlot.h"
#include "gui/main/VideoView.h"
#include "tests/gui/UiFixture.h"
#include "tests/support/H264Clip.h"

namespace {

using Luma = std::vector<uint8_t>;

class Reduced : public UiTest {
  protected:
    // Every camera loops a deblocked CIF clip with one IDR picture at its start (also sent when
    // a key frame is asked for); the luma of each of its pictures, decoded in full and reduced.
    Reduced() {
        const std::vector<AccessUnit> clip = EncodeClip(352, 288, 50, 1000, 0, false, true);
        std::ofstream out(file, std::ios::binary);
        for (const AccessUnit& unit : clip) {
            out.write(reinterpret_cast<const char*>(unit.data()),
                      static_cast<std::streamsize>(unit.size()));
        }
        for (bool reduce : {false, true}) {
            for (std::vector<uint8_t>& picture : DecodeClip(clip, 0, 50, reduce)) {
                picture.resize(352 * 288);
                (reduce ? reduced : full).push_back(std::move(picture));
            }
        }
    }
    // Whether pane `pane`'s buffer holds one of `pictures` (its luma, every second byte): whole,
    // or at half its width and height (every second sample of every second row).
    bool PaneHolds(int pane, const std::vector<Luma>& pictures, bool halved) {
        const int w = halved ? 176 : 352;
        const int h = halved ? 144 : 288;
        Luma luma(static_cast<std::size_t>(w * h));
        {
            PaneBuffers::Pane& p = vc->layout().AVDataFrame[pane];
            std::lock_guard<std::mutex> g(p.lock);
            if (p.sizeFrame != 2 || p.halved != halved) {
                return false;
            }
            for (std::size_t i = 0; i < luma.size(); ++i) {
                luma[i] = p.pixels[2 * i];
            }
        }
        const int step = halved ? 2 : 1;
        return std::any_of(pictures.begin(), pictures.end(), [&](const Luma& picture) {
            for (int r = 0; r < h; ++r) {
                for (int x = 0; x < w; ++x) {
                    if (luma[r * w + x] != picture[r * step * 352 + x * step]) {
                        return false;
                    }
                }
            }
            return true;
        });
    }
    const ReducedChannels& Channels() { return vc->Slot(0).reducedChannels(); }
    int KeyFramesSent() {
        return static_cast<int>(LinesStartingWith(ReadLines(log), "KEYFRAME").size());
    }
    QString Figures(int pane) { return window->paneCaptions().TextFor(*vc, pane); }

    TempDir logs;
    std::string log = logs.File("dvr.log");
    std::string file = logs.File("cam.h264");
    std::vector<Luma> full;
    std::vector<Luma> reduced;
    BoxAnswerer answerer;
};

TEST_F(Reduced, SmallPanesDecodeReducedAZoomGoesFullAtAKeyFrameAndASnapshotWaitsForFullPictures) {
    for (std::size_t i = 0; i < full.size(); ++i) {
        ASSERT_NE(full[i], reduced[i]) << "the filter left picture " << i << " alone";
    }
    SimProcess sim(
        {"--listen", "127.0.0.1:0", "--account", "admin:1234:2:4", "--h264", file, "--log", log});
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
    // The clip comes round to its IDR picture: from there the pane shows reduced pictures, at
    // half their size (all the pane can show).
    EXPECT_TRUE(WaitUntil([&] { return PaneHolds(1, reduced, true); }, 5s));

    // A zoom shows channel 1 large: full again from a key frame the client asked for.
    const int keysBefore = KeyFramesSent();
    const uint32_t fullBefore = Channels().FullPictures(1);
    ClickPane(1);
    ASSERT_EQ(vc->LayoutCopy().iShowChanNum, 1);
    EXPECT_TRUE(WaitUntil([&] { return Channels().wanted() == 0u; }, 3s));
    EXPECT_TRUE(WaitUntil([&] { return (Channels().applied() & 2u) == 0; }, 5s));
    EXPECT_TRUE(WaitUntil([&] { return Channels().FullPictures(1) > fullBefore + 3; }, 5s));
    EXPECT_GT(KeyFramesSent(), keysBefore);
    // Exactly a picture of a full decode.
    EXPECT_TRUE(WaitUntil([&] { return PaneHolds(1, full, false); }, 1500ms));
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

// The window tells the DVR which channels its panes show: one that leaves them keeps no decoder
// (long before a silent stream's would go), and one that comes back shows whole pictures again.
TEST_F(Reduced, AChannelThatLeavesThePanesGivesItsDecoderBackAndComesBackWhole) {
    SimProcess sim(
        {"--listen", "127.0.0.1:0", "--account", "admin:1234:2:4", "--h264", file, "--log", log});
    WriteList({Entry(At(sim), "Gate")});
    StartApp();
    vc->limits.decoderIdle = 60s;
    ConnectDvr(0);
    window->splitButton(4)->click();
    DvrSlot& slot = vc->Slot(0);
    ASSERT_TRUE(WaitUntil([&] { return slot.ShownChannels() == 0xFu; }, 3s));
    ASSERT_TRUE(WaitUntil([&] { return slot.Memory().decodersOpen == 4; }, 5s));

    ClickPane(2);  // camera 3 alone
    ASSERT_EQ(vc->LayoutCopy().iShowChanNum, 1);
    EXPECT_TRUE(WaitUntil([&] { return slot.ShownChannels() == 0x4u; }, 3s));
    EXPECT_TRUE(WaitUntil([&] { return slot.Memory().decodersOpen == 1; }, 3s));

    ClickPane(2);  // back to the four
    EXPECT_TRUE(WaitUntil([&] { return slot.ShownChannels() == 0xFu; }, 3s));
    const uint32_t before = vc->GetNetCtrlStruct(0).stats[3].decoded.load();
    EXPECT_TRUE(WaitUntil(
        [&] { return vc->GetNetCtrlStruct(0).stats[3].decoded.load() > before + 3; }, 5s));
    EXPECT_TRUE(WaitUntil([&] { return PaneHolds(3, full, false); }, 3s));
    for (int ch = 0; ch < 4; ++ch) {
        EXPECT_EQ(vc->GetNetCtrlStruct(0).stats[ch].dropped.load(), 0u) << "channel " << ch;
    }
}

}  // namespace
