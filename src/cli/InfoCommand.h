// `proj2wav info`: what a project directory holds and what a conversion would make
// of it — the window's status line, every entry of "Audio Files" accepted or refused
// (and why), and the edit list with its fades — as text or as one JSON document.
#pragma once

#include <string>

#include "cli/CliCommon.h"

namespace cli {

struct InfoOptions {
    std::string project;
    OutputFormat format;
    bool json = false;
};

// Prints the report to stdout. kExitDone for a valid project, kExitNotProject
// otherwise (the report still shows what was found).
int RunInfo(const InfoOptions& options);

}  // namespace cli
