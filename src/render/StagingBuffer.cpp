#include "render/StagingBuffer.h"

#include <algorithm>

#include "render/Kernels.h"

namespace {

using WideningKernel = void (*)(int32_t, int32_t*, const uint8_t*);

// The widening kernels of one word length.
struct WideningKernels {
    WideningKernel stereo;
    WideningKernel mono;
};

constexpr WideningKernels kWiden16{Conv16Stereoto32bit, Conv16Monoto32bit};
constexpr WideningKernels kWiden24{Conv24Stereoto32bit, Conv24Monoto32bit};

// Writes `n` frames at `dest` from sources of the layout `type`. Frames the
// sources cannot supply become silence, so a block never carries audio left over
// from an earlier one.
void StageFrames(const WideningKernels& kernels, int32_t* dest, const uint8_t* src, int32_t n,
                 ChanTypes type) {
    if (src) {
        switch (type) {
            case Stereo:
                kernels.stereo(n, dest, src);
                return;
            case MonoLeft:
            case MonoRight:
            case MonoSummed:
                kernels.mono(n, dest, src);
                return;
            case DualMono:  // a take is one file: never two streams
                break;
        }
    }
    std::fill_n(dest, 2 * static_cast<size_t>(n), 0);
}

}  // namespace

StagingBuffer::StagingBuffer()
    : memBuffer(new int32_t[2 * kStageFrames]()), bufPtr(memBuffer), storage(memBuffer) {}

StagingBuffer::~StagingBuffer() = default;

uint64_t StagingBuffer::Render(const uint8_t* src, uint64_t count, uint16_t width, ChanTypes type,
                               uint64_t position) {
    if (full || (width != 16 && width != 24)) return 0;
    const uint64_t n = std::min(count, RoomLeft());
    if (n == 0) return 0;
    if (samples == 0) sampleStart = position;
    if (width == 16) {
        Render16bit(src, n, type);
    } else {
        Render24bit(src, n, type);
    }
    bufPtr += 2 * n;
    samples += n;
    return n;
}

void StagingBuffer::Render16bit(const uint8_t* src, uint64_t n, ChanTypes type) {
    const auto frames = static_cast<int32_t>(std::min(n, RoomLeft()));
    StageFrames(kWiden16, bufPtr, src, frames, type);
}

void StagingBuffer::Render24bit(const uint8_t* src, uint64_t n, ChanTypes type) {
    const auto frames = static_cast<int32_t>(std::min(n, RoomLeft()));
    StageFrames(kWiden24, bufPtr, src, frames, type);
}

uint64_t StagingBuffer::ZeroFill(uint64_t count, uint64_t position) {
    const uint64_t n = std::min(count, RoomLeft());
    if (n == 0) return 0;
    if (samples == 0) sampleStart = position;
    std::fill_n(bufPtr, 2 * n, 0);
    bufPtr += 2 * n;
    samples += n;
    return n;
}

uint64_t StagingBuffer::Fade(uint64_t fadeStart, uint64_t offset, bool fadeIn, int8_t step) {
    const int32_t q = step / 4;
    if (q <= 0) return 0;
    const uint64_t length = static_cast<uint64_t>(kFadeTableSize / q);
    // An offset at or past the fade's length would read beyond the table.
    if (offset >= length) return 0;
    if (fadeStart < sampleStart || fadeStart - sampleStart > samples) return 0;

    const uint64_t first = fadeStart - sampleStart;
    const uint64_t n = std::min(length - offset, samples - first);
    // offset < length <= 4096, so the first entry lies inside the table, and the
    // last one reached, q * (length - 1) entries further on, does too.
    const auto advanced = static_cast<int32_t>(offset) * q;
    const int32_t entry = fadeIn ? advanced : kFadeTableSize - 1 - advanced;
    FadeBuffer(static_cast<int32_t>(n), fadeIn ? q : -q, memBuffer + 2 * first,
               FadeTable() + entry);
    return offset + n < length ? offset + n : 0;
}

void StagingBuffer::Reset() {
    samples = 0;
    full = false;
    bufPtr = memBuffer;
}
