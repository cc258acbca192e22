// The words of `proj2wav repair FILE` and of an unfinished file in `info FILE`,
// the same for every front end: what a file's header says against what the file
// holds, what mending it does or did, why it cannot be mended, and why a
// project's take is never touched.
#pragma once

#include <string>

#include "audiofile/WaveRepair.h"

namespace app {

// The command that mends the file at `path`, quoted for a POSIX shell:
//   proj2wav repair '/home/me/Mix.wav'
std::string RepairCommand(const std::string& path);

// Why the file at `path` is never mended: it lies in a folder named "Audio Files",
// where a project keeps its recordings (also when reached through a link). Empty
// when it may be mended, or when it cannot be found (InspectWave says so then).
std::string RepairRefusal(const std::string& path);

// What InspectWave found (`done` false) or MendWave did (`done` true), in one or
// two sentences; for CannotOpen, what the system said (errno).
//   "\"Mix.wav\" is unfinished: its header declares 0 frames, the file holds 2880000
//    (0:01:00.00). repair sets its header to declare them."
//   "Mended \"Mix.wav\": its header declares the 2880000 frames it holds (0:01:00.00)."
std::string RepairText(const std::string& path, const WavePlan& plan, bool done);

// After MendWave failed to write (`error` its errno): "cannot mend \"Mix.wav\": ...";
// a file whose length changed meanwhile is named as one still being written.
std::string MendFailedText(const std::string& path, int error);

// For `info FILE`: empty unless the file is unfinished; then what it holds and the
// command that mends it (or why it cannot be mended, or is never written: a take):
//   "its header declares 0 frames, the file holds 2880000 (0:01:00.00); mend it
//    with: proj2wav repair '/home/me/Mix.wav'"
std::string UnfinishedText(const std::string& path, const WavePlan& plan);

}  // namespace app
