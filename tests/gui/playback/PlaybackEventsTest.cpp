// The recordings' event flags in the playback window against the simulator: the map's colours,
// the filter, and the jumps of N and Shift+N.
#include <QCheckBox>
#include <QDateTimeEdit>
#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <QTest>

#include <cstdio>

#include "gui/playback/EventStrip.h"
#include "gui/playback/NetPlayBack.h"
#include "tests/gui/UiFixture.h"
#include "tests/gui/playback/PlaybackPictures.h"
#include "tests/support/ClientFixture.h"

namespace {

// Channels 0 and 1 record 10:00-10:30 in 10-minute files. Channel 0's 10:10 file is flagged
// motion, its 10:20 file video loss; channel 1's 10:20 file sensor. A file marks the slots it
// touches: 10:00-10:10 slots 120..122, 10:10-10:20 122..124, 10:20-10:30 124..126.
class PlaybackEvents : public UiTest {
  protected:
    void SetUp() override {
        UiTest::SetUp();
        sim = std::make_unique<SimProcess>(
            std::vector<std::string>{"--listen",    "127.0.0.1:0",
                                     "--account",   "admin:1234:2:4",
                                     "--rec",       "0=10:00-10:30",
                                     "--rec",       "1=10:00-10:30",
                                     "--rec-split", "600",
                                     "--rec-days",  "-1:1",
                                     "--rec-event", "0=motion@10:12-10:13",
                                     "--rec-event", "0=loss@10:25-10:26",
                                     "--rec-event", "1=sensor@10:22-10:23",
                                     "--log",       logs.File("dvr.log")});
        WriteList({Entry(At(*sim), "Gate")});
        StartApp();
        Select(0);
        ChooseFromMenu(0, u"NetPlayBack"_s);
        ASSERT_TRUE(WaitUntil([&] { return NetPlayBack::Existing(); }, 30s));
        w = NetPlayBack::Existing();
        // Band 1 shows channel 1 too.
        w->ButtonCh2->setCurrentIndex(2);
        w->ActionCh2();
        ASSERT_TRUE(WaitUntil([&] { return Picture(w).pixel(241, 40) == kBlack; }, 30s))
            << "the map of both channels never showed";
        ASSERT_TRUE(vc->PlaybackRequestsIdle(10s));
    }

    // The picture the map must give: band -> [first slot, last slot, kind] spans.
    static QImage Expected(std::initializer_list<std::array<int, 4>> spans) {
        QImage image = MapPicture(TimeMap{});
        for (const auto& [band, first, last, kind] : spans) {
            for (int x = 2 * first; x < 2 * last + 2; ++x) {
                for (int y = 30 * band + 6; y < 30 * band + 30; ++y) {
                    image.setPixel(x, y, EventStrip::KindColour(static_cast<uint8_t>(kind)).rgb());
                }
            }
        }
        return image;
    }
    void Press(bool shift) {
        QTest::keyClick(w, Qt::Key_N, shift ? Qt::ShiftModifier : Qt::NoModifier);
    }
    std::vector<std::string> Plays() const {
        return LinesStartingWith(ReadLines(logs.File("dvr.log")), "PLAY ");
    }

    TempDir logs;
    std::unique_ptr<SimProcess> sim;
    BoxAnswerer answerer;
    NetPlayBack* w = nullptr;
};

TEST_F(PlaybackEvents, TheMapColoursTheFlagsTheFilterHidesKindsAndNJumpsBetweenStarts) {
    // Sensor over motion over video loss over plain recording, per slot.
    EXPECT_EQ(Picture(w), Expected({{0, 120, 121, kKindRecorded},
                                    {0, 122, 124, kKindMotion},
                                    {0, 125, 126, kKindLoss},
                                    {1, 120, 123, kKindRecorded},
                                    {1, 124, 126, kKindSensor}}));
    EXPECT_EQ(w->eventStrip->bandSpans(0)->accessibleDescription(),
              u"motion 10:10-10:25, video loss 10:25-10:35"_s);
    EXPECT_EQ(w->eventStrip->bandSpans(1)->accessibleDescription(), u"sensor 10:20-10:35"_s);
    EXPECT_EQ(w->eventStrip->bandSpans(2)->accessibleDescription(), u"no events"_s);

    // Without motion and plain recordings: motion's slots go white or show the loss under it.
    w->eventStrip->filterBox(kKindMotion)->click();
    w->eventStrip->filterBox(kKindRecorded)->click();
    EXPECT_EQ(Picture(w), Expected({{0, 124, 126, kKindLoss}, {1, 124, 126, kKindSensor}}));
    w->eventStrip->filterBox(kKindRecorded)->click();

    // N and Shift+N from 09:00 with motion hidden: the flagged starts of loss and sensor only.
    w->activateWindow();
    ASSERT_TRUE(WaitUntil([&] { return w->isActiveWindow(); }));
    w->DateTime->setTime(QTime(9, 0));
    w->DateTime->setFocus();  // the keys work wherever the focus is
    ASSERT_TRUE(w->DateTime->hasFocus());
    ASSERT_TRUE(vc->PlaybackRequestsIdle(10s));
    Press(false);
    EXPECT_EQ(w->DateTime->time(), QTime(10, 20));
    EXPECT_EQ(w->slider->value(), 124);
    // Nothing later: nothing moves and the status line says so.
    Press(false);
    EXPECT_EQ(w->DateTime->time(), QTime(10, 20));
    EXPECT_TRUE(w->eventStrip->note()->isVisible());
    EXPECT_TRUE(w->eventStrip->note()->text().contains(u"No later event"_s));
    Press(true);
    EXPECT_EQ(w->DateTime->time(), QTime(10, 20));
    w->eventStrip->filterBox(kKindMotion)->click();
    Press(true);
    EXPECT_EQ(w->DateTime->time(), QTime(10, 10));
    EXPECT_EQ(w->slider->value(), 122);
    EXPECT_FALSE(w->eventStrip->note()->isVisible());
    // Channel 1 alone: its sensor file is the only event.
    w->ButtonCh1->setCurrentIndex(0);
    w->eventStrip->nextButton()->click();
    EXPECT_EQ(w->DateTime->time(), QTime(10, 20));
    w->eventStrip->previousButton()->click();
    EXPECT_EQ(w->DateTime->time(), QTime(10, 20));

    // While a play runs the jump plays from the event's start.
    w->ButtonCh1->setCurrentIndex(1);
    w->DateTime->setTime(QTime(10, 0));
    ASSERT_TRUE(vc->PlaybackRequestsIdle(10s));
    w->ButtonPlay->click();
    ASSERT_TRUE(WaitUntil([&] { return Plays().size() == 1; }));
    ASSERT_TRUE(WaitUntil([&] { return PaneShows(0, 0); }, 15s));
    w->eventStrip->nextButton()->click();
    ASSERT_TRUE(WaitUntil([&] { return Plays().size() == 2; }));
    int start = -1;
    EXPECT_EQ(std::sscanf(Plays().back().c_str(), "PLAY start=%d", &start), 1);
    EXPECT_EQ(start, 36600);
    EXPECT_TRUE(answerer.boxes().isEmpty());
}

}  // namespace
