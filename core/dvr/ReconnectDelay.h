// The wait before attempt `attempt` (0 for the first) to reconnect a lost DVR: the first wait,
// doubled at each attempt up to the longest, then scaled by 1 + jitter * spread with `spread` in
// [-1, 1], so that DVRs lost together do not all come back in the same instant.
#pragma once

#include <chrono>

std::chrono::milliseconds ReconnectDelay(int attempt, std::chrono::milliseconds first,
                                         std::chrono::milliseconds longest, double jitter,
                                         double spread);
