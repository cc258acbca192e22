// The staging buffer's own guards: sources it cannot read become silence, and a
// fade it is asked for in the wrong place or with a wrong step changes nothing.
// (What it stages and how it fades is compared with the reference model through
// whole conversions, in tests/engine.)
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "render/Kernels.h"
#include "render/StagingBuffer.h"

// Frames that cannot be read from the sources still count as placed, so they
// must not carry the audio of an earlier block.
TEST(StagingBuffer, UnreadableSourcesPlaceSilence) {
    StagingBuffer buffer;
    const std::vector<uint8_t> loud(6 * 64, 0x7F);
    // No source, and layouts no take has: two files, or an unknown one.
    const struct {
        const uint8_t* src;
        ChanTypes type;
    } cases[] = {
        {nullptr, Stereo},
        {loud.data(), DualMono},
        {loud.data(), static_cast<ChanTypes>(5)},
    };
    for (const uint16_t width : {16, 24}) {
        for (const auto& c : cases) {
            buffer.Reset();
            ASSERT_EQ(buffer.Render(loud.data(), 64, width, Stereo, 0), 64u);
            buffer.Reset();
            EXPECT_EQ(buffer.Render(c.src, 32, width, c.type, 0), 32u);
            for (uint64_t i = 0; i < 64; ++i) ASSERT_EQ(buffer.memBuffer[i], 0) << i;
            EXPECT_NE(buffer.memBuffer[64], 0);  // beyond the placed frames: untouched
        }
    }
}

TEST(StagingBuffer, AFadeOutsideTheStagedFramesOrWithABadStepChangesNothing) {
    StagingBuffer buffer;
    const std::vector<uint8_t> level(4 * kStageFrames, 0x40);
    ASSERT_EQ(buffer.Render(level.data(), kStageFrames, 16, Stereo, 100000), kStageFrames);
    const std::vector<int32_t> staged(buffer.memBuffer, buffer.memBuffer + 2 * kStageFrames);
    EXPECT_EQ(buffer.Fade(99999, 0, true, 16), 0u);                      // before the block
    EXPECT_EQ(buffer.Fade(100000 + kStageFrames + 1, 0, true, 16), 0u);  // past its end
    EXPECT_EQ(buffer.Fade(100000 + kStageFrames, 5, true, 16), 5u);  // at the end: still pending
    for (const int8_t step : {0, 3, -4, -128}) {
        EXPECT_EQ(buffer.Fade(100000, 0, true, step), 0u) << int{step};
    }
    EXPECT_EQ(buffer.Fade(100000, 1024, true, 16), 0u);  // offset past the fade's length
    EXPECT_EQ(buffer.Fade(100000, UINT64_MAX, false, 16), 0u);
    EXPECT_TRUE(std::equal(staged.begin(), staged.end(), buffer.memBuffer));
}
