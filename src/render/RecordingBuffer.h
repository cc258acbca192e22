// The recording buffer: the last step of a conversion. It narrows one staged block
// of 32-bit frames to the output's word length (16 or 24 bit) and layout, straight
// into the byte arrays it is given (the left or only channel's, and the right
// file's channel for dual mono), from where the conversion writes them.
#pragma once

#include <cstdint>

#include "edl/ChanTypes.h"
#include "render/OutputFormat.h"

class AudioEvent;
struct NarrowingKernels;

class RecordingBuffer {
public:
    RecordingBuffer() = default;

    // Binds the buffer to an output event that writes `format`; false without an
    // event or its file.
    bool Initialize(AudioEvent* event, const OutputFormat& format);
    // Converts `count` staged frames (at most one block): the output's frames (the
    // left file's in dual mono) to `left`, the right file's to `right`, which only
    // dual mono needs. False when not initialised or for an output width other
    // than 16 or 24.
    bool ConvertBuffer(const int32_t* frames, uint64_t count, uint8_t* left, uint8_t* right);
    // The two halves of WriteBuffer: convert into the destinations.
    bool Render16bit(const int32_t* frames, uint32_t count);
    bool Render24bit(const int32_t* frames, uint32_t count);

    ChanTypes m_eType = Stereo;
    uint16_t m_wWidth = 8;  // no output width: refuses until initialised
    uint8_t* m_pcLDest = nullptr;
    uint8_t* m_pcRDest = nullptr;
    AudioEvent* m_cEvent = nullptr;  // not owned
    int32_t m_lBytesPerSample = 2;

private:
    bool RenderWith(const NarrowingKernels& kernels, const int32_t* frames, uint32_t count);
};
