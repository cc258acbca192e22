#include "audiofile/WaveRepair.h"

#include <cerrno>
#include <vector>

#include "audiofile/BwfFormat.h"
#include "audiofile/ByteOrder.h"
#include "platform/kxDiskMgr.h"
#include "audiofile/kxRiff.h"

namespace {

// Chunks whose payload only holds room: a header may become RF64 in theirs.
constexpr uint32_t kRoomIDs[] = {FourCC("JUNK"), FourCC("junk"), kPadID, FourCC("FLLR")};
// The 'ds64' chunk that takes the room: its header and its payload without a table.
constexpr uint64_t kDs64Bytes = 8 + kDs64DataSize;
// Where the 'ds64' payload of an RF64 header stands (its chunk comes first).
constexpr uint64_t kDs64PayloadAt = 20;
// The most header bytes moved to make way for 'ds64', and the most chunks followed
// behind the samples: bounds that no real header comes near.
constexpr uint64_t kMostMovedBytes = uint64_t{1} << 24;
constexpr int kMostChunksBehind = 10000;

bool IsRoom(const RiffChunkHeader& chunk) {
    for (const uint32_t id : kRoomIDs) {
        // 'ds64' fills the room exactly, or leaves room for a chunk header behind it.
        if (chunk.identifier == id && chunk.size % 2 == 0 &&
            (chunk.size + 8 == kDs64Bytes || chunk.size + 8 >= kDs64Bytes + 8)) {
            return true;
        }
    }
    return false;
}

WavePlan Found(WavePlan plan, WaveCondition condition) {
    plan.condition = condition;
    return plan;
}

// Whether the bytes from `at` to the end of the file are chunks (and pad bytes),
// as behind the samples of a finished file that carries, say, markers there.
// `size` is the size of the chunk that ends at `at`, for its pad byte.
bool OnlyChunksFollow(kxRiff& riff, uint64_t at, uint32_t size, uint64_t fileLength) {
    if (riff.Seek(at) != kRiffDone) return false;
    for (int n = 0; n <= kMostChunksBehind; ++n) {
        uint64_t position = 0, got = 0;
        if (riff.SkipPadByte(size) != kRiffDone ||
            riff.CurrentFilePosition(position) != kRiffDone) {
            return false;
        }
        if (position == fileLength) return true;
        if (size % 2 == 1 && position + 1 == fileLength) {  // the last chunk's pad byte
            uint8_t pad = 1;
            return riff.Read(&pad, 1, got) == kRiffDone && pad == 0;
        }
        RiffChunkHeader chunk;
        if (riff.ReadChunkHeader(chunk) != kRiffDone || !IsPlausibleIdentifier(chunk.identifier) ||
            riff.Skip(chunk.size) != kRiffDone) {
            return false;
        }
        size = chunk.size;
    }
    return true;  // more than any file has: not samples, and left alone
}

uint64_t Word64(const uint32_t* words) {
    return uint64_t{Swapped(words[1])} << 32 | Swapped(words[0]);
}

// Little-endian `value` into `bytes` at `at`, `width` bytes of it.
void Put(std::vector<uint8_t>& bytes, size_t at, uint64_t value, int width) {
    for (int b = 0; b < width; ++b) bytes[at + b] = static_cast<uint8_t>(value >> (8 * b));
}

bool WriteAt(kxDiskFile* file, uint64_t at, const std::vector<uint8_t>& bytes) {
    return kxDiskMgr::FileSeek(file, at) && kxDiskMgr::FileWrite(file, bytes.data(), bytes.size());
}

// The header's new bytes, from the start of the file: the RIFF header and the
// 'ds64' chunk in place of the room, the chunks in front of the room moved behind
// it, and what is left of the room.
bool Rf64HeaderBytes(kxDiskFile* file, const WavePlan& plan, std::vector<uint8_t>& bytes) {
    RiffChunkHeader room;
    if (!kxDiskMgr::FileSeek(file, plan.room) || !kxDiskMgr::FileRead(file, &room, sizeof room)) {
        return false;
    }
    room.SwapBytes();
    const uint64_t moved = plan.room - 12;
    const uint64_t left = room.size + 8 - kDs64Bytes;  // 0, or room for a chunk header and more
    bytes.assign(12 + kDs64Bytes + moved + (left == 0 ? 0 : 8), 0);
    if (moved != 0 && (!kxDiskMgr::FileSeek(file, 12) ||
                       !kxDiskMgr::FileRead(file, bytes.data() + 12 + kDs64Bytes, moved))) {
        return false;
    }
    Put(bytes, 0, kRf64ID, 4);
    Put(bytes, 4, kSizeInDs64, 4);
    Put(bytes, 8, kWaveID, 4);
    Put(bytes, 12, kDs64ID, 4);
    Put(bytes, 16, kDs64DataSize, 4);
    if (left != 0) {
        Put(bytes, 12 + kDs64Bytes + moved, room.identifier, 4);
        Put(bytes, 12 + kDs64Bytes + moved + 4, left - 8, 4);
    }
    return true;
}

}  // namespace

WavePlan InspectWave(const std::string& path) {
    WavePlan plan;
    kxDiskFile* probe = kxDiskMgr::FileOpen(path.c_str(), kxOpenMode::Read);
    if (probe == nullptr) return Found(plan, WaveCondition::CannotOpen);
    kxDiskMgr::FileClose(probe);

    kxRiff riff;
    uint32_t riffSize = 0, wave = 0;
    if (riff.Open(path.c_str(), kRiffReadChunks) != kRiffDone || riff.Seek(4) != kRiffDone ||
        riff.ReadDWORD(riffSize) != kRiffDone || riff.ReadDWORD(wave) != kRiffDone ||
        wave != kWaveID) {
        return Found(plan, WaveCondition::NotWave);
    }
    plan.form = riff.RiffID();
    plan.fileLength = riff.FileLength();
    const bool sizesInDs64 = plan.form == kRf64ID || plan.form == kBw64ID;
    if (!sizesInDs64 && plan.form != kRiffID) return Found(plan, WaveCondition::NotWave);

    // RF64 and BW64 keep their sizes in a 'ds64' chunk that comes first: RIFF size,
    // data size and sample count, each of 64 bits.
    RiffChunkHeader chunk;
    uint64_t ds64Riff = 0, ds64Data = 0;
    if (sizesInDs64) {
        uint32_t words[kDs64DataSize / 4];
        uint64_t got = 0;
        if (riff.ReadChunkHeader(chunk) != kRiffDone || chunk.identifier != kDs64ID ||
            chunk.size < kDs64DataSize || riff.Read(words, sizeof words, got) != kRiffDone ||
            riff.Skip(chunk.size - kDs64DataSize) != kRiffDone ||
            riff.SkipPadByte(chunk.size) != kRiffDone) {
            return Found(plan, WaveCondition::NotWave);
        }
        ds64Riff = Word64(words);
        ds64Data = Word64(words + 2);
    }

    // Up to the samples: the format, and the first chunk that holds room.
    WaveFormatChunkData format;
    uint16_t encoding = 0;
    bool formatRead = false;
    for (;;) {
        uint64_t at = 0;
        if (riff.CurrentFilePosition(at) != kRiffDone || riff.ReadChunkHeader(chunk) != kRiffDone) {
            return Found(plan, WaveCondition::NotWave);
        }
        if (chunk.identifier == kDataID) break;
        int32_t result = kRiffDone;
        if (chunk.identifier == kFmtID && !formatRead) {
            result = riff.ReadWaveChunk(format, chunk.size, &encoding);
            formatRead = true;
        } else {
            if (plan.room == 0 && IsRoom(chunk)) plan.room = at;
            result = riff.Skip(chunk.size);
        }
        if (result != kRiffDone || riff.SkipPadByte(chunk.size) != kRiffDone) {
            return Found(plan, WaveCondition::NotWave);
        }
    }
    if (riff.CurrentFilePosition(plan.dataStart) != kRiffDone) {
        return Found(plan, WaveCondition::NotWave);
    }
    if (!formatRead || encoding != kFormatPcm || format.blockAlign == 0) {
        return Found(plan, WaveCondition::NotPcm);
    }
    plan.frameBytes = format.blockAlign;
    plan.sampleRate = format.sampleRate;
    plan.declared = sizesInDs64 && chunk.size == kSizeInDs64 ? ds64Data : chunk.size;

    const uint64_t onDisk = plan.fileLength - plan.dataStart;
    if (plan.declared < onDisk &&
        OnlyChunksFollow(riff, plan.dataStart + plan.declared,
                         static_cast<uint32_t>(plan.declared % 2), plan.fileLength)) {
        plan.audio = plan.declared;  // finished, with chunks behind its samples
        return Found(plan, WaveCondition::Finished);
    }
    // The samples are the last chunk and run to the end of the file.
    plan.audio = onDisk - onDisk % plan.frameBytes;
    plan.cut = onDisk - plan.audio;
    const uint64_t riffNow = sizesInDs64 ? ds64Riff : riffSize;
    if (plan.declared == plan.audio && plan.cut == 0 && riffNow == plan.fileLength - 8) {
        return Found(plan, WaveCondition::Finished);
    }
    plan.padByte = plan.audio % 2 == 1;
    plan.toRf64 = !sizesInDs64 && NeedsRf64(plan.audio, plan.dataStart);
    if (plan.toRf64 && (plan.room == 0 || plan.room > kMostMovedBytes)) {
        return Found(plan, WaveCondition::NoRoomForRf64);
    }
    return Found(plan, WaveCondition::Unfinished);
}

bool MendWave(const std::string& path, WavePlan& plan) {
    plan = InspectWave(path);
    if (plan.condition != WaveCondition::Unfinished) return false;
    kxDiskFile* file = kxDiskMgr::FileOpen(path.c_str(), kxOpenMode::Update);
    if (file == nullptr) return false;
    // A file that grew or shrank since it was looked at is still being written.
    bool ok = kxDiskMgr::FileLength(file) == static_cast<int64_t>(plan.fileLength);
    if (!ok) errno = EBUSY;

    // First the end of the samples, then the header that declares them.
    const uint64_t end = plan.dataStart + plan.audio;
    if (ok && plan.cut != 0) ok = kxDiskMgr::Truncate(file, end);
    if (ok && plan.padByte) ok = WriteAt(file, end, {0});
    const uint64_t riffSize = end + (plan.padByte ? 1 : 0) - 8;
    const bool sizesInDs64 = plan.form != kRiffID || plan.toRf64;
    std::vector<uint8_t> size(4);
    Put(size, 0, sizesInDs64 ? kSizeInDs64 : plan.audio, 4);
    if (ok) ok = WriteAt(file, plan.dataStart - 4, size);
    if (ok && plan.toRf64) {
        std::vector<uint8_t> header;
        ok = Rf64HeaderBytes(file, plan, header) && WriteAt(file, 0, header);
    }
    if (ok && sizesInDs64) {
        std::vector<uint8_t> sizes(24);
        Put(sizes, 0, riffSize, 8);
        Put(sizes, 8, plan.audio, 8);
        Put(sizes, 16, plan.audio / plan.frameBytes, 8);
        ok = WriteAt(file, kDs64PayloadAt, sizes);
    } else if (ok) {
        Put(size, 0, riffSize, 4);
        ok = WriteAt(file, 4, size);
    }
    if (ok) ok = kxDiskMgr::Sync(file);
    const int error = errno;
    kxDiskMgr::FileClose(file);
    errno = error;
    return ok;
}
