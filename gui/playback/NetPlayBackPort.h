// The playback window as the core reaches it: carries each PlaybackPort call to the GUI thread,
// where the window is created on first use.
//
// Threads: the PlaybackPort methods may be called from any thread and never wait. Open,
// SetValidTime, SetChShow and CreatePicture are queued and run on the GUI thread in order;
// SetTimeNow stores the value in the window's atomic and does nothing else (display thread,
// under its DVR's lock). Once closing has begun, calls are dropped. The other methods are
// GUI-thread only.
//
// Hand-over: the calls' values go into a queue under a std::mutex and a queued typed signal only
// wakes the GUI thread. Values carried inside a Qt event would look like a race to
// ThreadSanitizer, which cannot see Qt's own locks; it sees the mutex.
#pragma once

#include <QObject>
#include <QPointer>

#include <atomic>
#include <deque>
#include <functional>
#include <mutex>

#include "core/ports/PlaybackPort.h"

class NetPlayBack;
class QWidget;
class ViewController;

class NetPlayBackPort : public QObject, public PlaybackPort {
    Q_OBJECT

  public:
    // GUI thread. The window, once made, is a top-level window owned by `owner`.
    explicit NetPlayBackPort(QWidget& owner);
    ~NetPlayBackPort() override;

    // GUI thread. Non-owning; null detaches the window from the controller.
    void SetViewController(ViewController* vc);

    // ---- PlaybackPort (any thread) -------------------------------------------------------------
    void Open(int dvr, const std::string& serverText, int channelCount) override;
    void SetValidTime(const std::string& text) override;
    void SetChShow(const BandSelection& selection) override;
    void SetChShow(const std::string& text, int band) override;
    void CreatePicture(const TimeMap& map) override;
    void SetTimeNow(int32_t daySecond) override;

    // ---- GUI thread ----------------------------------------------------------------------------
    // The window, made and set up now if it was not yet.
    NetPlayBack* playbackWindow();
    // From now on calls are dropped (queued ones too) and the window is closed.
    void beginClosing();
    bool isClosing() const;

  Q_SIGNALS:
    // Emitted after queueing work; queued to the GUI thread.
    void workQueued();

  private:
    // Queues fn for the window on the GUI thread; dropped once closing has begun.
    void post(std::function<void(NetPlayBack&)> fn);
    void runQueuedWork();  // GUI thread

    QPointer<QWidget> owner_;
    ViewController* viewcontroller_ = nullptr;  // GUI thread
    // The window once made (GUI thread), for SetTimeNow. It lives until the owner goes, which
    // is after the DVR threads have stopped.
    std::atomic<NetPlayBack*> window_{nullptr};

    mutable std::mutex gate_;  // guards closing_ and queue_
    bool closing_ = false;
    std::deque<std::function<void(NetPlayBack&)>> queue_;
};
