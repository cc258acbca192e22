// The session: one project and its conversions, in values. It is what every front
// end holds instead of the conversion driver (EDLWriter), which it keeps inside:
//
//   load   a project folder gives the facts of every entry of its "Audio Files",
//          the project's rate, span and edit list, and whether it is a project;
//   plan   an output format gives the span, frames and bytes of each output file;
//   run    outputs are created for a format, then rendered all at once (Run) or a
//          block at a time (Step, for a caller without threads), stopped between
//          blocks (Stop), and ended; the outcome is a value too: the frames
//          written, the stretches written as silence and why, the error if any.
//
// Nothing here chooses words, prints or exits: src/app words what the values
// say. Every operation belongs to one thread at a time; during a run only Stop
// and the progress may be touched from another.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "engine/EDLWriter.h"

// What a front end wants its outputs to say of themselves in their 'bext' chunk.
struct OutputTexts {
    std::string description;  // the project's name, as people know it
    std::string originator;   // the program that wrote it
};

// The outputs of the loaded project in one format.
struct OutputPlan {
    uint64_t first = 0;       // the project's first frame: every output's time reference
    uint64_t frames = 0;      // frames each output file holds after a complete run
    int files = 1;            // two for dual mono
    uint64_t fileBytes = 0;   // audio bytes of each file
    uint64_t audioBytes = 0;  // of all files together
    uint64_t headerBytes = 0; // of each file before its samples
    std::vector<WaveMarker> markers;  // each file's, with markers on
    uint64_t markersLeftOut = 0;      // markers no cue point can reach
};

// A stretch of a take that became silence because it could not be read.
struct SilencedStretch {
    std::string take;        // the take's path
    uint64_t start = 0;      // timeline frames
    uint64_t end = 0;
    uint64_t takeFrame = 0;  // the take's own frame that stands at `start`
};

// How a run ended.
struct RunOutcome {
    enum class End { Complete, Stopped, Failed };
    End end = End::Failed;
    uint64_t frames = 0;  // frames in each output file
    uint64_t total = 0;   // frames a complete run writes
    int error = 0;        // the system's reason (errno) after a failed write; 0 when unknown
    std::vector<std::string> outputs;  // the paths of the output files
    std::vector<SilencedStretch> silenced;
};

class ProjectSession {
public:
    // ---- Load ----

    // Loads the project in `dir`; true when it is one (takes found, one rate).
    // A failed load keeps what it found, for the report.
    bool Load(const std::string& dir);
    bool Loaded() const { return loaded; }
    const std::string& Dir() const { return dir; }
    // Every entry of "Audio Files" from the last load, in listing order.
    const std::vector<ProjectEntry>& Entries() const { return writer.entries; }
    // The accepted takes, oldest first.
    std::vector<const kxFile*> Takes() const;
    // The edit list's first event (its chain in timeline order); null without one.
    const AudioEvent* FirstEvent() const;
    // The rate of the first accepted take, and whether the others differ from it.
    uint32_t SampleRate() const { return writer.sampleRate; }
    bool RatesDiffer() const { return writer.ratesDiffer; }
    bool HasEdl() const { return writer.edl != nullptr; }
    // The project's first frame and the frame past its end; 0 without an edit list.
    uint64_t First() const;
    uint64_t Last() const;
    uint64_t Frames() const { return Last() - First(); }
    // The length of the fades at the project's rate: 1024, 2048 or 4096 frames.
    uint32_t FadeFrames() const { return 4096u / static_cast<uint32_t>(writer.fadeStep / 4); }
    // A timeline position at the project's rate.
    timeParts TimeOf(uint64_t frame) const;

    // ---- Plan ----

    OutputPlan Plan(const OutputFormat& format) const;

    // ---- Run ----

    // Creates the output files in `paths` (the left and the right one for dual
    // mono) for `format`, saying `texts`; false, with errno set, when one cannot
    // be created. Nothing is removed here: the run flow knows what it created.
    bool CreateOutputs(const OutputFormat& format, const std::vector<std::string>& paths,
                       const OutputTexts& texts);
    // Renders the whole span into the outputs on this thread, adding to
    // `progress` (percent) as it goes, and ends the run.
    RunOutcome Run(std::atomic<double>& progress);
    // The run a block at a time: Begin, then Step until it says done, then End.
    // Step renders and writes up to `blocks` blocks: 1 while there is more to do,
    // 0 once done (or stopped), -1 when a block could not be written. End's
    // `written` is false when the caller's own writing failed.
    bool Begin();
    int Step(int blocks);
    RunOutcome End(bool written);
    // Asks the run to stop before its next block; any thread.
    void Stop() { writer.stopRequested = true; }
    bool StopRequested() const { return writer.stopRequested.load(); }
    std::atomic<bool>& StopFlag() { return writer.stopRequested; }
    // Percent of the span rendered by the stepped run.
    double Progress() const { return writer.RunProgress(); }

private:
    RunOutcome Outcome(bool ok) const;

    EDLWriter writer;
    std::string dir;
    bool loaded = false;
};
