#include "core/decode/ReducedChannels.h"

#include "core/decode/H264Scan.h"

ReducedChannels::Step ReducedChannels::Next(int channel, const uint8_t* payload, std::size_t len) {
    const uint32_t bit = 1u << channel;
    const uint32_t applied = applied_.load(std::memory_order_relaxed);
    if ((wanted() & bit) != 0) {
        if ((applied & bit) == 0) {
            applied_.store(applied | bit, std::memory_order_relaxed);
        }
        return Step{true, false};
    }
    if ((applied & bit) == 0) {
        return Step{};
    }
    if (!IsDecodingStart(payload, len)) {
        return Step{true, true};
    }
    applied_.store(applied & ~bit, std::memory_order_relaxed);
    return Step{};
}
