#include "cli/CliCommon.h"

#include <dirent.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "app/AppDecisions.h"
#include "app/ProjectReport.h"

namespace cli {

int OutputFormat::ChannelColumn() const {
    return app::ChannelColumnOf(layout);
}

bool OutputFormat::IsDualMono() const {
    return app::IsDualMono(ChannelColumn());
}

void PrintError(const std::string& message) {
    std::fprintf(stderr, "proj2wav: %s\n", message.c_str());
}

void PrintWarning(const std::string& message) {
    std::fprintf(stderr, "proj2wav: warning: %s\n", message.c_str());
}

std::string Quoted(const std::string& text) {
    return "\"" + text + "\"";
}

std::string TimeText(const EDLWriter& writer, uint64_t frames) {
    return app::ShortTimeText(writer, frames);
}

std::string AudioFilesDir(const std::string& projectDir) {
    return projectDir + "/Audio Files";
}

namespace {

// Why the directory holds no project, when the scan found no takes.
std::string WhyNoTakes(const std::string& dir, size_t entryCount) {
    struct stat info {};
    if (::stat(dir.c_str(), &info) != 0) return std::strerror(errno);
    if (!S_ISDIR(info.st_mode)) return "not a directory";
    const std::string audioDir = AudioFilesDir(dir);
    if (DIR* handle = ::opendir(audioDir.c_str())) {
        ::closedir(handle);
    } else {
        return "cannot open " + Quoted(audioDir) + ": " + std::strerror(errno);
    }
    if (entryCount == 0) return Quoted(audioDir) + " is empty";
    return "none of the " + std::to_string(entryCount) + " entries in " + Quoted(audioDir) +
           " is a take";
}

}  // namespace

bool LoadProjectDir(EDLWriter& writer, const std::string& dir, const OutputFormat& format,
                    std::string& why) {
    writer.Init();
    writer.SetParams(static_cast<int8_t>(format.WidthColumn()),
                     static_cast<int8_t>(format.ChannelColumn()));
    if (writer.LoadProject(dir.c_str()) != 0) return true;
    why = writer.ratesDiffer ? "the takes do not share one sample rate"
                             : WhyNoTakes(dir, writer.entries.size());
    return false;
}

}  // namespace cli
