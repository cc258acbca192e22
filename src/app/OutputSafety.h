// Guards for the paths a user picks for output files, checked before anything is
// created. An output must never overwrite a recording: not a take of the project,
// not any file of its "Audio Files" directory, under whatever spelling (another
// relative form, a symbolic link, a hard link). The two files of dual mono must
// also be two different files.
//
// Unlike AppDecisions this looks at the disk (stat, opendir), but it is plain
// POSIX and free of any toolkit, so the window and the command line share it.
#pragma once

#include <string>

namespace app {

enum class OutputProblem {
    None,              // the path may be written
    IsProjectTake,     // it leads to a file of the project's "Audio Files" directory
    InsideAudioFiles,  // it would create a new file in that directory
    SameAsOther,       // it is the same file as the other output of dual mono
};

// Checks `path` as an output of the project in `projectDir`. `otherOutput` is the
// other file of dual mono (the left one while the right one is checked), or empty.
// Paths are compared by what they lead to on disk: device and inode of the file
// when it exists, of its directory (plus its name) when it does not yet. A path
// whose directory cannot be found is not refused here; creating it will fail.
OutputProblem CheckOutputPath(const std::string& projectDir, const std::string& path,
                              const std::string& otherOutput = "");

// The alert that explains a problem, naming the file; empty for None.
std::string OutputProblemText(OutputProblem problem, const std::string& path);

// The alert for an output file that could not be created; `error` is the errno
// value of the failure, 0 when unknown.
std::string CannotCreateText(const std::string& path, int error);

}  // namespace app
