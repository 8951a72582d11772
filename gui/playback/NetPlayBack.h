// The playback window: the record time map of a day for four bands, a slider over the day, a
// date-and-time picker, a channel pop-up per band and the play controls of one DVR's playback
// session. One shared instance, created on first use as a top-level window of the main window.
//
// The window never waits for a DVR: its searches and play commands are requests the controller
// runs on a thread of its own; the results come back through NetPlayBackPort.
//
// Threads: GUI thread only, with one exception: daySecond (the second of the day of the played
// picture being shown) is stored by display threads and read by the window's timer.
#pragma once

#include <QWidget>

#include <array>
#include <atomic>
#include <cstdint>
#include <ctime>
#include <vector>

#include "core/playback/TimeMap.h"

class QComboBox;
class QDateTimeEdit;
class QLabel;
class QPushButton;
class QSlider;
class QTimer;
class CoreContext;
class EventStrip;
class ViewConntroller2;
class ViewController;

class NetPlayBack : public QWidget {
    Q_OBJECT

  public:
    // The time-map picture: one band of 30 rows per pane, two columns per 5-minute slot.
    static constexpr int kPictureWidth = 576;
    static constexpr int kPictureHeight = 120;
    static constexpr int kBytesPerLine = kPictureWidth * 3;  // RGB888
    static constexpr int kBandRows = 30;
    static constexpr int kBandGap = 6;  // white rows above each band's marks
    static constexpr int kMaxChannels = 32;
    static constexpr int kTimerMs = 500;

    // The shared window, created (and set up) on the first call as a top-level window owned by
    // `parent`, and kept until that parent goes.
    static NetPlayBack* sharedEffectStackController(QWidget* parent, CoreContext& context);
    // The shared window if it was created, otherwise null; never creates it.
    static NetPlayBack* Existing();

    // ---- Set-up and the values the session gives it -----------------------------------------
    void windowDidLoad();
    // The pop-ups for `channelCount` channels (capped to 0..32) of DVR `dvr`.
    void initData(int channelCount, int dvr);
    void SetIP(const QString& text);
    void SetValidTime(const QString& text);
    // The window's DVR was deleted or got another number: the window closes and acts on no DVR
    // until a session opens it again.
    void EndSession();
    // DVR `dvr`'s session was lost: when it is this window's DVR, the window says so until the
    // next session opens it.
    void ConnectionLost(int dvr);
    // The DVR refused to play from second `startSecond` of the day (`result` a status::Play code):
    // the window says so until the next play, and the surface drops the last played pictures.
    void PlayRefused(int dvr, int32_t startSecond, int32_t result);
    // Selects item selection[k] in pop-up k ("NONE" for a value it does not have).
    void SetChShow(const BandSelection& selection);
    // The label of band 0..3; other bands are ignored.
    void SetChShow(const QString& text, int band);
    // Draws `map` as the window's picture, in the colours of the events given with it.
    void CreatePicture(const TimeMap& map);
    // Draws m_rectValue again (the event filter changed).
    void RedrawPicture();

    // ---- The operator's actions ----------------------------------------------------------------
    void ActionPlay();
    void ActionFastForward();
    void ActionSound();
    void ActionStop();
    void ActionExport();  // opens the export dialog on the played time
    void ActionCh1();
    void ActionCh2();
    void ActionCh3();
    void ActionCh4();
    void scrub();      // the slider was moved
    void scrubTime();  // the picker was changed
    // A click on the slider's groove or on the map: the picker goes to that 5-minute slot.
    void JumpToSlot(int slot);
    // The picker and the slider go to second `second` of the day; a running play plays from
    // there.
    void JumpToSecond(int32_t second);

    // ---- Operations behind them ----------------------------------------------------------------
    // Plays from the picker's time, the pop-ups' channels, with the sound and fast settings.
    void NetPlay();
    // Asks for the map of the picker's day for the pop-ups' channels.
    void SetDiskTimeRect();
    // The 0.5 s timer: follows the played time while the DVR plays.
    void animationTimer();
    void SetPlayTime();

    // The four pop-ups' selected items (-1 counted as 0).
    BandSelection Selection() const;
    QComboBox* popUp(int band) const { return ButtonCh[static_cast<std::size_t>(band)]; }
    QLabel* bandLabel(int band) const { return ch[static_cast<std::size_t>(band)]; }
    QTimer* timer() const { return timer_; }

    // ---- Fields ----
    std::vector<uint8_t> bitmapData;  // kPictureHeight rows of kBytesPerLine, top row first
    TimeMap m_rectValue{};
    ViewConntroller2* background;
    EventStrip* eventStrip;  // the event colours, legend, filter and jumps
    QLabel* ImageView;
    QComboBox* ButtonCh1;
    QComboBox* ButtonCh2;
    QComboBox* ButtonCh3;
    QComboBox* ButtonCh4;
    QLabel* ch1;
    QLabel* ch2;
    QLabel* ch3;
    QLabel* ch4;
    QSlider* slider;
    int sliderMoving = 0;
    QLabel* ValidTimeText;
    QLabel* LostText;
    QLabel* RefusedText;  // why the last play did not start; hidden otherwise
    QLabel* IPText;
    QDateTimeEdit* DateTime;
    QPushButton* ButtonSound;
    QPushButton* ButtonPlay;
    QPushButton* ButtonFastForward;
    QPushButton* ButtonStop;
    std::atomic<int32_t> daySecond{0};  // any thread stores, the timer reads
    int DVR = -1;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    // The place the operator leaves it is where it opens next time, also in the next run.
    void hideEvent(QHideEvent* event) override;
    // The session ends with the window: a running play stops and the DVR goes back to live.
    void closeEvent(QCloseEvent* event) override;

  private:
    NetPlayBack(QWidget* parent, CoreContext& context);
    void ShowPicture();
    // The picker set to its own day at second `second` of the day, without telling anyone.
    void SetPickerSecond(int32_t second);
    ViewController* controller() const;
    void Band(int band);  // a pop-up was chosen from

    std::array<QComboBox*, kPlaybackBands> ButtonCh{};
    std::array<QLabel*, kPlaybackBands> ch{};
    QTimer* timer_;
    CoreContext& context_;
};
