#include "render/EDLRenderer.h"

#include <algorithm>

#include "audiofile/kxFile.h"
#include "edl/AudioEvent.h"
#include "edl/EDL.h"

void EDLRenderer::Init() {
    firstFill = true;
    lastEvent = nullptr;
    searchFrom = nullptr;
    fadeInOffset = fadeOutOffset = 0;
    fadeInStart = fadeOutStart = 0;
    silencedSpans.clear();
}

uint64_t EDLRenderer::SilenceUnreadable(const AudioEvent* event, uint64_t pos, uint64_t until) {
    const uint64_t end = std::min(until, event->endSample);
    const uint64_t placed = stageBuf.ZeroFill(end > pos ? end - pos : 1, pos);
    if (!silencedSpans.empty() && silencedSpans.back().take == event->file &&
        silencedSpans.back().end == pos) {
        silencedSpans.back().end = pos + placed;
    } else {
        silencedSpans.push_back(
            {event->file, pos, pos + placed, event->fileOffset + (pos - event->startSample)});
    }
    return placed;
}

int32_t EDLRenderer::Fill(EDL* edl, uint64_t& pos, int8_t step) {
    const uint64_t q = step >= 4 ? static_cast<uint64_t>(step / 4) : 4;
    const uint64_t fadeLength = 4096 / q;

    while (!stageBuf.full && stageBuf.samples < kStageFrames) {
        AudioEvent* event =
            edl != nullptr && edl->firstEvent != nullptr
                ? edl->firstEvent->EventBetweenSamples(pos, pos + kStageFrames, searchFrom)
                : nullptr;
        if (event == nullptr) {  // nothing near: a block of silence
            pos += stageBuf.ZeroFill(kStageFrames, pos);
            firstFill = true;
            continue;
        }
        searchFrom = event;
        if (event->startSample > pos) {  // silence up to the event
            pos += stageBuf.ZeroFill(event->startSample - pos, pos);
            firstFill = true;
            continue;
        }
        fileBuffer* buffer = event->GetAudio(pos, 0);
        if (buffer == nullptr) {
            pos += SilenceUnreadable(event, pos, event->fileBuf.unreadableEnd);
            continue;
        }

        // Ask for what the buffer holds, unless the event's last fade-length frames
        // would straddle the end of this block: then stop the block before them.
        const uint64_t remaining = event->endSample - pos;
        const uint64_t room = kStageFrames - stageBuf.samples;
        const bool stopEarly =
            remaining > room && remaining >= fadeLength && remaining - fadeLength < room;
        const uint64_t wanted = stopEarly
                                    ? std::min(remaining - fadeLength, buffer->SamplesLeft(pos))
                                    : buffer->SamplesLeft(pos);
        const uint16_t width = event->file != nullptr ? event->file->BitsPerSample() : 0;
        const uint64_t placed = stageBuf.Render(buffer->LeftData(pos), wanted, width, event->chanType, pos);
        if (placed == 0 && wanted != 0) {
            // Audio the staging buffer cannot place must never stall the run.
            pos += SilenceUnreadable(event, pos, event->endSample);
            continue;
        }
        pos += placed;
        // Every piece gets its fades, also one that ends the block early, so that a
        // take whose first piece stops a block still fades in.
        if (placed != 0) HandleFades(event, pos, step);
        if (stopEarly) stageBuf.full = true;
        // Once an event's last frame is staged its read buffer is not needed any
        // more; a project of many takes then holds only a few buffers at a time.
        if (pos == event->endSample) event->fileBuf.Release();
    }
    stageBuf.Reset();
    return 1;
}

void EDLRenderer::HandleFades(AudioEvent* event, uint64_t pos, int8_t step) {
    const uint64_t q = step >= 4 ? static_cast<uint64_t>(step / 4) : 4;
    const uint64_t fadeLength = 4096 / q;

    // A fade cut off earlier continues at the frame where it stopped.
    if (fadeInOffset != 0) {
        fadeInOffset = stageBuf.Fade(fadeInStart + fadeInOffset, fadeInOffset, true, step);
    } else if (fadeOutOffset != 0) {
        fadeOutOffset = stageBuf.Fade(fadeOutStart + fadeOutOffset, fadeOutOffset, false, step);
    }
    // A new recording fades in at its start (nothing happens when its start lies
    // in an earlier block).
    if (lastEvent == nullptr || event->file == nullptr ||
        !event->file->SameFileID(lastEvent->file)) {
        fadeInStart = event->startSample;
        fadeInOffset = stageBuf.Fade(fadeInStart, 0, true, step);
        firstFill = false;
    }
    // A recording that ends here fades out over its last frames.
    if (pos == event->endSample && !event->NextHasSameID()) {
        fadeOutStart = event->endSample - fadeLength;
        fadeOutOffset =
            event->endSample >= fadeLength ? stageBuf.Fade(fadeOutStart, 0, false, step) : 0;
    }
    lastEvent = event;
}
