// The RIFF stream and the disk layer beneath it, on real files.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "audiofile/kxRiff.h"
#include "support/TempDir.h"

using testsupport::TempDir;

namespace {

uint64_t Position(kxRiff& riff) {
    uint64_t at = 0;
    EXPECT_EQ(riff.CurrentFilePosition(at), kRiffDone);
    return at;
}

}  // namespace

TEST(kxRiff, OpenModesAndWhatEachStateAllows) {
    TempDir dir;
    const std::string path = dir / "out.wav";
    kxRiff riff;
    for (const int refused : {0, 2, 6}) {
        EXPECT_EQ(riff.Open(path.c_str(), static_cast<RiffFileMode>(refused)), kRiffNotAllowed);
        EXPECT_EQ(riff.Mode(), kRiffClosed);
        EXPECT_FALSE(std::filesystem::exists(path)) << "mode " << refused << " created a file";
    }
    const char bytes[] = "RIFF\x04\0\0\0WAVE";
    EXPECT_EQ(riff.Write(bytes, 12), kRiffNotAllowed) << "closed";

    ASSERT_EQ(riff.Open(path.c_str(), kRiffCreate), kRiffDone);
    EXPECT_EQ(riff.Write(bytes, 12), kRiffDone);
    EXPECT_EQ(riff.Write(bytes, 0), kRiffFailed);
    EXPECT_EQ(riff.WrittenBytes(), 12u);
    riff.Close();

    ASSERT_EQ(riff.Open(path.c_str(), kRiffReadSamples), kRiffDone);
    EXPECT_EQ(riff.Mode(), kRiffReadChunks) << "mode 4 is recorded as the reading state";
    EXPECT_EQ(Position(riff), 0u) << "mode 4 reads nothing at open";
    EXPECT_EQ(riff.Write(bytes, 12), kRiffNotAllowed);
    EXPECT_EQ(riff.FileLength(), 12u);

    ASSERT_EQ(riff.Open(path.c_str(), kRiffReadChunks), kRiffDone);
    EXPECT_EQ(Position(riff), 8u) << "mode 3 reads the RIFF id and size";
    EXPECT_EQ(riff.Write(bytes, 12), kRiffNotAllowed);
    riff.Close();
    EXPECT_EQ(std::filesystem::file_size(path), 12u) << "a refused write wrote something";

    testsupport::WriteFileBytes(path, {'R', 'I', 'F', 'F', 0, 0, 0});
    EXPECT_EQ(riff.Open(path.c_str(), kRiffReadChunks), kRiffFailed) << "shorter than 8 bytes";
    EXPECT_EQ(riff.Mode(), kRiffClosed);
    EXPECT_EQ(riff.Open((dir / "missing.wav").c_str(), kRiffReadSamples), kRiffFailed);
    EXPECT_EQ(riff.Open(nullptr, kRiffCreate), kRiffFailed);
}

TEST(kxRiff, SkipNeverLeavesTheFile) {
    TempDir dir;
    const std::string path = dir / "hundred.bin";
    testsupport::WriteFileBytes(path, std::vector<uint8_t>(100, 0x55));
    kxRiff riff;
    ASSERT_EQ(riff.Open(path.c_str(), kRiffReadChunks), kRiffDone);
    for (const uint64_t tooFar : {uint64_t{93}, uint64_t{0x80000000}, uint64_t{0xFFFFFFFF},
                                  uint64_t{1} << 63, UINT64_MAX}) {
        EXPECT_EQ(riff.Skip(tooFar), kRiffFailed) << tooFar;
        EXPECT_EQ(Position(riff), 8u) << "a refused skip moved the stream";
    }
    EXPECT_EQ(riff.Skip(92), kRiffDone);
    EXPECT_EQ(Position(riff), 100u);
    EXPECT_EQ(riff.Skip(1), kRiffFailed);
    EXPECT_EQ(riff.Skip(0), kRiffDone);
    riff.Close();
    EXPECT_EQ(riff.Skip(0), kRiffFailed) << "no stream";
}
