// The playback window as the core reaches it: carries each PlaybackPort call to the GUI thread,
// where the window is created on first use.
//
// Threads: the PlaybackPort methods may be called from any thread and never wait. Open,
// SetValidTime, SetChShow, ShowEvents and CreatePicture go through the window's GuiDispatcher and
// run on the GUI thread in order, where a call about a DVR other than the window's is dropped;
// SetTimeNow stores the value in the window's atomic when it is about the window's DVR and does
// nothing else (display thread, under its DVR's lock). Once closing has begun, calls are dropped.
// The other methods are GUI-thread only.
#pragma once

#include <QPointer>

#include <atomic>
#include <functional>

#include "core/ports/PlaybackPort.h"

class CoreContext;
class GuiDispatcher;
class NetPlayBack;
class QWidget;

class NetPlayBackPort : public PlaybackPort {
  public:
    // GUI thread. The window, once made, is a top-level window owned by `owner`; it reaches the
    // core through `context`.
    NetPlayBackPort(QWidget& owner, GuiDispatcher& dispatcher, CoreContext& context);
    ~NetPlayBackPort() override;

    // ---- PlaybackPort (any thread) -------------------------------------------------------------
    void Open(int dvr, const std::string& serverText, int channelCount) override;
    void SetValidTime(int dvr, const std::string& text) override;
    void SetChShow(int dvr, const BandSelection& selection) override;
    void SetChShow(int dvr, const std::string& text, int band) override;
    void ShowEvents(int dvr, const DayEvents& events) override;
    void CreatePicture(int dvr, const TimeMap& map) override;
    void SetTimeNow(int dvr, int32_t daySecond) override;
    void ConnectionLost(int dvr) override;
    void PlayRefused(int dvr, int32_t startSecond, int32_t result) override;

    // ---- GUI thread ----------------------------------------------------------------------------
    // The window, made and set up now if it was not yet.
    NetPlayBack* playbackWindow();
    // From now on calls are dropped (queued ones too) and the window is closed.
    void BeginClosing();
    bool isClosing() const;

  private:
    // Queues fn for the window on the GUI thread; dropped once closing has begun.
    void Post(std::function<void(NetPlayBack&)> fn);
    // The same, run only while the window shows DVR `dvr`'s session.
    void PostFor(int dvr, std::function<void(NetPlayBack&)> fn);

    QPointer<QWidget> owner_;
    GuiDispatcher& dispatcher_;
    CoreContext& context_;
    // The window once made (GUI thread), for SetTimeNow. It lives until the owner goes, which
    // is after the DVR threads have stopped.
    std::atomic<NetPlayBack*> window_{nullptr};
    std::atomic<int> shownDvr_{-1};  // the DVR of the session the window shows
};
