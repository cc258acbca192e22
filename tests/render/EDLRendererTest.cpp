// The renderer's block rules: where blocks end, where fades fall, and what becomes
// of audio that cannot be read.
#include <gtest/gtest.h>

#include "audiofile/kxFile.h"
#include "edl/EDL.h"
#include "render/EDLRenderer.h"
#include "render/Kernels.h"
#include "support/ProjectDir.h"

using namespace testsupport;

namespace {

// A loaded project: its takes in a sorted list and the EDL over them.
struct Loaded {
    explicit Loaded(const std::vector<TakeRecipe>& recipes) {
        for (size_t i = 0; i < recipes.size(); ++i) {
            TakeRecipe recipe = recipes[i];
            recipe.time = TimeOfDay(static_cast<int>(i));
            const std::string name = "t" + std::to_string(i) + ".wav";
            dir.Add(name, recipe);
            auto* file = new kxFile(dir.AudioDir().c_str(), name.c_str());
            EXPECT_TRUE(file->Validate());
            list.addItem(file);
        }
        edl = std::make_unique<EDL>(&list);
    }
    ProjectDir dir;
    kxLinkedList list;
    std::unique_ptr<EDL> edl;  // declared last: released before the list
};

TakeRecipe Take16(uint64_t start, uint64_t frames, uint32_t identity = 1, uint32_t seed = 1) {
    TakeRecipe recipe;
    recipe.bits = 16;
    recipe.channels = 2;
    recipe.start = start;
    recipe.frames = frames;
    recipe.identity = identity;
    recipe.seed = seed;
    return recipe;
}

int32_t Staged(uint32_t seed, uint64_t frame, int channel) {
    return static_cast<int32_t>(static_cast<uint32_t>(PatternSample(seed, frame, channel, 16))
                                << 16);
}

int32_t Faded(int32_t sample, uint32_t entry) {
    const uint32_t gain = FadeTable()[entry] >> 16;
    return static_cast<int32_t>(2 * gain * static_cast<uint32_t>(sample >> 16));
}

// Renders blocks from `pos` and returns the block boundaries.
std::vector<uint64_t> Blocks(EDLRenderer& renderer, EDL& edl, uint64_t pos, uint64_t until,
                             std::vector<int32_t>* frames = nullptr) {
    std::vector<uint64_t> starts;
    renderer.Init();
    while (pos < until) {
        starts.push_back(pos);
        const uint64_t before = pos;
        EXPECT_EQ(renderer.Fill(&edl, pos, 16), 1);
        if (frames != nullptr) {
            frames->insert(frames->end(), renderer.stageBuf.memBuffer,
                           renderer.stageBuf.memBuffer + 2 * (pos - before));
        }
    }
    starts.push_back(pos);
    return starts;
}

}  // namespace

TEST(EDLRenderer, AnEmptyListRendersBlocksOfSilence) {
    kxLinkedList none;
    EDL edl(&none);
    EDLRenderer renderer;
    std::vector<int32_t> frames;
    EXPECT_EQ(Blocks(renderer, edl, 5, 5 + 3 * 16384, &frames),
              (std::vector<uint64_t>{5, 5 + 16384, 5 + 2 * 16384, 5 + 3 * 16384}));
    EXPECT_EQ(std::count(frames.begin(), frames.end(), 0), static_cast<long>(frames.size()));
}

TEST(EDLRenderer, ABlockEndsEarlySoTheFadeOutStaysInOne) {
    Loaded project({Take16(0, 99000)});
    EDLRenderer renderer;
    std::vector<int32_t> frames;
    const auto starts = Blocks(renderer, *project.edl, 0, 99000, &frames);
    EXPECT_EQ(starts,
              (std::vector<uint64_t>{0, 16384, 32768, 49152, 65536, 81920, 97976, 97976 + 16384}));
    // The take fades in over its first 1024 frames and out over its last 1024, and
    // the rest of the last block is exact silence.
    EXPECT_EQ(frames[0], Faded(Staged(1, 0, 0), 0));
    EXPECT_EQ(frames[2 * 1023 + 1], Faded(Staged(1, 1023, 1), 4092));
    EXPECT_EQ(frames[2 * 1024], Staged(1, 1024, 0));
    EXPECT_EQ(frames[2 * 97975], Staged(1, 97975, 0));
    EXPECT_EQ(frames[2 * 97976], Faded(Staged(1, 97976, 0), 4095));
    EXPECT_EQ(frames[2 * 98999 + 1], Faded(Staged(1, 98999, 1), 3));
    EXPECT_EQ(std::count(frames.begin() + 2 * 99000, frames.end(), 0),
              static_cast<long>(frames.size() - 2 * 99000));
}

TEST(EDLRenderer, AFadeCutByTheBlockEndContinuesInTheNext) {
    // The take starts 200 frames before the end of the first block.
    Loaded project({Take16(0, 10), Take16(16184, 5000, 2, 2)});
    EDLRenderer renderer;
    std::vector<int32_t> frames;
    Blocks(renderer, *project.edl, 0, 16384 * 2, &frames);
    for (uint64_t k : {0u, 199u, 200u, 1023u}) {
        EXPECT_EQ(frames[2 * (16184 + k)], Faded(Staged(2, k, 0), static_cast<uint32_t>(4 * k)))
            << k;
    }
    EXPECT_EQ(frames[2 * (16184 + 1024)], Staged(2, 1024, 0));
}

TEST(EDLRenderer, ATakeWhoseFirstPieceEndsABlockStillFadesIn) {
    // 2,000 to 17,000: its last 1024 frames would straddle the first block's end, so
    // that block stops at 15,976 — after the take's first piece, which must fade in
    // all the same.
    Loaded project({Take16(0, 10), Take16(2000, 15000, 2, 2)});
    EDLRenderer renderer;
    std::vector<int32_t> frames;
    const auto starts = Blocks(renderer, *project.edl, 0, 17000, &frames);
    EXPECT_EQ(starts[1], 15976u);
    for (uint64_t k : {0u, 1u, 512u, 1023u}) {
        EXPECT_EQ(frames[2 * (2000 + k)], Faded(Staged(2, k, 0), static_cast<uint32_t>(4 * k)))
            << k;
    }
    EXPECT_EQ(frames[2 * (2000 + 1024)], Staged(2, 1024, 0));
}

TEST(EDLRenderer, PiecesOfOneRecordingJoinWithoutFades) {
    // Back to back: equal identities join untouched, different ones fade out and in.
    for (const bool sameRecording : {true, false}) {
        SCOPED_TRACE(sameRecording ? "same identity" : "different identities");
        Loaded project({Take16(0, 5000, 7, 1), Take16(5000, 5000, sameRecording ? 7 : 8, 2)});
        EDLRenderer renderer;
        std::vector<int32_t> frames;
        Blocks(renderer, *project.edl, 0, 10000, &frames);
        const int32_t lastOfFirst = Staged(1, 4999, 0), firstOfSecond = Staged(2, 0, 0);
        if (sameRecording) {
            EXPECT_EQ(frames[2 * 4999], lastOfFirst);
            EXPECT_EQ(frames[2 * 5000], firstOfSecond);
            EXPECT_EQ(frames[2 * 5100], Staged(2, 100, 0));
        } else {
            EXPECT_EQ(frames[2 * 4999], Faded(lastOfFirst, 3));
            EXPECT_EQ(frames[2 * 5000], Faded(firstOfSecond, 0));
            EXPECT_EQ(frames[2 * 5100], Faded(Staged(2, 100, 0), 400));
        }
    }
}

TEST(EDLRenderer, UnreadableAudioBecomesSilenceForTheRestOfTheBlock) {
    Loaded project({Take16(0, 40000, 1, 1)});
    // The take is cut short on disk after the project was loaded.
    const std::string path = project.dir.AudioDir() + "/t0.wav";
    std::filesystem::resize_file(path, 1024 + 35000 * 4);
    EDLRenderer renderer;
    std::vector<int32_t> frames;
    Blocks(renderer, *project.edl, 0, 40000, &frames);
    // Reads of whole windows fail once the window reaches past what is left.
    EXPECT_EQ(frames[2 * 2000], Staged(1, 2000, 0));
    EXPECT_EQ(frames[2 * 32767], Staged(1, 32767, 0));  // first window (32768 frames) read
    EXPECT_EQ(frames[2 * 32768], 0);
    ASSERT_EQ(renderer.silencedSpans.size(), 1u);
    EXPECT_EQ(renderer.silencedSpans[0].take, project.edl->firstEvent->file);
    EXPECT_EQ(renderer.silencedSpans[0].start, 32768u);
    EXPECT_EQ(renderer.silencedSpans[0].end, 40000u);
}

TEST(EDLRenderer, AudioThatCannotBePlacedNeverStallsTheRun) {
    Loaded project({Take16(0, 20000)});
    // A word length the staging buffer has no conversion for.
    project.edl->firstEvent->file->header.format.data.bitsPerSample = 20;
    EDLRenderer renderer;
    std::vector<int32_t> frames;
    const auto starts = Blocks(renderer, *project.edl, 0, 20000, &frames);
    EXPECT_EQ(starts, (std::vector<uint64_t>{0, 16384, 32768}));
    EXPECT_EQ(std::count(frames.begin(), frames.end(), 0), static_cast<long>(frames.size()));
}
