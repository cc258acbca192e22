// The checks of the command line on an output name before anything is created: it
// must not be a directory or another kind of special file, and must not exist
// unless overwriting was asked for. (Its folder, the room on its volume and that it
// is no recording of the project are decided in app/OutputSafety, for every front
// end alike.)
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace cli {

// One output name as given, and what it resolves to on disk.
struct OutputTarget {
    std::string given;     // as typed, for messages and for creating the file
    std::string resolved;  // absolute, symbolic links and ".." resolved
    bool exists = false;   // something exists at `given` (a link is followed)
    uint64_t device = 0;   // of the existing file
    uint64_t inode = 0;
};

// Resolves `given`, whose folder has passed app::FolderRefusal. False, with `error`
// set to a whole message, when the name cannot be an output: it names a
// directory, a link to nothing, or something that is not a regular file, or it
// exists and `force` is false.
bool ResolveOutput(const std::string& given, bool force, OutputTarget& target, std::string& error);

// The name of the right file of dual mono derived from the left one: a left name
// ending in "L.wav" gives the same name ending in "R.wav"; otherwise empty.
std::string RightNameFromLeft(const std::string& left);

}  // namespace cli
