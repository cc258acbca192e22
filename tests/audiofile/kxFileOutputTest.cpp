// kxFile as an output: the header written at creation and at close, and the sizes
// it carries. (A write that fails is tested with the block writer, in tests/engine.)
#include <gtest/gtest.h>

#include <ctime>
#include <string>
#include <vector>

#include "audiofile/kxFile.h"
#include "support/TakeBuilder.h"
#include "support/TempDir.h"

using testsupport::PatternBytes;
using testsupport::ReadFileBytes;
using testsupport::TempDir;

namespace {

struct Expected {
    uint16_t channels;
    uint32_t rate;
    uint16_t bits;
    uint64_t start;
    uint32_t dataSize;
    bool provisional;  // the header written at creation: both sizes 0
};

std::string Text(const std::vector<uint8_t>& bytes, size_t offset, size_t length) {
    return std::string(bytes.begin() + offset, bytes.begin() + offset + length);
}

// Checks every byte of an output's 1024-byte header against the layout written by
// the tests' own writer: a 'bext' empty but for its stamp (the date and time found
// in the file, checked apart), the start and version 1; a PCM 'fmt ' of 18 bytes;
// an empty TFID; a PAD chunk up to the samples; the data chunk's header. Both sizes
// are 0 in the provisional header.
void ExpectOutputHeader(const std::vector<uint8_t>& bytes, const Expected& e) {
    ASSERT_GE(bytes.size(), 1024u);
    std::vector<uint8_t> bext(858, 0);
    std::copy(bytes.begin() + 340, bytes.begin() + 358, bext.begin() + 320);
    for (int i = 0; i < 8; ++i) bext[338 + i] = static_cast<uint8_t>(e.start >> (8 * i));
    bext[346] = 1;
    testsupport::TakeBuilder header;
    header.Riff("RIFF", e.provisional ? 0 : 1016 + e.dataSize).Form().Chunk("bext", bext);
    header.Fmt(e.channels, e.rate, e.bits, 1, 18).Chunk("TFID", std::vector<uint8_t>(26));
    header.Chunk("PAD ", std::vector<uint8_t>(70))
        .Chunk("data", {}, e.provisional ? 0 : e.dataSize);
    EXPECT_EQ(std::vector<uint8_t>(bytes.begin(), bytes.begin() + 1024), header.Bytes());
}

std::string LocalStamp(std::time_t when) {
    std::tm local{};
    localtime_r(&when, &local);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
    return text;
}

}  // namespace

TEST(kxFileOutput, HeaderIsProvisionalUntilCloseThenCarriesTheSizesOfWholeFrames) {
    testsupport::ScopedTimeZone zone("IST-5:30");  // a local clock far from UTC
    TempDir dir;
    const std::string path = dir / "out.wav";
    const uint64_t start = 0x123456789;
    kxFile out(path.c_str(), 2, 48000, 24, start);
    const std::time_t before = std::time(nullptr);
    ASSERT_TRUE(out.OpenForWrite());
    const std::time_t after = std::time(nullptr);

    const std::vector<uint8_t> provisional = ReadFileBytes(path);
    ASSERT_EQ(provisional.size(), 1024u);
    ExpectOutputHeader(provisional, {2, 48000, 24, start, 0, true});
    const std::string stamp = Text(provisional, 340, 10) + " " + Text(provisional, 350, 8);
    EXPECT_TRUE(stamp == LocalStamp(before) || stamp == LocalStamp(after))
        << stamp << " is not the local time " << LocalStamp(before);

    // Pieces of any size; the last frame is cut short, and cut off at close.
    const std::vector<uint8_t> samples = PatternBytes(5, 0, 1000, 2, 24);
    size_t written = 0;
    for (const size_t piece : {4, 26, 1000, 2973}) {
        ASSERT_TRUE(out.WriteData(samples.data() + written, piece));
        written += piece;
    }
    EXPECT_TRUE(out.Close());
    const std::vector<uint8_t> bytes = ReadFileBytes(path);
    ASSERT_EQ(bytes.size(), 1024u + 4002u);
    ExpectOutputHeader(bytes, {2, 48000, 24, start, 4002, false});
    EXPECT_EQ(Text(bytes, 340, 18), Text(provisional, 340, 18)) << "the stamp changed at close";
    EXPECT_TRUE(std::equal(bytes.begin() + 1024, bytes.end(), samples.begin()));
}
