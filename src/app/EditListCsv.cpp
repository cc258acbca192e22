#include "app/EditListCsv.h"

#include "app/AppDecisions.h"
#include "engine/ProjectSession.h"
#include "platform/Paths.h"

namespace app {

namespace {

// One field, quoted where RFC 4180 asks for it.
std::string CsvField(const std::string& text) {
    if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
    std::string quoted = "\"";
    for (const char c : text) {
        if (c == '"') quoted += '"';
        quoted += c;
    }
    return quoted + "\"";
}

}  // namespace

std::string EditListCsv(const ProjectSession& session) {
    std::string csv = "file,start_sample,end_sample,file_offset,start,end,fade_in,fade_out\r\n";
    const auto time = [&](uint64_t frame) { return ShortTimeText(frame, session.SampleRate()); };
    for (const AudioEvent* e = session.FirstEvent(); e != nullptr; e = e->next) {
        const std::string name = e->file != nullptr ? paths::LastComponent(e->file->Path()) : "";
        csv += CsvField(name) + "," + std::to_string(e->startSample) + "," +
               std::to_string(e->endSample) + "," + std::to_string(e->fileOffset) + "," +
               time(e->startSample) + "," + time(e->endSample) + "," +
               (e->FadesIn() ? "yes" : "no") + "," + (e->FadesOut() ? "yes" : "no") + "\r\n";
    }
    return csv;
}

}  // namespace app
