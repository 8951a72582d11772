#include "core/wire/StreamSettings.h"

int32_t StreamFrameRate(int32_t frameRateIndex) {
    switch (frameRateIndex) {
        case 0: return 1;
        case 1: return 3;
        case 2: return 6;
        case 3: return 10;
        case 4: return 20;
        case 5: return 25;
        default: return 16;
    }
}

int32_t StreamBitRate(int32_t qualityIndex, int32_t framesPerSecond) {
    int32_t base = 1024;
    if (qualityIndex == 0) {
        base = 384;
    } else if (qualityIndex == 1) {
        base = 512;
    }
    return base / 25 * framesPerSecond;
}
