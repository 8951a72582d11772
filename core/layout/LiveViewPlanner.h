// What a live-view adjustment asks of each DVR, decided from one snapshot of the view: the
// layout (which panes are shown), the pane assignment, the DVR in focus (-1 for the all-DVR view)
// and whether the assignment governs the panes. Pure: the controller takes the snapshot on the
// GUI thread and hands each step to the DVR's command thread, which carries it out.
#pragma once

#include <cstdint>
#include <vector>

#include "core/layout/Layout.h"
#include "core/support/Limits.h"

// What one DVR is asked to do, in this order, by one adjustment.
struct LiveViewStep {
    enum class Single {
        None,
        Active,     // stream `activeMask`: what the view shows of the DVR
        NotActive,  // stop streaming (another DVR is in focus)
    };
    int dvr = -1;
    Single single = Single::None;
    uint32_t activeMask = 0;
    bool shown = false;      // then the all-DVR view's request: `shownMask` of `wanted`
    uint32_t shownMask = 0;  // wanted & the entry's channels
    uint32_t wanted = 0;     // the channels shown panes are assigned
    int32_t audio = 0;       // the entry's sound flag
};

class LiveViewPlanner {
  public:
    // A DVR of the list as the adjustment sees it: its entry's channels and sound flag, and
    // whether it plays back (the live view's adjustments would end that).
    struct Dvr {
        uint32_t cam = 0;
        int32_t audio = 0;
        bool playback = false;
    };

    LiveViewPlanner(const SCREEN_SHOW_CTRL& layout, const int32_t (&codes)[kPanes], int focus,
                    bool autoDisplay);

    // Bit i for each shown pane i of 0 to 31 (in the single-DVR view pane i shows channel i).
    uint32_t ShownChannels() const { return shownChannels_; }
    // The channels the shown panes assign DVR `dvr`; a code naming no DVR slot or a channel past
    // 31 asks for nothing.
    uint32_t WantedChannels(int dvr) const;

    // The whole adjustment of DVRs from .. to - 1 of `dvrs` (the list, at most 64). Every DVR
    // in range gets a step; a DVR in playback gets an empty one, which still replaces an
    // adjustment queued for it and not yet started. In the all-DVR view each DVR's step streams
    // the channels its shown panes hold (and the entry enables), even none.
    std::vector<LiveViewStep> Adjust(const std::vector<Dvr>& dvrs, int from, int to) const;
    // Only the all-DVR view's requests, to every DVR of `dvrs` not in playback; nothing at all
    // when the assignment does not govern the panes.
    std::vector<LiveViewStep> AdjustShown(const std::vector<Dvr>& dvrs) const;
    // DVR `dvr` alone, as the single-DVR view asks for it.
    LiveViewStep Active(int dvr, const Dvr& entry) const;

  private:
    LiveViewStep ShownStep(int dvr, const Dvr& entry) const;

    int focus_;
    bool autoDisplay_;
    uint32_t shownChannels_ = 0;
    uint32_t m_selfChan[kMaxDvrs] = {};  // per DVR, the channels the shown panes assign it
};
