// What the command-line front end's commands share: exit codes, the output format
// the user chose, error lines, and loading a project with a reason in words when
// it is not a valid one.
#pragma once

#include <cstdint>
#include <string>

#include "app/AppDecisions.h"
#include "audiofile/kxFile.h"
#include "engine/EDLWriter.h"

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

// The channel layouts in the order of the window's column (and of ChanTypes).
inline constexpr const auto& kLayoutNames = app::kLayoutNames;

// The output format as given on the command line.
struct OutputFormat {
    int bits = 16;                  // 16 or 24
    std::string layout = "stereo";  // one of kLayoutNames

    // The window's width column: 0 for 16 bit, 1 for 24.
    int WidthColumn() const { return bits == 24 ? 1 : 0; }
    // The window's channel column (a ChanTypes index); stereo for anything unknown.
    int ChannelColumn() const;
    bool IsDualMono() const;
};

// "proj2wav: <message>" on stderr.
void PrintError(const std::string& message);
// "warning: ..." goes the same way, for things that did not stop the command.
void PrintWarning(const std::string& message);
// The text in double quotes, as file names appear in messages.
std::string Quoted(const std::string& text);

// Loads `dir` into a fresh `writer` with the chosen format. True when it is a
// valid project; otherwise `why` tells what is wrong with it (the writer still
// holds whatever was found, for the report), as app::NotAProjectReason words it.
bool LoadProjectDir(EDLWriter& writer, const std::string& dir, const OutputFormat& format,
                    std::string& why);

}  // namespace cli
