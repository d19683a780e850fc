// The plug-in's commands run by the stand-in host as a user would run them: whole
// logs and VOI files compared byte for byte with the expected files in data/, and
// the coordinate-list commands with files, parameters and file dialogs.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/e2e/BuiltPrograms.h"
#include "tests/e2e/ProcessRunner.h"
#include "tests/support/FakeHost.h"

namespace {

using namespace orbiculon::testing;
namespace fs = std::filesystem;

fs::path testData(const std::string& name) {
  const char* folder = std::getenv("ORBICULON_TEST_DATA");
  return fs::path(folder != nullptr ? folder : "data") / name;
}

// Runs the stand-in host's dialog driver inside a temporary folder, so relative
// paths (and the paths in the log) are the same on every run.
class CommandsE2eTest : public ::testing::Test {
protected:
  ProcessResult host(std::vector<std::string> options) {
    std::vector<std::string> argv = {built::kHost, "dialog", "--plugin", built::kModule};
    argv.insert(argv.end(), options.begin(), options.end());
    const fs::path previous = fs::current_path();
    fs::current_path(dir.path());
    ProcessResult result = runProcess(argv);
    fs::current_path(previous);
#ifdef _WIN32
    // The host log is console text, whose lines end with CR LF on Windows; the
    // expected logs are compared with LF line ends.
    for (std::size_t at = result.out.find("\r\n"); at != std::string::npos; at = result.out.find("\r\n", at))
      result.out.erase(at, 1);
#endif
    return result;
  }

  std::string file(const std::string& name) const { return readFile(dir / name); }

  TempDir dir;
};

const std::string kStart = " \nPlugin>  Running Orbiculon Plugin...\nPlugin>\n";
const std::string kEnd = "Plugin>  Orbiculon Plugin finished!\n \n";

TEST_F(CommandsE2eTest, StartFromTheDialogGivesTheGoldenLogAndFile) {
  const ProcessResult result =
      host({"--float",  "tX=-42",          "--float",    "tY=-58",     "--float",
            "tZ=22",    "--float",         "Radius=2.5", "--text",     "Name_of_VOI=amygdala L",
            "--int",    "cR=255",          "--int",      "cG=128",     "--int",
            "cB=0",     "--int",           "LoadInCV=1", "--text",     "FileName=golden",
            "--header", "ResolutionX=1.9", "--header",   "OffsetX=-3", "Start"});
  EXPECT_EQ(0, result.exitCode) << result.err;
  EXPECT_EQ(readFile(testData("dialog_start.log")), result.out);
  EXPECT_EQ(readFile(testData("dialog_start.voi")), file("golden.voi"));
}

// "ConvertSpace" 0 and a host without it (which answers 0) give the same transcript.
class StartFromAListE2eTest : public CommandsE2eTest, public ::testing::WithParamInterface<std::string> {};

TEST_P(StartFromAListE2eTest, GivesTheGoldenLogAndFileAndKeepsTheList) {
  writeFile(dir / "list.txt", readFile(testData("list_start_input.txt")));
  std::vector<std::string> options = {"--int",       "MNIorTal=1",          "--header", "IsMniSpace=1",
                                      "--header",    "IsTalSpace=0",        "--int",    "listVOIinfoFrom=1",
                                      "--text-file", "VOItext=list.txt",    "--int",    "LoadInCV=1",
                                      "--text",      "FileName=list_start", "--save",   "VOItext=after.txt"};
  if (!GetParam().empty()) options.insert(options.end(), {"--int", GetParam()});
  options.push_back("Start");
  const ProcessResult result = host(options);
  EXPECT_EQ(0, result.exitCode) << result.err;
  EXPECT_EQ(readFile(testData("list_start.log")), result.out);
  EXPECT_EQ(readFile(testData("list_start.voi")), file("list_start.voi"));
  EXPECT_EQ(file("list.txt"), file("after.txt"));
}

INSTANTIATE_TEST_SUITE_P(ConvertSpace, StartFromAListE2eTest, ::testing::Values("", "ConvertSpace=0"),
                         [](const auto& param) {
                           return std::string(param.param.empty() ? "Missing" : "Zero");
                         });

TEST_F(CommandsE2eTest, StartWithConversionGivesTheGoldenLogAndFileInTheOtherSpace) {
  writeFile(dir / "list.txt", readFile(testData("list_start_input.txt")));
  const ProcessResult result =
      host({"--int", "MNIorTal=1", "--int", "ConvertSpace=1", "--int", "listVOIinfoFrom=1", "--text-file",
            "VOItext=list.txt", "--int", "LoadInCV=1", "--text", "FileName=convert_start", "Start"});
  EXPECT_EQ(0, result.exitCode) << result.err;
  EXPECT_EQ(readFile(testData("convert_start.log")), result.out);
  EXPECT_EQ(readFile(testData("convert_start.voi")), file("convert_start.voi"));
}

TEST_F(CommandsE2eTest, StartFromAListWithoutValidLinesWritesAndLoadsAnEmptyFile) {
  writeFile(dir / "list.txt", "heading\n\n;;;,,,\n");
  const ProcessResult result = host({"--int", "listVOIinfoFrom=1", "--text-file", "VOItext=list.txt", "--int",
                                     "LoadInCV=1", "--text", "FileName=empty", "Start"});
  EXPECT_EQ(0, result.exitCode) << result.err;
  const std::string expected =
      kStart + "Plugin>  Reading Parameters from Text Box\nPlugin>  Saved: empty.voi\n";
  EXPECT_EQ(expected, result.out.substr(0, expected.size()));
  EXPECT_NE(std::string::npos, result.out.find("Loaded empty.voi: 0 VOIs"));
  EXPECT_NE(std::string::npos,
            file("empty.voi").find("NrOfvois:                   0\r\n\r\n\r\nNrOfVOIVTCs: 0\r\n"));
}

TEST_F(CommandsE2eTest, AnsweringNoEndsStartWithoutAFile) {
  const ProcessResult result =
      host({"--header", "IsTalSpace=0", "--answer", "no", "--text", "FileName=refused", "Start"});
  EXPECT_EQ(1, result.exitCode);
  EXPECT_EQ(kStart + "Plugin>  Reading Parameters from GUI dialog\n" + kEnd, result.out);
  EXPECT_NE(std::string::npos,
            result.err.find("VMR properties don't indicate TAL space. Do you want to continue?"));
  EXPECT_FALSE(fs::exists(dir / "refused.voi"));
}

TEST_F(CommandsE2eTest, ReadTextFileFillsAllTextOnly) {
  writeFile(dir / "three.txt", "1 2 3 4 a 1 2 3\r\n\r\nlast line");
  const ProcessResult result = host({"--open-path", "three.txt", "--text", "VOItext=kept", "--save",
                                     "AllText=all.txt", "--save", "VOItext=voitext.txt", "ReadTextFile"});
  EXPECT_EQ(0, result.exitCode) << result.err;
  EXPECT_EQ(kStart + "Plugin>  Read 3 lines in three.txt\n" + kEnd, result.out);
  EXPECT_EQ("1 2 3 4 a 1 2 3\n\nlast line", file("all.txt"));
  EXPECT_EQ("kept", file("voitext.txt"));
}

TEST_F(CommandsE2eTest, CancelledOpenDialogReadsNoLine) {
  const ProcessResult result = host({"--save", "AllText=all.txt", "ReadTextFile"});
  EXPECT_EQ(0, result.exitCode) << result.err;
  EXPECT_EQ(kStart + "Plugin>  Read 0 lines in \n" + kEnd, result.out);
  EXPECT_EQ("", file("all.txt"));
}

TEST_F(CommandsE2eTest, CleanUpTextKeepsTheValidLines) {
  writeFile(dir / "five.txt", "x y z\n10,20,30,5,a,1,2,3\n99 0 0 5 b 1 2 3\n-1 -2 -3 25 c 300 -4 400\n\n");
  const ProcessResult result =
      host({"--text-file", "VOItext=five.txt", "--save", "VOItext=clean.txt", "CleanUpText"});
  EXPECT_EQ(0, result.exitCode) << result.err;
  EXPECT_EQ(kStart + "Plugin>  2 valid lines left after cleaning\n" + kEnd, result.out);
  EXPECT_EQ("   10.0    20.0    30.0     5.0                         a       1    2    3\n"
            "   -1.0    -2.0    -3.0    20.0                         c     255    0  255",
            file("clean.txt"));
}

TEST_F(CommandsE2eTest, SaveTextFileWritesTheListAndReadsBack) {
  const std::string list = "1 2 3 4 a 1 2 3\n\n; heading kept as it is";
  const ProcessResult saved = host({"--text", "VOItext=" + list, "--save-path", "saved.txt", "SaveTextFile"});
  EXPECT_EQ(0, saved.exitCode) << saved.err;
  EXPECT_EQ(kStart + "Plugin>  Saved VOI info in: saved.txt\n" + kEnd, saved.out);
  const ProcessResult read = host({"--open-path", "saved.txt", "--save", "AllText=all.txt", "ReadTextFile"});
  EXPECT_EQ(list, file("all.txt"));
}

class SaveFailureE2eTest : public CommandsE2eTest, public ::testing::WithParamInterface<std::string> {};

TEST_P(SaveFailureE2eTest, ShowsErrorSavingFileAndLeavesNothing) {
  writeFile(dir / "plain", "x");
  std::vector<std::string> options = {"--text", "VOItext=1 2 3"};
  if (!GetParam().empty()) options.insert(options.end(), {"--save-path", GetParam()});
  options.push_back("SaveTextFile");
  const ProcessResult result = host(options);
  EXPECT_EQ(0, result.exitCode);
  EXPECT_EQ(kStart + "Plugin>  Error while writing *.txt file.\n" + kEnd, result.out);
  EXPECT_NE(std::string::npos, result.err.find("[message] Error saving file"));
  EXPECT_EQ("x", file("plain"));
  EXPECT_FALSE(fs::exists(dir / "missing"));
}

INSTANTIATE_TEST_SUITE_P(Paths, SaveFailureE2eTest,
                         ::testing::Values("", "missing/list.txt", "plain/list.txt"), [](const auto& param) {
                           return param.param.empty()     ? std::string("Cancelled")
                                  : param.param[0] == 'm' ? std::string("MissingFolder")
                                                          : std::string("FolderIsARegularFile");
                         });

} // namespace
