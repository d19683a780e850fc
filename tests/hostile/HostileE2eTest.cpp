// Hostile input end to end: the built module in the stand-in host process, fed texts
// at and around every capacity, malformed and extreme values, and output paths that
// cannot be written. Every run must end normally with its exit code, without a
// sanitizer or memcheck report (the suite also runs under the sanitizer build and
// under valgrind), with the chosen result and a log line wherever something was
// refused.
//
// Not run: a dialog radius of 554 mm. It is the largest valid sphere (712 million
// voxels): building it takes about 8.5 GB of memory and writes a file of about 10 GB,
// which no test machine should have to do. Radius 555, the first refused one, is run
// instead; the limit itself is tested on the voxel count in the unit tests.
#include <gtest/gtest.h>

#include <sys/stat.h>
#ifndef _WIN32
#include <unistd.h>
#endif

#include <filesystem>
#include <string>
#include <vector>

#include "common/Capacities.h"
#include "tests/e2e/BuiltPrograms.h"
#include "tests/e2e/ProcessRunner.h"
#include "tests/support/FakeHost.h"
#include "tests/support/Lines.h"

namespace {

namespace fs = std::filesystem;
using namespace orbiculon::testing;
using ::testing::Contains;
using ::testing::EndsWith;
using ::testing::HasSubstr;
using ::testing::Not;
using ::testing::StartsWith;
using namespace std::string_literals;

using orbiculon::kCommandCapacity;
constexpr std::size_t kPathCapacity = orbiculon::kFilePathCapacity;
constexpr std::size_t kNameCapacity = orbiculon::kVoiNameCapacity; // a VOI's own copy of its name
constexpr std::size_t kListCapacity = orbiculon::kCoordinateListCapacity;
constexpr std::size_t kLogLineLength = orbiculon::kLogLineCapacity - 1;
// The longest "FileName" whose path with ".voi" still fits the path text.
constexpr std::size_t kLongestFileName = kPathCapacity - 1 - 4;
// Cleaned lines of 75 characters and their line feeds that fit the list text.
constexpr int kCleanedLinesThatFit = 1315;

const std::string kVoiWriteError = "Error while writing VOI file";
const std::string kTextWriteError = "Plugin>  Error while writing *.txt file.";
const std::string kTextReadError = "Plugin>  Error while reading *.txt file.";

struct HostRun {
  ProcessResult process;
  std::vector<std::string> log; // the host's log: its standard output, line by line
};

// The stand-in host's dialog with `options` (parameters first, commands last).
HostRun runDialog(const std::vector<std::string>& options) {
  std::vector<std::string> argv = {built::kHost, "dialog", "--plugin", built::kModule};
  argv.insert(argv.end(), options.begin(), options.end());
  HostRun run{runProcess(argv), {}};
  run.log = splitLines(run.process.out);
  return run;
}

// The process ended by itself with `exitCode`, and nothing checked its memory and
// complained.
void expectSurvived(const HostRun& run, int exitCode = 0) {
  ASSERT_EQ("", run.process.failure) << run.process.err;
  EXPECT_EQ(exitCode, run.process.exitCode) << run.process.err;
  for (const char* report : {"Sanitizer", "runtime error", "Invalid read", "Invalid write", "uninitialised"})
    EXPECT_THAT(run.process.err, Not(HasSubstr(report)));
}

// "Start" for one VOI from the dialog, answered yes, loaded back by the host (which
// fails the run if the file does not read as a VOI file).
std::vector<std::string> startOptions(const std::string& fileName, std::vector<std::string> more = {}) {
  std::vector<std::string> options = {
      "--answer",   "yes",     "--text",  "FileName=" + fileName, "--text", "Name_of_VOI=Seed", "--int",
      "LoadInCV=1", "--float", "Radius=2"};
  options.insert(options.end(), more.begin(), more.end());
  options.push_back("Start");
  return options;
}

std::vector<std::string> fileLines(const fs::path& path) { return splitLines(readFile(path)); }

// Coordinate list text of `count` valid short lines.
std::string shortLines(int count, const std::string& line = "1 2 3 0.5 n 1 2 3") {
  std::string text;
  for (int i = 0; i < count; ++i)
    text += line + "\n";
  return text;
}

// ---------------------------------------------------------------------------------
// Spheres from the dialog: radii and centres the enumeration cannot or must not build.

struct SphereCase {
  std::string name;
  std::string x;
  std::string radius;
  int voxels;
  std::string refusal; // the reason in the log line, "" when nothing is refused
};
void PrintTo(const SphereCase& c, std::ostream* out) { *out << c.name; }

class DialogSphereTest : public ::testing::TestWithParam<SphereCase> {};

TEST_P(DialogSphereTest, WritesTheVoiAndLogsARefusal) {
  const auto& c = GetParam();
  TempDir dir;
  const HostRun run = runDialog(
      startOptions((dir / "out").string(), {"--float", "tX=" + c.x, "--float", "Radius=" + c.radius}));
  expectSurvived(run);
  EXPECT_THAT(run.log, Contains("Plugin>  Saved: " + (dir / "out.voi").string())) << run.process.out;
  EXPECT_THAT(run.log, Contains(StartsWith("Host>  Loaded " + (dir / "out.voi").string())))
      << run.process.out;
  const auto voi = fileLines(dir / "out.voi");
  EXPECT_THAT(voi, Contains("NrOfVoxels: " + std::to_string(c.voxels))) << readFile(dir / "out.voi");
  const std::string refusal = "Plugin>  VOI 1 (\"Seed\") was written without voxels: " + c.refusal + ".";
  EXPECT_THAT(run.log, containsIf(!c.refusal.empty(), refusal)) << run.process.out;
  if (c.refusal.empty()) {
    EXPECT_THAT(run.log, Not(Contains(StartsWith("Plugin>  VOI 1 (")))) << run.process.out;
  }
}

const std::string kNotFinite = "its centre or radius is not a finite number";
const std::string kBeyondRange = "it reaches beyond the 32-bit coordinate range";
const std::string kTooLarge = "it holds more voxels than a VOI can store";

INSTANTIATE_TEST_SUITE_P(
    Hostile, DialogSphereTest,
    ::testing::Values(SphereCase{"RadiusZero", "0", "0", 1, ""},
                      // An empty sphere is the result the enumeration defines, not a refusal.
                      SphereCase{"RadiusNegative", "0", "-5", 0, ""},
                      SphereCase{"Radius555", "0", "555", 0, kTooLarge},
                      SphereCase{"Radius1e30", "0", "1e30", 0, kBeyondRange},
                      SphereCase{"RadiusNaN", "0", "nan", 0, kNotFinite},
                      SphereCase{"RadiusInfinity", "0", "inf", 0, kNotFinite},
                      SphereCase{"RadiusMinusInfinity", "0", "-inf", 0, kNotFinite},
                      SphereCase{"CentreNaN", "nan", "2", 0, kNotFinite},
                      // 2^31 - 128, the largest float below 2^31: x - 1 and x + 1 round back to
                      // it, so the sphere is one x slice of 5 voxels.
                      SphereCase{"CentreBelowUpperEdge", "2147483520", "1", 5, ""},
                      SphereCase{"CentreAtUpperEdge", "2147483648", "1", 0, kBeyondRange},
                      SphereCase{"CentreAtLowerEdge", "-2147483648", "1", 5, ""},
                      SphereCase{"CentreBelowLowerEdge", "-2147483904", "1", 0, kBeyondRange}),
    [](const ::testing::TestParamInfo<SphereCase>& testCase) { return testCase.param.name; });

TEST(DialogSphereEdgeTest, WritesPositionsAtTheLowerEdgeInFull) {
  TempDir dir;
  const HostRun run =
      runDialog(startOptions((dir / "out").string(), {"--float", "tX=-2147483648", "--float", "Radius=0"}));
  expectSurvived(run);
  EXPECT_THAT(fileLines(dir / "out.voi"), Contains("-2147483648 0 0")) << readFile(dir / "out.voi");
}

// ---------------------------------------------------------------------------------
// "FileName" around the length at which the path with ".voi" no longer fits.

class FileNameLengthTest : public ::testing::TestWithParam<std::size_t> {};

TEST_P(FileNameLengthTest, SavesWhenThePathFitsAndReportsOtherwise) {
  const std::size_t length = GetParam();
  TempDir dir;
  // Two long folders keep every component within the 255 characters a file system
  // allows, so only the path capacity decides.
  const fs::path folder = dir / std::string(200, 'd') / std::string(200, 'e');
  fs::create_directories(folder);
  const std::string prefix = folder.string() + "/";
  ASSERT_LT(prefix.size() + 1, length);
  const std::string fileName = prefix + std::string(length - prefix.size(), 'f');

  const HostRun run = runDialog(startOptions(fileName));
  expectSurvived(run, length <= kLongestFileName ? 0 : 1);
  const std::string received = fileName.substr(0, kPathCapacity - 1);
  const std::string path = received + ".voi";
  if (length <= kLongestFileName) {
    // The log line is cut to the log text; the file has its whole name.
    EXPECT_THAT(run.log, Contains(("Plugin>  Saved: " + path).substr(0, kLogLineLength))) << run.process.out;
    EXPECT_TRUE(fs::is_regular_file(path));
    EXPECT_THAT(run.log, Not(Contains(kVoiWriteError)));
  } else {
    EXPECT_THAT(run.log, Contains(kVoiWriteError)) << run.process.out;
    EXPECT_THAT(run.log, Not(Contains(StartsWith("Plugin>  Saved: ")))) << run.process.out;
    // The reason survives whole; the path gives way in its middle.
    EXPECT_THAT(run.log, Contains(::testing::AllOf(StartsWith("Plugin>  " + dir.path().string()),
                                                   HasSubstr(".../"), EndsWith("ff: File name too long"))))
        << run.process.out;
#ifndef _WIN32
    // (Not on Windows: a folder path past MAX_PATH cannot be examined there.)
    EXPECT_TRUE(fs::is_empty(folder)) << "a file was written";
#endif
  }
}

// 512 and more: the host passes the first 511 characters.
INSTANTIATE_TEST_SUITE_P(Hostile, FileNameLengthTest,
                         ::testing::Values(kLongestFileName - 1, kLongestFileName, kLongestFileName + 1,
                                           kPathCapacity - 1, kPathCapacity, std::size_t{1000}),
                         [](const ::testing::TestParamInfo<std::size_t>& testCase) {
                           return "Length" + std::to_string(testCase.param);
                         });

// ---------------------------------------------------------------------------------
// Names of 255, 256 and 1000 characters, from the dialog and from the list.

class NameLengthTest : public ::testing::TestWithParam<std::size_t> {};

TEST_P(NameLengthTest, DialogNameIsCutTo255InTheVoi) {
  const std::string name(GetParam(), 'N');
  TempDir dir;
  const HostRun run = runDialog(startOptions((dir / "out").string(), {"--text", "Name_of_VOI=" + name}));
  expectSurvived(run);
  EXPECT_THAT(fileLines(dir / "out.voi"), Contains("NameOfVOI:  " + name.substr(0, kNameCapacity - 1)));
}

TEST_P(NameLengthTest, ListNameIsCutTo255WhenCleanedAndBuilt) {
  const std::string name(GetParam(), 'N');
  TempDir dir;
  writeFile(dir / "list.txt", "10 20 30 2 " + name + " 255 0 0\n");
  const HostRun run =
      runDialog({"--answer", "yes", "--text-file", "VOItext=" + (dir / "list.txt").string(), "--int",
                 "listVOIinfoFrom=1", "--text", "FileName=" + (dir / "out").string(), "--int", "LoadInCV=1",
                 "--save", "VOItext=" + (dir / "clean.txt").string(), "CleanUpText", "Start"});
  expectSurvived(run);
  EXPECT_THAT(run.log, Contains("Plugin>  1 valid lines left after cleaning")) << run.process.out;
  const std::string cut = name.substr(0, kNameCapacity - 1);
  EXPECT_EQ("   10.0    20.0    30.0     2.0 " + cut + "     255    0    0", readFile(dir / "clean.txt"));
  EXPECT_THAT(fileLines(dir / "out.voi"), Contains("NameOfVOI:  " + cut));
}

INSTANTIATE_TEST_SUITE_P(Hostile, NameLengthTest,
                         ::testing::Values(std::size_t{255}, std::size_t{256}, std::size_t{1000}),
                         [](const ::testing::TestParamInfo<std::size_t>& testCase) {
                           return "Length" + std::to_string(testCase.param);
                         });

// ---------------------------------------------------------------------------------
// "Command" at its capacity.

class CommandLengthTest : public ::testing::TestWithParam<std::size_t> {};

TEST_P(CommandLengthTest, UnknownCommandIsLoggedAsReceived) {
  const std::string command(GetParam(), 'C');
  const HostRun run = runDialog({command});
  // The plug-in logs it and goes on, as the host expects; the batch run fails.
  expectSurvived(run, 1);
  EXPECT_THAT(run.log, Contains("Plugin>  Received unknown command: \"" +
                                command.substr(0, kCommandCapacity - 1) + "\"."))
      << run.process.out;
}

INSTANTIATE_TEST_SUITE_P(Hostile, CommandLengthTest,
                         ::testing::Values(kCommandCapacity - 1, kCommandCapacity, std::size_t{1000}),
                         [](const ::testing::TestParamInfo<std::size_t>& testCase) {
                           return "Length" + std::to_string(testCase.param);
                         });

// ---------------------------------------------------------------------------------
// Text files at the list capacity: the joined lines and their NUL must fit.

struct TextFileCase {
  std::string name;
  std::string content;
  int lines; // -1: no line is taken and the list stays as it was
  std::string allText;
  bool readError;
};
void PrintTo(const TextFileCase& c, std::ostream* out) { *out << c.name; }

class TextFileCapacityTest : public ::testing::TestWithParam<TextFileCase> {};

TEST_P(TextFileCapacityTest, ReadsWhatFitsAndReportsTheRest) {
  const auto& c = GetParam();
  TempDir dir;
  const std::string list = (dir / "list.txt").string();
  writeFile(list, c.content);
  // After a read error the run fails, and --save saves nothing: AllText is shown.
  const HostRun run =
      runDialog({"--text", "VOItext=mine", "--open-path", list, "--save",
                 "AllText=" + (dir / "all.txt").string(), "--show", "AllText", "ReadTextFile"});
  expectSurvived(run, c.readError ? 1 : 0);
  EXPECT_THAT(run.log, containsIf(c.readError, kTextReadError)) << run.process.out;
  const std::string allText = c.lines < 0 ? "mine" : c.allText;
  if (c.lines < 0) {
    EXPECT_THAT(run.log, Contains("Plugin>  The list is unchanged: " + list + ": File too large"))
        << run.process.out;
  } else {
    EXPECT_THAT(run.log, Contains("Plugin>  Read " + std::to_string(c.lines) + " lines in " + list))
        << run.process.out;
    const std::string kept = "Plugin>  Kept the first " + std::to_string(c.lines) + " lines (" +
                             std::to_string(c.allText.size()) + " bytes); a list holds at most 99999 bytes.";
    EXPECT_THAT(run.log, containsIf(c.readError, kept)) << run.process.out;
  }
  const std::string shown = allText.back() == '\n' ? allText : allText + "\n";
  EXPECT_THAT(run.process.out, EndsWith("[parameter] AllText:\n" + shown));
  if (!c.readError) {
    EXPECT_TRUE(readFile(dir / "all.txt") == c.allText) << "AllText differs";
  }
}

std::string hundredLines(std::size_t lastLineExtra) {
  std::string text;
  for (int i = 0; i < 100; ++i)
    text += std::string(i == 99 ? 999 + lastLineExtra : 999, 'b') + "\n";
  return text;
}

std::string joinedHundred(int lines) {
  std::string text;
  for (int i = 0; i < lines; ++i)
    text += (i > 0 ? "\n" : "") + std::string(999, 'b');
  return text;
}

INSTANTIATE_TEST_SUITE_P(
    Hostile, TextFileCapacityTest,
    ::testing::Values(
        // One line without LF: 99999 characters and the NUL fill the list text.
        TextFileCase{"OneLine99998", std::string(99998, 'a'), 1, std::string(99998, 'a'), false},
        TextFileCase{"OneLine99999", std::string(99999, 'a'), 1, std::string(99999, 'a'), false},
        TextFileCase{"OneLine100000", std::string(100000, 'a'), -1, "", true},
        TextFileCase{"OneLine100001", std::string(100001, 'a'), -1, "", true},
        // 100 lines joined to exactly 99999 characters; one more character leaves the
        // last line out.
        TextFileCase{"HundredLinesFit", hundredLines(0), 100, joinedHundred(100), false},
        TextFileCase{"LastLineTooLong", hundredLines(1), 99, joinedHundred(99), true},
        // NUL bytes end a line for the list; what follows on that line is dropped.
        TextFileCase{"NulBytes", "1 2 3 4 a 1 2 3\0tail\n\0\r\n5 6 7 8 b 1 2 3"s, 3,
                     "1 2 3 4 a 1 2 3\n\n5 6 7 8 b 1 2 3", false},
        // A NUL keeps the rest of its line out of the list, but the whole line must
        // still fit the list text by itself.
        TextFileCase{"NulThenTailThatFits", "a\0"s + std::string(99997, 'z') + "\nb", 2, "a\nb", false},
        TextFileCase{"NulThenTailTooLong", "a\0"s + std::string(99998, 'z') + "\nb", -1, "", true},
        TextFileCase{"OnlySeparators", shortLines(3, ",;:\"' \t"), 3, ",;:\"' \t\n,;:\"' \t\n,;:\"' \t",
                     false}),
    [](const ::testing::TestParamInfo<TextFileCase>& testCase) { return testCase.param.name; });

// A sparse file of a gibibyte of NUL bytes holds one line that can never fit: reading
// stops at the list capacity instead of reading the whole file (a terabyte would
// keep the host busy for an hour).
TEST(TextFileSizeTest, SparseFileOfNulBytesStopsAtTheListCapacity) {
  TempDir dir;
  const fs::path file = dir / "sparse.txt";
  writeFile(file, "");
  fs::resize_file(file, std::uintmax_t{1} << 30);
  const HostRun run = runDialog({"--open-path", file.string(), "ReadTextFile"});
  expectSurvived(run, 1);
  EXPECT_THAT(run.log, Contains("Plugin>  The list is unchanged: " + file.string() + ": File too large"))
      << run.process.out;
  EXPECT_THAT(run.log, Contains(kTextReadError)) << run.process.out;
}

// ---------------------------------------------------------------------------------
// The coordinate list in the dialog at its capacity, and cleaned text that outgrows it.

struct ListCase {
  std::string name;
  std::string list;
  int valid;       // lines kept by cleaning
  int leftOut = 0; // valid lines left out because the cleaned list is full
};
void PrintTo(const ListCase& c, std::ostream* out) { *out << c.name; }

class ListCapacityTest : public ::testing::TestWithParam<ListCase> {};

// The line that reports valid lines left out for lack of room, and how often it
// was logged.
std::string leftOutLine(int count) {
  return "Plugin>  The cleaned list is full: " + std::to_string(count) + " more valid lines were left out";
}
std::ptrdiff_t leftOutLines(const HostRun& run) {
  return std::count_if(run.log.begin(), run.log.end(), [](const std::string& line) {
    return line.rfind("Plugin>  The cleaned list is full: ", 0) == 0;
  });
}

TEST_P(ListCapacityTest, CleanUpTextKeepsWhatFitsAndSaysWhatWasLeftOut) {
  const auto& c = GetParam();
  TempDir dir;
  writeFile(dir / "list.txt", c.list);
  const HostRun run = runDialog({"--text-file", "VOItext=" + (dir / "list.txt").string(), "--save",
                                 "VOItext=" + (dir / "clean.txt").string(), "CleanUpText"});
  expectSurvived(run);
  EXPECT_THAT(run.log, Contains("Plugin>  " + std::to_string(c.valid) + " valid lines left after cleaning"))
      << run.process.out;
  EXPECT_EQ(c.leftOut > 0 ? 1 : 0, leftOutLines(run)) << run.process.out;
  if (c.leftOut > 0) {
    EXPECT_THAT(run.log, Contains(leftOutLine(c.leftOut))) << run.process.out;
  }
  const std::string cleaned = readFile(dir / "clean.txt");
  EXPECT_LT(cleaned.size(), kListCapacity);
  EXPECT_EQ(static_cast<std::size_t>(c.valid), splitLines(cleaned).size());
}

TEST_P(ListCapacityTest, StartBuildsTheVoisThatFitAndSaysWhatWasLeftOut) {
  const auto& c = GetParam();
  TempDir dir;
  writeFile(dir / "list.txt", c.list);
  const HostRun run = runDialog({"--answer", "yes", "--text-file", "VOItext=" + (dir / "list.txt").string(),
                                 "--int", "listVOIinfoFrom=1", "--text", "FileName=" + (dir / "out").string(),
                                 "--int", "LoadInCV=1", "Start"});
  expectSurvived(run);
  EXPECT_EQ(c.leftOut > 0 ? 1 : 0, leftOutLines(run)) << run.process.out;
  if (c.leftOut > 0) {
    EXPECT_THAT(run.log, Contains(leftOutLine(c.leftOut))) << run.process.out;
  }
  EXPECT_THAT(fileLines(dir / "out.voi"), Contains("NrOfvois:                   " + std::to_string(c.valid)));
}

// One line of `length` characters that is valid only when complete: its last
// character is the last digit of blue.
std::string oneLongLine(std::size_t length) {
  const std::string head = "1 2 3 0.5 ";
  const std::string tail = " 1 2 3";
  return head + std::string(length - head.size() - tail.size(), 'n') + tail;
}

INSTANTIATE_TEST_SUITE_P(
    Hostile, ListCapacityTest,
    ::testing::Values(
        // Cleaned lines take 76 characters each: 1315 fit, the 1316th is left out.
        ListCase{"CleanedLinesBelowCapacity", shortLines(kCleanedLinesThatFit - 1), kCleanedLinesThatFit - 1},
        ListCase{"CleanedLinesAtCapacity", shortLines(kCleanedLinesThatFit), kCleanedLinesThatFit},
        ListCase{"CleanedLinesAboveCapacity", shortLines(kCleanedLinesThatFit + 1), kCleanedLinesThatFit, 1},
        ListCase{"CleanedLinesFarAboveCapacity", shortLines(5000), kCleanedLinesThatFit,
                 5000 - kCleanedLinesThatFit},
        // One line of the whole list text: the host passes 99999 characters, so a
        // line of 100000 loses its last digit and with it the blue field.
        ListCase{"OneLine99998", oneLongLine(99998), 1}, ListCase{"OneLine99999", oneLongLine(99999), 1},
        ListCase{"OneLine100000", oneLongLine(100000), 0}, ListCase{"OneLine100001", oneLongLine(100001), 0},
        ListCase{"OnlySeparators", shortLines(1000, ",;:\"' \t\r"), 0},
        // The dialog's text ends at a NUL: the line after it is not part of the list.
        ListCase{"NulInside",
                 "1 2 3 0.5 a 1 2 3\n\0"
                 "5 6 7 0.5 b 1 2 3\n"s,
                 1}),
    [](const ::testing::TestParamInfo<ListCase>& testCase) { return testCase.param.name; });

// ---------------------------------------------------------------------------------
// Output paths that cannot be written. The tests run as root, so permission bits
// would not stop a write; folders that are missing or are files, and a full device,
// do.

struct OutputCase {
  std::string name;
  // The output path inside the test folder, or an absolute path.
  std::string path;
};
void PrintTo(const OutputCase& c, std::ostream* out) { *out << c.name; }

class OutputPathTest : public ::testing::TestWithParam<OutputCase> {
protected:
  OutputPathTest() {
    writeFile(dir / "afile", "a regular file");
    writeFile(dir / "victim", kVictim);
#ifndef _WIN32
    fs::create_symlink("/dev/full", dir / "full.voi");
    fs::create_symlink("/dev/full", dir / "full.txt");
    // Links to "victim" that another user planted in a sticky, world-writable folder.
    fs::create_directory(dir / "shared");
    for (const char* name : {"foreign.voi", "foreign.txt"}) {
      fs::create_symlink(dir / "victim", dir / "shared" / name);
      if (::geteuid() == 0) static_cast<void>(::lchown((dir / "shared" / name).c_str(), 65534, 65534));
    }
    fs::permissions(dir / "shared", fs::perms(01777));
#endif
  }
  void SetUp() override {
#ifdef _WIN32
    if (GetParam().name.find("DevFull") != std::string::npos) GTEST_SKIP() << "Windows has no /dev/full";
    if (GetParam().name.find("Foreign") != std::string::npos) GTEST_SKIP() << "Windows has no sticky folders";
#else
    if (GetParam().name.find("Foreign") != std::string::npos && ::geteuid() != 0)
      GTEST_SKIP() << "only root can plant a link of another user";
#endif
  }
  void TearDown() override { EXPECT_EQ(kVictim, readFile(dir / "victim")); }
  static constexpr char kVictim[] = "a file of the user who saves";
  std::string path(const std::string& suffix) const {
    const std::string& given = GetParam().path;
    return given.front() == '/' ? given : (dir / (given + suffix)).string();
  }
  // The link to /dev/full that the case writes through, if any.
  fs::path link(const std::string& suffix) const {
    return GetParam().path == "full" ? dir / ("full" + suffix) : fs::path();
  }
  TempDir dir;
};

// Both the link and /dev/full itself must still be there after a failed write.
void expectFullDeviceIntact(const fs::path& link) {
#ifdef _WIN32
  (void)link;
#else
  struct stat device {};
  ASSERT_EQ(0, ::lstat("/dev/full", &device));
  EXPECT_TRUE(S_ISCHR(device.st_mode)) << "/dev/full is no longer a character device";
  if (!link.empty()) {
    EXPECT_TRUE(fs::is_symlink(link)) << link << " was removed or replaced";
    EXPECT_EQ(fs::path("/dev/full"), fs::read_symlink(link));
  }
#endif
}

// "FileName" always gets ".voi" appended, so /dev/full is reached through a link.
class VoiOutputPathTest : public OutputPathTest {};

TEST_P(VoiOutputPathTest, FailureIsReportedAndNothingIsRemoved) {
  const HostRun run = runDialog(startOptions(path("")));
  expectSurvived(run, 1);
  EXPECT_THAT(run.log, Contains(kVoiWriteError)) << run.process.out;
  EXPECT_THAT(run.log, Not(Contains(StartsWith("Plugin>  Saved: ")))) << run.process.out;
  EXPECT_THAT(run.log, Not(Contains(StartsWith("Host>  ")))) << "a file that was not written was loaded";
  expectFullDeviceIntact(link(".voi"));
}

INSTANTIATE_TEST_SUITE_P(Hostile, VoiOutputPathTest,
                         ::testing::Values(OutputCase{"MissingFolder", "missing/out"},
                                           OutputCase{"RegularFileAsFolder", "afile/out"},
                                           OutputCase{"LinkToDevFull", "full"},
                                           OutputCase{"ForeignLinkInStickyFolder", "shared/foreign"}),
                         [](const ::testing::TestParamInfo<OutputCase>& testCase) {
                           return testCase.param.name;
                         });

class TextOutputPathTest : public OutputPathTest {};

TEST_P(TextOutputPathTest, FailureIsReportedAndNothingIsRemoved) {
  const HostRun run =
      runDialog({"--text", "VOItext=1 2 3 4 n 1 2 3", "--save-path", path(".txt"), "SaveTextFile"});
  expectSurvived(run, 1);
  EXPECT_THAT(run.log, Contains(kTextWriteError)) << run.process.out;
  EXPECT_THAT(run.process.err, HasSubstr("[message] Error saving file"));
  expectFullDeviceIntact(link(".txt"));
}

INSTANTIATE_TEST_SUITE_P(Hostile, TextOutputPathTest,
                         ::testing::Values(OutputCase{"MissingFolder", "missing/out"},
                                           OutputCase{"RegularFileAsFolder", "afile/out"},
                                           OutputCase{"LinkToDevFull", "full"},
                                           OutputCase{"DevFull", "/dev/full"},
                                           OutputCase{"ForeignLinkInStickyFolder", "shared/foreign"}),
                         [](const ::testing::TestParamInfo<OutputCase>& testCase) {
                           return testCase.param.name;
                         });

#ifdef __linux__
// ---------------------------------------------------------------------------------
// Signals that end the batch tool in the middle of a save leave no temporary file.

class EndingSignalTest : public ::testing::TestWithParam<const char*> {};

TEST_P(EndingSignalTest, LeavesNoTemporaryFile) {
  TempDir dir;
  // The host starts with default signal actions (a shell ignores SIGINT in its
  // background jobs), and the signal comes once the temporary file is there.
  const std::string script =
      "env --default-signal=INT \"$host\" spheres --centre 0 0 0 --radius 100 --no-load -o \"$dir/out\" "
      ">/dev/null 2>&1 &\n"
      "pid=$!; seen=no\n"
      "while kill -0 $pid 2>/dev/null; do\n"
      "  for f in \"$dir\"/.out.voi.*.tmp; do [ -e \"$f\" ] && seen=yes; done\n"
      "  [ $seen = yes ] && break\n"
      "done\n"
      "kill -$sig $pid 2>/dev/null; wait $pid; echo \"$seen $?\"\n";
  const ProcessResult run =
      runProcess({"/bin/sh", "-c", script},
                 {"host=" + built::kHost, "dir=" + dir.path().string(), "sig="s + GetParam()});
  if (run.out.rfind("no ", 0) == 0) GTEST_SKIP() << "the save ended before the signal could come";
  EXPECT_NE("yes 0\n", run.out) << "the signal did not end the host";
  EXPECT_TRUE(fs::is_empty(dir.path())) << "left behind: " << (*fs::directory_iterator(dir.path())).path();
}

INSTANTIATE_TEST_SUITE_P(Hostile, EndingSignalTest, ::testing::Values("INT", "TERM", "HUP"),
                         [](const ::testing::TestParamInfo<const char*>& testCase) {
                           return std::string(testCase.param);
                         });
#endif

} // namespace
