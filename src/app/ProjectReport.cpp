#include "app/ProjectReport.h"

#include <algorithm>
#include <nlohmann/json.hpp>

#include "app/AppDecisions.h"
#include "engine/EDLWriter.h"

namespace app {

namespace {

// A value, or JSON null when there is none.
template <typename T>
nlohmann::ordered_json ValueOrNull(bool present, const T& value) {
    return present ? nlohmann::ordered_json(value) : nlohmann::ordered_json(nullptr);
}

}  // namespace

std::string StatusLineOf(const EDLWriter& writer, int widthColumn, int channelColumn) {
    ProjectStatus status;
    status.hasTimes = writer.ProjectTimes(status.start, status.end) != 0;
    status.hasSize = writer.ProjectSize(status.bytes) != 0;
    status.sampleRate = writer.sampleRate;
    status.ratesDiffer = writer.ratesDiffer;
    return StatusText(widthColumn, channelColumn, status);
}

ProjectReport BuildProjectReport(const EDLWriter& writer, const std::string& project,
                                 int widthColumn, int channelColumn, bool valid,
                                 const std::string& problem) {
    ProjectReport report;
    report.project = project;
    report.valid = valid;
    report.problem = valid ? std::string() : problem;
    report.status = valid ? StatusLineOf(writer, widthColumn, channelColumn) : kNotValidProject;
    report.bits = BitCount(widthColumn);
    report.layout = LayoutName(channelColumn);
    report.anyTake = writer.projectFiles.GetCount() > 0;
    report.sampleRate = writer.sampleRate;
    report.ratesDiffer = writer.ratesDiffer;
    if (writer.edl != nullptr) {
        report.hasEdl = true;
        report.first = writer.edl->FirstSampleInEDL();
        report.last = writer.edl->LastSampleInEDL();
        writer.ProjectSize(report.bytes);
    }

    report.entries = BuildTakeRows(writer);

    for (const AudioEvent* event = writer.edl != nullptr ? writer.edl->firstEvent : nullptr;
         event != nullptr; event = event->next) {
        report.events.push_back(
            {event->file != nullptr ? LastPathComponent(event->file->Path()) : "",
             event->startSample, event->endSample, event->fileOffset, event->FadesIn(),
             event->FadesOut(), ShortTimeText(event->startSample, writer.sampleRate),
             ShortTimeText(event->endSample, writer.sampleRate)});
    }
    return report;
}

std::string ReportJson(const ProjectReport& report) {
    nlohmann::ordered_json doc = {
        {"project", report.project},
        {"status", report.status},
        {"valid", report.valid},
        {"problem", ValueOrNull(!report.valid, report.problem)},
        {"bits", report.bits},
        {"layout", report.layout},
        {"sample_rate", ValueOrNull(report.anyTake, report.sampleRate)},
        {"rates_differ", report.ratesDiffer},
        {"first_sample", ValueOrNull(report.hasEdl, report.first)},
        {"last_sample", ValueOrNull(report.hasEdl, report.last)},
        {"output_bytes", ValueOrNull(report.hasEdl, report.bytes)},
        {"entries", nlohmann::ordered_json::array()},
        {"events", nlohmann::ordered_json::array()},
    };
    for (const TakeRow& e : report.entries) {
        const bool ok = e.accepted;
        doc["entries"].push_back({
            {"name", e.name},
            {"accepted", ok},
            {"reason", ValueOrNull(!ok, e.reason)},
            {"channels", ValueOrNull(ok, e.channels)},
            {"bits", ValueOrNull(ok, e.bits)},
            {"sample_rate", ValueOrNull(ok, e.sampleRate)},
            {"start_sample", ValueOrNull(ok, e.startSample)},
            {"frames", ValueOrNull(ok, e.frames)},
            {"origination", ValueOrNull(ok, e.origination)},
            {"declared_frames", ValueOrNull(ok, e.declaredFrames)},
            {"truncated", ValueOrNull(ok, e.truncated())},
        });
    }
    for (const ReportEvent& e : report.events) {
        doc["events"].push_back({
            {"file", e.file},
            {"start_sample", e.start},
            {"end_sample", e.end},
            {"file_offset", e.offset},
            {"start", e.startText},
            {"end", e.endText},
            {"fade_in", e.fadeIn},
            {"fade_out", e.fadeOut},
        });
    }
    // File names need not be UTF-8; such bytes become U+FFFD rather than an error.
    return doc.dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
}

std::string EntriesSummary(const std::vector<TakeRow>& entries) {
    const auto accepted = std::count_if(entries.begin(), entries.end(),
                                        [](const TakeRow& row) { return row.accepted; });
    return "Audio Files: " + std::to_string(entries.size()) + " entries, " +
           std::to_string(accepted) + " accepted";
}

}  // namespace app
