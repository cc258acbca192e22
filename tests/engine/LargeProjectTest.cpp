// Takes beyond 4 GiB (RF64) and timelines past 12 hours: every position, size
// and time stays exact. The takes are sparse files, so nothing big is written.
#include <gtest/gtest.h>

#include "engine/EDLWriter.h"
#include "support/ProjectDir.h"

using namespace testsupport;

TEST(LargeProjects, TakesBeyond4GiBOnATimelinePast12Hours) {
    constexpr uint64_t kRate = 48000;
    constexpr uint64_t kStart = kRate * 3600 * 13 + 12345;  // 13 hours in
    constexpr uint64_t kFrames = (uint64_t{5} << 30) / 6;   // 24-bit stereo, 5 GiB
    constexpr uint64_t kTail = 20000;                       // real audio at the very end

    ProjectDir dir;
    TakeBuilder header;
    header.Riff("RF64", 0xFFFFFFFF)
        .Form()
        .Ds64(kFrames * 6)
        .Bext(kStart, "2026-02-01", "21:00:00", 0);
    header.Fmt(2, kRate, 24).Tfid(1).Data({}, 0xFFFFFFFF);
    header.WriteSparse(dir.AudioDir() + "/long take.wav", kFrames * 6, (kFrames - kTail) * 6,
                       PatternBytes(9, kFrames - kTail, kTail, 2, 24));

    EDLWriter writer;
    writer.Init();
    ASSERT_EQ(writer.LoadProject(dir.Path().c_str()), 1);
    EXPECT_EQ(writer.edl->FirstSampleInEDL(), kStart);
    EXPECT_EQ(writer.edl->LastSampleInEDL(), kStart + kFrames);
    int64_t bytes = 0;
    writer.SetParams({16, Stereo});
    writer.ProjectSize(bytes);
    EXPECT_EQ(bytes, static_cast<int64_t>(kFrames * 4));
    writer.SetParams({24, DualMono});
    writer.ProjectSize(bytes);
    EXPECT_EQ(bytes, static_cast<int64_t>(kFrames * 6));
    timeParts start, end;
    ASSERT_EQ(writer.ProjectTimes(start, end), 1);
    EXPECT_EQ((std::array<int64_t, 4>{start.hours, start.minutes, start.seconds, start.hundredths}),
              (std::array<int64_t, 4>{13, 0, 0, 25}));
    const uint64_t endSeconds = (kStart + kFrames) / kRate;
    EXPECT_EQ(end.hours, static_cast<int>(endSeconds / 3600));
    EXPECT_EQ(end.minutes, static_cast<int>(endSeconds / 60 % 60));
    EXPECT_EQ(end.seconds, static_cast<int>(endSeconds % 60));

    // The last block of the take reads from past 4 GiB into the file.
    EDLRenderer& renderer = writer.renderer;
    renderer.Init();
    uint64_t pos = kStart + kFrames - kTail;
    renderer.Fill(writer.edl, pos, writer.fadeStep);
    ASSERT_EQ(pos, kStart + kFrames - kTail + 16384);
    for (uint64_t k : {0ull, 1ull, 9999ull, 16383ull}) {
        for (int c = 0; c < 2; ++c) {
            const uint32_t expected =
                static_cast<uint32_t>(PatternSample(9, kFrames - kTail + k, c, 24)) << 8;
            EXPECT_EQ(static_cast<uint32_t>(renderer.stageBuf.memBuffer[2 * k + c]), expected) << k;
        }
    }
}
