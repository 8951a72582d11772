// Reading a time map in tests: the slots marked in one band.
#pragma once

#include <vector>

#include "core/playback/TimeMap.h"

inline std::vector<int> MarkedSlots(const TimeMap& map, int band) {
    std::vector<int> slots;
    for (int i = 0; i < kDaySlots; ++i) {
        if (map[band][i] != 0) {
            slots.push_back(i);
        }
    }
    return slots;
}

// The slots from..to, both included.
inline std::vector<int> SlotRange(int from, int to) {
    std::vector<int> slots;
    for (int i = from; i <= to; ++i) {
        slots.push_back(i);
    }
    return slots;
}
