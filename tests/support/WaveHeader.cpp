#include "support/WaveHeader.h"

#include <filesystem>
#include <fstream>
#include <vector>

namespace testsupport {

namespace {

// Little-endian numbers at a byte offset of a file's head (0 past its end).
uint16_t Le16(const std::vector<uint8_t>& bytes, size_t at) {
    return at + 2 > bytes.size() ? 0 : static_cast<uint16_t>(bytes[at] | bytes[at + 1] << 8);
}
uint32_t Le32(const std::vector<uint8_t>& bytes, size_t at) {
    return Le16(bytes, at) | uint32_t{Le16(bytes, at + 2)} << 16;
}

}  // namespace

bool WaveHeader::Consistent() const {
    const uint64_t frame = uint64_t{channels} * (bits / 8);
    // An odd data chunk is followed by its pad byte, the last byte of the file.
    return !form.empty() && frame != 0 && riffSize + 8 == fileSize &&
           dataOffset + dataSize + dataSize % 2 == fileSize && dataSize % frame == 0;
}

WaveHeader ReadWaveHeader(const std::string& path) {
    WaveHeader h;
    std::error_code error;
    h.fileSize = std::filesystem::file_size(path, error);
    std::vector<uint8_t> bytes(4096);
    std::ifstream in(path, std::ios::binary);
    in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    bytes.resize(static_cast<size_t>(in.gcount()));
    if (error || bytes.size() < 12) return h;
    const auto le64 = [&](size_t at) {
        return Le32(bytes, at) | uint64_t{Le32(bytes, at + 4)} << 32;
    };
    h.form.assign(bytes.begin(), bytes.begin() + 4);
    h.riffSize = Le32(bytes, 4);
    for (size_t at = 12; at + 8 <= bytes.size();) {
        const std::string id(bytes.begin() + at, bytes.begin() + at + 4);
        const uint32_t size = Le32(bytes, at + 4);
        if (id == "ds64") {
            h.riffSize = le64(at + 8);
            h.dataSize = le64(at + 16);
        } else if (id == "fmt ") {
            h.channels = Le16(bytes, at + 10);
            h.rate = Le32(bytes, at + 12);
            h.bits = Le16(bytes, at + 22);
        } else if (id == "bext") {
            h.timeReference = le64(at + 8 + 338);
        } else if (id == "data") {
            h.dataOffset = at + 8;
            if (h.form != "RF64") h.dataSize = size;
            break;
        }
        at += 8 + uint64_t{size};
    }
    return h;
}

}  // namespace testsupport
