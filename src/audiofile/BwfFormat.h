// The Broadcast WAVE byte layout.
//
// In-memory records of the chunks that proj2wav reads from a recorder's takes and
// writes into its outputs: RIFF chunk headers, the 'fmt ' format, the 'bext'
// broadcast extension (EBU Tech 3285 version 1), the "TFID" identity chunk, cue
// points, and BWF_FullHeader, the 1024-byte image that stands at the front of every
// output file (samples follow at offset 1024, or behind the marker chunks when an
// output carries markers, see WaveMarkers.h). Records are byte-packed, fields in
// file order, and hold host-order numbers; see ByteOrder.h for the conversion.
#pragma once

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <string>
#include <string_view>

// A chunk identifier as held in memory: the 32-bit little-endian value of its four
// bytes, so "RIFF" is 0x46464952.
constexpr uint32_t FourCC(const char (&text)[5]) {
    return static_cast<uint32_t>(static_cast<unsigned char>(text[0])) |
           static_cast<uint32_t>(static_cast<unsigned char>(text[1])) << 8 |
           static_cast<uint32_t>(static_cast<unsigned char>(text[2])) << 16 |
           static_cast<uint32_t>(static_cast<unsigned char>(text[3])) << 24;
}

// Whether an identifier is made of printable ASCII, as every real one is.
constexpr bool IsPlausibleIdentifier(uint32_t identifier) {
    for (int shift = 0; shift < 32; shift += 8) {
        const uint32_t c = (identifier >> shift) & 0xFF;
        if (c < 0x20 || c > 0x7E) return false;
    }
    return true;
}

constexpr uint32_t kRiffID = FourCC("RIFF");
constexpr uint32_t kWaveID = FourCC("WAVE");
constexpr uint32_t kBextID = FourCC("bext");
constexpr uint32_t kFmtID = FourCC("fmt ");
constexpr uint32_t kTfidID = FourCC("TFID");
constexpr uint32_t kPadID = FourCC("PAD ");
constexpr uint32_t kDataID = FourCC("data");
constexpr uint32_t kBlankID = FourCC("    ");  // a header prepared but not yet read
constexpr uint32_t kRf64ID = FourCC("RF64");
constexpr uint32_t kBw64ID = FourCC("BW64");  // RF64's twin from ITU-R BS.2088
constexpr uint32_t kRifxID = FourCC("RIFX");  // big-endian RIFF
constexpr uint32_t kDs64ID = FourCC("ds64");
constexpr uint32_t kCueID = FourCC("cue ");
constexpr uint32_t kListID = FourCC("LIST");
constexpr uint32_t kAdtlID = FourCC("adtl");  // the LIST type that holds the labels of cue points
constexpr uint32_t kLablID = FourCC("labl");
constexpr uint32_t kSizeInDs64 = 0xFFFFFFFF;  // a 32-bit size that stands in the ds64 chunk
constexpr uint32_t kDs64DataSize = 28;        // ds64 payload without its table

constexpr uint16_t kFormatPcm = 1;
constexpr uint16_t kFormatFloat = 3;
constexpr uint16_t kFormatExtensible = 0xFFFE;

constexpr uint32_t kBextDataSize = 602;      // the 'bext' payload without coding history
constexpr uint32_t kBextChunkSize = 858;     // payload plus the 256-byte coding history we write
constexpr uint32_t kFmtDataSize = 18;        // the 'fmt ' payload we hold and write
constexpr uint32_t kFmtExtensibleSize = 40;  // WAVE_FORMAT_EXTENSIBLE, sub-format GUID included
constexpr uint32_t kIdentityDataSize = 26;
constexpr uint32_t kPadDataSize = 70;
constexpr uint32_t kHeaderSize = 1024;  // an output's header without markers
// Where the fixed header image ends and an output's marker chunks go: just before
// the data chunk header, the image's last 8 bytes.
constexpr uint32_t kMarkersAt = kHeaderSize - 8;
// Whether an output whose samples start at `dataStart` and hold `dataBytes`
// bytes is written as RF64: when the whole file, header and samples, is larger
// than 4 GiB - 1 bytes, the largest file whose every size a 32-bit field can state.
constexpr bool NeedsRf64(uint64_t dataBytes, uint64_t dataStart = kHeaderSize) {
    return dataStart > UINT32_MAX || dataBytes > UINT32_MAX - dataStart;
}

#pragma pack(push, 1)

struct RiffChunkHeader {
    uint32_t identifier = kBlankID;
    uint32_t size = 0;

    void SwapBytes();
};

struct WaveFormatChunkData {
    uint16_t formatTag = kFormatPcm;
    uint16_t channels = 2;
    uint32_t sampleRate = 44100;
    uint32_t byteRate = 176400;
    uint16_t blockAlign = 4;
    uint16_t bitsPerSample = 16;
    uint16_t extraSize = 0;

    // Sets rate, bits and channels and derives block align and byte rate from them.
    void Config(uint32_t rate, uint16_t bits, uint16_t channelCount);
    void SwapBytes();
};

struct WaveFormatChunk {
    RiffChunkHeader header{kFmtID, kFmtDataSize};
    WaveFormatChunkData data;

    // Integer PCM, mono or stereo, with byte rate and block align that agree.
    bool IsValid() const;
};

struct BextChunkData {
    char description[256];
    char originator[32];
    char originatorReference[32];
    char originationDate[10];  // "yyyy-mm-dd", no terminator
    char originationTime[8];   // "hh:mm:ss", no terminator
    uint32_t timeReferenceLow;
    uint32_t timeReferenceHigh;
    uint16_t version;
    uint8_t umid[64];
    uint8_t reserved[190];

    BextChunkData();  // all zero, version 1

    // Writes date and time from a calendar-form tm (full year, month 1..12).
    void SetOriginationTime(const std::tm& time);
    // Parses date and time into a calendar-form tm; unparsed fields stay 0.
    std::tm GetOriginationTime() const;
    // Description (256 bytes) and originator (32 bytes): the text as BwfAscii
    // gives it, cut to the field where it is longer and followed by zero bytes
    // where it is shorter.
    void SetDescription(std::string_view text);
    void SetOriginator(std::string_view text);
    void SetStartLocation(uint64_t location);
    // The take's first frame on the project timeline, in frames.
    uint64_t GetStartLocation() const;
    void SwapBytes();  // the numeric fields only
};

struct BextFormatChunk {
    RiffChunkHeader header{kBextID, kBextChunkSize};
    BextChunkData data;
    char codingHistory[256] = {};

    bool IsValid() const { return header.identifier == kBextID; }
    // The coding history (256 bytes): ASCII lines, each ending in CR LF (see
    // CodingHistoryLine), cut to the field and followed by zero bytes.
    void SetCodingHistory(std::string_view text);
};

// UTF-8 text as the ASCII that 'bext' text fields hold: letters lose their
// accents ("Café Ünï" becomes "Cafe Uni", also where an accent is a combining
// mark of its own), and every other character that is not printable ASCII —
// a control character, a byte that is no UTF-8 — becomes one "_".
std::string BwfAscii(std::string_view utf8);

// The line of an EBU R98 coding history that tells how a file of `format` was
// made: "A=PCM,F=48000,W=24,M=stereo,T=proj2wav 0.1.0" and CR LF ("M=mono" for
// one channel; the tool as BwfAscii gives it, no "T=" field when it is empty).
std::string CodingHistoryLine(const WaveFormatChunkData& format, std::string_view tool);

// The recorder's identity chunk. Its payload is opaque: two takes belong to one
// recording when their identity chunks are equal byte for byte.
struct BaseIDChunk {
    RiffChunkHeader header{kTfidID, kIdentityDataSize};
    uint8_t field1[8] = {};
    uint8_t field2[10] = {};
    uint8_t field3[8] = {};
};

struct BWF_FullHeader {
    uint32_t riffID = kRiffID;
    uint32_t riffSize = 0;
    uint32_t waveID = kWaveID;
    BextFormatChunk bext;
    WaveFormatChunk format;
    BaseIDChunk identity;
    RiffChunkHeader padHeader{kPadID, kPadDataSize};
    uint8_t pad[kPadDataSize] = {};
    RiffChunkHeader dataHeader{kDataID, 0};
};

// One entry of a 'cue ' chunk (whose payload is a 32-bit count, then the entries).
// Positions count frames from the first frame of the data chunk.
struct CuePoint {
    uint32_t identifier = 0;  // what the 'labl' of this point refers to
    uint32_t position = 0;
    uint32_t chunkID = kDataID;  // the chunk the point lies in
    uint32_t chunkStart = 0;
    uint32_t blockStart = 0;
    uint32_t sampleOffset = 0;  // the frame within that chunk

    void SwapBytes();
};

// RF64 (EBU Tech 3306): the 64-bit sizes of an output above 4 GiB.
struct DataSize64Chunk {
    RiffChunkHeader header{kDs64ID, 28};
    uint32_t riffSizeLow = 0, riffSizeHigh = 0;
    uint32_t dataSizeLow = 0, dataSizeHigh = 0;
    uint32_t sampleCountLow = 0, sampleCountHigh = 0;
    uint32_t tableLength = 0;
};

// The header of an output above 4 GiB: the same chunks and the same 1024 bytes,
// "RF64" in place of "RIFF", a ds64 chunk first, and 0xFFFFFFFF in the 32-bit sizes.
struct RF64_FullHeader {
    uint32_t riffID = kRf64ID;
    uint32_t riffSize = kSizeInDs64;
    uint32_t waveID = kWaveID;
    DataSize64Chunk ds64;
    BextFormatChunk bext;
    WaveFormatChunk format;
    BaseIDChunk identity;
    RiffChunkHeader padHeader{kPadID, 34};
    uint8_t pad[34] = {};
    RiffChunkHeader dataHeader{kDataID, kSizeInDs64};
};

#pragma pack(pop)

static_assert(sizeof(RiffChunkHeader) == 8);
static_assert(sizeof(WaveFormatChunkData) == kFmtDataSize);
static_assert(sizeof(WaveFormatChunk) == 26);
static_assert(sizeof(BextChunkData) == kBextDataSize);
static_assert(offsetof(BextChunkData, originationDate) == 320);
static_assert(offsetof(BextChunkData, timeReferenceLow) == 338);
static_assert(offsetof(BextChunkData, version) == 346);
static_assert(sizeof(BextFormatChunk) == 866);
static_assert(sizeof(BaseIDChunk) == 34);
static_assert(sizeof(BWF_FullHeader) == kHeaderSize);
static_assert(offsetof(BWF_FullHeader, bext) == 12);
static_assert(offsetof(BWF_FullHeader, format) == 878);
static_assert(offsetof(BWF_FullHeader, identity) == 904);
static_assert(offsetof(BWF_FullHeader, padHeader) == 938);
static_assert(offsetof(BWF_FullHeader, dataHeader) == 1016);
static_assert(sizeof(DataSize64Chunk) == 8 + kDs64DataSize);
static_assert(sizeof(CuePoint) == 24);
static_assert(offsetof(CuePoint, sampleOffset) == 20);
static_assert(sizeof(RF64_FullHeader) == kHeaderSize);
static_assert(offsetof(RF64_FullHeader, bext) == 48);
static_assert(offsetof(RF64_FullHeader, dataHeader) == 1016);
