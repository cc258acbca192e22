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
    const app::SessionResult result = RunWithProgressBar(
        !options.quiet && ::isatty(STDERR_FILENO) == 1, plan.copyBytes,
        [&](std::atomic<double>& progress) { return app::WriteSession(project, plan, progress, stop); });
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
