#include "render/Kernels.h"

#include <array>
#include <bit>
#include <cstddef>
#include <cstring>
#include <type_traits>

#if defined(__x86_64__)
#include <tmmintrin.h>
#endif

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

#if defined(__x86_64__)
// --- SSSE3 ------------------------------------------------------------------
// The 24-bit loops above take a few instructions per sample because each sample
// needs a load or store of its own. With pshufb one 16-byte register holds four
// packed 24-bit samples or four staged ones, and a shuffle turns one form into
// the other. The loops below take 8 frames at a time, which is a whole number of
// 16-byte registers on both sides (48 bytes of stereo, 24 of each mono stream),
// so every load and store stays inside the 8 frames; what is left of a call (up
// to 7 frames) goes to the word path. The shuffles move bytes exactly as the word
// path does, so the results are the same bit for bit.

#define PROJ2WAV_SSSE3 __attribute__((target("ssse3")))

// A pshufb control: byte p of the result is byte mask[p] of the source, or 0
// where mask[p] is negative.
using ShuffleMask = std::array<int8_t, 16>;

// Widening: staged sample i (0 to 3) of the result is the packed sample whose
// three bytes start at byte first[i] of the source, with a zero low byte.
constexpr ShuffleMask WidenMask(std::array<int, 4> first) {
    ShuffleMask mask{};
    for (int i = 0; i < 4; ++i) {
        mask[4 * i] = -1;
        for (int b = 0; b < 3; ++b) mask[4 * i + 1 + b] = static_cast<int8_t>(first[i] + b);
    }
    return mask;
}

// Narrowing: the top three bytes of the four staged samples of the source, packed
// into 12 bytes, placed from byte `at` of the result on. `at` may be negative or
// above 4: the packed bytes that fall outside the result are left out, the result
// bytes they do not cover are 0. Two such shuffles ORed together fill a register
// from the ends of two sources.
constexpr ShuffleMask NarrowMask(int at) {
    ShuffleMask mask{};
    for (int p = 0; p < 16; ++p) {
        const int j = p - at;  // which packed byte lands at p
        mask[p] = j >= 0 && j < 12 ? static_cast<int8_t>(j / 3 * 4 + 1 + j % 3) : int8_t{-1};
    }
    return mask;
}

// Four packed samples from byte 0 (or 4) of a register; the mono masks give each
// sample to both halves of a frame.
constexpr ShuffleMask kWidenFrom0 = WidenMask({0, 3, 6, 9});
constexpr ShuffleMask kWidenFrom4 = WidenMask({4, 7, 10, 13});
constexpr ShuffleMask kWidenTwice0 = WidenMask({0, 0, 3, 3});
constexpr ShuffleMask kWidenTwice6 = WidenMask({6, 6, 9, 9});
constexpr ShuffleMask kWidenTwice4 = WidenMask({4, 4, 7, 7});
constexpr ShuffleMask kWidenTwice10 = WidenMask({10, 10, 13, 13});

PROJ2WAV_SSSE3 inline __m128i Load(const void* p) {
    return _mm_loadu_si128(static_cast<const __m128i*>(p));
}
PROJ2WAV_SSSE3 inline void Store(void* p, __m128i v) {
    _mm_storeu_si128(static_cast<__m128i*>(p), v);
}
PROJ2WAV_SSSE3 inline __m128i Load(const ShuffleMask& mask) {
    return Load(mask.data());
}

// Samples 0 and 2 of a followed by 0 and 2 of b (kEven), or 1 and 3 (kOdd): the
// left (or right) samples of the four frames in a and b.
constexpr int kEven = _MM_SHUFFLE(2, 0, 2, 0);
constexpr int kOdd = _MM_SHUFFLE(3, 1, 3, 1);
template <int kPick>
PROJ2WAV_SSSE3 inline __m128i Pick(__m128i a, __m128i b) {
    return _mm_castps_si128(_mm_shuffle_ps(_mm_castsi128_ps(a), _mm_castsi128_ps(b), kPick));
}

// Packs 4 registers of staged samples (16 samples) into 48 bytes, or 2 (8
// samples) into 24 bytes, in order.
struct Packer {
    PROJ2WAV_SSSE3 Packer()
        : at0(Load(kAt0)),
          at12(Load(kAt12)),
          atMinus4(Load(kAtMinus4)),
          at8(Load(kAt8)),
          atMinus8(Load(kAtMinus8)),
          at4(Load(kAt4)) {}

    PROJ2WAV_SSSE3 void Sixteen(uint8_t* out, __m128i a, __m128i b, __m128i c, __m128i d) const {
        // a's 12 bytes and b's first 4, b's last 8 and c's first 8, c's last 4 and d's 12.
        Store(out, _mm_or_si128(_mm_shuffle_epi8(a, at0), _mm_shuffle_epi8(b, at12)));
        Store(out + 16, _mm_or_si128(_mm_shuffle_epi8(b, atMinus4), _mm_shuffle_epi8(c, at8)));
        Store(out + 32, _mm_or_si128(_mm_shuffle_epi8(c, atMinus8), _mm_shuffle_epi8(d, at4)));
    }

    PROJ2WAV_SSSE3 void Eight(uint8_t* out, __m128i a, __m128i b) const {
        Store(out, _mm_or_si128(_mm_shuffle_epi8(a, at0), _mm_shuffle_epi8(b, at12)));
        _mm_storel_epi64(reinterpret_cast<__m128i*>(out + 16), _mm_shuffle_epi8(b, atMinus4));
    }

    static constexpr ShuffleMask kAt0 = NarrowMask(0), kAt12 = NarrowMask(12),
                                 kAtMinus4 = NarrowMask(-4), kAt8 = NarrowMask(8),
                                 kAtMinus8 = NarrowMask(-8), kAt4 = NarrowMask(4);
    __m128i at0, at12, atMinus4, at8, atMinus8, at4;
};

PROJ2WAV_SSSE3 void WidenStereoSsse3(int32_t count, int32_t* frames, const uint8_t* src) {
    if (count <= 0 || !frames || !src) return;
    const __m128i from0 = Load(kWidenFrom0), from4 = Load(kWidenFrom4);
    ptrdiff_t k = 0;
    for (; k + 8 <= count; k += 8) {
        // 48 bytes in three registers; frames 2 and 3 start at byte 12 and frames
        // 4 and 5 at byte 24, so those two pairs are first lined up at byte 0.
        const uint8_t* in = src + 6 * k;
        const __m128i a = Load(in), b = Load(in + 16), c = Load(in + 32);
        int32_t* out = frames + 2 * k;
        Store(out, _mm_shuffle_epi8(a, from0));
        Store(out + 4, _mm_shuffle_epi8(_mm_alignr_epi8(b, a, 12), from0));
        Store(out + 8, _mm_shuffle_epi8(_mm_alignr_epi8(c, b, 8), from0));
        Store(out + 12, _mm_shuffle_epi8(c, from4));
    }
    WidenStereo<kNativePath, 3>(static_cast<int32_t>(count - k), frames + 2 * k, src + 6 * k);
}

PROJ2WAV_SSSE3 void WidenMonoSsse3(int32_t count, int32_t* frames, const uint8_t* src) {
    if (count <= 0 || !frames || !src) return;
    const __m128i twice0 = Load(kWidenTwice0), twice6 = Load(kWidenTwice6),
                  twice4 = Load(kWidenTwice4), twice10 = Load(kWidenTwice10);
    ptrdiff_t k = 0;
    for (; k + 8 <= count; k += 8) {
        // 24 bytes in two overlapping registers: samples 0 to 3 from byte 0 of the
        // first, samples 4 to 7 from byte 4 of the second.
        const uint8_t* in = src + 3 * k;
        const __m128i a = Load(in), b = Load(in + 8);
        int32_t* out = frames + 2 * k;
        Store(out, _mm_shuffle_epi8(a, twice0));
        Store(out + 4, _mm_shuffle_epi8(a, twice6));
        Store(out + 8, _mm_shuffle_epi8(b, twice4));
        Store(out + 12, _mm_shuffle_epi8(b, twice10));
    }
    WidenMono<kNativePath, 3>(static_cast<int32_t>(count - k), frames + 2 * k, src + 3 * k);
}

PROJ2WAV_SSSE3 void NarrowStereoSsse3(int32_t count, uint8_t* dest, const int32_t* frames) {
    if (count <= 0 || !dest || !frames) return;
    const Packer pack;
    ptrdiff_t k = 0;
    for (; k + 8 <= count; k += 8) {
        const int32_t* in = frames + 2 * k;
        pack.Sixteen(dest + 6 * k, Load(in), Load(in + 4), Load(in + 8), Load(in + 12));
    }
    NarrowStereo<kNativePath, 3>(static_cast<int32_t>(count - k), dest + 6 * k, frames + 2 * k);
}

PROJ2WAV_SSSE3 void NarrowMonoSsse3(int32_t count, uint8_t* dest, const int32_t* frames) {
    if (count <= 0 || !dest || !frames) return;
    const Packer pack;
    ptrdiff_t k = 0;
    for (; k + 8 <= count; k += 8) {
        // The samples read are in[0], in[2] ... in[14]. The caller's buffer may end
        // right after in[2 * count - 2] (a right channel passed as frames + 1), so
        // the last register is loaded from in[11], not in[12]: it ends at in[14].
        const int32_t* in = frames + 2 * k;
        const __m128i first = Pick<kEven>(Load(in), Load(in + 4));
        const __m128i last = Pick<_MM_SHUFFLE(3, 1, 2, 0)>(Load(in + 8), Load(in + 11));
        pack.Eight(dest + 3 * k, first, last);
    }
    NarrowMono<kNativePath, 3>(static_cast<int32_t>(count - k), dest + 3 * k, frames + 2 * k);
}

PROJ2WAV_SSSE3 void NarrowDualMonoSsse3(int32_t count, uint8_t* left, uint8_t* right,
                                        const int32_t* frames) {
    if (count <= 0 || !left || !right || !frames) return;
    const Packer pack;
    ptrdiff_t k = 0;
    for (; k + 8 <= count; k += 8) {
        const int32_t* in = frames + 2 * k;
        const __m128i a = Load(in), b = Load(in + 4), c = Load(in + 8), d = Load(in + 12);
        pack.Eight(left + 3 * k, Pick<kEven>(a, b), Pick<kEven>(c, d));
        pack.Eight(right + 3 * k, Pick<kOdd>(a, b), Pick<kOdd>(c, d));
    }
    NarrowDualMono<kNativePath, 3>(static_cast<int32_t>(count - k), left + 3 * k, right + 3 * k,
                                   frames + 2 * k);
}

#undef PROJ2WAV_SSSE3

// Whether this processor has SSSE3, asked once.
bool HaveSsse3() {
    static const bool have = __builtin_cpu_supports("ssse3");
    return have;
}
#endif  // defined(__x86_64__)

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
void Conv24Stereoto32bit(int32_t count, int32_t* frames, const uint8_t* src) {
#if defined(__x86_64__)
    if (HaveSsse3()) return WidenStereoSsse3(count, frames, src);
#endif
    WidenStereo<kNativePath, 3>(count, frames, src);
}
void Conv24Monoto32bit(int32_t count, int32_t* frames, const uint8_t* src) {
#if defined(__x86_64__)
    if (HaveSsse3()) return WidenMonoSsse3(count, frames, src);
#endif
    WidenMono<kNativePath, 3>(count, frames, src);
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
#if defined(__x86_64__)
    if (HaveSsse3()) return NarrowStereoSsse3(count, dest, frames);
#endif
    NarrowStereo<kNativePath, 3>(count, dest, frames);
}
void Conv32to24bitMono(int32_t count, uint8_t* dest, const int32_t* frames) {
#if defined(__x86_64__)
    if (HaveSsse3()) return NarrowMonoSsse3(count, dest, frames);
#endif
    NarrowMono<kNativePath, 3>(count, dest, frames);
}
void Conv32to24bitMonoSum(int32_t count, uint8_t* dest, const int32_t* frames) {
    NarrowMonoSum<kNativePath, 3>(count, dest, frames);
}
void Conv32to24bitDualMono(int32_t count, uint8_t* left, uint8_t* right, const int32_t* frames) {
#if defined(__x86_64__)
    if (HaveSsse3()) return NarrowDualMonoSsse3(count, left, right, frames);
#endif
    NarrowDualMono<kNativePath, 3>(count, left, right, frames);
}

namespace bytewise {

void Conv16Stereoto32bit(int32_t count, int32_t* frames, const uint8_t* src) {
    WidenStereo<Path::kBytes, 2>(count, frames, src);
}
void Conv16Monoto32bit(int32_t count, int32_t* frames, const uint8_t* src) {
    WidenMono<Path::kBytes, 2>(count, frames, src);
}
void Conv24Stereoto32bit(int32_t count, int32_t* frames, const uint8_t* src) {
    WidenStereo<Path::kBytes, 3>(count, frames, src);
}
void Conv24Monoto32bit(int32_t count, int32_t* frames, const uint8_t* src) {
    WidenMono<Path::kBytes, 3>(count, frames, src);
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
