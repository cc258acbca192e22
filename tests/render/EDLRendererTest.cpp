// The renderer's block rules where they once went wrong — fades at the end of a
// block — and what becomes of audio that cannot be read or placed. (Every other
// rule is compared with the reference model through whole conversions, in
// tests/engine.)
#include <gtest/gtest.h>

#include "render/EDLRenderer.h"
#include "render/Kernels.h"
#include "support/LoadedProject.h"

using namespace testsupport;

namespace {

TakeRecipe Take16(uint64_t start, uint64_t frames, int age = 0) {
    return NthTake(start, frames, age, 2, 16);
}

// The staged value of a frame of a take written with `seed`, faded by `entry`.
int32_t Staged(uint32_t seed, uint64_t frame, int channel, int entry = -1) {
    const auto sample = static_cast<uint32_t>(PatternSample(seed, frame, channel, 16));
    if (entry < 0) return static_cast<int32_t>(sample << 16);
    const uint32_t gain = FadeTable()[entry] >> 16;
    return static_cast<int32_t>(2 * gain * static_cast<uint32_t>(static_cast<int16_t>(sample)));
}

// Renders the project's blocks up to `until`; returns the block boundaries and
// the staged frames.
std::vector<uint64_t> Blocks(EDLRenderer& renderer, LoadedProject& project, uint64_t until,
                             std::vector<int32_t>& frames) {
    std::vector<uint64_t> starts;
    renderer.Init();
    for (uint64_t pos = 0; pos < until;) {
        starts.push_back(pos);
        const uint64_t before = pos;
        EXPECT_EQ(renderer.Fill(project.edl.get(), pos, 16), 1);
        frames.insert(frames.end(), renderer.stageBuf.memBuffer,
                      renderer.stageBuf.memBuffer + 2 * (pos - before));
    }
    return starts;
}

}  // namespace

TEST(EDLRenderer, AFadeInCutByTheEndOfABlockIsWholeAllTheSame) {
    const struct {
        const char* what;
        uint64_t start, frames, firstBlockEnd;
    } cases[] = {
        // Starting 200 frames before the first block's end: the fade goes on in the next.
        {"fade cut by the block end", 16184, 5000, 16384},
        // Its last 1024 frames would straddle the first block's end, so that block
        // stops early, after the take's first piece: the piece still fades in.
        {"first piece ends a block", 2000, 15000, 15976},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        LoadedProject project({Take16(0, 10), Take16(c.start, c.frames, 1)});
        EDLRenderer renderer;
        std::vector<int32_t> frames;
        EXPECT_EQ(Blocks(renderer, project, c.start + c.frames, frames)[1], c.firstBlockEnd);
        for (uint64_t k : {0u, 199u, 200u, 1023u}) {
            EXPECT_EQ(frames[2 * (c.start + k)], Staged(2, k, 0, static_cast<int>(4 * k))) << k;
        }
        EXPECT_EQ(frames[2 * (c.start + 1024)], Staged(2, 1024, 0));
    }
}

TEST(EDLRenderer, UnreadableAudioBecomesSilenceForTheRestOfTheBlock) {
    const uint64_t window = kEventBufferBytes / 4;  // 16-bit stereo frames in one read
    const uint64_t length = window + 60000;
    LoadedProject project({Take16(0, length)});
    // The take is cut short on disk after the project was loaded.
    std::filesystem::resize_file(project.dir.AudioDir() + "/Take 01.wav",
                                 1024 + (window + 35000) * 4);
    EDLRenderer renderer;
    std::vector<int32_t> frames;
    Blocks(renderer, project, length, frames);
    // Reads of whole windows fail once the window reaches past what is left.
    EXPECT_EQ(frames[2 * (window - 1)], Staged(1, window - 1, 0));  // first window read
    EXPECT_EQ(frames[2 * window], 0);
    EXPECT_EQ(project.takes[0]->Mode(), kRiffClosed) << "a failed take is not held open";
    ASSERT_EQ(renderer.silencedSpans.size(), 1u);
    EXPECT_EQ(renderer.silencedSpans[0].take, project.takes[0]);
    EXPECT_EQ(renderer.silencedSpans[0].start, window);
    EXPECT_EQ(renderer.silencedSpans[0].end, length) << "one span over several blocks";
}

TEST(EDLRenderer, AudioThatCannotBePlacedNeverStallsTheRun) {
    LoadedProject project({Take16(0, 20000)});
    // A word length the staging buffer has no conversion for.
    project.takes[0]->header.format.data.bitsPerSample = 20;
    EDLRenderer renderer;
    std::vector<int32_t> frames;
    EXPECT_EQ(Blocks(renderer, project, 20000, frames), (std::vector<uint64_t>{0, 16384}));
    EXPECT_EQ(std::count(frames.begin(), frames.end(), 0), static_cast<long>(frames.size()));
}
