// What the display threads hand the surface: panes recorded while the flush takes them, clears,
// layout generations, and the flush timer's rest.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "gui/main/video/PendingPanes.h"

namespace {

PaneRect At(float x) {
    return PaneRect{x, 0, 10, 10};
}

TEST(PendingPanes, NothingADisplayThreadRecordsIsLostWhileTheFlushTakes) {
    // Four display threads, each recording its own panes over and over with a rising x; the GUI
    // thread takes meanwhile. Every pane's last rectangle must reach a flush, and none goes back.
    constexpr int kThreads = 4;
    constexpr int kRounds = 3000;
    PendingPanes pending;
    pending.Clear(7);
    std::atomic<int> running{kThreads};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            for (int round = 1; round <= kRounds; ++round) {
                for (int pane = t; pane < kLayoutPanes; pane += 16) {
                    pending.Mark(pane, At(static_cast<float>(round)), 7);
                }
            }
            --running;
        });
    }
    float latest[kLayoutPanes] = {};
    bool wentBack = false;
    PendingPanes::Taken taken;
    const auto takeOnce = [&] {
        pending.Take(taken);
        for (int pane = 0; pane < kLayoutPanes; ++pane) {
            if (taken.drawn[pane]) {
                wentBack = wentBack || taken.rects[pane].x < latest[pane];
                latest[pane] = taken.rects[pane].x;
            }
        }
    };
    while (running.load() > 0) {
        takeOnce();
    }
    for (std::thread& t : threads) {
        t.join();
    }
    takeOnce();
    EXPECT_FALSE(wentBack);
    for (int pane = 0; pane < kLayoutPanes; ++pane) {
        const bool recorded = pane % 16 < kThreads;
        EXPECT_EQ(latest[pane], recorded ? static_cast<float>(kRounds) : 0.0f) << "pane " << pane;
    }
    EXPECT_FALSE(pending.anyPending());
}

TEST(PendingPanes, AClearWinsOverWhatWasRecordedAndAnOldGenerationsPaneIsDropped) {
    PendingPanes pending;
    PendingPanes::Taken taken;
    pending.Take(taken);
    EXPECT_TRUE(taken.clear) << "a new surface starts grey";

    pending.Clear(1);
    pending.Mark(3, At(30), 1);
    pending.Take(taken);
    EXPECT_TRUE(taken.clear && taken.drawn[3]) << "a pane recorded after the clear is drawn";
    EXPECT_EQ(taken.rects[3].x, 30);

    pending.Mark(5, At(50), 1);
    pending.Clear(2);
    pending.Take(taken);
    EXPECT_TRUE(taken.clear);
    EXPECT_FALSE(taken.drawn[5]) << "a pane recorded before the clear came back";

    pending.Mark(6, At(60), 1);
    EXPECT_FALSE(pending.anyPending()) << "generation 1's pane taken in generation 2";
    pending.Mark(-1, At(0), 2);
    pending.Mark(kLayoutPanes, At(0), 2);
    EXPECT_FALSE(pending.anyPending());

    // A new frame buffer clears but keeps the panes; a pan redraws whatever the generation.
    pending.Mark(7, At(70), 2);
    pending.RequestClear();
    pending.Redraw(8, At(80));
    pending.Take(taken);
    EXPECT_TRUE(taken.clear && taken.drawn[7] && taken.drawn[8] && !taken.drawn[6]);
    pending.Take(taken);
    EXPECT_FALSE(taken.clear || taken.drawn[7] || taken.drawn[8]) << "taken twice";
}

TEST(PendingPanes, TheTimerRestsAfterHalfASecondIdleAndOnePaneOfManyWakesIt) {
    PendingPanes pending;
    pending.Clear(1);
    for (int tick = 1; tick < PendingPanes::kTicksBeforeRest; ++tick) {
        ASSERT_FALSE(pending.CountTick().rest) << "rested after " << tick << " ticks";
    }
    EXPECT_TRUE(pending.CountTick().rest);
    EXPECT_TRUE(pending.resting());

    // Display threads race to record the first pictures: exactly one of them wakes the timer.
    std::atomic<int> wakes{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < 100; ++i) {
                wakes += pending.Mark(t, At(1), 1) ? 1 : 0;
            }
        });
    }
    for (std::thread& t : threads) {
        t.join();
    }
    EXPECT_EQ(wakes.load(), 1);
    const PendingPanes::Tick tick = pending.CountTick();
    EXPECT_TRUE(tick.pending);
    EXPECT_FALSE(tick.rest) << "a tick with pictures counted as idle";
    PendingPanes::Taken taken;
    pending.Take(taken);
    EXPECT_FALSE(pending.CountTick().rest) << "the idle count did not start again";
}

TEST(PendingPanes, ABusyWallIsFlushedAtAScreensRateAndAQuietOneAtEveryTick) {
    PendingPanes pending;
    pending.Clear(1);
    PendingPanes::Taken taken;
    // One window at a flush per tick with a few panes each: below the busy rate.
    int quietPanes = 0;
    for (int tick = 0; tick < PendingPanes::kWindowTicks; ++tick) {
        pending.Mark(tick % 3, At(1), 1);
        ++quietPanes;
        ASSERT_TRUE(pending.CountTick().flush) << "a quiet surface waited at tick " << tick;
        pending.Take(taken);
    }
    ASSERT_LE(quietPanes, PendingPanes::kBusyPanes);
    // Then many panes a tick, flushed as the ticks say: once a window of that is over, the
    // flushes come every few ticks.
    int flushes[2] = {};
    for (int tick = 0; tick < 2 * PendingPanes::kWindowTicks; ++tick) {
        for (int pane = 0; pane < 6; ++pane) {
            pending.Mark((tick * 6 + pane) % kLayoutPanes, At(1), 1);
        }
        if (pending.CountTick().flush) {
            pending.Take(taken);
            ++flushes[tick / PendingPanes::kWindowTicks];
        }
    }
    EXPECT_GE(flushes[0], PendingPanes::kWindowTicks - 1);
    EXPECT_NEAR(flushes[1], PendingPanes::kWindowTicks / PendingPanes::kBusyTicks, 1);
    pending.Take(taken);
    // A new layout is drawn at once, busy as the wall is.
    for (int tick = 1; tick < PendingPanes::kBusyTicks; ++tick) {
        pending.Mark(3, At(1), 1);
        ASSERT_FALSE(pending.CountTick().flush) << tick;
    }
    pending.Clear(2);
    pending.Mark(4, At(1), 2);
    EXPECT_TRUE(pending.CountTick().flush);
    pending.Take(taken);
    // Quiet again for a window: every tick with a pane flushes again.
    for (int tick = 0; tick < PendingPanes::kWindowTicks; ++tick) {
        pending.CountTick();
    }
    pending.Mark(5, At(1), 2);
    EXPECT_TRUE(pending.CountTick().flush);
}

}  // namespace
