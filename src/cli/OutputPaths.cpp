#include "cli/OutputPaths.h"

#include <cerrno>
#include <cstring>

#include "app/OutputSafety.h"
#include "audiofile/kxDiskMgr.h"
#include "cli/CliCommon.h"

namespace cli {

namespace {

std::string NameOf(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string JoinPath(const std::string& directory, const std::string& name) {
    return directory == "/" ? "/" + name : directory + "/" + name;
}

bool Fail(std::string& error, const std::string& message) {
    error = message;
    return false;
}

// Resolves an output that already exists (a link is followed to its target).
bool ResolveExisting(const std::string& given, bool force, OutputTarget& target,
                     std::string& error) {
    const std::string shown = Quoted(given);
    const kxFileInfo info = kxDiskMgr::Identify(given);
    if (!info.exists) {
        // Something is there when links are not followed, so this is a symbolic link
        // to nothing: writing through it would create a file somewhere the checks
        // never looked.
        return Fail(error, shown + " is a symbolic link to a missing file");
    }
    if (info.directory) return Fail(error, shown + " is a directory");
    if (!info.regular) return Fail(error, shown + " is not a regular file");
    if (!force) return Fail(error, shown + " already exists (use --force to overwrite it)");
    if (!kxDiskMgr::CanonicalPath(given, target.resolved)) {
        return Fail(error, "cannot resolve " + shown + ": " + std::strerror(errno));
    }
    if (!kxDiskMgr::IsWritable(given)) {
        return Fail(error, "cannot overwrite " + shown + ": " + std::strerror(errno));
    }
    target.exists = true;
    target.device = info.device;
    target.inode = info.inode;
    return true;
}

}  // namespace

bool ResolveOutput(const std::string& given, bool force, OutputTarget& target, std::string& error) {
    target = OutputTarget{};
    target.given = given;
    const std::string shown = Quoted(given);

    if (kxDiskMgr::Identify(given, false).exists) {
        if (!ResolveExisting(given, force, target, error)) return false;
    } else if (errno != ENOENT) {
        return Fail(error, "cannot use " + shown + ": " + std::strerror(errno));
    } else {
        const std::string name = NameOf(given);
        if (name.empty() || name == "." || name == "..") {
            return Fail(error, shown + " is a directory");
        }
        const std::string parent = app::OutputFolder(given);
        std::string realParent;
        if (!kxDiskMgr::CanonicalPath(parent, realParent)) {
            return Fail(error,
                        "cannot use directory " + Quoted(parent) + ": " + std::strerror(errno));
        }
        target.resolved = JoinPath(realParent, name);
    }
    return true;
}

std::string RightNameFromLeft(const std::string& left) {
    static constexpr char kLeftEnding[] = "L.wav";
    static constexpr size_t kLength = sizeof(kLeftEnding) - 1;
    if (left.size() < kLength || left.compare(left.size() - kLength, kLength, kLeftEnding) != 0) {
        return std::string();
    }
    return left.substr(0, left.size() - kLength) + "R.wav";
}

}  // namespace cli
