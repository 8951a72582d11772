// Which channels the surface hands over as shown and as reduced, from the panes it shows: a table
// of pane and picture sizes.
#include <gtest/gtest.h>

#include <vector>

#include "gui/main/video/ReducedDecoding.h"

namespace {

using Shown = ReducedDecoding::Shown;

TEST(ReducedDecoding, AChannelIsShownWithAnyPaneAndReducedWhenEveryPaneIsAtMostHalfItsPicture) {
    struct Case {
        const char* what;
        std::vector<Shown> shown;
        uint32_t dvr0;  // reduced
        uint32_t dvr3;
        uint32_t shown0;
        uint32_t shown3;
    };
    const Case cases[] = {
        {"exactly half", {{0, 2, 176, 144, 352, 288}}, 1u << 2, 0, 1u << 2, 0},
        {"a pixel wider", {{0, 2, 177, 144, 352, 288}}, 0, 0, 1u << 2, 0},
        {"a pixel taller", {{0, 2, 176, 145, 352, 288}}, 0, 0, 1u << 2, 0},
        {"a D1 picture", {{3, 31, 300, 200, 704, 576}}, 0, 1u << 31, 0, 1u << 31},
        {"size unknown yet", {{0, 1, 10, 10, 0, 0}}, 0, 0, 1u << 1, 0},
        {"the largest pane counts",
         {{0, 1, 100, 80, 352, 288}, {0, 1, 400, 300, 352, 288}, {0, 4, 100, 80, 352, 288}},
         1u << 4,
         0,
         1u << 1 | 1u << 4,
         0},
        {"outside the tables", {{64, 0, 1, 1, 352, 288}, {0, 32, 1, 1, 352, 288}}, 0, 0, 0, 0},
        {"no pane", {}, 0, 0, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::vector<uint32_t> masks = ReducedDecoding::Masks(c.shown);
        ASSERT_EQ(masks.size(), static_cast<std::size_t>(kMaxDvrs));
        EXPECT_EQ(masks[0], c.dvr0);
        EXPECT_EQ(masks[3], c.dvr3);
        const std::vector<uint32_t> shown = ReducedDecoding::ShownMasks(c.shown);
        ASSERT_EQ(shown.size(), static_cast<std::size_t>(kMaxDvrs));
        EXPECT_EQ(shown[0], c.shown0);
        EXPECT_EQ(shown[3], c.shown3);
    }
}

}  // namespace
