#include "support/TakeBuilder.h"

#include <filesystem>
#include <fstream>
#include <stdexcept>

#include "support/TempDir.h"

namespace testsupport {

namespace {

void Put16(std::vector<uint8_t>& out, uint32_t v) {
    out.push_back(static_cast<uint8_t>(v));
    out.push_back(static_cast<uint8_t>(v >> 8));
}
void Put32(std::vector<uint8_t>& out, uint32_t v) {
    Put16(out, v & 0xFFFF);
    Put16(out, v >> 16);
}
void PutText(std::vector<uint8_t>& out, const std::string& text, size_t width) {
    for (size_t i = 0; i < width; ++i)
        out.push_back(i < text.size() ? static_cast<uint8_t>(text[i]) : 0);
}
void PutId(std::vector<uint8_t>& out, const std::string& id) {
    PutText(out, id, 4);
}

}  // namespace

int32_t PatternSample(uint32_t seed, uint64_t frame, int channel, int bits) {
    // A mix of a slow ramp and a hash, so neighbouring frames and channels differ
    // and every byte of a sample matters.
    uint64_t x = (frame + 1) * 0x9E3779B97F4A7C15ull ^ (uint64_t{seed} << 32) ^
                 (static_cast<uint64_t>(channel) << 60);
    x ^= x >> 29;
    x *= 0xBF58476D1CE4E5B9ull;
    x ^= x >> 32;
    const int shift = 64 - bits;
    return static_cast<int32_t>(static_cast<int64_t>(x) >> shift);
}

std::vector<uint8_t> PatternBytes(uint32_t seed, uint64_t firstFrame, uint64_t frames, int channels,
                                  int bits) {
    std::vector<uint8_t> out;
    out.reserve(frames * channels * (bits / 8));
    for (uint64_t f = firstFrame; f < firstFrame + frames; ++f) {
        for (int c = 0; c < channels; ++c) {
            const auto v = static_cast<uint32_t>(PatternSample(seed, f, c, bits));
            for (int b = 0; b < bits / 8; ++b) out.push_back(static_cast<uint8_t>(v >> (8 * b)));
        }
    }
    return out;
}

TakeBuilder& TakeBuilder::Riff(const std::string& id, std::optional<uint32_t> riffSize) {
    riffId_ = id;
    riffSize_ = riffSize;
    riffSet_ = true;
    return *this;
}

TakeBuilder& TakeBuilder::Form(const std::string& form) {
    PutId(body_, form);
    return *this;
}

TakeBuilder& TakeBuilder::Chunk(const std::string& id, const std::vector<uint8_t>& payload,
                                std::optional<uint32_t> declaredSize, bool padOdd) {
    PutId(body_, id);
    Put32(body_, declaredSize.value_or(static_cast<uint32_t>(payload.size())));
    body_.insert(body_.end(), payload.begin(), payload.end());
    if (padOdd && payload.size() % 2 == 1) body_.push_back(0);
    return *this;
}

TakeBuilder& TakeBuilder::Bext(uint64_t timeReference, const std::string& date,
                               const std::string& time, uint32_t codingHistory,
                               std::optional<uint32_t> declaredSize) {
    std::vector<uint8_t> p;
    PutText(p, "proj2wav test take", 256);  // description
    PutText(p, "TakeBuilder", 32);          // originator
    PutText(p, "REF", 32);                  // originator reference
    PutText(p, date, 10);
    PutText(p, time, 8);
    Put32(p, static_cast<uint32_t>(timeReference));
    Put32(p, static_cast<uint32_t>(timeReference >> 32));
    Put16(p, 1);                  // version
    p.insert(p.end(), 64, 0xAB);  // UMID
    p.insert(p.end(), 190, 0);    // reserved
    for (uint32_t i = 0; i < codingHistory; ++i) p.push_back(static_cast<uint8_t>('A' + i % 26));
    return Chunk("bext", p, declaredSize);
}

TakeBuilder& TakeBuilder::Fmt(int channels, uint32_t rate, int bits, uint16_t tag, uint32_t size,
                              std::optional<uint16_t> blockAlign, uint16_t subFormat) {
    std::vector<uint8_t> p;
    const uint16_t align = blockAlign.value_or(static_cast<uint16_t>(channels * bits / 8));
    Put16(p, tag);
    Put16(p, static_cast<uint32_t>(channels));
    Put32(p, rate);
    Put32(p, rate * align);
    Put16(p, align);
    Put16(p, static_cast<uint32_t>(bits));
    if (size >= 18) Put16(p, size >= 40 ? 22 : 0);  // extra size
    if (size >= 40) {
        Put16(p, static_cast<uint32_t>(bits));  // valid bits
        Put32(p, channels == 2 ? 3 : 4);        // channel mask
        Put16(p, subFormat);
        const uint8_t tail[14] = {0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80,
                                  0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};
        p.insert(p.end(), tail, tail + 14);
    }
    p.resize(size, 0);
    return Chunk("fmt ", p);
}

TakeBuilder& TakeBuilder::Ds64(uint64_t dataSize) {
    std::vector<uint8_t> p(8, 0);
    Put32(p, static_cast<uint32_t>(dataSize));
    Put32(p, static_cast<uint32_t>(dataSize >> 32));
    p.resize(28, 0);
    return Chunk("ds64", p);
}

TakeBuilder& TakeBuilder::Tfid(uint32_t identity, std::optional<uint32_t> declaredSize) {
    std::vector<uint8_t> p;
    for (int i = 0; i < 26; ++i)
        p.push_back(static_cast<uint8_t>((identity * 31 + i * 7) ^ (identity >> (i % 4 * 8))));
    return Chunk("TFID", p, declaredSize);
}

TakeBuilder& TakeBuilder::Data(const std::vector<uint8_t>& samples,
                               std::optional<uint32_t> declaredSize) {
    return Chunk("data", samples, declaredSize);
}

std::vector<uint8_t> TakeBuilder::Bytes() const {
    std::vector<uint8_t> out;
    PutId(out, riffId_);
    Put32(out, riffSize_.value_or(static_cast<uint32_t>(body_.size())));
    out.insert(out.end(), body_.begin(), body_.end());
    return out;
}

void TakeBuilder::Write(const std::string& path, std::optional<size_t> keepBytes) const {
    std::vector<uint8_t> bytes = Bytes();
    if (keepBytes && *keepBytes < bytes.size()) bytes.resize(*keepBytes);
    WriteFileBytes(path, bytes);
}

void TakeBuilder::WriteSparse(const std::string& path, uint64_t length, uint64_t offset,
                              const std::vector<uint8_t>& bytes) const {
    const std::vector<uint8_t> head = Bytes();
    Write(path);
    std::filesystem::resize_file(path, head.size() + length);
    std::fstream out(path, std::ios::binary | std::ios::in | std::ios::out);
    out.seekp(static_cast<std::streamoff>(head.size() + offset));
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    if (!out) throw std::runtime_error("cannot write " + path);
}

TakeBuilder BuildTake(const TakeRecipe& recipe) {
    TakeBuilder b;
    b.Riff().Form();
    b.Bext(recipe.start, recipe.date, recipe.time).Fmt(recipe.channels, recipe.rate, recipe.bits);
    if (recipe.oddChunk) b.Chunk("odd ", {1, 2, 3});
    if (recipe.identity != 0) b.Tfid(recipe.identity);
    b.Data(PatternBytes(recipe.seed, 0, recipe.frames, recipe.channels, recipe.bits));
    return b;
}

void WriteTake(const std::string& path, const TakeRecipe& recipe) {
    BuildTake(recipe).Write(path);
}

}  // namespace testsupport
