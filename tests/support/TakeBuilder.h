// An independent writer of recorder takes for tests. It lays out bytes by hand and
// never uses proj2wav's own records or writer, so that a fault in those cannot hide
// itself in the fixtures. Any chunk can go in any order with any declared size, and
// the result can be cut short anywhere.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace testsupport {

// The sample value a generated take holds at a frame and channel: a deterministic
// pattern that differs per take (seed), frame and channel, using the full range.
int32_t PatternSample(uint32_t seed, uint64_t frame, int channel, int bits);

class TakeBuilder {
public:
    // "RIFF" header; `riffSize` defaults to the real size of what follows.
    TakeBuilder& Riff(const std::string& id = "RIFF", std::optional<uint32_t> riffSize = {});
    TakeBuilder& Form(const std::string& form = "WAVE");
    // A 'bext' chunk: payload of 602 bytes plus `codingHistory` bytes.
    TakeBuilder& Bext(uint64_t timeReference, const std::string& date = "2026-03-14",
                      const std::string& time = "10:00:00", uint32_t codingHistory = 256,
                      std::optional<uint32_t> declaredSize = {});
    // A 'fmt ' chunk of `size` bytes (16, 18 or 40 for WAVE_FORMAT_EXTENSIBLE).
    TakeBuilder& Fmt(int channels, uint32_t rate, int bits, uint16_t tag = 1, uint32_t size = 16,
                     std::optional<uint16_t> blockAlign = {}, uint16_t subFormat = 1);
    // A 'ds64' chunk of RF64 holding the 64-bit data size (RIFF size and sample
    // count 0, no table).
    TakeBuilder& Ds64(uint64_t dataSize);
    // A "TFID" chunk with a 26-byte payload derived from `identity`.
    TakeBuilder& Tfid(uint32_t identity, std::optional<uint32_t> declaredSize = {});
    // Any chunk; `padOdd` adds the RIFF pad byte behind an odd-sized payload.
    TakeBuilder& Chunk(const std::string& id, const std::vector<uint8_t>& payload,
                       std::optional<uint32_t> declaredSize = {}, bool padOdd = false);
    // The "data" chunk with the given sample bytes.
    TakeBuilder& Data(const std::vector<uint8_t>& samples,
                      std::optional<uint32_t> declaredSize = {});

    std::vector<uint8_t> Bytes() const;
    // Writes the file, cut to `keepBytes` when given.
    void Write(const std::string& path, std::optional<size_t> keepBytes = {}) const;
    // Writes the file followed by `length` more bytes (the samples of a data chunk
    // declared last), of which only `bytes` at `offset` are written: the rest is a
    // hole, so a take of gigabytes takes almost no room on disk.
    void WriteSparse(const std::string& path, uint64_t length, uint64_t offset,
                     const std::vector<uint8_t>& bytes) const;

private:
    std::string riffId_ = "RIFF";
    std::optional<uint32_t> riffSize_;
    bool riffSet_ = false;
    std::vector<uint8_t> body_;
};

// Sample bytes of `frames` frames of the pattern, little-endian, interleaved.
std::vector<uint8_t> PatternBytes(uint32_t seed, uint64_t firstFrame, uint64_t frames, int channels,
                                  int bits);

// A typical recorder take: 'bext', 'fmt ', "TFID", "data" with pattern samples.
struct TakeRecipe {
    int channels = 2;
    int bits = 24;
    uint32_t rate = 48000;
    uint64_t start = 0;  // time reference, in frames
    uint64_t frames = 1000;
    std::string date = "2026-03-14";
    std::string time = "10:00:00";
    uint32_t identity = 1;  // TFID payload seed; equal values make one recording; 0: no TFID
    uint32_t seed = 1;      // sample pattern seed
    bool oddChunk = false;  // a chunk of 3 bytes behind 'fmt ', without its pad byte

    // This take with the identity `id`: a piece of that recording.
    TakeRecipe Recording(uint32_t id) const {
        TakeRecipe piece = *this;
        piece.identity = id;
        return piece;
    }
};
TakeBuilder BuildTake(const TakeRecipe& recipe);
void WriteTake(const std::string& path, const TakeRecipe& recipe);

}  // namespace testsupport
