#include "core/dvr/ReconnectDelay.h"

#include <algorithm>

std::chrono::milliseconds ReconnectDelay(int attempt, std::chrono::milliseconds first,
                                         std::chrono::milliseconds longest, double jitter,
                                         double spread) {
    std::chrono::milliseconds wait = first;
    for (int i = 0; i < attempt && wait < longest; ++i) {
        wait *= 2;
    }
    wait = std::min(wait, longest);
    const double scale = 1.0 + jitter * std::clamp(spread, -1.0, 1.0);
    return std::chrono::milliseconds(
        static_cast<std::chrono::milliseconds::rep>(static_cast<double>(wait.count()) * scale));
}
