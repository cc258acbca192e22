// Many projects at once: every project found under the paths a user gives (a
// recorder's disk, or a backup of one), each converted into one output folder
// through the same flow as a single project, with one report at the end.
//
//   projects = FindProjects(paths)
//   ProjectBatch batch(projects, folder, format, overwrite);
//   batch.Plan();                          loads each project once, names its outputs
//   refusal = batch.Refusal(freeSpace);    the folder, and room for all outputs
//   batch.Run();                           one project after another (any thread)
//   BatchTable(batch.Projects()) / BatchJson(...)
//
// A caller without threads (the page) drives the run a project at a time instead:
//
//   for (i = batch.Next(); i != ProjectBatch::kNone; i = batch.Next())
//       if (batch.Start(i, session, freeSpace)) {
//           session.Begin(); while (session.Step(n) == 1) batch.SetCurrentProgress(...);
//           batch.Finish(i, session, session.End(ok));
//       }
//
// Only one project is loaded at a time, so a batch needs no more memory than its
// largest project. Stop and Now may be called from any thread during Run.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "app/OutputSafety.h"
#include "engine/ProjectSession.h"

namespace app {

// The project folders among and below `paths`: a path that is a project (a
// folder with "Audio Files", that folder itself, or a take in it) stands for its
// project; any other folder is searched at any depth for project folders, never
// following a symbolic link and never looking inside a project. Sorted by path
// (byte order), each once.
std::vector<std::string> FindProjects(const std::vector<std::string>& paths);

enum class BatchState { Converted, Skipped, Failed, Stopped, NotRun };

// The titles of the list of projects found (each with its status line) and of
// the report's columns, as the window and the page head them.
inline constexpr const char* kProjectListTitles[] = {"Project", "Status"};
inline constexpr const char* kBatchColumnTitles[] = {"Project", "Outputs", "Length", "State",
                                                     "Reason"};
inline constexpr int kBatchColumnCount = 5;
inline constexpr const char* kConvertAll = "Convert All...";
// The line over the report once a batch is over.
inline constexpr const char* kBatchDone = "Done: the table says what happened to each project.";

// "converted", "skipped", "failed", "stopped", "not run".
const char* BatchStateText(BatchState state);

struct BatchProject {
    std::string project;               // its folder, as found
    std::string name;                  // ProjectName
    std::vector<std::string> outputs;  // its files in the output folder; none when
                                       // nothing was or will be written
    BatchState state = BatchState::NotRun;
    std::string reason;       // why it failed, was skipped or stopped; empty otherwise
    std::string status;       // the project's status line, or why it is no project
    uint32_t sampleRate = 0;  // of its takes
    uint64_t frames = 0;      // of each output: planned, then written
    uint64_t bytes = 0;       // audio bytes of its outputs to write; 0 when none are
    bool valid = false;       // it loaded as a project
};

// Where a batch run stands, for a progress line.
struct BatchProgress {
    size_t index = 0;  // of the project being converted, from 0
    size_t count = 0;  // projects to convert
    std::string name;  // of the project being converted
    double current = 0.0;  // percent of that project
    double overall = 0.0;  // percent of all bytes to write
    uint64_t totalBytes = 0;
};

class ProjectBatch {
public:
    // The outputs go into `outputFolder`; existing files are overwritten only with
    // `overwrite` (else their project is skipped).
    ProjectBatch(std::vector<std::string> projects, std::string outputFolder,
                 const OutputFormat& format, bool overwrite);

    // Loads each project once: its status line, its outputs' names (the project's
    // name with " (2)", " (3)", ... for later projects of the same name) and
    // sizes; what cannot be converted is failed, what exists is skipped.
    void Plan();
    // Why nothing may be written: the output folder (or, when it is not there yet,
    // the folder it is to be made in) cannot take files, is an "Audio Files" folder
    // (whose recorder would take the outputs for takes), or lacks room for all
    // outputs together (saying how much is missing). Empty otherwise.
    std::string Refusal(const FreeSpaceLookup& freeSpace) const;
    // Converts the planned projects in order; a project that fails is reported and
    // the others go on. After Stop, the project being converted ends as a valid,
    // shorter file and the rest are not run.
    void Run(const FreeSpaceLookup& freeSpace);

    static constexpr size_t kNone = static_cast<size_t>(-1);
    // The next project to convert, or kNone when none is left or the batch was
    // stopped (the rest then say so).
    size_t Next();
    // Loads project `index` into `session` and creates its outputs: false when it
    // failed before anything was written (its reason recorded). `outputsMade`: the
    // caller has made the output files itself, each where there was none (the
    // page, which cannot let the engine create a file), so that they are no longer
    // a reason to refuse.
    bool Start(size_t index, ProjectSession& session, const FreeSpaceLookup& freeSpace,
               bool outputsMade = false);
    // Where the session of a caller-driven run stands, in percent.
    void SetCurrentProgress(double percent) { progress_ = percent; }
    // Records how project `index`'s run ended; `failure` says why the caller's own
    // writing failed, when it did.
    void Finish(size_t index, const ProjectSession& session, const RunOutcome& outcome,
                const std::string& failure = std::string());

    void Stop();
    bool Stopped() const { return stop_.load(); }

    BatchProgress Now() const;
    const std::vector<BatchProject>& Projects() const { return projects_; }
    const OutputFormat& Format() const { return format_; }

    uint64_t TotalBytes() const { return totalBytes_; }

private:
    // The accounts of the progress once project `index` is over, `written` the
    // part of its outputs written.
    void Over(size_t index, double written);

    std::vector<BatchProject> projects_;
    std::string folder_;
    OutputFormat format_;
    bool overwrite_;
    uint64_t totalBytes_ = 0;
    size_t toRun_ = 0;

    std::atomic<bool> stop_{false};
    std::atomic<double> progress_{0.0};       // of the project being converted
    std::atomic<uint64_t> doneBytes_{0};      // of the projects before it
    std::atomic<uint64_t> currentBytes_{0};
    size_t cursor_ = 0;                       // where Next looks on from
    mutable std::mutex mutex_;                // guards the four below
    ProjectSession* session_ = nullptr;       // the project being converted
    size_t runIndex_ = 0;
    std::string runName_;
    size_t started_ = 0;  // projects started so far
};

// A project's line in a list of projects: its status line when it `loaded`, else
// why it is no project.
std::string ListedStatus(const ProjectSession& session, bool loaded, const OutputFormat& format);
// A project's row of the report, under kBatchColumnTitles; its outputs joined by
// `separator`.
std::vector<std::string> BatchCells(const BatchProject& project, const char* separator);
// The report at the end of a batch: a table of project, outputs, length, state
// and reason, one line per project under a header line.
std::string BatchTable(const std::vector<BatchProject>& projects);
// The same as JSON: {"projects": [{"project", "name", "state", "outputs",
// "frames", "reason"}]}, indented by two blanks.
std::string BatchJson(const std::vector<BatchProject>& projects);
// "project 3 of 12: Gig  45%  0:12 left", the batch's progress line; the time left
// appears once a little of the batch is behind it.
std::string BatchProgressText(const BatchProgress& progress, double elapsedSeconds);

}  // namespace app
