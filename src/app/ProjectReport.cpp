#include "app/ProjectReport.h"

#include <algorithm>
#include <nlohmann/json.hpp>

#include "app/AppDecisions.h"
#include "engine/ProjectSession.h"
#include "platform/Paths.h"

namespace app {

namespace {

// A value, or JSON null when there is none.
template <typename T>
nlohmann::ordered_json ValueOrNull(bool present, const T& value) {
    return present ? nlohmann::ordered_json(value) : nlohmann::ordered_json(nullptr);
}

}  // namespace

std::string StatusLineOf(const ProjectSession& session, const OutputFormat& format) {
    ProjectStatus status;
    status.hasTimes = status.hasSize = session.HasEdl();
    if (status.hasTimes) {
        status.start = session.TimeOf(session.First());
        status.end = session.TimeOf(session.Last());
        status.bytes = static_cast<int64_t>(session.Plan(format).audioBytes);
    }
    status.sampleRate = session.SampleRate();
    status.ratesDiffer = session.RatesDiffer();
    return StatusText(format, status);
}

ProjectReport BuildProjectReport(const ProjectSession& session, const OutputFormat& format) {
    ProjectReport report;
    report.project = session.Dir();
    report.valid = session.Loaded();
    report.problem = report.valid ? std::string() : NotAProjectReason(session);
    report.status = report.valid ? StatusLineOf(session, format) : kNotValidProject;
    report.bits = format.bits;
    report.layout = LayoutName(format.layout);
    report.anyTake = !session.Takes().empty();
    report.sampleRate = session.SampleRate();
    report.ratesDiffer = session.RatesDiffer();
    if (session.HasEdl()) {
        report.hasEdl = true;
        report.first = session.First();
        report.last = session.Last();
        report.bytes = static_cast<int64_t>(session.Plan(format).audioBytes);
    }

    report.entries = BuildTakeRows(session);

    const uint32_t rate = session.SampleRate();
    for (const AudioEvent* event = session.FirstEvent(); event != nullptr; event = event->next) {
        report.events.push_back(
            {event->file != nullptr ? paths::LastComponent(event->file->Path()) : "",
             event->startSample, event->endSample, event->fileOffset, event->FadesIn(),
             event->FadesOut(), ShortTimeText(event->startSample, rate),
             ShortTimeText(event->endSample, rate)});
    }
    return report;
}

namespace {

nlohmann::ordered_json ReportDocument(const ProjectReport& report) {
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
    return doc;
}

}  // namespace

// File names need not be UTF-8; such bytes become U+FFFD rather than an error.
std::string ReportJson(const ProjectReport& report) {
    return ReportDocument(report).dump(2, ' ', false,
                                       nlohmann::ordered_json::error_handler_t::replace);
}

std::string ReportsJson(const std::vector<ProjectReport>& reports) {
    nlohmann::ordered_json doc = {{"projects", nlohmann::ordered_json::array()}};
    for (const ProjectReport& report : reports) doc["projects"].push_back(ReportDocument(report));
    return doc.dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
}

std::string EntriesSummary(const std::vector<TakeRow>& entries) {
    const auto accepted = std::count_if(entries.begin(), entries.end(),
                                        [](const TakeRow& row) { return row.accepted; });
    return "Audio Files: " + std::to_string(entries.size()) + " entries, " +
           std::to_string(accepted) + " accepted";
}

}  // namespace app
