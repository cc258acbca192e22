// Guards for the paths a user picks for output files, checked before anything is
// created. An output must never overwrite a recording: not a take of the project,
// not any file of its "Audio Files" directory, under whatever spelling (another
// relative form, a symbolic link, a hard link). The two files of dual mono must
// also be two different files. The folder an output goes into must exist and
// take new files, and each volume must have room for the files it gets.
//
// Unlike AppDecisions this looks at the disk, through the platform layer
// (kxDiskMgr) alone and free of any toolkit, so every front end on every platform
// makes the same decisions and shows the same words.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

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

// ---- Folders and room ----

// The folder `path` would be written into: its directory part, "." for a bare name.
std::string OutputFolder(const std::string& path);

// Why `path` cannot be an output because of what is there: a directory, a link
// to nothing, something that is not a regular file, or (unless `overwrite`) a
// file that exists. Empty when a file may be created or overwritten there.
std::string TargetRefusal(const std::string& path, bool overwrite);

// Every refusal of one output path, in the order every front end checks them:
// its folder, what is at the path, the other file of dual mono (`otherOutput`,
// empty otherwise) under the same name, then a recording of the project or the
// other file under another spelling. Empty when the path may be written.
std::string OutputPathRefusal(const std::string& projectDir, const std::string& path,
                              const std::string& otherOutput, bool overwrite);

// The path as a summary shows it: its folder made absolute, links resolved; the
// path as given when the folder cannot be resolved.
std::string ShownOutputPath(const std::string& path);

// Why no file can be written at `path` because of its folder: the folder does not
// exist, is not a folder, or cannot be written (permissions, a read-only volume).
// The alert names the folder and the reason; empty when the folder can take it.
std::string FolderRefusal(const std::string& path);

// Free bytes on the volume holding a folder; negative when unknown
// (kxDiskMgr::FreeSpace, unless a front end measures it otherwise).
using FreeSpaceLookup = std::function<int64_t(const std::string& folder)>;

// The room test for the outputs of one conversion, `paths` being the single file
// or the left and right files of dual mono, which share `projectBytes` evenly.
// Files whose folders lie on one volume need room for all of them together: the
// volume must have more than their bytes plus kRoomMargin free (HasRoom); unknown
// free space is no room. The alert names the files, the room they need and the
// folder; empty when every volume has room. Check the folders first.
std::string RoomRefusal(const std::vector<std::string>& paths, int64_t projectBytes,
                        const FreeSpaceLookup& freeBytes);

}  // namespace app
