#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <string>

#include "coords/FieldReader.h"

namespace {

using orbiculon::FieldReader;
using orbiculon::FieldStatus;

struct RealCase {
  std::string name;
  std::string input;
  FieldStatus status;
  float value;      // when read
  std::string rest; // what is left behind the field when read
};

class RealFieldTest : public ::testing::TestWithParam<RealCase> {};

TEST_P(RealFieldTest, ReadsLongestClassicNumber) {
  const RealCase& c = GetParam();
  FieldReader reader(c.input);
  float value = -7.0f;
  EXPECT_EQ(c.status, reader.readReal(value));
  if (c.status == FieldStatus::Read) {
    EXPECT_EQ(c.value, value);
    EXPECT_EQ(std::signbit(c.value), std::signbit(value));
    EXPECT_EQ(c.rest, c.input.substr(reader.position()));
  } else {
    EXPECT_EQ(-7.0f, value);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Grammar, RealFieldTest,
    ::testing::Values(
        RealCase{"Plain", "12", FieldStatus::Read, 12.0f, ""},
        RealCase{"LeadingBlanks", " \t\v\f\r12 x", FieldStatus::Read, 12.0f, " x"},
        RealCase{"PlusSign", "+12.5", FieldStatus::Read, 12.5f, ""},
        RealCase{"MinusSign", "-12.5", FieldStatus::Read, -12.5f, ""},
        RealCase{"LeadingPoint", ".5", FieldStatus::Read, 0.5f, ""},
        RealCase{"NegativeLeadingPoint", "-.5", FieldStatus::Read, -0.5f, ""},
        RealCase{"TrailingPoint", "5.", FieldStatus::Read, 5.0f, ""},
        RealCase{"Exponent", "1e1", FieldStatus::Read, 10.0f, ""},
        RealCase{"ExponentCapitalSigned", "25E-1x", FieldStatus::Read, 2.5f, "x"},
        RealCase{"ExponentPlus", "3e+1", FieldStatus::Read, 30.0f, ""},
        RealCase{"ExponentWithoutDigits", "1e", FieldStatus::Read, 1.0f, "e"},
        RealCase{"ExponentSignWithoutDigits", "1e+x", FieldStatus::Read, 1.0f, "e+x"},
        RealCase{"SecondPoint", "1.5.3", FieldStatus::Read, 1.5f, ".3"},
        RealCase{"LettersBehind", "12abc", FieldStatus::Read, 12.0f, "abc"},
        RealCase{"CommaBehind", "10,5", FieldStatus::Read, 10.0f, ",5"},
        RealCase{"LeadingZeros", "007.50", FieldStatus::Read, 7.5f, ""},
        RealCase{"NearestFloat", "10.26", FieldStatus::Read, 10.26f, ""},
        RealCase{"LargestFloat", "3.4028235e38", FieldStatus::Read, std::numeric_limits<float>::max(), ""},
        RealCase{"Denormal", "1e-40", FieldStatus::Read, 1e-40f, ""},
        RealCase{"UnderflowIsZero", "1e-50", FieldStatus::Read, 0.0f, ""},
        RealCase{"NegativeUnderflowIsMinusZero", "-1e-50", FieldStatus::Read, -0.0f, ""},
        RealCase{"UnderflowWithLongFraction", "0.000000001e-40", FieldStatus::Read, 0.0f, ""},
        RealCase{"Overflow", "1e39", FieldStatus::OutOfRange, 0.0f, ""},
        RealCase{"OverflowByRounding", "3.4028236e38", FieldStatus::OutOfRange, 0.0f, ""},
        RealCase{"HugeExponent", "1e99999999999999999999", FieldStatus::OutOfRange, 0.0f, ""},
        RealCase{"HugeNegativeExponent", "1e-99999999999999999999", FieldStatus::Read, 0.0f, ""},
        RealCase{"PointAlone", ".", FieldStatus::NotANumber, 0.0f, ""},
        RealCase{"SignAlone", "-", FieldStatus::NotANumber, 0.0f, ""},
        RealCase{"SignPoint", "+.e5", FieldStatus::NotANumber, 0.0f, ""},
        RealCase{"DoubleSign", "--5", FieldStatus::NotANumber, 0.0f, ""},
        RealCase{"Infinity", "inf", FieldStatus::NotANumber, 0.0f, ""},
        RealCase{"NotANumberText", "nan", FieldStatus::NotANumber, 0.0f, ""},
        RealCase{"Hexadecimal", "0x1p3", FieldStatus::Read, 0.0f, "x1p3"},
        RealCase{"UnicodeMinus",
                 "\xE2\x88\x92"
                 "5",
                 FieldStatus::NotANumber, 0.0f, ""},
        RealCase{"Empty", "", FieldStatus::Missing, 0.0f, ""},
        RealCase{"OnlyWhitespace", " \t\r", FieldStatus::Missing, 0.0f, ""}),
    [](const ::testing::TestParamInfo<RealCase>& p) { return p.param.name; });

struct IntegerCase {
  std::string name;
  std::string input;
  FieldStatus status;
  std::int32_t value;
  std::string rest;
};

class IntegerFieldTest : public ::testing::TestWithParam<IntegerCase> {};

TEST_P(IntegerFieldTest, ReadsBaseTenIn32Bits) {
  const IntegerCase& c = GetParam();
  FieldReader reader(c.input);
  std::int32_t value = -7;
  EXPECT_EQ(c.status, reader.readInteger(value));
  EXPECT_EQ(c.status == FieldStatus::Read ? c.value : -7, value);
  if (c.status == FieldStatus::Read) {
    EXPECT_EQ(c.rest, c.input.substr(reader.position()));
  }
}

INSTANTIATE_TEST_SUITE_P(
    Grammar, IntegerFieldTest,
    ::testing::Values(IntegerCase{"Plain", "255", FieldStatus::Read, 255, ""},
                      IntegerCase{"LeadingZerosAreNotOctal", "010", FieldStatus::Read, 10, ""},
                      IntegerCase{"NotHexadecimal", "0x10", FieldStatus::Read, 0, "x10"},
                      IntegerCase{"Signs", "+5 -5", FieldStatus::Read, 5, " -5"},
                      IntegerCase{"StopsAtPoint", "255.0", FieldStatus::Read, 255, ".0"},
                      IntegerCase{"Largest", "2147483647", FieldStatus::Read, 2147483647, ""},
                      IntegerCase{"Smallest", "-2147483648", FieldStatus::Read, -2147483647 - 1, ""},
                      IntegerCase{"Overflow", "2147483648", FieldStatus::OutOfRange, 0, ""},
                      IntegerCase{"Underflow", "-2147483649", FieldStatus::OutOfRange, 0, ""},
                      IntegerCase{"PointFirst", ".5", FieldStatus::NotANumber, 0, ""},
                      IntegerCase{"SignAlone", "+", FieldStatus::NotANumber, 0, ""},
                      IntegerCase{"Missing", "  ", FieldStatus::Missing, 0, ""}),
    [](const ::testing::TestParamInfo<IntegerCase>& p) { return p.param.name; });

TEST(FieldReaderTest, NameIsTheRunOfNonWhitespace) {
  FieldReader reader(" a,b;\"c\xE9\"\tnext");
  std::string_view name;
  ASSERT_EQ(FieldStatus::Read, reader.readName(name));
  EXPECT_EQ("a,b;\"c\xE9\"", name);
  ASSERT_EQ(FieldStatus::Read, reader.readName(name));
  EXPECT_EQ("next", name);
  EXPECT_EQ(FieldStatus::Missing, reader.readName(name));
}

TEST(FieldReaderTest, SeparatorsCountAsBlanksOnlyWhenAsked) {
  const std::string line = "\"10\";'name',:7";
  FieldReader cleaning(line, true);
  float real = 0.0f;
  std::string_view name;
  std::int32_t integer = 0;
  EXPECT_EQ(FieldStatus::Read, cleaning.readReal(real));
  EXPECT_EQ(FieldStatus::Read, cleaning.readName(name));
  EXPECT_EQ(FieldStatus::Read, cleaning.readInteger(integer));
  EXPECT_EQ(10.0f, real);
  EXPECT_EQ("name", name);
  EXPECT_EQ(7, integer);

  FieldReader parsing(line);
  EXPECT_EQ(FieldStatus::NotANumber, parsing.readReal(real));
}

} // namespace
