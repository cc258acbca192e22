#include "render/Kernels.h"

#include <array>
#include <cstddef>

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
// Values are assembled and taken apart as uint32_t, so no signed shift can
// overflow; the final conversion to int32_t is two's complement.

// A 16-bit little-endian sample, staged in bits 16 to 31.
inline int32_t Read16(const uint8_t* p) {
    return static_cast<int32_t>((uint32_t{p[1]} << 24) | (uint32_t{p[0]} << 16));
}

// A packed 24-bit little-endian sample, staged in bits 8 to 31.
inline int32_t Read24(const uint8_t* p) {
    return static_cast<int32_t>((uint32_t{p[2]} << 24) | (uint32_t{p[1]} << 16) |
                                (uint32_t{p[0]} << 8));
}

// The upper 16 bits of a staged sample, least significant byte first.
inline void Write16(uint8_t* p, int32_t sample) {
    const auto u = static_cast<uint32_t>(sample);
    p[0] = static_cast<uint8_t>(u >> 16);
    p[1] = static_cast<uint8_t>(u >> 24);
}

// The upper 24 bits of a staged sample, least significant byte first.
inline void Write24(uint8_t* p, int32_t sample) {
    const auto u = static_cast<uint32_t>(sample);
    p[0] = static_cast<uint8_t>(u >> 8);
    p[1] = static_cast<uint8_t>(u >> 16);
    p[2] = static_cast<uint8_t>(u >> 24);
}

// left + right, held at the ends of the 32-bit range instead of wrapping.
inline int32_t SaturatedSum(int32_t left, int32_t right) {
    const int64_t sum = int64_t{left} + right;
    return sum > INT32_MAX ? INT32_MAX : (sum < INT32_MIN ? INT32_MIN : static_cast<int32_t>(sum));
}

}  // namespace

const uint32_t* FadeTable() {
    return kFadeTable.data();
}

// Each kernel loads what it reads into locals before it stores: the byte streams
// may alias the frames as far as the compiler knows, and this keeps the loop free
// of reloads.

void Conv16Stereoto32bit(int32_t count, int32_t* frames, const uint8_t* src) {
    if (count <= 0 || !frames || !src) return;
    for (int32_t k = 0; k < count; ++k, frames += 2, src += 4) {
        const int32_t left = Read16(src);
        const int32_t right = Read16(src + 2);
        frames[0] = left;
        frames[1] = right;
    }
}

void Conv16Monoto32bit(int32_t count, int32_t* frames, const uint8_t* src) {
    if (count <= 0 || !frames || !src) return;
    for (int32_t k = 0; k < count; ++k, frames += 2, src += 2) {
        const int32_t sample = Read16(src);
        frames[0] = sample;
        frames[1] = sample;
    }
}

void Conv16DualMonoto32bit(int32_t count, int32_t* frames, const uint8_t* left,
                           const uint8_t* right) {
    if (count <= 0 || !frames || !left || !right) return;
    for (int32_t k = 0; k < count; ++k, frames += 2, left += 2, right += 2) {
        const int32_t l = Read16(left);
        const int32_t r = Read16(right);
        frames[0] = l;
        frames[1] = r;
    }
}

void Conv24Stereoto32bit(int32_t count, int32_t* frames, const uint8_t* src) {
    if (count <= 0 || !frames || !src) return;
    for (int32_t k = 0; k < count; ++k, frames += 2, src += 6) {
        const int32_t left = Read24(src);
        const int32_t right = Read24(src + 3);
        frames[0] = left;
        frames[1] = right;
    }
}

void Conv24Monoto32bit(int32_t count, int32_t* frames, const uint8_t* src) {
    if (count <= 0 || !frames || !src) return;
    for (int32_t k = 0; k < count; ++k, frames += 2, src += 3) {
        const int32_t sample = Read24(src);
        frames[0] = sample;
        frames[1] = sample;
    }
}

void Conv24DualMonoto32bit(int32_t count, int32_t* frames, const uint8_t* left,
                           const uint8_t* right) {
    if (count <= 0 || !frames || !left || !right) return;
    for (int32_t k = 0; k < count; ++k, frames += 2, left += 3, right += 3) {
        const int32_t l = Read24(left);
        const int32_t r = Read24(right);
        frames[0] = l;
        frames[1] = r;
    }
}

void Conv32to16bitStereo(int32_t count, uint8_t* dest, const int32_t* frames) {
    if (count <= 0 || !dest || !frames) return;
    for (int32_t k = 0; k < count; ++k, frames += 2, dest += 4) {
        const int32_t left = frames[0];
        const int32_t right = frames[1];
        Write16(dest, left);
        Write16(dest + 2, right);
    }
}

void Conv32to16bitMono(int32_t count, uint8_t* dest, const int32_t* frames) {
    if (count <= 0 || !dest || !frames) return;
    for (int32_t k = 0; k < count; ++k, frames += 2, dest += 2) Write16(dest, frames[0]);
}

void Conv32to16bitMonoSum(int32_t count, uint8_t* dest, const int32_t* frames) {
    if (count <= 0 || !dest || !frames) return;
    for (int32_t k = 0; k < count; ++k, frames += 2, dest += 2) {
        Write16(dest, SaturatedSum(frames[0], frames[1]));
    }
}

void Conv32to16bitDualMono(int32_t count, uint8_t* left, uint8_t* right, const int32_t* frames) {
    if (count <= 0 || !left || !right || !frames) return;
    for (int32_t k = 0; k < count; ++k, frames += 2, left += 2, right += 2) {
        const int32_t l = frames[0];
        const int32_t r = frames[1];
        Write16(left, l);
        Write16(right, r);
    }
}

void Conv32to24bitStereo(int32_t count, uint8_t* dest, const int32_t* frames) {
    if (count <= 0 || !dest || !frames) return;
    for (int32_t k = 0; k < count; ++k, frames += 2, dest += 6) {
        const int32_t left = frames[0];
        const int32_t right = frames[1];
        Write24(dest, left);
        Write24(dest + 3, right);
    }
}

void Conv32to24bitMono(int32_t count, uint8_t* dest, const int32_t* frames) {
    if (count <= 0 || !dest || !frames) return;
    for (int32_t k = 0; k < count; ++k, frames += 2, dest += 3) Write24(dest, frames[0]);
}

void Conv32to24bitMonoSum(int32_t count, uint8_t* dest, const int32_t* frames) {
    if (count <= 0 || !dest || !frames) return;
    for (int32_t k = 0; k < count; ++k, frames += 2, dest += 3) {
        Write24(dest, SaturatedSum(frames[0], frames[1]));
    }
}

void Conv32to24bitDualMono(int32_t count, uint8_t* left, uint8_t* right, const int32_t* frames) {
    if (count <= 0 || !left || !right || !frames) return;
    for (int32_t k = 0; k < count; ++k, frames += 2, left += 3, right += 3) {
        const int32_t l = frames[0];
        const int32_t r = frames[1];
        Write24(left, l);
        Write24(right, r);
    }
}

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
