#include "app/ProjectReport.h"

#include <cstdio>
#include <ctime>
#include <map>
#include <nlohmann/json.hpp>

#include "app/AppDecisions.h"
#include "app/TakeProblemText.h"
#include "engine/EDLWriter.h"

namespace app {

namespace {

std::string OriginationText(const kxFile& take) {
    std::tm t{};
    take.GetCreateTime(t);  // the fields hold the calendar values as written in 'bext'
    char text[64];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", t.tm_year, t.tm_mon,
                  t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec);
    return text;
}

ReportEntry EntryOf(const EDLWriter& writer, const ProjectEntry& entry, const kxFile* take) {
    ReportEntry e;
    e.name = entry.name;
    e.accepted = take != nullptr;
    if (take == nullptr) {
        e.reason = TakeProblemText(entry.problem, entry.found);
        return e;
    }
    e.channels = take->Channels();
    e.bits = take->BitsPerSample();
    e.sampleRate = take->SampleRate();
    e.startSample = take->StartLocation();
    e.startText = ShortTimeText(writer, e.startSample);
    e.frames = take->FrameCount();
    e.origination = OriginationText(*take);
    return e;
}

// A value, or JSON null when there is none.
template <typename T>
nlohmann::ordered_json ValueOrNull(bool present, const T& value) {
    return present ? nlohmann::ordered_json(value) : nlohmann::ordered_json(nullptr);
}

}  // namespace

std::string ShortTimeText(const EDLWriter& writer, uint64_t frames) {
    timeParts parts;
    writer.GetTime(frames, parts);
    std::string text = formatTime(parts);
    const size_t first = text.find_first_not_of(' ');
    return first == std::string::npos ? text : text.substr(first);
}

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

    // The accepted takes sit in the project list in origination order; the entries
    // keep listing order. A take's path is "<project>/Audio Files/<entry name>".
    std::map<std::string, const kxFile*> takesByName;
    for (const kxListItem* item = writer.projectFiles.head; item != nullptr; item = item->next) {
        const auto* take = static_cast<const kxFile*>(item);
        takesByName[LastPathComponent(take->Path())] = take;
    }
    for (const ProjectEntry& entry : writer.entries) {
        const auto found = takesByName.find(entry.name);
        const kxFile* take = entry.accepted && found != takesByName.end() ? found->second : nullptr;
        report.entries.push_back(EntryOf(writer, entry, take));
    }

    for (const AudioEvent* event = writer.edl != nullptr ? writer.edl->firstEvent : nullptr;
         event != nullptr; event = event->next) {
        report.events.push_back(
            {event->file != nullptr ? LastPathComponent(event->file->Path()) : "",
             event->startSample, event->endSample, event->fileOffset, event->FadesIn(),
             event->FadesOut(), ShortTimeText(writer, event->startSample),
             ShortTimeText(writer, event->endSample)});
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
    for (const ReportEntry& e : report.entries) {
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

}  // namespace app
