#include "render/Kernels.h"

#include <array>
#include <bit>
#include <cstddef>
#include <cstring>
#include <type_traits>

namespace {

// --- the fade table ---------------------------------------------------------

// Largest r with r * r <= value, digit by digit: exact for any 64-bit value.
constexpr uint64_t IntegerSqrt(uint64_t value) {
    uint64_t root = 0;
    uint64_t bit = uint64_t{1} << 62;
    while (bit > value) bit >>= 2;
    while (bit != 0) {
        if (value >= root + bit) {
            value -= root + bit;
            root = (root >> 1) + bit;
        } else {
            root >>= 1;
        }
        bit >>= 2;
    }
    return root;
}

// floor(sqrt(i / 4096) * M) with M = 2^31 - 1 is floor(sqrt(i * M^2) / 64), which
// equals the integer square root of floor(i * M^2 / 4096). Splitting M^2 into
// quotient and remainder by 4096 keeps that exact in 64 bits: i * M^2 / 4096 is
// below 2^62 for every index.
constexpr uint32_t FadeEntry(uint64_t index) {
    if (index < 4) return 0;  // the curve starts from true silence
    constexpr uint64_t kFullScale = 0x7FFFFFFF;
    constexpr uint64_t kSquare = kFullScale * kFullScale;
    constexpr uint64_t kQuotient = kSquare / kFadeTableSize;
    constexpr uint64_t kRemainder = kSquare % kFadeTableSize;
    const uint64_t scaled = index * kQuotient + index * kRemainder / kFadeTableSize;
    return static_cast<uint32_t>(IntegerSqrt(scaled));
}

constexpr std::array<uint32_t, kFadeTableSize> BuildFadeTable() {
    std::array<uint32_t, kFadeTableSize> table{};
    for (size_t i = 0; i < table.size(); ++i) table[i] = FadeEntry(i);
    return table;
}

// Built by the compiler: constant data, no first-use race.
constexpr std::array<uint32_t, kFadeTableSize> kFadeTable = BuildFadeTable();

static_assert(kFadeTable[4] == 67108863 && kFadeTable[1024] == 1073741823 &&
              kFadeTable[4095] == 2147221486 && (kFadeTable[4095] >> 16) == 32763);

// --- sample access ----------------------------------------------------------
// Two ways to move one sample of kBytes bytes (2 or 3) between a little-endian
// stream and its staged value, which keeps the sample in the top bits. Values are
// assembled and taken apart as uint32_t, so no signed shift can overflow; the
// final conversion to int32_t is two's complement.

// One byte at a time: right on a host of either byte order, and touches only the
// sample's own bytes.
template <int kBytes>
struct ByteAccess {
    static constexpr int kShift = 32 - 8 * kBytes;  // where the sample's lowest byte goes

    static int32_t Read(const uint8_t* p) {
        uint32_t value = 0;
        for (int i = 0; i < kBytes; ++i) value |= uint32_t{p[i]} << (kShift + 8 * i);
        return static_cast<int32_t>(value);
    }

    static void Write(uint8_t* p, int32_t sample) {
        const auto value = static_cast<uint32_t>(sample);
        for (int i = 0; i < kBytes; ++i) p[i] = static_cast<uint8_t>(value >> (kShift + 8 * i));
    }
};

// Whole words, for little-endian hosts only: one unaligned load or store per
// sample instead of one per byte. A 16-bit sample is exactly one 2-byte word. A
// 24-bit sample is accessed as the 4-byte word that starts at it: the fourth byte,
// the next sample's first, is shifted out when reading, and when writing it is
// replaced by the next sample's write, so a stream must be written in order. A
// 24-bit access therefore needs one byte of buffer past the sample, which the last
// sample of a stream does not have (see ForEachFrame).
template <int kBytes>
struct WordAccess {
    using Word = std::conditional_t<kBytes == 2, uint16_t, uint32_t>;
    static constexpr bool kReachesPastSample = sizeof(Word) > kBytes;
    static constexpr int kShift = 32 - 8 * kBytes;

    static int32_t Read(const uint8_t* p) {
        Word word;
        std::memcpy(&word, p, sizeof word);
        return static_cast<int32_t>(uint32_t{word} << kShift);
    }

    static void Write(uint8_t* p, int32_t sample) {
        const auto word = static_cast<Word>(static_cast<uint32_t>(sample) >> kShift);
        std::memcpy(p, &word, sizeof word);
    }
};

// Which access a kernel uses: words on a little-endian host, bytes otherwise. The
// byte path also serves the byte-at-a-time entry points (namespace bytewise).
enum class Path { kWords, kBytes };
constexpr Path kNativePath =
    std::endian::native == std::endian::little ? Path::kWords : Path::kBytes;

// Calls frame(access, k) for k = 0 to count - 1, in order. On the word path, a
// frame whose word access would reach past the end of its stream (the last frame
// of a 24-bit call) takes the byte access instead, so no kernel touches a byte
// outside the caller's buffers.
template <Path path, int kBytes, class Frame>
inline void ForEachFrame(int32_t count, Frame frame) {
    ptrdiff_t k = 0;
    if constexpr (path == Path::kWords) {
        using Words = WordAccess<kBytes>;
        const ptrdiff_t wordFrames = Words::kReachesPastSample ? count - 1 : count;
        // The 24-bit loops do not vectorise (their words overlap) and a frame takes
        // only a few instructions, so unrolling by 4 saves most of the counting and
        // branching around them; the vectorised 16-bit loops gain a little too.
#pragma GCC unroll 4
        for (; k < wordFrames; ++k) frame(Words{}, k);
    }
    for (; k < count; ++k) frame(ByteAccess<kBytes>{}, k);
}

// left + right, held at the ends of the 32-bit range instead of wrapping. Done in
// 32 bits, which the compiler vectorises: the sum overflows exactly when both
// inputs have the same sign and the wrapped sum the other one, and then the
// result is the limit on the side of the inputs' sign.
inline int32_t SaturatedSum(int32_t left, int32_t right) {
    const auto l = static_cast<uint32_t>(left);
    const auto r = static_cast<uint32_t>(right);
    const uint32_t sum = l + r;
    const bool overflow = ((l ^ sum) & (r ^ sum)) >> 31;
    const uint32_t limit = static_cast<uint32_t>(left >> 31) ^ 0x7FFFFFFFu;  // INT32_MAX or MIN
    return static_cast<int32_t>(overflow ? limit : sum);
}

// --- the kernels, once for each path and sample size ------------------------
// Each frame loads what it reads into locals before it stores: the byte streams
// may alias the frames as far as the compiler knows, and this keeps the loop free
// of reloads.

template <Path path, int kBytes>
void WidenStereo(int32_t count, int32_t* frames, const uint8_t* src) {
    if (count <= 0 || !frames || !src) return;
    ForEachFrame<path, kBytes>(count, [=](auto access, ptrdiff_t k) {
        const int32_t left = access.Read(src + 2 * kBytes * k);
        const int32_t right = access.Read(src + 2 * kBytes * k + kBytes);
        frames[2 * k] = left;
        frames[2 * k + 1] = right;
    });
}

template <Path path, int kBytes>
void WidenMono(int32_t count, int32_t* frames, const uint8_t* src) {
    if (count <= 0 || !frames || !src) return;
    ForEachFrame<path, kBytes>(count, [=](auto access, ptrdiff_t k) {
        const int32_t sample = access.Read(src + kBytes * k);
        frames[2 * k] = sample;
        frames[2 * k + 1] = sample;
    });
}

template <Path path, int kBytes>
void WidenDualMono(int32_t count, int32_t* frames, const uint8_t* left, const uint8_t* right) {
    if (count <= 0 || !frames || !left || !right) return;
    ForEachFrame<path, kBytes>(count, [=](auto access, ptrdiff_t k) {
        const int32_t l = access.Read(left + kBytes * k);
        const int32_t r = access.Read(right + kBytes * k);
        frames[2 * k] = l;
        frames[2 * k + 1] = r;
    });
}

template <Path path, int kBytes>
void NarrowStereo(int32_t count, uint8_t* dest, const int32_t* frames) {
    if (count <= 0 || !dest || !frames) return;
    ForEachFrame<path, kBytes>(count, [=](auto access, ptrdiff_t k) {
        const int32_t left = frames[2 * k];
        const int32_t right = frames[2 * k + 1];
        access.Write(dest + 2 * kBytes * k, left);
        access.Write(dest + 2 * kBytes * k + kBytes, right);
    });
}

template <Path path, int kBytes>
void NarrowMono(int32_t count, uint8_t* dest, const int32_t* frames) {
    if (count <= 0 || !dest || !frames) return;
    ForEachFrame<path, kBytes>(
        count, [=](auto access, ptrdiff_t k) { access.Write(dest + kBytes * k, frames[2 * k]); });
}

template <Path path, int kBytes>
void NarrowMonoSum(int32_t count, uint8_t* dest, const int32_t* frames) {
    if (count <= 0 || !dest || !frames) return;
    ForEachFrame<path, kBytes>(count, [=](auto access, ptrdiff_t k) {
        access.Write(dest + kBytes * k, SaturatedSum(frames[2 * k], frames[2 * k + 1]));
    });
}

template <Path path, int kBytes>
void NarrowDualMono(int32_t count, uint8_t* left, uint8_t* right, const int32_t* frames) {
    if (count <= 0 || !left || !right || !frames) return;
    ForEachFrame<path, kBytes>(count, [=](auto access, ptrdiff_t k) {
        const int32_t l = frames[2 * k];
        const int32_t r = frames[2 * k + 1];
        access.Write(left + kBytes * k, l);
        access.Write(right + kBytes * k, r);
    });
}

}  // namespace

const uint32_t* FadeTable() {
    return kFadeTable.data();
}

// --- the kernels -------------------------------------------------------------

void Conv16Stereoto32bit(int32_t count, int32_t* frames, const uint8_t* src) {
    WidenStereo<kNativePath, 2>(count, frames, src);
}
void Conv16Monoto32bit(int32_t count, int32_t* frames, const uint8_t* src) {
    WidenMono<kNativePath, 2>(count, frames, src);
}
void Conv16DualMonoto32bit(int32_t count, int32_t* frames, const uint8_t* left,
                           const uint8_t* right) {
    WidenDualMono<kNativePath, 2>(count, frames, left, right);
}
void Conv24Stereoto32bit(int32_t count, int32_t* frames, const uint8_t* src) {
    WidenStereo<kNativePath, 3>(count, frames, src);
}
void Conv24Monoto32bit(int32_t count, int32_t* frames, const uint8_t* src) {
    WidenMono<kNativePath, 3>(count, frames, src);
}
void Conv24DualMonoto32bit(int32_t count, int32_t* frames, const uint8_t* left,
                           const uint8_t* right) {
    WidenDualMono<kNativePath, 3>(count, frames, left, right);
}

void Conv32to16bitStereo(int32_t count, uint8_t* dest, const int32_t* frames) {
    NarrowStereo<kNativePath, 2>(count, dest, frames);
}
void Conv32to16bitMono(int32_t count, uint8_t* dest, const int32_t* frames) {
    NarrowMono<kNativePath, 2>(count, dest, frames);
}
void Conv32to16bitMonoSum(int32_t count, uint8_t* dest, const int32_t* frames) {
    NarrowMonoSum<kNativePath, 2>(count, dest, frames);
}
void Conv32to16bitDualMono(int32_t count, uint8_t* left, uint8_t* right, const int32_t* frames) {
    NarrowDualMono<kNativePath, 2>(count, left, right, frames);
}
void Conv32to24bitStereo(int32_t count, uint8_t* dest, const int32_t* frames) {
    NarrowStereo<kNativePath, 3>(count, dest, frames);
}
void Conv32to24bitMono(int32_t count, uint8_t* dest, const int32_t* frames) {
    NarrowMono<kNativePath, 3>(count, dest, frames);
}
void Conv32to24bitMonoSum(int32_t count, uint8_t* dest, const int32_t* frames) {
    NarrowMonoSum<kNativePath, 3>(count, dest, frames);
}
void Conv32to24bitDualMono(int32_t count, uint8_t* left, uint8_t* right, const int32_t* frames) {
    NarrowDualMono<kNativePath, 3>(count, left, right, frames);
}

namespace bytewise {

void Conv16Stereoto32bit(int32_t count, int32_t* frames, const uint8_t* src) {
    WidenStereo<Path::kBytes, 2>(count, frames, src);
}
void Conv16Monoto32bit(int32_t count, int32_t* frames, const uint8_t* src) {
    WidenMono<Path::kBytes, 2>(count, frames, src);
}
void Conv16DualMonoto32bit(int32_t count, int32_t* frames, const uint8_t* left,
                           const uint8_t* right) {
    WidenDualMono<Path::kBytes, 2>(count, frames, left, right);
}
void Conv24Stereoto32bit(int32_t count, int32_t* frames, const uint8_t* src) {
    WidenStereo<Path::kBytes, 3>(count, frames, src);
}
void Conv24Monoto32bit(int32_t count, int32_t* frames, const uint8_t* src) {
    WidenMono<Path::kBytes, 3>(count, frames, src);
}
void Conv24DualMonoto32bit(int32_t count, int32_t* frames, const uint8_t* left,
                           const uint8_t* right) {
    WidenDualMono<Path::kBytes, 3>(count, frames, left, right);
}

void Conv32to16bitStereo(int32_t count, uint8_t* dest, const int32_t* frames) {
    NarrowStereo<Path::kBytes, 2>(count, dest, frames);
}
void Conv32to16bitMono(int32_t count, uint8_t* dest, const int32_t* frames) {
    NarrowMono<Path::kBytes, 2>(count, dest, frames);
}
void Conv32to16bitMonoSum(int32_t count, uint8_t* dest, const int32_t* frames) {
    NarrowMonoSum<Path::kBytes, 2>(count, dest, frames);
}
void Conv32to16bitDualMono(int32_t count, uint8_t* left, uint8_t* right, const int32_t* frames) {
    NarrowDualMono<Path::kBytes, 2>(count, left, right, frames);
}
void Conv32to24bitStereo(int32_t count, uint8_t* dest, const int32_t* frames) {
    NarrowStereo<Path::kBytes, 3>(count, dest, frames);
}
void Conv32to24bitMono(int32_t count, uint8_t* dest, const int32_t* frames) {
    NarrowMono<Path::kBytes, 3>(count, dest, frames);
}
void Conv32to24bitMonoSum(int32_t count, uint8_t* dest, const int32_t* frames) {
    NarrowMonoSum<Path::kBytes, 3>(count, dest, frames);
}
void Conv32to24bitDualMono(int32_t count, uint8_t* left, uint8_t* right, const int32_t* frames) {
    NarrowDualMono<Path::kBytes, 3>(count, left, right, frames);
}

}  // namespace bytewise

void FadeBuffer(int32_t count, int32_t step, int32_t* frames, const uint32_t* entry) {
    if (count <= 0 || !frames || !entry) return;
    // The table position is an index rather than a moving pointer, so walking
    // backwards never forms a pointer in front of the table after the last frame.
    // The product is formed in uint32_t: for table gains (g <= 32763) it equals the
    // signed product exactly, and a foreign entry with a larger gain wraps instead
    // of overflowing.
    ptrdiff_t position = 0;
    for (int32_t k = 0; k < count; ++k, frames += 2, position += step) {
        const uint32_t gain2 = 2 * (entry[position] >> 16);
        const int32_t left = frames[0];
        const int32_t right = frames[1];
        frames[0] = static_cast<int32_t>(gain2 * static_cast<uint32_t>(left >> 16));
        frames[1] = static_cast<int32_t>(gain2 * static_cast<uint32_t>(right >> 16));
    }
}
