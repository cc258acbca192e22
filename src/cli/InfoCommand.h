// `proj2wav info`: what a project directory holds and what a conversion would make
// of it — the window's status line, every entry of "Audio Files" accepted or refused
// (and why), and the edit list with its fades — as text, as one JSON document, or
// the edit list alone as CSV. Given a file instead, what that WAVE file holds.
#pragma once

#include <string>
#include <vector>

#include "cli/CliCommon.h"

namespace cli {

struct InfoOptions {
    std::vector<std::string> paths;  // project directories, folders of them, or a file
    OutputFormat format;
    bool json = false;
    bool csv = false;
};

// Prints the report to stdout: for one project, or a folder that is none, the
// whole report (kExitDone for a valid project, kExitNotProject otherwise); for
// folders that hold projects, each project with its status line (kExitDone, or
// kExitNotProject when none holds one). A regular file is described by
// RunFileInfo instead; a path that does not exist is kExitFailed.
int RunInfo(const InfoOptions& options);

// Prints the report on the WAVE file `path`. kExitNotProject when it is no WAVE
// file (kExitFailed when it cannot be read, kExitUsage with --csv).
int RunFileInfo(const InfoOptions& options, const std::string& path);

}  // namespace cli
