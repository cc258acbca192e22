// `proj2wav repair FILE`: mends the header of an unfinished WAVE file — a killed
// conversion's output, a copy cut short — so that it declares the whole frames on
// disk (see audiofile/WaveRepair.h). `--dry-run` says what it would do. A file in
// a project's "Audio Files" folder is never touched.
#pragma once

#include <string>

#include "cli/CliCommon.h"

namespace cli {

struct RepairOptions {
    std::string file;
    bool dryRun = false;
};

// kExitDone when the file was mended, had nothing to mend, or (dry run) could be
// mended; kExitNotProject when it is no PCM WAVE file; kExitFailed otherwise.
int RunRepair(const RepairOptions& options);

}  // namespace cli
