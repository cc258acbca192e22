// Markers and the texts an output carries: what we write is read back by readers
// we did not write (libsndfile, ffprobe, sox, mediainfo) with the audio untouched,
// and kxFile::Describe finds the markers that other programs write wherever they
// put them.
#include <gtest/gtest.h>
#include <sndfile.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "audiofile/kxFile.h"
#include "support/TakeBuilder.h"
#include "support/TempDir.h"

using namespace testsupport;

namespace {

std::vector<uint8_t> Word(uint32_t value) {
    return {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8),
            static_cast<uint8_t>(value >> 16), static_cast<uint8_t>(value >> 24)};
}

void Add(std::vector<uint8_t>& bytes, const std::vector<uint8_t>& more) {
    bytes.insert(bytes.end(), more.begin(), more.end());
}

// A 'cue ' payload declaring `count` points, holding one per position (identifiers 1, 2, ...).
std::vector<uint8_t> CuePayload(const std::vector<uint32_t>& positions, uint32_t count) {
    std::vector<uint8_t> bytes = Word(count);
    for (size_t n = 0; n < positions.size(); ++n) {
        for (uint32_t field :
             {static_cast<uint32_t>(n + 1), positions[n], 0x61746164u, 0u, 0u, positions[n]}) {
            Add(bytes, Word(field));
        }
    }
    return bytes;
}

// A LIST payload of `type` holding, per label, a 'labl' of odd size (no second
// zero byte) followed by a RIFF pad byte where needed, and a 'note' between them.
std::vector<uint8_t> ListPayload(const std::string& type,
                                 const std::vector<std::pair<uint32_t, std::string>>& labels) {
    std::vector<uint8_t> bytes(type.begin(), type.end());
    for (const auto& [id, text] : labels) {
        const std::vector<uint8_t> note = {'n', 'o', 't', 'e', 5, 0, 0, 0, 9, 0, 0, 0, 'x', 0};
        Add(bytes, note);
        const auto size = static_cast<uint32_t>(4 + text.size() + 1);
        Add(bytes, {'l', 'a', 'b', 'l'});
        Add(bytes, Word(size));
        Add(bytes, Word(id));
        bytes.insert(bytes.end(), text.begin(), text.end());
        bytes.push_back(0);
        if (size % 2 == 1) bytes.push_back(0);
    }
    return bytes;
}

std::string Quietly(const std::string& command) {
    return RunCommand(command + " 2>/dev/null");
}

}  // namespace

TEST(Markers, OutputsCarryThemAndOtherReadersSeeThemWithTheAudioUntouched) {
    const std::vector<WaveMarker> marked = {
        {0, "Take 01"}, {1, ""}, {1500, "Über, \"quoted\""}, {2999, "take-2b"}};
    struct Case {
        int channels, bits;
        std::vector<WaveMarker> markers;
    } cases[] = {{1, 24, {}}, {1, 24, marked}, {2, 16, {}}, {2, 16, marked}};
    TempDir dir;
    const uint64_t frames = 3001;
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.channels << " ch " << c.bits << " bit, "
                                        << c.markers.size() << " markers");
        const std::string path = dir / "out.wav";
        kxFile out(path.c_str(), static_cast<int8_t>(c.channels), 44100,
                   static_cast<int8_t>(c.bits), 77);
        out.SetMarkers(c.markers);
        ASSERT_TRUE(out.OpenForWrite());
        const std::vector<uint8_t> samples = PatternBytes(3, 0, frames, c.channels, c.bits);
        ASSERT_TRUE(out.WriteData(samples.data(), samples.size()));
        ASSERT_TRUE(out.Close());

        // The data chunk header stands right before the samples, behind the markers.
        const std::vector<uint8_t> bytes = ReadFileBytes(path);
        const uint64_t dataStart = out.DataStart();
        EXPECT_EQ(dataStart == 1024, c.markers.empty());
        EXPECT_EQ(dataStart % 2, 0u);
        EXPECT_EQ(Le32(bytes, 4), bytes.size() - 8);
        EXPECT_EQ(std::string(bytes.begin() + dataStart - 8, bytes.begin() + dataStart - 4),
                  "data");
        EXPECT_EQ(Le32(bytes, dataStart - 4), samples.size());
        EXPECT_TRUE(std::equal(samples.begin(), samples.end(), bytes.begin() + dataStart));

        WaveDescription described;
        ASSERT_EQ(kxFile::Describe(path, described), TakeProblem::None);
        EXPECT_EQ(described.markers, c.markers);
        EXPECT_EQ(described.frames, frames);

        // libsndfile: the audio sample for sample, and the cue points with their labels.
        SF_INFO info{};
        SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
        ASSERT_NE(file, nullptr) << sf_strerror(nullptr);
        EXPECT_EQ(info.frames, static_cast<sf_count_t>(frames));
        std::vector<int16_t> read(frames * c.channels);
        std::vector<int16_t> expected(read.size());
        for (size_t i = 0; i < expected.size(); ++i) {
            const size_t at = i * (c.bits / 8) + (c.bits / 8 - 2);  // the top 16 bits
            expected[i] = static_cast<int16_t>(samples[at] | samples[at + 1] << 8);
        }
        EXPECT_EQ(sf_readf_short(file, read.data(), info.frames), info.frames);
        EXPECT_EQ(read, expected);
        SF_CUES cues{};
        const bool hasCues = sf_command(file, SFC_GET_CUE, &cues, sizeof cues) == SF_TRUE;
        sf_close(file);
        EXPECT_EQ(hasCues ? cues.cue_count : 0u, c.markers.size());
        for (size_t n = 0; hasCues && n < c.markers.size(); ++n) {
            EXPECT_EQ(cues.cue_points[n].position, c.markers[n].position);
            EXPECT_EQ(cues.cue_points[n].sample_offset, c.markers[n].position);
            EXPECT_EQ(cues.cue_points[n].name, c.markers[n].label);
        }

        // ffprobe lists the markers as chapters; sox and mediainfo see the same audio.
        if (HaveTool("ffprobe")) {
            std::string chapters;
            for (const WaveMarker& m : c.markers) {
                chapters += std::to_string(m.position) + "\n" + m.label + "\n";
            }
            EXPECT_EQ(Quietly("ffprobe -v error -show_entries chapter=start:chapter_tags=title "
                              "-of default=nw=1:nk=1 '" +
                              path + "'"),
                      chapters);
        }
        if (HaveTool("sox")) {
            const std::string raw = Quietly("sox '" + path + "' -t raw -");
            EXPECT_TRUE(std::vector<uint8_t>(raw.begin(), raw.end()) == samples);
        }
        if (HaveTool("mediainfo")) {
            EXPECT_EQ(Quietly("mediainfo --Inform='Audio;%SamplingCount%' '" + path + "'"),
                      std::to_string(frames) + "\n");
        }
    }
}

TEST(Markers, DescribeFindsThemWhereverOtherProgramsPutThem) {
    const std::vector<uint8_t> odd = PatternBytes(1, 0, 333, 1, 24);  // 999 bytes
    const auto take = [&](bool rf64) {
        TakeBuilder b;
        b.Riff(rf64 ? "RF64" : "RIFF").Form();
        if (rf64) b.Ds64(odd.size());
        b.Fmt(1, 48000, 24);
        return b;
    };
    struct Case {
        const char* name;
        TakeBuilder file;
        std::vector<WaveMarker> markers;
        uint64_t frames = 333;
    } cases[] = {
        // Behind odd-sized samples (with their pad byte), labels before the points.
        {"behind the data",
         take(false)
             .Chunk("data", odd, {}, true)
             .Chunk("LIST", ListPayload("adtl", {{2, "second"}, {1, "first!"}}))
             .Chunk("cue ", CuePayload({10, 200}, 2)),
         {{10, "first!"}, {200, "second"}}},
        {"before the data of RF64, LIST INFO passed over",
         take(true)
             .Chunk("LIST", ListPayload("INFO", {{1, "not a label"}}))
             .Chunk("cue ", CuePayload({7}, 1))
             .Data(odd, 0xFFFFFFFF),
         {{7, ""}}},
        // A count beyond the chunk: only whole cue points; a chunk past the end
        // behind them stops the walk, keeping what was found.
        {"count beyond the chunk, then damage",
         take(false)
             .Chunk("data", odd, {}, true)
             .Chunk("cue ", CuePayload({5, 6}, 1000))
             .Chunk("LIST", ListPayload("adtl", {{1, "a"}}), 100000),
         {{5, ""}, {6, ""}}},
        // A data chunk declaring more than the file holds: nothing behind it is read.
        {"data cut short", take(false).Data(odd, 5000).Chunk("cue ", CuePayload({1}, 1)), {}, 345},
    };
    TempDir dir;
    for (Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = dir / "other.wav";
        c.file.Write(path);
        WaveDescription d;
        ASSERT_EQ(kxFile::Describe(path, d), TakeProblem::None);
        EXPECT_EQ(d.markers, c.markers);
        EXPECT_EQ(d.frames, c.frames);
        EXPECT_EQ(d.format.sampleRate, 48000u);
        EXPECT_FALSE(d.hasBext);
    }

    // libsndfile writes its cue points where it likes; they are found all the same.
    const std::string path = dir / "sndfile.wav";
    SF_INFO info{};
    info.samplerate = 48000;
    info.channels = 2;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
    ASSERT_NE(file, nullptr);
    SF_CUES cues{};
    cues.cue_count = 2;
    cues.cue_points[0] = {1, 0, 0x61746164, 0, 0, 0, "start"};
    cues.cue_points[1] = {2, 90, 0x61746164, 0, 0, 90, "later"};
    EXPECT_EQ(sf_command(file, SFC_SET_CUE, &cues, sizeof cues), SF_TRUE);
    std::vector<int16_t> silence(200);
    sf_writef_short(file, silence.data(), 100);
    sf_close(file);
    WaveDescription d;
    ASSERT_EQ(kxFile::Describe(path, d), TakeProblem::None);
    EXPECT_EQ(d.frames, 100u);
    ASSERT_EQ(d.markers.size(), 2u);
    EXPECT_EQ(d.markers[1].position, 90u);
}

TEST(BextTexts, AreCutToTheirFieldsWithoutSplittingACharacter) {
    const std::string a255(255, 'a');
    struct Case {
        std::string text;
        std::string description;  // what the 256-byte field holds, up to its first zero
        std::string originator;   // and the 32-byte one
    } cases[] = {
        {"Sample Session", "Sample Session", "Sample Session"},
        {a255 + "bc", a255 + "b", std::string(32, 'a')},
        {a255 + "\xC3\x9C", a255, std::string(32, 'a')},  // Ü
        {std::string(30, 'x') + "\xE2\x82\xAC", std::string(30, 'x') + "\xE2\x82\xAC",
         std::string(30, 'x')},  // €
        {"\xF0\x9F\x8E\xB5" + std::string(30, 'y'), "\xF0\x9F\x8E\xB5" + std::string(30, 'y'),
         "\xF0\x9F\x8E\xB5" + std::string(28, 'y')},  // a 4-byte note
    };
    for (const Case& c : cases) {
        BextChunkData bext;
        bext.SetDescription(c.text);
        bext.SetOriginator(c.text);
        EXPECT_EQ(std::string(bext.description, strnlen(bext.description, 256)), c.description);
        EXPECT_EQ(std::string(bext.originator, strnlen(bext.originator, 32)), c.originator);
        EXPECT_EQ(bext.originatorReference[0], 0) << "nothing runs into the next field";
    }
}
