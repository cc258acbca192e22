// Reading audio through an event's buffer: windows, refills, and the file being
// open only while an event is read.
#include <gtest/gtest.h>

#include <cstring>

#include "audiofile/kxFile.h"
#include "edl/AudioEvent.h"
#include "support/ProjectDir.h"

using namespace testsupport;

namespace {

struct Take {
    Take(ProjectDir& dir, const std::string& name, int channels, int bits, uint64_t frames,
         uint64_t start = 1000, uint32_t seed = 7) {
        TakeRecipe recipe;
        recipe.channels = channels;
        recipe.bits = bits;
        recipe.frames = frames;
        recipe.start = start;
        recipe.seed = seed;
        dir.Add(name, recipe);
        file = std::make_unique<kxFile>(dir.AudioDir().c_str(), name.c_str());
        EXPECT_TRUE(file->Validate());
        expected = PatternBytes(seed, 0, frames, channels, bits);
    }
    std::unique_ptr<kxFile> file;
    std::vector<uint8_t> expected;
};

bool IsOpen(const kxFile& f) {
    return f.Mode() != kRiffClosed;
}

// The bytes of frames [first, first + n) of a take.
std::vector<uint8_t> Frames(const Take& take, uint64_t first, uint64_t n) {
    const uint64_t b = take.file->BytesPerSample();
    return {take.expected.begin() + first * b, take.expected.begin() + (first + n) * b};
}

std::vector<uint8_t> Window(const uint8_t* data, uint64_t frames, uint64_t frameBytes) {
    return {data, data + frames * frameBytes};
}

}  // namespace

TEST(FileBuffer, FreshBufferHoldsNothing) {
    fileBuffer buffer;
    EXPECT_EQ(buffer.SamplesLeft(0), 0u);
    EXPECT_EQ(buffer.LeftData(0), nullptr);
    EXPECT_EQ(buffer.RightData(0), nullptr);
    EXPECT_EQ(buffer.Max(), 131072u);
}

TEST(FileBuffer, WindowsHoldWholeFramesOfEveryLayout) {
    ProjectDir dir;
    struct Layout {
        int channels, bits;
        uint64_t framesPerFill;
    };
    for (const Layout& layout :
         {Layout{2, 16, 32768}, Layout{1, 16, 65536}, Layout{2, 24, 20480}, Layout{1, 24, 40960}}) {
        SCOPED_TRACE(std::to_string(layout.channels) + "ch " + std::to_string(layout.bits) + "bit");
        const std::string name =
            std::to_string(layout.channels) + std::to_string(layout.bits) + ".wav";
        Take take(dir, name, layout.channels, layout.bits, 100000);
        AudioEvent event(take.file.get(), nullptr, MonoLeft);
        const uint64_t start = event.startSample;
        const uint64_t b = take.file->BytesPerSample();

        fileBuffer* buffer = event.GetAudio(start, 0);
        ASSERT_NE(buffer, nullptr);
        EXPECT_EQ(buffer->SamplesLeft(start), layout.framesPerFill);
        EXPECT_EQ(Window(buffer->LeftData(start), layout.framesPerFill, b),
                  Frames(take, 0, layout.framesPerFill));
        EXPECT_EQ(buffer->RightData(start), nullptr);

        // Inside the window nothing is read, however little is left.
        const uint64_t lastInWindow = start + layout.framesPerFill - 1;
        EXPECT_EQ(event.GetAudio(lastInWindow, 0), buffer);
        EXPECT_EQ(buffer->SamplesLeft(lastInWindow), 1u);
        // The next position refills from there.
        ASSERT_NE(event.GetAudio(lastInWindow + 1, 0), nullptr);
        EXPECT_EQ(buffer->bufStart, lastInWindow + 1);
        EXPECT_EQ(Window(buffer->LeftData(lastInWindow + 1), 10, b),
                  Frames(take, layout.framesPerFill, 10));
    }
}

TEST(FileBuffer, CountLimitsTheFillAndTheEndClosesTheFile) {
    ProjectDir dir;
    Take take(dir, "a.wav", 2, 16, 50000);
    AudioEvent event(take.file.get(), nullptr, Stereo);
    const uint64_t start = event.startSample;

    fileBuffer* buffer = event.GetAudio(start + 100, 500);
    ASSERT_NE(buffer, nullptr);
    EXPECT_EQ(buffer->SamplesLeft(start + 100), 500u);
    EXPECT_TRUE(IsOpen(*take.file));

    // A fill that reaches the event's end closes the file...
    buffer = event.GetAudio(start + 40000, 0);
    ASSERT_NE(buffer, nullptr);
    EXPECT_EQ(buffer->SamplesLeft(start + 40000), 10000u);
    EXPECT_FALSE(IsOpen(*take.file));
    EXPECT_EQ(Window(buffer->LeftData(start + 49990), 10, 4), Frames(take, 49990, 10));
    // ...a later read opens it again...
    buffer = event.GetAudio(start, 0);
    ASSERT_NE(buffer, nullptr);
    EXPECT_TRUE(IsOpen(*take.file));
    EXPECT_EQ(Window(buffer->LeftData(start), 4, 4), Frames(take, 0, 4));
    // ...and the event's end itself has nothing to give.
    EXPECT_EQ(event.GetAudio(event.endSample, 0), nullptr);
    EXPECT_FALSE(IsOpen(*take.file));
}

TEST(FileBuffer, TrimmedEventsReadFromTheirFileOffset) {
    ProjectDir dir;
    Take take(dir, "a.wav", 1, 24, 5000, 0);
    AudioEvent piece(take.file.get(), nullptr, MonoLeft);
    piece.SetNewStart(1200);
    piece.SetNewEnd(3000);
    fileBuffer* buffer = piece.GetAudio(1500, 0);
    ASSERT_NE(buffer, nullptr);
    EXPECT_EQ(buffer->SamplesLeft(1500), 1500u);  // up to the piece's end only
    EXPECT_EQ(Window(buffer->LeftData(1500), 1500, 3), Frames(take, 1500, 1500));
}

TEST(FileBuffer, DualMonoReadsBothFilesIntoTheirHalves) {
    ProjectDir dir;
    Take left(dir, "mixL.wav", 1, 24, 30000, 500, 11);
    Take right(dir, "mixR.wav", 1, 24, 30000, 500, 12);
    AudioEvent event(left.file.get(), right.file.get(), MonoLeft);
    EXPECT_EQ(event.chanType, DualMono);

    fileBuffer* buffer = event.GetAudio(500, 0);
    ASSERT_NE(buffer, nullptr);
    EXPECT_EQ(buffer->Max(), 61440u);
    EXPECT_EQ(buffer->SamplesLeft(500), 20480u);
    EXPECT_EQ(buffer->RightData(500) - buffer->LeftData(500), 65536);
    EXPECT_EQ(Window(buffer->LeftData(600), 100, 3), Frames(left, 100, 100));
    EXPECT_EQ(Window(buffer->RightData(600), 100, 3), Frames(right, 100, 100));

    // Without its right file a dual-mono event has no audio.
    AudioEvent broken(left.file.get(), nullptr, DualMono);
    EXPECT_EQ(broken.GetAudio(500, 0), nullptr);
}

TEST(FileBuffer, UnreadableAudioGivesNullAndAnEmptyWindow) {
    ProjectDir dir;
    Take take(dir, "gone.wav", 2, 16, 1000);
    AudioEvent event(take.file.get(), nullptr, Stereo);
    std::filesystem::remove(dir.AudioDir() + "/gone.wav");
    EXPECT_EQ(event.GetAudio(event.startSample, 0), nullptr);
    EXPECT_EQ(event.fileBuf.SamplesLeft(event.startSample), 0u);
    EXPECT_FALSE(IsOpen(*take.file));
}

TEST(FileBuffer, WriteDataSplitsDualMonoIntoTwoFiles) {
    TempDir dir;
    kxFile left((dir / "L.wav").c_str(), 1, 48000, 16, 0);
    kxFile right((dir / "R.wav").c_str(), 1, 48000, 16, 0);
    ASSERT_TRUE(left.OpenForWrite());
    ASSERT_TRUE(right.OpenForWrite());
    AudioEvent out(&left, &right, DualMono);
    uint8_t* data = out.fileBuf.Data();
    for (int i = 0; i < 32768; ++i) {
        data[i] = static_cast<uint8_t>(i);
        data[65536 + i] = static_cast<uint8_t>(255 - i % 256);
    }
    ASSERT_TRUE(out.WriteData(16384));
    EXPECT_FALSE(out.WriteData(32769));  // beyond a half: refused, nothing written
    out.Finish();
    EXPECT_EQ(left.DataSize(), 32768u);
    EXPECT_EQ(right.DataSize(), 32768u);
    const auto l = ReadFileBytes(dir / "L.wav");
    const auto r = ReadFileBytes(dir / "R.wav");
    ASSERT_EQ(l.size(), 1024u + 32768u);
    ASSERT_EQ(r.size(), 1024u + 32768u);
    EXPECT_EQ(0, std::memcmp(l.data() + 1024, data, 32768));
    EXPECT_EQ(0, std::memcmp(r.data() + 1024, data + 65536, 32768));
}
