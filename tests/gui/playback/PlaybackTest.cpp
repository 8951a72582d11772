// The playback window under Xvfb: driven through its port from other threads as the core drives
// it, and end to end against the simulator, whose recordings must show in the time map and play
// into the panes, without the window ever waiting for the DVR.
#include <QComboBox>
#include <QCoreApplication>
#include <QDateTimeEdit>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QSlider>

#include <cstdio>
#include <cstdlib>
#include <thread>

#include "gui/main/VideoView.h"
#include "gui/playback/NetPlayBack.h"
#include "gui/playback/NetPlayBackPort.h"
#include "gui/playback/ViewConntroller2.h"
#include "tests/gui/PaneColours.h"
#include "tests/gui/UiFixture.h"
#include "tests/support/ClientFixture.h"
#include "tests/support/StreamPeer.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

bool IsBlack(QRgb p) {
    return qRed(p) == 0 && qGreen(p) == 0 && qBlue(p) == 0;
}
bool IsWhite(QRgb p) {
    return qRed(p) == 255 && qGreen(p) == 255 && qBlue(p) == 255;
}

// Whether columns [from, to] of rows [top, bottom] are all black (or all white).
bool Block(const QImage& image, int from, int to, int top, int bottom, bool black) {
    for (int y = top; y <= bottom; ++y) {
        for (int x = from; x <= to; ++x) {
            if (black ? !IsBlack(image.pixel(x, y)) : !IsWhite(image.pixel(x, y))) {
                return false;
            }
        }
    }
    return true;
}

QStringList Items(const QComboBox* box) {
    QStringList items;
    for (int i = 0; i < box->count(); ++i) {
        items.append(box->itemText(i));
    }
    return items;
}

QTime PickerTime(const NetPlayBack* w) {
    return w->DateTime->time();
}

void Key(QWidget* target, Qt::Key key) {
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
    QCoreApplication::sendEvent(target, &press);
}

class PlaybackWindow : public UiTest {
  protected:
    NetPlayBackPort& port() { return *window->playbackPort(); }
    // As the core calls the port: from a thread of its own.
    static void fromCoreThread(const std::function<void()>& call) { std::thread(call).join(); }
    // Opens the window through the port for `channels` channels and waits until it shows them.
    NetPlayBack* open(int dvr, int channels, const std::string& server = "dvr.example:9000") {
        fromCoreThread([&] { port().Open(dvr, server, channels); });
        const int items = std::clamp(channels, 0, 32) + 1;
        EXPECT_TRUE(WaitUntil([&] {
            NetPlayBack* w = NetPlayBack::existing();
            return w && w->isVisible() && w->DVR == dvr && w->ButtonCh4->count() == items;
        }));
        return NetPlayBack::existing();
    }
    static QImage picture(const NetPlayBack* w) {
        return w->ImageView->grab().toImage().convertToFormat(QImage::Format_RGB32);
    }
};

TEST_F(PlaybackWindow, OpensWithNoneAndOneItemPerChannelCappedAtThirtyTwo) {
    startApp();
    EXPECT_EQ(NetPlayBack::existing(), nullptr);  // made on first use
    NetPlayBack* w = open(5, 16);
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(w->objectName(), QStringLiteral("NetBack"));
    EXPECT_EQ(w->IPText->text(), QStringLiteral("dvr.example:9000"));
    QStringList sixteen{QStringLiteral("NONE")};
    for (int i = 1; i <= 16; ++i) {
        sixteen.append(QStringLiteral("%1ch").arg(i));
    }
    for (int k = 0; k < 4; ++k) {
        EXPECT_EQ(Items(w->popUp(k)), sixteen) << "pop-up " << k;
        EXPECT_EQ(w->popUp(k)->currentIndex(), k == 0 ? 1 : 0) << "pop-up " << k;
    }
    EXPECT_FALSE(w->ButtonSound->isVisible());
    EXPECT_TRUE(w->ButtonFastForward->isCheckable());
    // Before any map the picture is the set-up grey.
    EXPECT_EQ(w->bitmapData.size(), 207360u);
    EXPECT_EQ(picture(w).pixel(300, 60), qRgb(100, 100, 100));
    EXPECT_EQ(w->background->grab().toImage().pixel(2, 2), ViewConntroller2::background().rgb());
    for (const char* name : {"ImageView", "ButtonCh1", "ButtonCh2", "ButtonCh3", "ButtonCh4", "ch1",
                             "ch2", "ch3", "ch4", "slider", "ValidTimeText", "IPText", "DateTime",
                             "ButtonSound", "ButtonPlay", "ButtonFastForward", "ButtonStop"}) {
        auto* control = w->findChild<QWidget*>(QString::fromLatin1(name));
        ASSERT_NE(control, nullptr) << name;
        EXPECT_EQ(control->accessibleDescription(), QString::fromLatin1(name));
    }

    // A DVR may claim up to 99 channels; the pop-ups stop at 32. The window stays the same one.
    EXPECT_EQ(open(5, 40), w);
    EXPECT_EQ(w->ButtonCh2->count(), 33);
    EXPECT_EQ(w->ButtonCh2->itemText(32), QStringLiteral("32ch"));
    open(6, 0);
    EXPECT_EQ(Items(w->ButtonCh1), QStringList{QStringLiteral("NONE")});
    EXPECT_EQ(w->ButtonCh1->currentIndex(), 0);
}

TEST_F(PlaybackWindow, SelectionsOutsideAPopUpShowNoneAndOnlyFourBandsHaveLabels) {
    startApp();
    NetPlayBack* w = open(5, 16);
    fromCoreThread([&] {
        port().SetChShow(BandSelection{3, 0, 16, 17});
        port().SetChShow("CAM03", 0);
        port().SetChShow("CAM16", 2);
        port().SetChShow("CAM99", 4);
        port().SetChShow("CAM99", -1);
        port().SetValidTime("2026/12/5 10:0 --  2026/12/6 13:20");
    });
    ASSERT_TRUE(WaitUntil([&] { return !w->ValidTimeText->text().isEmpty(); }));
    EXPECT_EQ(w->Selection(), (BandSelection{3, 0, 16, 0}));
    EXPECT_EQ(w->ch1->text(), QStringLiteral("CAM03"));
    EXPECT_EQ(w->ch3->text(), QStringLiteral("CAM16"));
    EXPECT_TRUE(w->ch2->text().isEmpty());
    EXPECT_TRUE(w->ch4->text().isEmpty());
    EXPECT_EQ(w->ValidTimeText->text(), QStringLiteral("2026/12/5 10:0 --  2026/12/6 13:20"));
    fromCoreThread([&] { port().SetChShow(BandSelection{-1, 1, 2, 3}); });
    ASSERT_TRUE(WaitUntil([&] { return w->ButtonCh4->currentIndex() == 3; }));
    EXPECT_EQ(w->Selection(), (BandSelection{0, 1, 2, 3}));
}

TEST_F(PlaybackWindow, ThePictureMarksTwoColumnsPerRecordedSlotBelowEachBandsGap) {
    startApp();
    NetPlayBack* w = open(5, 4);
    TimeMap map{};
    map[0][0] = 1;
    map[3][287] = 1;
    map[1][100] = 1;
    map[1][101] = 1;
    map[2][50] = 2;  // only 1 is a recording
    fromCoreThread([&] { port().CreatePicture(map); });
    ASSERT_TRUE(WaitUntil([&] { return IsBlack(picture(w).pixel(0, 6)); }));
    const QImage image = picture(w);
    ASSERT_EQ(image.size(), QSize(576, 120));
    EXPECT_TRUE(Block(image, 0, 1, 6, 29, true));
    EXPECT_TRUE(Block(image, 0, 1, 0, 5, false));
    EXPECT_TRUE(Block(image, 2, 575, 0, 29, false));
    EXPECT_TRUE(Block(image, 200, 203, 36, 59, true));
    EXPECT_TRUE(Block(image, 200, 203, 30, 35, false));
    EXPECT_TRUE(Block(image, 204, 205, 36, 59, false));
    EXPECT_TRUE(Block(image, 198, 199, 36, 59, false));
    EXPECT_TRUE(Block(image, 0, 575, 60, 89, false));
    EXPECT_TRUE(Block(image, 574, 575, 96, 119, true));
    EXPECT_TRUE(Block(image, 574, 575, 90, 95, false));
    EXPECT_TRUE(Block(image, 0, 573, 90, 119, false));

    // A new map replaces the old one entirely.
    fromCoreThread([&] { port().CreatePicture(TimeMap{}); });
    ASSERT_TRUE(WaitUntil([&] { return IsWhite(picture(w).pixel(0, 6)); }));
    EXPECT_TRUE(Block(picture(w), 0, 575, 0, 119, false));
}

TEST_F(PlaybackWindow, TheSliderAndThePickerFollowEachOtherWithinThePickersDay) {
    startApp();
    NetPlayBack* w = open(5, 4);
    const QDate day(2026, 3, 9);
    w->DateTime->setDateTime(QDateTime(day, QTime(12, 0, 0)));
    EXPECT_EQ(w->slider->value(), 144);

    w->slider->setValue(100);  // as a drag does
    EXPECT_EQ(w->DateTime->dateTime(), QDateTime(day, QTime(8, 20, 0)));
    w->slider->setFocus();
    Key(w->slider, Qt::Key_End);
    EXPECT_EQ(w->slider->value(), 287);
    EXPECT_EQ(w->DateTime->dateTime(), QDateTime(day, QTime(23, 55, 0)));

    w->DateTime->setTime(QTime(23, 59, 59));
    EXPECT_EQ(w->slider->value(), 287);
    w->DateTime->setTime(QTime(0, 4, 59));
    EXPECT_EQ(w->slider->value(), 0);
    w->DateTime->setTime(QTime(0, 5, 0));
    EXPECT_EQ(w->slider->value(), 1);
    EXPECT_EQ(w->DateTime->date(), day);
    EXPECT_EQ(w->sliderMoving, 1);
}

TEST_F(PlaybackWindow, WhileItsDvrPlaysTheTimerShowsThePlayedSecond) {
    startApp();
    NetPlayBack* w = open(3, 4);
    w->DateTime->setDateTime(QDateTime(QDate(2026, 3, 9), QTime(12, 0, 0)));
    NetCtrl_Struct& b = vc->GetNetCtrlStruct(3);
    b.SetView(VIEW_PLAYBACK);
    auto dvr = std::make_unique<StreamPeer>(b);  // logged in and playing
    fromCoreThread([&] { port().SetTimeNow(3661); });
    ASSERT_TRUE(WaitUntil([&] { return PickerTime(w) == QTime(1, 1, 1); }, 3s));
    EXPECT_EQ(w->slider->value(), 12);
    EXPECT_EQ(w->DateTime->date(), QDate(2026, 3, 9));

    // A second past the day is held at its last second.
    fromCoreThread([&] { port().SetTimeNow(90061); });
    ASSERT_TRUE(WaitUntil([&] { return PickerTime(w) == QTime(23, 59, 59); }, 3s));
    EXPECT_EQ(w->slider->value(), 287);

    // Once the DVR no longer plays, the window stays where it is.
    b.SetLiveStatus(NET_CONNECTED);
    fromCoreThread([&] { port().SetTimeNow(7200); });
    Pump(3 * std::chrono::milliseconds(NetPlayBack::kTimerMs));
    EXPECT_EQ(PickerTime(w), QTime(23, 59, 59));
    b.SetView(VIEW_LIVE);
    b.Disconnect();
}

TEST_F(PlaybackWindow, CallsAfterTheEndOfTheRunAreDropped) {
    startApp();
    NetPlayBack* w = open(5, 4);
    fromCoreThread([&] { port().SetValidTime("before"); });
    ASSERT_TRUE(WaitUntil([&] { return w->ValidTimeText->text() == QStringLiteral("before"); }));
    window->stop();
    EXPECT_FALSE(w->isVisible());
    fromCoreThread([&] {
        port().SetValidTime("after");
        port().Open(7, "late:1", 8);
    });
    Pump(100ms);
    EXPECT_EQ(w->ValidTimeText->text(), QStringLiteral("before"));
    EXPECT_FALSE(w->isVisible());
    EXPECT_EQ(w->DVR, 5);
}

// ---- With the simulator ------------------------------------------------------------------------

// Channel 0 records 10:00-10:30 and 13:05-13:20, channel 3 15:00-15:10, every day from yesterday
// to tomorrow (a search near midnight finds the same map). Slots are 5 minutes, 2 columns each:
// 10:00-10:30 marks slots 120..126 (the end lies in slot 126), 13:05-13:20 slots 157..160,
// 15:00-15:10 slots 180..182.
class PlaybackSession : public PlaybackWindow {
  protected:
    void openSession(const std::vector<std::string>& extra = {}) {
        std::vector<std::string> args{
            "--listen",       "127.0.0.1:0",   "--account",
            "admin:1234:2:4", "--rec",         "0=10:00-10:30,13:05-13:20",
            "--rec",          "3=15:00-15:10", "--rec-days",
            "-1:1",           "--log",         logs.file("dvr.log")};
        args.insert(args.end(), extra.begin(), extra.end());
        sim = std::make_unique<SimProcess>(args);
        writeList({Entry("127.0.0.1:" + std::to_string(sim->port()), "Gate")});
        startApp();
        select(0);
        chooseFromMenu(0, QStringLiteral("NetPlayBack"));
        ASSERT_TRUE(WaitUntil(
            [&] {
                NetPlayBack* w = NetPlayBack::existing();
                return w && w->isVisible() && IsBlack(picture(w).pixel(245, 20));
            },
            30s))
            << "the day's map never showed";
        w = NetPlayBack::existing();
        ASSERT_TRUE(vc->PlaybackRequestsIdle(10s));
    }
    std::vector<std::string> log() const { return ReadLines(logs.file("dvr.log")); }
    int searches() const {
        int n = 0;
        for (const LoggedCommand& c : Commands(log())) {
            n += c.iCmd == NET_SEARCH_RECORD ? 1 : 0;
        }
        return n;
    }
    // The simulator's "PLAY start=... fast=..." lines.
    std::vector<std::string> plays() const { return LinesStartingWith(log(), "PLAY "); }

    TempDir logs;
    std::unique_ptr<SimProcess> sim;
    BoxAnswerer answerer;
    NetPlayBack* w = nullptr;
};

TEST_F(PlaybackSession, TheMenuOpensTheDaysMapAndPlayFollowsThePlayedTime) {
    openSession();
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(w->IPText->text(),
              QString::fromStdString("127.0.0.1:" + std::to_string(sim->port())));
    EXPECT_EQ(w->ButtonCh1->count(), 5);
    EXPECT_EQ(w->Selection(), (BandSelection{1, 0, 0, 0}));
    EXPECT_EQ(w->ch1->text(), QStringLiteral("CAM01"));
    EXPECT_EQ(w->ch2->text(), QStringLiteral("NONE"));
    EXPECT_FALSE(w->ValidTimeText->text().isEmpty());
    EXPECT_NE(w->ValidTimeText->text(), QStringLiteral("No Disk"));

    const QImage map = picture(w);
    EXPECT_TRUE(Block(map, 240, 253, 6, 29, true));
    EXPECT_TRUE(Block(map, 314, 321, 6, 29, true));
    EXPECT_TRUE(Block(map, 0, 239, 6, 29, false));
    EXPECT_TRUE(Block(map, 254, 313, 6, 29, false));
    EXPECT_TRUE(Block(map, 322, 575, 6, 29, false));
    EXPECT_TRUE(Block(map, 0, 575, 0, 5, false));
    EXPECT_TRUE(Block(map, 0, 575, 30, 119, false));  // no channel chosen below band 0

    // Dragging the slider moves the picker only: no map is asked for.
    const int before = searches();
    w->slider->setValue(130);
    EXPECT_EQ(PickerTime(w), QTime(10, 50, 0));
    ASSERT_TRUE(vc->PlaybackRequestsIdle(10s));
    EXPECT_EQ(searches(), before);

    // The operator picks 10:04:55: the map of that day is asked for again and the slider follows.
    w->DateTime->setTime(QTime(10, 4, 55));
    EXPECT_EQ(w->slider->value(), 120);
    ASSERT_TRUE(WaitUntil([&] { return searches() == before + 1; }));
    ASSERT_TRUE(vc->PlaybackRequestsIdle(10s));

    w->ButtonPlay->click();
    ASSERT_TRUE(WaitUntil([&] { return !plays().empty(); }));
    int start = -1;
    unsigned mask = 0;
    int fast = -1;
    ASSERT_EQ(std::sscanf(plays().front().c_str(), "PLAY start=%d end=%*d mask=%x fast=%d", &start,
                          &mask, &fast),
              3)
        << plays().front();
    EXPECT_EQ(start, 36295);
    EXPECT_EQ(mask & 0xFFu, 1u);
    EXPECT_EQ(fast, 0);

    // The recording plays into pane 0, and the window follows it over the slot boundary.
    VideoView* view = window->videoView();
    EXPECT_TRUE(WaitUntil(
        [&] { return RegionShows(view->grabSurface(), PaneOnScreen(*vc, 0, view->height()), 0); },
        15s))
        << "pane 0 never showed the played channel";
    ASSERT_TRUE(WaitUntil([&] { return w->slider->value() == 121; }, 20s));
    EXPECT_GE(PickerTime(w), QTime(10, 5, 0));
    EXPECT_LT(PickerTime(w), QTime(10, 30, 0));
    if (const char* dir = std::getenv("QUILLMARSH_TEST_ARTIFACTS")) {
        w->grab().save(QString::fromUtf8(dir) + QStringLiteral("/playback-window.png"));
    }
    // Following the play moved picker and slider without asking for a map.
    EXPECT_EQ(searches(), before + 1);

    // Fast forward while playing plays again from the time shown, fast.
    w->ButtonFastForward->click();
    ASSERT_TRUE(WaitUntil([&] { return plays().size() == 2; }));
    ASSERT_EQ(std::sscanf(plays().back().c_str(), "PLAY start=%d end=%*d mask=%x fast=%d", &start,
                          &mask, &fast),
              3);
    EXPECT_GE(start, 36300);
    EXPECT_EQ(fast, 1);

    w->ButtonStop->click();
    EXPECT_FALSE(
        LinesStartingWith(WaitForLines(logs.file("dvr.log"),
                                       [](const std::vector<std::string>& lines) {
                                           return !LinesStartingWith(lines, "PLAY-STOP").empty();
                                       }),
                          "PLAY-STOP")
            .empty());
    EXPECT_TRUE(answerer.boxes().isEmpty());
}

TEST_F(PlaybackSession, ASlowSearchLeavesTheWindowResponsiveUntilItsMapArrives) {
    openSession({"--reply-delay", "3000"});
    ASSERT_NE(w, nullptr);
    const int before = searches();

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
    ASSERT_TRUE(WaitUntil([&] { return IsBlack(picture(w).pixel(362, 40)); }, 20s))
        << "the new map never showed";
    const auto waited = Clock::now() - chosen;
    ticker.stop();

    EXPECT_GE(waited, 2500ms) << "the DVR's delay did not apply";
    // The DVR takes 3 s; a loaded machine may delay a tick, but never that long.
    EXPECT_GE(ticks, 20);
    EXPECT_LT(longestGap, 1s);
    EXPECT_EQ(searches(), before + 1);
    const QImage map = picture(w);
    EXPECT_TRUE(Block(map, 360, 365, 36, 59, true));
    EXPECT_TRUE(Block(map, 240, 253, 6, 29, true));
    EXPECT_TRUE(Block(map, 0, 359, 36, 59, false));
    EXPECT_EQ(w->ch2->text(), QStringLiteral("CAM04"));
}

}  // namespace
