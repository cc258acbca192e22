// Channel layouts. As an output layout it is the index of the user's channel
// choice; as the layout of a project event it is Stereo for a two-channel take and
// MonoLeft for a mono one; an event over a left and a right file is DualMono.
#pragma once

#include <cstdint>

enum ChanTypes : int32_t {
    Stereo = 0,
    MonoLeft = 1,
    MonoRight = 2,
    MonoSummed = 3,
    DualMono = 4,
};
