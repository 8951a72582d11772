#include "core/layout/LiveViewPlanner.h"

#include <algorithm>

#include "core/wire/WireFormats.h"

LiveViewPlanner::LiveViewPlanner(const SCREEN_SHOW_CTRL& layout, const int32_t (&codes)[kPanes],
                                 int focus, bool autoDisplay)
    : focus_(focus), autoDisplay_(autoDisplay) {
    for (int i = 0; i < kMaxChannels; ++i) {
        if (layout.m_screenRect[i].iOnShow != 0) {
            shownChannels_ |= 1u << i;
        }
    }
    for (int i = 0; i < kPanes; ++i) {
        const int32_t v = codes[i];
        if (layout.m_screenRect[i].iOnShow == 0 || v < 0) {
            continue;
        }
        const int32_t d = v / 100;
        const int32_t c = v % 100;
        if (d < kMaxDvrs && c < kMaxChannels) {
            m_selfChan[d] |= 1u << c;
        }
    }
}

uint32_t LiveViewPlanner::WantedChannels(int dvr) const {
    return dvr >= 0 && dvr < kMaxDvrs ? m_selfChan[dvr] : 0;
}

LiveViewStep LiveViewPlanner::Active(int dvr, const Dvr& entry) const {
    LiveViewStep step;
    step.dvr = dvr;
    step.single = LiveViewStep::Single::Active;
    step.activeMask = shownChannels_ & entry.cam;
    step.audio = entry.audio;
    return step;
}

LiveViewStep LiveViewPlanner::ShownStep(int dvr, const Dvr& entry) const {
    LiveViewStep step;
    step.dvr = dvr;
    step.shown = true;
    step.wanted = WantedChannels(dvr);
    step.shownMask = step.wanted & entry.cam;
    step.audio = entry.audio;
    return step;
}

std::vector<LiveViewStep> LiveViewPlanner::Adjust(const std::vector<Dvr>& dvrs, int from,
                                                  int to) const {
    std::vector<LiveViewStep> steps;
    const int end = std::min({to, static_cast<int>(dvrs.size()), kMaxDvrs});
    for (int d = std::max(from, 0); d < end; ++d) {
        const Dvr& entry = dvrs[static_cast<std::size_t>(d)];
        LiveViewStep step;
        step.dvr = d;
        if (!entry.playback && autoDisplay_ && focus_ < 0) {
            // The all-DVR view: pane i is not channel i, so only the panes' assignment counts.
            // One request, not the single-DVR view's mask first and this one after it.
            step.single = LiveViewStep::Single::Active;
            step.activeMask = ShownStep(d, entry).shownMask;
            step.audio = entry.audio;
        } else if (!entry.playback) {
            step = autoDisplay_ ? ShownStep(d, entry) : step;
            step.single = focus_ < 0 || focus_ == d ? LiveViewStep::Single::Active
                                                    : LiveViewStep::Single::NotActive;
            step.activeMask = shownChannels_ & entry.cam;
            step.audio = entry.audio;
        }
        steps.push_back(step);
    }
    return steps;
}

std::vector<LiveViewStep> LiveViewPlanner::AdjustShown(const std::vector<Dvr>& dvrs) const {
    std::vector<LiveViewStep> steps;
    if (!autoDisplay_) {
        return steps;
    }
    const int end = std::min(static_cast<int>(dvrs.size()), kMaxDvrs);
    for (int d = 0; d < end; ++d) {
        if (!dvrs[static_cast<std::size_t>(d)].playback) {
            steps.push_back(ShownStep(d, dvrs[static_cast<std::size_t>(d)]));
        }
    }
    return steps;
}
