#include <gtest/gtest.h>

#include "audiofile/ByteOrder.h"

TEST(ByteOrder, IdentityOnLittleEndianSwapOnBigEndian) {
    EXPECT_EQ(ShortSwap<std::endian::little>(0x1234), 0x1234);
    EXPECT_EQ(ShortSwap<std::endian::big>(0x1234), 0x3412);
    EXPECT_EQ(ShortSwap<std::endian::big>(static_cast<int16_t>(0x80FF)),
              static_cast<int16_t>(0xFF80));
    EXPECT_EQ(LongSwap<std::endian::little>(0x12345678), 0x12345678);
    EXPECT_EQ(LongSwap<std::endian::big>(0x12345678), 0x78563412);
    EXPECT_EQ(LongSwap<std::endian::big>(static_cast<int32_t>(0x800000FF)),
              static_cast<int32_t>(0xFF000080));
}
