// One conversion, the same in every front end: the names of the outputs, the
// guards they must pass (in one order), creating them, and the words of the
// outcome. A front end asks its user for what only it can ask (a path, a Save
// dialog's answer), then calls these in turn around the session's run:
//
//   paths   = OutputPaths(left, format)          (or the two names the user chose)
//   refusal = OutputsRefusal(session, format, paths, overwrite, freeSpace)
//   refusal = CreateOutputs(session, format, paths)
//   outcome = session.Run(progress)              (or Begin, Step..., End)
//   words   = OutcomeWords(session, format, outcome, shownNames)
//
// Everything here runs on the thread that owns the session, never during a run.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "app/OutputSafety.h"
#include "engine/ProjectSession.h"

namespace app {

// ---- Names ----

// The output files for a chosen (left) path: it alone, or for dual mono it and
// the right file RightOutputPath gives.
std::vector<std::string> OutputPaths(const std::string& left, const OutputFormat& format);

// ---- Guards ----

// Why the outputs `paths` of the session's project in `format` cannot be written,
// or empty when they can. For each path in turn: its folder (FolderRefusal), what
// is at the path (TargetRefusal, existing files only with `overwrite`), that it is
// no recording of the project and not the other file of dual mono (PathProblem);
// then the room on each volume for the files it gets (RoomRefusal).
std::string OutputsRefusal(const ProjectSession& session, const OutputFormat& format,
                           const std::vector<std::string>& paths, bool overwrite,
                           const FreeSpaceLookup& freeSpace);

// ---- Creating ----

// Creates the outputs, each saying the project's name and the program in 'bext'.
// Empty when they were created; otherwise the alert, and whatever file this call
// itself created is removed again (never a file that was there before).
std::string CreateOutputs(ProjectSession& session, const OutputFormat& format,
                          const std::vector<std::string>& paths);

// ---- Outcome ----

struct OutcomeText {
    std::string headline;  // CompleteHeadline, kCancelled or kFailed
    // After a complete run one OutputSummary line per file; after a stop what was
    // kept; after a failure why, and what is left.
    std::string summary;
    std::string markersNote;  // markers that could not be placed; empty when none
    std::string unreadable;   // the takes written as silence; empty when none
};

// The words for `outcome`, the files named as `shownNames` (as the front end
// shows paths). `failure` is the reason when the front end's own writing failed
// (a browser's "out of quota"), empty otherwise.
OutcomeText OutcomeWords(const ProjectSession& session, const OutputFormat& format,
                         const RunOutcome& outcome, const std::vector<std::string>& shownNames,
                         const std::string& failure = "");

// "\"A.wav\"", or "\"L.wav\" and \"R.wav\"" for the two files of dual mono.
std::string OutputNames(const std::vector<std::string>& paths);

// After a complete run, one output file: its path, format, length, place on the
// timeline and size:
//   "/out/A.wav: 24 Bit, Stereo, 48000 Hz, 0:02:00.00 (5760000 frames), starts at
//    0:00:10.00 (sample 480000), 34.6 MB"
// `side` is 0 for the left and 1 for the right file of dual mono, -1 otherwise.
std::string OutputSummary(const ProjectSession& session, const OutputFormat& format,
                          const std::string& path, int side, uint64_t frames, uint64_t bytes);

}  // namespace app
