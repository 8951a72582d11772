// What the widgets may read of the core: the layout, the pane assignment, the saved entries, each
// DVR's state and per-channel figures. Every function only reads, returns a copy and never waits
// for a DVR. The controller implements it; widgets take it instead of the controller's tables.
//
// Threads: any thread, except SourceOfPane (GUI thread: it reads the view the GUI thread writes).
#pragma once

#include <cstdint>
#include <optional>

#include "core/directory/SaveInfo.h"
#include "core/layout/Layout.h"
#include "core/ports/NodeIcon.h"

class WallQuery {
  public:
    virtual ~WallQuery() = default;

    // ---- The view ----
    virtual SCREEN_SHOW_CTRL LayoutCopy() const = 0;
    virtual int32_t SelectedPane() const = 0;  // -1 for none
    // The rectangle of `pane` while it is shown, in surface units.
    virtual std::optional<PaneRect> ShownRect(int pane) const = 0;
    // The all-DVR view's assignment of `pane`: DVR * 100 + channel, -1 for none.
    virtual int32_t SelfChannel(int pane) const = 0;
    virtual int32_t CurrentDVR() const = 0;       // the DVR in focus, -1 for the all-DVR view
    virtual int32_t showAutoDisplay() const = 0;  // 1 while the assignment governs the panes

    // The DVR and camera a pane shows now: pane i is camera i of the DVR in focus (in playback,
    // the channel of band i), or in the all-DVR view the pane's assignment. Nothing for a pane
    // that shows no camera.
    struct PaneSource {
        int dvr;
        int channel;
        int32_t playedSecond = -1;  // in playback, the second of the day shown; else -1
    };
    virtual std::optional<PaneSource> SourceOfPane(int pane) const = 0;

    // ---- The DVRs ----
    virtual int32_t DvrCount() const = 0;  // entries 0 .. DvrCount() - 1 are in use
    virtual SAVE_INFO_STRUCT EntryCopy(int dvr) const = 0;  // an empty entry outside the list
    virtual NodeIcon NodeIconFor(int dvr) const = 0;
    virtual bool AttemptRunning(int dvr) const = 0;
    virtual bool PlayingBack(int dvr) const = 0;  // false for a number outside 0 .. 63

    // A channel's counters as the intake keeps them (see ChannelStats); zeros outside the
    // tables. A new connection starts them at 0 again.
    struct ChannelFigures {
        uint32_t decoded = 0;
        uint64_t bytes = 0;
        int32_t sizeFrame = -1;  // SizeFrame of the last video frame, -1 before any
        uint32_t dropped = 0;
        bool reduced = false;       // decoded without the deblocking filter now
        uint32_t fullPictures = 0;  // pictures decoded in full so far
        // Times the DVR's picture memory had to grow (a queue block, a decoder, the payload
        // buffers): a few at the start of a stream, none while it runs on.
        uint32_t grew = 0;
    };
    virtual ChannelFigures Figures(int dvr, int channel) const = 0;
};
