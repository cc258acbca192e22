// Files from tools we did not write are read as takes, and our outputs are read
// by readers we did not write: ffmpeg, sox, libsndfile, ffprobe and mediainfo.
#include <gtest/gtest.h>

#include <cmath>
#include <ctime>
#include <memory>
#include <string>
#include <vector>

#include "audiofile/kxFile.h"
#include "support/TakeBuilder.h"
#include "support/TempDir.h"

#if PROJ2WAV_HAVE_SNDFILE
#include <sndfile.h>
#endif

using testsupport::HaveTool;
using testsupport::RunCommand;
using testsupport::TempDir;

namespace {

#define REQUIRE_TOOL(name) \
    if (!HaveTool(name)) GTEST_SKIP() << name " is not installed"

// What libsndfile reads from a file: its format and every sample, scaled to 32 bits.
struct SndfileContents {
    int format = 0;
    int channels = 0;
    int rate = 0;
    std::vector<int32_t> samples;
};

bool ReadWithSndfile(const std::string& path, SndfileContents& out) {
#if PROJ2WAV_HAVE_SNDFILE
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
#else
    (void)path;
    (void)out;
    return false;
#endif
}

#if PROJ2WAV_HAVE_SNDFILE
#define REQUIRE_SNDFILE() (void)0
#else
#define REQUIRE_SNDFILE() GTEST_SKIP() << "libsndfile is not available"
#endif

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

TEST(Interop, FfmpegBroadcastWaveTakesArePlacedByTheirTimeReference) {
    REQUIRE_TOOL("ffmpeg");
    REQUIRE_SNDFILE();
    struct Case {
        const char* name;
        const char* options;  // ffmpeg writes 'fmt ', 'bext', LIST, data
        int channels, bits;
        uint32_t rate;
        uint64_t start;
        int year, month, day, hour, minute, second;
    };
    const Case cases[] = {
        // Stereo 24-bit comes as WAVE_FORMAT_EXTENSIBLE; the time reference needs
        // its high word.
        {"ff24.wav",
         "-ac 2 -c:a pcm_s24le -metadata time_reference=5000000000 "
         "-metadata origination_date=2026-01-02 -metadata origination_time=10:11:12",
         2, 24, 48000, 5000000000, 2026, 1, 2, 10, 11, 12},
        // A coding history of odd length gives a 'bext' of 615 bytes and a pad byte.
        {"ff16.wav",
         "-ac 1 -c:a pcm_s16le -metadata time_reference=123456 "
         "-metadata origination_date=2040-06-30 -metadata origination_time=23:59:58 "
         "-metadata coding_history=A=PCM,F=4410",
         1, 16, 44100, 123456, 2040, 6, 30, 23, 59, 58},
    };
    TempDir dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        int status = 0;
        RunCommand(
            "ffmpeg -nostdin -hide_banner -loglevel error -y -f lavfi -i "
            "'sine=frequency=997:duration=0.25:sample_rate=" +
                std::to_string(c.rate) + "' -write_bext 1 " + c.options + " '" + (dir / c.name) +
                "'",
            &status);
        ASSERT_EQ(status, 0) << "ffmpeg failed";
        const auto take = ValidateAgainstSndfile(dir, c.name);
        EXPECT_EQ(take->Channels(), c.channels);
        EXPECT_EQ(take->BitsPerSample(), c.bits);
        EXPECT_EQ(take->SampleRate(), c.rate);
        EXPECT_EQ(take->FrameCount(), c.rate / 4);
        EXPECT_EQ(take->StartLocation(), c.start);
        std::tm created{};
        take->GetCreateTime(created);
        EXPECT_EQ(created.tm_year, c.year);
        EXPECT_EQ(created.tm_mon, c.month);
        EXPECT_EQ(created.tm_mday, c.day);
        EXPECT_EQ(created.tm_hour, c.hour);
        EXPECT_EQ(created.tm_min, c.minute);
        EXPECT_EQ(created.tm_sec, c.second);
        std::tm utc{};
        utc.tm_year = c.year - 1900;
        utc.tm_mon = c.month - 1;
        utc.tm_mday = c.day;
        utc.tm_hour = c.hour;
        utc.tm_min = c.minute;
        utc.tm_sec = c.second;
        EXPECT_EQ(take->GetLocation(), ::timegm(&utc));
    }
}

TEST(Interop, SoxTakesHaveTheirFormatAndStartAtZero) {
    REQUIRE_TOOL("sox");
    REQUIRE_SNDFILE();
    struct Case {
        const char* name;
        int channels, bits;
        uint32_t rate;
    };
    // sox writes a plain 16-byte 'fmt ' for 16 bits; for 24 bits an extensible one
    // and a 'fact' chunk.
    TempDir dir;
    for (const Case c : {Case{"sox16.wav", 1, 16, 44100}, Case{"sox24.wav", 2, 24, 48000}}) {
        SCOPED_TRACE(c.name);
        int status = 0;
        RunCommand("sox -n -r " + std::to_string(c.rate) + " -c " + std::to_string(c.channels) +
                       " -b " + std::to_string(c.bits) + " '" + (dir / c.name) +
                       "' synth 0.2 sine 440 2>&1",
                   &status);
        ASSERT_EQ(status, 0) << "sox failed";
        const auto take = ValidateAgainstSndfile(dir, c.name);
        EXPECT_EQ(take->Channels(), c.channels);
        EXPECT_EQ(take->BitsPerSample(), c.bits);
        EXPECT_EQ(take->SampleRate(), c.rate);
        EXPECT_EQ(take->FrameCount(), c.rate / 5);
        EXPECT_EQ(take->StartLocation(), 0u);
        EXPECT_EQ(take->GetLocation(), -1) << "no 'bext', no date";
    }
}

TEST(Interop, LibsndfileReadsOurOutputsSampleForSample) {
    REQUIRE_SNDFILE();
    TempDir dir;
    const uint64_t frames = 3001;
    for (const int bits : {16, 24}) {
        for (const int channels : {1, 2}) {
            SCOPED_TRACE(testing::Message() << bits << " bit, " << channels << " channels");
            const std::string path = dir / "out.wav";
            kxFile out(path.c_str(), static_cast<int8_t>(channels), 96000,
                       static_cast<int8_t>(bits), 42);
            ASSERT_TRUE(out.OpenForWrite());
            const std::vector<uint8_t> samples =
                testsupport::PatternBytes(11, 0, frames, channels, bits);
            const size_t half = (frames / 2) * out.BytesPerSample();
            ASSERT_TRUE(out.WriteData(samples.data(), half));
            ASSERT_TRUE(out.WriteData(samples.data() + half, samples.size() - half));
            ASSERT_TRUE(out.Close());

            SndfileContents read;
            ASSERT_TRUE(ReadWithSndfile(path, read));
#if PROJ2WAV_HAVE_SNDFILE
            EXPECT_EQ(read.format,
                      SF_FORMAT_WAV | (bits == 16 ? SF_FORMAT_PCM_16 : SF_FORMAT_PCM_24));
#endif
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
