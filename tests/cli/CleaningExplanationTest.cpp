#include "standin/CleaningExplanation.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using standin::explainCleaning;

struct Explained {
  const char* name;
  std::string list;
  bool isMni;
  std::vector<std::string> lines;
};
void PrintTo(const Explained& value, std::ostream* out) { *out << value.name; }

class CleaningExplanationTest : public ::testing::TestWithParam<Explained> {};

TEST_P(CleaningExplanationTest, SaysWhyEachLineWasDroppedOrChanged) {
  const auto& param = GetParam();
  EXPECT_EQ(param.lines, explainCleaning(param.list, param.isMni, "--space other").lines);
}

const char* const kNeedsEightFields = "  hint: each line needs 8 fields in this order: x y z radius name red "
                                      "green blue, e.g. -42 -58 22 5 amygdala_L 255 0 0";

INSTANTIATE_TEST_SUITE_P(
    Lists, CleaningExplanationTest,
    ::testing::Values(
        Explained{"ValidLinesAreNotMentioned",
                  "-42 -58 22 5 angular_L 255 0 0\n10,20,30,5,x,0,0,255\n",
                  false,
                  {"kept 2 of 2 lines for TAL: 0 dropped, 0 changed"}},
        Explained{"HeadingAndBlankLines",
                  "x y z radius name r g b\n\n \t\n-42 -58 22 5 a 255 0 0",
                  false,
                  {"line 1: dropped: x is not a number: \"x\"", "line 2: dropped: the line is blank",
                   "line 3: dropped: the line is blank", "kept 1 of 4 lines for TAL: 3 dropped, 0 changed"}},
        Explained{"MissingField",
                  "-42 -58 22 5 a 255 0",
                  false,
                  {"line 1: dropped: blue is missing: the line has 7 of the 8 fields (x y z radius name red "
                   "green blue)",
                   "kept 0 of 1 lines for TAL: 1 dropped, 0 changed", kNeedsEightFields}},
        Explained{"NumberTooLarge",
                  "1e39 0 0 5 a 0 0 0\n1 2 3 5 a 99999999999 0 0",
                  true,
                  {"line 1: dropped: x \"1e39\" is too large",
                   "line 2: dropped: red \"99999999999\" does not fit "
                   "a 32-bit integer",
                   "kept 0 of 2 lines for MNI: 2 dropped, 0 changed", kNeedsEightFields}},
        Explained{
            "OutsideTalButInsideMni",
            "-72 -26 10 5 supramarginal_L 0 160 255\n1 2 3 5 a 0 0 0",
            false,
            {"line 1: dropped: x -72 lies outside the TAL bounds -69 ... 69",
             "  hint: the line fits the MNI bounds: if it holds MNI coordinates, use --space other",
             "kept 1 of 2 lines for TAL: 1 dropped, 0 changed",
             "  hint: 1 dropped line fits the MNI bounds: if the list holds MNI coordinates, use --space "
             "other"}},
        Explained{"OutsideBothSpaces",
                  "1 2 80.5 5 a 0 0 0",
                  true,
                  {"line 1: dropped: z 80.5 lies outside the MNI bounds -52 ... 79",
                   "kept 0 of 1 lines for MNI: 1 dropped, 0 changed", kNeedsEightFields}},
        Explained{"BlueOutOfRange",
                  "1 2 3 5 a 0 0 501\n1 2 3 5 b 0 0 -1\n1 2 3 5 c 0 0 500",
                  false,
                  {"line 1: dropped: blue 501 lies outside 0 ... 500",
                   "line 2: dropped: blue -1 lies outside 0 "
                   "... 500",
                   "line 3: kept, changed: blue 500 clamped to 255 (colours 0 ... 255)",
                   "kept 1 of 3 lines for TAL: 2 dropped, 1 changed"}},
        Explained{
            "ClampsListedTogether",
            "1 2 3 25 a 300 -1 0\n1 2 3 0.1 b 0 0 0",
            false,
            {"line 1: kept, changed: radius 25 clamped to 20 (radius 0.5 ... 20); red 300 clamped to 255 "
             "(colours 0 ... 255); green -1 clamped to 0 (colours 0 ... 255)",
             "line 2: kept, changed: radius 0.1 clamped to 0.5 (radius 0.5 ... 20)",
             "kept 2 of 2 lines for TAL: 0 dropped, 2 changed"}},
        Explained{"UnicodeMinus",
                  "\xE2\x88\x92"
                  "24 -20 -14 5 hippocampus_L 255 200 0\n1 2 3 5 a 0 0 0",
                  false,
                  {"line 1: dropped: x is not a number: \"\xE2\x88\x92"
                   "24\"",
                   "  hint: the line holds a Unicode minus sign (U+2212, common in tables copied from PDFs), "
                   "which is not a minus here: replace it with -",
                   "kept 1 of 2 lines for TAL: 1 dropped, 0 changed"}},
        Explained{
            "DecimalComma",
            "-42,5 -58 22 5 a 255 0 0\n1 2 3 5 a 0 0 0",
            false,
            {"line 1: dropped: red is not a whole number: \"a\"",
             "  hint: the line holds a digit, a comma and a digit: a comma always separates fields, so a "
             "decimal comma splits a number in two (write 10.5, not 10,5)",
             "kept 1 of 2 lines for TAL: 1 dropped, 0 changed"}},
        Explained{
            "CommentLinesAndPeaksOfAPaper",
            "// Reference=MNI\n  // Smith, 2010\n-42 -58 22 angular_L\n1 2 3 5 a 0 0 0",
            true,
            {"line 3: dropped: radius is not a number: \"angular_L\"",
             "kept 1 of 4 lines for MNI: 1 dropped, 0 changed, 2 comments",
             "  hint: 1 dropped line gives only x y z (perhaps with a label): with --complete, --radius, "
             "--name and --colour fill in the rest"}},
        Explained{
            "SpreadsheetLinesGetNoDecimalCommaHint",
            "1,2,3,25,a,0,0,0\n34,22,2,6,\"right insula\",255,120,0",
            false,
            {"line 1: kept, changed: radius 25 clamped to 20 (radius 0.5 ... 20)",
             "line 2: dropped: red is not a whole number: \"insula\"",
             "  hint: the quoted name \"right insula\" holds a blank: quotes separate fields like blanks, "
             "so the blank splits it; write it without blanks, e.g. \"right_insula\"",
             "kept 1 of 2 lines for TAL: 1 dropped, 1 changed"}}),
    [](const auto& testInfo) { return std::string(testInfo.param.name); });

TEST(CleaningExplanationCompletionTest, SaysWhatWasCompletedBeforeTheClamps) {
  const orbiculon::CompletionDefaults defaults{30.0f, "peak", 1, 2, 3};
  EXPECT_EQ(
      (std::vector<std::string>{"line 1: kept, changed: completed with radius 30, name \"peak_1\", red 1, "
                                "green 2, blue 3; radius 30 clamped to 20 (radius 0.5 ... 20)",
                                "kept 1 of 1 lines for TAL: 0 dropped, 1 changed"}),
      explainCleaning("1 2 3\n", false, "--space mni", &defaults).lines);
}

TEST(CleaningExplanationCountTest, CountsMatchTheCleaning) {
  const auto report =
      explainCleaning("heading\n1 2 3 5 a 0 0 0\n1 2 3 30 b 0 0 0\n90 0 0 5 c 0 0 0\n", false, "--space mni");
  EXPECT_EQ(4, report.inputLines);
  EXPECT_EQ(2, report.kept);
  EXPECT_EQ(2, report.dropped);
  EXPECT_EQ(1, report.changed);
  EXPECT_EQ(0, report.validInOtherSpace);
}

} // namespace
