// Real conversions at the 4 GiB edge: while an output grows past 4 GiB, its header
// never declares more than the file holds and turns RF64 where RIFF's 32-bit sizes
// end; then readers we did not write see its whole length, its time reference, its
// markers and the samples at its far end. Once with more than 4 GiB of samples,
// once with samples that alone stay below 4 GiB but whose marker chunks push the
// file past it. The takes are short and far apart; the outputs are written for
// real, one at a time, so this needs room on the disk.
#include <gtest/gtest.h>
#include <sndfile.h>

#include <thread>

#include "engine/ProjectSession.h"
#include "support/ProjectDir.h"
#include "support/WaveHeader.h"

using namespace testsupport;

TEST(LargeOutput, AnOutputAbove4GiBIsRF64AndReadableByOthers) {
    constexpr uint64_t kStart = 48000ull * 3600;  // one hour into the timeline
    // Samples up to the last byte a RIFF file of 1024 header bytes can hold.
    constexpr uint64_t kEdgeBytes = (uint64_t{UINT32_MAX} - kHeaderSize) & ~uint64_t{1};
    const struct {
        const char* what;
        OutputFormat format;
        uint64_t frames;
    } cases[] = {
        {"4.32 GB of samples", {24, Stereo, true}, 720000000},
        {"samples below 4 GiB, markers in front", {16, MonoLeft, true}, kEdgeBytes / 2},
    };
    std::error_code error;
    if (std::filesystem::space(std::filesystem::temp_directory_path(), error).available <
        5'000'000'000ull) {
        GTEST_SKIP() << "needs 5 GB free on the temporary directory's disk";
    }
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ProjectDir dir;
        // Take b's middle, away from its fades, is the audio at the output's far end.
        const int channels = c.format.layout == Stereo ? 2 : 1, bits = c.format.bits;
        dir.Add("a.wav", NthTake(kStart, 5000, 0, channels, bits));
        dir.Add("b.wav", NthTake(kStart + c.frames - 5000, 5000, 1, channels, bits));
        ProjectSession session;
        ASSERT_TRUE(session.Load(dir.Path()));
        const OutputPlan plan = session.Plan(c.format);
        ASSERT_EQ(plan.frames, c.frames);
        const uint64_t sampleBytes = plan.fileBytes, dataStart = plan.headerBytes;
        const std::string out = dir / "big.wav";
        ASSERT_TRUE(session.CreateOutputs(c.format, {out}, {"big", "test"}));

        std::atomic<double> progress{0.0};
        std::atomic<bool> done{false};
        RunOutcome outcome;
        std::thread run([&] {
            outcome = session.Run(progress);
            done = true;
        });
        // What a run killed at any moment leaves: a header that declares whole
        // frames the file holds, at most one update (and a write) behind them, RIFF
        // up to where its sizes end and RF64 beyond.
        while (!done) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
            const uint64_t before = std::filesystem::file_size(out);
            const WaveHeader h = ReadWaveHeader(out);
            if (h.dataSize != ReadWaveHeader(out).dataSize) continue;  // read mid-update
            EXPECT_LE(dataStart + h.dataSize, std::filesystem::file_size(out));
            EXPECT_LE(before, dataStart + h.dataSize + kHeaderUpdateBytes + (2 << 20));
            EXPECT_EQ(h.dataSize % (channels * bits / 8), 0u);
            EXPECT_EQ(h.form == "RF64", NeedsRf64(h.dataSize, dataStart)) << h.dataSize;
        }
        run.join();
        ASSERT_EQ(outcome.end, RunOutcome::End::Complete);

        const WaveHeader h = ReadWaveHeader(out);
        EXPECT_EQ(h.form, "RF64");
        EXPECT_TRUE(h.Consistent());
        EXPECT_EQ(h.dataOffset, dataStart);
        EXPECT_EQ(h.dataSize, sampleBytes);
        EXPECT_EQ(h.riffSize, dataStart - 8 + sampleBytes);
        // The markers stand before the samples, RF64 or not.
        const std::vector<WaveMarker> markers = {{0, "a"},
                                                 {static_cast<uint32_t>(c.frames - 5000), "b"}};
        EXPECT_EQ(plan.markers, markers);
        WaveDescription described;
        ASSERT_EQ(kxFile::Describe(out, described), TakeProblem::None);
        EXPECT_EQ(described.markers, markers);
        EXPECT_EQ(described.frames, c.frames);

        // libsndfile: the whole length, and take b's middle in place.
        SF_INFO info{};
        SNDFILE* sf = sf_open(out.c_str(), SFM_READ, &info);
        ASSERT_NE(sf, nullptr) << sf_strerror(nullptr);
        EXPECT_EQ(static_cast<uint64_t>(info.frames), c.frames);
        EXPECT_EQ(info.channels, channels);
        const sf_count_t middle = static_cast<sf_count_t>(c.frames - 3500);
        ASSERT_EQ(sf_seek(sf, middle, SEEK_SET), middle);
        std::vector<int32_t> samples(2000 * channels);
        ASSERT_EQ(sf_readf_int(sf, samples.data(), 2000), 2000);
        sf_close(sf);
        for (int k : {0, 1, 1999}) {
            const auto sample = static_cast<uint32_t>(PatternSample(2, 1500 + k, 0, bits));
            EXPECT_EQ(samples[channels * k], static_cast<int32_t>(sample << (32 - bits))) << k;
        }

        // ffprobe: the length, the time reference and the markers as chapters
        // (libsndfile reads no cue points from RF64 files: its rf64.c knows no 'cue ').
        if (HaveTool("ffprobe")) {
            EXPECT_EQ(RunCommand("ffprobe -v error -show_entries stream=duration_ts:format_tags="
                                 "time_reference -of default=nw=1:nk=1 '" +
                                 out + "'"),
                      std::to_string(c.frames) + "\n" + std::to_string(kStart) + "\n");
            EXPECT_EQ(RunCommand("ffprobe -v error -show_entries chapter=start:chapter_tags=title "
                                 "-of default=nw=1:nk=1 '" +
                                 out + "'"),
                      "0\na\n" + std::to_string(c.frames - 5000) + "\nb\n");
        }
        std::filesystem::remove(out);
    }
}
