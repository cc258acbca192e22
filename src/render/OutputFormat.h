// The format of a conversion's output, as the user chose it: the word length, the
// channel layout and whether markers go in. One value carries it from the front
// end's option, button or setting down to the narrowing kernels, so that nothing
// on the way has to read it back from a file's header.
#pragma once

#include <cstdint>

#include "edl/ChanTypes.h"

struct OutputFormat {
    int bits = 16;              // 16 or 24
    ChanTypes layout = Stereo;  // MonoLeft, MonoRight, MonoSummed: one channel
    bool markers = false;       // a cue point where each recording begins

    // Two output files, the left and the right channel: dual mono.
    bool TwoFiles() const { return layout == DualMono; }
    int Files() const { return TwoFiles() ? 2 : 1; }
    // Channels over all files together, and in each file.
    int Channels() const { return layout == Stereo || layout == DualMono ? 2 : 1; }
    int FileChannels() const { return layout == Stereo ? 2 : 1; }
    // Bytes of one frame in each file.
    uint64_t FileFrameBytes() const {
        return static_cast<uint64_t>(FileChannels()) * static_cast<uint64_t>(bits / 8);
    }
};
