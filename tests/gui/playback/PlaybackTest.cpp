// The playback window end to end against the simulator, whose recordings must show in the time
// map and play into the panes, without the window ever waiting for the DVR.
#include <QDateTimeEdit>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QSlider>
#include <QStyle>
#include <QStyleOptionSlider>

#include <cstdio>

#include "gui/main/VideoView.h"
#include "gui/main/video/PaneText.h"
#include "gui/playback/NetPlayBack.h"
#include "tests/gui/UiFixture.h"
#include "tests/gui/playback/PlaybackPictures.h"
#include "tests/support/ClientFixture.h"

namespace {

using Clock = std::chrono::steady_clock;

// Channel 0 records 10:00-10:30 and 13:05-13:20, channel 3 15:00-15:10, every day from yesterday
// to tomorrow (a search near midnight finds the same map). Slots are 5 minutes, 2 columns each:
// 10:00-10:30 marks slots 120..126 (the end lies in slot 126), 13:05-13:20 slots 157..160,
// 15:00-15:10 slots 180..182.
class PlaybackSession : public UiTest {
  protected:
    void OpenSession(const std::vector<std::string>& extra = {}) {
        std::vector<std::string> args{
            "--listen",       "127.0.0.1:0",   "--account",
            "admin:1234:2:4", "--rec",         "0=10:00-10:30,13:05-13:20",
            "--rec",          "3=15:00-15:10", "--rec-days",
            "-1:1",           "--log",         logs.File("dvr.log")};
        args.insert(args.end(), extra.begin(), extra.end());
        sim = std::make_unique<SimProcess>(args);
        WriteList({Entry(At(*sim), "Gate")});
        StartApp();
        Select(0);
        ChooseFromMenu(0, u"NetPlayBack"_s);
        ASSERT_TRUE(WaitUntil(
            [&] {
                NetPlayBack* w = NetPlayBack::Existing();
                return w && w->isVisible() && Picture(w).pixel(245, 20) == kBlack;
            },
            30s))
            << "the day's map never showed";
        w = NetPlayBack::Existing();
        ASSERT_TRUE(vc->PlaybackRequestsIdle(10s));
    }
    std::vector<std::string> Log() const { return ReadLines(logs.File("dvr.log")); }
    int Searches() const {
        const std::vector<int> codes = CommandCodes(Log());
        return static_cast<int>(std::count(codes.begin(), codes.end(), NET_SEARCH_RECORD));
    }
    // The simulator's "PLAY start=... fast=..." lines.
    std::vector<std::string> Plays() const { return LinesStartingWith(Log(), "PLAY "); }
    // Start second, channel mask and fast flag of a PLAY line.
    static std::vector<int> Play(const std::string& line) {
        int start = -1, fast = -1;
        unsigned mask = 0;
        const int read = std::sscanf(line.c_str(), "PLAY start=%d end=%*d mask=%x fast=%d", &start,
                                     &mask, &fast);
        EXPECT_EQ(read, 3) << line;
        return {start, static_cast<int>(mask & 0xFFu), fast};
    }

    TempDir logs;
    std::unique_ptr<SimProcess> sim;
    BoxAnswerer answerer;
    NetPlayBack* w = nullptr;
};

TEST_F(PlaybackSession, TheMenuOpensTheDaysMapAndPlayFollowsThePlayedTime) {
    OpenSession();
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(w->IPText->text(), QString::fromStdString(At(*sim)));
    EXPECT_EQ(w->ButtonCh1->count(), 5);
    EXPECT_EQ(w->Selection(), (BandSelection{1, 0, 0, 0}));
    EXPECT_EQ(w->ch1->text(), u"CAM01"_s);
    EXPECT_EQ(w->ch2->text(), u"NONE"_s);
    EXPECT_FALSE(w->ValidTimeText->text().isEmpty());
    EXPECT_NE(w->ValidTimeText->text(), u"No Disk"_s);

    // Band 0 alone: no channel is chosen for the others.
    EXPECT_EQ(Picture(w), MapPicture(Recorded({{0, 120, 126}, {0, 157, 160}})));

    // Dragging the slider moves the picker only: no map is asked for.
    // (Away from the slot the picker starts at, now's: a value the slider has already moves
    // nothing.)
    const int before = Searches();
    const int slot = w->slider->value() == 130 ? 140 : 130;
    w->slider->setValue(slot);
    EXPECT_EQ(w->DateTime->time(), QTime(0, 0).addSecs(slot * 300));
    ASSERT_TRUE(vc->PlaybackRequestsIdle(10s));
    EXPECT_EQ(Searches(), before);

    // A click on the groove jumps to the slot under the pointer, as a click on the map does, and
    // each asks for the day's map like the picker.
    Mouse(w->slider, QEvent::MouseButtonPress,
          {w->slider->width() * 3.0 / 4, w->slider->height() / 2.0});
    EXPECT_NEAR(w->slider->value(), 215, 4);  // three quarters of the day, not a page step
    EXPECT_EQ(w->DateTime->time(), QTime(0, 0).addSecs(w->slider->value() * 300));
    ASSERT_TRUE(vc->PlaybackRequestsIdle(10s));
    EXPECT_EQ(Searches(), before + 1);
    Mouse(w->ImageView, QEvent::MouseButtonPress, {2.0 * 157 + 1, 20});
    EXPECT_EQ(w->DateTime->time(), QTime(13, 5, 0));
    EXPECT_EQ(w->slider->value(), 157);
    ASSERT_TRUE(vc->PlaybackRequestsIdle(10s));
    EXPECT_EQ(Searches(), before + 2);

    // The operator picks 10:04:55: the map of that day is asked for again and the slider follows.
    w->DateTime->setTime(QTime(10, 4, 55));
    EXPECT_EQ(w->slider->value(), 120);
    ASSERT_TRUE(WaitUntil([&] { return Searches() == before + 3; }));
    ASSERT_TRUE(vc->PlaybackRequestsIdle(10s));

    w->ButtonPlay->click();
    ASSERT_TRUE(WaitUntil([&] { return !Plays().empty(); }));
    EXPECT_EQ(Play(Plays().front()), (std::vector<int>{36295, 1, 0}));

    // The recording plays into pane 0, and the window follows it over the slot boundary.
    EXPECT_TRUE(WaitUntil([&] { return PaneShows(0, 0); }, 15s))
        << "pane 0 never showed the played channel";
    ASSERT_TRUE(WaitUntil([&] { return w->slider->value() == 121; }, 20s));
    EXPECT_GE(w->DateTime->time(), QTime(10, 5, 0));
    EXPECT_LT(w->DateTime->time(), QTime(10, 30, 0));
    // Following the play moved picker and slider without asking for a map.
    EXPECT_EQ(Searches(), before + 3);
    // Its pane's title names the played time.
    window->paneCaptions().titles = true;
    EXPECT_TRUE(window->paneCaptions().TextFor(*vc, 0).startsWith(u"Gate  CAM01  10:"_s))
        << window->paneCaptions().TextFor(*vc, 0).toStdString();

    // Fast forward while playing plays again from the time shown, fast.
    w->ButtonFastForward->click();
    ASSERT_TRUE(WaitUntil([&] { return Plays().size() == 2; }));
    EXPECT_GE(Play(Plays().back())[0], 36300);
    EXPECT_EQ(Play(Plays().back())[2], 1);

    w->ButtonStop->click();
    EXPECT_TRUE(WaitUntil([&] { return !LinesStartingWith(Log(), "PLAY-STOP").empty(); }));
    EXPECT_TRUE(answerer.boxes().isEmpty());
}

TEST_F(PlaybackSession, ASlowSearchLeavesTheWindowResponsiveUntilItsMapArrives) {
    OpenSession({"--reply-delay", "3000"});
    ASSERT_NE(w, nullptr);
    const int before = Searches();

    // Ticks of a short timer show whether the event loop kept running meanwhile.
    QTimer ticker;
    int ticks = 0;
    auto last = Clock::now();
    Clock::duration longestGap{};
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        const auto now = Clock::now();
        longestGap = std::max(longestGap, now - last);
        last = now;
        ++ticks;
    });

    // The operator chooses the last channel for band 1 from the keyboard.
    w->ButtonCh2->setFocus();
    const auto chosen = Clock::now();
    Key(w->ButtonCh2, Qt::Key_End);
    EXPECT_LT(Clock::now() - chosen, 1s) << "the choice waited for the DVR";
    EXPECT_EQ(w->ButtonCh2->currentIndex(), 4);
    last = Clock::now();
    ticker.start(20);
    ASSERT_TRUE(WaitUntil([&] { return Picture(w).pixel(362, 40) == kBlack; }, 20s))
        << "the new map never showed";
    const auto waited = Clock::now() - chosen;
    ticker.stop();

    EXPECT_GE(waited, 2500ms) << "the DVR's delay did not apply";
    // The DVR takes 3 s; a loaded machine may delay a tick, but never that long.
    EXPECT_GE(ticks, 20);
    EXPECT_LT(longestGap, 1s);
    EXPECT_EQ(Searches(), before + 1);
    EXPECT_EQ(Picture(w), MapPicture(Recorded({{0, 120, 126}, {0, 157, 160}, {1, 180, 182}})));
    EXPECT_EQ(w->ch2->text(), u"CAM04"_s);
}

// The all-DVR view leaves a DVR playing, but its panes are live cameras: the recording shows in
// none of them, not even the pane given to the played camera, on the screen itself.
TEST_F(PlaybackSession, APlayedRecordingShowsInNoPaneOfTheAllDvrView) {
    OpenSession();
    ASSERT_NE(w, nullptr);
    w->DateTime->setTime(QTime(10, 4, 55));
    ASSERT_TRUE(WaitUntil([&] { return vc->PlaybackRequestsIdle(0ms); }));
    w->ButtonPlay->click();
    ASSERT_TRUE(WaitUntil([&] { return PaneShows(0, 0); }, 15s))
        << "the recording never showed in its band";

    vc->WriteSelfChannel(0, 0);  // pane 0 of the all-DVR view: Gate's camera 1, live
    Deselect();
    ASSERT_TRUE(WaitUntil([&] { return vc->CurrentDVR() == -1; }));
    ASSERT_EQ(vc->GetNetCtrlStruct(0).ViewOrBack.load(), VIEW_PLAYBACK);
    const QTime played = w->DateTime->time();
    bool shown = false;
    WaitUntil(
        [&] {
            shown = shown || PaneShows(0, 0);
            return w->DateTime->time() > played.addSecs(1);  // still playing, two seconds on
        },
        15s);
    EXPECT_GT(w->DateTime->time(), played.addSecs(1)) << "the recording stopped playing";
    EXPECT_FALSE(shown) << "a played picture in a live pane";
    Select(0);
    w->ButtonStop->click();
}

// ---- The session as the operator lives it ------------------------------------------------------

class PlaybackLife : public PlaybackSession {
  protected:
    // Plays from `time` and waits for the recording in pane 0.
    void PlayFrom(QTime time) {
        w->DateTime->setTime(time);
        ASSERT_TRUE(vc->PlaybackRequestsIdle(10s));
        const std::size_t before = Plays().size();
        w->ButtonPlay->click();
        ASSERT_TRUE(WaitUntil([&] { return Plays().size() > before; }));
        ASSERT_TRUE(vc->PlaybackRequestsIdle(10s));
        ASSERT_TRUE(WaitUntil([&] { return PaneShows(0, 0); }, 15s))
            << "the recording never showed";
    }
    // How many pixels of the band "recording HH:MM:SS" for second `second` would be text, and
    // how many of those pane 0 shows as text now: the band is there when nearly all are.
    std::pair<int, int> RecordingBand(int second) {
        const QRect p = Pane(0);
        QImage expected(p.size(), QImage::Format_RGB32);
        expected.fill(Qt::black);
        QRectF band;
        {
            QPainter painter(&expected);
            band = PaintRecordingBand(painter, QRectF(QPointF(0, 0), p.size()), second);
        }
        const QImage shown = Surface().copy(p);
        int text = 0;
        int matched = 0;
        for (int y = static_cast<int>(band.top()); y < static_cast<int>(band.bottom()); ++y) {
            for (int x = static_cast<int>(band.left()); x < static_cast<int>(band.right()); ++x) {
                if (qGray(expected.pixel(x, y)) < 200) {
                    continue;
                }
                ++text;
                matched += qGray(shown.pixel(x, y)) > 150;
            }
        }
        return {text, matched};
    }
    bool ShowsRecordingBand() {
        const std::optional<ViewController::PaneSource> source = vc->SourceOfPane(0);
        const int second = source ? source->playedSecond : -1;
        for (int s : {second, second - 1, second + 1}) {
            const auto [text, matched] = RecordingBand(std::max(s, 0));
            if (text > 50 && matched > text * 9 / 10) {
                return true;
            }
        }
        return false;
    }
    // Whether the band's place shows no text at all (a live picture's dark bottom band).
    bool NoRecordingBand() {
        const auto [text, matched] = RecordingBand(0);
        return text > 50 && matched < text / 10;
    }
    std::size_t LinesAfter(const std::string& mark, const std::string& prefix) {
        const std::vector<std::string> lines = Log();
        auto from = std::find_if(lines.rbegin(), lines.rend(),
                                 [&](const std::string& l) { return l.rfind(mark, 0) == 0; });
        if (from == lines.rend()) {
            return 0;
        }
        return static_cast<std::size_t>(
            std::count_if(lines.rbegin(), from, [&](const std::string& l) {
                return l.rfind(prefix, 0) == 0 && l.rfind(prefix + "0x00000000", 0) != 0;
            }));
    }
    bool Live() {
        const NetCtrl_Struct& b = vc->GetNetCtrlStruct(0);
        return b.ViewOrBack.load() == VIEW_LIVE && b.CurNetStatus.load() == NET_DATA_SEND;
    }
};

// The session ends with its window: closed after Stop, or while it plays, the DVR gets the stop
// and the live view of what the main window shows, on the session it has; a recording on the
// screen says so until the live pictures take its place.
TEST_F(PlaybackLife, ClosingTheWindowEndsTheSessionAndTheLiveViewComesBack) {
    OpenSession();
    ASSERT_NE(w, nullptr);
    PlayFrom(QTime(10, 4, 55));
    EXPECT_TRUE(WaitUntil([&] { return ShowsRecordingBand(); }, 5s))
        << "a played picture without its recording band";

    // Stop, then close: no second stop, the live view at once.
    w->ButtonStop->click();
    ASSERT_TRUE(WaitUntil([&] { return !LinesStartingWith(Log(), "PLAY-STOP").empty(); }));
    w->close();
    ASSERT_TRUE(WaitUntil([&] { return LinesAfter("PLAY-STOP", "STREAM mask=") > 0; }, 3s))
        << "no live view asked for after the playback";
    ASSERT_TRUE(WaitUntil([&] { return Live() && NoRecordingBand(); }, 5s));
    EXPECT_TRUE(WaitUntil([&] { return PaneShows(0, 0); }, 5s));
    EXPECT_EQ(LinesStartingWith(Log(), "PLAY-STOP").size(), 1u);

    // Again, closed while it plays: the stop goes out, then the live view.
    ChooseFromMenu(0, u"NetPlayBack"_s);
    ASSERT_TRUE(WaitUntil([&] { return w->isVisible(); }, 10s));
    ASSERT_TRUE(vc->PlaybackRequestsIdle(10s));
    PlayFrom(QTime(10, 4, 55));
    ASSERT_TRUE(WaitUntil([&] { return ShowsRecordingBand(); }, 5s));
    w->close();
    ASSERT_TRUE(WaitUntil([&] { return LinesStartingWith(Log(), "PLAY-STOP").size() == 2; }, 3s))
        << "the recording went on playing after its window closed";
    ASSERT_TRUE(WaitUntil([&] { return LinesAfter("PLAY-STOP", "STREAM mask=") > 0; }, 3s));
    ASSERT_TRUE(WaitUntil([&] { return Live() && NoRecordingBand(); }, 5s));
    EXPECT_TRUE(WaitUntil([&] { return PaneShows(0, 0); }, 5s));
    EXPECT_EQ(LinesStartingWith(Log(), "LOGIN ").size(), 1u);  // the playback's, no more
    EXPECT_TRUE(answerer.boxes().isEmpty());
}

// A click on the map or the slider's groove while a play runs plays from there; a play the DVR
// refuses is said in the window and leaves no old picture on the surface.
TEST_F(PlaybackLife, AJumpWhilePlayingPlaysFromThereAndARefusalIsTold) {
    OpenSession();
    ASSERT_NE(w, nullptr);
    PlayFrom(QTime(10, 4, 55));
    ASSERT_EQ(Plays().size(), 1u);
    // The slider's groove where it stands for 13:10 (slot 158), well away from its handle, which
    // follows the play at 10:05.
    QStyleOptionSlider option;
    option.initFrom(w->slider);
    option.orientation = w->slider->orientation();
    option.minimum = w->slider->minimum();
    option.maximum = w->slider->maximum();
    option.sliderPosition = w->slider->sliderPosition();
    option.sliderValue = w->slider->value();
    QStyle* style = w->slider->style();
    const QRect handle =
        style->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderHandle, w->slider);
    const QRect groove =
        style->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderGroove, w->slider);
    const int x = groove.x() + handle.width() / 2 +
                  QStyle::sliderPositionFromValue(option.minimum, option.maximum, 158,
                                                  groove.width() - handle.width());
    ASSERT_FALSE(handle.contains(QPoint(x, w->slider->height() / 2)));
    Mouse(w->slider, QEvent::MouseButtonPress, {x + 0.0, w->slider->height() / 2.0});
    ASSERT_TRUE(WaitUntil([&] { return Plays().size() == 2; }, 5s)) << "the jump played nothing";
    EXPECT_EQ(Play(Plays().back())[0], 158 * 300);
    ASSERT_TRUE(vc->PlaybackRequestsIdle(10s));  // playing again, as far as the window knows
    Mouse(w->ImageView, QEvent::MouseButtonPress, {2.0 * 125 + 1, 20});  // 10:25
    ASSERT_TRUE(WaitUntil([&] { return Plays().size() == 3; }, 5s));
    EXPECT_EQ(Play(Plays().back())[0], 10 * 3600 + 25 * 60);

    // Nothing recorded at 20:10: refused, said, and pane 0 grey.
    w->DateTime->setTime(QTime(20, 10, 0));
    ASSERT_TRUE(vc->PlaybackRequestsIdle(10s));
    w->ButtonPlay->click();
    auto refused = w->findChild<QLabel*>(u"RefusedText"_s);
    ASSERT_NE(refused, nullptr);
    ASSERT_TRUE(WaitUntil([&] { return refused->isVisible(); }, 10s)) << "a refusal said nothing";
    EXPECT_EQ(refused->text(), u"No recording at 20:10"_s);
    EXPECT_TRUE(Plays().back().find("state=8") != std::string::npos) << Plays().back();
    auto grey = [&] {
        const Look look = LookOf(Surface(), Pane(0));
        return look.grey > look.pixels * 9 / 10;
    };
    EXPECT_TRUE(WaitUntil(grey, 3s)) << "the refused play's pane kept an old picture";
    // What played before stops, and stays off the pane.
    EXPECT_EQ(LinesStartingWith(Log(), "PLAY-STOP").size(), 1u);
    Pump(1500ms);
    EXPECT_TRUE(grey()) << "the earlier play went on after the refusal";
    // The next play's answer replaces the refusal.
    w->DateTime->setTime(QTime(10, 10, 0));
    ASSERT_TRUE(vc->PlaybackRequestsIdle(10s));
    w->ButtonPlay->click();
    EXPECT_TRUE(WaitUntil([&] { return !refused->isVisible(); }, 3s));

    // Fast forward says what it does and shows when it is on.
    EXPECT_FALSE(w->ButtonFastForward->toolTip().isEmpty());
    const QImage off = w->ButtonFastForward->grab().toImage();
    w->ButtonFastForward->setChecked(true);
    const QImage on = w->ButtonFastForward->grab().toImage();
    ASSERT_EQ(on.size(), off.size());
    EXPECT_GT(Differing(on, off), on.width() * on.height() / 3) << "fast forward on looks like off";
    w->ButtonStop->click();
}

}  // namespace
