// Conversion benchmark, run by hand: DataChange of one D1 picture with a hot cache, against a
// memcpy of the 811,008 bytes it writes, measured in the same run.
//   build/bench/quillmarsh-bench-convert [ROUNDS]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "core/decode/PixelConversion.h"

namespace {

template <typename F>
double BestSeconds(int rounds, F f) {
    double best = 1e9;
    for (int r = 0; r < rounds; ++r) {
        const auto start = std::chrono::steady_clock::now();
        f();
        best = std::min(
            best, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    }
    return best;
}

}  // namespace

int main(int argc, char** argv) {
    const int rounds = argc > 1 ? std::atoi(argv[1]) : 2000;
    constexpr std::size_t kOut = 704 * 576 * 2;
    std::vector<uint8_t> src(704 * 576 * 3 / 2);
    std::vector<uint8_t> dst(kOut);
    std::vector<uint8_t> copySrc(kOut);
    for (std::size_t i = 0; i < src.size(); ++i) {
        src[i] = static_cast<uint8_t>(i * 31);
    }
    const double convert = BestSeconds(rounds, [&] { DataChange(dst.data(), src.data(), 0); });
    const double copy = BestSeconds(rounds, [&] {
        std::memcpy(dst.data(), copySrc.data(), kOut);
        asm volatile("" : : "r"(dst.data()) : "memory");
    });
    std::printf("DataChange D1: %.1f us, memcpy of %zu bytes: %.1f us\n", convert * 1e6, kOut,
                copy * 1e6);
    std::printf("ratio DataChange/memcpy: %.2f (target <= 1.50)\n", convert / copy);
    return 0;
}
