// The RIFF stream: opens a file in one of four modes and reads or writes whole
// chunks and records through kxDiskMgr. Results are integer codes:
// kRiffDone (0), kRiffFailed (3, the stream or stdio failed) and kRiffNotAllowed (4,
// not allowed in the present state). No operation prints or throws.
#pragma once

#include <cstdint>
#include <vector>

#include "audiofile/BwfFormat.h"
#include "platform/kxDiskMgr.h"

enum RiffFileMode : int32_t {
    kRiffClosed = 0,
    kRiffCreate = 1,          // create an output file, written only
    kRiffReadChunks = 3,      // read, the first 8 bytes at once: walk a take's chunks
    kRiffReadSamples = 4,     // read, nothing at once: a take's samples (recorded as 3)
    kRiffCreateReadBack = 5,  // create a file for writing and reading back
};

constexpr int32_t kRiffDone = 0;
constexpr int32_t kRiffFailed = 3;
constexpr int32_t kRiffNotAllowed = 4;

class kxRiff {
public:
    kxRiff() = default;
    // Closes an open stream; writes no header.
    ~kxRiff();
    kxRiff(const kxRiff&) = delete;
    kxRiff& operator=(const kxRiff&) = delete;

    // Opens `path` in `mode`, closing whatever was open first. Reading modes also
    // note the file's length, which every skip is checked against.
    int32_t Open(const char* path, RiffFileMode mode);
    // Closes the stream if there is one; always kRiffDone.
    int32_t Close();
    // Writes count bytes; only in a writing mode (1 or 5).
    int32_t Write(const void* buffer, uint64_t count);
    int32_t CurrentFilePosition(uint64_t& position);
    // Flushes, then seeks to an absolute position.
    int32_t Seek(uint64_t position);
    // Moves n bytes onward. In the reading state a skip that would pass the end of
    // the file fails, so a damaged chunk size can never move the stream backwards or
    // outside the file.
    int32_t Skip(uint64_t n);
    // Behind a chunk of odd size: steps over a RIFF pad byte when one stands there.
    // The recorder writes odd-sized chunks without one; RIFF writers such as sox
    // and ffmpeg add it. A zero byte followed by a chunk identifier is a pad.
    int32_t SkipPadByte(uint32_t chunkSize);
    // Reads a chunk payload of `size` bytes in the reading state: the first
    // `limit` of them into `bytes`, the rest skipped. A payload that runs past the
    // end of the file fails before anything is read.
    int32_t ReadPayload(uint32_t size, uint32_t limit, std::vector<uint8_t>& bytes);
    // Reads a little-endian 32-bit value.
    int32_t ReadDWORD(uint32_t& value);
    // Reads exactly n bytes; `got` is set to n on success and left alone on failure.
    int32_t Read(void* buffer, uint64_t n, uint64_t& got);
    int32_t ReadChunkHeader(RiffChunkHeader& header);
    // Reads a 'fmt ' payload of `size` bytes: the first 18 (or fewer, when the chunk
    // is smaller) fill the record and the rest is skipped. When `encoding` is given
    // it receives the samples' encoding as a format tag: the chunk's own tag, or for
    // WAVE_FORMAT_EXTENSIBLE the tag its sub-format GUID stands for (0xFFFE itself
    // when the GUID is missing or of no standard family).
    int32_t ReadWaveChunk(WaveFormatChunkData& format, uint32_t size, uint16_t* encoding = nullptr);
    // Reads a 'ds64' payload of `size` bytes (at least 28) and gives the 64-bit size
    // of the data chunk it holds; the table of other chunk sizes is skipped.
    int32_t ReadDataSize64Chunk(uint32_t size, uint64_t& dataSize);
    // Reads a 'bext' payload of `size` bytes (at least 602); the coding history
    // behind the first 602 bytes is skipped.
    int32_t ReadBextChunk(BextFormatChunk& chunk, uint32_t size);
    // Reads the 26-byte identity payload (fewer when the chunk declares fewer) and
    // skips whatever the chunk declares beyond it.
    int32_t ReadBaseIDChunk(BaseIDChunk& chunk, uint32_t size = kIdentityDataSize);

    // The identifier in the first 4 bytes of a file opened to walk its chunks.
    uint32_t RiffID() const { return riffID; }
    RiffFileMode Mode() const { return mode; }
    bool IsReading() const { return mode == kRiffReadChunks; }
    bool IsWriting() const { return mode == kRiffCreate || mode == kRiffCreateReadBack; }
    // Length of a file opened for reading; 0 otherwise.
    uint64_t FileLength() const { return fileLength; }

protected:
    kxDiskFile* Stream() const { return stream; }

private:
    uint32_t riffID = kRiffID;
    RiffFileMode mode = kRiffClosed;
    kxDiskFile* stream = nullptr;
    uint64_t fileLength = 0;
};
