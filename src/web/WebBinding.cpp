// The page's engine: one EDLWriter in the page's worker, and plain C functions over
// it that the worker calls (worker.js). The worker drives a conversion block by
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
#include "app/RunOutcome.h"
#include "audiofile/kxDiskMgr.h"
#include "engine/EDLWriter.h"
#include "web/WebDisk.h"

namespace {

using Json = nlohmann::ordered_json;

// The state of the page's engine, for the life of the worker.
struct Engine {
    EDLWriter writer;
    // The picked project's table path: its folder's own name ("Gig"), so that the
    // reasons and names the page shows read as the command line's run beside it.
    std::string projectDir;
    bool loaded = false;  // the last load found a valid project
    std::string problem;  // why it did not
    std::string status;   // the status line as the window would show it now
    int widthColumn = 0;
    int channelColumn = 0;
    bool markers = false;              // outputs carry markers at takes
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
    app::ProjectReport report = app::BuildProjectReport(e.writer, e.projectDir, e.widthColumn,
                                                        e.channelColumn, e.loaded, e.problem);
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

// Hands the page's choices to the driver (a load resets them there).
void ApplyToWriter(Engine& e) {
    e.writer.SetParams(static_cast<int8_t>(e.widthColumn), static_cast<int8_t>(e.channelColumn));
    e.writer.SetMarkers(e.markers);
}

// What the page has chosen, mapped onto the driver's parameters: the one place
// that knows the page's settings. `settings` is a JSON object such as
// {"bits": 24, "channels": "dual", "markers": true}; a field left out keeps its
// value.
void ApplySettings(Engine& e, const std::string& settings) {
    const Json chosen = Json::parse(settings, nullptr, false);
    if (!chosen.is_object()) return;
    if (const auto bits = chosen.find("bits"); bits != chosen.end() && bits->is_number()) {
        e.widthColumn = bits->get<int>() == 24 ? 1 : 0;
    }
    if (const auto layout = chosen.find("channels");
        layout != chosen.end() && layout->is_string()) {
        e.channelColumn = app::ChannelColumnOf(layout->get<std::string>());
    }
    if (const auto markers = chosen.find("markers");
        markers != chosen.end() && markers->is_boolean()) {
        e.markers = markers->get<bool>();
    }
    ApplyToWriter(e);
    e.status = app::StatusLineOf(e.writer, e.widthColumn, e.channelColumn);
}

}  // namespace

extern "C" {

// The page's fixed words: the window's texts and the names of the choices.
EMSCRIPTEN_KEEPALIVE const char* proj2wav_texts() {
    Json names = Json::array();
    Json layouts = Json::array();
    for (int column = 0; column < static_cast<int>(std::size(app::kLayoutNames)); ++column) {
        names.push_back(app::ChannelName(column));
        layouts.push_back(app::LayoutName(column));
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
        {"widths", {app::WidthName(0), app::WidthName(1)}},
        {"channelNames", names},
        {"markersOption", app::kMarkersOption},
        {"markersHelp", app::kMarkersHelp},
        {"layouts", layouts},
        {"alertButton", app::kAlertButton},
        {"saveLeftTitle", app::kSaveLeftTitle},
        {"saveRightTitle", app::kSaveRightTitle},
        {"status", app::StatusLineOf(State().writer, State().widthColumn, State().channelColumn)},
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
        if (audioFolder != 0) webdisk::AddFolder(app::AudioFilesDir(e.projectDir));
    }
    e.writer.Init();
    ApplyToWriter(e);
    e.loaded = e.writer.LoadProject(e.projectDir.c_str()) != 0;
    e.problem = e.loaded ? std::string()
                         : app::NotAProjectReason(e.projectDir, e.writer.entries.size(),
                                                  e.writer.ratesDiffer);
    e.status = e.loaded ? app::StatusLineOf(e.writer, e.widthColumn, e.channelColumn)
                        : app::kNotValidProject;
    return Hand(ReportText(e));
}

// The names proposed for the outputs: {"single", "left", "right"}, each with
// ".wav"; the right one follows `leftName`, the left file's chosen name (or the
// proposed one when empty).
EMSCRIPTEN_KEEPALIVE const char* proj2wav_proposed_names(const char* leftName) {
    const std::string& project = State().projectDir;
    const std::string left = app::ProposedLeftName(project) + ".wav";
    const std::string chosenLeft = leftName != nullptr && *leftName != 0 ? leftName : left;
    return HandJson({{"single", app::ProposedSingleName(project) + ".wav"},
                     {"left", left},
                     {"right", app::ProposedRightName(chosenLeft, project) + ".wav"}});
}

// The alert for an output the page refuses: `problem` is an app::OutputProblem
// (1: one of the project's takes, 2: inside "Audio Files", 3: the other output of
// dual mono), `name` the file's name.
EMSCRIPTEN_KEEPALIVE const char* proj2wav_output_problem_text(int32_t problem, const char* name) {
    return Hand(app::OutputProblemText(static_cast<app::OutputProblem>(problem),
                                       name != nullptr ? name : ""));
}

// The refusal when the browser lets the page store only `quotaFree` more bytes;
// empty when there is room for the output at the present settings.
EMSCRIPTEN_KEEPALIVE const char* proj2wav_quota_refusal(double quotaFree) {
    int64_t bytes = 0;
    State().writer.ProjectSize(bytes);
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
    ApplyToWriter(e);
    app::NameOutputs(e.writer, app::ProjectName(e.projectDir));
    errno = 0;
    const int32_t created = dual ? e.writer.NewFiles(left, right) : e.writer.NewFile(left);
    if (created == 0) {
        return Hand(app::CannotCreateText(app::LastPathComponent(e.outputs[0]), errno));
    }
    if (!e.writer.BeginRun()) {
        e.writer.EndRun(false);
        return Hand(app::kFailed);
    }
    return Hand("");
}

// Renders and writes up to `blocks` blocks: 1 while there is more to do, 0 once
// the run is done (or stopped), -1 when a block could not be written.
EMSCRIPTEN_KEEPALIVE int32_t proj2wav_step(int32_t blocks) {
    EDLWriter& writer = State().writer;
    for (int32_t i = 0; i < blocks && !writer.RunDone(); ++i) {
        if (!writer.StepRun()) return -1;
    }
    return writer.RunDone() ? 0 : 1;
}

// Percent of the run done, and the figures the page shows beside the bar.
EMSCRIPTEN_KEEPALIVE double proj2wav_progress() {
    return State().writer.RunProgress();
}

EMSCRIPTEN_KEEPALIVE const char* proj2wav_progress_text(double percent, double elapsedSeconds) {
    int64_t bytes = 0;
    State().writer.ProjectSize(bytes);
    return Hand(app::ProgressFigures(percent, elapsedSeconds, static_cast<double>(bytes)));
}

// The user's Cancel: the run stops before its next block.
EMSCRIPTEN_KEEPALIVE void proj2wav_stop() {
    State().writer.stopRequested = true;
}

// Ends the run: the output is finished with a header that matches what it holds.
// `failed` is non-zero when the page's own writing failed (a sink that could not
// take a batch), `failure` then saying why. Returns {"ok", "stopped", "text",
// "details", "frames", "total"}: the sheet's line, and under it what the window
// says of the outcome and of takes that could not be read.
EMSCRIPTEN_KEEPALIVE const char* proj2wav_end(int32_t failed, const char* failure) {
    Engine& e = State();
    EDLWriter& writer = e.writer;
    const bool stopped = writer.stopRequested.load();
    const int error = writer.lastWriteError;
    const bool ok = writer.EndRun(failed == 0) != 0;
    const uint64_t frames = app::WrittenFrames(writer);
    std::vector<std::string> names;
    for (const std::string& path : e.outputs) names.push_back(app::LastPathComponent(path));
    std::string details;
    if (!ok) {
        details = failure != nullptr && *failure != 0
                      ? app::FailedWriteText(writer, names, std::string(failure), frames)
                      : app::FailedWriteText(writer, names, error, frames);
    } else if (stopped) {
        details = app::KeptText(writer, names, frames);
    } else {
        for (size_t i = 0; i < e.outputs.size(); ++i) {
            const int side = e.outputs.size() > 1 ? static_cast<int>(i) : -1;
            const uint64_t bytes = kxDiskMgr::Identify(e.outputs[i]).size;
            details += (details.empty() ? "" : "\n") + app::OutputSummary(writer, e.widthColumn,
                                                                          e.channelColumn, names[i],
                                                                          side, frames, bytes);
        }
    }
    for (const std::string& more :
         {app::MarkersLeftOutNote(writer, e.markers), app::UnreadableTakesText(writer)}) {
        if (!more.empty()) details += (details.empty() ? "" : "\n") + more;
    }
    return HandJson({{"ok", ok},
                     {"stopped", stopped},
                     {"text", !ok       ? app::kFailed
                              : stopped ? app::kCancelled
                                        : app::kComplete},
                     {"details", details},
                     {"frames", frames},
                     {"total", app::ProjectFrames(writer)}});
}

}  // extern "C"
