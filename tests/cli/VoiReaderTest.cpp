#include "export/VoiReader.h"

#include <gtest/gtest.h>

#include <functional>
#include <limits>
#include <string>
#include <vector>

#include "tests/support/FakeHost.h"

namespace {

using orbiculon::exporting::parseVoiText;
using orbiculon::exporting::VoiReadResult;

// The lines of a valid file: two VOIs, Seed (radius 1 around the origin, 7 voxels)
// and Probe (2 voxels). Line n of the file is element n - 1.
std::vector<std::string> exampleLines() {
  return {"",
          "FileVersion:                4",
          "",
          "ReferenceSpace:             TAL",
          "",
          "OriginalVMRResolutionX:     1",
          "OriginalVMRResolutionY:     1",
          "OriginalVMRResolutionZ:     1",
          "OriginalVMROffsetX:         0",
          "OriginalVMROffsetY:         0",
          "OriginalVMROffsetZ:         0",
          "OriginalVMRFramingCubeDim:  256",
          "",
          "LeftRightConvention:        1",
          "",
          "SubjectVOINamingConvention: <SUBJ>_<VOI>",
          "",
          "",
          "NrOfvois:                   2",
          "",
          "NameOfVOI:  Seed",
          "ColorOfVOI: 255 0 0",
          "",
          "NrOfVoxels: 7",
          "-1 0 0",
          "0 -1 0",
          "0 0 -1",
          "0 0 0",
          "0 0 1",
          "0 1 0",
          "1 0 0",
          "",
          "NameOfVOI:  Probe",
          "ColorOfVOI: 0 128 255",
          "",
          "NrOfVoxels: 2",
          "10 -20 30",
          "11 -20 30",
          "",
          "",
          "NrOfVOIVTCs: 0"};
}

std::string join(const std::vector<std::string>& lines, const std::string& end = "\r\n") {
  std::string text;
  for (const auto& line : lines)
    text += line + end;
  return text;
}

// The example with line `number` (from 1) replaced.
std::string withLine(int number, const std::string& replacement) {
  auto lines = exampleLines();
  lines[static_cast<std::size_t>(number - 1)] = replacement;
  return join(lines);
}

TEST(VoiReaderTest, ReadsEveryKeyAndVoxel) {
  const VoiReadResult result = parseVoiText(join(exampleLines()));
  ASSERT_TRUE(result.content) << result.error;
  const auto& content = *result.content;
  EXPECT_EQ(4, content.fileVersion);
  EXPECT_EQ("TAL", content.referenceSpace);
  EXPECT_EQ((std::array<std::int32_t, 3>{1, 1, 1}), content.resolution);
  EXPECT_EQ(256, content.framingCubeDim);
  EXPECT_EQ(1, content.leftRightConvention);
  EXPECT_EQ("<SUBJ>_<VOI>", content.namingConvention);
  ASSERT_EQ(2u, content.vois.size());
  EXPECT_EQ("Seed", content.vois[0].name);
  EXPECT_EQ(7u, content.vois[0].voxels.size());
  EXPECT_EQ("Probe", content.vois[1].name);
  EXPECT_EQ((std::array<std::int32_t, 3>{0, 128, 255}), content.vois[1].colour);
  EXPECT_EQ((orbiculon::exporting::VoxelPosition{11, -20, 30}), content.vois[1].voxels[1]);
  EXPECT_EQ(0, content.nrOfVoiVtcs);
}

TEST(VoiReaderTest, NamesAreVerbatimWithBlanksOrEmpty) {
  auto lines = exampleLines();
  lines[20] = "NameOfVOI:    left amygdala ";
  lines[32] = "NameOfVOI:  ";
  const VoiReadResult result = parseVoiText(join(lines));
  ASSERT_TRUE(result.content) << result.error;
  EXPECT_EQ("  left amygdala ", result.content->vois[0].name);
  EXPECT_EQ("", result.content->vois[1].name);
}

TEST(VoiReaderTest, FileWithoutVoisIsValid) {
  auto lines = exampleLines();
  lines[18] = "NrOfvois:                   0";
  lines.erase(lines.begin() + 20, lines.begin() + 39);
  const VoiReadResult result = parseVoiText(join(lines));
  ASSERT_TRUE(result.content) << result.error;
  EXPECT_TRUE(result.content->vois.empty());
}

TEST(VoiReaderTest, SummaryCountsPositionsSharedByMoreThanOneVoi) {
  orbiculon::exporting::VoiFileContent content;
  // Positions far from the origin are counted the same way, and so are runs of z
  // that cross a word or end at the largest coordinate.
  constexpr std::int32_t kMax = std::numeric_limits<std::int32_t>::max();
  constexpr std::int32_t kMin = std::numeric_limits<std::int32_t>::min();
  content.vois = {
      {"A", {}, {{0, 0, 0}, {1, 0, 0}, {300, 0, 0}, {kMin, 7, kMax - 1}, {kMin, 7, kMax}}},
      {"B", {}, {{1, 0, 0}, {2, 0, 0}, {0, -257, 0}, {-1, -1, -65}, {-1, -1, -64}, {-1, -1, -63}}},
      {"C", {}, {{1, 0, 0}, {0, 0, 0}, {5, 5, 5}, {300, 0, 0}, {-1, -1, -64}, {kMin, 7, kMax}}}};
  const orbiculon::exporting::VoiSummary summary = orbiculon::exporting::summarise(content);
  EXPECT_EQ(3u, summary.vois);
  EXPECT_EQ(17u, summary.voxels);
  EXPECT_EQ(5u, summary.sharedVoxels);
}

TEST(VoiReaderTest, LoadLogLineSummarisesOrNamesTheLine) {
  orbiculon::testing::TempDir dir;
  const std::string good = (dir / "good.voi").string();
  const std::string bad = (dir / "bad.voi").string();
  orbiculon::testing::writeFile(good, join(exampleLines()));
  orbiculon::testing::writeFile(bad, join(exampleLines(), "\n"));
  using orbiculon::exporting::loadVoiFileLogLine;
  EXPECT_EQ("Host>  Loaded " + good + ": 2 VOIs in TAL space, 9 voxels, 0 voxels shared by more than one VOI",
            loadVoiFileLogLine(good).content.value_or(""));
  EXPECT_EQ("Host>  Cannot load VOI file " + bad +
                ": line 1: the line ends with LF alone; every line must end with CR LF",
            loadVoiFileLogLine(bad).error);
  const auto missing = loadVoiFileLogLine(good + "x");
  EXPECT_FALSE(missing.content);
  EXPECT_EQ("Host>  Cannot load VOI file " + good + "x: cannot open the file: No such file or directory",
            missing.error);
}

struct MalformedFile {
  const char* name;
  std::function<std::string()> text;
  const char* error;
};
void PrintTo(const MalformedFile& value, std::ostream* out) { *out << value.name; }

class VoiReaderErrorTest : public ::testing::TestWithParam<MalformedFile> {};

TEST_P(VoiReaderErrorTest, RefusesWithTheLineNamed) {
  const VoiReadResult result = parseVoiText(GetParam().text());
  EXPECT_FALSE(result.content);
  EXPECT_EQ(GetParam().error, result.error);
}

INSTANTIATE_TEST_SUITE_P(
    Files, VoiReaderErrorTest,
    ::testing::Values(
        MalformedFile{"Empty", [] { return std::string(); },
                      "line 1: the file ends here, but an empty line at the start of the file was expected"},
        MalformedFile{"LfOnly", [] { return join(exampleLines(), "\n"); },
                      "line 1: the line ends with LF alone; every line must end with CR LF"},
        MalformedFile{"NoFinalLineEnd",
                      [] {
                        std::string text = join(exampleLines());
                        return text.substr(0, text.size() - 2);
                      },
                      "line 41: the last line has no line end; every line must end with CR LF"},
        MalformedFile{"CrInsideLine", [] { return withLine(21, "NameOfVOI:  Se\rd"); },
                      "line 21: a CR stands inside the line"},
        MalformedFile{
            "KeyPaddedWrongly", [] { return withLine(2, "FileVersion:               4"); },
            "line 2: \"FileVersion:\" must be followed by 16 blanks (its value starts in column 29), "
            "found \"FileVersion:               4\""},
        MalformedFile{"KeyMisspelt", [] { return withLine(4, "Referencespace:             TAL"); },
                      "line 4: expected \"ReferenceSpace:\", found \"Referencespace:             TAL\""},
        MalformedFile{"UnknownSpace", [] { return withLine(4, "ReferenceSpace:             ACPC"); },
                      "line 4: the reference space must be TAL or MNI, found \"ACPC\""},
        MalformedFile{"NumberTooLarge", [] { return withLine(2, "FileVersion:                99999999999"); },
                      "line 2: the value of \"FileVersion:\" \"99999999999\" does not fit a 32-bit integer"},
        MalformedFile{"FewerVoisThanCounted", [] { return withLine(19, "NrOfvois:                   3"); },
                      "line 40: expected \"NameOfVOI:\", found an empty line"},
        MalformedFile{"MoreVoisThanCounted", [] { return withLine(19, "NrOfvois:                   1"); },
                      "line 33: expected the empty line before \"NrOfVOIVTCs:\", found \"NameOfVOI:  Probe\" "
                      "(more VOIs than \"NrOfvois:\" says?)"},
        MalformedFile{"FewerVoxelsThanCounted", [] { return withLine(24, "NrOfVoxels: 8"); },
                      "line 32: voxel 8 of 8 of VOI 1 of 2 must be three whole numbers separated by single "
                      "blanks, found an empty line"},
        MalformedFile{
            "MoreVoxelsThanCounted", [] { return withLine(24, "NrOfVoxels: 6"); },
            "line 31: expected the empty line after the 6 voxels of VOI 1 of 2, found \"1 0 0\" (does "
            "\"NrOfVoxels:\" match the voxel lines?)"},
        MalformedFile{"NegativeVoxelCount", [] { return withLine(24, "NrOfVoxels: -1"); },
                      "line 24: the voxel count of VOI 1 of 2 must not be negative, found \"-1\""},
        MalformedFile{"VoxelOfTwoNumbers", [] { return withLine(25, "-1 0"); },
                      "line 25: voxel 1 of 7 of VOI 1 of 2 must be three whole numbers separated by single "
                      "blanks, found \"-1 0\""},
        MalformedFile{"VoxelWithLeadingZero", [] { return withLine(25, "-1 00 0"); },
                      "line 25: voxel 1 of 7 of VOI 1 of 2 must be a whole number, found \"00\""},
        MalformedFile{"VoxelTwiceInOneVoi", [] { return withLine(31, "0 0 0"); },
                      "line 31: voxel 7 of VOI \"Seed\" repeats voxel 4 (line 28)"},
        // Far from the origin a repeat is found as near it, in the same memory.
        MalformedFile{"VoxelTwiceFarOut",
                      [] {
                        auto lines = exampleLines();
                        lines[36] = "2147483647 -2147483648 -1";
                        lines[37] = "2147483647 -2147483648 -1";
                        return join(lines);
                      },
                      "line 38: voxel 2 of VOI \"Probe\" repeats voxel 1 (line 37)"},
        MalformedFile{"TextAfterTheEnd", [] { return join(exampleLines()) + "x\r\n"; },
                      "line 42: unexpected text after the \"NrOfVOIVTCs:\" line"}),
    [](const auto& testInfo) { return std::string(testInfo.param.name); });

} // namespace
