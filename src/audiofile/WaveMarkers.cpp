#include "audiofile/WaveMarkers.h"

#include <algorithm>
#include <cstring>

#include "audiofile/BwfFormat.h"
#include "audiofile/ByteOrder.h"

namespace {

// Appends a record's bytes, its numbers already in file order.
template <typename Record>
void Append(std::vector<uint8_t>& bytes, const Record& record) {
    const auto* first = reinterpret_cast<const uint8_t*>(&record);
    bytes.insert(bytes.end(), first, first + sizeof record);
}

void AppendChunkHeader(std::vector<uint8_t>& bytes, uint32_t identifier, uint32_t size) {
    RiffChunkHeader header{identifier, size};
    header.SwapBytes();
    Append(bytes, header);
}

void AppendWord(std::vector<uint8_t>& bytes, uint32_t value) {
    Append(bytes, Swapped(value));
}

uint32_t WordAt(const std::vector<uint8_t>& bytes, size_t at) {
    uint32_t value = 0;
    std::memcpy(&value, bytes.data() + at, sizeof value);
    return Swapped(value);
}

// A label's 'labl' payload size: the identifier, the text and its zero byte. An
// odd size is followed by a pad byte, which the size does not count.
uint32_t LabelSize(const std::string& label) {
    return static_cast<uint32_t>(4 + label.size() + 1);
}

}  // namespace

std::vector<uint8_t> MarkerChunkBytes(const std::vector<WaveMarker>& markers) {
    std::vector<uint8_t> bytes;
    if (markers.empty()) return bytes;
    const auto count = static_cast<uint32_t>(markers.size());

    AppendChunkHeader(bytes, kCueID, 4 + count * static_cast<uint32_t>(sizeof(CuePoint)));
    AppendWord(bytes, count);
    for (uint32_t n = 0; n < count; ++n) {
        CuePoint point;
        point.identifier = n + 1;
        point.position = markers[n].position;
        point.sampleOffset = markers[n].position;
        point.SwapBytes();
        Append(bytes, point);
    }

    uint32_t listSize = 4;
    for (const WaveMarker& marker : markers) {
        const uint32_t size = LabelSize(marker.label);
        listSize += 8 + size + size % 2;
    }
    AppendChunkHeader(bytes, kListID, listSize);
    AppendWord(bytes, kAdtlID);
    for (uint32_t n = 0; n < count; ++n) {
        const std::string& label = markers[n].label;
        const uint32_t size = LabelSize(label);
        AppendChunkHeader(bytes, kLablID, size);
        AppendWord(bytes, n + 1);
        bytes.insert(bytes.end(), label.begin(), label.end());
        bytes.insert(bytes.end(), 1 + size % 2, 0);  // the zero byte, and a pad where odd
    }
    return bytes;
}

void MarkerCollector::AddCuePoints(const std::vector<uint8_t>& payload) {
    if (payload.size() < 4) return;
    const uint64_t whole = (payload.size() - 4) / sizeof(CuePoint);
    const uint64_t count = std::min<uint64_t>(WordAt(payload, 0), whole);
    for (uint64_t n = 0; n < count; ++n) {
        CuePoint point;
        std::memcpy(&point, payload.data() + 4 + n * sizeof point, sizeof point);
        point.SwapBytes();
        cuePoints.emplace_back(point.identifier, point.sampleOffset);
    }
}

void MarkerCollector::AddLabels(const std::vector<uint8_t>& payload) {
    // Sub-chunks follow one another, each padded to an even size as RIFF has it.
    for (size_t at = 0; payload.size() - at >= 8;) {
        const uint32_t identifier = WordAt(payload, at);
        const uint32_t size = WordAt(payload, at + 4);
        const size_t body = at + 8;
        const size_t available = payload.size() - body;
        if (identifier == kLablID && size >= 4 && available >= 4) {
            const size_t textLength = std::min<size_t>(size, available) - 4;
            const char* text = reinterpret_cast<const char*>(payload.data() + body + 4);
            labels[WordAt(payload, body)] = std::string(text, strnlen(text, textLength));
        }
        if (size > available) break;
        at = body + size + size % 2;
        if (at > payload.size()) break;
    }
}

std::vector<WaveMarker> MarkerCollector::Markers() const {
    std::vector<WaveMarker> markers;
    markers.reserve(cuePoints.size());
    for (const auto& [identifier, position] : cuePoints) {
        const auto label = labels.find(identifier);
        markers.push_back({position, label != labels.end() ? label->second : std::string()});
    }
    return markers;
}
