// Whole conversions of real projects on disk, checked sample by sample against the
// reference model, for every width and layout.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <random>
#include <thread>

#include "ReferenceRender.h"
#include "engine/BlockWriter.h"
#include "engine/EDLWriter.h"
#include "support/ProjectDir.h"

using namespace testsupport;

namespace {

struct Project {
    ProjectDir dir;
    std::vector<reference::Take> takes;  // oldest first

    void Add(const reference::Take& take, uint32_t rate = 48000) {
        TakeRecipe recipe;
        recipe.start = take.start;
        recipe.frames = take.frames;
        recipe.channels = take.channels;
        recipe.bits = take.bits;
        recipe.identity = take.identity;
        recipe.seed = take.seed;
        recipe.rate = rate;
        recipe.time = TimeOfDay(static_cast<int>(takes.size()));
        dir.Add("take " + std::to_string(takes.size()) + ".wav", recipe);
        takes.push_back(take);
    }
};

struct Output {
    std::vector<uint8_t> left, right;  // whole files
};

// Converts with the given width (0/1) and layout column; returns the file bytes.
Output Convert(EDLWriter& writer, const TempDir& out, int widthColumn, int layout,
               int32_t* result = nullptr) {
    writer.SetParams(static_cast<int8_t>(widthColumn), static_cast<int8_t>(layout));
    const std::string left = out / "outL.wav", right = out / "outR.wav";
    const int32_t made = layout == DualMono ? writer.NewFiles(left.c_str(), right.c_str())
                                            : writer.NewFile(left.c_str());
    EXPECT_EQ(made, 1);
    std::atomic<double> progress{0.0};
    const int32_t converted = writer.doConvert(progress);
    if (result != nullptr) {
        *result = converted;
    } else {
        EXPECT_EQ(converted, 1);
    }
    Output o{ReadFileBytes(left), {}};
    if (layout == DualMono) o.right = ReadFileBytes(right);
    return o;
}

std::vector<uint8_t> Samples(const std::vector<uint8_t>& file) {
    return file.size() < 1024 ? std::vector<uint8_t>{}
                              : std::vector<uint8_t>(file.begin() + 1024, file.end());
}

void ExpectMatchesModel(Project& project, uint32_t rate, uint64_t fadeLength) {
    EDLWriter writer;
    writer.Init();
    ASSERT_EQ(writer.LoadProject(project.dir.Path().c_str()), 1);
    uint64_t first = 0;
    const std::vector<int32_t> staged = reference::Render(project.takes, fadeLength, &first);
    TempDir out;
    for (int width : {0, 1}) {
        for (int layout = 0; layout <= 4; ++layout) {
            SCOPED_TRACE("width column " + std::to_string(width) + ", layout " +
                         std::to_string(layout));
            const int bits = width == 0 ? 16 : 24;
            std::vector<uint8_t> expectedRight;
            const std::vector<uint8_t> expected =
                reference::Narrow(staged, layout, bits, &expectedRight);
            const Output o = Convert(writer, out, width, layout);
            const std::vector<uint8_t> got = Samples(o.left);
            ASSERT_EQ(got.size(), expected.size());
            const auto mismatch = std::mismatch(got.begin(), got.end(), expected.begin());
            ASSERT_TRUE(mismatch.first == got.end())
                << "first difference at byte " << (mismatch.first - got.begin());
            if (layout == DualMono) {
                EXPECT_TRUE(Samples(o.right) == expectedRight);
            }
            // Header: sizes, format and the project's first frame as time reference.
            EXPECT_EQ(Le32(o.left, 4), o.left.size() - 8);
            EXPECT_EQ(Le32(o.left, 1020), o.left.size() - 1024);
            EXPECT_EQ(Le32(o.left, 890), rate);
            EXPECT_EQ(o.left[888], layout == Stereo ? 2 : 1);
            EXPECT_EQ(o.left[900], bits);
            EXPECT_EQ(Le32(o.left, 358) | uint64_t{Le32(o.left, 362)} << 32, first);
        }
    }
}

}  // namespace

TEST(Convert, RandomProjectsMatchTheReferenceModel) {
    std::mt19937 rng(4242);
    for (int round = 0; round < 10; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        Project project;
        const int count = 1 + static_cast<int>(rng() % 6);
        for (int i = 0; i < count; ++i) {
            reference::Take take;
            take.start = 20000 + rng() % 60000;
            take.frames = rng() % 3 == 0 ? 10 + rng() % 3000 : 5000 + rng() % 70000;
            take.channels = 1 + static_cast<int>(rng() % 2);
            take.bits = rng() % 2 ? 16 : 24;
            take.identity = 1 + rng() % 3;  // some takes are pieces of one recording
            take.seed = static_cast<uint32_t>(round * 10 + i + 1);
            project.Add(take);
        }
        ExpectMatchesModel(project, 48000, 1024);
    }
}

TEST(Convert, HighRatesFadeLonger) {
    for (const auto& [rate, fadeLength] : {std::pair<uint32_t, uint64_t>{96000, 2048},
                                           std::pair<uint32_t, uint64_t>{192000, 4096}}) {
        SCOPED_TRACE(rate);
        Project project;
        project.Add({0, 40000, 2, 24, 1, 1}, rate);
        project.Add({30000, 30000, 1, 16, 2, 2}, rate);
        project.Add({10000, 5000, 2, 24, 1, 3}, rate);  // same identity as the first
        ExpectMatchesModel(project, rate, fadeLength);
    }
}

TEST(Convert, ProgressAndLength) {
    Project project;
    project.Add({1000, 100000, 2, 16, 1, 1});
    EDLWriter writer;
    writer.Init();
    ASSERT_EQ(writer.LoadProject(project.dir.Path().c_str()), 1);
    writer.SetParams(0, MonoRight);
    TempDir out;
    ASSERT_EQ(writer.NewFile((out / "r.wav").c_str()), 1);
    std::atomic<double> progress{0.0};
    ASSERT_EQ(writer.doConvert(progress), 1);
    EXPECT_NEAR(progress.load(), 100.0 * 7 / 6, 1e-9);  // 6 whole blocks, 7 fills
    EXPECT_EQ(ReadFileBytes(out / "r.wav").size(), 1024u + 200000u);
    // The output event of that run is gone: a second run needs a new output.
    EXPECT_EQ(writer.doConvert(progress), 0);

    // A span shorter than one block still reaches 100.
    Project tiny;
    tiny.Add({0, 500, 2, 16, 1, 1});
    ASSERT_EQ(writer.LoadProject(tiny.dir.Path().c_str()), 1);
    ASSERT_EQ(writer.NewFile((out / "tiny.wav").c_str()), 1);
    progress = 0.0;
    ASSERT_EQ(writer.doConvert(progress), 1);
    EXPECT_DOUBLE_EQ(progress.load(), 100.0);
}

TEST(Convert, DualMonoFilesAreEqualAndPlacedAlike) {
    Project project;
    project.Add({480000, 30000, 2, 24, 1, 1});
    EDLWriter writer;
    writer.Init();
    ASSERT_EQ(writer.LoadProject(project.dir.Path().c_str()), 1);
    TempDir out;
    const Output o = Convert(writer, out, 1, DualMono);
    ASSERT_EQ(o.left.size(), o.right.size());
    EXPECT_EQ(o.left.size(), 1024u + 30000u * 3);
    EXPECT_EQ(Le32(o.right, 358), 480000u);

    // When the right file cannot be created nothing is held and nothing converts.
    writer.SetParams(1, DualMono);
    EXPECT_EQ(writer.NewFiles((out / "L2.wav").c_str(), (out / "no/such/dir/R2.wav").c_str()), 0);
    EXPECT_EQ(writer.outFile, nullptr);
    EXPECT_EQ(writer.outEvent, nullptr);
    EXPECT_TRUE(std::filesystem::exists(out / "L2.wav"));
}

TEST(Convert, AStopLeavesAValidShorterFile) {
    Project project;
    project.Add({0, 48000 * 60, 2, 24, 1, 1});  // a minute
    EDLWriter writer;
    writer.Init();
    ASSERT_EQ(writer.LoadProject(project.dir.Path().c_str()), 1);
    TempDir out;
    writer.SetParams(1, Stereo);
    ASSERT_EQ(writer.NewFile((out / "stop.wav").c_str()), 1);
    std::atomic<double> progress{0.0};
    int32_t result = 0;
    std::thread worker([&] { result = writer.doConvert(progress); });
    while (progress.load() < 10.0) std::this_thread::yield();
    writer.stopRequested = true;
    worker.join();
    EXPECT_EQ(result, 1);
    const auto file = ReadFileBytes(out / "stop.wav");
    EXPECT_GT(file.size(), 1024u);
    EXPECT_LT(file.size(), 1024u + 48000u * 60 * 6);
    EXPECT_EQ(Le32(file, 4), file.size() - 8);
    EXPECT_EQ(Le32(file, 1020), file.size() - 1024);
    EXPECT_EQ((file.size() - 1024) % 6, 0u);

    // A stop requested before the run has even started is honoured too, and the
    // empty output still has a valid header.
    ASSERT_EQ(writer.NewFile((out / "early.wav").c_str()), 1);
    writer.stopRequested = true;
    EXPECT_EQ(writer.doConvert(progress), 1);
    const auto early = ReadFileBytes(out / "early.wav");
    ASSERT_EQ(early.size(), 1024u);
    EXPECT_EQ(Le32(early, 4), 1016u);
    EXPECT_EQ(Le32(early, 1020), 0u);
}

// The soft file-size limit of the child below, and its hard limit.
rlimit fileSizeLimit;

// The write that met the limit has failed; every later write would succeed.
extern "C" void LiftFileSizeLimit(int) {
    const rlimit lifted{fileSizeLimit.rlim_max, fileSizeLimit.rlim_max};
    setrlimit(RLIMIT_FSIZE, &lifted);
}

TEST(Convert, AWriteThatFailsOnceLeavesEveryBlockInItsPlace) {
    TempDir out;
    const std::string path = out / "full.wav";
    constexpr uint64_t kFrames = 16384, kBlockBytes = kFrames * 6;  // 24-bit stereo
    // A file-size limit in the middle of the third block stands in for a full
    // disk; the moment the write fails the limit goes, as when space is freed, so
    // every later write would succeed. Set in a child process.
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        std::signal(SIGXFSZ, LiftFileSizeLimit);
        getrlimit(RLIMIT_FSIZE, &fileSizeLimit);
        fileSizeLimit.rlim_cur = 1024 + kBlockBytes * 5 / 2;
        setrlimit(RLIMIT_FSIZE, &fileSizeLimit);
        kxFile file(path.c_str(), 2, 48000, 24, 0);
        if (!file.OpenForWrite()) _exit(10);
        AudioEvent output(&file, nullptr, Stereo);
        bool written = true;
        {
            BlockWriter writer(&output);
            for (uint8_t block = 1; block <= 5; ++block) {  // handed over come what may
                uint8_t* array = writer.FreeArray();
                std::memset(array, block, kBlockBytes);
                writer.Submit(array, kFrames);
            }
            written = writer.Finish();
            if (writer.Error() != EFBIG) _exit(11);
        }
        output.Finish();
        _exit(written ? 12 : 0);
    }
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    ASSERT_EQ(WEXITSTATUS(status), 0);
    // The two blocks written before the failure, in their places; the header says so.
    const auto file = ReadFileBytes(path);
    ASSERT_EQ(file.size(), 1024 + 2 * kBlockBytes);
    EXPECT_EQ(Le32(file, 4), file.size() - 8);
    EXPECT_EQ(Le32(file, 1020), file.size() - 1024);
    for (uint64_t at = 1024; at < file.size(); at += 4099) {
        ASSERT_EQ(file[at], (at - 1024) / kBlockBytes + 1) << at;
    }
}

TEST(Convert, NewOutputsReleaseTheOldOnes) {
    Project project;
    project.Add({0, 1000, 2, 16, 1, 1});
    EDLWriter writer;
    writer.Init();
    ASSERT_EQ(writer.LoadProject(project.dir.Path().c_str()), 1);
    TempDir out;
    ASSERT_EQ(writer.NewFile((out / "a.wav").c_str()), 1);
    // Preparing again without running closes the first output with a valid header.
    ASSERT_EQ(writer.NewFile((out / "b.wav").c_str()), 1);
    const auto a = ReadFileBytes(out / "a.wav");
    ASSERT_EQ(a.size(), 1024u);
    EXPECT_EQ(Le32(a, 4), 1016u);
    std::atomic<double> progress{0.0};
    EXPECT_EQ(writer.doConvert(progress), 1);
    EXPECT_EQ(ReadFileBytes(out / "b.wav").size(), 1024u + 4000u);
}
