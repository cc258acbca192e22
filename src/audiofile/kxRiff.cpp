#include "audiofile/kxRiff.h"

#include <algorithm>
#include <cstring>

#include "audiofile/ByteOrder.h"

kxRiff::~kxRiff() {
    if (mode != kRiffClosed) Close();
}

int32_t kxRiff::Open(const char* path, RiffFileMode requested) {
    if (mode != kRiffClosed) Close();

    kxOpenMode diskMode = kxOpenMode::Read;
    switch (requested) {
        case kRiffCreate:
            diskMode = kxOpenMode::Create;
            break;
        case kRiffCreateReadBack:
            diskMode = kxOpenMode::CreateReadBack;
            break;
        case kRiffReadChunks:
        case kRiffReadSamples:
            diskMode = kxOpenMode::Read;
            break;
        default:
            return kRiffNotAllowed;
    }
    stream = kxDiskMgr::FileOpen(path, diskMode);
    if (stream == nullptr) return kRiffFailed;

    if (requested == kRiffReadChunks || requested == kRiffReadSamples) {
        const int64_t length = kxDiskMgr::FileLength(stream);
        fileLength = length > 0 ? static_cast<uint64_t>(length) : 0;
        if (requested == kRiffReadChunks) {
            uint32_t head[2];
            if (!kxDiskMgr::FileRead(stream, head, sizeof head)) {
                Close();
                return kRiffFailed;
            }
            riffID = head[0];
        }
        mode = kRiffReadChunks;
    } else {
        fileLength = 0;
        mode = requested;
    }
    return kRiffDone;
}

int32_t kxRiff::Close() {
    if (stream != nullptr) kxDiskMgr::FileClose(stream);
    stream = nullptr;
    mode = kRiffClosed;
    fileLength = 0;
    return kRiffDone;
}

int32_t kxRiff::Write(const void* buffer, uint64_t count) {
    if (stream == nullptr || !IsWriting()) return kRiffNotAllowed;
    if (!kxDiskMgr::FileWrite(stream, buffer, count)) return kRiffFailed;
    return kRiffDone;
}

int32_t kxRiff::CurrentFilePosition(uint64_t& position) {
    const int64_t at = kxDiskMgr::FileTell(stream);
    if (at < 0) return kRiffFailed;
    position = static_cast<uint64_t>(at);
    return kRiffDone;
}

int32_t kxRiff::Seek(uint64_t position) {
    if (stream == nullptr) return kRiffFailed;
    kxDiskMgr::Flush(stream);
    return kxDiskMgr::FileSeek(stream, position) ? kRiffDone : kRiffFailed;
}

int32_t kxRiff::Skip(uint64_t n) {
    uint64_t at = 0;
    if (CurrentFilePosition(at) != kRiffDone) return kRiffFailed;
    const uint64_t limit = IsReading() ? fileLength : UINT64_MAX;
    if (at > limit || n > limit - at) return kRiffFailed;
    return kxDiskMgr::FileSeek(stream, at + n) ? kRiffDone : kRiffFailed;
}

int32_t kxRiff::SkipPadByte(uint32_t chunkSize) {
    if (chunkSize % 2 == 0) return kRiffDone;
    uint64_t at = 0;
    if (CurrentFilePosition(at) != kRiffDone) return kRiffFailed;
    uint8_t ahead[5] = {};
    uint32_t next = 0;  // the test looks at each byte, so their order does not matter
    const bool read = kxDiskMgr::FileRead(stream, ahead, sizeof ahead);
    std::memcpy(&next, ahead + 1, sizeof next);
    const bool padded = read && ahead[0] == 0 && IsPlausibleIdentifier(next);
    return Seek(padded ? at + 1 : at);
}

int32_t kxRiff::ReadPayload(uint32_t size, uint32_t limit, std::vector<uint8_t>& bytes) {
    bytes.clear();
    uint64_t at = 0;
    if (CurrentFilePosition(at) != kRiffDone || at > fileLength || size > fileLength - at) {
        return kRiffFailed;  // a chunk that runs past the end of the file
    }
    bytes.resize(std::min(size, limit));
    if (!bytes.empty() && !kxDiskMgr::FileRead(stream, bytes.data(), bytes.size())) {
        return kRiffFailed;
    }
    return size > bytes.size() ? Skip(size - bytes.size()) : kRiffDone;
}

int32_t kxRiff::ReadDWORD(uint32_t& value) {
    if (!kxDiskMgr::FileRead(stream, &value, sizeof value)) return kRiffFailed;
    value = Swapped(value);
    return kRiffDone;
}

int32_t kxRiff::Read(void* buffer, uint64_t n, uint64_t& got) {
    if (!kxDiskMgr::FileRead(stream, buffer, n)) return kRiffFailed;
    got = n;
    return kRiffDone;
}

int32_t kxRiff::ReadChunkHeader(RiffChunkHeader& header) {
    const bool ok = kxDiskMgr::FileRead(stream, &header, sizeof header);
    header.SwapBytes();
    return ok ? kRiffDone : kRiffFailed;
}

namespace {

// The tail that the sub-format GUIDs of the standard formats share (PCM, float,
// ...: KSDATAFORMAT_SUBTYPE_*), as it stands in a file, behind the little-endian
// format tag that starts the GUID.
constexpr uint8_t kStandardGuidTail[14] = {0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80,
                                           0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};
constexpr std::size_t kSubFormatOffset = 24;

}  // namespace

int32_t kxRiff::ReadWaveChunk(WaveFormatChunkData& format, uint32_t size, uint16_t* encoding) {
    uint8_t raw[kFmtExtensibleSize];
    const uint32_t taken = std::min(size, kFmtExtensibleSize);
    if (!kxDiskMgr::FileRead(stream, raw, taken)) return kRiffFailed;

    // Lay the bytes read over the record in file order, so that a short chunk
    // leaves the fields it does not reach as they were.
    WaveFormatChunkData fileOrder = format;
    fileOrder.SwapBytes();
    std::memcpy(&fileOrder, raw, std::min(taken, kFmtDataSize));
    fileOrder.SwapBytes();
    format = fileOrder;

    if (encoding != nullptr) {
        *encoding = format.formatTag;
        if (format.formatTag == kFormatExtensible && taken == kFmtExtensibleSize &&
            std::memcmp(raw + kSubFormatOffset + 2, kStandardGuidTail, 14) == 0) {
            uint16_t subFormat = 0;
            std::memcpy(&subFormat, raw + kSubFormatOffset, sizeof subFormat);
            *encoding = Swapped(subFormat);
        }
    }
    return size > taken ? Skip(size - taken) : kRiffDone;
}

int32_t kxRiff::ReadDataSize64Chunk(uint32_t size, uint64_t& dataSize) {
    // RIFF size, data size and sample count, each low word first, then the table length.
    uint32_t words[kDs64DataSize / 4];
    if (size < kDs64DataSize || !kxDiskMgr::FileRead(stream, words, sizeof words)) {
        return kRiffFailed;
    }
    dataSize = uint64_t{Swapped(words[3])} << 32 | Swapped(words[2]);
    return size > kDs64DataSize ? Skip(size - kDs64DataSize) : kRiffDone;
}

int32_t kxRiff::ReadBextChunk(BextFormatChunk& chunk, uint32_t size) {
    if (size < kBextDataSize) return kRiffFailed;
    if (!kxDiskMgr::FileRead(stream, &chunk.data, kBextDataSize)) return kRiffFailed;
    chunk.data.SwapBytes();
    return size > kBextDataSize ? Skip(size - kBextDataSize) : kRiffDone;
}

int32_t kxRiff::ReadBaseIDChunk(BaseIDChunk& chunk, uint32_t size) {
    uint8_t payload[kIdentityDataSize] = {};
    const uint32_t taken = std::min(size, kIdentityDataSize);
    if (taken > 0 && !kxDiskMgr::FileRead(stream, payload, taken)) return kRiffFailed;
    std::memcpy(chunk.field1, payload, sizeof chunk.field1);
    std::memcpy(chunk.field2, payload + 8, sizeof chunk.field2);
    std::memcpy(chunk.field3, payload + 18, sizeof chunk.field3);
    return size > taken ? Skip(size - taken) : kRiffDone;
}
