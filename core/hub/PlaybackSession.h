// The playback window's session with one DVR at a time: the disks and the recorded range when it
// comes up, the map searches, play and stop, and the end of the session. It owns the playback
// part (which channel each playback pane shows, the request threads) and the playback window's
// port; the controller keeps what the view does around it (the panes cleared, the live view
// asked for again).
//
// Threads. Up runs on the DVR's connect thread; ConnectedMacSetInit and SetDiskTimeRect on any
// thread but the GUI thread (they wait for the DVR's replies, about 6 s each); the Request* calls,
// End and Stop on the GUI thread, returning at once (the work runs on the DVR's request thread).
// The port is set before any DVR thread starts and cleared after they stopped.
#pragma once

#include <atomic>
#include <chrono>
#include <ctime>
#include <functional>

#include "core/directory/SaveInfo.h"
#include "core/playback/PlaybackState.h"
#include "core/ports/PlaybackPort.h"

class DvrSlot;

class PlaybackSession {
  public:
    // `slot` gives the slot of a DVR number (0 to 63).
    explicit PlaybackSession(std::function<DvrSlot&(int)> slot);

    PlaybackState& state() { return playback_; }
    const PlaybackState& state() const { return playback_; }
    PlaybackPort* port() const { return playbackPort_.load(); }
    void SetPort(PlaybackPort* port) { playbackPort_.store(port); }

    // The session of `dvr` is logged in: the window opens, the disks are asked for, then today's
    // map unless the operator asked for one meanwhile.
    void Up(int dvr, const SAVE_INFO_STRUCT& entry);
    // Disk information, and the recorded-range text for the playback window.
    int32_t ConnectedMacSetInit(DvrSlot& slot);
    // See ViewController::SetDiskTimeRect.
    int32_t SetDiskTimeRect(DvrSlot& slot, std::time_t date, const BandSelection& cam,
                            const std::atomic<bool>* superseded);

    void RequestTimeMap(int dvr, std::time_t date, const BandSelection& cam);
    void RequestPlay(int dvr, int32_t startSecond, uint32_t mask, int32_t sound, int32_t fast);
    void RequestStopPlay(int dvr);
    // Ends the session of `dvr`: a queued play is dropped, and the DVR's command thread waits for
    // a running request, stops the play and returns the DVR to live. False (nothing done) when
    // `dvr` is not in playback.
    bool End(int dvr);
    bool RequestsIdle(std::chrono::milliseconds limit) { return playback_.WaitIdle(limit); }
    void Stop() { playback_.Stop(); }

  private:
    RequestRunner::Job TimeMapJob(int dvr, std::time_t date, const BandSelection& cam);

    std::function<DvrSlot&(int)> slot_;
    PlaybackState playback_;
    std::atomic<PlaybackPort*> playbackPort_{nullptr};
};
