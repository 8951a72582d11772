// The playback window as the core sees it. The window implements it with Qt; tests record it.
// Every call may come from any thread and never waits for the window: the window takes the
// values over on its own thread. Each call names the DVR it is about: the window shows one DVR's
// session at a time and lets what belongs to another pass.
#pragma once

#include <string>

#include "core/playback/DayEvents.h"
#include "core/playback/TimeMap.h"

class PlaybackPort {
  public:
    virtual ~PlaybackPort() = default;

    // A superuser's playback session of DVR `dvr` is logged in: show the window with the
    // address text and pop-ups for `channelCount` channels (0 to 32).
    virtual void Open(int dvr, const std::string& serverText, int channelCount) = 0;
    // The recorded-range text of the disks, or "No Disk".
    virtual void SetValidTime(int dvr, const std::string& text) = 0;
    // Selects item selection[k] in pop-up k.
    virtual void SetChShow(int dvr, const BandSelection& selection) = 0;
    // The label of band 0..3.
    virtual void SetChShow(int dvr, const std::string& text, int band) = 0;
    // The event flags of the map that follows (CreatePicture comes right after, for the same
    // search). A port that draws no events may leave it.
    virtual void ShowEvents(int /*dvr*/, const DayEvents& /*events*/) {}
    // The map of the chosen day, drawn as the window's picture.
    virtual void CreatePicture(int dvr, const TimeMap& map) = 0;
    // The second of the day of the played picture being shown. Display thread, under the DVR's
    // block lock: stores the value only.
    virtual void SetTimeNow(int dvr, int32_t daySecond) = 0;
    // DVR `dvr`'s playback session was lost (it is not reconnected by itself).
    virtual void ConnectionLost(int dvr) = 0;
    // DVR `dvr` refused to play from second `startSecond` of the day: `result` is
    // status::Play::NoRecordingAtStart (nothing recorded there) or status::Play::Refused.
    virtual void PlayRefused(int dvr, int32_t startSecond, int32_t result) = 0;
};
