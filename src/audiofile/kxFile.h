// One audio file: a recorder's take (read) or an output (written).
//
// A take is constructed from its directory and name and checked by Validate, which
// walks its chunks, fills the header records and closes the file again; its samples
// are read later by ReadAudioData, which reopens the file on demand. An output is
// constructed from a path, a format and a start location; OpenForWrite creates it
// with a provisional header (1024 bytes, and the marker chunks when it carries
// markers), WriteData appends samples and declares them in the header every
// kHeaderUpdateBytes, and Close rewrites the header with the final sizes and has
// the file put on the disk. Describe tells what any WAVE file holds, for people to
// read.
#pragma once

#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

#include "audiofile/BwfFormat.h"
#include "audiofile/WaveMarkers.h"
#include "audiofile/WaveRepair.h"
#include "audiofile/kxRiff.h"

// Why Validate refused a take. The engine chooses no words; the front ends do,
// from the problem and the TakeFormat found in the file.
enum class TakeProblem : int32_t {
    None = 0,
    NoPath,            // constructed without a directory or name
    CannotOpen,        // missing, unreadable, or not a regular file
    NotWave,           // bytes 8 to 11 are not "WAVE", or the file is too short for them
    BigEndian,         // a big-endian "RIFX" file
    NoDs64Chunk,       // an RF64 or BW64 file whose first chunk is no whole 'ds64'
    NoFormatChunk,     // the file ends before a "fmt " chunk
    DataBeforeFormat,  // a "data" chunk comes before any "fmt " chunk
    BadBextChunk,      // a 'bext' chunk before "fmt " shorter than 602 bytes
    DamagedChunks,     // a chunk runs past the end of the file, or the walk cannot read on
    NoDataChunk,       // the file ends before a "data" chunk
    // The format chunk describes samples proj2wav cannot play:
    FloatSamples,         // floating-point samples (TakeFormat: bits)
    CompressedFormat,     // another encoding than PCM (TakeFormat: encoding)
    UnsupportedBits,      // integer PCM of other than 16 or 24 bits (TakeFormat: bits)
    UnsupportedChannels,  // other than 1 or 2 channels (TakeFormat: channels)
    NoSampleRate,         // a sample rate of 0
    BadBlockAlign,        // frames that are not packed channels x bits / 8 bytes
    BadTimeReference,     // a frame of the take would lie at kTimelineFrames or beyond
};

// What a take's format chunk says, as Validate found it: the facts that tell why a
// format is refused.
struct TakeFormat {
    uint16_t encoding = 0;  // format tag; for WAVE_FORMAT_EXTENSIBLE, its sub-format's
    uint16_t channels = 0;
    uint32_t sampleRate = 0;
    uint16_t bitsPerSample = 0;
    uint16_t blockAlign = 0;
};

// The length of the timeline in frames: every frame of an accepted take lies at a
// position below it. 2^40 frames are about 265 days at 48 kHz, far beyond any
// session, so a take placed further out can only come from a damaged time
// reference. The limit keeps every figure derived from takes exact: a span times
// six bytes per frame, a position plus a block or a fade, hours of a time.
constexpr uint64_t kTimelineFrames = uint64_t{1} << 40;

// How often an output's header is brought up to date while samples are written:
// each time this many sample bytes more have been written than it declares. A
// run killed at any moment (SIGKILL, a crash, the out-of-memory killer) leaves a
// header that declares only samples the file holds, and at most this much (plus
// one write) fewer than it holds. Each update rewrites the header's few hundred
// bytes, which costs nothing measurable at this distance.
constexpr uint64_t kHeaderUpdateBytes = uint64_t{64} << 20;

// What a WAVE file holds, as kxFile::Describe finds it.
struct WaveDescription {
    WaveFormatChunkData format;  // the format chunk as found, whatever its encoding
    uint16_t encoding = 0;       // as TakeFormat has it: an extensible format's sub-format
    uint64_t frames = 0;         // whole frames the data chunk declares and the file holds
    bool hasBext = false;
    BextChunkData bext;  // meaningful with hasBext
    bool hasIdentity = false;
    BaseIDChunk identity;             // meaningful with hasIdentity
    std::vector<WaveMarker> markers;  // before and behind the samples, in the file's order
    // Whether the header agrees with the samples on disk, and how an unfinished
    // file is mended (InspectWave).
    WavePlan repair;
};

class kxFile : public kxRiff {
public:
    // A take: the path is `directory` + "/" + `name`; without either, no path.
    kxFile(const char* directory, const char* name);
    // An output with the given format, starting at `startLocation` on the timeline.
    kxFile(const char* path, int8_t channels, uint32_t sampleRate, int8_t bitsPerSample,
           uint64_t startLocation);

    // Walks a take's chunks and fills the header records. True when the take is
    // one proj2wav can play; otherwise Problem() and FoundFormat() tell why not.
    // Besides the recorder's own layout it reads what other programs write: chunks
    // before 'fmt ' (a 'bext' among them is read, the rest skipped), RIFF pad bytes,
    // and RF64/BW64 files with their 64-bit data size. The file is closed afterwards
    // in every case.
    bool Validate();
    // Opens the take for its samples and positions the stream at data start.
    bool OpenForPlay();
    // Reads `count` bytes at byte `offset` of the audio data into `buffer`, opening
    // the take when it is closed; all or nothing. `got` reports the bytes read.
    bool ReadAudioData(void* buffer, uint64_t offset, uint64_t count, uint64_t& got);

    // Describes the file at `path`: any WAVE file in RIFF, RF64 or BW64, whatever
    // its samples, with the markers found before and behind them. None when it
    // was described; otherwise why it cannot be (CannotOpen, NotWave, BigEndian,
    // or a chunk layout that no WAVE file has, as Validate says of takes).
    static TakeProblem Describe(const std::string& path, WaveDescription& description);

    // The markers an output carries; given before OpenForWrite. Their chunks stand
    // between the fixed header and the data chunk header, so the samples start
    // that many bytes behind kHeaderSize (DataStart()).
    void SetMarkers(const std::vector<WaveMarker>& markers);
    // Stamps the origination date and time, creates the file and writes the
    // provisional header (both sizes 0).
    bool OpenForWrite();
    // Writes the header: `first` at creation (both sizes 0), otherwise the rewrite
    // at close with the final sizes — as RF64 (EBU Tech 3306) when the file
    // outgrows the 32-bit sizes of RIFF (NeedsRf64), with the same chunks and the
    // samples where they were. The RIFF size counts the pad byte that follows a
    // data chunk of odd size.
    bool WriteHeader(bool first);
    // Appends `count` sample bytes; once kHeaderUpdateBytes more are written than
    // the header declares, the header is rewritten to declare the whole frames
    // written (becoming RF64 where they need it). False when a write fails.
    bool WriteData(const void* buffer, uint64_t count);
    // Closes the stream. An output is finished first: its sizes are matched to the
    // samples that really reached the file, a pad byte follows an odd data chunk,
    // the header is rewritten and the file is put on the disk (kxDiskMgr::Sync).
    // False when any of that fails.
    bool Close();

    void GetCreateTime(std::tm& time) const { time = creationTime; }
    // True when both files carry the same identity chunk (one recording); takes
    // without one (written by other programs) are recordings of their own.
    bool SameFileID(const kxFile* other) const;
    // Bytes of one frame, all channels.
    uint16_t BytesPerSample() const;
    // The list key: origination date and time in seconds, -1 when not a valid date.
    int64_t GetLocation() const;

    uint16_t Channels() const { return header.format.data.channels; }
    uint32_t SampleRate() const { return header.format.data.sampleRate; }
    uint16_t BitsPerSample() const { return header.format.data.bitsPerSample; }
    // Sample bytes: for a take, what its data chunk declares and the file really
    // holds, in whole frames; for an output, the bytes written so far.
    uint64_t DataSize() const { return dataSize; }
    // Sample bytes a take's data chunk (or 'ds64') declares, whether or not the
    // file holds them: more than DataSize when the take was cut short. For an
    // output, what its header on disk declares so far.
    uint64_t DeclaredDataSize() const { return declaredDataSize; }
    uint64_t FrameCount() const;
    uint64_t StartLocation() const { return header.bext.data.GetStartLocation(); }
    // The file offset of the first sample byte.
    uint64_t DataStart() const { return dataStart; }
    const std::string& Path() const { return path; }
    TakeProblem Problem() const { return problem; }
    // The format chunk as found; all zero when the walk did not reach one.
    TakeFormat FoundFormat() const { return foundFormat; }

    BWF_FullHeader header;

private:
    // What a chunk walk found besides the header records.
    struct ChunkWalk {
        uint64_t declaredDataSize = 0;  // as the data chunk (or 'ds64') declares it
        bool bextRead = false;
        bool identityRead = false;
        MarkerCollector* markers = nullptr;  // when given, marker chunks are read into it
    };

    bool Reject(TakeProblem why);
    void SetCreationTime(const std::tm& time);
    // Opens the file to walk its chunks and checks its form; false after a Reject.
    bool OpenToWalk();
    // The chunk walk up to the data chunk that fills the header records and data
    // start; false after a Reject.
    bool WalkChunks(ChunkWalk& walk);
    // Reads a 'cue ' chunk, or a 'LIST' whose type is 'adtl', into `markers`;
    // any other LIST is skipped.
    int32_t ReadMarkerChunk(const RiffChunkHeader& chunk, MarkerCollector& markers);
    // Walks on from the end of `sampleBytes` sample bytes to the end of the file,
    // gathering marker chunks; stops quietly where the chunks stop making sense.
    void ReadMarkersBehindData(uint64_t sampleBytes, MarkerCollector& markers);
    // The first reason the format found cannot be played; None when it can.
    TakeProblem FormatProblem() const;
    // Reconciles the counted data size with the bytes really in the file after a
    // failed or short write, so that the rewritten header matches the file.
    void MatchDataSizeToFile();
    // An output's header declaring `size` sample bytes (RIFF size 0 when
    // `provisional`), marker chunks included.
    std::vector<uint8_t> HeaderBytes(uint64_t size, bool provisional) const;
    // Rewrites the header to declare the whole frames written so far and goes
    // back to the end of the samples.
    bool DeclareWrittenSamples();

    uint64_t dataStart = 0;
    std::vector<uint8_t> markerChunks;  // an output's, as MarkerChunkBytes gives them
    uint64_t currentPosition = 0;
    uint64_t dataSize = 0;
    uint64_t declaredDataSize = 0;
    std::string path;
    bool hasPath = false;
    std::tm creationTime{};
    int64_t locationKey = -1;  // GetLocation, kept with the creation time
    bool hasIdentity = false;  // Validate found an identity chunk
    TakeProblem problem = TakeProblem::None;
    TakeFormat foundFormat;
};
