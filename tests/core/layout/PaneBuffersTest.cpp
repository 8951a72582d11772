// The panes' picture buffers: a pane whose pictures got smaller gives back the pages beyond them,
// and nothing else.
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "core/layout/PaneBuffers.h"

namespace {

// Pages of pane `pane`'s buffer in memory now.
int ResidentPages(PaneBuffers& buffers, int pane) {
    std::vector<unsigned char> pages(kPaneBufferStride / 4096);
    EXPECT_EQ(mincore(buffers[pane].pixels, kPaneBufferStride, pages.data()), 0);
    return static_cast<int>(
        std::count_if(pages.begin(), pages.end(), [](unsigned char p) { return (p & 1) != 0; }));
}

// Under AddressSanitizer the buffers are heap memory, whose pages are not theirs to give back:
// there only the pictures' bytes are checked.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool kOwnPages = false;
#else
constexpr bool kOwnPages = true;
#endif

// At least (`atLeast`) or at most `pages` of pane `pane` resident, where the pane owns its pages.
void ExpectResident(PaneBuffers& buffers, int pane, std::size_t bytes, bool atLeast) {
    if (!kOwnPages) {
        return;
    }
    if (atLeast) {
        EXPECT_GE(ResidentPages(buffers, pane), static_cast<int>(bytes / 4096)) << pane;
    } else {
        EXPECT_LE(ResidentPages(buffers, pane), static_cast<int>(bytes / 4096) + 1) << pane;
    }
}

TEST(PaneBuffers, APaneWhosePicturesGotSmallerGivesBackThePagesBeyondThemAndKeepsThePicture) {
    constexpr std::size_t kD1 = 704 * 576 * 2;
    constexpr std::size_t kSmall = 176 * 144 * 2;
    auto buffers = std::make_unique<PaneBuffers>();
    ASSERT_TRUE(buffers->Allocate());
    for (int pane : {4, 5, 6}) {
        ASSERT_TRUE(!kOwnPages ||
                    reinterpret_cast<std::uintptr_t>((*buffers)[pane].pixels) % 4096 == 0);
        std::memset((*buffers)[pane].pixels, pane, kD1);
        buffers->Wrote(pane, kD1);
    }
    ExpectResident(*buffers, 5, kD1, true);
    // A little smaller (another standard): kept, the next picture may be large again.
    buffers->Wrote(5, 704 * 480 * 2);
    ExpectResident(*buffers, 5, kD1, true);
    // A quarter the size and less: the rest goes; the picture and the neighbours stay.
    std::memset((*buffers)[5].pixels, 0x55, kSmall);
    buffers->Wrote(5, kSmall);
    ExpectResident(*buffers, 5, kSmall, false);
    const uint8_t* p = (*buffers)[5].pixels;
    EXPECT_TRUE(std::all_of(p, p + kSmall, [](uint8_t b) { return b == 0x55; }));
    EXPECT_EQ((*buffers)[4].pixels[kD1 - 1], 4);
    EXPECT_EQ((*buffers)[6].pixels[0], 6);
    ExpectResident(*buffers, 4, kD1, true);
    // Large again: written and kept as before.
    std::memset((*buffers)[5].pixels, 0x77, kD1);
    buffers->Wrote(5, kD1);
    ExpectResident(*buffers, 5, kD1, true);
}

}  // namespace
