// What a live-view adjustment asks of each DVR, from the layout, the pane assignment and the view.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "core/layout/LiveViewPlanner.h"

namespace {

using Dvr = LiveViewPlanner::Dvr;

// One step as text: "dvr:" then A<mask> (stream these), N (stop) or - (nothing), then
// +S<mask>/<wanted> for the all-DVR view's request.
std::string Text(const LiveViewStep& s) {
    char text[64];
    const char* single = s.single == LiveViewStep::Single::Active      ? "A"
                         : s.single == LiveViewStep::Single::NotActive ? "N"
                                                                       : "-";
    std::snprintf(text, sizeof text, "%d:%s", s.dvr, single);
    std::string out = text;
    if (s.single == LiveViewStep::Single::Active) {
        std::snprintf(text, sizeof text, "%x/%d", s.activeMask, s.audio);
        out += text;
    }
    if (s.shown) {
        std::snprintf(text, sizeof text, "+S%x/%x", s.shownMask, s.wanted);
        out += text;
    }
    return out;
}

std::vector<std::string> Texts(const std::vector<LiveViewStep>& steps) {
    std::vector<std::string> out;
    for (const LiveViewStep& s : steps) {
        out.push_back(Text(s));
    }
    return out;
}

struct View {
    int split = 4;
    int turns = 0;                      // presses of the split shown: each turns the page
    int zoomed = -1;                    // the pane zoomed, -1 for the grid
    std::map<int, int32_t> codes = {};  // the pane assignment; the other panes hold none
    int focus = -1;
    bool autoDisplay = false;

    LiveViewPlanner Planner() const {
        SCREEN_SHOW_CTRL c{};
        InitLayout(c, autoDisplay ? 256 : 36, split);
        for (int t = 0; t < turns; ++t) {
            SelectSplit(c, split);
        }
        if (zoomed >= 0) {
            c.iSelectChan = zoomed;
            AnalyseShowFrame(c);
        }
        int32_t all[kPanes];
        std::fill(std::begin(all), std::end(all), -1);
        for (const auto& [pane, code] : codes) {
            all[pane] = code;
        }
        return LiveViewPlanner(c, all, focus, autoDisplay);
    }
};

TEST(LiveViewPlanner, EachDvrIsAskedForWhatTheViewShowsOfIt) {
    const std::vector<Dvr> three = {{0xFFFFFFFF, 1, false}, {0b1011, 0, false}, {0xFF, 0, true}};
    struct Case {
        const char* name;
        View view;
        std::vector<Dvr> dvrs;
        std::vector<std::string> steps;
    };
    const std::vector<Case> cases = {
        {"single view of DVR 1: the others stop, the one in playback is left alone",
         {.focus = 1},
         three,
         {"0:N", "1:Ab/0", "2:-"}},
        {"the second page of four shows channels 4 to 7",
         {.turns = 1, .focus = 0},
         three,
         {"0:Af0/1", "1:N", "2:-"}},
        {"a zoomed pane asks for its channel alone",
         {.split = 36, .zoomed = 5, .focus = 0},
         three,
         {"0:A20/1", "1:N", "2:-"}},
        {"panes past 31 ask for no channel",
         {.split = 36, .focus = 0},
         three,
         {"0:Affffffff/1", "1:N", "2:-"}},
        {"all-DVR view, one request each: the assignments of the page shown, masked by each entry",
         {.turns = 1,
          .codes = {{0, 3}, {4, 102}, {5, 1}, {6, 140}, {7, 6401}},
          .autoDisplay = true},
         three,
         {"0:A2/1", "1:A0/0", "2:-"}},
        {"all-DVR view of the first page: the same DVRs, other channels",
         {.codes = {{0, 3}, {3, 100}, {4, 102}}, .autoDisplay = true},
         three,
         {"0:A8/1", "1:A1/0", "2:-"}},
        {"a DVR no pane names still gets the all-DVR request, empty",
         {.codes = {{1, 0}}, .autoDisplay = true},
         {{0xFFFFFFFF, 0, false}, {0xFFFFFFFF, 0, false}},
         {"0:A1/0", "1:A0/0"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(Texts(c.view.Planner().Adjust(c.dvrs, 0, 64)), c.steps);
    }
}

TEST(LiveViewPlanner, RangesTheShownOnlyAdjustmentAndOneDvrAlone) {
    const View all{.codes = {{0, 101}, {1, 2}}, .autoDisplay = true};
    const std::vector<Dvr> dvrs = {{0xFFFFFFFF, 0, false}, {0xFFFFFFFF, 0, true}, {1, 1, false}};
    const LiveViewPlanner planner = all.Planner();
    EXPECT_EQ(Texts(planner.Adjust(dvrs, 2, 9)), (std::vector<std::string>{"2:A0/1"}));
    EXPECT_EQ(Texts(planner.Adjust(dvrs, -3, 1)), (std::vector<std::string>{"0:A4/0"}));
    EXPECT_TRUE(planner.Adjust(dvrs, 1, 1).empty());
    // Only the all-DVR requests, and none to a DVR in playback.
    EXPECT_EQ(Texts(planner.AdjustShown(dvrs)), (std::vector<std::string>{"0:-+S4/4", "2:-+S0/0"}));
    EXPECT_TRUE(View{.focus = 0}.Planner().AdjustShown(dvrs).empty());
    // One DVR as the single-DVR view asks for it, whatever the others and its playback.
    EXPECT_EQ(Text(View{.turns = 1, .focus = 2}.Planner().Active(1, {0x30, 1, true})), "1:A30/1");
}

}  // namespace
