// What a PTZ command carries besides its value, and where it goes: the channel of the only shown
// pane, the data and speed parameter, the DVR in focus. No widgets, so it can be tested with a
// bare controller.
//
// Threads: GUI thread (it sends on the DVR's connection under the process-wide send lock).
#pragma once

#include <cstdint>

class CoreContext;

// PTZ command values. A held button with code k sends kPtzPress + k when pressed and
// kPtzRelease + k when released.
inline constexpr int32_t kPtzPress = 1000;
inline constexpr int32_t kPtzRelease = 2000;
inline constexpr int32_t kPtzView = 3049;
inline constexpr int32_t kPtzSetView = 3048;
inline constexpr int32_t kPtzAuto = 3023;
inline constexpr int32_t kPtzStop = 3012;
inline constexpr int32_t kPtzOk = 3012;

class PtzCommands {
  public:
    explicit PtzCommands(CoreContext& context) : context_(context) {}

    // The number of the only shown pane, or -1 when none or several are shown.
    int32_t GetPtzChan() const;
    // The DVR in focus, -1 in the all-DVR view (or without a controller).
    int32_t CurrentDVR() const;
    static int32_t Parameter(int32_t data, int32_t speed) { return data * 1000 + speed; }

    // Sends `value` with the pane and DVR current now. In the all-DVR view a command goes to the
    // DVR and channel the zoomed pane is assigned; without a zoomed pane nothing is sent.
    void Send(int32_t value, int32_t data, int32_t speed);

  private:
    CoreContext& context_;
};

// The codes of the held buttons.
inline constexpr int32_t kPtzUp = 9;
inline constexpr int32_t kPtzRight = 11;
inline constexpr int32_t kPtzDown = 13;
inline constexpr int32_t kPtzLeft = 15;
inline constexpr int32_t kPtzI2 = 17;
inline constexpr int32_t kPtzI1 = 18;
inline constexpr int32_t kPtzF2 = 19;
inline constexpr int32_t kPtzF1 = 20;
inline constexpr int32_t kPtzZ2 = 21;
inline constexpr int32_t kPtzZ1 = 22;
