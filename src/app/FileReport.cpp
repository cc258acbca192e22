#include "app/FileReport.h"

#include <cstdio>
#include <cstring>
#include <nlohmann/json.hpp>

#include "app/AppDecisions.h"
#include "app/WaveRepairText.h"

namespace app {

namespace {

// A fixed text field up to its first zero byte.
template <std::size_t N>
std::string FieldText(const char (&field)[N]) {
    return std::string(field, strnlen(field, N));
}

// "2026-03-14 10:00:00" as written; empty when the file leaves both fields empty.
std::string Origination(const BextChunkData& bext) {
    const std::string date = FieldText(bext.originationDate);
    const std::string time = FieldText(bext.originationTime);
    return date.empty() || time.empty() ? date + time : date + " " + time;
}

std::string IdentityHex(const BaseIDChunk& identity) {
    std::string hex;
    char digits[3];
    const auto* payload = reinterpret_cast<const uint8_t*>(&identity) + sizeof identity.header;
    for (uint32_t i = 0; i < kIdentityDataSize; ++i) {
        std::snprintf(digits, sizeof digits, "%02x", payload[i]);
        hex += digits;
    }
    return hex;
}

std::string Time(uint64_t frames, uint32_t rate) {
    return ShortTimeText(frames, rate);
}

std::string EncodingText(uint16_t encoding) {
    if (encoding == kFormatPcm) return "PCM";
    if (encoding == kFormatFloat) return "float";
    char text[24];
    std::snprintf(text, sizeof text, "format 0x%04X", encoding);
    return text;
}

std::string ChannelsText(uint16_t channels) {
    if (channels == 1) return "mono";
    if (channels == 2) return "stereo";
    return std::to_string(channels) + " channels";
}

}  // namespace

std::string FileReportText(const std::string& path, const WaveDescription& d) {
    const WaveFormatChunkData& f = d.format;
    std::string text = "File:           " + path + "\n";
    text += "Format:         " + EncodingText(d.encoding) + ", " + ChannelsText(f.channels) + ", " +
            std::to_string(f.bitsPerSample) + "-bit, " + std::to_string(f.sampleRate) + " Hz\n";
    text += "Length:         " + Time(d.frames, f.sampleRate) + " (" + std::to_string(d.frames) +
            " frames)\n";
    if (const std::string unfinished = UnfinishedText(path, d.repair); !unfinished.empty()) {
        text += "Unfinished:     " + unfinished + "\n";
    }
    if (d.hasBext) {
        const uint64_t start = d.bext.GetStartLocation();
        text += "Time reference: " + Time(start, f.sampleRate) + " (sample " +
                std::to_string(start) + ")\n";
        text += "Origination:    " + Origination(d.bext) + "\n";
        text += "Description:    " + FieldText(d.bext.description) + "\n";
        text += "Originator:     " + FieldText(d.bext.originator) + "\n";
    } else {
        text += "Time reference: none (no 'bext' chunk)\n";
    }
    text += "Identity:       " + (d.hasIdentity ? IdentityHex(d.identity) : "none") + "\n";
    text += "Markers:        " + std::to_string(d.markers.size()) + "\n";
    for (const WaveMarker& marker : d.markers) {
        char position[64];
        std::snprintf(position, sizeof position, "  %11s  %10u  ",
                      Time(marker.position, f.sampleRate).c_str(),
                      static_cast<unsigned>(marker.position));
        text += position + marker.label + "\n";
    }
    return text;
}

std::string FileReportJson(const std::string& path, const WaveDescription& d) {
    using Json = nlohmann::ordered_json;
    const auto bextText = [&](const std::string& text) { return d.hasBext ? Json(text) : Json(); };
    Json markers = Json::array();
    for (const WaveMarker& marker : d.markers) {
        markers.push_back({{"position", marker.position}, {"label", marker.label}});
    }
    const Json doc = {
        {"file", path},
        {"channels", d.format.channels},
        {"bits", d.format.bitsPerSample},
        {"sample_rate", d.format.sampleRate},
        {"frames", d.frames},
        {"time_reference", d.hasBext ? Json(d.bext.GetStartLocation()) : Json()},
        {"origination", bextText(Origination(d.bext))},
        {"description", bextText(FieldText(d.bext.description))},
        {"originator", bextText(FieldText(d.bext.originator))},
        {"markers", markers},
        {"identity", d.hasIdentity ? Json(IdentityHex(d.identity)) : Json()},
        {"unfinished", !UnfinishedText(path, d.repair).empty()},
        {"frames_on_disk", d.repair.frameBytes == 0 ? 0 : d.repair.audio / d.repair.frameBytes},
    };
    return doc.dump(2, ' ', false, Json::error_handler_t::replace) + "\n";
}

}  // namespace app
