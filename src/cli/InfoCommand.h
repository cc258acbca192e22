// `proj2wav info`: what a project directory holds and what a conversion would make
// of it — the window's status line, every entry of "Audio Files" accepted or refused
// (and why), and the edit list with its fades — as text, as one JSON document, or
// the edit list alone as CSV. Given a file instead, what that WAVE file holds.
#pragma once

#include <string>

#include "cli/CliCommon.h"

namespace cli {

struct InfoOptions {
    std::string project;  // a project directory, or a file
    OutputFormat format;
    bool json = false;
    bool csv = false;
};

// Prints the report to stdout. kExitDone for a valid project, kExitNotProject
// otherwise (the report still shows what was found). A regular file is described
// by RunFileInfo instead.
int RunInfo(const InfoOptions& options);

// Prints the report on the WAVE file `options.project`. kExitNotProject when it
// is no WAVE file (kExitFailed when it cannot be read, kExitUsage with --csv).
int RunFileInfo(const InfoOptions& options);

}  // namespace cli
