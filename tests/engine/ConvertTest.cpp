// Whole conversions of real projects on disk, checked sample by sample against the
// reference model for every width and layout, run all at once (doConvert) or a
// block at a time (as the browser's worker drives a run); progress, stop requests,
// failed writes and the outputs a driver holds.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <random>
#include <thread>

#include "ReferenceRender.h"
#include "engine/EDLWriter.h"
#include "support/ProjectDir.h"
#include "support/WaveHeader.h"

using namespace testsupport;

namespace {

struct Project {
    ProjectDir dir;
    std::vector<reference::Take> takes;  // oldest first

    void Add(const reference::Take& take, uint32_t rate = 48000) {
        TakeRecipe recipe = NthTake(take.start, take.frames, static_cast<int>(takes.size()),
                                    take.channels, take.bits, rate);
        recipe.identity = take.identity;
        recipe.seed = take.seed;
        dir.Add("take " + std::to_string(takes.size()) + ".wav", recipe);
        takes.push_back(take);
    }
};

// A driver with the project loaded.
struct Loaded {
    explicit Loaded(const Project& project) {
        writer.Init();
        EXPECT_EQ(writer.LoadProject(project.dir.Path().c_str()), 1);
    }
    int32_t Convert() {
        std::atomic<double> progress{0.0};
        return writer.doConvert(progress);
    }
    // The run a block at a time: its progress never goes back and ends at 100.
    int32_t ConvertInSteps() {
        if (!writer.BeginRun()) return 0;
        bool written = true;
        double progress = 0.0;
        while (!writer.RunDone() && written) {
            written = writer.StepRun();
            EXPECT_GE(writer.RunProgress(), progress);
            progress = writer.RunProgress();
        }
        EXPECT_DOUBLE_EQ(written ? progress : 100.0, 100.0);
        return writer.EndRun(written);
    }
    EDLWriter writer;
};

// The samples as the header declares them (without the pad byte of an odd size).
std::vector<uint8_t> Samples(const std::string& path) {
    const std::vector<uint8_t> file = ReadFileBytes(path);
    const WaveHeader h = ReadWaveHeader(path);
    if (h.dataOffset != 1024 || 1024 + h.dataSize > file.size()) return {};
    return std::vector<uint8_t>(file.begin() + 1024, file.begin() + 1024 + h.dataSize);
}

// Half the formats run a block at a time: those of odd `turn` plus layout plus bytes.
void ExpectMatchesModel(const Project& project, uint32_t rate, uint64_t fadeLength, int turn) {
    Loaded loaded(project);
    uint64_t first = 0;
    const std::vector<int32_t> staged = reference::Render(project.takes, fadeLength, &first);
    const std::string left = project.dir / "outL.wav", right = project.dir / "outR.wav";
    for (int bits : {16, 24}) {
        for (int layout = 0; layout <= 4; ++layout) {
            const bool stepped = (turn + layout + bits / 8) % 2 == 1;
            SCOPED_TRACE(std::to_string(bits) + " bits, layout " + std::to_string(layout) +
                         (stepped ? ", in steps" : ""));
            loaded.writer.SetParams({bits, static_cast<ChanTypes>(layout)});
            ASSERT_EQ(layout == DualMono ? loaded.writer.NewFiles(left.c_str(), right.c_str())
                                         : loaded.writer.NewFile(left.c_str()),
                      1);
            ASSERT_EQ(stepped ? loaded.ConvertInSteps() : loaded.Convert(), 1);
            std::vector<uint8_t> expectedRight;
            const std::vector<uint8_t> expected =
                reference::Narrow(staged, layout, bits, &expectedRight);
            const std::vector<uint8_t> got = Samples(left);
            ASSERT_EQ(got.size(), expected.size());
            const auto mismatch = std::mismatch(got.begin(), got.end(), expected.begin());
            ASSERT_TRUE(mismatch.first == got.end())
                << "first difference at byte " << (mismatch.first - got.begin());
            EXPECT_TRUE(layout != DualMono || Samples(right) == expectedRight);
            // Header: sizes, format and the project's first frame as time reference.
            for (const std::string& path : {left, right}) {
                if (path == right && layout != DualMono) continue;
                const WaveHeader h = ReadWaveHeader(path);
                EXPECT_TRUE(h.Consistent()) << path;
                EXPECT_EQ(h.rate, rate);
                EXPECT_EQ(h.channels, layout == Stereo ? 2 : 1);
                EXPECT_EQ(h.bits, bits);
                EXPECT_EQ(h.timeReference, first);
            }
        }
    }
}

}  // namespace

TEST(Convert, RandomProjectsMatchTheReferenceModel) {
    std::mt19937 rng(4242);
    // Ten projects at 48 kHz, the last of them piling up forty takes, then one at
    // each higher rate, where fades are longer, and last one of long takes that a
    // conversion reads in several windows, each cut by the others at odd places.
    const std::pair<uint32_t, uint64_t> rates[] = {{96000, 2048}, {192000, 4096}};
    for (int round = 0; round < 13; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        const auto [rate, fadeLength] = round == 10 || round == 11
                                            ? rates[round - 10]
                                            : std::pair<uint32_t, uint64_t>{48000, 1024};
        const bool longTakes = round == 12;
        Project project;
        const int count = round == 9 ? 40 : longTakes ? 4 : 1 + static_cast<int>(rng() % 6);
        for (int i = 0; i < count; ++i) {
            reference::Take take;
            take.start = longTakes ? rng() % 1500000 : 20000 + rng() % 60000;
            take.frames = longTakes        ? 400000 + rng() % 600000
                          : rng() % 3 == 0 ? 10 + rng() % 3000
                                           : 5000 + rng() % 70000;
            take.channels = 1 + static_cast<int>(rng() % 2);
            take.bits = rng() % 2 ? 16 : 24;
            take.identity = 1 + rng() % 3;  // some takes are pieces of one recording
            take.seed = static_cast<uint32_t>(round * 10 + i + 1);
            project.Add(take, rate);
        }
        ExpectMatchesModel(project, rate, fadeLength, round);
    }
}

TEST(Convert, ProgressReachesAHundredAndEachRunNeedsItsOutput) {
    for (const uint64_t frames : {100000u, 500u}) {  // 6 whole blocks and 7 fills; one fill
        Project project;
        project.Add({1000, frames, 2, 16, 1, 1});
        Loaded loaded(project);
        ASSERT_EQ(loaded.writer.NewFile((project.dir / "out.wav").c_str()), 1);
        std::atomic<double> progress{0.0};
        ASSERT_EQ(loaded.writer.doConvert(progress), 1);
        EXPECT_NEAR(progress.load(), frames == 500 ? 100.0 : 100.0 * 7 / 6, 1e-9) << frames;
        EXPECT_EQ(loaded.writer.doConvert(progress), 0) << "the output of that run is gone";
    }
}

TEST(Convert, NewOutputsReleaseTheOldOnes) {
    Project project;
    project.Add({0, 1000, 2, 16, 1, 1});
    Loaded loaded(project);
    ASSERT_EQ(loaded.writer.NewFile((project.dir / "a.wav").c_str()), 1);
    // Preparing again without running closes the first output with a valid header.
    ASSERT_EQ(loaded.writer.NewFile((project.dir / "b.wav").c_str()), 1);
    const WaveHeader a = ReadWaveHeader(project.dir / "a.wav");
    EXPECT_TRUE(a.Consistent());
    EXPECT_EQ(a.dataSize, 0u);
    EXPECT_EQ(loaded.Convert(), 1);
    EXPECT_EQ(ReadWaveHeader(project.dir / "b.wav").dataSize, 4000u);

    // When the right file cannot be created nothing is held and nothing converts.
    loaded.writer.SetParams({24, DualMono});
    EXPECT_EQ(loaded.writer.NewFiles((project.dir / "L.wav").c_str(),
                                     (project.dir / "no/such/dir/R.wav").c_str()),
              0);
    EXPECT_EQ(loaded.writer.outFile, nullptr);
    EXPECT_EQ(loaded.writer.outEvent, nullptr);
    EXPECT_EQ(loaded.Convert(), 0);
}

TEST(Convert, AStopLeavesAValidShorterFile) {
    Project project;
    project.Add({0, 48000 * 60, 2, 24, 1, 1});  // a minute
    Loaded loaded(project);
    loaded.writer.SetParams({24, Stereo});
    const std::string stopped = project.dir / "stop.wav", early = project.dir / "early.wav";
    ASSERT_EQ(loaded.writer.NewFile(stopped.c_str()), 1);
    std::atomic<double> progress{0.0};
    int32_t result = 0;
    std::thread worker([&] { result = loaded.writer.doConvert(progress); });
    while (progress.load() < 10.0) std::this_thread::yield();
    loaded.writer.stopRequested = true;
    worker.join();
    EXPECT_EQ(result, 1);
    const WaveHeader h = ReadWaveHeader(stopped);
    EXPECT_TRUE(h.Consistent());
    EXPECT_GT(h.dataSize, 0u);
    EXPECT_LT(h.dataSize, 48000u * 60 * 6);
    // A new output clears the stop: the next run goes to the end.
    ASSERT_EQ(loaded.writer.NewFile(stopped.c_str()), 1);
    EXPECT_EQ(loaded.Convert(), 1);
    EXPECT_EQ(ReadWaveHeader(stopped).dataSize, 48000u * 60 * 6);

    // A stop requested before the run has even started is honoured too, and the
    // empty output still has a valid header.
    ASSERT_EQ(loaded.writer.NewFile(early.c_str()), 1);
    loaded.writer.stopRequested = true;
    progress = 0.0;
    EXPECT_EQ(loaded.writer.doConvert(progress), 1);
    EXPECT_EQ(progress.load(), 0.0);
    EXPECT_TRUE(ReadWaveHeader(early).Consistent());
    EXPECT_EQ(ReadWaveHeader(early).dataSize, 0u);
}

TEST(Convert, AStopEndsARunInStepsWithAValidShorterFile) {
    Project project;
    project.Add({0, 48000 * 10, 2, 24, 1, 1});
    Loaded loaded(project);
    ASSERT_EQ(loaded.writer.NewFile((project.dir / "stop.wav").c_str()), 1);
    ASSERT_TRUE(loaded.writer.BeginRun());
    for (int i = 0; i < 3; ++i) ASSERT_TRUE(loaded.writer.StepRun());
    loaded.writer.stopRequested = true;
    EXPECT_TRUE(loaded.writer.RunDone());
    EXPECT_EQ(loaded.writer.EndRun(true), 1);
    const WaveHeader header = ReadWaveHeader(project.dir / "stop.wav");
    EXPECT_TRUE(header.Consistent());
    EXPECT_EQ(header.fileSize, 1024u + 3 * kStageFrames * 4);
    EXPECT_EQ(header.dataSize, 3 * kStageFrames * 4);
}

// The soft file-size limit of the child below, and its hard limit.
rlimit fileSizeLimit;

// The write that met the limit has failed; every later write would succeed.
extern "C" void LiftFileSizeLimit(int) {
    const rlimit lifted{fileSizeLimit.rlim_max, fileSizeLimit.rlim_max};
    setrlimit(RLIMIT_FSIZE, &lifted);
}

TEST(Convert, AFailedWriteEndsTheRunWithTheWrittenPartIntact) {
    Project project;
    project.Add({0, 48000 * 30, 2, 24, 1, 7});  // half a minute, 8.6 MB of output
    const std::string whole = project.dir / "whole.wav", full = project.dir / "full.wav";
    {
        Loaded loaded(project);
        loaded.writer.SetParams({24, Stereo});
        ASSERT_EQ(loaded.writer.NewFile(whole.c_str()), 1);
        ASSERT_EQ(loaded.Convert(), 1);
    }
    // A file-size limit half way through the output stands in for a full disk; the
    // moment a write meets it the limit goes, as when space is freed, so any later
    // write would succeed and land behind the gap. Set in a child process.
    const uint64_t limit = 1024 + 48000 * 6 * 5 + 1000;
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        std::signal(SIGXFSZ, LiftFileSizeLimit);
        getrlimit(RLIMIT_FSIZE, &fileSizeLimit);
        fileSizeLimit.rlim_cur = limit;
        setrlimit(RLIMIT_FSIZE, &fileSizeLimit);
        Loaded loaded(project);
        loaded.writer.SetParams({24, Stereo});
        if (loaded.writer.NewFile(full.c_str()) != 1) _exit(10);
        const int32_t result = loaded.Convert();
        if (loaded.writer.lastWriteError != EFBIG) _exit(11);
        _exit(result == 0 ? 0 : 12);
    }
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    ASSERT_EQ(WEXITSTATUS(status), 0);
    // What was written before the failure, in its place, and nothing after it; the
    // header says how much that is.
    const WaveHeader h = ReadWaveHeader(full);
    EXPECT_TRUE(h.Consistent());
    const std::vector<uint8_t> got = Samples(full), expected = Samples(whole);
    EXPECT_EQ(got.size(), h.dataSize);
    EXPECT_GT(got.size(), 0u);
    EXPECT_LE(1024 + got.size(), limit);
    EXPECT_TRUE(std::equal(got.begin(), got.end(), expected.begin()));
}
