// The recording buffer: the last step of a conversion. It narrows one staged block
// of 32-bit frames to the output's word length (16 or 24 bit) and layout, straight
// into the output event's byte array (left or only channel at byte 0, the right
// file's channel half way into it for dual mono), and has the event write it.
#pragma once

#include <cstdint>

#include "edl/ChanTypes.h"

class AudioEvent;
struct NarrowingKernels;

class RecordingBuffer {
public:
    RecordingBuffer() = default;

    // Binds the buffer to an output event; false without an event or its file.
    bool Initialize(AudioEvent* event);
    // Converts `count` staged frames (at most one block) and writes them through
    // the event. False when not initialised, for an output width other than 16 or
    // 24, or when the write fails.
    bool WriteBuffer(const int32_t* frames, uint64_t count);
    // Converts `count` staged frames without writing them: the output's frames (the
    // left file's in dual mono) to `left`, the right file's to `right`, which only
    // dual mono needs. False as WriteBuffer is, for the conversion.
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
