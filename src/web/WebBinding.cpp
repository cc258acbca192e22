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
#include <iterator>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "app/AppDecisions.h"
#include "app/OutputSafety.h"
#include "app/ProjectReport.h"
#include "app/ProjectView.h"
#include "app/ConversionFlow.h"
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
    OutputFormat format;  // the page's choices
    OutputFormat runFormat;            // the format of the run, once it began
    std::vector<std::string> outputs;  // the table paths of the run's outputs
    std::string returned;              // the string handed out last
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

// Settings from the page (see ApplySettings); returns the report, whose "status"
// is the status line for them.
EMSCRIPTEN_KEEPALIVE const char* proj2wav_set_options(const char* settings) {
    ApplySettings(State(), settings != nullptr ? settings : "");
    return Hand(ReportText(State()));
}

// Loads the picked project: `name` is its folder's name, under which the page
// handed over its files; `audioFolder` is non-zero when the page saw its "Audio
// Files" folder (which may hold no file). Returns the report (JSON).
EMSCRIPTEN_KEEPALIVE const char* proj2wav_load(const char* name, int32_t audioFolder) {
    Engine& e = State();
    e.projectDir = name != nullptr ? name : "";
    if (!e.projectDir.empty()) {
        webdisk::AddFolder(e.projectDir);
        if (audioFolder != 0) webdisk::AddFolder(AudioFilesDir(e.projectDir));
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
}

// Ends the run: the output is finished with a header that matches what it holds.
// `failed` is non-zero when the page's own writing failed (a sink that could not
// take a batch), `failure` then saying why. Returns {"ok", "stopped", "text",
// "details", "frames", "total"}: the sheet's line, and under it what the window
// says of the outcome and of takes that could not be read.
EMSCRIPTEN_KEEPALIVE const char* proj2wav_end(int32_t failed, const char* failure) {
    Engine& e = State();
    const RunOutcome outcome = e.session.End(failed == 0);
    // The page's people know an output by its name, the table path's last part.
    std::vector<std::string> names;
    for (const std::string& path : e.outputs) names.push_back(paths::LastComponent(path));
    const app::OutcomeText words = app::OutcomeWords(
        e.session, e.runFormat, outcome, names, failed != 0 && failure != nullptr ? failure : "");
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

}  // extern "C"
