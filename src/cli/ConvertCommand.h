// `proj2wav convert`: renders a project into one output file (or the two files of
// dual mono) after checking that nothing of value can be overwritten and that the
// volume has room; or, with --output-dir, every project found under the paths
// given, one after another into that folder. The run goes on a worker thread while
// the main thread draws the progress; Ctrl-C or SIGTERM stop it between blocks
// and leave a valid, shorter file.
#pragma once

#include <string>
#include <vector>

#include "cli/CliCommon.h"

namespace cli {

struct ConvertOptions {
    std::vector<std::string> paths;  // one project, or with outputDir any folders
    std::string output;  // the only file, or the left file of dual mono; empty: beside it
    std::string right;   // the right file of dual mono; empty when not given
    std::string outputDir;  // a batch's output folder; empty for one project
    OutputFormat format;    // with markers: a cue point where each recording begins
    bool force = false;     // overwrite existing outputs
    bool quiet = false;     // no progress line and no report of success
    bool json = false;      // a batch's report as JSON
};

// Runs the conversion; the result is one of the ExitCode values.
int RunConvert(const ConvertOptions& options);
// Runs the batch of options.outputDir.
int RunBatch(const ConvertOptions& options);

}  // namespace cli
