// The last step of a conversion: staged frames narrowed into the output event and
// written to its file or files.
#include <gtest/gtest.h>

#include "audiofile/kxFile.h"
#include "edl/AudioEvent.h"
#include "render/RecordingBuffer.h"
#include "render/StagingBuffer.h"
#include "support/TempDir.h"

using namespace testsupport;

TEST(RecordingBuffer, RefusesUntilBoundToAnOutputOfAKnownWidth) {
    std::vector<int32_t> frames(2 * 16, 0x10000000);
    RecordingBuffer unbound;
    EXPECT_FALSE(unbound.WriteBuffer(frames.data(), 16));

    TempDir dir;
    kxFile odd((dir / "odd.wav").c_str(), 2, 48000, 20, 0);
    ASSERT_TRUE(odd.OpenForWrite());
    AudioEvent event(&odd, nullptr, Stereo);
    RecordingBuffer buffer;
    EXPECT_TRUE(buffer.Initialize(&event));
    EXPECT_FALSE(buffer.WriteBuffer(frames.data(), 16));
    EXPECT_FALSE(buffer.WriteBuffer(nullptr, 16));
    AudioEvent noFile(nullptr, nullptr, Stereo);
    EXPECT_FALSE(buffer.Initialize(&noFile));
}

TEST(RecordingBuffer, WritesEachLayoutAtItsWidth) {
    TempDir dir;
    std::vector<int32_t> frames(2 * kStageFrames);
    for (uint64_t i = 0; i < kStageFrames; ++i) {
        frames[2 * i] = 0x10000000;
        frames[2 * i + 1] = 0x20000000;
    }
    struct Case {
        ChanTypes layout;
        int bits;
        std::vector<uint8_t> firstFrame;  // bytes of the first output frame (left file)
    };
    for (const Case& c :
         {Case{Stereo, 24, {0x00, 0x00, 0x10, 0x00, 0x00, 0x20}}, Case{MonoRight, 16, {0x00, 0x20}},
          Case{MonoSummed, 16, {0x00, 0x30}}, Case{MonoLeft, 24, {0x00, 0x00, 0x10}},
          Case{DualMono, 24, {0x00, 0x00, 0x10}}}) {
        SCOPED_TRACE(std::to_string(c.layout) + "/" + std::to_string(c.bits));
        const int channels = c.layout == Stereo ? 2 : 1;
        kxFile left((dir / "l.wav").c_str(), static_cast<int8_t>(channels), 48000,
                    static_cast<int8_t>(c.bits), 0);
        kxFile right((dir / "r.wav").c_str(), 1, 48000, static_cast<int8_t>(c.bits), 0);
        ASSERT_TRUE(left.OpenForWrite());
        if (c.layout == DualMono) {
            ASSERT_TRUE(right.OpenForWrite());
        }
        AudioEvent event(&left, c.layout == DualMono ? &right : nullptr, c.layout);
        RecordingBuffer buffer;
        ASSERT_TRUE(buffer.Initialize(&event));
        ASSERT_TRUE(buffer.WriteBuffer(frames.data(), kStageFrames));
        EXPECT_FALSE(buffer.WriteBuffer(frames.data(), kStageFrames + 1));  // beyond one block
        event.Finish();
        const uint64_t frameBytes = c.firstFrame.size();
        EXPECT_EQ(left.DataSize(), kStageFrames * frameBytes);
        const auto bytes = ReadFileBytes(dir / "l.wav");
        ASSERT_GE(bytes.size(), 1024 + frameBytes);
        EXPECT_EQ(std::vector<uint8_t>(bytes.begin() + 1024, bytes.begin() + 1024 + frameBytes),
                  c.firstFrame);
        if (c.layout == DualMono) {
            const auto r = ReadFileBytes(dir / "r.wav");
            EXPECT_EQ(r.size(), 1024 + kStageFrames * 3);
            EXPECT_EQ(std::vector<uint8_t>(r.begin() + 1024, r.begin() + 1027),
                      (std::vector<uint8_t>{0x00, 0x00, 0x20}));
        }
    }
}
