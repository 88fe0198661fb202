#include "common/bytes.h"

#include <gtest/gtest.h>

namespace velk {
namespace {

TEST(Bytes, IntegersAreLittleEndianAndReadBackSigned)
{
    Bytes out;
    putU16(out, 0x1234);
    putU32(out, 0x89ABCDEF);
    putU16(out, 0xFFFE);
    ASSERT_EQ(out, (Bytes{0x34, 0x12, 0xEF, 0xCD, 0xAB, 0x89, 0xFE, 0xFF}));
    EXPECT_EQ(getU16(out.data()), 0x1234u);
    EXPECT_EQ(getU32(out.data() + 2), 0x89ABCDEFu);
    EXPECT_EQ(getI16(out.data() + 6), -2);
}

TEST(Bytes, FloatsAreIeeeSingle)
{
    Bytes out;
    putF32(out, 1.5f);
    ASSERT_EQ(out, (Bytes{0x00, 0x00, 0xC0, 0x3F}));
    EXPECT_EQ(getF32(out.data()), 1.5f);
}

TEST(Bytes, TextFieldsArePaddedOrCut)
{
    Bytes out;
    putText(out, "Tempo", 8);
    putText(out, "0123456789", 4);
    ASSERT_EQ(out, (Bytes{'T', 'e', 'm', 'p', 'o', 0, 0, 0, '0', '1', '2', '3'}));
}

} // namespace
} // namespace velk
