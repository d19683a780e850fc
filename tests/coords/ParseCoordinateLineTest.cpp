#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <string>

#include "coords/CoordinateList.h"

namespace {

using namespace orbiculon;

// An entry filled with values no line supplies, so untouched fields show.
CoordinateEntry presetEntry() {
  CoordinateEntry e{-1.0f, -2.0f, -3.0f, -4.0f, {}, -5, -6, -7};
  std::strcpy(e.name.data(), "preset");
  return e;
}

struct ParseCase {
  std::string name;
  std::string text;
  std::int32_t lineIndex;
  bool found;
  CoordinateEntry expected;
};

CoordinateEntry entry(float x, float y, float z, float radius, const char* name, std::int32_t red,
                      std::int32_t green, std::int32_t blue) {
  CoordinateEntry e{x, y, z, radius, {}, red, green, blue};
  std::strncpy(e.name.data(), name, kCoordinateNameMaxLength);
  return e;
}

class ParseLineTest : public ::testing::TestWithParam<ParseCase> {};

TEST_P(ParseLineTest, WritesOnlyWhatTheLineSupplies) {
  const ParseCase& c = GetParam();
  CoordinateEntry e = presetEntry();
  EXPECT_EQ(c.found, parseCoordinateLine(c.text, c.lineIndex, e));
  EXPECT_EQ(c.expected.x, e.x);
  EXPECT_EQ(c.expected.y, e.y);
  EXPECT_EQ(c.expected.z, e.z);
  EXPECT_EQ(c.expected.radius, e.radius);
  EXPECT_STREQ(c.expected.name.data(), e.name.data());
  EXPECT_EQ(c.expected.red, e.red);
  EXPECT_EQ(c.expected.green, e.green);
  EXPECT_EQ(c.expected.blue, e.blue);
}

const std::string kThreeLines = "   10.0    20.0    30.0     5.0     first     255    0    0\n"
                                "\n"
                                "  -10.5   -20.5   -30.5    20.0    third       1    2    3";

INSTANTIATE_TEST_SUITE_P(
    Lines, ParseLineTest,
    ::testing::Values(
        ParseCase{"EmptyText", "", 0, false, presetEntry()},
        ParseCase{"NegativeIndex", kThreeLines, -1, false, presetEntry()},
        ParseCase{"FirstLine", kThreeLines, 0, true, entry(10, 20, 30, 5, "first", 255, 0, 0)},
        ParseCase{"EmptyMiddleLine", kThreeLines, 1, true, entry(-1, -2, -3, -4, "", -5, -6, -7)},
        ParseCase{"LastLine", kThreeLines, 2, true, entry(-10.5f, -20.5f, -30.5f, 20, "third", 1, 2, 3)},
        ParseCase{"BeyondLastLine", kThreeLines, 3, false, presetEntry()},
        ParseCase{"FinalLineFeedAddsNoLine", "1 2 3 4 a 5 6 7\n", 1, false, presetEntry()},
        ParseCase{"LineWithFinalLineFeed", "1 2 3 4 a 5 6 7\n", 0, true, entry(1, 2, 3, 4, "a", 5, 6, 7)},
        ParseCase{"StopsAfterRadius", "1 2 3 4", 0, true, entry(1, 2, 3, 4, "", -5, -6, -7)},
        ParseCase{"StopsAtFirstUnreadable", "1 x 3 4 a 5 6 7", 0, true, entry(1, -2, -3, -4, "", -5, -6, -7)},
        ParseCase{"SeparatorsAreOrdinary", "10,20,30", 0, true, entry(10, -2, -3, -4, "", -5, -6, -7)},
        ParseCase{"SeparatorsInName", "1 2 3 4 a,b;c 5 6 7", 0, true, entry(1, 2, 3, 4, "a,b;c", 5, 6, 7)},
        ParseCase{"FieldsAfterTheEighthIgnored", "1 2 3 4 a 5 6 7 8 9", 0, true,
                  entry(1, 2, 3, 4, "a", 5, 6, 7)},
        ParseCase{"NoClampingHere", "1 2 3 99 a 300 -1 999", 0, true, entry(1, 2, 3, 99, "a", 300, -1, 999)},
        ParseCase{"EndsAtNul", std::string("1 2 3 4 a 5 6 7\0\n9 9 9 9 b 9 9 9", 32), 1, false,
                  presetEntry()},
        ParseCase{"CrLineEnd", "1 2 3 4 a 5 6 7\r\n8 8 8 8 b 8 8 8\r\n", 1, true,
                  entry(8, 8, 8, 8, "b", 8, 8, 8)}),
    [](const ::testing::TestParamInfo<ParseCase>& p) { return p.param.name; });

TEST(ParseCoordinateLineTest, LongNameIsCutAndColoursStillRead) {
  const std::string name(300, 'q');
  CoordinateEntry e = presetEntry();
  ASSERT_TRUE(parseCoordinateLine("1 2 3 4 " + name + " 5 6 7", 0, e));
  EXPECT_EQ(name.substr(0, kCoordinateNameMaxLength), std::string(e.name.data()));
  EXPECT_EQ(7, e.blue);
}

TEST(ParseCoordinateLineTest, CursorMatchesParsingByIndexInAnyOrder) {
  std::string text;
  for (int i = 0; i < 50; ++i)
    text += std::to_string(i) + " 1 2 3 n" + std::to_string(i) + " 4 5 6\n" + (i % 7 ? "" : "\n");
  CoordinateLineCursor cursor(text);
  for (const std::int32_t index : {0, 1, 2, 10, 10, 9, 0, 55, 56, 57, 3, -1, 20, 57, 58, 100}) {
    CoordinateEntry byCursor = presetEntry();
    CoordinateEntry byIndex = presetEntry();
    EXPECT_EQ(parseCoordinateLine(text, index, byIndex), cursor.parse(index, byCursor)) << index;
    EXPECT_EQ(0, std::memcmp(&byIndex, &byCursor, sizeof byCursor)) << index;
  }
}

} // namespace
