#include "cli/InfoCommand.h"

#include <algorithm>
#include <cstdio>
#include <map>
#include <nlohmann/json.hpp>
#include <vector>

#include "app/AppDecisions.h"
#include "app/EditListCsv.h"
#include "app/ProjectView.h"
#include "app/TakeProblemText.h"
#include "audiofile/kxDiskMgr.h"

namespace cli {

namespace {

// One entry of "Audio Files", with its take when it was accepted.
struct EntryFacts {
    const ProjectEntry* entry = nullptr;
    const kxFile* take = nullptr;  // null when refused
};

// One event of the edit list as a conversion will play it.
struct EventFacts {
    std::string file;  // the entry name of its take
    uint64_t start = 0;
    uint64_t end = 0;
    uint64_t offset = 0;
    bool fadeIn = false;
    bool fadeOut = false;
};

struct ProjectFacts {
    bool valid = false;
    std::string problem;  // why it is not a valid project
    std::string status;   // the window's status line
    bool hasEdl = false;
    uint64_t first = 0;
    uint64_t last = 0;
    int64_t bytes = 0;
    std::vector<EntryFacts> entries;
    std::vector<EventFacts> events;
};

std::string FileName(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string StatusLine(const EDLWriter& writer, const OutputFormat& format, bool valid) {
    if (!valid) return app::kNotValidProject;
    app::ProjectStatus status;
    status.hasTimes = writer.ProjectTimes(status.start, status.end) != 0;
    status.hasSize = writer.ProjectSize(status.bytes) != 0;
    status.sampleRate = writer.sampleRate;
    status.ratesDiffer = writer.ratesDiffer;
    return app::StatusText(format.WidthColumn(), format.ChannelColumn(), status);
}

ProjectFacts GatherFacts(const EDLWriter& writer, const InfoOptions& options, bool valid) {
    ProjectFacts facts;
    facts.valid = valid;
    facts.status = StatusLine(writer, options.format, valid);
    if (writer.edl != nullptr) {
        facts.hasEdl = true;
        facts.first = writer.edl->FirstSampleInEDL();
        facts.last = writer.edl->LastSampleInEDL();
        writer.ProjectSize(facts.bytes);
    }

    // The accepted takes sit in the project list in origination order; the entries
    // keep listing order. A take's path is "<project>/Audio Files/<entry name>".
    std::map<std::string, const kxFile*> takesByName;
    for (const kxListItem* item = writer.projectFiles.head; item != nullptr; item = item->next) {
        const auto* take = static_cast<const kxFile*>(item);
        takesByName[FileName(take->Path())] = take;
    }
    for (const ProjectEntry& entry : writer.entries) {
        const auto found = takesByName.find(entry.name);
        const kxFile* take = entry.accepted && found != takesByName.end() ? found->second : nullptr;
        facts.entries.push_back({&entry, take});
    }

    for (const AudioEvent* event = writer.edl != nullptr ? writer.edl->firstEvent : nullptr;
         event != nullptr; event = event->next) {
        facts.events.push_back({event->file != nullptr ? FileName(event->file->Path()) : "",
                                event->startSample, event->endSample, event->fileOffset,
                                event->FadesIn(), event->FadesOut()});
    }
    return facts;
}

const char* LayoutWords(uint16_t channels) {
    return channels == 2 ? "stereo" : "mono";
}

const char* FadeWords(const EventFacts& event) {
    if (event.fadeIn && event.fadeOut) return "in+out";
    if (event.fadeIn) return "in";
    if (event.fadeOut) return "out";
    return "-";
}

void PrintText(const EDLWriter& writer, const InfoOptions& options, const ProjectFacts& facts) {
    std::printf("Project: %s\n", options.project.c_str());
    std::printf("Status:  %s\n", facts.status.c_str());

    size_t accepted = 0;
    size_t nameWidth = 4;
    for (const EntryFacts& e : facts.entries) {
        if (e.take != nullptr) ++accepted;
        nameWidth = std::max(nameWidth, e.entry->name.size());
    }
    nameWidth = std::min<size_t>(nameWidth, 40);
    std::printf("\nAudio Files: %zu entries, %zu accepted\n", facts.entries.size(), accepted);
    for (const EntryFacts& e : facts.entries) {
        const char* name = e.entry->name.c_str();
        const int width = static_cast<int>(nameWidth);
        if (e.take == nullptr) {
            std::printf("  %-*s  refused   %s\n", width, name,
                        app::TakeProblemText(e.entry->problem, e.entry->found).c_str());
            continue;
        }
        const kxFile& t = *e.take;
        std::printf(
            "  %-*s  accepted  %s %u-bit %u Hz, starts at %s (sample %llu), %llu frames, "
            "recorded %s\n",
            width, name, LayoutWords(t.Channels()), t.BitsPerSample(), t.SampleRate(),
            TimeText(writer, t.StartLocation()).c_str(),
            static_cast<unsigned long long>(t.StartLocation()),
            static_cast<unsigned long long>(t.FrameCount()), app::OriginationText(t).c_str());
    }

    std::printf("\nEdit list: %zu events\n", facts.events.size());
    if (facts.events.empty()) return;
    std::printf("  %11s  %11s  %13s  %13s  %12s  %-6s  %s\n", "start", "end", "start sample",
                "end sample", "file offset", "fades", "file");
    for (const EventFacts& e : facts.events) {
        std::printf("  %11s  %11s  %13llu  %13llu  %12llu  %-6s  %s\n",
                    TimeText(writer, e.start).c_str(), TimeText(writer, e.end).c_str(),
                    static_cast<unsigned long long>(e.start),
                    static_cast<unsigned long long>(e.end),
                    static_cast<unsigned long long>(e.offset), FadeWords(e), e.file.c_str());
    }
}

// A value, or JSON null when there is none.
template <typename T>
nlohmann::ordered_json ValueOrNull(bool present, const T& value) {
    return present ? nlohmann::ordered_json(value) : nlohmann::ordered_json(nullptr);
}

void PrintJson(const EDLWriter& writer, const InfoOptions& options, const ProjectFacts& facts) {
    const bool anyTake = writer.projectFiles.GetCount() > 0;
    nlohmann::ordered_json doc = {
        {"project", options.project},
        {"status", facts.status},
        {"valid", facts.valid},
        {"problem", ValueOrNull(!facts.valid, facts.problem)},
        {"bits", options.format.bits},
        {"layout", options.format.layout},
        {"sample_rate", ValueOrNull(anyTake, writer.sampleRate)},
        {"rates_differ", writer.ratesDiffer},
        {"first_sample", ValueOrNull(facts.hasEdl, facts.first)},
        {"last_sample", ValueOrNull(facts.hasEdl, facts.last)},
        {"output_bytes", ValueOrNull(facts.hasEdl, facts.bytes)},
        {"entries", nlohmann::ordered_json::array()},
        {"events", nlohmann::ordered_json::array()},
    };
    for (const EntryFacts& e : facts.entries) {
        const kxFile* t = e.take;
        const bool ok = t != nullptr;
        doc["entries"].push_back({
            {"name", e.entry->name},
            {"accepted", ok},
            {"reason", ValueOrNull(!ok, app::TakeProblemText(e.entry->problem, e.entry->found))},
            {"channels", ValueOrNull(ok, ok ? t->Channels() : 0)},
            {"bits", ValueOrNull(ok, ok ? t->BitsPerSample() : 0)},
            {"sample_rate", ValueOrNull(ok, ok ? t->SampleRate() : 0)},
            {"start_sample", ValueOrNull(ok, ok ? t->StartLocation() : 0)},
            {"frames", ValueOrNull(ok, ok ? t->FrameCount() : 0)},
            {"origination", ValueOrNull(ok, ok ? app::OriginationText(*t) : std::string())},
        });
    }
    for (const EventFacts& e : facts.events) {
        doc["events"].push_back({
            {"file", e.file},
            {"start_sample", e.start},
            {"end_sample", e.end},
            {"file_offset", e.offset},
            {"start", TimeText(writer, e.start)},
            {"end", TimeText(writer, e.end)},
            {"fade_in", e.fadeIn},
            {"fade_out", e.fadeOut},
        });
    }
    // File names need not be UTF-8; such bytes become U+FFFD rather than an error.
    const std::string text =
        doc.dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
    std::printf("%s\n", text.c_str());
}

}  // namespace

int RunInfo(const InfoOptions& options) {
    if (kxDiskMgr::Identify(options.project).regular) return RunFileInfo(options);
    EDLWriter writer;
    std::string why;
    const bool valid = LoadProjectDir(writer, options.project, options.format, why);
    ProjectFacts facts = GatherFacts(writer, options, valid);
    facts.problem = why;
    if (options.csv) {
        const std::string csv = app::EditListCsv(writer);
        std::fwrite(csv.data(), 1, csv.size(), stdout);
    } else if (options.json) {
        PrintJson(writer, options, facts);
    } else {
        PrintText(writer, options, facts);
    }
    if (valid) return kExitDone;
    PrintError(Quoted(options.project) + ": " + app::kNotValidProject + " (" + why + ")");
    return kExitNotProject;
}

}  // namespace cli
