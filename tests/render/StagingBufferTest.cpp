#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "render/Kernels.h"
#include "render/StagingBuffer.h"

namespace {

using Bytes = std::vector<uint8_t>;

// 16-bit stereo source frames: frame k is (first + k, -(first + k)).
Bytes CountingStereo16(uint64_t frames, int16_t first) {
    Bytes bytes;
    for (uint64_t k = 0; k < frames; ++k) {
        const auto left = static_cast<uint16_t>(first + static_cast<int32_t>(k));
        const auto right = static_cast<uint16_t>(-static_cast<int16_t>(left));
        for (const uint16_t s : {left, right}) {
            bytes.push_back(static_cast<uint8_t>(s));
            bytes.push_back(static_cast<uint8_t>(s >> 8));
        }
    }
    return bytes;
}

// The staged value of a 16-bit sample.
int32_t Staged16(int32_t sample) {
    return static_cast<int32_t>(static_cast<uint32_t>(sample) << 16);
}

int32_t Left(const StagingBuffer& buffer, uint64_t frame) {
    return buffer.memBuffer[2 * frame];
}
int32_t Right(const StagingBuffer& buffer, uint64_t frame) {
    return buffer.memBuffer[2 * frame + 1];
}

void ExpectInvariant(const StagingBuffer& buffer) {
    EXPECT_EQ(buffer.bufPtr, buffer.memBuffer + 2 * buffer.samples);
}

// A whole block at `start` of frames (0x4000, -0x4000) in 16 bits, staged as
// (0x40000000, -0x40000000), ready to be faded.
constexpr int32_t kLevel = 0x4000;
void FillLevelBlock(StagingBuffer& buffer, uint64_t start) {
    Bytes frame = {0x00, 0x40, 0x00, 0xC0};
    Bytes source;
    for (uint64_t k = 0; k < kStageFrames; ++k)
        source.insert(source.end(), frame.begin(), frame.end());
    buffer.Reset();
    ASSERT_EQ(buffer.Render(source.data(), nullptr, kStageFrames, 16, Stereo, start), kStageFrames);
}

// The left sample of a level frame after a fade gain from `entry`.
int32_t FadedLevel(int32_t entry) {
    return 2 * static_cast<int32_t>(FadeTable()[entry] >> 16) * kLevel;
}

// Checks frames [from, to) of a level block against consecutive table entries.
void ExpectFaded(const StagingBuffer& buffer, uint64_t from, uint64_t to, int32_t firstEntry,
                 int32_t step) {
    int32_t entry = firstEntry;
    for (uint64_t k = from; k < to; ++k, entry += step) {
        ASSERT_EQ(Left(buffer, k), FadedLevel(entry)) << "frame " << k << " entry " << entry;
        ASSERT_EQ(Right(buffer, k), -FadedLevel(entry)) << "frame " << k << " entry " << entry;
    }
}

void ExpectUntouched(const StagingBuffer& buffer, uint64_t from, uint64_t to) {
    for (uint64_t k = from; k < to; ++k) {
        ASSERT_EQ(Left(buffer, k), Staged16(kLevel)) << "frame " << k;
        ASSERT_EQ(Right(buffer, k), Staged16(-kLevel)) << "frame " << k;
    }
}

}  // namespace

TEST(StagingBuffer, StartsEmptyOverSilence) {
    StagingBuffer buffer;
    EXPECT_EQ(buffer.samples, 0u);
    EXPECT_EQ(buffer.sampleStart, 0u);
    EXPECT_FALSE(buffer.full);
    ExpectInvariant(buffer);
    for (uint64_t i = 0; i < 2 * kStageFrames; ++i) ASSERT_EQ(buffer.memBuffer[i], 0) << i;
}

TEST(StagingBuffer, RenderPlacesNoMoreThanTheRoomLeft) {
    StagingBuffer buffer;
    ASSERT_EQ(buffer.ZeroFill(10000, 0), 10000u);
    const Bytes source = CountingStereo16(10000, 1);
    EXPECT_EQ(buffer.Render(source.data(), nullptr, 10000, 16, Stereo, 10000), 6384u);
    EXPECT_EQ(buffer.samples, kStageFrames);
    ExpectInvariant(buffer);
    EXPECT_EQ(Left(buffer, 9999), 0);
    EXPECT_EQ(Left(buffer, 10000), Staged16(1));
    EXPECT_EQ(Right(buffer, 10000), Staged16(-1));
    EXPECT_EQ(Left(buffer, 16383), Staged16(6384));
    EXPECT_EQ(Right(buffer, 16383), Staged16(-6384));

    EXPECT_EQ(buffer.Render(source.data(), nullptr, 10000, 16, Stereo, 16384), 0u);
    EXPECT_EQ(buffer.ZeroFill(10, 16384), 0u);
    EXPECT_EQ(buffer.samples, kStageFrames);
    ExpectInvariant(buffer);
}

TEST(StagingBuffer, FullStopsRenderButNotZeroFill) {
    StagingBuffer buffer;
    const Bytes source = CountingStereo16(100, 1);
    ASSERT_EQ(buffer.Render(source.data(), nullptr, 100, 16, Stereo, 0), 100u);
    buffer.full = true;
    EXPECT_EQ(buffer.Render(source.data(), nullptr, 100, 16, Stereo, 100), 0u);
    EXPECT_EQ(buffer.samples, 100u);
    EXPECT_EQ(buffer.ZeroFill(50, 100), 50u);
    EXPECT_EQ(buffer.samples, 150u);
    EXPECT_EQ(Left(buffer, 99), Staged16(100));
    EXPECT_EQ(Left(buffer, 100), 0);
    ExpectInvariant(buffer);

    buffer.Reset();
    EXPECT_FALSE(buffer.full);
    EXPECT_EQ(buffer.samples, 0u);
    ExpectInvariant(buffer);
    EXPECT_EQ(buffer.Render(source.data(), nullptr, 100, 16, Stereo, 500), 100u);
}

TEST(StagingBuffer, FirstPlacementIntoAnEmptyBlockSetsItsStart) {
    StagingBuffer buffer;
    const Bytes source = CountingStereo16(10, 1);
    ASSERT_EQ(buffer.Render(source.data(), nullptr, 10, 16, Stereo, 5000), 10u);
    EXPECT_EQ(buffer.sampleStart, 5000u);
    ASSERT_EQ(buffer.ZeroFill(10, 5010), 10u);
    ASSERT_EQ(buffer.Render(source.data(), nullptr, 10, 16, Stereo, 5020), 10u);
    EXPECT_EQ(buffer.sampleStart, 5000u);

    buffer.Reset();
    EXPECT_EQ(buffer.sampleStart, 5000u);  // kept until the next placement
    ASSERT_EQ(buffer.ZeroFill(10, 7000), 10u);
    EXPECT_EQ(buffer.sampleStart, 7000u);
}

TEST(StagingBuffer, WidthsOtherThan16Or24PlaceNothing) {
    StagingBuffer buffer;
    const Bytes source(4 * 100, 0x11);
    ASSERT_EQ(buffer.ZeroFill(10, 300), 10u);
    for (const uint16_t width : {0, 8, 20, 32}) {
        EXPECT_EQ(buffer.Render(source.data(), nullptr, 100, width, Stereo, 310), 0u) << width;
        EXPECT_EQ(buffer.samples, 10u);
        EXPECT_EQ(buffer.sampleStart, 300u);
        ExpectInvariant(buffer);
    }
    buffer.Reset();
    EXPECT_EQ(buffer.Render(source.data(), nullptr, 100, 20, Stereo, 900), 0u);
    EXPECT_EQ(buffer.sampleStart, 300u);
    EXPECT_EQ(Left(buffer, 10), 0);
}

TEST(StagingBuffer, LayoutsChooseTheirKernels) {
    StagingBuffer buffer;
    const Bytes mono24 = {0x56, 0x34, 0x12, 0x00, 0x00, 0x80};
    for (const ChanTypes type : {MonoLeft, MonoRight, MonoSummed}) {
        buffer.Reset();
        ASSERT_EQ(buffer.Render(mono24.data(), nullptr, 2, 24, type, 0), 2u);
        EXPECT_EQ(Left(buffer, 0), 0x12345600) << type;
        EXPECT_EQ(Right(buffer, 0), 0x12345600) << type;
        EXPECT_EQ(Left(buffer, 1), INT32_MIN) << type;
        EXPECT_EQ(Right(buffer, 1), INT32_MIN) << type;
    }
    buffer.Reset();
    const Bytes left16 = {0x34, 0x12}, right16 = {0xFF, 0xFF};
    ASSERT_EQ(buffer.Render(left16.data(), right16.data(), 1, 16, DualMono, 0), 1u);
    EXPECT_EQ(Left(buffer, 0), 0x12340000);
    EXPECT_EQ(Right(buffer, 0), -65536);

    buffer.Reset();
    const Bytes stereo24 = {0x56, 0x34, 0x12, 0xFF, 0xFF, 0xFF};
    ASSERT_EQ(buffer.Render(stereo24.data(), nullptr, 1, 24, Stereo, 0), 1u);
    EXPECT_EQ(Left(buffer, 0), 0x12345600);
    EXPECT_EQ(Right(buffer, 0), -256);
}

// Frames that cannot be read from the sources still count as placed, so they
// must not carry the audio of an earlier block.
TEST(StagingBuffer, UnreadableSourcesPlaceSilence) {
    StagingBuffer buffer;
    const Bytes loud(4 * 64, 0x7F);
    struct Case {
        const uint8_t* left;
        const uint8_t* right;
        ChanTypes type;
    };
    const Case cases[] = {
        {nullptr, nullptr, Stereo},
        {nullptr, loud.data(), DualMono},
        {loud.data(), nullptr, DualMono},
        {loud.data(), loud.data(), static_cast<ChanTypes>(5)},
        {loud.data(), loud.data(), static_cast<ChanTypes>(-1)},
    };
    for (const uint16_t width : {16, 24}) {
        for (const Case& c : cases) {
            buffer.Reset();
            ASSERT_EQ(buffer.Render(loud.data(), nullptr, 64, 16, Stereo, 0), 64u);
            buffer.Reset();
            EXPECT_EQ(buffer.Render(c.left, c.right, 32, width, c.type, 0), 32u);
            EXPECT_EQ(buffer.samples, 32u);
            ExpectInvariant(buffer);
            for (uint64_t i = 0; i < 64; ++i) ASSERT_EQ(buffer.memBuffer[i], 0) << i;
            EXPECT_NE(buffer.memBuffer[64], 0);  // beyond the placed frames: untouched
        }
    }
}

// Called directly, the layout steps still stop at the end of the block.
TEST(StagingBuffer, LayoutStepsNeverWritePastTheBlock) {
    StagingBuffer buffer;
    const Bytes source(6 * 1000, 0x22);
    ASSERT_EQ(buffer.ZeroFill(kStageFrames - 10, 0), kStageFrames - 10);
    buffer.Render16bit(source.data(), nullptr, 1000, Stereo);
    buffer.Render24bit(source.data(), nullptr, 1000, Stereo);
    EXPECT_EQ(Left(buffer, kStageFrames - 1), 0x22222200);
    EXPECT_EQ(buffer.samples, kStageFrames - 10);
}

TEST(StagingBuffer, FadeInWithinOneBlock) {
    StagingBuffer buffer;
    FillLevelBlock(buffer, 100000);
    EXPECT_EQ(buffer.Fade(115000, 0, true, 16), 0u);
    ExpectUntouched(buffer, 14990, 15000);
    ExpectFaded(buffer, 15000, 16024, 0, 4);
    ExpectUntouched(buffer, 16024, kStageFrames);
}

TEST(StagingBuffer, FadeInCutByTheBlockEndContinuesInTheNext) {
    StagingBuffer buffer;
    FillLevelBlock(buffer, 100000);
    EXPECT_EQ(buffer.Fade(116000, 0, true, 16), 384u);
    ExpectUntouched(buffer, 15990, 16000);
    ExpectFaded(buffer, 16000, kStageFrames, 0, 4);
    EXPECT_EQ(Left(buffer, kStageFrames - 1), FadedLevel(1532));

    FillLevelBlock(buffer, 116384);
    EXPECT_EQ(buffer.Fade(116384, 384, true, 16), 0u);
    ExpectFaded(buffer, 0, 640, 1536, 4);
    ExpectUntouched(buffer, 640, 700);
}

TEST(StagingBuffer, FadeOutWalksTheTableDownToItsStart) {
    StagingBuffer buffer;
    for (const int8_t step : {16, 8, 4}) {
        const int32_t q = step / 4;
        const uint64_t length = kFadeTableSize / q;
        FillLevelBlock(buffer, 0);
        EXPECT_EQ(buffer.Fade(100, 0, false, step), 0u) << int{step};
        ExpectUntouched(buffer, 90, 100);
        ExpectFaded(buffer, 100, 100 + length, 4095, -q);
        EXPECT_EQ(Left(buffer, 100 + length - 1), FadedLevel(q - 1));
        ExpectUntouched(buffer, 100 + length, 110 + length);
    }
    // Continued from an offset, a fade-out resumes further down the table.
    FillLevelBlock(buffer, 0);
    EXPECT_EQ(buffer.Fade(0, 1000, false, 16), 0u);
    ExpectFaded(buffer, 0, 24, 4095 - 4000, -4);
    ExpectUntouched(buffer, 24, 30);
}

TEST(StagingBuffer, FadeOutsideTheStagedFramesOrWithABadStepChangesNothing) {
    StagingBuffer buffer;
    FillLevelBlock(buffer, 100000);
    EXPECT_EQ(buffer.Fade(99999, 0, true, 16), 0u);                      // before the block
    EXPECT_EQ(buffer.Fade(100000 + kStageFrames + 1, 0, true, 16), 0u);  // past its end
    EXPECT_EQ(buffer.Fade(100000 + kStageFrames, 5, true, 16), 5u);  // at the end: still pending
    for (const int8_t step : {0, 3, -4, -16, -128}) {
        EXPECT_EQ(buffer.Fade(100000, 0, true, step), 0u) << int{step};
    }
    EXPECT_EQ(buffer.Fade(100000, 1024, true, 16), 0u);  // offset past the fade's length
    EXPECT_EQ(buffer.Fade(100000, UINT64_MAX, false, 16), 0u);
    ExpectUntouched(buffer, 0, kStageFrames);

    // Only the staged frames are faded; a short block leaves the fade pending.
    buffer.Reset();
    ASSERT_EQ(buffer.ZeroFill(0, 0), 0u);
    const Bytes source = CountingStereo16(100, 1);
    ASSERT_EQ(buffer.Render(source.data(), nullptr, 100, 16, Stereo, 200), 100u);
    EXPECT_EQ(buffer.Fade(250, 0, true, 16), 50u);
    EXPECT_EQ(Left(buffer, 49), Staged16(50));
    EXPECT_EQ(Left(buffer, 50), 0);  // entry 0
    EXPECT_EQ(Left(buffer, 100), Staged16(kLevel));
}
