#include "app/EditListCsv.h"

#include "app/AppDecisions.h"
#include "engine/EDLWriter.h"

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

std::string EditListCsv(const EDLWriter& writer) {
    std::string csv = "file,start_sample,end_sample,file_offset,start,end,fade_in,fade_out\r\n";
    if (writer.edl == nullptr) return csv;
    const auto time = [&](uint64_t frame) { return ShortTimeText(frame, writer.sampleRate); };
    for (const AudioEvent* e = writer.edl->firstEvent; e != nullptr; e = e->next) {
        const std::string name = e->file != nullptr ? LastPathComponent(e->file->Path()) : "";
        csv += CsvField(name) + "," + std::to_string(e->startSample) + "," +
               std::to_string(e->endSample) + "," + std::to_string(e->fileOffset) + "," +
               time(e->startSample) + "," + time(e->endSample) + "," +
               (e->FadesIn() ? "yes" : "no") + "," + (e->FadesOut() ? "yes" : "no") + "\r\n";
    }
    return csv;
}

}  // namespace app
