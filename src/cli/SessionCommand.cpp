#include "cli/SessionCommand.h"

#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>

#include "app/ArdourSession.h"
#include "app/ProjectView.h"
#include "platform/kxDiskMgr.h"
#include "cli/CliCommon.h"
#include "cli/ProgressBar.h"

namespace cli {

namespace {

// Runs WriteSession, on a worker while this thread draws the progress line when
// there is one to draw.
app::SessionResult Write(const app::ArdourProject& project, const app::SessionPlan& plan,
                         std::atomic<bool>& stop, bool showProgress) {
    std::atomic<double> progress{0.0};
    if (!showProgress) return app::WriteSession(project, plan, progress, stop);
    app::SessionResult result;
    std::atomic<bool> finished{false};
    ProgressBar bar(stderr, static_cast<int64_t>(plan.copyBytes));
    bar.Update(0.0);
    std::thread worker([&] {
        result = app::WriteSession(project, plan, progress, stop);
        finished.store(true, std::memory_order_release);
    });
    while (!finished.load(std::memory_order_acquire)) {
        bar.Update(progress.load(std::memory_order_relaxed));
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    worker.join();
    bar.Clear();
    return result;
}

}  // namespace

int RunSession(const SessionOptions& options) {
    ProjectSession session;
    if (!session.Load(options.project)) {
        PrintError(Quoted(options.project) + ": " + app::kNotValidProject + " (" +
                   app::NotAProjectReason(session) + ")");
        return kExitNotProject;
    }
    const app::ArdourProject project =
        app::ArdourProjectOf(session, app::ProjectName(options.project), options.markers);
    if (project.events.empty()) {
        PrintError(Quoted(options.project) +
                   ": nothing to put in a session: its takes hold no whole frame");
        return kExitFailed;
    }
    const app::SessionPlan plan = app::PlanSession(project, options.folder);
    for (const std::string& refusal : {app::SessionFolderRefusal(options.folder, options.project),
                                       app::SessionRoomRefusal(plan, kxDiskMgr::FreeSpace)}) {
        if (!refusal.empty()) {
            PrintError(refusal);
            return kExitFailed;
        }
    }

    kxStopSignals signals;
    std::atomic<bool> stop{false};
    signals.Connect(stop);
    const app::SessionResult result =
        Write(project, plan, stop, !options.quiet && ::isatty(STDERR_FILENO) == 1);
    switch (result.outcome) {
        case app::SessionOutcome::Written:
            if (!options.quiet) std::printf("%s\n", app::SessionWrittenText(plan, result).c_str());
            return kExitDone;
        case app::SessionOutcome::Stopped:
            PrintError("stopped: nothing of the session was kept");
            return kExitStopped;
        case app::SessionOutcome::Failed:
            break;
    }
    PrintError(result.error + " Nothing of the session was kept.");
    return kExitFailed;
}

}  // namespace cli
