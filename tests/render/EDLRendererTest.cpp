// The renderer's block rules where they once went wrong — fades at the end of a
// block — and what becomes of audio that cannot be read or placed. (Every other
// rule is compared with the reference model through whole conversions, in
// tests/engine.)
#include <gtest/gtest.h>

#include "platform/kxDiskMgr.h"
#include "render/EDLRenderer.h"
#include "render/Kernels.h"
#include "support/LoadedProject.h"

using namespace testsupport;

namespace {

TakeRecipe Take16(uint64_t start, uint64_t frames, int age = 0) {
    return NthTake(start, frames, age, 2, 16);
}

// The staged value of a frame of a take written with `seed`, faded by `entry`
// (16-bit takes only).
int32_t Staged(uint32_t seed, uint64_t frame, int channel, int entry = -1, int bits = 16) {
    const auto sample = static_cast<uint32_t>(PatternSample(seed, frame, channel, bits));
    if (entry < 0) return static_cast<int32_t>(sample << (32 - bits));
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

TEST(EDLRenderer, ATakeCutShortAfterLoadingKeepsWhatIsLeft) {
    const uint64_t window = kEventBufferBytes / 4;  // 16-bit stereo frames in one read
    const uint64_t length = window + 60000, left = window + 35000;
    LoadedProject project({Take16(0, length)});
    std::filesystem::resize_file(project.dir.AudioDir() + "/Take 01.wav",
                                 project.takes[0]->DataStart() + left * 4);
    EDLRenderer renderer;
    std::vector<int32_t> frames;
    Blocks(renderer, project, length, frames);
    // The second window's read fails at the end of the file; what is there is kept.
    EXPECT_EQ(frames[2 * (left - 1)], Staged(1, left - 1, 0));
    EXPECT_EQ(frames[2 * left], 0);
    EXPECT_EQ(project.takes[0]->Mode(), kRiffClosed) << "a failed take is not held open";
    // One span over several blocks.
    EXPECT_EQ(renderer.silencedSpans,
              (std::vector<SilencedSpan>{{project.takes[0], left, length, left}}));
}

TEST(EDLRenderer, SilenceForATakeThatCannotBeOpenedEndsWithItsEvent) {
    LoadedProject project({Take16(0, 1000), Take16(1000, 5000, 1)});
    std::filesystem::remove(project.takes[0]->Path());  // gone after loading
    EDLRenderer renderer;
    std::vector<int32_t> frames;
    Blocks(renderer, project, 6000, frames);
    EXPECT_EQ(renderer.silencedSpans, (std::vector<SilencedSpan>{{project.takes[0], 0, 1000, 0}}));
    EXPECT_EQ(frames[2 * 3000], Staged(2, 2000, 0)) << "the next take in the block was lost";
}

// Bytes of a take that cannot be read (as a bad sector) cost only the frames that
// touch the 4 KiB pieces of the file holding them; the rest reads as ever, and each
// silenced stretch is noted with the take's own frame.
TEST(EDLRenderer, AReadErrorCostsOnlyWhatCannotBeRead) {
    constexpr uint64_t kSector = 4096;
    const struct {
        const char* what;
        int channels, bits;
        std::vector<std::pair<uint64_t, uint64_t>> faults;  // sample bytes, from .. to
    } cases[] = {
        {"ten bytes", 2, 16, {{400000, 400010}}},
        {"frames across sector ends, two faults in one window",
         2,
         24,
         {{300000, 300001}, {900000, 905000}}},
        {"a fault across the end of a read window", 1, 24, {{0x200000 - 600, 0x200000 + 9000}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const uint64_t length = 1000000;  // several windows
        LoadedProject project({NthTake(0, length, 0, c.channels, c.bits)});
        const kxFile& take = *project.takes[0];
        const uint64_t frameBytes = take.BytesPerSample();
        std::vector<SilencedSpan> expected;
        for (const auto& [from, to] : c.faults) {
            const uint64_t at = take.DataStart() + from;
            ASSERT_TRUE(kxDiskMgr::AddReadFault(take.Path(), at, take.DataStart() + to));
            // The frames that touch the sectors holding the fault.
            const uint64_t first = at / kSector * kSector - take.DataStart();
            const uint64_t last =
                (take.DataStart() + to + kSector - 1) / kSector * kSector - take.DataStart();
            expected.push_back({&take, first / frameBytes, (last + frameBytes - 1) / frameBytes,
                                first / frameBytes});
        }
        EDLRenderer renderer;
        std::vector<int32_t> frames;
        Blocks(renderer, project, length, frames);
        kxDiskMgr::ClearReadFaults();

        EXPECT_EQ(renderer.silencedSpans, expected);
        // The frames on either side of each span are the take's, untouched.
        for (const SilencedSpan& span : expected) {
            EXPECT_EQ(frames[2 * (span.start - 1)], Staged(1, span.start - 1, 0, -1, c.bits));
            EXPECT_EQ(frames[2 * span.start] | frames[2 * (span.end - 1)], 0);
            EXPECT_EQ(frames[2 * span.end], Staged(1, span.end, 0, -1, c.bits));
        }
    }
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
