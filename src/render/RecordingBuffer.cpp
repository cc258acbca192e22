#include "render/RecordingBuffer.h"

#include "edl/AudioEvent.h"
#include "render/Kernels.h"
#include "render/StagingBuffer.h"

// The narrowing kernels of one output word length.
struct NarrowingKernels {
    void (*stereo)(int32_t, uint8_t*, const int32_t*);
    void (*mono)(int32_t, uint8_t*, const int32_t*);
    void (*monoSum)(int32_t, uint8_t*, const int32_t*);
    void (*dualMono)(int32_t, uint8_t*, uint8_t*, const int32_t*);
};

namespace {

constexpr NarrowingKernels k16bit{Conv32to16bitStereo, Conv32to16bitMono, Conv32to16bitMonoSum,
                                  Conv32to16bitDualMono};
constexpr NarrowingKernels k24bit{Conv32to24bitStereo, Conv32to24bitMono, Conv32to24bitMonoSum,
                                  Conv32to24bitDualMono};

}  // namespace

bool RecordingBuffer::Initialize(AudioEvent* event, const OutputFormat& format) {
    if (event == nullptr) return false;
    m_cEvent = event;
    if (event->file == nullptr) return false;
    m_wWidth = static_cast<uint16_t>(format.bits);
    m_eType = format.layout;
    m_lBytesPerSample = static_cast<int32_t>(format.FileFrameBytes());
    return true;
}

bool RecordingBuffer::ConvertBuffer(const int32_t* frames, uint64_t count, uint8_t* left,
                                    uint8_t* right) {
    if (frames == nullptr || left == nullptr || m_cEvent == nullptr || count > kStageFrames) {
        return false;
    }
    m_pcLDest = left;
    m_pcRDest = m_eType == DualMono ? right : nullptr;
    switch (m_wWidth) {
        case 16: return Render16bit(frames, static_cast<uint32_t>(count));
        case 24: return Render24bit(frames, static_cast<uint32_t>(count));
        default: return false;
    }
}

bool RecordingBuffer::Render16bit(const int32_t* frames, uint32_t count) {
    return RenderWith(k16bit, frames, count);
}

bool RecordingBuffer::Render24bit(const int32_t* frames, uint32_t count) {
    return RenderWith(k24bit, frames, count);
}

bool RecordingBuffer::RenderWith(const NarrowingKernels& kernels, const int32_t* frames,
                                 uint32_t count) {
    const auto n = static_cast<int32_t>(count);
    switch (m_eType) {
        case Stereo:
            kernels.stereo(n, m_pcLDest, frames);
            break;
        case MonoLeft:
            kernels.mono(n, m_pcLDest, frames);
            break;
        case MonoRight:
            kernels.mono(n, m_pcLDest, frames + 1);
            break;  // the right samples
        case MonoSummed:
            kernels.monoSum(n, m_pcLDest, frames);
            break;
        case DualMono:
            if (m_pcRDest == nullptr) return false;
            kernels.dualMono(n, m_pcLDest, m_pcRDest, frames);
            break;
    }
    return true;
}
