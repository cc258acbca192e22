#include "cli/ConvertCommand.h"

#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <thread>
#include <vector>

#include "app/AppDecisions.h"
#include "app/OutputSafety.h"
#include "app/ProjectView.h"
#include "app/RunOutcome.h"
#include "audiofile/kxDiskMgr.h"
#include "cli/OutputPaths.h"
#include "cli/ProgressBar.h"

namespace cli {

namespace {

// ---- Words ----

std::vector<std::string> GivenNames(const std::vector<OutputTarget>& targets) {
    std::vector<std::string> names;
    for (const OutputTarget& target : targets) names.push_back(target.given);
    return names;
}

void ReportSilencedTakes(const EDLWriter& writer) {
    const auto& spans = writer.renderer.silencedSpans;
    if (spans.empty()) return;
    PrintWarning("some audio could not be read and became silence in the output:");
    for (const SilencedSpan& span : spans) {
        const std::string take = span.take != nullptr ? span.take->Path() : "(unknown take)";
        std::fprintf(stderr, "  %s: %s - %s (samples %llu - %llu)\n", Quoted(take).c_str(),
                     app::ShortTimeText(span.start, writer.sampleRate).c_str(),
                     app::ShortTimeText(span.end, writer.sampleRate).c_str(),
                     static_cast<unsigned long long>(span.start),
                     static_cast<unsigned long long>(span.end));
    }
}

void ReportComplete(const EDLWriter& writer, const ConvertOptions& options,
                    const std::vector<OutputTarget>& targets, uint64_t frames) {
    std::printf("%s\n", app::kComplete);
    for (size_t i = 0; i < targets.size(); ++i) {
        const uint64_t size = kxDiskMgr::Identify(targets[i].given).size;
        const int side = targets.size() > 1 ? static_cast<int>(i) : -1;
        std::printf("  %s\n", app::OutputSummary(writer, options.format.WidthColumn(),
                                                 options.format.ChannelColumn(),
                                                 targets[i].resolved, side, frames, size)
                                  .c_str());
    }
}

// ---- Steps of a conversion ----

void PrintUsageError(const char* message) {
    PrintError(message);
    std::fputs("Run with --help for more information.\n", stderr);
}

// Works out the output names: usage errors return kExitUsage, else kExitDone.
int ChooseNames(const ConvertOptions& options, std::vector<std::string>& names) {
    const bool dual = options.format.IsDualMono();
    if (!dual && !options.right.empty()) {
        PrintUsageError("--right names the right file of dual mono; it needs --channels dual");
        return kExitUsage;
    }
    names = {options.output};
    if (!dual) return kExitDone;
    std::string right = options.right.empty() ? RightNameFromLeft(options.output) : options.right;
    if (right.empty()) {
        PrintUsageError(
            "dual mono writes two files: name the right one with --right, or end the -o name in "
            "\"L.wav\" to have the right one end in \"R.wav\"");
        return kExitUsage;
    }
    names.push_back(right);
    return kExitDone;
}

// Every check that must pass before a file is created; false after saying why.
bool CheckOutputs(const EDLWriter& writer, const ConvertOptions& options,
                  const std::vector<std::string>& names, std::vector<OutputTarget>& targets) {
    std::string error;
    targets.assign(names.size(), OutputTarget{});
    for (size_t i = 0; i < names.size(); ++i) {
        const std::string folderRefusal = app::FolderRefusal(names[i]);
        if (!folderRefusal.empty()) {
            PrintError(folderRefusal);
            return false;
        }
        if (!ResolveOutput(names[i], options.force, targets[i], error)) {
            PrintError(error);
            return false;
        }
        // Never a recording, nor a file beside them; the right file of dual mono
        // is also checked against the left one.
        const app::OutputProblem problem =
            app::CheckOutputPath(options.project, names[i], i == 1 ? names[0] : std::string());
        if (problem == app::OutputProblem::SameAsOther) {
            PrintError(std::string(app::kSameNames) + " (" + app::OutputNames(names) + ")");
            return false;
        }
        if (problem != app::OutputProblem::None) {
            PrintError(app::OutputProblemText(problem, names[i]));
            return false;
        }
    }

    int64_t bytes = 0;
    writer.ProjectSize(bytes);
    const std::string roomRefusal = app::RoomRefusal(names, bytes, kxDiskMgr::FreeSpace);
    if (!roomRefusal.empty()) PrintError(roomRefusal);
    return roomRefusal.empty();
}

// Creates the output file or files. On failure removes what it created itself.
bool CreateOutputs(EDLWriter& writer, const std::vector<OutputTarget>& targets) {
    errno = 0;
    const bool created = targets.size() == 1 ? writer.NewFile(targets[0].given.c_str()) != 0
                                             : writer.NewFiles(targets[0].given.c_str(),
                                                               targets[1].given.c_str()) != 0;
    if (created) return true;
    const int error = errno;
    for (const OutputTarget& target : targets) {
        if (!target.exists && kxDiskMgr::Identify(target.given, false).exists) {
            kxDiskMgr::RemoveFile(target.given);
        }
    }
    PrintError("cannot create " + app::OutputNames(GivenNames(targets)) + ": " +
               (error != 0 ? std::strerror(error) : "the file could not be set up"));
    return false;
}

struct RunResult {
    bool ok = false;
    int writeError = 0;  // errno after a failed run
};

// Runs doConvert. With a progress bar the run goes to a worker thread and this
// thread draws the bar meanwhile; without one there is nothing to wake up for,
// and the run goes on right here.
RunResult RunConversion(EDLWriter& writer, bool showProgress) {
    std::atomic<double> progress{0.0};
    RunResult result;
    auto run = [&] {
        errno = 0;
        try {
            result.ok = writer.doConvert(progress) != 0;
        } catch (...) {  // memory for a buffer could not be had
            result.ok = false;
            errno = ENOMEM;
        }
        if (!result.ok)
            result.writeError = writer.lastWriteError != 0 ? writer.lastWriteError : errno;
    };
    if (!showProgress) {
        run();
        return result;
    }

    int64_t bytes = 0;
    writer.ProjectSize(bytes);
    ProgressBar bar(stderr, bytes);
    bar.Update(0.0);  // at once, however short the run
    std::atomic<bool> finished{false};
    std::thread worker([&] {
        run();
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

int RunConvert(const ConvertOptions& options) {
    std::vector<std::string> names;
    if (const int usage = ChooseNames(options, names); usage != kExitDone) return usage;

    EDLWriter writer;
    std::string why;
    if (!LoadProjectDir(writer, options.project, options.format, why)) {
        PrintError(Quoted(options.project) + ": " + app::kNotValidProject + " (" + why + ")");
        return kExitNotProject;
    }
    if (writer.edl->LastSampleInEDL() == writer.edl->FirstSampleInEDL()) {
        PrintError(Quoted(options.project) + ": nothing to convert: its takes hold no whole frame");
        return kExitFailed;
    }
    std::vector<OutputTarget> targets;
    if (!CheckOutputs(writer, options, names, targets)) return kExitFailed;
    app::NameOutputs(writer, app::ProjectName(options.project));
    writer.SetMarkers(options.markers);
    if (const std::string note = app::MarkersLeftOutNote(writer, options.markers); !note.empty()) {
        PrintWarning(note);
    }

    kxStopSignals signals;
    if (signals.Signalled()) {
        PrintError("stopped before anything was written");
        return kExitStopped;
    }
    if (!CreateOutputs(writer, targets)) return kExitFailed;
    signals.Connect(writer.stopRequested);

    const RunResult run = RunConversion(writer, !options.quiet && ::isatty(STDERR_FILENO) == 1);

    const uint64_t total = app::ProjectFrames(writer);
    const uint64_t written = app::WrittenFrames(writer);
    ReportSilencedTakes(writer);

    if (!run.ok || (written < total && !signals.Signalled())) {
        PrintError(std::string(app::kFailed) + " " +
                   app::FailedWriteText(writer, names, run.writeError, written));
        return kExitFailed;
    }
    if (written < total) {
        PrintError("stopped: " + app::KeptText(writer, names, written));
        return kExitStopped;
    }
    if (!options.quiet) ReportComplete(writer, options, targets, written);
    return kExitDone;
}

}  // namespace cli
