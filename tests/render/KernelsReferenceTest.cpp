// Every sample kernel, on each of its paths (the kernel as the renderer calls it,
// which on an x86-64 processor with SSSE3 is the shuffle path of the 24-bit
// kernels, and the byte-at-a-time path of namespace bytewise), against a plain
// reference written here from the kernels' contract in ordinary integer
// arithmetic: multiplication, floor division and wide sums instead of shifts and
// masks. And the fade table against its definition.
//
// The counts are odd and small as well as large, so the last-frame special case
// of the word path runs on its own (count 1) and after a few words, and the
// shuffle path's 8-frame steps run with every number of frames left over. Inputs
// are sized exactly, so a kernel reading past them shows up under
// AddressSanitizer; outputs sit between guard bytes, so a stray write shows up in
// any build.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "render/Kernels.h"

namespace {

using Bytes = std::vector<uint8_t>;
using Frames = std::vector<int32_t>;

// Every count up to 40 (all remainders of the 8-frame steps, with 0 to 4 steps
// before them), and a few around larger multiples of 8.
std::vector<int32_t> Counts() {
    std::vector<int32_t> counts;
    for (int32_t count = 1; count <= 40; ++count) counts.push_back(count);
    for (const int32_t count : {63, 64, 65, 255, 1001, 16383, 16384, 16385}) {
        counts.push_back(count);
    }
    return counts;
}

// --- the reference ----------------------------------------------------------

// The staged value of a little-endian sample of `width` bytes: its signed value
// times 2^(32 - 8 width).
int32_t ReferenceWiden(const uint8_t* p, int width) {
    int64_t value = 0;
    for (int i = width - 1; i >= 0; --i) value = value * 256 + p[i];
    const int64_t range = int64_t{1} << (8 * width);
    if (value >= range / 2) value -= range;
    return static_cast<int32_t>(value * (int64_t{1} << (32 - 8 * width)));
}

// Appends the little-endian bytes of floor(staged / 2^(32 - 8 width)).
void ReferenceNarrow(int32_t staged, int width, Bytes& out) {
    const int64_t scale = int64_t{1} << (32 - 8 * width);
    int64_t value = staged / scale;
    if (staged % scale < 0) --value;  // division truncates towards zero
    const int64_t range = int64_t{1} << (8 * width);
    int64_t bits = value < 0 ? value + range : value;
    for (int i = 0; i < width; ++i, bits /= 256) out.push_back(static_cast<uint8_t>(bits % 256));
}

int32_t ReferenceSum(int32_t left, int32_t right) {
    return static_cast<int32_t>(std::clamp<int64_t>(int64_t{left} + right, INT32_MIN, INT32_MAX));
}

// --- data ---------------------------------------------------------------------

Bytes RandomBytes(size_t n, std::mt19937& rng) {
    Bytes bytes(n);
    for (auto& b : bytes) b = static_cast<uint8_t>(rng());
    return bytes;
}

// Random samples, a quarter of them from the edges where truncation and the
// saturated sum are easiest to get wrong.
Frames RandomFrames(int32_t count, std::mt19937& rng) {
    static constexpr int32_t kEdges[] = {
        INT32_MIN,     INT32_MIN + 1, -0x40000000, -65536, -65535,
        -256,          -255,          -1,          0,      1,
        255,           256,           65535,       65536,  0x40000000,
        INT32_MAX - 1, INT32_MAX};
    Frames frames(2 * static_cast<size_t>(count));
    for (auto& s : frames) {
        const uint32_t r = rng();
        s = r % 4 == 0 ? kEdges[(r >> 2) % std::size(kEdges)] : static_cast<int32_t>(rng());
    }
    return frames;
}

// An output buffer of `size` bytes (or samples) between two runs of guard values.
template <typename T>
struct Guarded {
    explicit Guarded(size_t size) : all(size + 32, kFill) {}
    T* data() { return all.data() + 16; }
    std::vector<T> inside() const { return {all.begin() + 16, all.end() - 16}; }
    bool guardsIntact() const {
        const auto isFill = [](T v) { return v == kFill; };
        return std::all_of(all.begin(), all.begin() + 16, isFill) &&
               std::all_of(all.end() - 16, all.end(), isFill);
    }
    static constexpr T kFill = static_cast<T>(0xA5A5A5A5);
    std::vector<T> all;
};

// --- the kernels, on every path ------------------------------------------------

enum class Layout { kStereo, kMono, kMonoSum, kDualMono };

struct Widening {
    std::string name;
    int width;  // bytes per sample
    Layout layout;
    void (*widen)(int32_t, int32_t*, const uint8_t*);
};

struct Narrowing {
    std::string name;
    int width;
    Layout layout;
    void (*oneStream)(int32_t, uint8_t*, const int32_t*);
    void (*twoStreams)(int32_t, uint8_t*, uint8_t*, const int32_t*);
};

// A kernel of either direction and either number of streams, by its type.
Widening Kernel(std::string name, int width, Layout layout,
                void (*f)(int32_t, int32_t*, const uint8_t*)) {
    return {std::move(name), width, layout, f};
}
Narrowing Kernel(std::string name, int width, Layout layout,
                 void (*f)(int32_t, uint8_t*, const int32_t*)) {
    return {std::move(name), width, layout, f, nullptr};
}
Narrowing Kernel(std::string name, int width, Layout layout,
                 void (*f)(int32_t, uint8_t*, uint8_t*, const int32_t*)) {
    return {std::move(name), width, layout, nullptr, f};
}
// The kernel as the renderer calls it and its byte-at-a-time path.
#define BOTH_PATHS(f, width, layout)      \
    Kernel(#f, width, Layout::layout, f), \
        Kernel("bytewise::" #f, width, Layout::layout, bytewise::f)

const std::vector<Widening> kWideningKernels = {
    BOTH_PATHS(Conv16Stereoto32bit, 2, kStereo), BOTH_PATHS(Conv16Monoto32bit, 2, kMono),
    BOTH_PATHS(Conv24Stereoto32bit, 3, kStereo), BOTH_PATHS(Conv24Monoto32bit, 3, kMono)};

const std::vector<Narrowing> kNarrowingKernels = {
    BOTH_PATHS(Conv32to16bitStereo, 2, kStereo),   BOTH_PATHS(Conv32to16bitMono, 2, kMono),
    BOTH_PATHS(Conv32to16bitMonoSum, 2, kMonoSum), BOTH_PATHS(Conv32to16bitDualMono, 2, kDualMono),
    BOTH_PATHS(Conv32to24bitStereo, 3, kStereo),   BOTH_PATHS(Conv32to24bitMono, 3, kMono),
    BOTH_PATHS(Conv32to24bitMonoSum, 3, kMonoSum), BOTH_PATHS(Conv32to24bitDualMono, 3, kDualMono)};

}  // namespace

TEST(KernelsReference, WideningMatchesThePlainReference) {
    std::mt19937 rng(11);
    for (const Widening& kernel : kWideningKernels) {
        for (const int32_t count : Counts()) {
            SCOPED_TRACE(kernel.name + ", " + std::to_string(count) + " frames");
            const auto frames = static_cast<size_t>(count);
            const int width = kernel.width;
            const bool stereo = kernel.layout == Layout::kStereo;
            const Bytes left = RandomBytes(frames * width * (stereo ? 2 : 1), rng);
            Frames expected;
            for (size_t k = 0; k < frames; ++k) {
                const int32_t l = ReferenceWiden(&left[k * width * (stereo ? 2 : 1)], width);
                expected.push_back(l);
                expected.push_back(stereo ? ReferenceWiden(&left[(2 * k + 1) * width], width) : l);
            }
            Guarded<int32_t> out(2 * frames);
            kernel.widen(count, out.data(), left.data());
            EXPECT_EQ(out.inside(), expected);
            EXPECT_TRUE(out.guardsIntact());
        }
    }
}

TEST(KernelsReference, NarrowingMatchesThePlainReference) {
    std::mt19937 rng(12);
    for (const Narrowing& kernel : kNarrowingKernels) {
        for (const int32_t count : Counts()) {
            const auto frames = static_cast<size_t>(count);
            const Frames staged = RandomFrames(count, rng);
            // A mono kernel also runs from the right sample of the first frame; its
            // input then starts there and ends with the last right sample, exactly.
            for (int offset = 0; offset < (kernel.layout == Layout::kMono ? 2 : 1); ++offset) {
                SCOPED_TRACE(kernel.name + ", " + std::to_string(count) + " frames, offset " +
                             std::to_string(offset));
                Bytes expected, rightStream;
                for (size_t k = 0; k < frames; ++k) {
                    const int32_t l = staged[2 * k], r = staged[2 * k + 1];
                    switch (kernel.layout) {
                        case Layout::kStereo:
                            ReferenceNarrow(l, kernel.width, expected);
                            ReferenceNarrow(r, kernel.width, expected);
                            break;
                        case Layout::kMono:
                            ReferenceNarrow(offset ? r : l, kernel.width, expected);
                            break;
                        case Layout::kMonoSum:
                            ReferenceNarrow(ReferenceSum(l, r), kernel.width, expected);
                            break;
                        case Layout::kDualMono:
                            ReferenceNarrow(l, kernel.width, expected);
                            ReferenceNarrow(r, kernel.width, rightStream);
                            break;
                    }
                }
                // Dual mono: the right stream right after the left, so that a word
                // written past the last left sample lands on the first right one,
                // written before it.
                expected.insert(expected.end(), rightStream.begin(), rightStream.end());
                const Frames input(staged.begin() + offset, staged.end());
                Guarded<uint8_t> out(expected.size());
                if (kernel.twoStreams) {
                    kernel.twoStreams(count, out.data(), out.data() + rightStream.size(),
                                      input.data());
                } else {
                    kernel.oneStream(count, out.data(), input.data());
                }
                EXPECT_EQ(out.inside(), expected);
                EXPECT_TRUE(out.guardsIntact());
            }
        }
    }
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
    }
    EXPECT_EQ(table[4095], 2147221486u);
}
