#include "ui/commands/param_value.h"

#include <gtest/gtest.h>

#include <optional>

namespace {

using ui::ReadParamValue;

TEST(ReadParamValueTest, ReadsDecimalLikePercentD) {
  EXPECT_EQ(ReadParamValue("100"), 100u);
  EXPECT_EQ(ReadParamValue("  \t 7"), 7u);
  EXPECT_EQ(ReadParamValue("+5"), 5u);
  EXPECT_EQ(ReadParamValue("007"), 7u);
  EXPECT_EQ(ReadParamValue("12abc"), 12u);
  EXPECT_EQ(ReadParamValue("3 4"), 3u);
}

TEST(ReadParamValueTest, NegativeValuesWrapToThirtyTwoBits) {
  EXPECT_EQ(ReadParamValue("-1"), 0xFFFFFFFFu);
  EXPECT_EQ(ReadParamValue("-2147483648"), 0x80000000u);
  EXPECT_EQ(ReadParamValue("-4294967295"), 1u);
  EXPECT_EQ(ReadParamValue("-0"), 0u);
}

TEST(ReadParamValueTest, DecimalReachesTheWholeUnsignedRange) {
  EXPECT_EQ(ReadParamValue("2148139008"), 0x800A0000u);
  EXPECT_EQ(ReadParamValue("4294967295"), 0xFFFFFFFFu);
  EXPECT_EQ(ReadParamValue("4294967296"), std::nullopt);
  EXPECT_EQ(ReadParamValue("99999999999999999999999"), std::nullopt);
  EXPECT_EQ(ReadParamValue("00000000000000000000004294967295"), 0xFFFFFFFFu);
}

TEST(ReadParamValueTest, ZeroXPrefixReadsHexadecimal) {
  EXPECT_EQ(ReadParamValue("0x10"), 16u);
  EXPECT_EQ(ReadParamValue("0X10"), 16u);
  EXPECT_EQ(ReadParamValue("0x800a0000"), 0x800A0000u);
  EXPECT_EQ(ReadParamValue("0xFFFFFFFF"), 0xFFFFFFFFu);
  EXPECT_EQ(ReadParamValue("0x100000000"), std::nullopt);
  EXPECT_EQ(ReadParamValue(" -0x1"), 0xFFFFFFFFu);
  EXPECT_EQ(ReadParamValue("0x1fz"), 0x1Fu);
}

TEST(ReadParamValueTest, ZeroXWithoutHexDigitIsTheNumberZero) {
  EXPECT_EQ(ReadParamValue("0xg"), 0u);
  EXPECT_EQ(ReadParamValue("0x"), 0u);
  EXPECT_EQ(ReadParamValue("0X "), 0u);
}

TEST(ReadParamValueTest, TextWithoutNumberDoesNotParse) {
  EXPECT_EQ(ReadParamValue(""), std::nullopt);
  EXPECT_EQ(ReadParamValue("abc"), std::nullopt);
  EXPECT_EQ(ReadParamValue("   "), std::nullopt);
  EXPECT_EQ(ReadParamValue("-"), std::nullopt);
  EXPECT_EQ(ReadParamValue("+-1"), std::nullopt);
  EXPECT_EQ(ReadParamValue("x10"), std::nullopt);
  EXPECT_EQ(ReadParamValue("- 1"), std::nullopt);
}

}  // namespace
