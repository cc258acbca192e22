// The byte-order helpers on both kinds of host, and when an output becomes RF64.
// (The records' layout is checked byte by byte through the outputs' header, and
// their dates and places through the takes read in kxFileTakeTest.)
#include <gtest/gtest.h>

#include "audiofile/BwfFormat.h"
#include "audiofile/ByteOrder.h"

TEST(ByteOrder, IdentityOnLittleEndianSwapOnBigEndian) {
    EXPECT_EQ(ShortSwap<std::endian::little>(0x1234), 0x1234);
    EXPECT_EQ(ShortSwap<std::endian::big>(static_cast<int16_t>(0x80FF)),
              static_cast<int16_t>(0xFF80));
    EXPECT_EQ(LongSwap<std::endian::little>(0x12345678), 0x12345678);
    EXPECT_EQ(LongSwap<std::endian::big>(static_cast<int32_t>(0x800000FF)),
              static_cast<int32_t>(0xFF000080));
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
