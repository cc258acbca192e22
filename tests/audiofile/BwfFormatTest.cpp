// The chunk records: format arithmetic and the 'bext' date, time and start location.
// (The default header image is checked byte by byte through the outputs' header.)
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "audiofile/BwfFormat.h"

// Fields of the packed records are copied into values before they are compared:
// a reference to one may be misaligned.

TEST(BwfRecords, ConfigDerivesFrameSizeAndByteRateAndKeepsTagAndExtraSize) {
    struct Case {
        uint32_t rate;
        uint16_t bits, channels, blockAlign;
        uint32_t byteRate;
    };
    for (const Case& c : {Case{48000, 24, 2, 6, 288000}, Case{44100, 16, 1, 2, 88200},
                          Case{96000, 24, 1, 3, 288000}, Case{192000, 16, 2, 4, 768000}}) {
        SCOPED_TRACE(testing::Message() << c.rate << " Hz, " << c.bits << " bit, " << c.channels);
        WaveFormatChunk chunk;
        chunk.data.formatTag = kFormatExtensible;
        chunk.data.extraSize = 22;
        chunk.data.Config(c.rate, c.bits, c.channels);
        EXPECT_EQ(uint32_t{chunk.data.sampleRate}, c.rate);
        EXPECT_EQ(uint16_t{chunk.data.bitsPerSample}, c.bits);
        EXPECT_EQ(uint16_t{chunk.data.channels}, c.channels);
        EXPECT_EQ(uint16_t{chunk.data.blockAlign}, c.blockAlign);
        EXPECT_EQ(uint32_t{chunk.data.byteRate}, c.byteRate);
        EXPECT_EQ(uint16_t{chunk.data.formatTag}, kFormatExtensible);
        EXPECT_EQ(uint16_t{chunk.data.extraSize}, 22);
        EXPECT_FALSE(chunk.IsValid()) << "not tag 1";
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
    EXPECT_EQ(uint32_t{bext.timeReferenceLow}, 0xA5A5A5A5u) << "formatting ran past the time field";
    const std::tm read = bext.GetOriginationTime();
    EXPECT_EQ(read.tm_year, 2026);
    EXPECT_EQ(read.tm_mon, 1);
    EXPECT_EQ(read.tm_mday, 2);
    EXPECT_EQ(read.tm_hour, 23);
    EXPECT_EQ(read.tm_min, 4);
    EXPECT_EQ(read.tm_sec, 5);

    // A number that runs up to the end of its field must not continue into the
    // bytes behind it: the day is 2 (not 21), the second 1 (not 12).
    std::memcpy(bext.originationDate, "2026-01- 2", 10);
    std::memcpy(bext.originationTime, "10:11: 1", 8);
    std::memcpy(&bext.timeReferenceLow, "2345", 4);
    const std::tm tight = bext.GetOriginationTime();
    EXPECT_EQ(tight.tm_mday, 2);
    EXPECT_EQ(tight.tm_hour, 10);
    EXPECT_EQ(tight.tm_sec, 1);

    // What does not parse stays 0.
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
        EXPECT_EQ(uint32_t{bext.timeReferenceLow}, static_cast<uint32_t>(location));
        EXPECT_EQ(uint32_t{bext.timeReferenceHigh}, static_cast<uint32_t>(location >> 32));
        EXPECT_EQ(bext.GetStartLocation(), location);
    }
}

TEST(BwfRecords, Rf64TakesOverWhenTheFileOutgrows32Bits) {
    // 1024 header bytes plus the samples: 4 GiB - 1 bytes in all is the last RIFF.
    EXPECT_FALSE(NeedsRf64(0));
    EXPECT_FALSE(NeedsRf64(0xFFFFFFFFull - 1024));
    EXPECT_TRUE(NeedsRf64(0xFFFFFFFFull - 1023));
    EXPECT_TRUE(NeedsRf64(uint64_t{6} << 40));
    // Markers move the samples back, and the switch with them.
    EXPECT_FALSE(NeedsRf64(0xFFFFFFFFull - 1324, 1324));
    EXPECT_TRUE(NeedsRf64(0xFFFFFFFFull - 1323, 1324));
}
