// The page's engine: one project session in the page's worker, and plain C
// functions over it that the worker calls (worker.js). The worker drives a conversion block by
// block, so that its writes to the output and the user's Cancel get their turn
// between blocks; the blocks are the ones doConvert writes natively.
//
// Every word the page shows comes from here, taken from src/app, so the page says
// what the window and the command line say. Strings returned stay valid until the
// next call that returns one.
#include <emscripten/emscripten.h>

#include <cerrno>
#include <cstdint>
#include <iterator>
#include <limits>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "app/AppDecisions.h"
#include "app/OutputSafety.h"
#include "app/ProjectReport.h"
#include "app/ProjectView.h"
#include "app/ConversionFlow.h"
#include "app/ProjectBatch.h"
#include "platform/Paths.h"
#include "platform/WebDisk.h"

namespace {

using Json = nlohmann::ordered_json;

// The state of the page's engine, for the life of the worker.
struct Engine {
    ProjectSession session;
    // The picked project's table path: its folder's own name ("Gig"), so that the
    // reasons and names the page shows read as the command line's run beside it.
    std::string projectDir;
    std::string status;   // the status line as the window would show it now
    // The page could not see whether the project has an "Audio Files" folder: a
    // folder input names files only, and one with none inside looks absent.
    bool audioFolderUnseen = false;
    OutputFormat format;  // the page's choices
    OutputFormat runFormat;            // the format of the run, once it began
    std::vector<std::string> outputs;  // the table paths of the run's outputs
    std::string returned;              // the string handed out last

    // A folder of projects (a disk): the projects found under it, the batch being
    // converted, and which of its projects runs now.
    std::vector<std::string> found;
    std::unique_ptr<app::ProjectBatch> batch;
    size_t batchIndex = app::ProjectBatch::kNone;
    RunOutcome batchOutcome;   // of its run, until its outputs are closed
    std::string batchFailure;  // why the page's writing failed, when it did
};

Engine& State() {
    static Engine engine;
    return engine;
}

const char* Hand(std::string text) {
    State().returned = std::move(text);
    return State().returned.c_str();
}

const char* HandJson(const Json& json) {
    return Hand(json.dump(-1, ' ', false, Json::error_handler_t::replace));
}

// The report, with the status line the window shows at this moment: after a load
// its verdict, after a change of format the line for the new format. The page
// lists the entries as the window's takes panel does: "takes" holds the panel's
// column titles, its rows' texts and the list's heading.
std::string ReportText(const Engine& e) {
    app::ProjectReport report = app::BuildProjectReport(e.session, e.format);
    report.status = e.status;
    if (!report.valid && e.audioFolderUnseen && !e.session.RatesDiffer()) {
        report.problem = app::Quoted(AudioFilesDir(e.projectDir)) +
                         " is empty or missing (a browser's folder input shows no empty folder)";
    }
    Json json = Json::parse(app::ReportJson(report));
    Json rows = Json::array();
    for (const app::TakeRow& row : report.entries) {
        Json cells = Json::array();
        for (int column = 0; column < app::kTakeColumnCount; ++column) {
            cells.push_back(app::TakeCellText(row, column));
        }
        rows.push_back(
            {{"cells", cells}, {"accepted", row.accepted}, {"truncated", row.truncated()}});
    }
    json["takes"] = {{"summary", app::EntriesSummary(report.entries)},
                     {"columns", app::kTakeColumnTitles},
                     {"rows", rows}};
    return json.dump(-1, ' ', false, Json::error_handler_t::replace);
}

// What the page has chosen, as the output format: the one place that knows the
// page's settings. `settings` is a JSON object such as
// {"bits": 24, "channels": "dual", "markers": true}; a field left out keeps its
// value.
void ApplySettings(Engine& e, const std::string& settings) {
    const Json chosen = Json::parse(settings, nullptr, false);
    if (!chosen.is_object()) return;
    if (const auto bits = chosen.find("bits"); bits != chosen.end() && bits->is_number()) {
        e.format.bits = bits->get<int>() == 24 ? 24 : 16;
    }
    if (const auto layout = chosen.find("channels");
        layout != chosen.end() && layout->is_string()) {
        app::LayoutOf(layout->get<std::string>(), e.format.layout);
    }
    if (const auto markers = chosen.find("markers");
        markers != chosen.end() && markers->is_boolean()) {
        e.format.markers = markers->get<bool>();
    }
    e.status = app::StatusLineOf(e.session, e.format);
}

// The page knows its outputs by name: the table path's last part.
std::vector<std::string> Names(const std::vector<std::string>& paths) {
    std::vector<std::string> names;
    for (const std::string& path : paths) names.push_back(paths::LastComponent(path));
    return names;
}

// The batch's projects for the page: each with its status line, its outputs by
// name, and its row of the report.
Json BatchProjectsJson(const std::vector<app::BatchProject>& projects) {
    Json list = Json::array();
    for (app::BatchProject p : projects) {
        p.outputs = Names(p.outputs);
        list.push_back({{"project", p.project},
                        {"name", p.name},
                        {"status", p.status},
                        {"valid", p.valid},
                        {"state", app::BatchStateText(p.state)},
                        {"outputs", p.outputs},
                        {"cells", app::BatchCells(p, ", ")}});
    }
    return list;
}

// What the browser cannot tell, the free room of a folder on disk, is not a reason
// to refuse: the writes say so if the disk fills.
int64_t UnknownRoom(const std::string& /*folder*/) {
    return std::numeric_limits<int64_t>::max();
}

}  // namespace

extern "C" {

// The page's fixed words: the window's texts and the names of the choices.
EMSCRIPTEN_KEEPALIVE const char* proj2wav_texts() {
    Json names = Json::array();
    Json layouts = Json::array();
    for (int i = 0; i < static_cast<int>(std::size(app::kLayoutNames)); ++i) {
        names.push_back(app::ChannelName(static_cast<ChanTypes>(i)));
        layouts.push_back(app::LayoutName(static_cast<ChanTypes>(i)));
    }
    return HandJson({
        {"notValidProject", app::kNotValidProject},
        {"sameNames", app::kSameNames},
        {"converting", app::kConverting},
        {"complete", app::kComplete},
        {"failed", app::kFailed},
        {"cancelled", app::kCancelled},
        {"cancelButton", app::kCancelButton},
        {"okButton", app::kOkButton},
        {"widths", {app::WidthName(16), app::WidthName(24)}},
        {"channelNames", names},
        {"markersOption", app::kMarkersOption},
        {"markersHelp", app::kMarkersHelp},
        {"layouts", layouts},
        {"alertButton", app::kAlertButton},
        {"saveLeftTitle", app::kSaveLeftTitle},
        {"saveRightTitle", app::kSaveRightTitle},
        {"audioFolder", kAudioFilesFolder},
        {"unnamedProject", app::kUnnamedProject},
        {"silencedTake", app::kSilencedTake},
        {"statusColumn", app::kTakeStatus},
        {"nameColumn", app::kTakeName},
        {"projectColumns", app::kProjectListTitles},
        {"batchColumns", app::kBatchColumnTitles},
        {"convertAll", app::kConvertAll},
        {"batchDone", app::kBatchDone},
        {"status", app::StatusLineOf(State().session, State().format)},
    });
}

// Forgets every picked file and output; the project loaded stays until the next
// load.
EMSCRIPTEN_KEEPALIVE void proj2wav_forget_files() {
    webdisk::Clear();
}

// A picked file at `path` (the page's relative path under a root of its own) with
// `size` bytes, read through the worker's file number `id`.
EMSCRIPTEN_KEEPALIVE void proj2wav_add_file(const char* path, double size, int32_t id) {
    webdisk::AddInput(path, static_cast<uint64_t>(size), id);
}

// An output at `path`, written through the worker's sink number `sink`.
EMSCRIPTEN_KEEPALIVE void proj2wav_add_output(const char* path, int32_t sink) {
    webdisk::AddOutput(path, sink);
}

// A folder the page saw, which may hold no file.
EMSCRIPTEN_KEEPALIVE void proj2wav_add_folder(const char* path) {
    if (path != nullptr) webdisk::AddFolder(path);
}

// Settings from the page (see ApplySettings); returns the report, whose "status"
// is the status line for them.
EMSCRIPTEN_KEEPALIVE const char* proj2wav_set_options(const char* settings) {
    ApplySettings(State(), settings != nullptr ? settings : "");
    return Hand(ReportText(State()));
}

// Loads the picked project: `name` is its folder's name, under which the page
// handed over its files; `audioFolder` is 1 when the page saw its "Audio Files"
// folder (which may hold no file), 0 when it saw there is none, 2 when it cannot
// tell (no file of it came through a folder input). Returns the report (JSON).
EMSCRIPTEN_KEEPALIVE const char* proj2wav_load(const char* name, int32_t audioFolder) {
    Engine& e = State();
    e.projectDir = name != nullptr ? name : "";
    e.audioFolderUnseen = audioFolder == 2 && !e.projectDir.empty();
    if (!e.projectDir.empty()) {
        webdisk::AddFolder(e.projectDir);
        if (audioFolder == 1) webdisk::AddFolder(AudioFilesDir(e.projectDir));
    }
    const bool loaded = e.session.Load(e.projectDir);
    e.status = loaded ? app::StatusLineOf(e.session, e.format) : app::kNotValidProject;
    return Hand(ReportText(e));
}

// The names proposed for the outputs of the present format, with ".wav": the
// single file, or the left and the right file of dual mono, the right one
// following `leftName`, the left file's chosen name (the proposed one when empty).
EMSCRIPTEN_KEEPALIVE const char* proj2wav_proposed_names(const char* leftName) {
    const Engine& e = State();
    const std::string proposed = app::WithOutputType(
        e.format.TwoFiles() ? app::ProposedLeftName(e.projectDir)
                            : app::ProposedSingleName(e.projectDir));
    const bool chosen = leftName != nullptr && *leftName != 0;
    std::vector<std::string> names = app::OutputPaths(chosen ? leftName : proposed, e.format);
    names[0] = proposed;
    return HandJson(names);
}

// The alert for an output chosen in a Save dialog, from what the page found out
// about the file `name`: it is one of the project's takes (`isTake`), or a new
// file in its "Audio Files" folder (`inAudioFiles`). Empty when it may be written.
EMSCRIPTEN_KEEPALIVE const char* proj2wav_output_refusal(int32_t isTake, int32_t inAudioFiles,
                                                         const char* name) {
    const app::OutputProblem problem = isTake != 0         ? app::OutputProblem::IsProjectTake
                                       : inAudioFiles != 0 ? app::OutputProblem::InsideAudioFiles
                                                           : app::OutputProblem::None;
    return Hand(app::OutputProblemText(problem, name != nullptr ? name : ""));
}

// The refusal when the browser lets the page store only `quotaFree` more bytes;
// empty when there is room for the output at the present settings.
EMSCRIPTEN_KEEPALIVE const char* proj2wav_quota_refusal(double quotaFree) {
    const auto bytes = static_cast<int64_t>(State().session.Plan(State().format).audioBytes);
    return Hand(app::QuotaRefusal(quotaFree > 0 ? static_cast<uint64_t>(quotaFree) : 0, bytes));
}

// Creates the output at table path `left` (and `right` for dual mono, else empty)
// and starts the run. The outputs carry the markers chosen and name themselves as
// the command line's do. Returns "" when it runs, else why it cannot.
EMSCRIPTEN_KEEPALIVE const char* proj2wav_begin(const char* left, const char* right) {
    Engine& e = State();
    const bool dual = right != nullptr && *right != 0;
    // The page's people know an output by its name, the table path's last part.
    e.outputs = {left != nullptr ? left : ""};
    if (dual) e.outputs.push_back(right);
    e.runFormat = e.format;
    if (std::string refusal = app::CreateOutputs(e.session, e.runFormat, e.outputs);
        !refusal.empty()) {
        return Hand(refusal);
    }
    return Hand(e.session.Begin() ? "" : app::kFailed);
}

// Renders and writes up to `blocks` blocks: 1 while there is more to do, 0 once
// the run is done (or stopped), -1 when a block could not be written.
EMSCRIPTEN_KEEPALIVE int32_t proj2wav_step(int32_t blocks) {
    return State().session.Step(blocks);
}

// Percent of the run done, and the figures the page shows beside the bar.
EMSCRIPTEN_KEEPALIVE double proj2wav_progress() {
    return State().session.Progress();
}

EMSCRIPTEN_KEEPALIVE const char* proj2wav_progress_text(double percent, double elapsedSeconds) {
    const double bytes = static_cast<double>(State().session.Plan(State().runFormat).audioBytes);
    return Hand(app::ProgressFigures(percent, elapsedSeconds, bytes));
}

// The user's Cancel: the run stops before its next block.
EMSCRIPTEN_KEEPALIVE void proj2wav_stop() {
    State().session.Stop();
    if (State().batch) State().batch->Stop();
}

// Ends the run: the output is finished with a header that matches what it holds.
// `failed` is non-zero when the page's own writing failed (a sink that could not
// take a batch), `failure` then saying why. Returns {"ok", "stopped", "text",
// "details", "frames", "total"}: the sheet's line, and under it what the window
// says of the outcome and of takes that could not be read.
EMSCRIPTEN_KEEPALIVE const char* proj2wav_end(int32_t failed, const char* failure) {
    Engine& e = State();
    const RunOutcome outcome = e.session.End(failed == 0);
    const app::OutcomeText words = app::OutcomeWords(
        e.session, e.runFormat, outcome, Names(e.outputs),
        failed != 0 && failure != nullptr ? failure : "");
    std::string details = words.summary;
    for (const std::string& more : {words.markersNote, words.unreadable}) {
        if (!more.empty()) details += (details.empty() ? "" : "\n") + more;
    }
    // The headline says when takes became silence (CompleteHeadline); the list
    // marks them.
    Json silenced = Json::array();
    for (const SilencedStretch& span : outcome.silenced) {
        silenced.push_back(paths::LastComponent(span.take));
    }
    return HandJson({{"ok", outcome.end != RunOutcome::End::Failed},
                     {"stopped", outcome.end == RunOutcome::End::Stopped},
                     {"text", words.headline},
                     {"silenced", silenced},
                     {"details", details},
                     {"frames", outcome.frames},
                     {"total", outcome.total}});
}

// ---- A folder of projects ----

// The projects of the page's present format, found under `root` by
// proj2wav_find_projects: {"projects": [{"project", "name", "status", "valid",
// ...}]}, in the order of their paths.
EMSCRIPTEN_KEEPALIVE const char* proj2wav_batch_list() {
    Engine& e = State();
    app::ProjectBatch listing(e.found, "/", e.format, true);
    listing.Plan();
    return HandJson({{"projects", BatchProjectsJson(listing.Projects())}});
}

// Searches the folder `root` (the page handed over its folders and the files of
// every "Audio Files" folder in it) for projects; returns proj2wav_batch_list().
EMSCRIPTEN_KEEPALIVE const char* proj2wav_find_projects(const char* root) {
    State().batch.reset();
    State().found = app::FindProjects({root != nullptr ? root : ""});
    return proj2wav_batch_list();
}

// Plans the batch of the projects `chosen` (a JSON list of their paths) into the
// table folder `folder`, where the files named in `existing` (a JSON list) are
// there already. `quotaFree` is what the page's storage may still take, or
// negative when the outputs go to a folder on disk. Returns {"refusal", and the
// projects as proj2wav_batch_list gives them, with their states}.
EMSCRIPTEN_KEEPALIVE const char* proj2wav_batch_plan(const char* chosen, const char* folder,
                                                    const char* existing, double quotaFree) {
    Engine& e = State();
    const std::string dir = folder != nullptr ? folder : "";
    std::vector<std::string> projects;
    for (const Json& project : Json::parse(chosen != nullptr ? chosen : "", nullptr, false)) {
        if (project.is_string()) projects.push_back(project.get<std::string>());
    }
    // An empty folder: the outputs go by their names alone (to the page's storage).
    webdisk::AddOutputFolder(dir.empty() ? "." : dir);
    // Files already there, known by name: never read, but there.
    for (const Json& name : Json::parse(existing != nullptr ? existing : "", nullptr, false)) {
        if (name.is_string()) webdisk::AddInput(paths::Join(dir, name.get<std::string>()), 0, -1);
    }
    e.batch = std::make_unique<app::ProjectBatch>(projects, dir, e.format, false);
    e.batch->Plan();
    std::string refusal = e.batch->Refusal(UnknownRoom);
    if (refusal.empty() && quotaFree >= 0) {
        size_t outputs = 0;
        for (const app::BatchProject& p : e.batch->Projects()) {
            if (p.state == app::BatchState::NotRun) outputs += p.outputs.size();
        }
        refusal = app::QuotaRefusal(static_cast<uint64_t>(quotaFree),
                                    static_cast<int64_t>(e.batch->TotalBytes()), outputs);
    }
    return HandJson({{"refusal", refusal}, {"projects", BatchProjectsJson(e.batch->Projects())}});
}

// The next project of the batch to convert: {"index", "outputs": its table paths},
// index -1 when none is left (or the batch was stopped).
EMSCRIPTEN_KEEPALIVE const char* proj2wav_batch_next() {
    Engine& e = State();
    e.batchIndex = e.batch ? e.batch->Next() : app::ProjectBatch::kNone;
    if (e.batchIndex == app::ProjectBatch::kNone) return HandJson({{"index", -1}});
    return HandJson({{"index", e.batchIndex},
                     {"outputs", e.batch->Projects()[e.batchIndex].outputs}});
}

// Starts the project proj2wav_batch_next gave, its outputs added by the page:
// `made` non-zero when the page made every one of them where there was none.
// Returns "" when it runs, else why it cannot (the project then counts as failed).
EMSCRIPTEN_KEEPALIVE const char* proj2wav_batch_start(int32_t made) {
    Engine& e = State();
    if (!e.batch || e.batchIndex == app::ProjectBatch::kNone) return Hand(app::kFailed);
    if (!e.batch->Start(e.batchIndex, e.session, UnknownRoom, made != 0)) {
        return Hand(e.batch->Projects()[e.batchIndex].reason);
    }
    e.runFormat = e.batch->Format();
    e.outputs = e.batch->Projects()[e.batchIndex].outputs;
    if (e.session.Begin()) return Hand("");
    e.batch->Finish(e.batchIndex, e.session, e.session.End(false));
    return Hand(app::kFailed);
}

// Where the batch stands: {"overall", "current" (percent), "text" (the progress
// line)}.
EMSCRIPTEN_KEEPALIVE const char* proj2wav_batch_progress(double elapsedSeconds) {
    Engine& e = State();
    if (!e.batch) return HandJson({{"overall", 0}, {"current", 0}, {"text", ""}});
    e.batch->SetCurrentProgress(e.session.Progress());
    const app::BatchProgress now = e.batch->Now();
    return HandJson({{"overall", now.overall},
                     {"current", now.current},
                     {"text", app::BatchProgressText(now, elapsedSeconds)}});
}

// Ends the run of the present project, as proj2wav_end does a single one's. The
// page then closes its outputs and says how that went (proj2wav_batch_finish).
EMSCRIPTEN_KEEPALIVE void proj2wav_batch_end(int32_t failed, const char* failure) {
    Engine& e = State();
    e.batchOutcome = e.session.End(failed == 0);
    e.batchFailure = failed != 0 && failure != nullptr ? failure : "";
}

// Records the present project's outcome: failed when its outputs could not be
// closed (`failed`, `failure` saying why). Returns the project's state.
EMSCRIPTEN_KEEPALIVE const char* proj2wav_batch_finish(int32_t failed, const char* failure) {
    Engine& e = State();
    if (!e.batch || e.batchIndex == app::ProjectBatch::kNone) return Hand("");
    if (failed != 0) {
        e.batchOutcome.end = RunOutcome::End::Failed;
        if (e.batchFailure.empty() && failure != nullptr) e.batchFailure = failure;
    }
    e.batch->Finish(e.batchIndex, e.session, e.batchOutcome, e.batchFailure);
    return Hand(app::BatchStateText(e.batch->Projects()[e.batchIndex].state));
}

// The report at the end: the projects with their rows, and the percent of the
// batch's bytes written.
EMSCRIPTEN_KEEPALIVE const char* proj2wav_batch_report() {
    Engine& e = State();
    if (!e.batch) return HandJson({{"projects", Json::array()}});
    return HandJson({{"projects", BatchProjectsJson(e.batch->Projects())},
                     {"overall", e.batch->Now().overall}});
}

}  // extern "C"
