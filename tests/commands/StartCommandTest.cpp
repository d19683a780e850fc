#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <filesystem>
#include <limits>
#include <string>
#include <vector>

#include "tests/commands/CommandFixture.h"

namespace {

using orbiculon::testing::CommandTest;
using orbiculon::testing::kThroughAFile;
using orbiculon::testing::readFile;
using ::testing::AllOf;
using ::testing::HasSubstr;
using Events = std::vector<std::string>;

// ---------------------------------------------------------------------------
// The dispatcher frame

class UnknownCommandTest : public CommandTest, public ::testing::WithParamInterface<std::string> {};

TEST_P(UnknownCommandTest, LogsTheCommandBetweenQuotesAndSucceeds) {
  EXPECT_TRUE(run(GetParam()));
  EXPECT_EQ(Events{"log: Plugin>  Received unknown command: \"" + GetParam() + "\"."}, events());
  EXPECT_EQ((std::vector<std::string>{"s:Command", "i:MNIorTal"}), host.reads);
}

INSTANTIATE_TEST_SUITE_P(CommandTexts, UnknownCommandTest,
                         ::testing::Values("start", "Start ", " Start", "", "START", "Stop", "CleanUpText\t",
                                           "readtextfile"));

TEST_F(CommandTest, CommandTooLongForItsTextIsCutAndUnknown) {
  const std::string longCommand = "Start" + std::string(400, 'x');
  EXPECT_TRUE(run(longCommand));
  EXPECT_EQ(Events{"log: Plugin>  Received unknown command: \"" + longCommand.substr(0, 255) + "\"."},
            events());
}

// ---------------------------------------------------------------------------
// "Start" from the dialog fields

TEST_F(CommandTest, StartReadsEveryParameterInOrder) {
  ASSERT_TRUE(run("Start"));
  const std::vector<std::string> expected = {
      "s:Command",         "i:MNIorTal", "f:tX",          "f:tY", "f:tZ",       "f:Radius",
      "s:Name_of_VOI",     "i:cR",       "i:cG",          "i:cB", "s:FileName", "i:LoadInCV",
      "i:listVOIinfoFrom", "s:VOItext",  "i:ConvertSpace"};
  EXPECT_EQ(expected, host.reads);
}

TEST_F(CommandTest, StartLogsWritesAndLoadsOneVoi) {
  host.floats["tX"] = -42.0f;
  host.floats["tY"] = -58.0f;
  host.floats["tZ"] = 22.0f;
  ASSERT_TRUE(run("Start"));
  const Events expected = {
      "log: Plugin>  Reading Parameters from GUI dialog",
      "log: Plugin>  Added VOI at TAL (-42.0, -58.0, 22.0) with 5.0 mm radius",
      "log: Plugin>  Saved: " + voiPath(),
      "load: " + voiPath(),
  };
  EXPECT_EQ(expected, events());
  EXPECT_THAT(readFile(voiPath()),
              AllOf(HasSubstr("NrOfvois:                   1\r\n"),
                    HasSubstr("NameOfVOI:  Seed\r\nColorOfVOI: 255 0 0\r\n\r\nNrOfVoxels: 515\r\n"),
                    HasSubstr("\r\n-47 -58 22\r\n")));
}

// The log's numbers keep their '.' under a C locale with a decimal comma (the same
// locale the cleaning locale test uses; tools/deps.sh generates it).
TEST_F(CommandTest, StartLogsPointDecimalsUnderAGermanLocale) {
  host.floats["tX"] = -42.5f;
  host.floats["tY"] = -58.5f;
  host.floats["tZ"] = 22.5f;
  host.floats["Radius"] = 5.5f;
  if (std::setlocale(LC_ALL, "de_DE.UTF-8") == nullptr) GTEST_SKIP() << "de_DE.UTF-8 is not installed here";
  const bool started = run("Start");
  std::setlocale(LC_ALL, "C");
  ASSERT_TRUE(started);
  ASSERT_LE(2u, events().size());
  EXPECT_EQ("log: Plugin>  Added VOI at TAL (-42.5, -58.5, 22.5) with 5.5 mm radius", events()[1]);
}

struct SpaceCase {
  const char* name;
  int mniOrTal;
  int isTal;
  int isMni;
  int answer;
  bool asked;
  bool proceeds;
  int convertSpace = 0; // 4 (mni2tal) keeps the origin where it is
};

class ReferenceSpaceTest : public CommandTest, public ::testing::WithParamInterface<SpaceCase> {};

TEST_P(ReferenceSpaceTest, AsksOnlyWhenTheChosenSpaceIsNotIndicated) {
  const SpaceCase& c = GetParam();
  host.ints["MNIorTal"] = c.mniOrTal;
  host.header.IsTalSpace = c.isTal;
  host.header.IsMniSpace = c.isMni;
  host.yesNoAnswer = c.answer;
  host.ints["ConvertSpace"] = c.convertSpace;
  EXPECT_EQ(c.proceeds, run("Start"));

  const bool converted = c.convertSpace == 4;
  // With a conversion the question, the log and the file are about the other space.
  const bool mni = (c.mniOrTal != 0) != converted;
  Events expected = {"log: Plugin>  Reading Parameters from GUI dialog"};
  if (c.convertSpace != 0 && !converted)
    expected.push_back("log: Plugin>  Unknown ConvertSpace value " + std::to_string(c.convertSpace) +
                       ": the centres are not converted.");
  if (c.asked)
    expected.push_back(std::string("question: VMR properties don't indicate ") + (mni ? "MNI" : "TAL") +
                       " space. Do you want to continue?");
  if (c.proceeds) {
    expected.push_back(std::string("log: Plugin>  Added VOI at ") + (mni ? "MNI" : "TAL") +
                       " (0.0, 0.0, 0.0) with 5.0 mm radius");
    if (converted)
      expected.push_back(mni ? "log: Plugin>  converted from TAL (0.0, 0.0, 0.0) with tal2mni (Brett)"
                             : "log: Plugin>  converted from MNI (0.0, 0.0, 0.0) with mni2tal (Brett)");
    expected.push_back("log: Plugin>  Saved: " + voiPath());
    expected.push_back("load: " + voiPath());
  }
  EXPECT_EQ(expected, events());
  EXPECT_EQ(c.proceeds, std::filesystem::exists(voiPath()));
  if (c.proceeds) {
    EXPECT_THAT(readFile(voiPath()),
                HasSubstr(std::string("ReferenceSpace:             ") + (mni ? "MNI" : "TAL")));
  }
}

INSTANTIATE_TEST_SUITE_P(
    Spaces, ReferenceSpaceTest,
    ::testing::Values(SpaceCase{"TalIndicated", 0, 1, 0, 0, false, true},
                      SpaceCase{"TalNotIndicatedYes", 0, 0, 1, 1, true, true},
                      SpaceCase{"TalNotIndicatedNo", 0, 0, 1, 0, true, false},
                      SpaceCase{"TalFlagTwoCountsAsNot", 0, 2, 0, 0, true, false},
                      SpaceCase{"MniIndicated", 1, 0, 1, 0, false, true},
                      SpaceCase{"MniTwoSelectsMni", 2, 0, 1, 0, false, true},
                      SpaceCase{"MniNotIndicatedYes", 1, 1, 0, 7, true, true},
                      SpaceCase{"MniNotIndicatedNo", 1, 1, 0, 0, true, false},
                      SpaceCase{"MniToTalAsksAboutTal", 1, 0, 1, 0, true, false, 4},
                      SpaceCase{"MniToTalIndicated", 1, 1, 0, 0, false, true, 4},
                      SpaceCase{"TalToMniIndicated", 0, 0, 1, 0, false, true, 4},
                      SpaceCase{"UnknownConversionKeepsTheSpace", 0, 1, 0, 0, false, true, 5},
                      SpaceCase{"NegativeConversionKeepsTheSpace", 1, 0, 1, 0, false, true, -1}),
    [](const auto& param) { return std::string(param.param.name); });

TEST_F(CommandTest, DialogValuesAreUsedUnchanged) {
  host.floats["tX"] = 500.0f;    // outside every coordinate bound
  host.floats["Radius"] = 30.0f; // above the list's clamp
  host.ints["cR"] = 300;
  host.ints["cG"] = -5;
  host.ints["cB"] = 501;
  host.strings["Name_of_VOI"] = "left amygdala";
  ASSERT_TRUE(run("Start"));
  EXPECT_THAT(readFile(voiPath()), AllOf(HasSubstr("NameOfVOI:  left amygdala\r\nColorOfVOI: 300 -5 501\r\n"),
                                         HasSubstr("\r\n470 0 0\r\n"), HasSubstr("\r\n530 0 0\r\n")));
}

class SourceSwitchTest : public CommandTest, public ::testing::WithParamInterface<int> {};

TEST_P(SourceSwitchTest, AnyValueButOneUsesTheDialogAndIgnoresTheList) {
  host.ints["listVOIinfoFrom"] = GetParam();
  host.strings["VOItext"] = "10 20 30 5 listed 0 0 255\n11 21 31 5 other 0 0 255";
  ASSERT_TRUE(run("Start"));
  EXPECT_EQ("log: Plugin>  Reading Parameters from GUI dialog", events().front());
  EXPECT_THAT(readFile(voiPath()), HasSubstr("NrOfvois:                   1\r\n\r\nNameOfVOI:  Seed\r\n"));
}

INSTANTIATE_TEST_SUITE_P(Values, SourceSwitchTest, ::testing::Values(0, 2, -1));

TEST_F(CommandTest, LoadFlagOtherThanOneDoesNotLoad) {
  host.ints["LoadInCV"] = 2;
  ASSERT_TRUE(run("Start"));
  EXPECT_EQ("log: Plugin>  Saved: " + voiPath(), events().back());
}

struct PathCase {
  const char* name;
  const char* fileName;
  const char* written;
};

class VoiPathTest : public CommandTest, public ::testing::WithParamInterface<PathCase> {};

// The names are given within the test's folder (its path and a separator before them),
// so the test need not change the process's working directory.
TEST_P(VoiPathTest, AppendsTheSuffixToTheNameAsGiven) {
  const std::string folder = (dir.path() / "").string();
  host.strings["FileName"] = folder + GetParam().fileName;
  EXPECT_TRUE(run("Start"));
  EXPECT_TRUE(std::filesystem::exists(folder + GetParam().written));
  EXPECT_EQ("Plugin>  Saved: " + folder + GetParam().written, host.logLines().back());
}

INSTANTIATE_TEST_SUITE_P(Names, VoiPathTest,
                         ::testing::Values(PathCase{"Plain", "left_amygdala", "left_amygdala.voi"},
                                           PathCase{"AlreadySuffixed", "x.voi", "x.voi.voi"},
                                           PathCase{"Empty", "", ".voi"}),
                         [](const auto& param) { return std::string(param.param.name); });

TEST_F(CommandTest, HeaderResolutionsAreTruncatedTowardZero) {
  host.header.ResolutionX = 1.9f;
  host.header.ResolutionY = -0.5f;
  host.header.ResolutionZ = std::numeric_limits<float>::quiet_NaN();
  host.header.OffsetX = -3;
  host.header.FramingCubeDim = 512;
  host.header.LeftRightConvention = 2;
  ASSERT_TRUE(run("Start"));
  EXPECT_THAT(readFile(voiPath()),
              AllOf(HasSubstr("OriginalVMRResolutionX:     1\r\nOriginalVMRResolutionY:     0\r\n"
                              "OriginalVMRResolutionZ:     0\r\nOriginalVMROffsetX:         -3\r\n"),
                    HasSubstr("OriginalVMRFramingCubeDim:  512\r\n\r\nLeftRightConvention:        2\r\n")));
}

TEST_F(CommandTest, UnopenableFolderLogsTheWriterLineAndDoesNotLoad) {
  host.strings["FileName"] = (dir / "missing" / "out").string();
  EXPECT_TRUE(run("Start"));
  const std::vector<std::string> failure = {"log: Error while writing VOI file",
                                            "log: Plugin>  " + (dir / "missing" / "out.voi").string() +
                                                ": No such file or directory"};
  EXPECT_EQ(failure, lastEvents(2));
  EXPECT_FALSE(std::filesystem::exists(dir / "missing"));
}

TEST_F(CommandTest, PathWhoseFolderIsARegularFileFails) {
  orbiculon::testing::writeFile(dir / "plain", "x");
  host.strings["FileName"] = (dir / "plain" / "out").string();
  EXPECT_TRUE(run("Start"));
  const std::vector<std::string> failure = {"log: Error while writing VOI file",
                                            "log: Plugin>  " + (dir / "plain" / "out.voi").string() +
                                                kThroughAFile};
  EXPECT_EQ(failure, lastEvents(2));
  EXPECT_EQ("x", readFile(dir / "plain"));
}

// ---------------------------------------------------------------------------
// Capacities

// A path of `length` characters inside the test folder, made of folders short
// enough for the file system; the folders are created.
std::string longPath(const std::filesystem::path& base, std::size_t length) {
  std::string path = base.string();
  while (path.size() + 101 < length) {
    path += "/" + std::string(99, 'd');
    std::filesystem::create_directory(path);
  }
  path += "/";
  return path + std::string(length - path.size(), 'f');
}

TEST_F(CommandTest, FileNameThatJustTakesTheSuffixIsWritten) {
  const std::string fileName = longPath(dir.path(), 507);
  host.strings["FileName"] = fileName;
  host.ints["LoadInCV"] = 0;
  ASSERT_TRUE(run("Start"));
  EXPECT_TRUE(std::filesystem::exists(fileName + ".voi"));
  // The saved line is cut to the log line's 511 characters.
  const std::string saved = "Plugin>  Saved: " + fileName + ".voi";
  EXPECT_EQ(saved.substr(0, 511), host.logLines().back());
}

TEST_F(CommandTest, FileNameTooLongForTheSuffixIsNeverCutIntoAnotherPath) {
  for (const std::size_t length : {508u, 511u, 700u}) {
    host.events.clear();
    const std::string fileName = longPath(dir.path(), length);
    host.strings["FileName"] = fileName;
    EXPECT_TRUE(run("Start"));
    // The path gives way in its middle, so that the reason survives whole.
    const std::string received = fileName.substr(0, 511);
    const auto events = lastEvents(2);
    EXPECT_EQ("log: Error while writing VOI file", events.at(0));
    EXPECT_TRUE(events.at(1).ends_with(received.substr(received.size() - 100) + ": File name too long"))
        << events.at(1);
#ifndef _WIN32
    // Nothing was written under the name cut to the path's capacity either. (Not on
    // Windows: a folder path past MAX_PATH cannot be listed there.)
    const auto folder = std::filesystem::path(fileName).parent_path();
    for (const auto& item : std::filesystem::directory_iterator(folder))
      EXPECT_TRUE(item.is_directory()) << item.path();
#endif
  }
}

TEST_F(CommandTest, LongVoiNameIsCutTo255InTheFile) {
  const std::string name(300, 'n');
  host.strings["Name_of_VOI"] = name;
  ASSERT_TRUE(run("Start"));
  EXPECT_THAT(readFile(voiPath()), HasSubstr("NameOfVOI:  " + name.substr(0, 255) + "\r\nColorOfVOI:"));
}

TEST_F(CommandTest, NameWithLineBreaksKeepsTheFileStructure) {
  host.strings["Name_of_VOI"] = "two\r\nlines\nhere";
  ASSERT_TRUE(run("Start"));
  EXPECT_THAT(readFile(voiPath()), HasSubstr("NameOfVOI:  two  lines here\r\nColorOfVOI: 255 0 0\r\n"));
}

struct RefusedCase {
  const char* name;
  float x;
  float radius;
  const char* reason;
};

class RefusedSphereTest : public CommandTest, public ::testing::WithParamInterface<RefusedCase> {};

TEST_P(RefusedSphereTest, VoiIsWrittenWithoutVoxelsAndTheLogSaysWhy) {
  host.floats["tX"] = GetParam().x;
  host.floats["Radius"] = GetParam().radius;
  ASSERT_TRUE(run("Start"));
  const auto lines = host.logLines();
  ASSERT_EQ(4u, lines.size());
  EXPECT_EQ(std::string("Plugin>  VOI 1 (\"Seed\") was written without voxels: ") + GetParam().reason + ".",
            lines[2]);
  EXPECT_THAT(readFile(voiPath()), HasSubstr("NrOfVoxels: 0\r\n\r\n\r\nNrOfVOIVTCs: 0\r\n"));
}

INSTANTIATE_TEST_SUITE_P(
    Spheres, RefusedSphereTest,
    ::testing::Values(
        RefusedCase{"NanRadius", 0.0f, std::nanf(""), "its centre or radius is not a finite number"},
        RefusedCase{"InfiniteRadius", 0.0f, std::numeric_limits<float>::infinity(),
                    "its centre or radius is not a finite number"},
        RefusedCase{"HugeRadius", 0.0f, 1e30f, "it reaches beyond the 32-bit coordinate range"},
        RefusedCase{"CentreAtTheEdge", 2147483520.0f, 200.0f,
                    "it reaches beyond the 32-bit coordinate range"},
        RefusedCase{"TooManyVoxels", 0.0f, 555.0f, "it holds more voxels than a VOI can store"}),
    [](const auto& param) { return std::string(param.param.name); });

// Also at x = -2^31, which the grid still holds: no bound lies beyond the 32-bit range.
TEST_F(CommandTest, EmptySphereIsNotReportedAsRefused) {
  for (const float x : {0.3f, -2147483648.0f}) {
    host.events.clear();
    host.floats["tX"] = x;
    host.floats["tY"] = 0.5f;
    host.floats["Radius"] = 0.0f;
    ASSERT_TRUE(run("Start"));
    EXPECT_EQ(3u, host.logLines().size()) << x;
  }
}

} // namespace
