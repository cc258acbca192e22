#include "cli/ConvertCommand.h"

#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>

#include "app/AppDecisions.h"
#include "app/ConversionFlow.h"
#include "app/ProjectView.h"
#include "cli/ProgressBar.h"
#include "platform/Paths.h"
#include "platform/kxDiskMgr.h"

namespace cli {

namespace {

void PrintUsageError(const char* message) {
    PrintError(message);
    std::fputs("Run with --help for more information.\n", stderr);
}

// Where an output goes when none was named: beside the project folder, under the
// name the window proposes.
std::string DefaultOutput(const std::string& project, const OutputFormat& format) {
    std::string folder;
    if (!kxDiskMgr::CanonicalPath(project, folder)) folder = project;
    const std::string name = format.TwoFiles() ? app::ProposedLeftName(folder)
                                               : app::ProposedSingleName(folder);
    return paths::Join(paths::Folder(folder), app::WithOutputType(name));
}

}  // namespace

int RunConvert(const ConvertOptions& options) {
    if (!options.outputDir.empty()) return RunBatch(options);
    const OutputFormat& format = options.format;
    if (options.paths.size() != 1) {
        PrintUsageError("convert one project at a time, or many with --output-dir");
        return kExitUsage;
    }
    const std::string& project = options.paths.front();
    if (!format.TwoFiles() && !options.right.empty()) {
        PrintUsageError("--right names the right file of dual mono; it needs --channels dual");
        return kExitUsage;
    }

    ProjectSession session;
    if (!session.Load(project)) {
        PrintError(Quoted(project) + ": " + app::kNotValidProject + " (" +
                   app::NotAProjectReason(session) + ")");
        return kExitNotProject;
    }
    if (session.Frames() == 0) {
        PrintError(Quoted(project) + ": nothing to convert: its takes hold no whole frame");
        return kExitFailed;
    }
    std::vector<std::string> names = app::OutputPaths(
        options.output.empty() ? DefaultOutput(project, format) : options.output, format);
    if (format.TwoFiles() && !options.right.empty()) names[1] = options.right;
    if (const std::string refusal =
            app::OutputsRefusal(session, format, names, options.force, kxDiskMgr::FreeSpace);
        !refusal.empty()) {
        PrintError(refusal);
        return kExitFailed;
    }
    if (const OutputPlan plan = session.Plan(format); plan.markersLeftOut != 0) {
        PrintWarning(app::MarkersLeftOutText(plan.markersLeftOut, session.SampleRate()));
    }

    kxStopSignals signals;
    if (signals.Signalled()) {
        PrintError("stopped before anything was written");
        return kExitStopped;
    }
    if (const std::string refusal = app::CreateOutputs(session, format, names); !refusal.empty()) {
        PrintError(refusal);
        return kExitFailed;
    }
    signals.Connect(session.StopFlag());

    const bool showProgress = !options.quiet && ::isatty(STDERR_FILENO) == 1;
    const RunOutcome outcome =
        RunWithProgressBar(showProgress, session.Plan(format).audioBytes,
                           [&session](std::atomic<double>& progress) { return session.Run(progress); });

    std::vector<std::string> shown;
    for (const std::string& name : names) shown.push_back(app::ShownOutputPath(name));
    const app::OutcomeText words = app::OutcomeWords(session, format, outcome,
                                                     outcome.end == RunOutcome::End::Complete
                                                         ? shown
                                                         : names);
    if (!words.unreadable.empty()) PrintWarning(words.unreadable);
    switch (outcome.end) {
        case RunOutcome::End::Failed:
            PrintError(std::string(app::kFailed) + " " + words.summary);
            return kExitFailed;
        case RunOutcome::End::Stopped:
            PrintError("stopped: " + words.summary);
            return kExitStopped;
        case RunOutcome::End::Complete:
            break;
    }
    if (!options.quiet) {
        std::printf("%s\n", words.headline.c_str());
        for (size_t start = 0; start < words.summary.size();) {
            const size_t end = std::min(words.summary.find('\n', start), words.summary.size());
            std::printf("  %s\n", words.summary.substr(start, end - start).c_str());
            start = end + 1;
        }
    }
    return outcome.silenced.empty() ? kExitDone : kExitUnreadable;
}

}  // namespace cli
