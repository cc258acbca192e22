// What a WAVE file's header says, read by a minimal chunk walk of the tests' own,
// so that outputs can be checked without trusting proj2wav's reader.
#pragma once

#include <cstdint>
#include <string>

namespace testsupport {

struct WaveHeader {
    std::string form;  // "RIFF" or "RF64"; empty when the file cannot be read
    uint64_t fileSize = 0;
    uint64_t riffSize = 0;  // RF64: the 'ds64' value
    uint16_t channels = 0;
    uint32_t rate = 0;
    uint16_t bits = 0;
    uint64_t timeReference = 0;  // from 'bext'
    uint64_t dataOffset = 0;
    uint64_t dataSize = 0;  // RF64: the 'ds64' value

    // The sizes agree with the bytes in the file (a pad byte behind an odd data
    // chunk included), and the samples are whole frames.
    bool Consistent() const;
};

// Reads the head of the file only, so that outputs of any size can be checked.
WaveHeader ReadWaveHeader(const std::string& path);

}  // namespace testsupport
