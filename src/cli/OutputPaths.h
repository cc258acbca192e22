// The checks of the command line on an output name before anything is created: it
// must not be a directory or another kind of special file, must not exist unless
// overwriting was asked for, and the volume must have room for the output. (That
// it is no recording of the project is app::CheckOutputPath's part.)
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

namespace cli {

// One output name as given, and what it resolves to on disk.
struct OutputTarget {
    std::string given;      // as typed, for messages and for creating the file
    std::string resolved;   // absolute, symbolic links and ".." resolved
    std::string directory;  // the resolved directory the file goes into
    bool exists = false;    // something exists at `given` (a link is followed)
    dev_t device = 0;       // of the existing file
    ino_t inode = 0;
    dev_t directoryDevice = 0;
};

// Resolves `given`. False, with `error` set to a whole message, when the name
// cannot be an output: its directory cannot be found, it names a directory, a
// link to nothing, or something that is not a regular file, or it exists and
// `force` is false.
bool ResolveOutput(const std::string& given, bool force, OutputTarget& target, std::string& error);

// False, with `error` set, when the volume of `target` has too little free space
// for `bytes` of audio plus the margin the window keeps.
bool CheckRoom(const OutputTarget& target, int64_t bytes, std::string& error);

// The name of the right file of dual mono derived from the left one: a left name
// ending in "L.wav" gives the same name ending in "R.wav"; otherwise empty.
std::string RightNameFromLeft(const std::string& left);

}  // namespace cli
