// `proj2wav convert PATH... --output-dir DIR`: every project found under the paths,
// one after another into DIR, through app::ProjectBatch. The batch runs on a
// worker thread; this thread draws its progress on a terminal and passes Ctrl-C
// or SIGTERM on to it, which ends the current project's output as a valid,
// shorter file and leaves the rest not run.
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>

#include "app/AppDecisions.h"
#include "app/ConversionFlow.h"
#include "app/ProjectBatch.h"
#include "cli/ConvertCommand.h"
#include "platform/kxDiskMgr.h"

namespace cli {

namespace {

// The progress of the whole run in place on a terminal, at most ten times a second.
void DrawProgress(const app::ProjectBatch& batch, std::chrono::steady_clock::time_point start,
                  size_t& drawn) {
    const double elapsed =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::string line = app::BatchProgressText(batch.Now(), elapsed);
    const size_t width = line.size();
    if (width < drawn) line += std::string(drawn - width, ' ');
    drawn = width;
    std::fprintf(stderr, "\r%s", line.c_str());
    std::fflush(stderr);
}

int ExitCodeOf(const app::ProjectBatch& batch) {
    if (batch.Stopped()) return kExitStopped;
    const auto& projects = batch.Projects();
    const bool failed = std::any_of(projects.begin(), projects.end(), [](const auto& p) {
        return p.state == app::BatchState::Failed;
    });
    return failed ? kExitFailed : kExitDone;
}

}  // namespace

int RunBatch(const ConvertOptions& options) {
    const std::vector<std::string> found = app::FindProjects(options.paths);
    if (found.empty()) {
        PrintError("no project found in " + app::OutputNames(options.paths));
        return kExitNotProject;
    }
    app::ProjectBatch batch(found, options.outputDir, options.format, options.force);
    batch.Plan();
    if (const std::string refusal = batch.Refusal(kxDiskMgr::FreeSpace); !refusal.empty()) {
        PrintError(refusal);
        return kExitFailed;
    }

    std::atomic<bool> interrupted{false};
    kxStopSignals signals;
    signals.Connect(interrupted);
    std::atomic<bool> finished{false};
    std::thread worker([&] {
        batch.Run(kxDiskMgr::FreeSpace);
        finished = true;
    });
    const bool showProgress = !options.quiet && !options.json && ::isatty(STDERR_FILENO) == 1;
    const auto start = std::chrono::steady_clock::now();
    size_t drawn = 0;
    while (!finished.load()) {
        if (interrupted.load() && !batch.Stopped()) batch.Stop();
        if (showProgress) DrawProgress(batch, start, drawn);
        std::this_thread::sleep_for(std::chrono::milliseconds(showProgress ? 100 : 20));
    }
    worker.join();
    if (drawn > 0) std::fprintf(stderr, "\r%s\r", std::string(drawn, ' ').c_str());

    if (options.json) {
        std::printf("%s\n", app::BatchJson(batch.Projects()).c_str());
    } else if (!options.quiet || ExitCodeOf(batch) != kExitDone) {
        std::fputs(app::BatchTable(batch.Projects()).c_str(), stdout);
    }
    return ExitCodeOf(batch);
}

}  // namespace cli
