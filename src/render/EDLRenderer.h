// The renderer: turns the edit list into the output's audio one block at a time.
//
// Each Fill assembles the next block (at most kStageFrames frames) in the staging
// buffer, starting at the current timeline position: the audio of the events that
// cover it, exact silence where none does, a fade-in at the start of each take and
// a fade-out at its end — but no fade where one piece of a recording is followed by
// another piece of the same recording (equal identity chunks). A block ends early,
// just before an event's last fade-length frames, when that fade-out would
// otherwise straddle two blocks, so every fade-out is applied within one block.
//
// Audio that cannot be read becomes silence: the frames the take's reader found
// unreadable (see AudioEvent::GetAudio), or the rest of the block when the take
// cannot be opened; the next read tries again. Each such stretch is noted in
// `silencedSpans`.
#pragma once

#include <cstdint>
#include <vector>

#include "render/StagingBuffer.h"

class AudioEvent;
class EDL;
class kxFile;

// A stretch of the timeline that became silence because a take could not be read
// (deleted, unreadable, shorter than its header claims). Neighbouring stretches of
// one take are merged.
struct SilencedSpan {
    const kxFile* take = nullptr;
    uint64_t start = 0;      // timeline positions: the first silenced frame
    uint64_t end = 0;        // and the one behind the last
    uint64_t takeFrame = 0;  // the take's own frame that stands at `start`

    bool operator==(const SilencedSpan&) const = default;
};

class EDLRenderer {
public:
    EDLRenderer() = default;
    EDLRenderer(const EDLRenderer&) = delete;
    EDLRenderer& operator=(const EDLRenderer&) = delete;

    // Resets for a new run; the staging buffer is always empty between fills.
    void Init();
    // Stages the block that starts at `pos` and advances `pos` past it. `step` is
    // the fade step (16, 8 or 4: fades of 1024, 2048 or 4096 frames). The block's
    // frames are at the start of stageBuf.memBuffer on return. Always 1.
    int32_t Fill(EDL* edl, uint64_t& pos, int8_t step);

    bool firstFill = true;  // set at a run's start and after silence without an event
    StagingBuffer stageBuf;
    AudioEvent* lastEvent = nullptr;  // the event whose audio was placed last
    // Where the next search for an event starts: the event found last. Events in
    // front of it end before the present position, so the result is the one a
    // search from the head of the chain finds.
    AudioEvent* searchFrom = nullptr;
    // A fade cut off at a block's end continues where it stopped: at its first
    // position plus the frames already applied.
    uint64_t fadeInOffset = 0;
    uint64_t fadeOutOffset = 0;
    uint64_t fadeInStart = 0;
    uint64_t fadeOutStart = 0;

    std::vector<SilencedSpan> silencedSpans;

private:
    // Places silence for the unreadable stretch of `event` from `pos` up to
    // `until` (at most the rest of the block) and notes it; returns the frames placed.
    uint64_t SilenceUnreadable(const AudioEvent* event, uint64_t pos, uint64_t until);
    void HandleFades(AudioEvent* event, uint64_t pos, int8_t step);
};
