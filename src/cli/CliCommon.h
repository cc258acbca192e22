// What the command-line front end's commands share: exit codes, the output format
// the user chose, and error lines.
#pragma once

#include <string>

#include "app/AppDecisions.h"
#include "engine/ProjectSession.h"

namespace cli {

// The program's exit codes.
enum ExitCode : int {
    kExitDone = 0,
    kExitFailed = 1,      // a run or a check failed; the message says why
    kExitUsage = 2,       // the command line itself is wrong
    kExitNotProject = 3,  // the directory is not a valid project
    kExitUnreadable = 4,  // the output is written, but some audio could not be read and
                          // is silence in it
    kExitStopped = 130,   // Ctrl-C or SIGTERM stopped a run; the output is valid but shorter
};

// "proj2wav: <message>" on stderr.
void PrintError(const std::string& message);
// "warning: ..." goes the same way, for things that did not stop the command.
void PrintWarning(const std::string& message);
using app::Quoted;

}  // namespace cli
