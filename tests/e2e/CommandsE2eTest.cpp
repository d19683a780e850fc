// The plug-in's commands run by the stand-in host as a user would run them: whole
// logs and VOI files compared byte for byte with the expected files in data/, and
// the coordinate-list commands with files, parameters and file dialogs.
#include <gmock/gmock.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#ifdef __linux__
#include <sys/resource.h>
#endif

#include "tests/e2e/BuiltPrograms.h"
#include "tests/e2e/ProcessRunner.h"
#include "tests/support/FakeHost.h"
#include "tests/support/Lines.h"

namespace {

using namespace orbiculon::testing;
using ::testing::HasSubstr;
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
    ProcessResult result = runProcess(argv, {}, dir.path().string());
#ifdef _WIN32
    result.out = withLineFeeds(result.out); // console text; the expected logs have LF
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

// "ConvertSpace" 0, "CompleteLines" 0 and a host without them (which answers 0) give
// the same transcript.
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

INSTANTIATE_TEST_SUITE_P(ConvertSpace, StartFromAListE2eTest,
                         ::testing::Values("", "ConvertSpace=0", "CompleteLines=0"), [](const auto& param) {
                           return param.param.empty() ? std::string("Missing")
                                                      : param.param.substr(0, param.param.find('=')) + "Zero";
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

// A paper's table with its heading (region first, Unicode minus signs, a local maximum,
// a footnote mark), its rows completed from the dialog's fields and named after their region.
TEST_F(CommandsE2eTest, StartCompletingAPaperTableGivesTheGoldenLogAndFile) {
  writeFile(dir / "list.txt", readFile(testData("complete_start_input.txt")));
  const ProcessResult result = host({"--int",       "CompleteLines=1",
                                     "--int",       "listVOIinfoFrom=1",
                                     "--text-file", "VOItext=list.txt",
                                     "--float",     "Radius=1.5",
                                     "--text",      "Name_of_VOI=seed region",
                                     "--int",       "cR=0",
                                     "--int",       "cG=128",
                                     "--int",       "cB=255",
                                     "--int",       "LoadInCV=1",
                                     "--text",      "FileName=complete_start",
                                     "Start"});
  EXPECT_EQ(0, result.exitCode) << result.err;
  EXPECT_EQ(readFile(testData("complete_start.log")), result.out);
  EXPECT_EQ(readFile(testData("complete_start.voi")), file("complete_start.voi"));
}

TEST_F(CommandsE2eTest, StartFromAListWithoutValidLinesWritesAndLoadsAnEmptyFile) {
  writeFile(dir / "list.txt", "heading\n\n;;;,,,\n");
  const ProcessResult result = host({"--int", "listVOIinfoFrom=1", "--text-file", "VOItext=list.txt", "--int",
                                     "LoadInCV=1", "--text", "FileName=empty", "Start"});
  EXPECT_EQ(0, result.exitCode) << result.err;
  const std::string expected =
      kStart + "Plugin>  Reading Parameters from Text Box\nPlugin>  Saved: empty.voi\n";
  EXPECT_EQ(expected, result.out.substr(0, expected.size()));
  EXPECT_THAT(result.out, HasSubstr("Loaded empty.voi: 0 VOIs"));
  EXPECT_THAT(file("empty.voi"), HasSubstr("NrOfvois:                   0\r\n\r\n\r\nNrOfVOIVTCs: 0\r\n"));
}

TEST_F(CommandsE2eTest, AnsweringNoEndsStartWithoutAFile) {
  const ProcessResult result =
      host({"--header", "IsTalSpace=0", "--answer", "no", "--text", "FileName=refused", "Start"});
  EXPECT_EQ(1, result.exitCode);
  EXPECT_EQ(kStart + "Plugin>  Reading Parameters from GUI dialog\n" + kEnd, result.out);
  EXPECT_THAT(result.err, HasSubstr("VMR properties don't indicate TAL space. Do you want to continue?"));
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

// No file read: AllText gets the list, so the dialog's move keeps it; an empty file
// is a new, empty list.
TEST_F(CommandsE2eTest, ReadWithoutAFileKeepsTheList) {
  const std::string list = "-42 -58 22 5 mine 1 2 3\n\npasted";
  writeFile(dir / "empty.txt", "");
  struct Case {
    std::vector<std::string> open;
    std::string line;
    int exitCode; // 1 when a file was given but could not be read
  };
  const Case cases[] = {{{}, "Plugin>  No file was chosen; the list is unchanged.\n", 0},
                        {{"--open-path", "missing.txt"},
                         "Plugin>  The list is unchanged: missing.txt: No such file or directory\n",
                         1},
                        {{"--open-path", "."}, "Plugin>  The list is unchanged: .: Is a directory\n", 1},
                        {{"--open-path", "empty.txt"}, "Plugin>  Read 0 lines in empty.txt\n", 0}};
  for (const auto& [open, line, exitCode] : cases) {
    std::vector<std::string> options = open;
    options.insert(options.end(), {"--text", "VOItext=" + list, "--show", "AllText", "ReadTextFile"});
    const ProcessResult result = host(options);
    EXPECT_EQ(exitCode, result.exitCode) << result.err;
    const std::string allText = open.empty() || open[1] != "empty.txt" ? list + "\n" : "";
    EXPECT_EQ(kStart + line + kEnd + "[parameter] AllText:\n" + allText, result.out) << line;
  }
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
  EXPECT_EQ(1, result.exitCode);
  const std::string reason = GetParam().empty()                 ? "No file was chosen."
                             : GetParam() == "missing/list.txt" ? GetParam() + ": No such file or directory"
                                                                : GetParam() + kThroughAFile;
  EXPECT_EQ(kStart + "Plugin>  Error while writing *.txt file.\nPlugin>  " + reason + "\n" + kEnd,
            result.out);
  EXPECT_THAT(result.err, HasSubstr("[message] Error saving file"));
  EXPECT_EQ("x", file("plain"));
  EXPECT_FALSE(fs::exists(dir / "missing"));
}

INSTANTIATE_TEST_SUITE_P(Paths, SaveFailureE2eTest,
                         ::testing::Values("", "missing/list.txt", "plain/list.txt"), [](const auto& param) {
                           return param.param.empty()     ? std::string("Cancelled")
                                  : param.param[0] == 'm' ? std::string("MissingFolder")
                                                          : std::string("FolderIsARegularFile");
                         });

#ifdef __linux__
// A file size limit in the host process (SIGXFSZ ignored, so writes fail with EFBIG)
// keeps the previous VOI file and list byte for byte and leaves no temporary file.
TEST_F(CommandsE2eTest, FileSizeLimitKeepsThePreviousFiles) {
  writeFile(dir / "out.voi", "previous VOI");
  writeFile(dir / "list.txt", "previous list");
  rlimit saved{};
  ASSERT_EQ(0, getrlimit(RLIMIT_FSIZE, &saved));
  rlimit limited = saved;
  limited.rlim_cur = 4096;
  // Both are inherited by the child: the limit, and the ignored signal.
  const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
  ASSERT_EQ(0, setrlimit(RLIMIT_FSIZE, &limited));
  const ProcessResult start =
      host({"--float", "Radius=20", "--text", "FileName=out", "--int", "LoadInCV=0", "Start"});
  const ProcessResult save =
      host({"--text", "VOItext=" + std::string(8000, 'x'), "--save-path", "list.txt", "SaveTextFile"});
  setrlimit(RLIMIT_FSIZE, &saved);
  std::signal(SIGXFSZ, previousHandler);

  EXPECT_THAT(start.out, HasSubstr("Error while writing VOI file\nPlugin>  out.voi: File too large\n"));
  EXPECT_THAT(save.out,
              HasSubstr("Plugin>  Error while writing *.txt file.\nPlugin>  list.txt: File too large\n"));
  EXPECT_EQ("previous VOI", file("out.voi"));
  EXPECT_EQ("previous list", file("list.txt"));
  EXPECT_EQ(2, std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()));
}

// Two hosts saving to one path at the same time leave one complete file, either's.
TEST_F(CommandsE2eTest, RacingSavesLeaveOneCompleteFile) {
  const std::string target = (dir / "race").string();
  const auto start = [&](const char* radius) {
    return std::vector<std::string>{built::kHost, "dialog",     "--plugin", built::kModule,
                                    "--float",    radius,       "--text",   "FileName=" + target,
                                    "--int",      "LoadInCV=0", "Start"};
  };
  const auto small = start("Radius=4");
  const auto large = start("Radius=12");
  ASSERT_EQ(0, runProcess(small).exitCode);
  const std::string smallFile = file("race.voi");
  ASSERT_EQ(0, runProcess(large).exitCode);
  const std::string largeFile = file("race.voi");
  for (int round = 0; round < 12; ++round) {
    std::thread other([&] { runProcess(small); });
    runProcess(large);
    other.join();
    const std::string result = file("race.voi");
    EXPECT_TRUE(result == smallFile || result == largeFile)
        << "round " << round << ": " << result.size() << " bytes";
  }
  EXPECT_EQ(1, std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()));
}
#endif

} // namespace
