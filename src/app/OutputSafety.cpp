#include "app/OutputSafety.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "app/AppDecisions.h"
#include "app/ProjectView.h"
#include "platform/Paths.h"
#include "platform/kxDiskMgr.h"

namespace app {

namespace {


// A link that points nowhere yet is followed to the path that writing it would
// create, so that a dangling link into "Audio Files" is seen for what it is.
std::string FollowDanglingLinks(std::string path) {
    for (int depth = 0; depth < 16; ++depth) {
        if (kxDiskMgr::Identify(path).exists) break;  // Identify follows it itself
        if (!kxDiskMgr::Identify(path, false).link) break;
        std::string link;
        if (!kxDiskMgr::ReadLink(path, link) || link.empty()) break;
        path = link.front() == '/' ? link : paths::Join(OutputFolder(path), link);
    }
    return path;
}

// Where writing a path would put the bytes: into the existing file, or into a new
// entry `name` of the directory `directory`.
struct Destination {
    kxFileInfo file;
    kxFileInfo directory;
    std::string name;
};

Destination DestinationOf(const std::string& chosen) {
    const std::string path = FollowDanglingLinks(chosen);
    return {kxDiskMgr::Identify(path), kxDiskMgr::Identify(OutputFolder(path)),
            paths::LastComponent(path)};
}

bool SameDestination(const Destination& a, const Destination& b) {
    if (a.file.exists || b.file.exists) return a.file.SameFile(b.file);
    return a.directory.SameFile(b.directory) && a.name == b.name;
}

// True when `file` is an entry of the directory (any entry, take or not).
bool IsEntryOf(const std::string& directory, const kxFileInfo& file) {
    std::vector<std::string> names;
    if (!kxDiskMgr::ListDirectory(directory, names)) return false;
    return std::any_of(names.begin(), names.end(), [&](const std::string& name) {
        return kxDiskMgr::Identify(paths::Join(directory, name)).SameFile(file);
    });
}

}  // namespace

OutputProblem CheckOutputPath(const std::string& projectDir, const std::string& path,
                              const std::string& otherOutput) {
    const std::string audioDir = AudioFilesDir(projectDir);
    const Destination target = DestinationOf(path);
    // Compared by identity, an entry reached through a hard link or a link to a
    // take elsewhere is caught as well as a plain "Audio Files/Take 01.wav".
    if (target.file.exists && IsEntryOf(audioDir, target.file)) {
        return OutputProblem::IsProjectTake;
    }
    if (target.directory.SameFile(kxDiskMgr::Identify(audioDir))) {
        return OutputProblem::InsideAudioFiles;
    }
    if (!otherOutput.empty() && SameDestination(target, DestinationOf(otherOutput))) {
        return OutputProblem::SameAsOther;
    }
    return OutputProblem::None;
}

std::string OutputProblemText(OutputProblem problem, const std::string& path) {
    const std::string name = Quoted(paths::LastComponent(path));
    switch (problem) {
        case OutputProblem::IsProjectTake:
            return name +
                   " is one of the project's recordings. Choose another file for the output, so "
                   "that the recording is not overwritten.";
        case OutputProblem::InsideAudioFiles:
            return name +
                   " would be written into the project's \"Audio Files\" folder, where the "
                   "recordings are kept. Choose a folder outside it.";
        case OutputProblem::SameAsOther:
            return "The left and right channel files are both " + name +
                   ". Choose two different files.";
        case OutputProblem::None:
            break;
    }
    return std::string();
}

std::string CannotCreateText(const std::string& path, int error) {
    std::string text = "Could not create " + Quoted(paths::LastComponent(path));
    if (error != 0) text += std::string(": ") + std::strerror(error);
    return text + ".";
}

std::string OutputFolder(const std::string& path) {
    const std::string folder = paths::Folder(path);
    return folder.empty() ? "." : folder;
}

std::string TargetRefusal(const std::string& path, bool overwrite) {
    const std::string shown = Quoted(path);
    errno = 0;
    if (!kxDiskMgr::Identify(path, false).exists) {
        if (errno != ENOENT) return "cannot use " + shown + ": " + std::strerror(errno);
        const std::string name = paths::LastComponent(path);
        if (name.empty() || name == "." || name == ".." || path.back() == '/') {
            return shown + " is a directory";
        }
        return std::string();
    }
    const kxFileInfo info = kxDiskMgr::Identify(path);
    if (!info.exists) {
        // Something is there when links are not followed, so this is a symbolic link
        // to nothing: writing through it would create a file somewhere the checks
        // never looked.
        return shown + " is a symbolic link to a missing file";
    }
    if (info.directory) return shown + " is a directory";
    if (!info.regular) return shown + " is not a regular file";
    if (!overwrite) return shown + " already exists (use --force to overwrite it)";
    if (!kxDiskMgr::IsWritable(path)) return "cannot overwrite " + shown + ": " + std::strerror(errno);
    return std::string();
}

std::string OutputPathRefusal(const std::string& projectDir, const std::string& path,
                              const std::string& otherOutput, bool overwrite) {
    if (std::string refusal = FolderRefusal(path); !refusal.empty()) return refusal;
    if (std::string refusal = TargetRefusal(path, overwrite); !refusal.empty()) return refusal;
    if (!otherOutput.empty() && SameOutputPaths(otherOutput, path)) return kSameNames;
    return OutputProblemText(CheckOutputPath(projectDir, path, otherOutput), path);
}

std::string ShownOutputPath(const std::string& path) {
    std::string folder;
    if (!kxDiskMgr::CanonicalPath(OutputFolder(path), folder)) return path;
    return paths::Join(folder, paths::LastComponent(path));
}

std::string FolderRefusal(const std::string& path) {
    const std::string folder = OutputFolder(path);
    const std::string named = "\"" + folder + "\"";
    errno = 0;
    const kxFileInfo info = kxDiskMgr::Identify(folder);
    if (!info.exists) {
        // ENOTDIR: a part of the folder's path is a file, so there is no such folder.
        if (errno == 0 || errno == ENOENT || errno == ENOTDIR) {
            return "The folder " + named + " does not exist.";
        }
        return "The folder " + named + " cannot be used: " + std::strerror(errno) + ".";
    }
    if (!info.directory) return named + " is not a folder.";
    errno = 0;
    if (!kxDiskMgr::IsWritable(folder)) {
        return "The folder " + named + " cannot be written" +
               (errno != 0 ? std::string(": ") + std::strerror(errno) : std::string()) + ".";
    }
    return std::string();
}

std::string RoomRefusal(const std::vector<std::string>& paths, int64_t projectBytes,
                        const FreeSpaceLookup& freeBytes) {
    if (paths.empty()) return std::string();
    // The files of one volume, with the bytes they will hold together.
    struct Volume {
        kxFileInfo folderInfo;
        std::string folder;
        std::string names;
        size_t files = 0;
        int64_t bytes = 0;
    };
    std::vector<Volume> volumes;
    const int64_t perFile = std::max<int64_t>(projectBytes, 0) / static_cast<int64_t>(paths.size());
    for (const std::string& path : paths) {
        const std::string folder = OutputFolder(path);
        const kxFileInfo info = kxDiskMgr::Identify(folder);
        Volume* volume = nullptr;
        for (Volume& known : volumes) {
            if (info.exists && known.folderInfo.exists && known.folderInfo.device == info.device) {
                volume = &known;
            }
        }
        if (volume == nullptr) volume = &volumes.emplace_back(Volume{info, folder, "", 0, 0});
        volume->names += (volume->files > 0 ? " and " : "") + Quoted(paths::LastComponent(path));
        volume->files += 1;
        volume->bytes += perFile;
    }
    for (const Volume& volume : volumes) {
        const int64_t available = freeBytes(volume.folder);
        if (HasRoom(available > 0 ? static_cast<uint64_t>(available) : 0, volume.bytes)) continue;
        const std::string needs = std::string(kInsufficientSpace) + " " + volume.names +
                                  (volume.files > 1 ? " need " : " needs ") +
                                  formatBytes(static_cast<double>(RoomNeeded(volume.bytes))) + ", ";
        const std::string folder = "\"" + volume.folder + "\"";
        if (available < 0) return needs + "and the free space in " + folder + " is unknown.";
        return needs + folder + " has " + formatBytes(static_cast<double>(available)) + " free.";
    }
    return std::string();
}

}  // namespace app
