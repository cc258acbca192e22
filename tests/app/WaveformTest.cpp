// The waveform overview's peaks, computed from real takes: only the audio that
// plays, from the right place in the right file, cancelled when asked, silent
// where a take cannot be read, and never more peaks than a window can hold.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "app/Waveform.h"
#include "engine/ProjectSession.h"
#include "support/ProjectDir.h"

using namespace testsupport;

namespace {

// The upper 16 bits of a take's sample at frame `f`, channel `c`: every value
// tells which take and which frame it came from.
using Ramp = std::function<int16_t(uint64_t f, int c)>;

void WriteRampTake(const std::string& path, uint64_t start, uint64_t frames, int channels, int bits,
                   const std::string& time, const Ramp& ramp) {
    std::vector<uint8_t> data;
    for (uint64_t f = 0; f < frames; ++f) {
        for (int c = 0; c < channels; ++c) {
            const auto v = static_cast<uint16_t>(ramp(f, c));
            if (bits == 24) data.push_back(0x5A);  // below what a peak shows
            data.push_back(static_cast<uint8_t>(v));
            data.push_back(static_cast<uint8_t>(v >> 8));
        }
    }
    TakeBuilder()
        .Riff()
        .Form()
        .Bext(start, "2026-03-14", time)
        .Fmt(channels, 48000, bits)
        .Tfid(static_cast<uint32_t>(start))
        .Data(data)
        .Write(path);
}

// A, older, 24-bit stereo over 1000 .. 6000; B, newer, 16-bit mono punched in
// over 2500 .. 3500, so A plays in two pieces around it.
const Ramp kA = [](uint64_t f, int c) {
    return static_cast<int16_t>((c == 0 ? 1 : -1) * static_cast<int>(1000 + f / 2));
};
const Ramp kB = [](uint64_t f, int) { return static_cast<int16_t>(20000 + f); };

int16_t Heard(uint64_t t, int c) {
    return t >= 2500 && t < 3500 ? (c == 0 ? kB(t - 2500, 0) : 0) : kA(t - 1000, c);
}

struct Loaded {
    ProjectDir project;
    ProjectSession session;
    Loaded() {
        WriteRampTake(project.AudioDir() + "/A.wav", 1000, 5000, 2, 24, "10:00:00", kA);
        WriteRampTake(project.AudioDir() + "/B.wav", 2500, 1000, 1, 16, "10:05:00", kB);
        session.Load(project.Path());
    }
};

// Peaks as a receiver keeps them: silent at first, pieces merged in.
std::vector<app::Peak> Compute(const app::WaveformJob& job, bool& done, bool cancelled = false) {
    std::vector<app::Peak> peaks(app::PeakCount(job.first, job.last));
    const std::atomic<bool> cancel{cancelled};
    done = app::ComputePeaks(job, cancel, [&](size_t first, std::vector<app::Peak> piece) {
        for (size_t i = 0; i < piece.size(); ++i) peaks.at(first + i).Merge(piece[i]);
    });
    return peaks;
}

}  // namespace

TEST(Waveform, EachPeakHoldsTheRangeOfWhatPlaysThere) {
    Loaded loaded;
    const app::WaveformJob job = app::MakeWaveformJob(loaded.session);
    ASSERT_EQ(job.first, 1000u);
    ASSERT_EQ(job.last, 6000u);
    ASSERT_EQ(job.sources.size(), 3u);
    bool done = false;
    const std::vector<app::Peak> peaks = Compute(job, done);
    EXPECT_TRUE(done);
    ASSERT_EQ(peaks.size(), 20u);  // 5000 frames, 256 a peak
    for (size_t i = 0; i < peaks.size(); ++i) {
        app::Peak expected;
        for (uint64_t t = 1000 + i * 256; t < std::min<uint64_t>(1000 + (i + 1) * 256, 6000); ++t) {
            for (int c = 0; c < 2; ++c) {
                expected.low = std::min(expected.low, Heard(t, c));
                expected.high = std::max(expected.high, Heard(t, c));
            }
        }
        EXPECT_EQ(peaks[i].low, expected.low) << i;
        EXPECT_EQ(peaks[i].high, expected.high) << i;
    }
    // Drawing merges the peaks a pixel touches: 5 and 6, frames 2280 .. 2792.
    const app::Peak wide = app::PeakOver(peaks, 1000, 256, 2400, 2600);
    EXPECT_EQ(wide.high, kB(291, 0));
    EXPECT_EQ(wide.low, kA(1499, 1));
}

TEST(Waveform, CancelledOrUnreadableLeavesSilence) {
    Loaded loaded;
    const app::WaveformJob job = app::MakeWaveformJob(loaded.session);
    bool done = true;
    std::vector<app::Peak> peaks = Compute(job, done, true);
    EXPECT_FALSE(done);
    EXPECT_TRUE(std::all_of(peaks.begin(), peaks.end(),
                            [](const app::Peak& p) { return p.low == 0 && p.high == 0; }));

    // B is gone after the load: its span stays silent, A still shows.
    std::filesystem::remove(loaded.project.AudioDir() + "/B.wav");
    peaks = Compute(job, done);
    EXPECT_TRUE(done);
    EXPECT_EQ(peaks[8].high, 0);  // frames 3048 .. 3304: all B
    EXPECT_EQ(peaks[0].high, kA(255, 0));
}

TEST(Waveform, ALongTimelineKeepsTheNumberOfPeaksBounded) {
    const uint64_t last = kTimelineFrames;
    EXPECT_EQ(app::FramesPerPeak(0, 48000 * 3600), app::kFramesPerPeak);
    EXPECT_LE(app::PeakCount(0, last), app::kMaxPeaks);
    EXPECT_GE(app::PeakCount(0, last) * app::FramesPerPeak(0, last), last);
    EXPECT_EQ(app::PeakCount(5, 5), 0u);
}
