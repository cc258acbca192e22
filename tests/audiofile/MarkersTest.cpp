// Markers and the texts an output carries: what we write is read back by readers
// we did not write (libsndfile, ffprobe, sox, mediainfo) with the audio untouched,
// and kxFile::Describe finds the markers that other programs write wherever they
// put them.
#include <gtest/gtest.h>
#include <sndfile.h>

#include <cstring>
#include <string>
#include <vector>

#include "audiofile/kxFile.h"
#include "support/TakeBuilder.h"
#include "support/TempDir.h"
#include "support/WaveHeader.h"

using namespace testsupport;

namespace {

// A little-endian word followed by text.
std::vector<uint8_t> Bytes(const std::string& text, uint32_t word = 0) {
    std::vector<uint8_t> bytes(4 + text.size());
    for (int b = 0; b < 4; ++b) bytes[b] = static_cast<uint8_t>(word >> (8 * b));
    std::copy(text.begin(), text.end(), bytes.begin() + 4);
    return bytes;
}

// A 'cue ' payload declaring `count` points, holding one per position (ids 1, 2, ...).
std::vector<uint8_t> CuePayload(const std::vector<uint32_t>& positions, uint32_t count) {
    std::vector<uint8_t> bytes = Bytes("", count);
    for (uint32_t n = 0; n < positions.size(); ++n) {
        for (uint32_t word : {n + 1, positions[n], 0x61746164u, 0u, 0u, positions[n]}) {
            const std::vector<uint8_t> more = Bytes("", word);
            bytes.insert(bytes.end(), more.begin(), more.end());
        }
    }
    return bytes;
}

// A LIST payload: the type, then chunks as a RIFF writer lays them out (pad bytes included).
std::vector<uint8_t> ListPayload(const std::string& type, const TakeBuilder& chunks) {
    const std::vector<uint8_t> riff = chunks.Bytes();
    std::vector<uint8_t> bytes(type.begin(), type.end());
    bytes.insert(bytes.end(), riff.begin() + 8, riff.end());
    return bytes;
}

std::string Quietly(const std::string& command) {
    return RunCommand(command + " 2>/dev/null");
}

}  // namespace

TEST(Markers, OutputsCarryThemAndOtherReadersSeeThemWithTheAudioUntouched) {
    struct Case {
        int channels, bits;
        std::vector<WaveMarker> markers;
    } cases[] = {{1, 24, {{0, "Take 01"}, {1, ""}, {1500, "Über, \"quoted\""}, {2999, "t-2b"}}},
                 {2, 16, {}}};
    TempDir dir;
    const uint64_t frames = 3001;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.markers.size());
        const std::string path = dir / "out.wav";
        kxFile out(path.c_str(), static_cast<int8_t>(c.channels), 44100,
                   static_cast<int8_t>(c.bits), 77);
        out.SetMarkers(c.markers);
        out.header.bext.data.SetDescription("Caf\xC3\xA9 \xC3\x9Cn\xC3\xAF");  // Café Ünï
        out.header.bext.SetCodingHistory(CodingHistoryLine(out.header.format.data, "proj2wav 9"));
        ASSERT_TRUE(out.OpenForWrite());
        const std::vector<uint8_t> samples = PatternBytes(3, 0, frames, c.channels, c.bits);
        ASSERT_TRUE(out.WriteData(samples.data(), samples.size()));
        ASSERT_TRUE(out.Close());

        // The data chunk header stands right before the samples, behind the markers.
        // Odd chunks are followed by a pad byte that their size leaves out: the
        // samples of 24-bit mono, the label "t-2b" (4 + 4 + 1 bytes).
        const std::vector<uint8_t> bytes = ReadFileBytes(path);
        const std::string text(bytes.begin(), bytes.end());
        EXPECT_EQ(text.size() % 2, 0u);
        EXPECT_EQ(text.back() == '\0', samples.size() % 2 == 1);
        EXPECT_EQ(text.find("labl\x09") == std::string::npos, c.markers.empty());
        if (!c.markers.empty()) {
            EXPECT_EQ(text.substr(text.find("labl\x09"), 18),
                      std::string("labl\x09\0\0\0\x04\0\0\0t-2b\0\0", 18));
        }
        const std::string history = "A=PCM,F=44100,W=" + std::to_string(c.bits) +
                                    (c.channels == 1 ? ",M=mono" : ",M=stereo") +
                                    ",T=proj2wav 9\r\n" + std::string(1, '\0');
        EXPECT_EQ(text.substr(12 + 8 + 602, history.size()), history);
        const WaveHeader header = ReadWaveHeader(path);
        const uint64_t dataStart = out.DataStart();
        EXPECT_EQ(dataStart == 1024, c.markers.empty());
        EXPECT_EQ(dataStart % 2, 0u);
        EXPECT_TRUE(header.Consistent());
        EXPECT_EQ(header.dataOffset, dataStart);
        EXPECT_EQ(header.dataSize, samples.size());
        WaveDescription described;
        ASSERT_EQ(kxFile::Describe(path, described), TakeProblem::None);
        EXPECT_EQ(described.markers, c.markers);
        EXPECT_EQ(described.frames, frames);

        // libsndfile: the sample bytes, and the cue points with their labels.
        SF_INFO info{};
        SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
        ASSERT_NE(file, nullptr) << sf_strerror(nullptr);
        EXPECT_EQ(info.frames, static_cast<sf_count_t>(frames));
        std::vector<uint8_t> raw(samples.size());
        EXPECT_EQ(sf_read_raw(file, raw.data(), static_cast<sf_count_t>(raw.size())),
                  static_cast<sf_count_t>(raw.size()));
        EXPECT_TRUE(raw == samples);
        SF_CUES cues{};
        if (sf_command(file, SFC_GET_CUE, &cues, sizeof cues) != SF_TRUE) cues.cue_count = 0;
        char log[8192] = {};
        sf_command(file, SFC_GET_LOG_INFO, log, sizeof log);
        // No size it disagrees with. (It notes every odd data size, pad byte or not.)
        EXPECT_EQ(std::string(log).find("(should be"), std::string::npos) << log;
        sf_close(file);
        ASSERT_EQ(cues.cue_count, c.markers.size());
        for (size_t n = 0; n < c.markers.size(); ++n) {
            EXPECT_EQ(cues.cue_points[n].position, c.markers[n].position);
            EXPECT_EQ(cues.cue_points[n].name, c.markers[n].label);
        }

        // ffprobe lists the markers as chapters; sox and mediainfo see the same audio.
        std::string chapters;
        for (const WaveMarker& m : c.markers)
            chapters += std::to_string(m.position) + "\n" + m.label + "\n";
        if (HaveTool("ffprobe")) {
            EXPECT_EQ(Quietly("ffprobe -v error -show_entries chapter=start:chapter_tags=title "
                              "-of default=nw=1:nk=1 '" +
                              path + "'"),
                      chapters);
        }
        if (HaveTool("sox")) {
            const std::string decoded = Quietly("sox '" + path + "' -t raw -");
            EXPECT_TRUE(std::vector<uint8_t>(decoded.begin(), decoded.end()) == samples);
        }
        if (HaveTool("mediainfo")) {
            EXPECT_EQ(Quietly("mediainfo --Inform='Audio;%SamplingCount%' '" + path + "'"),
                      std::to_string(frames) + "\n");
            EXPECT_EQ(Quietly("mediainfo --Inform='General;%Description%' '" + path + "'"),
                      "Cafe Uni\n");
        }
    }
}

TEST(Markers, DescribeFindsThemWhereverOtherProgramsPutThem) {
    const std::vector<uint8_t> odd = PatternBytes(1, 0, 333, 1, 24);  // 999 bytes
    const auto take = [&](const char* riff) {
        TakeBuilder b;
        b.Riff(riff).Form();
        if (std::string(riff) == "RF64") b.Ds64(odd.size());
        return b.Fmt(1, 48000, 24);
    };
    const auto labels = TakeBuilder()
                            .Chunk("note", Bytes("x", 9), {}, true)
                            .Chunk("labl", Bytes({"second", 7}, 2), {}, true)  // odd, a pad behind
                            .Chunk("labl", Bytes({"first!", 7}, 1), {}, true);
    struct Case {
        const char* name;
        TakeBuilder file;
        std::vector<WaveMarker> markers;
        uint64_t frames = 333;
    } cases[] = {
        {"behind odd samples, labels before their points",
         take("RIFF")
             .Chunk("data", odd, {}, true)
             .Chunk("LIST", ListPayload("adtl", labels))
             .Chunk("cue ", CuePayload({10, 200}, 2)),
         {{10, "first!"}, {200, "second"}}},
        {"before the data of RF64, LIST INFO passed over",
         take("RF64")
             .Chunk("LIST", ListPayload("INFO", labels))
             .Chunk("cue ", CuePayload({7}, 1))
             .Data(odd, 0xFFFFFFFF),
         {{7, ""}}},
        // Only whole cue points; a chunk running past the end stops the walk.
        {"count beyond the chunk, then damage",
         take("RIFF")
             .Chunk("data", odd, {}, true)
             .Chunk("cue ", CuePayload({5, 6}, 1000))
             .Chunk("LIST", ListPayload("adtl", labels), 100000),
         {{5, ""}, {6, ""}}},
        // Samples cut short: nothing behind them is read.
        {"data cut short", take("RIFF").Data(odd, 5000).Chunk("cue ", CuePayload({1}, 1)), {}, 345},
    };
    TempDir dir;
    const std::string path = dir / "other.wav";
    for (Case& c : cases) {
        SCOPED_TRACE(c.name);
        c.file.Write(path);
        WaveDescription d;
        ASSERT_EQ(kxFile::Describe(path, d), TakeProblem::None);
        EXPECT_EQ(d.markers, c.markers);
        EXPECT_EQ(d.frames, c.frames);
    }

    // libsndfile writes cue points, without labels.
    SF_INFO info{0, 48000, 2, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 0, 0};
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
    ASSERT_NE(file, nullptr);
    SF_CUES cues{2, {{1, 0, 0x61746164, 0, 0, 0, "start"}, {2, 90, 0x61746164, 0, 0, 90, "later"}}};
    EXPECT_EQ(sf_command(file, SFC_SET_CUE, &cues, sizeof cues), SF_TRUE);
    const std::vector<int16_t> silence(200);
    sf_writef_short(file, silence.data(), 100);
    sf_close(file);
    WaveDescription d;
    ASSERT_EQ(kxFile::Describe(path, d), TakeProblem::None);
    EXPECT_EQ(d.frames, 100u);
    EXPECT_EQ(d.markers, (std::vector<WaveMarker>{{0, ""}, {90, ""}}));
}

TEST(BextTexts, AreAsciiCutToTheirFields) {
    const std::string a255(255, 'a'), x30(30, 'x');
    struct Case {
        std::string text, description, originator;  // the fields up to their first zero
    } cases[] = {
        {"Sample Session", "Sample Session", "Sample Session"},
        {"Caf\xC3\xA9 \xC3\x9Cn\xC3\xAF", "Cafe Uni", "Cafe Uni"},  // Café Ünï
        {"Cafe\xCC\x81 \xC5\x81\xC3\xB3"
         "d\xC5\xBA",
         "Cafe Lodz", "Cafe Lodz"},  // NFD é, Łódź
        // 東京, ß, Œ, a tab, a byte that is no UTF-8, a sequence cut short.
        {"\xE6\x9D\xB1\xE4\xBA\xAC \xC3\x9F\xC5\x92\ta\xFF"
         "b\xE2\x82",
         "__ ___a_b__", "__ ___a_b__"},
        {a255 + "\xC3\x9C", a255 + "U", std::string(32, 'a')},  // Ü
        {x30 + "\xE2\x82\xAC", x30 + "_", x30 + "_"},           // €
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.description);
        BextChunkData bext;
        bext.SetDescription(c.text);
        bext.SetOriginator(c.text);
        EXPECT_EQ(std::string(bext.description, strnlen(bext.description, 256)), c.description);
        EXPECT_EQ(std::string(bext.originator, strnlen(bext.originator, 32)), c.originator);
        EXPECT_EQ(bext.originatorReference[0], 0) << "nothing runs into the next field";
    }
}
