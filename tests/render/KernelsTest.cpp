#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "render/Kernels.h"

namespace {

using Bytes = std::vector<uint8_t>;
using Frames = std::vector<int32_t>;

// Staged frames made from (left, right) pairs.
Frames Staged(std::initializer_list<std::pair<int32_t, int32_t>> pairs) {
    Frames frames;
    for (const auto& [left, right] : pairs) {
        frames.push_back(left);
        frames.push_back(right);
    }
    return frames;
}

constexpr int32_t kMin32 = INT32_MIN;

}  // namespace

TEST(Kernels, WideningPutsTheSampleInTheTopBits) {
    Frames frames(4);
    const Bytes stereo16 = {0x34, 0x12, 0xFF, 0xFF, 0x00, 0x80, 0xFF, 0x7F};
    Conv16Stereoto32bit(2, frames.data(), stereo16.data());
    EXPECT_EQ(frames, (Frames{0x12340000, -65536, kMin32, 0x7FFF0000}));

    const Bytes stereo24 = {0x56, 0x34, 0x12, 0x00, 0x00, 0x80, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x7F};
    Conv24Stereoto32bit(2, frames.data(), stereo24.data());
    EXPECT_EQ(frames, (Frames{0x12345600, kMin32, -256, 0x7FFFFF00}));

    const Bytes mono16 = {0x34, 0x12, 0xFF, 0xFF};
    Conv16Monoto32bit(2, frames.data(), mono16.data());
    EXPECT_EQ(frames, (Frames{0x12340000, 0x12340000, -65536, -65536}));

    const Bytes mono24 = {0x56, 0x34, 0x12, 0x00, 0x00, 0x80};
    Conv24Monoto32bit(2, frames.data(), mono24.data());
    EXPECT_EQ(frames, (Frames{0x12345600, 0x12345600, kMin32, kMin32}));

    const Bytes left16 = {0x34, 0x12, 0x01, 0x00}, right16 = {0xFF, 0xFF, 0x00, 0x80};
    Conv16DualMonoto32bit(2, frames.data(), left16.data(), right16.data());
    EXPECT_EQ(frames, (Frames{0x12340000, -65536, 0x10000, kMin32}));

    const Bytes left24 = {0x56, 0x34, 0x12, 0x01, 0x00, 0x00};
    const Bytes right24 = {0x00, 0x00, 0x80, 0xFF, 0xFF, 0xFF};
    Conv24DualMonoto32bit(2, frames.data(), left24.data(), right24.data());
    EXPECT_EQ(frames, (Frames{0x12345600, kMin32, 0x100, -256}));
}

TEST(Kernels, NarrowingTruncatesTowardsMinusInfinity) {
    const Frames frames = Staged({{0x1234FFFF, -1}, {0x12345678, kMin32}});
    Bytes out(8);
    Conv32to16bitStereo(2, out.data(), frames.data());
    EXPECT_EQ(out, (Bytes{0x34, 0x12, 0xFF, 0xFF, 0x34, 0x12, 0x00, 0x80}));

    out.assign(12, 0);
    Conv32to24bitStereo(2, out.data(), frames.data());
    EXPECT_EQ(out, (Bytes{0xFF, 0x34, 0x12, 0xFF, 0xFF, 0xFF, 0x56, 0x34, 0x12, 0x00, 0x00, 0x80}));

    Bytes left(6), right(6);
    Conv32to16bitDualMono(2, left.data(), right.data(), frames.data());
    EXPECT_EQ(left, (Bytes{0x34, 0x12, 0x34, 0x12, 0, 0}));
    EXPECT_EQ(right, (Bytes{0xFF, 0xFF, 0x00, 0x80, 0, 0}));
    Conv32to24bitDualMono(2, left.data(), right.data(), frames.data());
    EXPECT_EQ(left, (Bytes{0xFF, 0x34, 0x12, 0x56, 0x34, 0x12}));
    EXPECT_EQ(right, (Bytes{0xFF, 0xFF, 0xFF, 0x00, 0x00, 0x80}));
}

TEST(Kernels, MonoTakesTheFirstSampleOfEachFrameOrTheRightWhenGivenItsAddress) {
    const Frames frames = Staged({{0x11110000, 0x22220000}, {0x33330000, 0x44440000}});
    Bytes out(6);
    Conv32to16bitMono(2, out.data(), frames.data());
    EXPECT_EQ(out, (Bytes{0x11, 0x11, 0x33, 0x33, 0, 0}));
    Conv32to16bitMono(2, out.data(), frames.data() + 1);
    EXPECT_EQ(out, (Bytes{0x22, 0x22, 0x44, 0x44, 0, 0}));
    Conv32to24bitMono(2, out.data(), frames.data());
    EXPECT_EQ(out, (Bytes{0x00, 0x11, 0x11, 0x00, 0x33, 0x33}));
    Conv32to24bitMono(2, out.data(), frames.data() + 1);
    EXPECT_EQ(out, (Bytes{0x00, 0x22, 0x22, 0x00, 0x44, 0x44}));
}

TEST(Kernels, MonoSumAddsWithoutHalvingAndSaturates) {
    const Frames frames = Staged({
        {0x30000000, 0x10000000},    // plain sum
        {0x40000000, 0x40000000},    // exactly 2^31: saturates high
        {-0x40000000, -0x40000000},  // exactly -2^31: fits, no saturation needed
        {0x7FFF0000, -0x7FFF0000},   // opposite signs cancel
        {kMin32, kMin32},            // far below: saturates low
        {0x7FFFFFFF, 0x7FFFFFFF},    // far above
    });
    Bytes out16(12);
    Conv32to16bitMonoSum(6, out16.data(), frames.data());
    EXPECT_EQ(out16,
              (Bytes{0x00, 0x40, 0xFF, 0x7F, 0x00, 0x80, 0x00, 0x00, 0x00, 0x80, 0xFF, 0x7F}));
    Bytes out24(18);
    Conv32to24bitMonoSum(6, out24.data(), frames.data());
    EXPECT_EQ(out24, (Bytes{0x00, 0x00, 0x40, 0xFF, 0xFF, 0x7F, 0x00, 0x00, 0x80, 0x00, 0x00, 0x00,
                            0x00, 0x00, 0x80, 0xFF, 0xFF, 0x7F}));
}

// Widening then narrowing gives back the original bytes, for every layout.
TEST(Kernels, ZeroCountOrNullPointerDoesNothing) {
    Frames frames(8, 0x5A5A5A5A);
    Bytes bytes(48, 0xA5);
    const Frames framesBefore = frames;
    const Bytes bytesBefore = bytes;
    int32_t* f = frames.data();
    uint8_t* b = bytes.data();
    for (const int32_t count : {0, -1}) {
        Conv16Stereoto32bit(count, f, b);
        Conv24DualMonoto32bit(count, f, b, b + 24);
        Conv32to16bitMonoSum(count, b, f);
        Conv32to24bitDualMono(count, b, b + 24, f);
        FadeBuffer(count, 4, f, FadeTable());
    }
    Conv16Stereoto32bit(2, nullptr, b);
    Conv16Monoto32bit(2, f, nullptr);
    Conv16DualMonoto32bit(2, f, b, nullptr);
    Conv24Stereoto32bit(2, f, nullptr);
    Conv24Monoto32bit(2, nullptr, b);
    Conv24DualMonoto32bit(2, f, nullptr, b);
    Conv32to16bitStereo(2, b, nullptr);
    Conv32to16bitMono(2, nullptr, f);
    Conv32to16bitMonoSum(2, b, nullptr);
    Conv32to16bitDualMono(2, b, nullptr, f);
    Conv32to24bitStereo(2, nullptr, f);
    Conv32to24bitMono(2, b, nullptr);
    Conv32to24bitMonoSum(2, nullptr, f);
    Conv32to24bitDualMono(2, nullptr, b, f);
    FadeBuffer(2, 4, f, nullptr);
    FadeBuffer(2, 4, nullptr, FadeTable());
    EXPECT_EQ(frames, framesBefore);
    EXPECT_EQ(bytes, bytesBefore);
}

// Each entry is checked against its definition, floor(sqrt(i * M^2) / 64) with
// M = 2^31 - 1, that is (64 e)^2 <= i * M^2 < (64 (e + 1))^2, in exact 128-bit
// arithmetic.
TEST(FadeTable, EveryEntryIsTheExactSquareRootCurve) {
    __extension__ using U128 = unsigned __int128;
    const uint32_t* table = FadeTable();
    const U128 fullScale = 0x7FFFFFFF;
    for (int32_t i = 0; i < 4; ++i) EXPECT_EQ(table[i], 0u) << i;
    for (int32_t i = 4; i < kFadeTableSize; ++i) {
        const U128 target = fullScale * fullScale * static_cast<U128>(i);
        const U128 low = U128{table[i]} * 64;
        const U128 high = low + 64;
        ASSERT_LE(low * low, target) << "entry " << i;
        ASSERT_LT(target, high * high) << "entry " << i;
        ASSERT_GE(table[i], table[i - 1]) << "entry " << i;
    }
    EXPECT_EQ(table[4], 67108863u);
    EXPECT_EQ(table[5], 75029990u);
    EXPECT_EQ(table[1024], 1073741823u);
    EXPECT_EQ(table[2048], 1518500249u);
    EXPECT_EQ(table[3072], 1859775392u);
    EXPECT_EQ(table[4095], 2147221486u);
    EXPECT_EQ(table[4095] >> 16, 32763u);
    EXPECT_EQ(FadeTable(), table);
}

TEST(FadeBuffer, ScalesBothChannelsByTheUpperHalfOfTheEntry) {
    const uint32_t* table = FadeTable();
    Frames frames = Staged({{0x40000000, kMin32}, {0x4000FFFF, -0x40000000}});
    FadeBuffer(1, 0, frames.data(), table + 2048);
    EXPECT_EQ(frames[0], 759234560);
    FadeBuffer(1, 0, frames.data() + 2, table + 4095);
    EXPECT_EQ(frames[2], 0x3FFD8000);  // the low 16 bits play no part
    EXPECT_EQ(frames[3], -0x3FFD8000);

    frames = Staged({{0x40000000, kMin32}});
    FadeBuffer(1, 0, frames.data(), table + 4095);
    EXPECT_EQ(frames, (Frames{0x3FFD8000, -2147155968}));

    for (int32_t entry = 0; entry < 4; ++entry) {
        frames = Staged({{0x7FFFFFFF, kMin32}, {-1, 0x12345678}});
        FadeBuffer(2, 0, frames.data(), table + entry);
        EXPECT_EQ(frames, Frames(4, 0)) << "entry " << entry;
    }
}

// With a table whose gain equals its index, and samples of 1 in the upper half,
// each faded sample is twice the index of the entry it read.
TEST(FadeBuffer, WalksTheTableBySignedSteps) {
    std::vector<uint32_t> ramp(kFadeTableSize);
    for (int32_t i = 0; i < kFadeTableSize; ++i) ramp[i] = static_cast<uint32_t>(i) << 16;

    constexpr int32_t kCount = 1024;
    Frames frames(2 * kCount, 0x10000);
    FadeBuffer(kCount, -4, frames.data(), ramp.data() + 4095);
    for (int32_t k = 0; k < kCount; ++k) {
        ASSERT_EQ(frames[2 * k], 2 * (4095 - 4 * k)) << k;
        ASSERT_EQ(frames[2 * k + 1], 2 * (4095 - 4 * k)) << k;
    }
    EXPECT_EQ(frames.back(), 2 * 3);

    frames.assign(2 * kCount, -0x10000);
    FadeBuffer(kCount, 4, frames.data(), ramp.data());
    for (int32_t k = 0; k < kCount; ++k) ASSERT_EQ(frames[2 * k], -2 * (4 * k)) << k;
    EXPECT_EQ(frames.back(), -2 * 4092);
}
