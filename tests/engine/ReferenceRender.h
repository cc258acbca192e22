// An independent, deliberately simple model of what a conversion must produce,
// written sample by sample: at every timeline frame the newest take that covers
// it plays; each take fades in at its start and out at its end over L frames
// (none between pieces of one recording), following the block rules — blocks of
// 16384 frames, a block ended early before an event's final L frames when they
// would straddle it, a cut-off fade continuing where it stopped. (How an event's
// frames are read in windows changes nothing in the output, so the model reads
// them whole.)
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace reference {

struct Take {
    uint64_t start = 0;
    uint64_t frames = 0;
    int channels = 2;
    int bits = 24;
    uint32_t identity = 1;
    uint32_t seed = 1;
};

// Staged frames (left, right pairs) of the whole span, for takes given oldest
// first, at a fade length of `fadeLength` frames.
std::vector<int32_t> Render(const std::vector<Take>& takesOldestFirst, uint64_t fadeLength,
                            uint64_t* firstSample = nullptr);

// The output bytes of staged frames for a layout (0 stereo, 1 left, 2 right,
// 3 sum, 4 dual mono) and width; for dual mono `right` receives the right file.
std::vector<uint8_t> Narrow(const std::vector<int32_t>& frames, int layout, int bits,
                            std::vector<uint8_t>* right = nullptr);

}  // namespace reference
