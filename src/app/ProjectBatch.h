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
    // the folder it is to be made in) cannot take files, or lacks room for all
    // outputs together (saying how much is missing). Empty otherwise.
    std::string Refusal(const FreeSpaceLookup& freeSpace) const;
    // Converts the planned projects in order; a project that fails is reported and
    // the others go on. After Stop, the project being converted ends as a valid,
    // shorter file and the rest are not run.
    void Run(const FreeSpaceLookup& freeSpace);
    void Stop();
    bool Stopped() const { return stop_.load(); }

    BatchProgress Now() const;
    const std::vector<BatchProject>& Projects() const { return projects_; }
    const OutputFormat& Format() const { return format_; }

private:
    void RunOne(BatchProject& project, const FreeSpaceLookup& freeSpace);

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
    mutable std::mutex mutex_;                // guards the three below
    ProjectSession* session_ = nullptr;       // the project being converted
    size_t runIndex_ = 0;
    std::string runName_;
};

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
