// kxFile as a take: the chunk walk that accepts or refuses a file, reading its
// samples, takes beyond 2 and 4 GiB, and the key that orders a project.
// (Entries that are no files at all are tested through the project scan.)
#include <gtest/gtest.h>

#include <algorithm>
#include <ctime>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "audiofile/kxFile.h"
#include "support/TakeBuilder.h"
#include "support/TempDir.h"

using testsupport::PatternBytes;
using testsupport::TakeBuilder;
using testsupport::TakeRecipe;
using testsupport::TempDir;

namespace {

std::unique_ptr<kxFile> ValidatedTake(const TempDir& dir, const TakeBuilder& take,
                                      const std::string& name = "take.wav") {
    take.Write(dir / name);
    auto file = std::make_unique<kxFile>(dir.Path().c_str(), name.c_str());
    file->Validate();
    return file;
}

std::vector<uint8_t> Payload(size_t size, uint8_t first = 1) {
    std::vector<uint8_t> bytes(size);
    for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<uint8_t>(first + i);
    return bytes;
}

// The first `n` frames of 24-bit stereo the takes here hold.
std::vector<uint8_t> Frames(uint64_t n) {
    return PatternBytes(7, 0, n, 2, 24);
}

// A file begun with "RIFF" (or `id`) and "WAVE", for chunks to follow.
TakeBuilder Wave(const std::string& id = "RIFF") {
    TakeBuilder take;
    take.Riff(id).Form();
    return take;
}

// Seconds since 1970 of a UTC calendar date, as the C library computes them.
int64_t LibraryUtcSeconds(int year, int month, int day, int hour, int minute, int second) {
    std::tm t{};
    t.tm_year = year - 1900;
    t.tm_mon = month - 1;
    t.tm_mday = day;
    t.tm_hour = hour;
    t.tm_min = minute;
    t.tm_sec = second;
    return ::timegm(&t);
}

}  // namespace

TEST(kxFileTake, ChunkWalkAcceptsAndRefusesByLayout) {
    struct Case {
        const char* what;
        TakeBuilder take;
        TakeProblem problem = TakeProblem::None;
        uint64_t startLocation = 0;
        uint64_t dataSize = 36;  // whole frames the data chunk declares and the file holds
    };
    using enum TakeProblem;
    const std::vector<uint8_t> p5 = Payload(5), p4 = Payload(4), six = Frames(6);
    std::vector<uint8_t> cut = Frames(100);  // and 4 bytes of a frame cut short
    cut.insert(cut.end(), 4, 0);
    const auto fmt = [] { return Wave().Fmt(2, 48000, 24); };
    const Case cases[] = {
        {"bext, fmt, TFID, other, data",
         Wave().Bext(4800).Fmt(2, 48000, 24).Tfid(9).Chunk("LIST", Payload(10)).Data(six), None,
         4800},
        {"extensible fmt, then bext, LIST (as ffmpeg writes)",
         Wave().Fmt(2, 48000, 24, 0xFFFE, 40).Bext(77).Chunk("LIST", Payload(26)).Data(six), None,
         77},
        {"bext of 602 bytes, no coding history",
         Wave().Bext(9, "2026-03-14", "10:00:00", 0).Fmt(2, 48000, 24).Data(six), None, 9},
        {"fmt of 50 bytes: extensible PCM and more",
         Wave().Fmt(2, 48000, 24, 0xFFFE, 50).Data(six)},
        {"a second bext is skipped", Wave().Bext(1).Fmt(2, 48000, 24).Bext(2).Data(six), None, 1},
        {"a short bext behind fmt is skipped", fmt().Chunk("bext", Payload(100)).Data(six)},
        {"odd chunk, recorder style (no pad byte)", fmt().Chunk("odd ", p5).Data(six)},
        {"odd chunk with pad byte", fmt().Chunk("odd ", p5, {}, true).Data(six)},
        {"TFID larger than 26", fmt().Chunk("TFID", Payload(40)).Data(six)},
        {"cut short while recording", fmt().Data(cut, 100000), None, 0, 600},
        {"cut short, whatever the size declared", fmt().Data(cut, 0xFFFFFFFF), None, 0, 600},
        {"a declared partial frame is dropped", fmt().Data(Frames(100), 301), None, 0, 300},
        {"bytes behind the data chunk are not samples", fmt().Data(Frames(150), 300), None, 0, 300},
        {"RIFF id and size are not checked",
         TakeBuilder().Riff("riff", 0).Form().Fmt(2, 48000, 24).Data(six)},
        {"JUNK first (ffmpeg -rf64 auto), odd chunk without pad",
         Wave().Chunk("JUNK", Payload(28)).Chunk("odd ", p5).Fmt(2, 48000, 24).Data(six)},
        {"LIST, bext, odd chunk with pad, then fmt",
         Wave().Chunk("LIST", p4).Bext(55).Chunk("junk", p5, {}, true).Fmt(2, 48000, 24).Data(six),
         None, 55},
        {"BW64: ds64's data size stands for 0xFFFFFFFF; bext before fmt",
         Wave("BW64").Ds64(36).Bext(3).Fmt(2, 48000, 24).Data(six, ~0u).Chunk("LIST", p4), None, 3},
        {"RF64 without ds64", Wave("RF64").Fmt(2, 48000, 24).Data(six), NoDs64Chunk},
        {"RIFX", Wave("RIFX").Fmt(2, 48000, 24).Data(six), BigEndian},
        {"form type not WAVE", TakeBuilder().Riff().Form("AVI ").Fmt(2, 48000, 24).Data(six),
         NotWave},
        {"no fmt", Wave().Bext(0).Chunk("LIST", p4), NoFormatChunk},
        {"data before fmt", Wave().Chunk("JUNK", p4).Data(six).Fmt(2, 48000, 24), DataBeforeFormat},
        {"bext 601", Wave().Bext(0, "2026-03-14", "10:00:00", 0, 601).Fmt(2, 48000, 24).Data(six),
         BadBextChunk},
        {"no data chunk", fmt().Chunk("LIST", p4), NoDataChunk},
        {"chunk of 2^31 past the end", fmt().Chunk("junk", p4, 0x80000000).Data(six),
         DamagedChunks},
        {"chunk of 2^32-8 (minus 8 as a signed 32-bit offset)",
         fmt().Chunk("junk", p4, 0xFFFFFFF8).Data(six), DamagedChunks},
        {"TFID past the end", fmt().Chunk("TFID", Payload(26), 0xFFFFFFFF).Data(six),
         DamagedChunks},
        {"bext past the end",
         Wave().Bext(0, "2026-03-14", "10:00:00", 256, 0x80000000).Fmt(2, 48000, 24).Data(six),
         DamagedChunks},
        {"leading chunk past the end",
         Wave().Chunk("JUNK", p4, 0x80000000).Fmt(2, 48000, 24).Data(six), DamagedChunks},
        {"fmt past the end", Wave().Chunk("fmt ", Payload(16), 0x90000000).Data(six),
         DamagedChunks},
    };
    TempDir dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const auto file = ValidatedTake(dir, c.take);
        EXPECT_EQ(file->Problem(), c.problem);
        EXPECT_EQ(file->Mode(), kRiffClosed) << "Validate left the file open";
        if (c.problem != None) continue;
        // The samples start where the builder put them.
        const std::vector<uint8_t> bytes = c.take.Bytes();
        EXPECT_EQ(file->DataStart(),
                  std::search(bytes.begin(), bytes.end(), six.begin(), six.end()) - bytes.begin());
        EXPECT_EQ(file->StartLocation(), c.startLocation);
        EXPECT_EQ(file->DataSize(), c.dataSize);
        EXPECT_EQ(uint32_t{file->header.dataHeader.size}, c.dataSize);
        EXPECT_EQ(file->FrameCount(), c.dataSize / 6);
        uint64_t got = 0;
        std::vector<uint8_t> samples(c.dataSize);
        ASSERT_TRUE(file->ReadAudioData(samples.data(), 0, samples.size(), got));
        EXPECT_EQ(samples, Frames(c.dataSize / 6));
    }
}

TEST(kxFileTake, OnlyPlayableIntegerPcmIsAccepted) {
    struct Case {
        uint16_t tag;
        int channels, bits;
        uint32_t rate;
        uint32_t fmtSize;
        std::optional<uint16_t> blockAlign;
        uint16_t subFormat;
        TakeProblem problem;
        uint16_t encoding;  // as found
    };
    using enum TakeProblem;
    const Case cases[] = {
        {1, 2, 16, 44100, 16, {}, 1, None, 1},
        {1, 1, 24, 48000, 18, {}, 1, None, 1},
        {0xFFFE, 2, 24, 96000, 40, {}, 1, None, 1},
        {0xFFFE, 2, 32, 96000, 40, {}, 3, FloatSamples, 3},
        {0xFFFE, 2, 24, 96000, 18, {}, 1, CompressedFormat, 0xFFFE},  // without its GUID
        {3, 2, 32, 48000, 18, {}, 1, FloatSamples, 3},
        {0x55, 2, 16, 48000, 18, {}, 1, CompressedFormat, 0x55},
        {1, 1, 8, 8000, 16, {}, 1, UnsupportedBits, 1},
        {1, 2, 32, 48000, 16, {}, 1, UnsupportedBits, 1},
        {1, 3, 16, 48000, 16, {}, 1, UnsupportedChannels, 1},
        {1, 0, 16, 48000, 16, 2, 1, UnsupportedChannels, 1},
        {1, 2, 16, 0, 16, {}, 1, NoSampleRate, 1},
        {1, 2, 16, 48000, 16, 6, 1, BadBlockAlign, 1},
        {1, 2, 24, 48000, 16, 8, 1, BadBlockAlign, 1},  // 24 bits in 32-bit containers
    };
    TempDir dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message()
                     << "tag " << c.tag << ", " << c.channels << " ch, " << c.bits << " bit, "
                     << c.rate << " Hz, fmt " << c.fmtSize << ", sub-format " << c.subFormat);
        const TakeBuilder take =
            Wave()
                .Fmt(c.channels, c.rate, c.bits, c.tag, c.fmtSize, c.blockAlign, c.subFormat)
                .Data(Payload(48));
        const auto file = ValidatedTake(dir, take);
        EXPECT_EQ(file->Problem(), c.problem);
        const TakeFormat found = file->FoundFormat();
        EXPECT_EQ(found.encoding, c.encoding);
        EXPECT_EQ(found.channels, c.channels);
        EXPECT_EQ(found.bitsPerSample, c.bits);
    }
}

TEST(kxFileTake, AFailedReadLeavesNoDoubtWhereTheNextOneStarts) {
    TempDir dir;
    const TakeRecipe recipe;  // 1000 frames of 24-bit stereo
    const auto take = ValidatedTake(dir, testsupport::BuildTake(recipe));
    const std::vector<uint8_t> all = PatternBytes(recipe.seed, 0, recipe.frames, 2, 24);
    std::vector<uint8_t> buffer(12);
    uint64_t got = 0;
    EXPECT_FALSE(take->ReadAudioData(buffer.data(), all.size() - 6, 12, got)) << "past the end";
    ASSERT_TRUE(take->ReadAudioData(buffer.data(), all.size() - 6, 6, got)) << "the same offset";
    EXPECT_TRUE(std::equal(all.end() - 6, all.end(), buffer.begin()));
}

// Sparse files: the disk holds only the few bytes written.
TEST(kxFileLargeTake, SamplesPastTwoAndFourGiBAreReadWhereTheyAre) {
    TempDir dir;
    const uint64_t riffSize = 0xF0000000, rf64Size = 0x140000000;  // 3.75 and 5 GiB
    for (const uint64_t size : {riffSize, rf64Size}) {
        SCOPED_TRACE(size);
        const bool rf64 = size > UINT32_MAX;
        TakeBuilder take = Wave(rf64 ? "RF64" : "RIFF");
        if (rf64) take.Ds64(size);
        take.Bext(0).Fmt(2, 48000, 16).Data({}, rf64 ? ~0u : static_cast<uint32_t>(size));
        const uint64_t offset = size - 0x20000000;  // beyond 2 GiB, and 4 GiB for RF64
        const std::vector<uint8_t> pattern = PatternBytes(3, 0, 16, 2, 16);
        take.WriteSparse(dir / "long.wav", size, offset, pattern);

        kxFile file(dir.Path().c_str(), "long.wav");
        ASSERT_TRUE(file.Validate()) << static_cast<int>(file.Problem());
        EXPECT_EQ(file.DataSize(), size);
        std::vector<uint8_t> buffer(pattern.size());
        uint64_t got = 0;
        ASSERT_TRUE(file.ReadAudioData(buffer.data(), offset, buffer.size(), got));
        EXPECT_EQ(buffer, pattern);
        ASSERT_TRUE(file.ReadAudioData(buffer.data(), size - 4, 4, got));
    }
}

TEST(kxFileLargeTake, ChunkLargerThanTwoGiBIsSkippedForwards) {
    TempDir dir;
    // An odd size, as the recorder writes it: no pad byte.
    const uint32_t junkSize = 0x90000001;
    const std::vector<uint8_t> samples = PatternBytes(4, 0, 4, 1, 24);
    const std::vector<uint8_t> chunk = TakeBuilder().Data(samples).Bytes();
    const std::vector<uint8_t> data(chunk.begin() + 8, chunk.end());  // the data chunk alone
    const TakeBuilder take = Wave().Fmt(1, 48000, 24).Chunk("junk", {}, junkSize);
    take.WriteSparse(dir / "long.wav", junkSize + data.size(), junkSize, data);

    kxFile file(dir.Path().c_str(), "long.wav");
    ASSERT_TRUE(file.Validate()) << static_cast<int>(file.Problem());
    EXPECT_EQ(file.DataStart(), take.Bytes().size() + junkSize + 8);
    std::vector<uint8_t> buffer(samples.size());
    uint64_t got = 0;
    ASSERT_TRUE(file.ReadAudioData(buffer.data(), 0, buffer.size(), got));
    EXPECT_EQ(buffer, samples);
}

TEST(kxFileTake, LocationIsTheRecordingTimeInSecondsInAnyZoneAndOrdersTheProjectList) {
    struct Entry {
        const char* name;
        const char* date;  // nullptr: no 'bext'
        const char* time;
        int64_t key;
    };
    const Entry entries[] = {
        {"2040", "2040-12-31", "23:59:59", LibraryUtcSeconds(2040, 12, 31, 23, 59, 59)},
        {"late-night", "2026-03-14", "24:30:00", LibraryUtcSeconds(2026, 3, 15, 0, 30, 0)},
        {"past-2038", "2038-01-19", "03:14:08", int64_t{1} << 31},
        {"no-bext", nullptr, nullptr, -1},
        {"next-morning", "2026-03-15", "00:15:00", LibraryUtcSeconds(2026, 3, 15, 0, 15, 0)},
        {"same-as-late", "2026-03-15", "00:30:00", LibraryUtcSeconds(2026, 3, 15, 0, 30, 0)},
        {"leap-day", "2024-02-29", "12:34:56", LibraryUtcSeconds(2024, 2, 29, 12, 34, 56)},
        {"y2k", "2000-01-01", "00:00:00", 946684800},
        // Numbers that fill their field are not continued by the bytes behind it
        // (the time reference, "2345" here): the day is 2, the second 1.
        {"tight", "2026-01- 2", "10:11: 1", LibraryUtcSeconds(2026, 1, 2, 10, 11, 1)},
    };
    TempDir dir;
    std::vector<std::unique_ptr<kxFile>> takes;
    for (const Entry& e : entries) {
        SCOPED_TRACE(e.name);
        TakeBuilder take = Wave();
        if (e.date != nullptr) take.Bext(0x35343332, e.date, e.time);  // "2345"
        auto file = ValidatedTake(dir, take.Fmt(1, 48000, 16).Data(Payload(4)), e.name);
        ASSERT_EQ(file->Problem(), TakeProblem::None);
        for (const char* zone : {"UTC0", "EST5EDT,M3.2.0,M11.1.0", "IST-5:30", "NZST-12NZDT"}) {
            testsupport::ScopedTimeZone inZone(zone);
            EXPECT_EQ(file->GetLocation(), e.key) << zone;
        }
        takes.push_back(std::move(file));
    }
    // As the project's list orders them: by key, equal keys in the order added.
    std::stable_sort(takes.begin(), takes.end(),
                     [](const auto& a, const auto& b) { return a->GetLocation() < b->GetLocation(); });
    std::string order;
    for (const auto& take : takes) {
        const std::string& path = take->Path();
        order += path.substr(path.rfind('/') + 1) + " ";
    }
    EXPECT_EQ(order,
              "no-bext y2k leap-day tight next-morning late-night same-as-late past-2038 2040 ");

    for (const char* date : {"2026-00-10", "2026-13-01", "2026-01-00", "2026-02-30", "2025-02-29",
                             "2026-04-31", "abcd-ef-gh", ""}) {
        const auto file =
            ValidatedTake(dir, Wave().Bext(0, date, "10:00:00").Fmt(1, 48000, 16).Data(Payload(4)));
        EXPECT_EQ(file->GetLocation(), -1) << "'" << date << "'";
    }
}

TEST(kxFileTake, EveryFrameOfATakeLiesWithinTheTimeline) {
    TempDir dir;
    const std::vector<uint8_t> frames = Payload(80 * 6);  // 80 stereo 24-bit frames
    const struct {
        uint64_t start;
        TakeProblem problem;
    } cases[] = {
        {kTimelineFrames - 80, TakeProblem::None},  // its last frame is the timeline's last
        {kTimelineFrames - 79, TakeProblem::BadTimeReference},
        {kTimelineFrames + 5, TakeProblem::BadTimeReference},
        {3229793259066718542u, TakeProblem::BadTimeReference},  // random bytes over 'bext'
        {uint64_t{1} << 61, TakeProblem::BadTimeReference},
        {UINT64_MAX - 10, TakeProblem::BadTimeReference},  // its end would wrap past zero
    };
    for (const auto& c : cases) {
        const auto take = ValidatedTake(dir, Wave().Bext(c.start).Fmt(2, 48000, 24).Data(frames));
        EXPECT_EQ(take->Problem(), c.problem) << c.start;
    }
    // A take without frames still has its place, which must be on the timeline.
    EXPECT_EQ(
        ValidatedTake(dir, Wave().Bext(kTimelineFrames).Fmt(2, 48000, 24).Data({}))->Problem(),
        TakeProblem::BadTimeReference);
}
