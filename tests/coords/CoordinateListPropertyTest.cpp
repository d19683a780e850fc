#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "coords/CoordinateList.h"
#include "tests/coords/CoordinateTestSupport.h"

namespace {

using namespace orbiculon;
using orbiculon::testing::clean;
using orbiculon::testing::splitLines;

// Lists of the kinds users paste: numbers in several notations, in and out of
// bounds, names of any length, separators, junk, empty lines and CR LF ends.
std::string randomList(std::mt19937& random, int lines, bool compact) {
  const std::array<const char*, 10> separators{" ", ", ", ",", ";", "\t", ":", "\"", "'", "  ", " ; "};
  const std::array<const char*, 10> junk{"x",
                                         "nan",
                                         "-",
                                         ".",
                                         "1e",
                                         "\xE2\x88\x92"
                                         "5",
                                         "10,5",
                                         "inf",
                                         "",
                                         "0x1"};
  auto pick = [&](int n) { return std::uniform_int_distribution<int>(0, n - 1)(random); };
  // Ranges a little wider than the bounds of both spaces.
  auto real = [&](float low, float high) {
    const float value = std::uniform_real_distribution<float>(low, high)(random);
    char text[64];
    switch (compact ? 0 : pick(4)) {
    case 0:
      std::snprintf(text, sizeof text, "%.0f", static_cast<double>(value));
      break;
    case 1:
      std::snprintf(text, sizeof text, "%.3f", static_cast<double>(value));
      break;
    case 2:
      std::snprintf(text, sizeof text, "%e", static_cast<double>(value));
      break;
    default:
      std::snprintf(text, sizeof text, "%.9g", static_cast<double>(value));
      break;
    }
    return std::string(text);
  };
  auto integer = [&]() { return std::to_string(std::uniform_int_distribution<int>(-20, 700)(random)); };
  auto name = [&]() {
    const int length = compact ? pick(3) + 1 : pick(10) == 0 ? pick(400) + 1 : pick(30) + 1;
    std::string text;
    for (int i = 0; i < length; ++i)
      text += static_cast<char>(pick(3) == 0 ? '0' + pick(10) : 'a' + pick(26));
    return text;
  };
  std::string list;
  for (int line = 0; line < lines; ++line) {
    std::vector<std::string> fields{real(-80, 80), real(-115, 80), real(-55, 85), real(-2, 25),
                                    name(),        integer(),      integer(),     integer()};
    if (pick(8) == 0) fields.resize(static_cast<std::size_t>(pick(8)));
    if (pick(8) == 0 && !fields.empty())
      fields[static_cast<std::size_t>(pick(static_cast<int>(fields.size())))] =
          junk[static_cast<std::size_t>(pick(10))];
    if (pick(10) == 0) fields.push_back(integer());
    for (std::size_t i = 0; i < fields.size(); ++i)
      list += (i == 0 ? "" : compact ? " " : separators[static_cast<std::size_t>(pick(10))]) + fields[i];
    list += pick(4) == 0 ? "\r\n" : "\n";
  }
  if (pick(2) == 0 && !list.empty()) list.pop_back();
  return list;
}

class CleaningPropertyTest : public ::testing::TestWithParam<bool> {};

TEST_P(CleaningPropertyTest, CleanedListsAreStableAndReadBackAsPrinted) {
  const bool isMni = GetParam();
  std::mt19937 random(isMni ? 1234u : 4321u);
  std::array<char, kCleanedLineMaxLength + 1> reprinted{};
  for (int round = 0; round < 300; ++round) {
    // Every tenth list has short lines, enough of them to overflow the buffer when
    // cleaned (the input itself fits the buffer, so it is cut there).
    const bool fills = round % 10 == 9;
    const int lines = fills ? 6000 : std::uniform_int_distribution<int>(0, 60)(random);
    const std::string input = randomList(random, lines, fills).substr(0, kCoordinateListCapacity - 1);
    const auto first = clean(input, isMni);
    const std::vector<std::string> cleanedLines = splitLines(first.text);

    ASSERT_LT(first.text.size(), kCoordinateListCapacity);
    if (fills) {
      ASSERT_GT(first.text.size() + kCleanedLineMaxLength + 2, kCoordinateListCapacity);
    }
    ASSERT_EQ(static_cast<int>(cleanedLines.size()), first.count);
    const auto second = clean(first.text, isMni);
    ASSERT_EQ(first.count, second.count);
    ASSERT_EQ(first.text, second.text);

    CoordinateLineCursor cursor(first.text);
    for (std::int32_t i = 0; i < first.count; ++i) {
      CoordinateEntry e{};
      ASSERT_TRUE(cursor.parse(i, e));
      const std::size_t length = formatCleanedLine(e, reprinted);
      ASSERT_EQ(cleanedLines[static_cast<std::size_t>(i)], std::string(reprinted.data(), length));
      ASSERT_GE(e.radius, 0.5f);
      ASSERT_LE(e.radius, 20.0f);
      ASSERT_GE(std::min({e.red, e.green, e.blue}), 0);
      ASSERT_LE(std::max({e.red, e.green, e.blue}), 255);
    }
    CoordinateEntry beyond{};
    ASSERT_FALSE(cursor.parse(first.count, beyond));

    // An observer sees every line but changes nothing.
    struct Counting : CleaningObserver {
      int reports = 0;
      void fieldNotRead(const CleaningLine&, CoordinateField, FieldStatus) override { ++reports; }
      void lineDoesNotFit(const CleaningLine&) override { ++reports; }
    } observer;
    const auto observed = clean(input, isMni, &observer);
    ASSERT_EQ(first.count, observed.count);
    ASSERT_EQ(first.text, observed.text);
  }
}

INSTANTIATE_TEST_SUITE_P(Spaces, CleaningPropertyTest, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& p) { return p.param ? "Mni" : "Tal"; });

} // namespace
