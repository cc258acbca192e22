// `proj2wav info FILE`: the report on one WAVE file, as src/app words it.
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "app/FileReport.h"
#include "app/TakeProblemText.h"
#include "cli/InfoCommand.h"

namespace cli {

int RunFileInfo(const InfoOptions& options, const std::string& path) {
    if (options.csv) {
        PrintError("--csv lists a project's edit list; " + Quoted(path) + " is a file");
        return kExitUsage;
    }
    WaveDescription description;
    errno = 0;
    const TakeProblem problem = kxFile::Describe(path, description);
    if (problem == TakeProblem::CannotOpen) {
        PrintError("cannot read " + Quoted(path) + ": " + std::strerror(errno));
        return kExitFailed;
    }
    if (problem != TakeProblem::None) {
        PrintError(Quoted(path) + ": " + app::TakeProblemText(problem));
        return kExitNotProject;
    }
    const std::string report = options.json ? app::FileReportJson(path, description)
                                            : app::FileReportText(path, description);
    std::fwrite(report.data(), 1, report.size(), stdout);
    return kExitDone;
}

}  // namespace cli
