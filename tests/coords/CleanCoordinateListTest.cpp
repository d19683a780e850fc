#include <gtest/gtest.h>

#include <array>
#include <clocale>
#include <cmath>
#include <cstring>
#include <locale>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "coords/CoordinateList.h"
#include "tests/coords/CoordinateTestSupport.h"

namespace {

using namespace orbiculon;
using orbiculon::testing::clean;
using orbiculon::testing::printedLine;

const std::string kName = "name";

struct CleanCase {
  std::string name;
  std::string input;
  bool isMni;
  std::string expected;  // the cleaned line; empty when the line is dropped
  bool complete = false; // completed from kDefaults
};

// Completion defaults of the tests: radius 6, names peak_<line>, colour 0 128 255.
const CompletionDefaults kDefaults{6.0f, "peak", 0, 128, 255};

std::string standard() { return printedLine(10, 20, 30, 5, kName, 255, 0, 0); }

class CleanLineTest : public ::testing::TestWithParam<CleanCase> {};

TEST_P(CleanLineTest, CleansOneLine) {
  const CleanCase& c = GetParam();
  LineCompletion completion{kDefaults};
  const auto [count, text] =
      clean(c.input, c.isMni, nullptr, kCoordinateListCapacity, c.complete ? &completion : nullptr);
  EXPECT_EQ(c.expected, text);
  EXPECT_EQ(c.expected.empty() ? 0 : 1, count);
  // A line that came out different from its plain cleaning was completed.
  EXPECT_EQ(c.complete && text != clean(c.input, c.isMni).text ? 1 : 0, completion.completed);
}

auto caseName = [](const ::testing::TestParamInfo<CleanCase>& p) { return p.param.name; };

INSTANTIATE_TEST_SUITE_P(
    Separators, CleanLineTest,
    ::testing::Values(CleanCase{"Blanks", "10 20 30 5 name 255 0 0", false, standard()},
                      CleanCase{"Commas", "10,20,30,5,name,255,0,0", false, standard()},
                      CleanCase{"Semicolons", "10;20;30;5;name;255;0;0", false, standard()},
                      CleanCase{"Colons", "10:20:30:5:name:255:0:0", false, standard()},
                      CleanCase{"DoubleQuotes", "\"10\",\"20\",\"30\",\"5\",\"name\",\"255\",\"0\",\"0\"",
                                false, standard()},
                      CleanCase{"SingleQuotes", "'10' '20' '30' '5' 'name' '255' '0' '0'", false, standard()},
                      CleanCase{"Tabs", "10\t20\t30\t5\tname\t255\t0\t0", false, standard()},
                      CleanCase{"MixedWhitespace", " \v\f10 , 20 ,30 ,5,  name ,255,0,0 \r", false,
                                standard()},
                      CleanCase{"QuotedNameWithBlank", "10 20 30 5 \"my name\" 255 0 0", false, ""},
                      CleanCase{"ExtraFieldsIgnored", "10 20 30 5 name 255 0 0 9 extra", false, standard()},
                      CleanCase{"SevenFields", "10 20 30 5 name 255 0", false, ""},
                      CleanCase{"NoName", "10 20 30 5", false, ""},
                      CleanCase{"Heading", "x y z radius name red green blue", false, ""},
                      CleanCase{"OnlySeparators", " ,;:'\" \t", false, ""}),
    caseName);

INSTANTIATE_TEST_SUITE_P(
    Reals, CleanLineTest,
    ::testing::Values(CleanCase{"PointsAndExponents", ".5 -.5 1e1 50e-1 name 255 0 0", false,
                                printedLine(0.5f, -0.5f, 10, 5, kName, 255, 0, 0)},
                      CleanCase{"ExponentWithoutDigitsStartsTheName", "10 20 30 5e+ 255 0 0", false,
                                printedLine(10, 20, 30, 5, "e+", 255, 0, 0)},
                      CleanCase{"NameRightBehindNumber", "10 20 30 12abc 255 0 0", false,
                                printedLine(10, 20, 30, 12, "abc", 255, 0, 0)},
                      CleanCase{"DecimalCommaSplitsNumber", "10,5 20 30 name 255 0 0", false,
                                printedLine(10, 5, 20, 20, kName, 255, 0, 0)},
                      CleanCase{"SecondPointStartsNextField", "10 20 1.5.3 name 255 0 0", false,
                                printedLine(10, 20, 1.5f, 0.5f, kName, 255, 0, 0)},
                      CleanCase{"RoundsToOneDecimal", "10.26 -20.26 0.05 5 name 255 0 0", false,
                                printedLine(10.26f, -20.26f, 0.05f, 5, kName, 255, 0, 0)},
                      CleanCase{"UnderflowIsMinusZero", "-1e-50 20 30 5 name 255 0 0", false,
                                printedLine(-0.0f, 20, 30, 5, kName, 255, 0, 0)},
                      CleanCase{"RadiusOverflow", "10 20 30 1e39 name 255 0 0", false, ""},
                      CleanCase{"UnicodeMinus",
                                "10 \xE2\x88\x92"
                                "20 30 5 name 255 0 0",
                                false, ""}),
    caseName);

INSTANTIATE_TEST_SUITE_P(
    Integers, CleanLineTest,
    ::testing::Values(CleanCase{"RedWithPoint", "10 20 30 5 name 255.0 0 0", false, ""},
                      CleanCase{"GreenWithPoint", "10 20 30 5 name 255 255.0 0", false, ""},
                      CleanCase{"BlueWithPoint", "10 20 30 5 name 255 0 255.0", false,
                                printedLine(10, 20, 30, 5, kName, 255, 0, 255)},
                      CleanCase{"RedOverflow", "10 20 30 5 name 2147483648 0 0", false, ""},
                      CleanCase{"RedSmallest", "10 20 30 5 name -2147483648 0 0", false,
                                printedLine(10, 20, 30, 5, kName, 0, 0, 0)}),
    caseName);

INSTANTIATE_TEST_SUITE_P(Clamps, CleanLineTest,
                         ::testing::Values(CleanCase{"RadiusZero", "10 20 30 0 name 255 0 0", false,
                                                     printedLine(10, 20, 30, 0.5f, kName, 255, 0, 0)},
                                           CleanCase{"RadiusLarge", "10 20 30 25 name 255 0 0", false,
                                                     printedLine(10, 20, 30, 20, kName, 255, 0, 0)},
                                           CleanCase{"RadiusNegative", "10 20 30 -3 name 255 0 0", false,
                                                     printedLine(10, 20, 30, 0.5f, kName, 255, 0, 0)},
                                           CleanCase{"ColoursLow", "10 20 30 5 name -1 -1 0", false,
                                                     printedLine(10, 20, 30, 5, kName, 0, 0, 0)},
                                           CleanCase{"ColoursHigh", "10 20 30 5 name 300 300 300", false,
                                                     printedLine(10, 20, 30, 5, kName, 255, 255, 255)},
                                           CleanCase{"Blue500", "10 20 30 5 name 0 0 500", false,
                                                     printedLine(10, 20, 30, 5, kName, 0, 0, 255)},
                                           CleanCase{"Blue501", "10 20 30 5 name 0 0 501", false, ""},
                                           CleanCase{"BlueNegative", "10 20 30 5 name 0 0 -1", false, ""}),
                         caseName);

// Rows read without a heading: x, y and z, the first word after them as the name,
// and never a number after z as radius or colour; radius and colour from kDefaults.
// A line of all eight fields with a word for its name is cleaned as without.
INSTANTIATE_TEST_SUITE_P(
    Completed, CleanLineTest,
    ::testing::Values(CleanCase{"Xyz", "10 20 30", false, printedLine(10, 20, 30, 6, "peak_1", 0, 128, 255),
                                true},
                      CleanCase{"XyzLabel", "-42, -58, 22, angular_L\r", false,
                                printedLine(-42, -58, 22, 6, "angular_L", 0, 128, 255), true},
                      CleanCase{"NumbersAfterTheLabelAreNoColours", "10 20 30 amygdala 1 2 3", false,
                                printedLine(10, 20, 30, 6, "amygdala", 0, 128, 255), true},
                      CleanCase{"RegionOfSeveralWords", "10 20 30 left insula", false,
                                printedLine(10, 20, 30, 6, "left_insula", 0, 128, 255), true},
                      CleanCase{"FourthNumberIsAStatistic", "10 20 30 4", false,
                                printedLine(10, 20, 30, 6, "peak_1", 0, 128, 255), true},
                      CleanCase{"StatisticThenName", "10 20 30 4 amy", false,
                                printedLine(10, 20, 30, 6, "amy", 0, 128, 255), true},
                      CleanCase{"StatisticsAroundTheName", "10 20 30 4 amy 200 t=5.2", false,
                                printedLine(10, 20, 30, 6, "amy", 0, 128, 255), true},
                      CleanCase{"ZScoreAndClusterSize", "38 -22 54 6.12 2048", false,
                                printedLine(38, -22, 54, 6, "peak_1", 0, 128, 255), true},
                      CleanCase{"ThousandsSeparatorBeforeTheRegion", "-30 -10 -18 4.66 1,310 Left amygdala",
                                false, printedLine(-30, -10, -18, 6, "Left_amygdala", 0, 128, 255), true},
                      CleanCase{"BrodmannAreaZAndClusterSize", "52 -48 44 40 6.31 2,045 Right IPL", false,
                                printedLine(52, -48, 44, 6, "Right_IPL", 0, 128, 255), true},
                      CleanCase{"EightNumbersAreStatistics", "38 -22 54 6.12 5.1 0.001 2048 40", false,
                                printedLine(38, -22, 54, 6, "peak_1", 0, 128, 255), true},
                      CleanCase{"UnicodeMinusAndEnDash",
                                "\xE2\x88\x92"
                                "42 \xE2\x80\x93"
                                "58 22 Angular",
                                false, printedLine(-42, -58, 22, 6, "Angular", 0, 128, 255), true},
                      CleanCase{"FootnoteMarks", "-20a 26* 26\xE2\x80\xA0 insula", false,
                                printedLine(-20, 26, 26, 6, "insula", 0, 128, 255), true},
                      CleanCase{"NameOutsideAsciiStays", "10 20 30 \xC3\x81rea motora", false,
                                printedLine(10, 20, 30, 6, "\xC3\x81rea_motora", 0, 128, 255), true},
                      CleanCase{"DecimalCommasInSemicolonCells", "12,5; -40,5; 10,5", false,
                                printedLine(12.5f, -40.5f, 10.5f, 6, "peak_1", 0, 128, 255), true},
                      CleanCase{"DecimalCommasInTabCells", "12,5\t-40,5\t10,5\tcaudate", false,
                                printedLine(12.5f, -40.5f, 10.5f, 6, "caudate", 0, 128, 255), true},
                      CleanCase{"DecimalCommasBetweenBlanksAreRefused", "12,5 -40,5 10,5", false, "", true},
                      CleanCase{"OutsideTheBoundsAfterCompletion", "80 20 30", false, "", true},
                      CleanCase{"TwoCoordinatesStayDropped", "10 20", false, "", true},
                      CleanCase{"HeadingStaysDropped", "x y z region", false, "", true},
                      CleanCase{"EightFieldsAsWithout", "10 20 30 5 name 255 0 0", false, standard(), true},
                      CleanCase{"BlueAbove500StaysDropped", "10 20 30 5 name 255 0 501", false, "", true},
                      CleanCase{"CoordinateTooLargeIsRefused", "10 20 1e39", false, "", true},
                      CleanCase{"LargeStatisticIsIgnored", "10 20 30 1e39 amy 99999999999", false,
                                printedLine(10, 20, 30, 6, "amy", 0, 128, 255), true}),
    caseName);

// Whole tables: the heading names the columns; rows are completed from kDefaults.
struct TableCase {
  std::string name;
  std::string input;
  bool isMni;
  std::vector<std::string> expected;
};
void PrintTo(const TableCase& value, std::ostream* out) { *out << value.name; }

class TableTest : public ::testing::TestWithParam<TableCase> {};

TEST_P(TableTest, ReadsThePeaksOfTheTable) {
  LineCompletion completion{kDefaults};
  const auto [count, text] =
      clean(GetParam().input, GetParam().isMni, nullptr, kCoordinateListCapacity, &completion);
  EXPECT_EQ(GetParam().expected, orbiculon::testing::splitLines(text));
  // The result is a plain list: cleaned again, without the reader, it stays.
  EXPECT_EQ(text, clean(text, GetParam().isMni).text);
}

std::string row(float x, float y, float z, const std::string& name) {
  return printedLine(x, y, z, 6, name, 0, 128, 255);
}

INSTANTIATE_TEST_SUITE_P(
    Headings, TableTest,
    ::testing::Values(
        TableCase{"RegionFirstBlankAlignedWithLocalMaxima",
                  "Table 1. Peaks\n"
                  "                                     Cluster   MNI coordinates\n"
                  "Region              Side   BA   k      Z        x     y     z\n"
                  "Fusiform gyrus      R      37   1,204  6.02     42    \xE2\x88\x92"
                  "52   \xE2\x88\x92"
                  "20\n"
                  "                                       5.11     38    -44   -24\n"
                  "Amygdala            R           96     4.12     20    -4    -18\n",
                  true,
                  {row(42, -52, -20, "R_Fusiform_gyrus"), row(38, -44, -24, "R_Fusiform_gyrus_2"),
                   row(20, -4, -18, "R_Amygdala")}},
        TableCase{
            "TabsWithCoordinatesInOneCell",
            "\tH\tx, y, z\tt\tk\nHippocampus\tL\t-24, -18, -16\t7.21\t2,310\n\t\t-28, -30, -12\t6.80\t\n",
            false,
            {row(-24, -18, -16, "L_Hippocampus"), row(-28, -30, -12, "L_Hippocampus_2")}},
        TableCase{"SingleBlanksAndRegionLast",
                  "x y z Z score cluster size (mm3) anatomical location\n"
                  "-44 -62 26 5.2 1,024 angular gyrus\n2 52 -6 4.1 120\n",
                  false,
                  {row(-44, -62, 26, "angular_gyrus"), row(2, 52, -6, "peak_3")}},
        TableCase{"UpperCaseZIsTheCoordinateWithoutALowerOne",
                  "X  Y  Z  Z-score  Region\n10  20  30  4.5  caudate\n",
                  false,
                  {row(10, 20, 30, "caudate")}},
        TableCase{"ZScoreBeforeTheCoordinates",
                  "Z  x  y  z\n5.5  10  20  30\n",
                  false,
                  {row(10, 20, 30, "peak_2")}},
        TableCase{"RadiusAndColourColumns",
                  "x  y  z  r  Region  R  G  B\n-2  -52  26  8  precuneus  0  100  255\n",
                  false,
                  {printedLine(-2, -52, 26, 8, "precuneus", 0, 100, 255)}},
        TableCase{"ThreeHeadingLines",
                  "Brain region  Peak  Talairach\n(BA)  t  x  y  z\n  (voxels)  x  y  z\n"
                  "Insula (13)  6.1  -38  18  -8\n",
                  false,
                  {row(-38, 18, -8, "Insula_(13)")}},
        TableCase{
            "SameNamesMadeUnique",
            "10 20 30 amygdala\n11 21 31 amygdala\n12 22 32 amygdala_2\n",
            false,
            {row(10, 20, 30, "amygdala"), row(11, 21, 31, "amygdala_2"), row(12, 22, 32, "amygdala_2_2")}}),
    [](const auto& param) { return param.param.name; });

// Peak files of meta-analysis tools: experiments named after their `//` line.
INSTANTIATE_TEST_SUITE_P(
    PeakFiles, TableTest,
    ::testing::Values(
        TableCase{"ByteOrderMarkAndExperimentsWithoutBlankLines",
                  "\xEF\xBB\xBF//Reference=TAL\n// Lee, 2019\n// Subjects=20\n40 -52 -16\n-38 -78 -10\n"
                  "// Park, 2021\n20 -4 -16\n",
                  false,
                  {row(40, -52, -16, "Lee__2019_1"), row(-38, -78, -10, "Lee__2019_2"),
                   row(20, -4, -16, "Park__2021_1")}},
        TableCase{"SameExperimentNameTwice",
                  "// Reference=MNI\n// Lee, 2019: faces\n40 -52 -16\n\n// Lee, 2019: faces\n42 -50 -18\n",
                  true,
                  {row(40, -52, -16, "Lee__2019__faces_1"), row(42, -50, -18, "Lee__2019__faces_2_1")}}),
    [](const auto& param) { return param.param.name; });

struct ReferenceCase {
  const char* name;
  std::string list;
  ListReference reference;
};
void PrintTo(const ReferenceCase& value, std::ostream* out) { *out << value.name; }

class ListReferenceTest : public ::testing::TestWithParam<ReferenceCase> {};

TEST_P(ListReferenceTest, NamesTheSpace) {
  EXPECT_EQ(GetParam().reference, scanListReference(GetParam().list).reference);
}

INSTANTIATE_TEST_SUITE_P(
    Variants, ListReferenceTest,
    ::testing::Values(
        ReferenceCase{"Mni", "// Reference=MNI\n1 2 3", ListReference::Mni},
        ReferenceCase{"TalWithoutBlank", "//Reference=TAL", ListReference::Tal},
        ReferenceCase{"BlanksAndCase", "x\n  // reference = talairach \r\n", ListReference::Tal},
        ReferenceCase{"AfterByteOrderMark", "\xEF\xBB\xBF// Reference=MNI", ListReference::Mni},
        ReferenceCase{"UnknownSpace", "// Reference=Colin27", ListReference::Unknown},
        ReferenceCase{"Contradicting", "// Reference=MNI\n// Reference=TAL", ListReference::Contradicting},
        ReferenceCase{"None", "// Smith, 2010\n1 2 3", ListReference::None}),
    [](const auto& param) { return std::string(param.param.name); });

TEST(LineCompletionTest, NamesShortLinesAfterTheDefaultNameAndTheirLineNumber) {
  const std::string input = "Table 2\n\n 1 2 3\n4 5 6 7\n7 8 9 region\n80 0 0\n1 2 3 4 n 1 2 3";
  LineCompletion completion{{2.5f, "left, peak\tx", 1, 2, 3}};
  const auto [count, text] = clean(input, true, nullptr, kCoordinateListCapacity, &completion);
  EXPECT_EQ(4, count);
  EXPECT_EQ(3, completion.completed); // line 6 lies outside the bounds
  EXPECT_EQ((std::vector<std::string>{printedLine(1, 2, 3, 2.5f, "left__peak_x_3", 1, 2, 3),
                                      printedLine(4, 5, 6, 2.5f, "left__peak_x_4", 1, 2, 3),
                                      printedLine(7, 8, 9, 2.5f, "region", 1, 2, 3),
                                      printedLine(1, 2, 3, 4, "n", 1, 2, 3)}),
            orbiculon::testing::splitLines(text));
  // The completed list is a plain list: cleaned again, without completion, it stays.
  EXPECT_EQ(text, clean(text, true).text);

  // A completed line that no longer fits the list is neither kept nor counted.
  const std::size_t oneLine = printedLine(1, 2, 3, 2.5f, "left__peak_x_1", 1, 2, 3).size() + 1;
  EXPECT_EQ(1, clean("1 2 3\n1 2 3", true, nullptr, oneLine, &completion).count);
  EXPECT_EQ(1, completion.completed);
}

TEST(LineCompletionTest, LongDefaultNameIsCutBeforeTheLineNumberAndNanRadiusCompletesNothing) {
  const std::string longName(300, 'n');
  LineCompletion completion{{5.0f, longName, 0, 0, 0}};
  EXPECT_EQ(printedLine(1, 2, 3, 5, longName.substr(0, 253) + "_1", 0, 0, 0),
            clean("1 2 3", false, nullptr, kCoordinateListCapacity, &completion).text);
  completion.defaults.radius = std::nanf("");
  EXPECT_EQ(0, clean("1 2 3\n1 2 3 label", false, nullptr, kCoordinateListCapacity, &completion).count);
  EXPECT_EQ(0, clean("1 2 3 4", false, nullptr, kCoordinateListCapacity, &completion).count);
}

// Every bound of both spaces, on the bound and half a millimetre beyond it.
std::vector<CleanCase> boundCases() {
  struct Bound {
    const char* name;
    bool isMni;
    int axis;
    float value;
    bool kept;
  };
  const std::vector<Bound> bounds{
      {"MniXLow", true, 0, -74, true},   {"MniXBelow", true, 0, -74.5f, false},
      {"MniXHigh", true, 0, 75, true},   {"MniXAbove", true, 0, 75.5f, false},
      {"MniYLow", true, 1, -108, true},  {"MniYBelow", true, 1, -108.5f, false},
      {"MniYHigh", true, 1, 71, true},   {"MniYAbove", true, 1, 71.5f, false},
      {"MniZLow", true, 2, -52, true},   {"MniZBelow", true, 2, -52.5f, false},
      {"MniZHigh", true, 2, 79, true},   {"MniZAbove", true, 2, 79.5f, false},
      {"TalXLow", false, 0, -69, true},  {"TalXBelow", false, 0, -69.5f, false},
      {"TalXHigh", false, 0, 69, true},  {"TalXAbove", false, 0, 69.5f, false},
      {"TalYLow", false, 1, -102, true}, {"TalYBelow", false, 1, -102.5f, false},
      {"TalYHigh", false, 1, 71, true},  {"TalYAbove", false, 1, 71.5f, false},
      {"TalZLow", false, 2, -43, true},  {"TalZBelow", false, 2, -43.5f, false},
      {"TalZHigh", false, 2, 76, true},  {"TalZAbove", false, 2, 76.5f, false},
  };
  std::vector<CleanCase> cases;
  for (const Bound& b : bounds) {
    std::array<float, 3> xyz{1, 2, 3};
    xyz[static_cast<std::size_t>(b.axis)] = b.value;
    const std::string input = std::to_string(xyz[0]) + " " + std::to_string(xyz[1]) + " " +
                              std::to_string(xyz[2]) + " 5 name 1 2 3";
    cases.push_back(
        {b.name, input, b.isMni, b.kept ? printedLine(xyz[0], xyz[1], xyz[2], 5, kName, 1, 2, 3) : ""});
  }
  // Bounds are compared in single precision: 75.000001 is the float 75.
  cases.push_back(
      {"MniSinglePrecision", "75.000001 0 0 5 name 1 2 3", true, printedLine(75, 0, 0, 5, kName, 1, 2, 3)});
  return cases;
}

INSTANTIATE_TEST_SUITE_P(Bounds, CleanLineTest, ::testing::ValuesIn(boundCases()), caseName);

TEST(CleanCoordinateListTest, ExampleLineHasTheDocumentedColumns) {
  const auto [count, text] = clean("-42, -58, 22, 5, amygdala_L, 255, 0, 0", false);
  EXPECT_EQ(1, count);
  EXPECT_EQ("  -42.0   -58.0    22.0     5.0                amygdala_L     255    0    0", text);
  EXPECT_EQ(75u, text.size());
}

TEST(CleanCoordinateListTest, LongNamesShiftColoursOrAreCut) {
  const std::string name26(26, 'n');
  const auto [count26, text26] = clean("1 2 3 4 " + name26 + " 1 2 3", true);
  EXPECT_EQ(1, count26);
  EXPECT_EQ(76u, text26.size());
  EXPECT_EQ(printedLine(1, 2, 3, 4, name26, 1, 2, 3), text26);

  std::string name300;
  for (int i = 0; i < 300; ++i)
    name300 += static_cast<char>('a' + i % 26);
  const auto [count300, text300] = clean("1 2 3 4 " + name300 + " 1 2 3", true);
  EXPECT_EQ(1, count300);
  EXPECT_EQ(printedLine(1, 2, 3, 4, name300.substr(0, 255), 1, 2, 3), text300);
  EXPECT_EQ(kCleanedLineMaxLength, text300.size());
}

TEST(CleanCoordinateListTest, KeepsValidLinesInOrderAndDropsTheRest) {
  const std::string input = "Region x y z\n"
                            "\n"
                            "10,20,30,5,first,255,0,0\r\n"
                            "   \r\n"
                            "# comment\n"
                            "100 0 0 5 outside 1 1 1\n"
                            "-10;-20;-30;3;second;0;128;255\r\n";
  const auto [count, text] = clean(input, false);
  EXPECT_EQ(2, count);
  EXPECT_EQ(printedLine(10, 20, 30, 5, "first", 255, 0, 0) + "\n" +
                printedLine(-10, -20, -30, 3, "second", 0, 128, 255),
            text);
  EXPECT_EQ(text, clean(text, false).text);
}

TEST(CleanCoordinateListTest, EmptyAndHeadingOnlyListsBecomeEmpty) {
  EXPECT_EQ(0, clean("", true).count);
  EXPECT_EQ("", clean("", true).text);
  EXPECT_EQ(0, clean("x y z r\n\n# no data\n", true).count);
  EXPECT_EQ("", clean("x y z r\n\n# no data\n", true).text);
}

TEST(CleanCoordinateListTest, StopsBeforeTheFirstLineThatDoesNotFit) {
  std::string input;
  for (int i = 0; i < 2000; ++i)
    input += "1 2 3 4 n 1 2 3\n";
  const auto [count, text] = clean(input, true);
  // 75 characters and an LF per line, and the NUL: 1315 lines fit 100000 bytes.
  EXPECT_EQ(1315, count);
  EXPECT_EQ(1315u * 76u - 1u, text.size());

  const std::string line = printedLine(1, 2, 3, 4, "n", 1, 2, 3);
  EXPECT_EQ(1, clean("1 2 3 4 n 1 2 3\n1 2 3 4 n 1 2 3", true, nullptr, line.size() + 1).count);
  EXPECT_EQ(line, clean("1 2 3 4 n 1 2 3\n1 2 3 4 n 1 2 3", true, nullptr, line.size() + 1).text);
  EXPECT_EQ(0, clean("1 2 3 4 n 1 2 3", true, nullptr, line.size()).count);
}

TEST(CleanCoordinateListTest, BufferWithoutNulEndsAtItsLastByte) {
  const std::string line = "10 20 30 5 name 255 0 0\n";
  std::vector<char> buffer(200, 'z');
  std::memcpy(buffer.data(), line.data(), line.size());
  EXPECT_EQ(1, cleanCoordinateList(buffer, false));
  EXPECT_EQ(standard(), std::string(buffer.data()));
}

TEST(CleanCoordinateListTest, FormatterEqualsPrintfInTheClassicLocale) {
  ASSERT_NE(nullptr, std::setlocale(LC_ALL, "C"));
  std::mt19937 random(7);
  std::uniform_real_distribution<float> coordinate(-2000.0f, 2000.0f);
  std::uniform_int_distribution<std::int32_t> colour(std::numeric_limits<std::int32_t>::min(),
                                                     std::numeric_limits<std::int32_t>::max());
  std::uniform_int_distribution<std::size_t> nameLength(0, kCoordinateNameMaxLength);
  const std::vector<float> special{0.05f, -0.05f, 0.25f, 0.35f,   -0.04f,
                                   -0.0f, 1e-30f, 2.5f,  999.95f, 123456.75f};
  std::array<char, kCleanedLineMaxLength + 64> out{};
  for (int i = 0; i < 5000; ++i) {
    CoordinateEntry e{};
    e.x = i < static_cast<int>(special.size()) ? special[static_cast<std::size_t>(i)] : coordinate(random);
    e.y = coordinate(random) / 1000.0f;
    e.z = coordinate(random);
    e.radius = coordinate(random) / 10.0f;
    const std::size_t length = nameLength(random);
    for (std::size_t k = 0; k < length; ++k)
      e.name[k] = static_cast<char>('A' + (k * 7 + static_cast<std::size_t>(i)) % 26);
    e.red = colour(random);
    e.green = colour(random) % 1000;
    e.blue = colour(random) % 10;
    const std::size_t written = formatCleanedLine(e, out);
    ASSERT_EQ(printedLine(e.x, e.y, e.z, e.radius, e.name.data(), e.red, e.green, e.blue),
              std::string(out.data(), written));
  }
}

// Neither a global C++ locale with a decimal comma and digit grouping nor (where one
// is installed) a C locale with a decimal comma changes cleaning or parsing.
class CommaNumpunct : public std::numpunct<char> {
protected:
  char do_decimal_point() const override { return ','; }
  char do_thousands_sep() const override { return '.'; }
  std::string do_grouping() const override { return "\3"; }
};

struct LocaleCase {
  std::string name;
  bool commaNumpunct;  // a global C++ locale with a decimal comma and grouping
  const char* cLocale; // a C locale to set with setlocale, or null
};

class LocaleTest : public ::testing::TestWithParam<LocaleCase> {};

TEST_P(LocaleTest, CleaningAndParsingIgnoreTheProcessLocale) {
  const std::string input = "-42.5, -58.25, 22.75, 5.5, amygdala_L, 255, 0, 0\n1e1 2 3 4 n 1 2 3";
  const auto reference = clean(input, true);
  ASSERT_EQ(2, reference.count);
  CoordinateEntry referenceEntry{};
  ASSERT_TRUE(parseCoordinateLine(reference.text, 0, referenceEntry));

  const std::locale previous =
      GetParam().commaNumpunct ? std::locale::global(std::locale(std::locale::classic(), new CommaNumpunct))
                               : std::locale();
  if (GetParam().cLocale != nullptr && std::setlocale(LC_ALL, GetParam().cLocale) == nullptr) {
    GTEST_SKIP() << "C locale " << GetParam().cLocale << " is not installed here";
  }
  const auto underLocale = clean(input, true);
  CoordinateEntry entry{};
  const bool parsed = parseCoordinateLine(underLocale.text, 0, entry);
  std::setlocale(LC_ALL, "C");
  std::locale::global(previous);

  EXPECT_EQ(reference.count, underLocale.count);
  EXPECT_EQ(reference.text, underLocale.text);
  EXPECT_TRUE(parsed);
  EXPECT_EQ(-42.5f, entry.x);
  EXPECT_EQ(-58.2f, entry.y); // printed with one decimal
  EXPECT_EQ(0, std::memcmp(&referenceEntry, &entry, sizeof entry));
}

INSTANTIATE_TEST_SUITE_P(Locales, LocaleTest,
                         ::testing::Values(LocaleCase{"GlobalCommaNumpunct", true, nullptr},
                                           LocaleCase{"GermanCLocale", false, "de_DE.UTF-8"}),
                         [](const ::testing::TestParamInfo<LocaleCase>& p) { return p.param.name; });

// Records every report as one readable line.
class RecordingObserver : public CleaningObserver {
public:
  std::vector<std::string> reports;

  void fieldNotRead(const CleaningLine& line, CoordinateField field, FieldStatus status) override {
    add(line, "field " + std::to_string(static_cast<int>(field)) +
                  " not read: " + std::to_string(static_cast<int>(status)));
  }
  void coordinateOutOfBounds(const CleaningLine& line, CoordinateField field, float value, float low,
                             float high, bool validInOtherSpace) override {
    add(line, "field " + std::to_string(static_cast<int>(field)) + " " + number(value) + " outside " +
                  number(low) + ".." + number(high) +
                  (validInOtherSpace ? ", valid in the other space" : ""));
  }
  void blueOutOfRange(const CleaningLine& line, std::int32_t blue) override {
    add(line, "blue " + std::to_string(blue));
  }
  void lineDoesNotFit(const CleaningLine& line) override { add(line, "does not fit"); }
  void radiusClamped(const CleaningLine& line, float from, float to) override {
    add(line, "radius " + number(from) + " -> " + number(to));
  }
  void colourClamped(const CleaningLine& line, CoordinateField field, std::int32_t from,
                     std::int32_t to) override {
    add(line, "colour " + std::to_string(static_cast<int>(field)) + " " + std::to_string(from) + " -> " +
                  std::to_string(to));
  }
  void nameCut(const CleaningLine& line, std::size_t length) override {
    add(line, "name of " + std::to_string(length));
  }
  void hints(const CleaningLine& line, bool unicodeMinus, bool decimalComma) override {
    add(line, std::string("hints") + (unicodeMinus ? " unicode-minus" : "") +
                  (decimalComma ? " decimal-comma" : ""));
  }

private:
  static std::string number(float value) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", static_cast<double>(value));
    return text;
  }
  void add(const CleaningLine& line, const std::string& report) {
    reports.push_back(std::to_string(line.number) + " [" + std::string(line.text) + "] " + report);
  }
};

TEST(CleaningObserverTest, ReportsWhyLinesAreDroppedOrChanged) {
  const std::string input = "10 20 30 5 ok 1 2 3\n"
                            "72 20 30 5 mni 1 2 3\n"
                            "100 20 30 5 far 1 2 3\n"
                            "10 20 30 5 seven 1 2\n"
                            "10 \xE2\x88\x92"
                            "58 30 5 minus 1 2 3\n"
                            "10,5 20,5 30,5 5 comma 1 2 3\n"
                            "10 20 1e39 5 huge 1 2 3\n"
                            "10 20 30 5 blue 1 2 501\n"
                            "10 20 30 0 clamps -1 300 400\n" +
                            std::string("10 20 30 5 ") + std::string(256, 'n') + " 1 2 3";
  RecordingObserver observer;
  const auto result = clean(input, false, &observer);
  EXPECT_EQ(3, result.count);
  const std::vector<std::string> expected{
      "2 [72 20 30 5 mni 1 2 3] field 0 72 outside -69..69, valid in the other space",
      "3 [100 20 30 5 far 1 2 3] field 0 100 outside -69..69",
      "4 [10 20 30 5 seven 1 2] field 7 not read: 1",
      "5 [10 \xE2\x88\x92"
      "58 30 5 minus 1 2 3] field 1 not read: 2",
      "5 [10 \xE2\x88\x92"
      "58 30 5 minus 1 2 3] hints unicode-minus",
      "6 [10,5 20,5 30,5 5 comma 1 2 3] field 7 not read: 2",
      "6 [10,5 20,5 30,5 5 comma 1 2 3] hints decimal-comma",
      "7 [10 20 1e39 5 huge 1 2 3] field 2 not read: 3",
      "8 [10 20 30 5 blue 1 2 501] blue 501",
      "9 [10 20 30 0 clamps -1 300 400] radius 0 -> 0.5",
      "9 [10 20 30 0 clamps -1 300 400] colour 5 -1 -> 0",
      "9 [10 20 30 0 clamps -1 300 400] colour 6 300 -> 255",
      "9 [10 20 30 0 clamps -1 300 400] colour 7 400 -> 255",
      "10 [10 20 30 5 " + std::string(256, 'n') + " 1 2 3] name of 256",
  };
  EXPECT_EQ(expected, observer.reports);
  EXPECT_EQ(clean(input, false).text, result.text);
}

TEST(CleaningObserverTest, ReportsLinesThatDoNotFitAndCannotChangeTheResult) {
  const std::string input = "1 2 3 4 a 1 2 3\n1 2 3 4 b 1 2 3\n1 2 3 4 c 1 2 3";
  const std::size_t capacity = printedLine(1, 2, 3, 4, "a", 1, 2, 3).size() + 1;
  RecordingObserver observer;
  const auto result = clean(input, true, &observer, capacity);
  EXPECT_EQ(1, result.count);
  EXPECT_EQ(
      (std::vector<std::string>{"2 [1 2 3 4 b 1 2 3] does not fit", "3 [1 2 3 4 c 1 2 3] does not fit"}),
      observer.reports);

  struct ThrowingObserver : CleaningObserver {
    void lineDoesNotFit(const CleaningLine&) override { throw std::runtime_error("report failed"); }
  } throwing;
  const auto withThrow = clean(input, true, &throwing, capacity);
  EXPECT_EQ(result.count, withThrow.count);
  EXPECT_EQ(result.text, withThrow.text);
}

} // namespace
