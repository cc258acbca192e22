// The chunk records: the default header image, the format arithmetic and the
// 'bext' date, time and start location fields.
#include <gtest/gtest.h>

#include <bit>
#include <cstring>
#include <string>
#include <vector>

#include "audiofile/BwfFormat.h"
#include "support/TakeBuilder.h"

using testsupport::Le16;
using testsupport::Le32;

namespace {

std::string Text(const std::vector<uint8_t>& bytes, size_t offset, size_t length) {
    return std::string(bytes.begin() + offset, bytes.begin() + offset + length);
}

bool AllZero(const std::vector<uint8_t>& bytes, size_t from, size_t to) {
    for (size_t i = from; i < to; ++i) {
        if (bytes[i] != 0) return false;
    }
    return true;
}

}  // namespace

TEST(BwfRecords, DefaultHeaderImageHoldsTheOutputLayout) {
    if constexpr (std::endian::native != std::endian::little) {
        GTEST_SKIP() << "the in-memory image equals the file bytes on little-endian hosts only";
    }
    const BWF_FullHeader header;
    std::vector<uint8_t> bytes(sizeof header);
    std::memcpy(bytes.data(), &header, sizeof header);

    EXPECT_EQ(Text(bytes, 0, 4), "RIFF");
    EXPECT_EQ(Le32(bytes, 4), 0u);
    EXPECT_EQ(Text(bytes, 8, 4), "WAVE");
    EXPECT_EQ(Text(bytes, 12, 4), "bext");
    EXPECT_EQ(Le32(bytes, 16), 858u);
    EXPECT_TRUE(AllZero(bytes, 20, 366));   // texts, date, time, time reference
    EXPECT_EQ(Le16(bytes, 366), 1u);        // version
    EXPECT_TRUE(AllZero(bytes, 368, 878));  // UMID, reserved, coding history
    EXPECT_EQ(Text(bytes, 878, 4), "fmt ");
    EXPECT_EQ(Le32(bytes, 882), 18u);
    EXPECT_EQ(Le16(bytes, 886), 1u);
    EXPECT_EQ(Le16(bytes, 888), 2u);
    EXPECT_EQ(Le32(bytes, 890), 44100u);
    EXPECT_EQ(Le32(bytes, 894), 176400u);
    EXPECT_EQ(Le16(bytes, 898), 4u);
    EXPECT_EQ(Le16(bytes, 900), 16u);
    EXPECT_EQ(Le16(bytes, 902), 0u);
    EXPECT_EQ(Text(bytes, 904, 4), "TFID");
    EXPECT_EQ(Le32(bytes, 908), 26u);
    EXPECT_TRUE(AllZero(bytes, 912, 938));
    EXPECT_EQ(Text(bytes, 938, 4), "PAD ");
    EXPECT_EQ(Le32(bytes, 942), 70u);
    EXPECT_TRUE(AllZero(bytes, 946, 1016));
    EXPECT_EQ(Text(bytes, 1016, 4), "data");
    EXPECT_EQ(Le32(bytes, 1020), 0u);
}

TEST(BwfRecords, ConfigDerivesFrameSizeAndByteRateAndKeepsTagAndExtraSize) {
    struct Case {
        uint32_t rate;
        uint16_t bits, channels, blockAlign;
        uint32_t byteRate;
    };
    const Case cases[] = {
        {48000, 24, 2, 6, 288000},
        {44100, 16, 1, 2, 88200},
        {96000, 24, 1, 3, 288000},
        {192000, 16, 2, 4, 768000},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.rate << " Hz, " << c.bits << " bit, " << c.channels);
        WaveFormatChunk chunk;
        chunk.data.formatTag = kFormatExtensible;
        chunk.data.extraSize = 22;
        chunk.data.Config(c.rate, c.bits, c.channels);
        EXPECT_EQ(chunk.data.sampleRate, c.rate);
        EXPECT_EQ(chunk.data.bitsPerSample, c.bits);
        EXPECT_EQ(chunk.data.channels, c.channels);
        EXPECT_EQ(chunk.data.blockAlign, c.blockAlign);
        EXPECT_EQ(chunk.data.byteRate, c.byteRate);
        EXPECT_EQ(chunk.data.formatTag, kFormatExtensible);
        EXPECT_EQ(chunk.data.extraSize, 22);
        EXPECT_FALSE(chunk.IsValid());  // not tag 1
        chunk.data.formatTag = kFormatPcm;
        EXPECT_TRUE(chunk.IsValid());
    }

    WaveFormatChunk threeChannels;
    threeChannels.data.Config(48000, 16, 3);
    EXPECT_FALSE(threeChannels.IsValid());
    WaveFormatChunk wrongByteRate;
    wrongByteRate.data.byteRate += 1;
    EXPECT_FALSE(wrongByteRate.IsValid());
}

TEST(BwfRecords, OriginationTimeRoundTripsAndParsesFieldsWithoutTerminator) {
    BextChunkData bext;
    bext.timeReferenceLow = 0xA5A5A5A5;
    std::tm written{};
    written.tm_year = 2026;
    written.tm_mon = 1;
    written.tm_mday = 2;
    written.tm_hour = 23;
    written.tm_min = 4;
    written.tm_sec = 5;
    bext.SetOriginationTime(written);
    EXPECT_EQ(std::string(bext.originationDate, 10), "2026-01-02");
    EXPECT_EQ(std::string(bext.originationTime, 8), "23:04:05");
    EXPECT_EQ(bext.timeReferenceLow, 0xA5A5A5A5u) << "formatting ran past the time field";

    const std::tm read = bext.GetOriginationTime();
    EXPECT_EQ(read.tm_year, 2026);
    EXPECT_EQ(read.tm_mon, 1);
    EXPECT_EQ(read.tm_mday, 2);
    EXPECT_EQ(read.tm_hour, 23);
    EXPECT_EQ(read.tm_min, 4);
    EXPECT_EQ(read.tm_sec, 5);

    // A last number that fills its field up to the end must not continue into the
    // bytes behind the field: the day is 2 (not 21), the second 1 (not 12).
    std::memcpy(bext.originationDate, "2026-01- 2", 10);
    std::memcpy(bext.originationTime, "10:11: 1", 8);
    std::memcpy(&bext.timeReferenceLow, "2345", 4);
    const std::tm tight = bext.GetOriginationTime();
    EXPECT_EQ(tight.tm_mday, 2);
    EXPECT_EQ(tight.tm_hour, 10);
    EXPECT_EQ(tight.tm_sec, 1);

    // Fields that do not parse stay 0.
    std::memcpy(bext.originationDate, "2026-07\0\0\0", 10);
    std::memset(bext.originationTime, 0, 8);
    const std::tm partial = bext.GetOriginationTime();
    EXPECT_EQ(partial.tm_year, 2026);
    EXPECT_EQ(partial.tm_mon, 7);
    EXPECT_EQ(partial.tm_mday, 0);
    EXPECT_EQ(partial.tm_hour, 0);
}

TEST(BwfRecords, StartLocationUsesBothTimeReferenceWords) {
    BextChunkData bext;
    for (const uint64_t location : {uint64_t{0}, uint64_t{0xFFFFFFFF}, uint64_t{0x123456789},
                                    uint64_t{5000000000}, UINT64_MAX}) {
        bext.SetStartLocation(location);
        EXPECT_EQ(bext.timeReferenceLow, static_cast<uint32_t>(location));
        EXPECT_EQ(bext.timeReferenceHigh, static_cast<uint32_t>(location >> 32));
        EXPECT_EQ(bext.GetStartLocation(), location);
    }
}
