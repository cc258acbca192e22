// Files from tools we did not write are read as takes, and our outputs are read
// by readers we did not write: ffmpeg, sox, libsndfile, ffprobe and mediainfo.
#include <gtest/gtest.h>
#include <sndfile.h>

#include <ctime>
#include <memory>
#include <string>
#include <vector>

#include "audiofile/kxFile.h"
#include "support/TakeBuilder.h"
#include "support/TempDir.h"

using testsupport::HaveTool;
using testsupport::RunCommand;
using testsupport::TempDir;

namespace {

// What libsndfile reads from a file: its format and every sample, scaled to 32 bits.
struct SndfileContents {
    int format = 0;
    int channels = 0;
    int rate = 0;
    std::vector<int32_t> samples;
};

bool ReadWithSndfile(const std::string& path, SndfileContents& out) {
    SF_INFO info{};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    if (file == nullptr) return false;
    out.format = info.format;
    out.channels = info.channels;
    out.rate = info.samplerate;
    out.samples.assign(static_cast<size_t>(info.frames * info.channels), 0);
    const sf_count_t got = sf_readf_int(file, out.samples.data(), info.frames);
    sf_close(file);
    return got == info.frames;
}

// Little-endian samples of `bits` bits as 32-bit values with the sample in the top bits.
std::vector<int32_t> ToTopAligned(const std::vector<uint8_t>& bytes, int bits) {
    const size_t width = static_cast<size_t>(bits / 8);
    std::vector<int32_t> samples;
    for (size_t at = 0; at + width <= bytes.size(); at += width) {
        uint32_t value = 0;
        for (size_t b = 0; b < width; ++b)
            value |= uint32_t{bytes[at + b]} << (8 * (4 - width + b));
        samples.push_back(static_cast<int32_t>(value));
    }
    return samples;
}

// Validates a take made by a tool and checks that its samples are what libsndfile reads.
std::unique_ptr<kxFile> ValidateAgainstSndfile(const TempDir& dir, const std::string& name) {
    auto take = std::make_unique<kxFile>(dir.Path().c_str(), name.c_str());
    EXPECT_TRUE(take->Validate()) << name << ": problem " << static_cast<int>(take->Problem());
    std::vector<uint8_t> bytes(take->DataSize());
    uint64_t got = 0;
    EXPECT_TRUE(take->ReadAudioData(bytes.data(), 0, bytes.size(), got));
    SndfileContents reference;
    EXPECT_TRUE(ReadWithSndfile(dir / name, reference)) << name;
    EXPECT_GT(reference.samples.size(), 0u);
    EXPECT_EQ(ToTopAligned(bytes, take->BitsPerSample()), reference.samples)
        << name << ": our samples differ from libsndfile's";
    return take;
}

}  // namespace

TEST(Interop, TakesFromFfmpegAndSoxAreAcceptedWithTheirFormatAndPlace) {
    struct Case {
        const char* tool;
        const char* name;
        std::string command;  // writes the take to the path that follows it
        int channels, bits;
        uint32_t rate;
        uint64_t start;
        int64_t key;  // UTC seconds of the origination date and time; -1 without 'bext'
    };
    const std::string ffmpeg =
        "ffmpeg -nostdin -hide_banner -loglevel error -y -f lavfi -i "
        "sine=frequency=997:duration=0.25:sample_rate=";
    const Case cases[] = {
        // ffmpeg writes 'fmt ', 'bext', LIST, data; stereo 24-bit as
        // WAVE_FORMAT_EXTENSIBLE. This time reference needs its high word.
        {"ffmpeg", "ff24.wav",
         ffmpeg + "48000 -ac 2 -c:a pcm_s24le -write_bext 1 -metadata time_reference=5000000000 "
                  "-metadata origination_date=2026-01-02 -metadata origination_time=10:11:12",
         2, 24, 48000, 5000000000, 1767348672},
        // A coding history of odd length gives a 'bext' of 615 bytes and a pad byte.
        {"ffmpeg", "ff16.wav",
         ffmpeg + "44100 -ac 1 -c:a pcm_s16le -write_bext 1 -metadata time_reference=123456 "
                  "-metadata origination_date=2040-06-30 -metadata origination_time=23:59:58 "
                  "-metadata coding_history=A=PCM,F=4410",
         1, 16, 44100, 123456, 2224713598},
        // sox writes no 'bext'; for 24 bits an extensible 'fmt ' and a 'fact' chunk.
        {"sox", "sox16.wav", "sox -n -r 44100 -c 1 -b 16", 1, 16, 44100, 0, -1},
        {"sox", "sox24.wav", "sox -n -r 48000 -c 2 -b 24", 2, 24, 48000, 0, -1},
    };
    TempDir dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        if (!HaveTool(c.tool)) GTEST_SKIP() << c.tool << " is not installed";
        int status = 0;
        const std::string path = dir / c.name;
        RunCommand(c.command + " '" + path + "'" +
                       (c.tool == std::string("sox") ? " synth 0.25 sine 440" : ""),
                   &status);
        ASSERT_EQ(status, 0) << c.command;
        const auto take = ValidateAgainstSndfile(dir, c.name);
        EXPECT_EQ(take->Channels(), c.channels);
        EXPECT_EQ(take->BitsPerSample(), c.bits);
        EXPECT_EQ(take->SampleRate(), c.rate);
        EXPECT_EQ(take->FrameCount(), c.rate / 4);
        EXPECT_EQ(take->StartLocation(), c.start);
        EXPECT_EQ(take->GetLocation(), c.key);
    }
}

TEST(Interop, LibsndfileReadsOurOutputsSampleForSample) {
    TempDir dir;
    const uint64_t frames = 3001;
    for (const int bits : {16, 24}) {
        for (const int channels : {1, 2}) {
            SCOPED_TRACE(testing::Message() << bits << " bit, " << channels << " channels");
            const std::string path = dir / "out.wav";
            kxFile out(path.c_str(), static_cast<int8_t>(channels), 96000,
                       static_cast<int8_t>(bits), 42);
            EXPECT_EQ(out.BytesPerSample(), channels * bits / 8);
            ASSERT_TRUE(out.OpenForWrite());
            const std::vector<uint8_t> samples =
                testsupport::PatternBytes(11, 0, frames, channels, bits);
            const size_t half = (frames / 2) * out.BytesPerSample();
            ASSERT_TRUE(out.WriteData(samples.data(), half));
            ASSERT_TRUE(out.WriteData(samples.data() + half, samples.size() - half));
            ASSERT_TRUE(out.Close());

            SndfileContents read;
            ASSERT_TRUE(ReadWithSndfile(path, read));
            EXPECT_EQ(read.format,
                      SF_FORMAT_WAV | (bits == 16 ? SF_FORMAT_PCM_16 : SF_FORMAT_PCM_24));
            EXPECT_EQ(read.channels, channels);
            EXPECT_EQ(read.rate, 96000);
            EXPECT_EQ(read.samples.size(), frames * channels);
            EXPECT_EQ(read.samples, ToTopAligned(samples, bits));
        }
    }
}

TEST(Interop, ProbesReportTheOutputsTimeReference) {
    TempDir dir;
    const std::string path = dir / "placed.wav";
    const uint64_t start = 5000000000;  // beyond 32 bits: about 29 hours at 48 kHz
    kxFile out(path.c_str(), 2, 48000, 24, start);
    ASSERT_TRUE(out.OpenForWrite());
    const std::vector<uint8_t> samples = testsupport::PatternBytes(12, 0, 4800, 2, 24);
    ASSERT_TRUE(out.WriteData(samples.data(), samples.size()));
    ASSERT_TRUE(out.Close());

    if (HaveTool("ffprobe")) {
        const std::string reported = RunCommand(
            "ffprobe -v error -show_entries format_tags=time_reference "
            "-of default=nw=1:nk=1 '" +
            path + "'");
        EXPECT_EQ(reported, "5000000000\n");
        const std::string stream = RunCommand(
            "ffprobe -v error -show_entries stream=codec_name,channels,sample_rate "
            "-of default=nw=1 '" +
            path + "'");
        EXPECT_EQ(stream, "codec_name=pcm_s24le\nsample_rate=48000\nchannels=2\n");
    }
    if (HaveTool("mediainfo")) {
        // mediainfo gives the time reference as a delay in milliseconds.
        const std::string delay = RunCommand("mediainfo --Inform='Audio;%Delay%' '" + path + "'");
        ASSERT_FALSE(delay.empty());
        EXPECT_NEAR(std::stod(delay), start / 48.0, 1.0);
    }
    if (!HaveTool("ffprobe") && !HaveTool("mediainfo")) GTEST_SKIP() << "no ffprobe, no mediainfo";
}
