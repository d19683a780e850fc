#include <gmock/gmock.h>

#include <cerrno>
#include <filesystem>
#include <string>
#include <vector>

#include "files/FileFaults.h"
#include "tests/commands/CommandFixture.h"
#include "tests/support/Lines.h"

namespace {

using orbiculon::testing::CommandTest;
using orbiculon::testing::kThroughAFile;
using orbiculon::testing::readFile;
using orbiculon::testing::writeFile;
using ::testing::HasSubstr;
using Events = std::vector<std::string>;

// Five lines of which three are valid in TAL space: a heading, a line outside the
// x bound and three coordinates with different separators.
const std::string kFiveLines = "x y z r name red green blue\n"
                               "-42,-58,22,5,amygdala_L,255,0,0\n"
                               "80 0 0 5 outside 0 0 255\n"
                               "10;20;30;25;clamped;300;-1;500\r\n"
                               "\"1.26\" '2' 3 0 tiny 1 2 3";

const std::string kFiveLinesCleaned =
    "  -42.0   -58.0    22.0     5.0                amygdala_L     255    0    0\n"
    "   10.0    20.0    30.0    20.0                   clamped     255    0  255\n"
    "    1.3     2.0     3.0     0.5                      tiny       1    2    3";

TEST_F(CommandTest, ReadTextFileStoresTheLinesInAllText) {
  writeFile(dir / "list.txt", "a\r\n\r\nb\n");
  host.openFilePath = (dir / "list.txt").string();
  host.strings["VOItext"] = "untouched";
  EXPECT_TRUE(run("ReadTextFile"));
  const Events expected = {"open: Select a text file to open|Text File (*.txt)",
                           "log: Plugin>  Read 3 lines in " + host.openFilePath, "set AllText: a\n\nb"};
  EXPECT_EQ(expected, events());
  EXPECT_EQ("untouched", host.strings["VOItext"]);
}

// No file read, no new list: "AllText" gets the list itself, which the dialog
// script then moves into the list box unchanged.
TEST_F(CommandTest, CancelledOrFailedReadKeepsTheList) {
  host.strings["VOItext"] = "-42 -58 22 5 mine 1 2 3";
  const std::string missing = (dir / "missing.txt").string();
  const std::pair<std::string, std::string> cases[] = {
      {"", "log: Plugin>  No file was chosen; the list is unchanged."},
      {missing, "log: Plugin>  The list is unchanged: " + missing + ": No such file or directory"},
      {dir.path().string(),
       "log: Plugin>  The list is unchanged: " + dir.path().string() + ": Is a directory"}};
  for (const auto& [path, line] : cases) {
    host.events.clear();
    host.openFilePath = path;
    EXPECT_TRUE(run("ReadTextFile"));
    const Events expected = {"open: Select a text file to open|Text File (*.txt)", line,
                             "set AllText: -42 -58 22 5 mine 1 2 3"};
    EXPECT_EQ(expected, events());
  }
}

// Lines up to a read error are not the file: the list stays as it was.
TEST_F(CommandTest, ReadErrorKeepsTheListAndSaysWhy) {
  writeFile(dir / "list.txt", "\xEF\xBB\xBF"
                              "a\nb\nc");
  host.openFilePath = (dir / "list.txt").string();
  host.strings["VOItext"] = "mine";
  orbiculon::failFileReadsAfter(5, EIO);
  EXPECT_TRUE(run("ReadTextFile"));
  orbiculon::clearFileFaults();
  const Events expected = {
      "open: Select a text file to open|Text File (*.txt)", "log: Plugin>  Error while reading *.txt file.",
      "log: Plugin>  The list is unchanged: " + host.openFilePath + ": Input/output error",
      "set AllText: mine"};
  EXPECT_EQ(expected, events());
}

TEST_F(CommandTest, SaveTextFileWritesTheListUnchanged) {
  host.strings["VOItext"] = kFiveLines;
  host.saveFilePath = (dir / "saved.txt").string();
  EXPECT_TRUE(run("SaveTextFile"));
  const Events expected = {"save: Select a text filename to save|Text File (*.txt)",
                           "log: Plugin>  Saved VOI info in: " + host.saveFilePath};
  EXPECT_EQ(expected, events());
  EXPECT_EQ(orbiculon::testing::platformText(kFiveLines), readFile(host.saveFilePath));
}

class SaveFailureTest : public CommandTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(SaveFailureTest, ShowsErrorSavingFile) {
  writeFile(dir / "plain", "x");
  const std::string where = GetParam();
  host.saveFilePath = where.empty() ? "" : (dir / where).string();
  host.strings["VOItext"] = "1 2 3";
  EXPECT_TRUE(run("SaveTextFile"));
  const std::string reason =
      where.empty()
          ? "No file was chosen."
          : host.saveFilePath + (where == "missing/list.txt" ? ": No such file or directory" : kThroughAFile);
  const Events expected = {"save: Select a text filename to save|Text File (*.txt)",
                           "log: Plugin>  Error while writing *.txt file.", "log: Plugin>  " + reason,
                           "message: Error saving file"};
  EXPECT_EQ(expected, events());
  EXPECT_EQ("x", readFile(dir / "plain"));
}

INSTANTIATE_TEST_SUITE_P(Paths, SaveFailureTest, ::testing::Values("", "missing/list.txt", "plain/list.txt"),
                         [](const auto& param) {
                           const std::string p = param.param;
                           return p.empty()                    ? std::string("Cancelled")
                                  : p.rfind("missing", 0) == 0 ? std::string("MissingFolder")
                                                               : std::string("FolderIsAFile");
                         });

TEST_F(CommandTest, CleanUpTextStoresTheCleanedList) {
  host.strings["VOItext"] = kFiveLines;
  EXPECT_TRUE(run("CleanUpText"));
  const Events expected = {"log: Plugin>  3 valid lines left after cleaning",
                           "set VOItext: " + kFiveLinesCleaned};
  EXPECT_EQ(expected, events());
}

TEST_F(CommandTest, CleanUpTextCompletesShortLinesFromTheDialogFieldsWhenAsked) {
  host.ints["CompleteLines"] = 1;
  host.strings["Name_of_VOI"] = "my peak";
  host.ints["cG"] = 7;
  host.strings["VOItext"] = kFiveLines + "\n1 2 3\n4 5 6 label";
  EXPECT_TRUE(run("CleanUpText"));
  const Events expected = {
      "log: Plugin>  5 valid lines left after cleaning",
      "log: Plugin>  2 lines were completed from the dialog's fields",
      "set VOItext: " + kFiveLinesCleaned +
          "\n    1.0     2.0     3.0     5.0                 my_peak_6     255    7    0"
          "\n    4.0     5.0     6.0     5.0                     label     255    7    0"};
  EXPECT_EQ(expected, events());
}

TEST_F(CommandTest, CleanUpTextRefusesAPeakFileOfTheOtherSpace) {
  host.ints["CompleteLines"] = 1;
  host.ints["MNIorTal"] = 0;
  host.strings["VOItext"] = "// Reference=MNI\n-42 -58 22";
  EXPECT_TRUE(run("CleanUpText"));
  const Events expected = {
      "log: Plugin>  Line 1 of the list names MNI space, but \"MNIorTal\" is TAL: the list was not read"};
  EXPECT_EQ(expected, events());
}

TEST_F(CommandTest, StartFromTheListBuildsOneVoiPerValidLine) {
  host.ints["listVOIinfoFrom"] = 1;
  host.strings["VOItext"] = kFiveLines;
  ASSERT_TRUE(run("Start"));
  const Events expected = {
      "log: Plugin>  Reading Parameters from Text Box",
      "log: Plugin>  Added VOI at TAL (-42.0, -58.0, 22.0) with 5.0 mm radius",
      "log: Plugin>  Added VOI at TAL (10.0, 20.0, 30.0) with 20.0 mm radius",
      "log: Plugin>  Added VOI at TAL (1.3, 2.0, 3.0) with 0.5 mm radius",
      "log: Plugin>  Saved: " + voiPath(),
      "load: " + voiPath(),
  };
  EXPECT_EQ(expected, events());
  EXPECT_EQ(kFiveLines, host.strings["VOItext"]);

  const std::string file = readFile(voiPath());
  EXPECT_THAT(file, HasSubstr("NrOfvois:                   3\r\n"));
  const auto first = file.find("NameOfVOI:  amygdala_L\r\nColorOfVOI: 255 0 0\r\n");
  const auto second = file.find("NameOfVOI:  clamped\r\nColorOfVOI: 255 0 255\r\n");
  const auto third = file.find("NameOfVOI:  tiny\r\nColorOfVOI: 1 2 3\r\n\r\nNrOfVoxels: 1\r\n1 2 3\r\n");
  EXPECT_LT(first, second);
  EXPECT_LT(second, third);
  EXPECT_NE(std::string::npos, third);
}

TEST_F(CommandTest, StartFromAListWithoutValidLinesWritesAnEmptyFile) {
  host.ints["listVOIinfoFrom"] = 1;
  host.strings["VOItext"] = "heading only\n\n,,,;;;\n";
  ASSERT_TRUE(run("Start"));
  const Events expected = {"log: Plugin>  Reading Parameters from Text Box",
                           "log: Plugin>  Saved: " + voiPath(), "load: " + voiPath()};
  EXPECT_EQ(expected, events());
  const std::string file = readFile(voiPath());
  EXPECT_THAT(file, HasSubstr("NrOfvois:                   0\r\n\r\n\r\nNrOfVOIVTCs: 0\r\n"));
}

TEST_F(CommandTest, StartInMniUsesTheMniBoundsForTheList) {
  host.ints["listVOIinfoFrom"] = 1;
  host.ints["MNIorTal"] = 1;
  host.header.IsMniSpace = 1;
  host.strings["VOItext"] = "75 0 0 5 edge 0 0 0\n75.5 0 0 5 beyond 0 0 0\n-74 -108 -52 5 low 0 0 0";
  ASSERT_TRUE(run("Start"));
  const auto lines = host.logLines();
  ASSERT_EQ(4u, lines.size());
  EXPECT_EQ("Plugin>  Added VOI at MNI (75.0, 0.0, 0.0) with 5.0 mm radius", lines[1]);
  EXPECT_EQ("Plugin>  Added VOI at MNI (-74.0, -108.0, -52.0) with 5.0 mm radius", lines[2]);
}

} // namespace
