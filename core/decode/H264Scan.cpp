#include "core/decode/H264Scan.h"

bool ContainsIdrSlice(const uint8_t* data, std::size_t len) {
    constexpr uint8_t kIdrSlice = 5;
    for (std::size_t i = 0; i + 3 < len; ++i) {
        if (data[i] == 0 && data[i + 1] == 0 && data[i + 2] == 1) {
            if ((data[i + 3] & 0x1F) == kIdrSlice) {
                return true;
            }
            i += 2;
        }
    }
    return false;
}
