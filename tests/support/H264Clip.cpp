#include "tests/support/H264Clip.h"

#include "tools/dvrsim/H264Encoder.h"
#include "tools/dvrsim/TestPattern.h"

std::vector<AccessUnit> EncodeClip(int width, int height, int frames, int gop, int seed,
                                   bool intraRefresh, bool deblock) {
    H264Encoder encoder(width, height, gop, intraRefresh, deblock);
    std::vector<AccessUnit> clip;
    for (int i = 0; i < frames; ++i) {
        FillTestPattern(encoder.Picture(), width, height, seed, i);
        clip.push_back(encoder.Encode());
    }
    return clip;
}
