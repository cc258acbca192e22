// The RIFF stream and the disk layer beneath it, on real files.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>

#include "audiofile/kxDiskMgr.h"
#include "audiofile/kxRiff.h"
#include "support/TakeBuilder.h"
#include "support/TempDir.h"

using testsupport::TakeBuilder;
using testsupport::TempDir;

namespace {

// Opens a file for its chunks and reads past "WAVE" and the first chunk header.
void OpenAtFirstChunk(kxRiff& riff, const std::string& path, RiffChunkHeader& first) {
    ASSERT_EQ(riff.Open(path.c_str(), kRiffReadChunks), kRiffDone);
    uint32_t form = 0;
    ASSERT_EQ(riff.ReadDWORD(form), kRiffDone);
    ASSERT_EQ(form, kWaveID);
    ASSERT_EQ(riff.ReadChunkHeader(first), kRiffDone);
}

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

TEST(kxDiskMgr, ZeroByteTransfersFail) {
    TempDir dir;
    std::FILE* stream = kxDiskMgr::FileOpen((dir / "f").c_str(), "wb+");
    ASSERT_NE(stream, nullptr);
    char buffer[4] = {1, 2, 3, 4};
    EXPECT_FALSE(kxDiskMgr::FileWrite(stream, buffer, 0));
    EXPECT_TRUE(kxDiskMgr::FileWrite(stream, buffer, 4));
    ASSERT_TRUE(kxDiskMgr::FileSeek(stream, 0, SEEK_SET));
    EXPECT_FALSE(kxDiskMgr::FileRead(stream, buffer, 0));
    EXPECT_FALSE(kxDiskMgr::FileRead(stream, buffer, 5)) << "a short read is a failure";
    EXPECT_TRUE(kxDiskMgr::FileClose(stream));
}

TEST(kxRiff, BextChunkNeedsItsFullPayloadAndSkipsCodingHistory) {
    TempDir dir;
    struct Case {
        uint32_t size;
        int32_t result;
        uint64_t positionAfter;
    };
    // 601 is refused before anything is read; 602 has no coding history; 858 is
    // the payload and 256 bytes of history, which is passed over.
    for (const Case c : {Case{601, kRiffFailed, 20}, Case{602, kRiffDone, 20 + 602},
                         Case{858, kRiffDone, 20 + 858}}) {
        SCOPED_TRACE(c.size);
        const std::string path = dir / ("bext" + std::to_string(c.size) + ".wav");
        TakeBuilder()
            .Riff()
            .Form()
            .Bext(0x123456789, "2026-03-14", "10:00:00", c.size > 602 ? c.size - 602 : 0, c.size)
            .Chunk("next", {})
            .Write(path);
        kxRiff riff;
        RiffChunkHeader first;
        OpenAtFirstChunk(riff, path, first);
        EXPECT_EQ(first.identifier, kBextID);
        BextFormatChunk chunk;
        std::memset(chunk.codingHistory, 'x', sizeof chunk.codingHistory);
        EXPECT_EQ(riff.ReadBextChunk(chunk, first.size), c.result);
        EXPECT_EQ(Position(riff), c.positionAfter);
        if (c.result != kRiffDone) continue;
        EXPECT_EQ(chunk.data.GetStartLocation(), 0x123456789u);
        EXPECT_EQ(chunk.data.version, 1);
        EXPECT_EQ(std::string(chunk.data.originationDate, 10), "2026-03-14");
        EXPECT_EQ(chunk.codingHistory[0], 'x') << "the coding history is dropped, not kept";
        RiffChunkHeader next;
        EXPECT_EQ(riff.ReadChunkHeader(next), kRiffDone);
        EXPECT_EQ(next.identifier, FourCC("next"));
    }
}

TEST(kxRiff, FormatChunkFillsAtMostTheRecordAndStaysInStep) {
    TempDir dir;
    struct Case {
        uint32_t size;
        uint16_t tag, subFormat;
        uint16_t extraSize;  // what the record holds afterwards; 0x7777 was there before
        bool extensiblePcm;
    };
    const Case cases[] = {
        {16, 1, 1, 0x7777, false},   // a plain PCM chunk leaves extra size alone
        {18, 1, 1, 0, false},        //
        {40, 0xFFFE, 1, 22, true},   // WAVE_FORMAT_EXTENSIBLE with the PCM GUID
        {40, 0xFFFE, 3, 22, false},  // ... with the float GUID
        {50, 0xFFFE, 1, 22, true},   // bytes beyond the GUID are skipped
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "size " << c.size << " sub-format " << c.subFormat);
        const std::string path = dir / "fmt.wav";
        TakeBuilder()
            .Riff()
            .Form()
            .Fmt(2, 48000, 24, c.tag, c.size, {}, c.subFormat)
            .Chunk("next", {})
            .Write(path);
        kxRiff riff;
        RiffChunkHeader first;
        OpenAtFirstChunk(riff, path, first);
        WaveFormatChunkData format;
        format.extraSize = 0x7777;
        bool extensiblePcm = !c.extensiblePcm;
        ASSERT_EQ(riff.ReadWaveChunk(format, first.size, &extensiblePcm), kRiffDone);
        EXPECT_EQ(format.formatTag, c.tag);
        EXPECT_EQ(format.channels, 2);
        EXPECT_EQ(format.sampleRate, 48000u);
        EXPECT_EQ(format.byteRate, 288000u);
        EXPECT_EQ(format.blockAlign, 6);
        EXPECT_EQ(format.bitsPerSample, 24);
        EXPECT_EQ(format.extraSize, c.extraSize);
        EXPECT_EQ(extensiblePcm, c.extensiblePcm);
        RiffChunkHeader next;
        ASSERT_EQ(riff.ReadChunkHeader(next), kRiffDone);
        EXPECT_EQ(next.identifier, FourCC("next"));
    }
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
