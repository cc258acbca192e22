// Files from tools we did not write (ffmpeg, sox, libsndfile, Python) are read as
// takes, as ffprobe, libsndfile and ffmpeg read them. (Our outputs, read by
// others, are proven in MarkersTest and tests/cli.)
#include <gtest/gtest.h>
#include <sndfile.h>

#include <cstdio>
#include <ostream>
#include <sstream>
#include <string>
#include <vector>

#include "audiofile/kxFile.h"
#include "support/TakeBuilder.h"
#include "support/TempDir.h"

using testsupport::HaveTool;
using testsupport::RunCommand;
using testsupport::TempDir;

namespace {

// What a reader says of a file: its format and place.
struct TakeFacts {
    int channels = 0;
    uint32_t rate = 0;
    uint64_t frames = 0;
    uint64_t start = 0;  // the 'bext' time reference; 0 without one
    bool operator==(const TakeFacts&) const = default;
};

std::ostream& operator<<(std::ostream& out, const TakeFacts& f) {
    return out << f.channels << " ch, " << f.rate << " Hz, " << f.frames << " frames from "
               << f.start;
}

// ffprobe gives the rate, the channels, the length and the time reference (when
// there is one) in that order.
TakeFacts FactsFromFfprobe(const std::string& path) {
    std::istringstream lines(
        RunCommand("ffprobe -v error -select_streams a:0 -show_entries stream=channels,sample_rate,"
                   "duration_ts:format_tags=time_reference -of default=nw=1:nk=1 '" +
                   path + "'"));
    TakeFacts f;
    lines >> f.rate >> f.channels >> f.frames >> f.start;
    return f;
}

TakeFacts FactsFromSndfile(const std::string& path) {
    SF_INFO info{};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    if (file == nullptr) return {};
    TakeFacts f{info.channels, static_cast<uint32_t>(info.samplerate),
                static_cast<uint64_t>(info.frames)};
    SF_BROADCAST_INFO bext{};
    if (sf_command(file, SFC_GET_BROADCAST_INFO, &bext, sizeof bext) == SF_TRUE) {
        f.start = uint64_t{bext.time_reference_high} << 32 | bext.time_reference_low;
    }
    sf_close(file);
    return f;
}

}  // namespace

TEST(Interop, TakesFromOtherToolsReadAsFfprobeLibsndfileAndFfmpegReadThem) {
    if (!HaveTool("ffmpeg") || !HaveTool("ffprobe")) GTEST_SKIP() << "no ffmpeg or ffprobe";
    struct Case {
        const char* tool;
        const char* name;
        std::string command;  // writes the take to {out}
        int64_t key = -1;     // UTC seconds of the origination date and time; -1 without 'bext'
        TakeProblem problem = TakeProblem::None;
    };
    const std::string ffmpeg =
        "ffmpeg -nostdin -hide_banner -loglevel error -y -f lavfi -i "
        "sine=frequency=997:duration=0.25:sample_rate=";
    const std::string python =
        "python3 -c \"import sys, wave; w = wave.open(sys.argv[1], 'wb'); w.setnchannels(2); "
        "w.setsampwidth(3); w.setframerate(44100); w.writeframes(bytes(range(240)) * 99)\" {out}";
    const Case cases[] = {
        // 'JUNK' first, kept so the header can grow into RF64; extensible 'fmt '.
        {"ffmpeg", "ff-auto.wav", ffmpeg + "48000 -ac 2 -c:a pcm_s24le -rf64 auto {out}"},
        // RF64: 'ds64', 'fmt ', 'bext', LIST, data of size 0xFFFFFFFF.
        {"ffmpeg", "ff-rf64.wav",
         ffmpeg + "44100 -ac 1 -c:a pcm_s16le -rf64 always -write_bext 1 "
                  "-metadata time_reference=123456 {out}"},
        // 'fmt ', 'bext', LIST, data. A coding history of odd length gives a 'bext' of 615 bytes
        // and a pad byte;
        // a title gives a LIST INFO chunk.
        {"ffmpeg", "ff-list.wav",
         ffmpeg + "44100 -ac 1 -c:a pcm_s16le -write_bext 1 -metadata title=Take "
                  "-metadata origination_date=2040-06-30 -metadata origination_time=23:59:58 "
                  "-metadata coding_history=A=PCM,F=4410 {out}",
         2224713598},
        // Extensible 'fmt ' of 24 bits and a 'fact' chunk.
        {"sox", "sox24.wav", "sox -n -r 48000 -c 2 -b 24 {out} synth 0.25 sine 440"},
        // libsndfile keeps the source's 'bext' (2026-03-14 10:00:00, a time reference
        // that needs its high word), behind 'fmt '.
        {"sndfile-convert", "sf.wav", "sndfile-convert -pcm16 {src} {out}", 1773482400},
        {"sndfile-convert", "sf.rf64", "sndfile-convert -pcm24 {src} {out}", 1773482400},
        {"python3", "python.wav", python},
        {"sndfile-convert", "rifx.wav", "sndfile-convert -endian=big {src} {out}", -1,
         TakeProblem::BigEndian},
        {"sndfile-convert", "adpcm.wav", "sndfile-convert -ima-adpcm {src} {out}", -1,
         TakeProblem::CompressedFormat},
        {"ffmpeg", "float.wav", ffmpeg + "48000 -c:a pcm_f32le {out}", -1,
         TakeProblem::FloatSamples},
    };
    TempDir dir;
    const std::string source = dir / "source.wav";  // what sndfile-convert converts
    testsupport::TakeRecipe recipe;
    recipe.start = 4800000000;
    testsupport::WriteTake(source, recipe);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        if (!HaveTool(c.tool)) {
            std::printf("skipped %s: %s is not installed\n", c.name, c.tool);
            continue;
        }
        const std::string path = dir / c.name;
        std::string command = c.command;
        command.replace(command.find("{out}"), 5, "'" + path + "'");
        if (const size_t at = command.find("{src}"); at != std::string::npos) {
            command.replace(at, 5, "'" + source + "'");
        }
        int status = 0;
        RunCommand(command, &status);
        ASSERT_EQ(status, 0) << command;

        kxFile take(dir.Path().c_str(), c.name);
        EXPECT_EQ(take.Validate(), c.problem == TakeProblem::None);
        EXPECT_EQ(take.Problem(), c.problem);
        if (c.problem != TakeProblem::None) continue;
        const TakeFacts ours{take.Channels(), take.SampleRate(), take.FrameCount(),
                             take.StartLocation()};
        EXPECT_EQ(ours, FactsFromFfprobe(path)) << "ffprobe";
        EXPECT_EQ(ours, FactsFromSndfile(path)) << "libsndfile";
        EXPECT_EQ(take.GetLocation(), c.key);

        std::vector<uint8_t> samples(take.DataSize());
        uint64_t got = 0;
        ASSERT_TRUE(take.ReadAudioData(samples.data(), 0, samples.size(), got));
        const std::string raw = dir / "decoded.raw";
        const std::string codec = take.BitsPerSample() == 24 ? "s24le" : "s16le";
        RunCommand("ffmpeg -v error -y -i '" + path + "' -f " + codec + " -c:a pcm_" + codec +
                       " '" + raw + "'",
                   &status);
        ASSERT_EQ(status, 0);
        EXPECT_TRUE(testsupport::ReadFileBytes(raw) == samples) << "ffmpeg decodes other samples";
    }
}
