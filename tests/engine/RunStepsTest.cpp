// A run driven block by block (as the browser's worker drives it) writes the very
// bytes doConvert writes in its batches, and stops as doConvert does.
#include <gtest/gtest.h>

#include "engine/EDLWriter.h"
#include "support/ProjectDir.h"
#include "support/WaveHeader.h"

using namespace testsupport;

namespace {

// The output files' bytes, the origination date and time of 'bext' (the moment
// of the run) left out.
std::vector<uint8_t> Stamped(const std::string& path) {
    std::vector<uint8_t> bytes = ReadFileBytes(path);
    if (bytes.size() >= 1024) std::fill(bytes.begin() + 340, bytes.begin() + 358, 0);
    return bytes;
}

int32_t RunInSteps(EDLWriter& writer, double& lastProgress) {
    if (!writer.BeginRun()) return 0;
    bool written = true;
    while (!writer.RunDone() && written) {
        written = writer.StepRun();
        EXPECT_GE(writer.RunProgress(), lastProgress);
        lastProgress = writer.RunProgress();
    }
    return writer.EndRun(written);
}

}  // namespace

TEST(RunSteps, WriteWhatDoConvertWrites) {
    ProjectDir project;
    project.Add("a.wav", NthTake(1000, 70000, 0, 2, 24));
    project.Add("b.wav", NthTake(30000, 20000, 1, 1, 16));  // a mono punch-in
    project.Add("c.wav", NthTake(90000, 5000, 2, 2, 16));
    EDLWriter writer;
    writer.Init();
    ASSERT_EQ(writer.LoadProject(project.Path().c_str()), 1);
    TempDir out;
    for (int bits : {16, 24}) {
        for (int layout = Stereo; layout <= DualMono; ++layout) {
            SCOPED_TRACE(std::to_string(bits) + " " + std::to_string(layout));
            writer.SetParams({bits, static_cast<ChanTypes>(layout)});
            std::vector<std::vector<uint8_t>> outputs[2];
            for (int stepped : {0, 1}) {
                const std::string left = out / ("L" + std::to_string(stepped) + ".wav");
                const std::string right = out / ("R" + std::to_string(stepped) + ".wav");
                ASSERT_EQ(layout == DualMono ? writer.NewFiles(left.c_str(), right.c_str())
                                             : writer.NewFile(left.c_str()),
                          1);
                std::atomic<double> progress{0.0};
                double lastProgress = 0.0;
                ASSERT_EQ(stepped ? RunInSteps(writer, lastProgress) : writer.doConvert(progress),
                          1);
                if (stepped) {
                    EXPECT_DOUBLE_EQ(lastProgress, 100.0);
                }
                outputs[stepped].push_back(Stamped(left));
                if (layout == DualMono) outputs[stepped].push_back(Stamped(right));
            }
            EXPECT_GT(outputs[0][0].size(), 1024u);
            EXPECT_TRUE(outputs[0] == outputs[1]);
        }
    }
}

TEST(RunSteps, AStopEndsTheRunWithAValidShorterFile) {
    ProjectDir project;
    project.Add("long.wav", NthTake(0, 48000 * 10, 0));
    EDLWriter writer;
    writer.Init();
    ASSERT_EQ(writer.LoadProject(project.Path().c_str()), 1);
    TempDir out;
    ASSERT_EQ(writer.NewFile((out / "stop.wav").c_str()), 1);
    ASSERT_TRUE(writer.BeginRun());
    for (int i = 0; i < 3; ++i) ASSERT_TRUE(writer.StepRun());
    writer.stopRequested = true;
    EXPECT_TRUE(writer.RunDone());
    EXPECT_EQ(writer.EndRun(true), 1);
    const WaveHeader header = ReadWaveHeader(out / "stop.wav");
    EXPECT_TRUE(header.Consistent());
    EXPECT_EQ(header.fileSize, 1024u + 3 * kStageFrames * 4);
    EXPECT_EQ(header.dataSize, 3 * kStageFrames * 4);
}
