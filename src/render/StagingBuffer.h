// The staging buffer: one block of the output assembled as 32-bit frames.
//
// The renderer places into it, in timeline order, the audio of the takes that
// cover the block (Render) and silence for the gaps (ZeroFill), and fades stretches
// of what it has placed (Fade); the conversion run then narrows the whole block to
// the output format. Every staged sample is signed 32-bit with the source in the
// top bits (see Kernels.h), whatever the take's word length, so fades and output
// conversions work on one format.
//
// A block holds at most kStageFrames frames. Frame k of the block belongs to
// timeline position sampleStart + k; bufPtr always points at frame `samples`. The
// memory is allocated once, with the buffer, and reused for every block.
#pragma once

#include <cstdint>
#include <memory>

#include "edl/ChanTypes.h"

// Frames in one block, which is also the block length of a conversion.
constexpr uint64_t kStageFrames = 16384;

class StagingBuffer {
public:
    // An empty block over zeroed memory.
    StagingBuffer();
    ~StagingBuffer();
    StagingBuffer(const StagingBuffer&) = delete;
    StagingBuffer& operator=(const StagingBuffer&) = delete;

    // Places up to `count` frames of a take at the end of the block and returns
    // how many it placed: at most the room left, 0 when the block is full or
    // `full` is set. `width` is the take's bits per sample; only 16 and 24 can be
    // placed, any other width returns 0 and changes nothing. `type` is the take's
    // layout: Stereo reads interleaved frames from `src`; the mono layouts read one
    // stream and stage it in both channels. When the source cannot be read that
    // way (null `src`, a layout no take has) the frames are still counted as
    // placed, as silence. The first frame placed into an empty block sets sampleStart to
    // `position`; afterwards the caller keeps position == sampleStart + samples.
    uint64_t Render(const uint8_t* src, uint64_t count, uint16_t width, ChanTypes type,
                    uint64_t position);
    // Write up to `n` frames of a 16- or 24-bit take at bufPtr (silence when the
    // source cannot be read, as above), never past the end of the block. They
    // move no counter: Render does.
    void Render16bit(const uint8_t* src, uint64_t n, ChanTypes type);
    void Render24bit(const uint8_t* src, uint64_t n, ChanTypes type);

    // Places up to `count` frames of silence, regardless of `full`; returns how
    // many. The first frame placed into an empty block sets sampleStart.
    uint64_t ZeroFill(uint64_t count, uint64_t position);

    // Applies the next stretch of one fade to frames already placed. A fade spans
    // L = 4096 / q frames with q = step / 4 (step 16: 1024 frames, 8: 2048, 4:
    // 4096); a fade-in reads the fade table forwards from entry offset * q, a
    // fade-out backwards from 4095 - offset * q, q entries per frame. `fadeStart`
    // is the timeline position of the first frame to change and `offset` the
    // frames of this fade already applied before it (0 to start a fade). Returns
    // the offset at which the fade continues, at the first frame of the next
    // block, or 0 when it is complete or nothing applies: `fadeStart` outside the
    // staged frames (one past the last is allowed), `offset` not below L, or a
    // step below 4.
    uint64_t Fade(uint64_t fadeStart, uint64_t offset, bool fadeIn, int8_t step);

    // Empties the block for the next fill. The frames stay in memory; sampleStart
    // keeps its value until the next placement.
    void Reset();

    uint64_t sampleStart = 0;  // timeline position of the block's first frame
    uint64_t samples = 0;      // frames placed, 0 to kStageFrames
    int32_t* memBuffer;        // owned: kStageFrames frames of two samples each
    int32_t* bufPtr;           // where the next frame goes: memBuffer + 2 * samples
    bool full = false;         // set by the renderer to end a block early; stops Render

private:
    uint64_t RoomLeft() const { return kStageFrames - samples; }

    std::unique_ptr<int32_t[]> storage;  // owns what memBuffer points at
};
