// Real conversions at the 4 GiB edge: while an output of more than 4 GiB is
// written, its header never declares more than the file holds and turns RF64 past
// 4 GiB; then readers we did not write see its whole length, its time reference
// and its markers. One whose samples alone stay below 4 GiB becomes RF64 too once
// its marker chunks push the file past it. Their takes are short or sparse; the
// outputs are written for real, so this needs room on the disk.
#include <gtest/gtest.h>
#include <sndfile.h>
#include <sys/statvfs.h>

#include <thread>

#include "engine/EDLWriter.h"
#include "engine/ProjectSession.h"
#include "support/ProjectDir.h"
#include "support/WaveHeader.h"

using namespace testsupport;

namespace {

constexpr uint64_t kTakeFrames = 360000000;   // 2.16 GB of 24-bit stereo each
constexpr uint64_t kStart = 48000ull * 3600;  // one hour into the timeline
constexpr uint64_t kMarked = 3000;            // frames of real audio near the end

// A sparse take of silence with real audio at [frames - 5000, frames - 2000).
void WriteSparseTake(const std::string& path, uint64_t start, uint32_t identity,
                     const std::string& time) {
    TakeBuilder header;
    header.Riff().Form().Bext(start, "2026-06-01", time, 0).Fmt(2, 48000, 24).Tfid(identity);
    header.Data({}, static_cast<uint32_t>(kTakeFrames * 6));
    header.WriteSparse(path, kTakeFrames * 6, (kTakeFrames - 5000) * 6,
                       PatternBytes(5, kTakeFrames - 5000, kMarked, 2, 24));
}

uint64_t FreeBytes(const std::string& path) {
    struct statvfs info {};
    return ::statvfs(path.c_str(), &info) == 0 ? uint64_t{info.f_bavail} * info.f_frsize : 0;
}

}  // namespace

TEST(LargeOutput, AnOutputAbove4GiBIsRF64AndReadableByOthers) {
    ProjectDir dir;
    if (FreeBytes(dir.Path()) < 12'000'000'000ull) {
        GTEST_SKIP() << "needs 12 GB free on the temporary directory's disk";
    }
    WriteSparseTake(dir.AudioDir() + "/a.wav", kStart, 1, "10:00:00");
    WriteSparseTake(dir.AudioDir() + "/b.wav", kStart + kTakeFrames, 2, "11:00:00");

    EDLWriter writer;
    writer.Init();
    ASSERT_EQ(writer.LoadProject(dir.Path().c_str()), 1);
    writer.SetParams({24, Stereo, true});
    const std::string out = dir / "big.wav";
    ASSERT_EQ(writer.NewFile(out.c_str()), 1);
    const uint64_t dataStart = writer.OutputHeaderBytes();
    std::atomic<double> progress{0.0};
    std::atomic<bool> done{false};
    int32_t result = 0;
    std::thread run([&] {
        result = writer.doConvert(progress);
        done = true;
    });
    // What a run killed at any moment leaves: a header that declares whole frames
    // the file holds, at most one update (and a write) behind them, RF64 past 4 GiB.
    uint64_t lastRiff = 0, firstRf64 = UINT64_MAX;
    while (!done) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        const uint64_t before = std::filesystem::file_size(out);
        const WaveHeader h = ReadWaveHeader(out);
        if (h.dataSize != ReadWaveHeader(out).dataSize) continue;  // read mid-update
        EXPECT_LE(dataStart + h.dataSize, std::filesystem::file_size(out));
        EXPECT_LE(before, dataStart + h.dataSize + kHeaderUpdateBytes + (2 << 20));
        EXPECT_EQ(h.dataSize % 6, 0u);
        if (h.form == "RIFF") lastRiff = std::max(lastRiff, h.dataSize);
        if (h.form == "RF64") firstRf64 = std::min(firstRf64, h.dataSize);
    }
    run.join();
    ASSERT_EQ(result, 1);
    EXPECT_LT(lastRiff, firstRf64);
    EXPECT_GT(firstRf64, 0xFFFFFFFFull - dataStart);
    EXPECT_LT(firstRf64, uint64_t{1} << 33);

    const uint64_t frames = 2 * kTakeFrames;
    // The markers stand before the samples, RF64 or not.
    WaveDescription described;
    ASSERT_EQ(kxFile::Describe(out, described), TakeProblem::None);
    const std::vector<WaveMarker> markers = {{0, "a"}, {kTakeFrames, "b"}};
    EXPECT_EQ(described.markers, markers);
    EXPECT_EQ(described.frames, frames);
    const WaveHeader h = ReadWaveHeader(out);
    EXPECT_EQ(h.form, "RF64");
    EXPECT_TRUE(h.Consistent());
    EXPECT_EQ(h.dataOffset, 1024 + MarkerChunkBytes(markers).size());
    EXPECT_EQ(h.dataSize, frames * 6);

    // libsndfile: the whole length, and the samples at the far end in place.
    SF_INFO info{};
    SNDFILE* sf = sf_open(out.c_str(), SFM_READ, &info);
    ASSERT_NE(sf, nullptr) << sf_strerror(nullptr);
    EXPECT_EQ(static_cast<uint64_t>(info.frames), frames);
    EXPECT_EQ(info.channels, 2);
    EXPECT_EQ(info.format & SF_FORMAT_SUBMASK, SF_FORMAT_PCM_24);
    const uint64_t markedAt = frames - 5000;  // the second take's marked audio
    ASSERT_EQ(sf_seek(sf, static_cast<sf_count_t>(markedAt), SEEK_SET),
              static_cast<sf_count_t>(markedAt));
    std::vector<int32_t> samples(2 * kMarked);
    ASSERT_EQ(sf_readf_int(sf, samples.data(), kMarked), static_cast<sf_count_t>(kMarked));
    for (uint64_t k : {uint64_t{0}, uint64_t{1}, kMarked - 1}) {
        EXPECT_EQ(samples[2 * k],
                  static_cast<int32_t>(
                      static_cast<uint32_t>(PatternSample(5, kTakeFrames - 5000 + k, 0, 24)) << 8))
            << k;
    }
    sf_close(sf);

    // ffprobe: the length and the time reference.
    if (HaveTool("ffprobe")) {
        const std::string probe = RunCommand(
            "ffprobe -v error -show_entries stream=duration_ts:format_tags=time_reference -of "
            "default=nw=1 '" +
            out + "'");
        EXPECT_NE(probe.find("duration_ts=" + std::to_string(frames)), std::string::npos) << probe;
        EXPECT_NE(probe.find("time_reference=" + std::to_string(kStart)), std::string::npos)
            << probe;
        // libsndfile reads no cue points from RF64 files (its rf64.c knows no 'cue ').
        EXPECT_EQ(RunCommand("ffprobe -v error -show_entries chapter=start:chapter_tags=title -of "
                             "default=nw=1:nk=1 '" +
                             out + "'"),
                  "0\na\n" + std::to_string(kTakeFrames) + "\nb\n");
    }
    std::filesystem::remove(out);
}

// The samples end between 4 GiB minus the header and 4 GiB: only the marker chunks
// in front of them make the file too large for RIFF's 32-bit sizes.
TEST(LargeOutput, MarkersBeforeTheSamplesCountTowardsTheSwitchToRF64) {
    ProjectDir dir;
    if (FreeBytes(dir.Path()) < 6'000'000'000ull) {
        GTEST_SKIP() << "needs 6 GB free on the temporary directory's disk";
    }
    constexpr uint64_t kSampleBytes = (uint64_t{UINT32_MAX} - kHeaderSize) & ~uint64_t{1};
    constexpr uint64_t kFrames = kSampleBytes / 2;  // 16-bit mono
    dir.Add("A.wav", NthTake(0, 1000, 0, 1, 16));
    dir.Add("B.wav", NthTake(kFrames - 1000, 1000, 1, 1, 16));
    ProjectSession session;
    ASSERT_TRUE(session.Load(dir.Path()));
    const OutputFormat format{16, MonoLeft, true};
    const OutputPlan plan = session.Plan(format);
    ASSERT_EQ(plan.fileBytes, kSampleBytes);
    ASSERT_FALSE(NeedsRf64(kSampleBytes));  // the samples alone would fit
    const std::string out = dir / "edge.wav";
    ASSERT_TRUE(session.CreateOutputs(format, {out}, {"edge", "test"}));
    std::atomic<double> progress{0.0};
    ASSERT_EQ(session.Run(progress).end, RunOutcome::End::Complete);

    const WaveHeader h = ReadWaveHeader(out);
    EXPECT_EQ(h.form, "RF64");
    EXPECT_TRUE(h.Consistent());
    EXPECT_EQ(h.dataOffset, plan.headerBytes);
    EXPECT_EQ(h.dataSize, kSampleBytes);
    EXPECT_EQ(h.riffSize, plan.headerBytes - 8 + kSampleBytes);
    WaveDescription described;
    ASSERT_EQ(kxFile::Describe(out, described), TakeProblem::None);
    EXPECT_EQ(described.frames, kFrames);
    EXPECT_EQ(described.markers, (std::vector<WaveMarker>{{0, "A"}, {kFrames - 1000, "B"}}));
    std::filesystem::remove(out);
}
