// The playback window under Xvfb, driven through its port from other threads as the core drives
// it: what it shows of the channels, the map and the played time, until the end of the run.
#include <QComboBox>
#include <QDateTimeEdit>
#include <QLabel>
#include <QPushButton>
#include <QSlider>

#include <thread>

#include "gui/playback/NetPlayBack.h"
#include "gui/playback/NetPlayBackPort.h"
#include "gui/playback/ViewConntroller2.h"
#include "tests/gui/UiFixture.h"
#include "tests/gui/playback/PlaybackPictures.h"
#include "tests/support/StreamPeer.h"

namespace {

class PlaybackWindow : public UiTest {
  protected:
    NetPlayBackPort& Port() { return *window->playbackPort(); }
    // As the core calls the port: from a thread of its own.
    static void FromCoreThread(const std::function<void()>& call) { std::thread(call).join(); }
    // Opens the window through the port for `channels` channels and waits until it shows them.
    NetPlayBack* Open(int dvr, int channels, const std::string& server = "dvr.example:9000") {
        FromCoreThread([&] { Port().Open(dvr, server, channels); });
        const int items = std::clamp(channels, 0, 32) + 1;
        EXPECT_TRUE(WaitUntil([&] {
            NetPlayBack* w = NetPlayBack::Existing();
            return w && w->isVisible() && w->DVR == dvr && w->ButtonCh4->count() == items;
        }));
        return NetPlayBack::Existing();
    }
};

TEST_F(PlaybackWindow, ShowsWhatTheCoreHandsItFromItsThreadsUntilTheEndOfTheRun) {
    StartApp();
    EXPECT_EQ(NetPlayBack::Existing(), nullptr);  // made on first use
    NetPlayBack* w = Open(5, 16);
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(w->IPText->text(), u"dvr.example:9000"_s);
    QStringList sixteen{u"NONE"_s};
    for (int i = 1; i <= 16; ++i) {
        sixteen.append(u"%1ch"_s.arg(i));
    }
    for (int k = 0; k < 4; ++k) {
        SCOPED_TRACE(k);
        EXPECT_EQ(Items(w->popUp(k)), sixteen);
        EXPECT_EQ(w->popUp(k)->currentIndex(), k == 0 ? 1 : 0);
    }
    EXPECT_FALSE(w->ButtonSound->isVisible());
    EXPECT_TRUE(w->ButtonFastForward->isCheckable());
    // Before any map the picture is the set-up grey.
    EXPECT_EQ(Picture(w).pixel(300, 60), qRgb(100, 100, 100));
    EXPECT_EQ(w->background->grab().toImage().pixel(2, 2), ViewConntroller2::background().rgb());
    for (const char* name : {"ImageView", "ButtonCh1", "ButtonCh2", "ButtonCh3", "ButtonCh4", "ch1",
                             "ch2", "ch3", "ch4", "slider", "ValidTimeText", "IPText", "DateTime",
                             "ButtonSound", "ButtonPlay", "ButtonFastForward", "ButtonStop"}) {
        auto* control = w->findChild<QWidget*>(QString::fromLatin1(name));
        ASSERT_NE(control, nullptr) << name;
        EXPECT_EQ(control->accessibleDescription(), QString::fromLatin1(name));
    }

    // Selections outside a pop-up show NONE, and only the four bands have labels.
    FromCoreThread([&] {
        Port().SetChShow(5, BandSelection{3, 0, 16, 17});
        Port().SetChShow(5, "CAM03", 0);
        Port().SetChShow(5, "CAM16", 2);
        Port().SetChShow(5, "CAM99", 4);
        Port().SetChShow(5, "CAM99", -1);
        Port().SetValidTime(5, "2026/12/5 10:0 --  2026/12/6 13:20");
    });
    ASSERT_TRUE(WaitUntil([&] { return !w->ValidTimeText->text().isEmpty(); }));
    EXPECT_EQ(w->Selection(), (BandSelection{3, 0, 16, 0}));
    EXPECT_EQ((QStringList{w->ch1->text(), w->ch2->text(), w->ch3->text(), w->ch4->text()}),
              (QStringList{u"CAM03"_s, QString(), u"CAM16"_s, QString()}));
    EXPECT_EQ(w->ValidTimeText->text(), u"2026/12/5 10:0 --  2026/12/6 13:20"_s);
    FromCoreThread([&] { Port().SetChShow(5, BandSelection{-1, 1, 2, 3}); });
    ASSERT_TRUE(WaitUntil([&] { return w->ButtonCh4->currentIndex() == 3; }));
    EXPECT_EQ(w->Selection(), (BandSelection{0, 1, 2, 3}));

    // The picture marks two columns per recorded slot, below each band's gap.
    TimeMap map{};
    map[0][0] = 1;
    map[3][287] = 1;
    map[1][100] = 1;
    map[1][101] = 1;
    map[2][50] = 2;  // only 1 is a recording
    FromCoreThread([&] { Port().CreatePicture(5, map); });
    ASSERT_TRUE(WaitUntil([&] { return Picture(w).pixel(0, 6) == kBlack; }));
    EXPECT_EQ(Picture(w), MapPicture(Recorded({{0, 0, 0}, {1, 100, 101}, {3, 287, 287}})));

    // What belongs to another DVR's session does not reach this window.
    FromCoreThread([&] { Port().SetValidTime(4, "another DVR's"); });
    Pump(100ms);
    EXPECT_EQ(w->ValidTimeText->text(), u"2026/12/5 10:0 --  2026/12/6 13:20"_s);

    // A new map replaces the old one entirely.
    FromCoreThread([&] { Port().CreatePicture(5, TimeMap{}); });
    ASSERT_TRUE(WaitUntil([&] { return Picture(w).pixel(0, 6) == kWhite; }));
    EXPECT_EQ(Picture(w), MapPicture(TimeMap{}));

    // A DVR may claim up to 99 channels; the pop-ups stop at 32. The window stays the same one.
    EXPECT_EQ(Open(5, 40), w);
    EXPECT_EQ(w->ButtonCh2->count(), 33);
    EXPECT_EQ(w->ButtonCh2->itemText(32), u"32ch"_s);
    Open(6, 0);
    EXPECT_EQ(Items(w->ButtonCh1), QStringList{u"NONE"_s});
    EXPECT_EQ(w->ButtonCh1->currentIndex(), 0);

    // Calls after the end of the run are dropped.
    FromCoreThread([&] { Port().SetValidTime(6, "before"); });
    ASSERT_TRUE(WaitUntil([&] { return w->ValidTimeText->text() == u"before"_s; }));
    window->Stop();
    EXPECT_FALSE(w->isVisible());
    FromCoreThread([&] {
        Port().SetValidTime(6, "after");
        Port().Open(7, "late:1", 8);
    });
    Pump(100ms);
    EXPECT_EQ(w->ValidTimeText->text(), u"before"_s);
    EXPECT_FALSE(w->isVisible());
    EXPECT_EQ(w->DVR, 6);
}

TEST_F(PlaybackWindow, TheSliderThePickerAndThePlayedSecondFollowEachOtherWithinThePickersDay) {
    StartApp();
    NetPlayBack* w = Open(3, 4);
    const QDate day(2026, 3, 9);
    w->DateTime->setDateTime(QDateTime(day, QTime(12, 0, 0)));
    EXPECT_EQ(w->slider->value(), 144);

    w->slider->setValue(100);  // as a drag does
    EXPECT_EQ(w->DateTime->dateTime(), QDateTime(day, QTime(8, 20, 0)));
    w->slider->setFocus();
    Key(w->slider, Qt::Key_End);
    EXPECT_EQ(w->slider->value(), 287);
    EXPECT_EQ(w->DateTime->dateTime(), QDateTime(day, QTime(23, 55, 0)));

    // Each 5-minute slot of the day, to its last second.
    for (const auto& [time, slot] :
         {std::pair{QTime(23, 59, 59), 287}, {QTime(0, 4, 59), 0}, {QTime(0, 5, 0), 1}}) {
        SCOPED_TRACE(time.toString().toStdString());
        w->DateTime->setTime(time);
        EXPECT_EQ(w->slider->value(), slot);
    }
    EXPECT_EQ(w->DateTime->date(), day);

    // While its DVR plays, the timer shows the played second.
    NetCtrl_Struct& b = vc->GetNetCtrlStruct(3);
    b.SetView(VIEW_PLAYBACK);
    auto dvr = std::make_unique<StreamPeer>(b);  // logged in and playing
    FromCoreThread([&] { Port().SetTimeNow(3, 3661); });
    ASSERT_TRUE(WaitUntil([&] { return w->DateTime->time() == QTime(1, 1, 1); }, 3s));
    EXPECT_EQ(w->slider->value(), 12);
    EXPECT_EQ(w->DateTime->date(), day);
    FromCoreThread([&] { Port().SetTimeNow(2, 600); });  // another DVR's playback moves nothing
    Pump(3 * std::chrono::milliseconds(NetPlayBack::kTimerMs));
    EXPECT_EQ(w->DateTime->time(), QTime(1, 1, 1));

    // A second past the day is held at its last second.
    FromCoreThread([&] { Port().SetTimeNow(3, 90061); });
    ASSERT_TRUE(WaitUntil([&] { return w->DateTime->time() == QTime(23, 59, 59); }, 3s));
    EXPECT_EQ(w->slider->value(), 287);

    // Once the DVR no longer plays, the window stays where it is.
    b.SetLiveStatus(NET_CONNECTED);
    FromCoreThread([&] { Port().SetTimeNow(3, 7200); });
    Pump(3 * std::chrono::milliseconds(NetPlayBack::kTimerMs));
    EXPECT_EQ(w->DateTime->time(), QTime(23, 59, 59));
    b.SetView(VIEW_LIVE);
    b.Disconnect();
}

}  // namespace
