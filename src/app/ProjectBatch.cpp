#include "app/ProjectBatch.h"

#include <algorithm>
#include <cmath>
#include <nlohmann/json.hpp>
#include <set>

#include "app/AppDecisions.h"
#include "app/ConversionFlow.h"
#include "app/ProjectReport.h"
#include "app/ProjectView.h"
#include "platform/Paths.h"
#include "platform/kxDiskMgr.h"

namespace app {

namespace {

bool IsProjectFolder(const std::string& folder) {
    return kxDiskMgr::Identify(AudioFilesDir(folder), false).directory;
}

// Project folders at any depth below `root`, a folder that is none itself. An
// explicit stack rather than recursion: a deep tree never deepens the stack.
void SearchBelow(const std::string& root, std::set<std::string>& found) {
    std::vector<std::string> folders = {root};
    while (!folders.empty()) {
        const std::string folder = folders.back();
        folders.pop_back();
        std::vector<std::string> names;
        if (!kxDiskMgr::ListDirectory(folder, names)) continue;
        for (const std::string& name : names) {
            const std::string path = paths::Join(folder, name);
            if (!kxDiskMgr::Identify(path, false).directory) continue;  // links not followed
            if (IsProjectFolder(path)) {
                found.insert(path);
            } else {
                folders.push_back(path);
            }
        }
    }
}

// `name`, or `name (2)`, `name (3)`, ... : the first not yet taken.
std::string UniqueName(const std::string& name, std::set<std::string>& taken) {
    std::string unique = name;
    for (int n = 2; !taken.insert(unique).second; ++n) unique = name + " (" + std::to_string(n) + ")";
    return unique;
}

}  // namespace

std::vector<std::string> FindProjects(const std::vector<std::string>& paths) {
    std::set<std::string> found;
    for (const std::string& given : paths) {
        const std::string project = ProjectDirFor(given);
        if (IsProjectFolder(project)) {
            found.insert(project);
        } else if (kxDiskMgr::Identify(project).directory) {
            SearchBelow(project, found);
        }
    }
    return {found.begin(), found.end()};
}

const char* BatchStateText(BatchState state) {
    switch (state) {
        case BatchState::Converted: return "converted";
        case BatchState::Skipped: return "skipped";
        case BatchState::Failed: return "failed";
        case BatchState::Stopped: return "stopped";
        case BatchState::NotRun: break;
    }
    return "not run";
}

ProjectBatch::ProjectBatch(std::vector<std::string> projects, std::string outputFolder,
                           const OutputFormat& format, bool overwrite)
    : folder_(std::move(outputFolder)), format_(format), overwrite_(overwrite) {
    for (std::string& project : projects) {
        BatchProject p;
        p.project = std::move(project);
        projects_.push_back(std::move(p));
    }
}

void ProjectBatch::Plan() {
    std::set<std::string> taken;
    totalBytes_ = 0;
    toRun_ = 0;
    for (BatchProject& p : projects_) {
        ProjectSession session;
        p.valid = session.Load(p.project);
        p.name = ProjectName(p.project);
        p.sampleRate = session.SampleRate();
        p.outputs = OutputPaths(paths::Join(folder_, UniqueName(p.name, taken) + ".wav"), format_);
        p.status = ListedStatus(session, p.valid, format_);
        if (!p.valid) {
            p.outputs.clear();  // its name stays taken, so that names do not shift
            p.state = BatchState::Failed;
            p.reason = NotAProjectReason(session);
            continue;
        }
        p.frames = session.Frames();
        if (p.frames == 0) {
            p.outputs.clear();
            p.state = BatchState::Failed;
            p.reason = "nothing to convert: its takes hold no whole frame";
            continue;
        }
        for (const std::string& output : p.outputs) {
            if (!overwrite_ && kxDiskMgr::Identify(output, false).exists) {
                p.state = BatchState::Skipped;
                p.reason = Quoted(output) + " already exists";
                break;
            }
        }
        if (p.state == BatchState::Skipped) continue;
        p.bytes = session.Plan(format_).audioBytes;
        totalBytes_ += p.bytes;
        ++toRun_;
    }
}

std::string ProjectBatch::Refusal(const FreeSpaceLookup& freeSpace) const {
    // A folder not there yet is made in its parent, which must then take it.
    const bool exists = kxDiskMgr::Identify(folder_, false).exists;
    const std::string where = exists ? folder_ : OutputFolder(folder_);
    if (std::string refusal = FolderRefusal(paths::Join(where, "x.wav")); !refusal.empty()) {
        return refusal;
    }
    // Files written into an "Audio Files" folder become takes of its project (and
    // a new one makes its parent a project).
    std::string canonical = folder_;
    if (exists) kxDiskMgr::CanonicalPath(folder_, canonical);
    if (paths::LastComponent(canonical) == kAudioFilesFolder) {
        return "The outputs would be written into " + Quoted(folder_) +
               ", where a project keeps its recordings. Choose a folder outside it.";
    }
    const int64_t free = freeSpace(where);
    const uint64_t needed = RoomNeeded(static_cast<int64_t>(totalBytes_));
    if (toRun_ == 0 || HasRoom(free > 0 ? static_cast<uint64_t>(free) : 0,
                               static_cast<int64_t>(totalBytes_))) {
        return std::string();
    }
    const std::string folder = Quoted(folder_);
    std::string text = std::string(kInsufficientSpace) + " The " + std::to_string(toRun_) +
                       (toRun_ == 1 ? " output needs " : " outputs need ") +
                       formatBytes(static_cast<double>(needed)) + " in " + folder;
    if (free < 0) return text + ", and its free space is unknown.";
    return text + ", which has " + formatBytes(static_cast<double>(free)) + " free: " +
           formatBytes(static_cast<double>(needed - static_cast<uint64_t>(free))) + " missing.";
}

void ProjectBatch::Run(const FreeSpaceLookup& freeSpace) {
    if (toRun_ > 0 && !kxDiskMgr::Identify(folder_, false).exists) {
        kxDiskMgr::MakeDirectory(folder_);  // when it cannot be made, each project says why
    }
    for (size_t index = Next(); index != kNone; index = Next()) {
        ProjectSession session;
        if (Start(index, session, freeSpace)) Finish(index, session, session.Run(progress_));
    }
}

size_t ProjectBatch::Next() {
    while (cursor_ < projects_.size() && projects_[cursor_].state != BatchState::NotRun) ++cursor_;
    if (cursor_ == projects_.size()) return kNone;
    if (stop_.load()) {
        for (; cursor_ < projects_.size(); ++cursor_) {
            BatchProject& p = projects_[cursor_];
            if (p.state != BatchState::NotRun) continue;
            p.reason = "the run was stopped before it";
            p.outputs.clear();  // they will not be written
        }
        return kNone;
    }
    const size_t index = cursor_++;
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        runIndex_ = started_++;
        runName_ = projects_[index].name;
    }
    currentBytes_ = projects_[index].bytes;
    progress_ = 0.0;
    return index;
}

bool ProjectBatch::Start(size_t index, ProjectSession& session, const FreeSpaceLookup& freeSpace,
                         bool outputsMade) {
    BatchProject& p = projects_[index];
    p.state = BatchState::Failed;
    if (!session.Load(p.project)) {  // changed since it was planned
        p.reason = NotAProjectReason(session);
    } else {
        p.reason = OutputsRefusal(session, format_, p.outputs, overwrite_ || outputsMade, freeSpace);
        if (p.reason.empty()) p.reason = CreateOutputs(session, format_, p.outputs);
    }
    if (!p.reason.empty()) {
        p.outputs.clear();  // nothing was written
        Over(index, 0.0);
        return false;
    }
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        session_ = &session;
    }
    // A stop that came while the outputs were made must still end this run.
    if (stop_.load()) session.Stop();
    return true;
}

void ProjectBatch::Finish(size_t index, const ProjectSession& session, const RunOutcome& outcome,
                          const std::string& failure) {
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        session_ = nullptr;
    }
    BatchProject& p = projects_[index];
    const double written = p.frames == 0 ? 0.0
                                         : std::min(1.0, static_cast<double>(outcome.frames) /
                                                             static_cast<double>(p.frames));
    p.frames = outcome.frames;
    switch (outcome.end) {
        case RunOutcome::End::Complete:
            p.state = BatchState::Converted;
            p.reason = outcome.silenced.empty() ? std::string()
                                                : CompleteHeadline(outcome.silenced.size());
            break;
        case RunOutcome::End::Stopped:
            p.state = BatchState::Stopped;
            p.reason = OutcomeWords(session, format_, outcome, p.outputs, failure).summary;
            break;
        case RunOutcome::End::Failed:
            p.state = BatchState::Failed;
            p.reason = OutcomeWords(session, format_, outcome, p.outputs, failure).summary;
            break;
    }
    Over(index, written);
}

void ProjectBatch::Over(size_t index, double written) {
    // Counted once, and as much as was written: the overall bar of a batch that
    // stopped or failed shows what it holds.
    currentBytes_ = 0;
    doneBytes_ += static_cast<uint64_t>(static_cast<double>(projects_[index].bytes) * written);
}

void ProjectBatch::Stop() {
    stop_ = true;
    const std::lock_guard<std::mutex> lock(mutex_);
    if (session_ != nullptr) session_->Stop();
}

BatchProgress ProjectBatch::Now() const {
    BatchProgress now;
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        now.index = runIndex_;
        now.name = runName_;
    }
    now.count = toRun_;
    now.totalBytes = totalBytes_;
    now.current = std::clamp(progress_.load(), 0.0, 100.0);
    const double done =
        static_cast<double>(doneBytes_.load()) +
        static_cast<double>(currentBytes_.load()) * now.current / 100.0;
    now.overall = totalBytes_ == 0
                      ? 0.0
                      : std::min(100.0, 100.0 * done / static_cast<double>(totalBytes_));
    return now;
}

std::string ListedStatus(const ProjectSession& session, bool loaded, const OutputFormat& format) {
    if (loaded) return StatusLineOf(session, format);
    return std::string(kNotValidProject) + " (" + NotAProjectReason(session) + ")";
}

std::vector<std::string> BatchCells(const BatchProject& p, const char* separator) {
    std::string outputs;
    for (const std::string& output : p.outputs) outputs += (outputs.empty() ? "" : separator) + output;
    const bool written = p.state == BatchState::Converted || p.state == BatchState::Stopped;
    return {p.project, outputs, written ? ShortTimeText(p.frames, p.sampleRate) : std::string(),
            BatchStateText(p.state), p.reason};
}

std::string BatchTable(const std::vector<BatchProject>& projects) {
    const char* header[] = {"project", "outputs", "length", "state", "reason"};
    std::vector<std::vector<std::string>> rows;
    for (const BatchProject& p : projects) {
        rows.push_back(BatchCells(p, ", "));
        for (size_t column : {1, 2}) {
            if (rows.back()[column].empty()) rows.back()[column] = "-";
        }
    }
    size_t widths[4] = {};
    for (size_t column = 0; column < 4; ++column) {
        widths[column] = std::string(header[column]).size();
        for (const auto& row : rows) widths[column] = std::max(widths[column], row[column].size());
    }
    const auto line = [&](const std::vector<std::string>& cells) {
        std::string text;
        for (size_t column = 0; column < 4; ++column) {
            text += cells[column] + std::string(widths[column] - cells[column].size() + 2, ' ');
        }
        text += cells[4];
        while (!text.empty() && text.back() == ' ') text.pop_back();
        return text + "\n";
    };
    std::string table = line({header, header + 5});
    for (const auto& row : rows) table += line(row);
    return table;
}

std::string BatchJson(const std::vector<BatchProject>& projects) {
    nlohmann::ordered_json doc = {{"projects", nlohmann::ordered_json::array()}};
    for (const BatchProject& p : projects) {
        doc["projects"].push_back({{"project", p.project},
                                   {"name", p.name},
                                   {"state", BatchStateText(p.state)},
                                   {"outputs", p.outputs},
                                   {"frames", p.frames},
                                   {"reason", p.reason}});
    }
    return doc.dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
}

std::string BatchProgressText(const BatchProgress& progress, double elapsedSeconds) {
    return "project " + std::to_string(progress.index + 1) + " of " +
           std::to_string(progress.count) + ": " + progress.name + "  " +
           std::to_string(static_cast<int>(progress.current)) + "% of it; all:" +
           ProgressFigures(progress.overall, elapsedSeconds,
                           static_cast<double>(progress.totalBytes));
}

}  // namespace app
