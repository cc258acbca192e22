// Markers in a WAVE file: cue points, each with a label, as audio editors show
// them, libsndfile reads them and ffprobe lists them as chapters.
//
// They take two chunks: 'cue ', whose payload is a 32-bit count followed by one
// CuePoint per marker, and a 'LIST' of type 'adtl' holding one 'labl' per cue
// point (the point's identifier, then the label's text). The side that writes
// gives the bytes of both chunks; the side that reads gathers them from chunk
// payloads in whatever order and number a file holds them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

// One marker: a frame counted from the first frame of the file's samples, and its
// label as bytes (empty when the file gives none).
struct WaveMarker {
    uint32_t position = 0;
    std::string label;

    bool operator==(const WaveMarker&) const = default;
};

// The most bytes of one 'cue ' or 'adtl' chunk that are read; the rest is
// skipped. 16 MiB hold some 700,000 cue points, far beyond any real file, and
// keep a damaged size from costing more memory than that.
constexpr uint32_t kMarkerChunkLimit = 1 << 24;

// The 'cue ' chunk and the 'LIST'/'adtl' chunk for `markers`, headers included,
// as they stand in a file; empty when there are no markers. Cue point n (counted
// from 1) is markers[n - 1], at its position in the data chunk. A label's text
// ends in a zero byte; a 'labl' of odd size is followed by a pad byte that its
// size leaves out and the LIST's size counts, so both chunks end on an even byte.
std::vector<uint8_t> MarkerChunkBytes(const std::vector<WaveMarker>& markers);

// Gathers the markers of a file from the payloads of its chunks.
class MarkerCollector {
public:
    // The payload of a 'cue ' chunk (or its first kMarkerChunkLimit bytes). Its
    // count is believed only as far as the payload holds whole cue points.
    void AddCuePoints(const std::vector<uint8_t>& payload);
    // The payload of a 'LIST' chunk of type 'adtl', behind the type: its 'labl'
    // chunks give labels to cue points; other chunks in it are passed over. A label
    // ends at its first zero byte. The last label given to a cue point stands.
    void AddLabels(const std::vector<uint8_t>& payload);
    // The cue points in the order the file lists them, each with its label. The
    // position is the point's frame within the data chunk (its sample offset).
    std::vector<WaveMarker> Markers() const;

private:
    std::vector<std::pair<uint32_t, uint32_t>> cuePoints;  // identifier, position
    std::map<uint32_t, std::string> labels;                // by identifier
};
