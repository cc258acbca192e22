#include "audiofile/BwfFormat.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <utility>

#include "audiofile/ByteOrder.h"

void RiffChunkHeader::SwapBytes() {
    identifier = Swapped(identifier);
    size = Swapped(size);
}

void WaveFormatChunkData::Config(uint32_t rate, uint16_t bits, uint16_t channelCount) {
    sampleRate = rate;
    bitsPerSample = bits;
    channels = channelCount;
    blockAlign = static_cast<uint16_t>(channelCount * bits / 8);
    byteRate = static_cast<uint32_t>(channelCount) * rate * bits / 8;
}

void WaveFormatChunkData::SwapBytes() {
    formatTag = Swapped(formatTag);
    channels = Swapped(channels);
    sampleRate = Swapped(sampleRate);
    byteRate = Swapped(byteRate);
    blockAlign = Swapped(blockAlign);
    bitsPerSample = Swapped(bitsPerSample);
    extraSize = Swapped(extraSize);
}

bool WaveFormatChunk::IsValid() const {
    const uint32_t frameBytes = uint32_t{data.channels} * data.bitsPerSample / 8;
    return data.formatTag == kFormatPcm && (data.channels == 1 || data.channels == 2) &&
           data.byteRate == frameBytes * data.sampleRate && data.blockAlign == frameBytes;
}

BextChunkData::BextChunkData() {
    std::memset(this, 0, sizeof(*this));
    version = 1;
}

namespace {

// Copies text into a fixed field, cut where it does not fit, zeros behind it.
template <std::size_t N>
void CopyText(char (&field)[N], std::string_view text) {
    std::memset(field, 0, N);
    std::memcpy(field, text.data(), std::min(text.size(), N));
}

// What each of U+00C0 to U+017F becomes in ASCII: the letter without its accent,
// or "_" where there is no such letter (Æ, ß, Þ, Œ, ...).
constexpr std::string_view kLatinLetters =
    "AAAAAA_CEEEEIIIIDNOOOOO_OUUUUY__"   // U+00C0
    "aaaaaa_ceeeeiiiidnooooo_ouuuuy_y"   // U+00E0
    "AaAaAaCcCcCcCcDdDdEeEeEeEeEeGgGg"   // U+0100
    "GgGgHhHhIiIiIiIiIi__JjKk_LlLlLlL"   // U+0120
    "lLlNnNnNnn__OoOoOo__RrRrRrSsSsSs"   // U+0140
    "SsTtTtTtUuUuUuUuUuUuWwYyYZzZzZz_";  // U+0160
static_assert(kLatinLetters.size() == 0x180 - 0xC0);

// Combining accents (U+0300 to U+036F) are dropped: a letter followed by one is
// how some systems (macOS among them) store an accented letter in a file name.
constexpr uint32_t kCombiningFirst = 0x300, kCombiningLast = 0x36F;

// The code point of the UTF-8 sequence at the front of `text` and its length in
// bytes; length 1 and code point UINT32_MAX for a byte that starts no sequence.
std::pair<uint32_t, std::size_t> NextCodePoint(std::string_view text) {
    const auto lead = static_cast<unsigned char>(text[0]);
    const std::size_t length = lead < 0x80   ? 1
                               : lead < 0xC2 ? 0
                               : lead < 0xE0 ? 2
                               : lead < 0xF0 ? 3
                               : lead < 0xF5 ? 4
                                             : 0;
    if (length == 0 || length > text.size()) return {UINT32_MAX, 1};
    uint32_t code = length == 1 ? lead : lead & (0x7F >> length);
    for (std::size_t i = 1; i < length; ++i) {
        const auto next = static_cast<unsigned char>(text[i]);
        if ((next & 0xC0) != 0x80) return {UINT32_MAX, 1};
        code = code << 6 | (next & 0x3F);
    }
    return {code, length};
}

// Parses an unterminated fixed-width field with a scanf format.
template <std::size_t N>
void ParseField(const char (&field)[N], const char* format, int* a, int* b, int* c) {
    char text[N + 1];
    std::memcpy(text, field, N);
    text[N] = '\0';
    std::sscanf(text, format, a, b, c);
}

}  // namespace

void BextChunkData::SetOriginationTime(const std::tm& time) {
    char text[64];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d", time.tm_year, time.tm_mon, time.tm_mday);
    CopyText(originationDate, text);
    std::snprintf(text, sizeof text, "%02d:%02d:%02d", time.tm_hour, time.tm_min, time.tm_sec);
    CopyText(originationTime, text);
}

std::tm BextChunkData::GetOriginationTime() const {
    std::tm time{};
    ParseField(originationDate, "%4d-%2d-%2d", &time.tm_year, &time.tm_mon, &time.tm_mday);
    ParseField(originationTime, "%2d:%2d:%2d", &time.tm_hour, &time.tm_min, &time.tm_sec);
    return time;
}

void BextChunkData::SetDescription(std::string_view text) {
    CopyText(description, BwfAscii(text));
}

void BextChunkData::SetOriginator(std::string_view text) {
    CopyText(originator, BwfAscii(text));
}

void BextFormatChunk::SetCodingHistory(std::string_view text) {
    CopyText(codingHistory, text);
}

std::string BwfAscii(std::string_view utf8) {
    std::string ascii;
    while (!utf8.empty()) {
        const auto [code, length] = NextCodePoint(utf8);
        utf8.remove_prefix(length);
        if (code >= 0x20 && code < 0x7F) {
            ascii += static_cast<char>(code);
        } else if (code >= 0xC0 && code < 0x180) {
            ascii += kLatinLetters[code - 0xC0];
        } else if (code < kCombiningFirst || code > kCombiningLast) {
            ascii += '_';
        }
    }
    return ascii;
}

std::string CodingHistoryLine(const WaveFormatChunkData& format, std::string_view tool) {
    std::string line = "A=PCM,F=" + std::to_string(format.sampleRate) +
                       ",W=" + std::to_string(format.bitsPerSample) +
                       (format.channels == 1 ? ",M=mono" : ",M=stereo");
    if (!tool.empty()) line += ",T=" + BwfAscii(tool);
    return line + "\r\n";
}

void BextChunkData::SetStartLocation(uint64_t location) {
    timeReferenceLow = static_cast<uint32_t>(location);
    timeReferenceHigh = static_cast<uint32_t>(location >> 32);
}

uint64_t BextChunkData::GetStartLocation() const {
    return (uint64_t{timeReferenceHigh} << 32) | timeReferenceLow;
}

void CuePoint::SwapBytes() {
    identifier = Swapped(identifier);
    position = Swapped(position);
    chunkID = Swapped(chunkID);
    chunkStart = Swapped(chunkStart);
    blockStart = Swapped(blockStart);
    sampleOffset = Swapped(sampleOffset);
}

void BextChunkData::SwapBytes() {
    timeReferenceLow = Swapped(timeReferenceLow);
    timeReferenceHigh = Swapped(timeReferenceHigh);
    version = Swapped(version);
}
