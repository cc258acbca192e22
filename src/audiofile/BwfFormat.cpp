#include "audiofile/BwfFormat.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

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

// Copies text into a fixed field, cut where it does not fit. A cut that would
// fall inside a UTF-8 sequence moves back to the sequence's first byte, so the
// field never ends in a broken character.
template <std::size_t N>
void CopyText(char (&field)[N], std::string_view text) {
    std::size_t length = text.size();
    if (length > N) {
        length = N;
        while (length > 0 && (static_cast<unsigned char>(text[length]) & 0xC0) == 0x80) --length;
    }
    std::memset(field, 0, N);
    std::memcpy(field, text.data(), length);
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
    CopyText(description, text);
}

void BextChunkData::SetOriginator(std::string_view text) {
    CopyText(originator, text);
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
