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

TEST(PaneBuffers, APaneWhosePicturesGotSmallerGivesBackThePagesBeyondThemAndKeepsThePicture) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "the buffers are heap memory under AddressSanitizer";
#endif
    constexpr std::size_t kD1 = 704 * 576 * 2;
    constexpr std::size_t kSmall = 176 * 144 * 2;
    auto buffers = std::make_unique<PaneBuffers>();
    ASSERT_TRUE(buffers->Allocate());
    for (int pane : {4, 5, 6}) {
        ASSERT_EQ(reinterpret_cast<std::uintptr_t>((*buffers)[pane].pixels) % 4096, 0u);
        std::memset((*buffers)[pane].pixels, pane, kD1);
        buffers->Wrote(pane, kD1);
    }
    EXPECT_GE(ResidentPages(*buffers, 5), static_cast<int>(kD1 / 4096));
    // A little smaller (another standard): kept, the next picture may be large again.
    buffers->Wrote(5, 704 * 480 * 2);
    EXPECT_GE(ResidentPages(*buffers, 5), static_cast<int>(kD1 / 4096));
    // A quarter the size and less: the rest goes; the picture and the neighbours stay.
    std::memset((*buffers)[5].pixels, 0x55, kSmall);
    buffers->Wrote(5, kSmall);
    EXPECT_LE(ResidentPages(*buffers, 5), static_cast<int>(kSmall / 4096) + 1);
    const uint8_t* p = (*buffers)[5].pixels;
    EXPECT_TRUE(std::all_of(p, p + kSmall, [](uint8_t b) { return b == 0x55; }));
    EXPECT_EQ((*buffers)[4].pixels[kD1 - 1], 4);
    EXPECT_EQ((*buffers)[6].pixels[0], 6);
    EXPECT_GE(ResidentPages(*buffers, 4), static_cast<int>(kD1 / 4096));
    // Large again: written and kept as before.
    std::memset((*buffers)[5].pixels, 0x77, kD1);
    buffers->Wrote(5, kD1);
    EXPECT_GE(ResidentPages(*buffers, 5), static_cast<int>(kD1 / 4096));
}

}  // namespace
