#include "audiofile/kxFile.h"

#include <algorithm>
#include <cstddef>
#include <cstring>

#include "audiofile/ByteOrder.h"
#include "platform/kxDiskMgr.h"

namespace {

bool IsLeapYear(int64_t year) {
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int DaysInMonth(int64_t year, int month) {
    static constexpr int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && IsLeapYear(year) ? 29 : kDays[month - 1];
}

// Days from 1970-01-01 to a proleptic Gregorian date (H. Hinnant's algorithm).
int64_t DaysFromCivil(int64_t year, int64_t month, int64_t day) {
    year -= month <= 2;
    const int64_t era = (year >= 0 ? year : year - 399) / 400;
    const int64_t yearOfEra = year - era * 400;
    const int64_t dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + dayOfEra - 719468;
}

// The list key of an origination date and time: seconds from 1970-01-01 by plain
// calendar arithmetic, so the order of takes never depends on the machine's time
// zone or daylight saving, and dates after 2038 work. Hour, minute and second
// count as they stand ("24:30:00" orders as the next day's "00:30:00"). A date
// that does not exist (no 'bext', month 0, day 0, ...) gives -1.
int64_t KeyOfCalendarTime(const std::tm& t) {
    if (t.tm_mon < 1 || t.tm_mon > 12 || t.tm_year < 1 || t.tm_year > 9999 || t.tm_mday < 1 ||
        t.tm_mday > DaysInMonth(t.tm_year, t.tm_mon)) {
        return -1;
    }
    return DaysFromCivil(t.tm_year, t.tm_mon, t.tm_mday) * 86400 + int64_t{t.tm_hour} * 3600 +
           int64_t{t.tm_min} * 60 + t.tm_sec;
}

}  // namespace

kxFile::kxFile(const char* directory, const char* name) {
    if (directory != nullptr && name != nullptr) {
        path = std::string(directory) + "/" + name;
        hasPath = true;
    }
}

kxFile::kxFile(const char* outputPath, int8_t channels, uint32_t sampleRate, int8_t bitsPerSample,
               uint64_t startLocation) {
    if (outputPath != nullptr) {
        path = outputPath;
        hasPath = true;
    }
    dataStart = kHeaderSize;
    header.dataHeader = RiffChunkHeader{kDataID, 0};
    header.format.data.Config(sampleRate, static_cast<uint16_t>(bitsPerSample),
                              static_cast<uint16_t>(channels));
    header.bext.data.SetStartLocation(startLocation);
}

bool kxFile::Reject(TakeProblem why) {
    problem = why;
    kxRiff::Close();
    currentPosition = 0;
    return false;
}

bool kxFile::OpenToWalk() {
    problem = TakeProblem::None;
    foundFormat = TakeFormat{};
    if (!hasPath) return Reject(TakeProblem::NoPath);
    if (Open(path.c_str(), kRiffReadChunks) != kRiffDone) {
        // A file that opens but is shorter than 8 bytes is no WAVE file at all.
        kxDiskFile* probe = kxDiskMgr::FileOpen(path.c_str(), kxOpenMode::Read);
        if (probe == nullptr) return Reject(TakeProblem::CannotOpen);
        kxDiskMgr::FileClose(probe);
        return Reject(TakeProblem::NotWave);
    }
    uint32_t form = 0;
    if (ReadDWORD(form) != kRiffDone || form != kWaveID) return Reject(TakeProblem::NotWave);
    if (RiffID() == kRifxID) return Reject(TakeProblem::BigEndian);
    return true;
}

bool kxFile::Validate() {
    ChunkWalk walk;
    declaredDataSize = 0;
    hasIdentity = false;
    if (!OpenToWalk() || !WalkChunks(walk)) return false;
    declaredDataSize = walk.declaredDataSize;
    hasIdentity = walk.identityRead;
    const WaveFormatChunkData& format = header.format.data;
    foundFormat.channels = format.channels;
    foundFormat.sampleRate = format.sampleRate;
    foundFormat.bitsPerSample = format.bitsPerSample;
    foundFormat.blockAlign = format.blockAlign;
    if (const TakeProblem why = FormatProblem(); why != TakeProblem::None) return Reject(why);

    // A take cut short (power lost while recording, an interrupted copy) keeps the
    // whole frames that are really there.
    const uint64_t present = FileLength() > dataStart ? FileLength() - dataStart : 0;
    const uint64_t usable = std::min(declaredDataSize, present);
    dataSize = usable - usable % BytesPerSample();
    header.dataHeader.size = dataSize > UINT32_MAX ? kSizeInDs64 : static_cast<uint32_t>(dataSize);
    if (StartLocation() >= kTimelineFrames || FrameCount() > kTimelineFrames - StartLocation()) {
        return Reject(TakeProblem::BadTimeReference);
    }

    kxRiff::Close();
    currentPosition = 0;
    return true;
}

bool kxFile::WalkChunks(ChunkWalk& walk) {
    // RF64 and BW64 files keep the sizes that outgrow 32 bits in a 'ds64' chunk
    // that comes first.
    const bool sizesInDs64 = RiffID() == kRf64ID || RiffID() == kBw64ID;
    uint64_t ds64DataSize = 0;
    RiffChunkHeader chunk;
    if (sizesInDs64 && (ReadChunkHeader(chunk) != kRiffDone || chunk.identifier != kDs64ID ||
                        ReadDataSize64Chunk(chunk.size, ds64DataSize) != kRiffDone ||
                        SkipPadByte(chunk.size) != kRiffDone)) {
        return Reject(TakeProblem::NoDs64Chunk);
    }

    // Up to the first "data" chunk. Before the format chunk, chunks that other
    // tools put first (JUNK reserved for an RF64 header, LIST, ...) are skipped.
    bool formatRead = false;
    for (;;) {
        if (uint64_t at = 0; CurrentFilePosition(at) != kRiffDone) {
            return Reject(TakeProblem::DamagedChunks);
        }
        if (ReadChunkHeader(chunk) != kRiffDone) {
            return Reject(formatRead ? TakeProblem::NoDataChunk : TakeProblem::NoFormatChunk);
        }
        if (chunk.identifier == kDataID) {
            if (!formatRead) return Reject(TakeProblem::DataBeforeFormat);
            break;
        }
        int32_t result = kRiffDone;
        if (chunk.identifier == kFmtID && !formatRead) {
            result = ReadWaveChunk(header.format.data, chunk.size, &foundFormat.encoding);
            formatRead = true;
        } else if (chunk.identifier == kTfidID && formatRead) {
            result = ReadBaseIDChunk(header.identity, chunk.size);
            walk.identityRead = true;
        } else if (chunk.identifier == kBextID && !walk.bextRead) {
            // The recorder writes 'bext' first; other tools write it behind the
            // format chunk, where a short one is skipped like any other chunk.
            if (chunk.size < kBextDataSize) {
                if (!formatRead) return Reject(TakeProblem::BadBextChunk);
                result = Skip(chunk.size);
            } else {
                result = ReadBextChunk(header.bext, chunk.size);
                SetCreationTime(header.bext.data.GetOriginationTime());
                walk.bextRead = true;
            }
        } else if (walk.markers != nullptr &&
                   (chunk.identifier == kCueID || chunk.identifier == kListID)) {
            result = ReadMarkerChunk(chunk, *walk.markers);
        } else {
            result = Skip(chunk.size);
        }
        if (result != kRiffDone || SkipPadByte(chunk.size) != kRiffDone) {
            return Reject(TakeProblem::DamagedChunks);
        }
    }
    header.dataHeader = chunk;
    walk.declaredDataSize = sizesInDs64 && chunk.size == kSizeInDs64 ? ds64DataSize : chunk.size;
    if (CurrentFilePosition(dataStart) != kRiffDone) return Reject(TakeProblem::DamagedChunks);
    return true;
}

int32_t kxFile::ReadMarkerChunk(const RiffChunkHeader& chunk, MarkerCollector& markers) {
    std::vector<uint8_t> payload;
    if (chunk.identifier == kCueID) {
        const int32_t result = ReadPayload(chunk.size, kMarkerChunkLimit, payload);
        markers.AddCuePoints(payload);
        return result;
    }
    uint32_t type = 0;
    if (chunk.size < 4) return Skip(chunk.size);
    if (ReadDWORD(type) != kRiffDone) return kRiffFailed;
    if (type != kAdtlID) return Skip(chunk.size - 4);
    const int32_t result = ReadPayload(chunk.size - 4, kMarkerChunkLimit, payload);
    markers.AddLabels(payload);
    return result;
}

void kxFile::ReadMarkersBehindData(uint64_t sampleBytes, MarkerCollector& markers) {
    // Other programs may write their markers behind the samples.
    if (sampleBytes > FileLength() - dataStart || Seek(dataStart + sampleBytes) != kRiffDone ||
        SkipPadByte(static_cast<uint32_t>(sampleBytes % 2)) != kRiffDone) {
        return;
    }
    RiffChunkHeader chunk;
    while (ReadChunkHeader(chunk) == kRiffDone && IsPlausibleIdentifier(chunk.identifier)) {
        const bool isMarkers = chunk.identifier == kCueID || chunk.identifier == kListID;
        const int32_t result = isMarkers ? ReadMarkerChunk(chunk, markers) : Skip(chunk.size);
        if (result != kRiffDone || SkipPadByte(chunk.size) != kRiffDone) return;
    }
}

TakeProblem kxFile::Describe(const std::string& filePath, WaveDescription& description) {
    description = WaveDescription{};
    kxFile file(nullptr, nullptr);
    file.path = filePath;
    file.hasPath = true;
    MarkerCollector markers;
    ChunkWalk walk;
    walk.markers = &markers;
    if (!file.OpenToWalk() || !file.WalkChunks(walk)) return file.problem;

    const WaveFormatChunkData& format = file.header.format.data;
    const uint64_t present = file.FileLength() - file.dataStart;  // the walk ended inside
    description.format = format;
    description.encoding = file.foundFormat.encoding;
    if (format.blockAlign != 0) {
        description.frames = std::min(walk.declaredDataSize, present) / format.blockAlign;
    }
    description.hasBext = walk.bextRead;
    description.bext = file.header.bext.data;
    description.hasIdentity = walk.identityRead;
    description.identity = file.header.identity;
    file.ReadMarkersBehindData(walk.declaredDataSize, markers);
    description.markers = markers.Markers();
    file.kxRiff::Close();
    description.repair = InspectWave(filePath);
    return TakeProblem::None;
}

TakeProblem kxFile::FormatProblem() const {
    const TakeFormat& f = foundFormat;
    if (f.encoding == kFormatFloat) return TakeProblem::FloatSamples;
    if (f.encoding != kFormatPcm) return TakeProblem::CompressedFormat;
    if (f.bitsPerSample != 16 && f.bitsPerSample != 24) return TakeProblem::UnsupportedBits;
    if (f.channels != 1 && f.channels != 2) return TakeProblem::UnsupportedChannels;
    if (f.sampleRate == 0) return TakeProblem::NoSampleRate;
    if (f.blockAlign != f.channels * f.bitsPerSample / 8) return TakeProblem::BadBlockAlign;
    return TakeProblem::None;
}

bool kxFile::OpenForPlay() {
    if (Open(path.c_str(), kRiffReadSamples) != kRiffDone) return false;
    kxDiskMgr::WillReadInOrder(Stream(), dataStart, dataSize);
    currentPosition = dataStart;
    return Seek(dataStart) == kRiffDone;
}

bool kxFile::ReadAudioData(void* buffer, uint64_t offset, uint64_t count, uint64_t& got) {
    got = 0;
    const uint64_t target = dataStart + offset;
    if (buffer == nullptr || count == 0) return false;
    if (!IsReading() && !OpenForPlay()) return false;
    if (currentPosition != target) {
        if (Seek(target) != kRiffDone) return false;
        currentPosition = target;
    }
    if (Read(buffer, count, got) != kRiffDone) {
        // Where the stream stands after a short read is unknown.
        currentPosition = UINT64_MAX;
        return false;
    }
    currentPosition += got;
    return true;
}

void kxFile::SetMarkers(const std::vector<WaveMarker>& markers) {
    markerChunks = MarkerChunkBytes(markers);
    dataStart = kHeaderSize + markerChunks.size();
}

bool kxFile::OpenForWrite() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    local.tm_year += 1900;
    local.tm_mon += 1;
    SetCreationTime(local);
    header.bext.data.SetOriginationTime(creationTime);

    if (!hasPath || Open(path.c_str(), kRiffCreate) != kRiffDone) return false;
    return WriteHeader(true);
}

namespace {

// Copies the output's own chunks into a header image (UMID and originator
// reference stay empty) and turns every number to file order.
template <class Image>
void FillChunks(Image& image, const BWF_FullHeader& header) {
    image.bext.header = header.bext.header;
    std::memcpy(image.bext.data.description, header.bext.data.description,
                sizeof image.bext.data.description);
    std::memcpy(image.bext.data.originator, header.bext.data.originator,
                sizeof image.bext.data.originator);
    std::memcpy(image.bext.data.originationDate, header.bext.data.originationDate,
                sizeof image.bext.data.originationDate);
    std::memcpy(image.bext.data.originationTime, header.bext.data.originationTime,
                sizeof image.bext.data.originationTime);
    image.bext.data.timeReferenceLow = header.bext.data.timeReferenceLow;
    image.bext.data.timeReferenceHigh = header.bext.data.timeReferenceHigh;
    image.bext.data.version = header.bext.data.version;
    std::memcpy(image.bext.codingHistory, header.bext.codingHistory,
                sizeof image.bext.codingHistory);
    image.format = header.format;
    image.identity.header = header.identity.header;

    image.riffID = Swapped(image.riffID);
    image.riffSize = Swapped(image.riffSize);
    image.waveID = Swapped(image.waveID);
    image.bext.header.SwapBytes();
    image.bext.data.SwapBytes();
    image.format.header.SwapBytes();
    image.format.data.SwapBytes();
    image.identity.header.SwapBytes();
    image.padHeader.SwapBytes();
    image.dataHeader.SwapBytes();
}

// The header's bytes: the image up to the data chunk header, the marker chunks,
// then the data chunk header.
template <class Image>
std::vector<uint8_t> ImageBytes(const Image& image, const std::vector<uint8_t>& markerChunks) {
    static_assert(offsetof(Image, dataHeader) == kMarkersAt && sizeof image == kHeaderSize);
    const auto* raw = reinterpret_cast<const uint8_t*>(&image);
    std::vector<uint8_t> bytes(kHeaderSize + markerChunks.size());
    std::memcpy(bytes.data(), raw, kMarkersAt);
    if (!markerChunks.empty()) {
        std::memcpy(bytes.data() + kMarkersAt, markerChunks.data(), markerChunks.size());
    }
    std::memcpy(bytes.data() + kMarkersAt + markerChunks.size(), raw + kMarkersAt,
                kHeaderSize - kMarkersAt);
    return bytes;
}

}  // namespace

std::vector<uint8_t> kxFile::HeaderBytes(uint64_t size, bool provisional) const {
    // RIFF counts the pad byte that follows a data chunk of odd size.
    const uint64_t riffSize = dataStart - 8 + size + size % 2;
    if (!NeedsRf64(size, dataStart)) {
        BWF_FullHeader image;
        image.riffSize = provisional ? 0 : static_cast<uint32_t>(riffSize);
        image.dataHeader.size = static_cast<uint32_t>(size);
        FillChunks(image, header);
        return ImageBytes(image, markerChunks);
    }
    // Beyond 4 GiB the same chunks become an RF64 header, the samples where they were.
    RF64_FullHeader image;
    const uint64_t frames = size / std::max<uint16_t>(BytesPerSample(), 1);
    DataSize64Chunk& ds64 = image.ds64;
    ds64.riffSizeLow = Swapped(static_cast<uint32_t>(riffSize));
    ds64.riffSizeHigh = Swapped(static_cast<uint32_t>(riffSize >> 32));
    ds64.dataSizeLow = Swapped(static_cast<uint32_t>(size));
    ds64.dataSizeHigh = Swapped(static_cast<uint32_t>(size >> 32));
    ds64.sampleCountLow = Swapped(static_cast<uint32_t>(frames));
    ds64.sampleCountHigh = Swapped(static_cast<uint32_t>(frames >> 32));
    ds64.header.SwapBytes();
    FillChunks(image, header);
    return ImageBytes(image, markerChunks);
}

bool kxFile::WriteHeader(bool first) {
    // The rewrite at close always states the real sizes, also for an output that
    // received no samples (a run stopped at once), so every output is a valid file.
    if (!first && Seek(0) != kRiffDone) return false;
    const std::vector<uint8_t> bytes = HeaderBytes(first ? 0 : dataSize, first);
    if (Write(bytes.data(), bytes.size()) != kRiffDone) return false;
    declaredDataSize = first ? 0 : dataSize;
    return true;
}

bool kxFile::WriteData(const void* buffer, uint64_t count) {
    if (buffer == nullptr || count == 0) return false;
    if (Write(buffer, count) != kRiffDone) return false;
    dataSize += count;
    return dataSize - declaredDataSize < kHeaderUpdateBytes || DeclareWrittenSamples();
}

bool kxFile::DeclareWrittenSamples() {
    // Only after the samples were handed to the system does the header declare
    // them: a run killed at any moment leaves a header that declares no sample the
    // file does not hold.
    const uint64_t whole = dataSize - dataSize % std::max<uint16_t>(BytesPerSample(), 1);
    const std::vector<uint8_t> bytes = HeaderBytes(whole, false);
    if (Seek(0) != kRiffDone || Write(bytes.data(), bytes.size()) != kRiffDone) return false;
    declaredDataSize = whole;
    return Seek(dataStart + dataSize) == kRiffDone;
}

void kxFile::MatchDataSizeToFile() {
    kxDiskMgr::Flush(Stream());
    const int64_t length = kxDiskMgr::FileLength(Stream());
    if (length < 0) return;
    const uint64_t onDisk =
        static_cast<uint64_t>(length) > dataStart ? static_cast<uint64_t>(length) - dataStart : 0;
    const uint16_t frameBytes = std::max<uint16_t>(BytesPerSample(), 1);
    dataSize = std::min(dataSize, onDisk - onDisk % frameBytes);
    if (static_cast<uint64_t>(length) > dataStart + dataSize) {
        kxDiskMgr::Truncate(Stream(), dataStart + dataSize);
    }
}

bool kxFile::Close() {
    bool result = true;
    if (IsWriting()) {
        MatchDataSizeToFile();
        // A data chunk of odd size is followed by a zero pad byte, as RIFF has it.
        const uint8_t pad = 0;
        if (dataSize % 2 != 0 &&
            (Seek(dataStart + dataSize) != kRiffDone || Write(&pad, 1) != kRiffDone)) {
            result = false;
        }
        if (!WriteHeader(false)) result = false;
        if (!kxDiskMgr::Flush(Stream()) || !kxDiskMgr::Sync(Stream())) result = false;
    }
    kxRiff::Close();
    currentPosition = 0;
    return result;
}

bool kxFile::SameFileID(const kxFile* other) const {
    return other != nullptr && hasIdentity && other->hasIdentity &&
           std::memcmp(&header.identity, &other->header.identity, sizeof header.identity) == 0;
}

uint16_t kxFile::BytesPerSample() const {
    return static_cast<uint16_t>(Channels() * (BitsPerSample() / 8));
}

uint64_t kxFile::FrameCount() const {
    const uint16_t frameBytes = BytesPerSample();
    return frameBytes == 0 ? 0 : dataSize / frameBytes;
}

void kxFile::SetCreationTime(const std::tm& time) {
    creationTime = time;
    locationKey = KeyOfCalendarTime(time);
}

int64_t kxFile::GetLocation() const {
    return locationKey;
}
