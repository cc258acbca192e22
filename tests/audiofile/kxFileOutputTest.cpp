// kxFile as an output: the header written at creation and at close, and the sizes
// it carries. (A write that fails is tested with the block writer, in tests/engine.)
#include <gtest/gtest.h>

#include <algorithm>
#include <ctime>
#include <string>
#include <vector>

#include "audiofile/kxFile.h"
#include "support/TakeBuilder.h"
#include "support/TempDir.h"

using testsupport::Le16;
using testsupport::Le32;
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

bool AllZero(const std::vector<uint8_t>& bytes, size_t from, size_t to) {
    return std::all_of(bytes.begin() + from, bytes.begin() + to, [](uint8_t b) { return b == 0; });
}

// Checks every byte of an output's 1024-byte header against its layout.
void ExpectOutputHeader(const std::vector<uint8_t>& bytes, const Expected& e) {
    ASSERT_GE(bytes.size(), 1024u);
    const uint16_t align = static_cast<uint16_t>(e.channels * e.bits / 8);
    EXPECT_EQ(Text(bytes, 0, 4), "RIFF");
    EXPECT_EQ(Le32(bytes, 4), e.provisional ? 0u : 1016u + e.dataSize);
    EXPECT_EQ(Text(bytes, 8, 4), "WAVE");
    EXPECT_EQ(Text(bytes, 12, 4), "bext");
    EXPECT_EQ(Le32(bytes, 16), 858u);
    EXPECT_TRUE(AllZero(bytes, 20, 340)) << "description and originator are empty";
    EXPECT_EQ(Le32(bytes, 358), static_cast<uint32_t>(e.start));
    EXPECT_EQ(Le32(bytes, 362), static_cast<uint32_t>(e.start >> 32));
    EXPECT_EQ(Le16(bytes, 366), 1u);
    EXPECT_TRUE(AllZero(bytes, 368, 878)) << "UMID, reserved bytes and coding history are empty";
    EXPECT_EQ(Text(bytes, 878, 4), "fmt ");
    EXPECT_EQ(Le32(bytes, 882), 18u);
    EXPECT_EQ(Le16(bytes, 886), 1u);
    EXPECT_EQ(Le16(bytes, 888), e.channels);
    EXPECT_EQ(Le32(bytes, 890), e.rate);
    EXPECT_EQ(Le32(bytes, 894), e.rate * align);
    EXPECT_EQ(Le16(bytes, 898), align);
    EXPECT_EQ(Le16(bytes, 900), e.bits);
    EXPECT_EQ(Le16(bytes, 902), 0u);
    EXPECT_EQ(Text(bytes, 904, 4), "TFID");
    EXPECT_EQ(Le32(bytes, 908), 26u);
    EXPECT_TRUE(AllZero(bytes, 912, 938));
    EXPECT_EQ(Text(bytes, 938, 4), "PAD ");
    EXPECT_EQ(Le32(bytes, 942), 70u);
    EXPECT_TRUE(AllZero(bytes, 946, 1016));
    EXPECT_EQ(Text(bytes, 1016, 4), "data");
    EXPECT_EQ(Le32(bytes, 1020), e.provisional ? 0u : e.dataSize);
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

TEST(kxFileOutput, AnOutputWithoutSamplesIsClosedAsAValidEmptyFile) {
    TempDir dir;
    kxFile out((dir / "empty.wav").c_str(), 1, 44100, 16, 7);
    ASSERT_TRUE(out.OpenForWrite());
    EXPECT_TRUE(out.Close());
    const std::vector<uint8_t> bytes = ReadFileBytes(dir / "empty.wav");
    ASSERT_EQ(bytes.size(), 1024u);
    ExpectOutputHeader(bytes, {1, 44100, 16, 7, 0, false});
}
