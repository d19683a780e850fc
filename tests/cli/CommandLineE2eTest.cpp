// The batch command line of the stand-in host, run as a process the way a user runs
// it: exit codes, messages, and the files it writes or must not leave behind.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "export/VoiReader.h"
#include "standin/CommandShortfall.h"
#include "standin/ProgramName.h"
#include "tests/e2e/BuiltPrograms.h"
#include "tests/e2e/ProcessRunner.h"
#include "tests/support/FakeHost.h"
#include "tests/support/Lines.h"

namespace {

namespace fs = std::filesystem;
using orbiculon::testing::platformText;
using orbiculon::testing::ProcessResult;
using orbiculon::testing::readFile;
using orbiculon::testing::splitLines;
using orbiculon::testing::TempDir;
using orbiculon::testing::withLineFeeds;
using orbiculon::testing::writeFile;
using ::testing::Contains;
using ::testing::HasSubstr;
using ::testing::Not;

const fs::path kExamples = ORBICULON_EXAMPLES;

// Runs the host with `arguments`; a first argument "sh" runs the second through the
// shell instead, with $host set, for redirections and pipes.
ProcessResult runHost(std::vector<std::string> arguments) {
  if (!arguments.empty() && arguments[0] == "sh")
    return orbiculon::testing::runProcess({"/bin/sh", "-c", arguments.at(1)},
                                          {"host=" + orbiculon::testing::built::kHost});
  arguments.insert(arguments.begin(), orbiculon::testing::built::kHost);
  return orbiculon::testing::runProcess(arguments);
}

std::set<std::string> filesIn(const fs::path& folder) {
  std::set<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder))
    names.insert(entry.path().filename().string());
  return names;
}

orbiculon::exporting::VoiFileContent readVoi(const fs::path& path) {
  const orbiculon::exporting::VoiReadResult result = orbiculon::exporting::readVoiFile(path);
  EXPECT_TRUE(result.content) << result.error;
  return result.content.value_or(orbiculon::exporting::VoiFileContent{});
}

class CommandLineTest : public ::testing::Test {
protected:
  std::string path(const std::string& name) const { return (dir_ / name).string(); }
  fs::path folder() const { return dir_.path(); }

  TempDir dir_;
};

// --- spheres ---

using SpheresCommandTest = CommandLineTest;

TEST_F(SpheresCommandTest, ListGivesOneVoiPerLineAndLogsTheLoadSummary) {
  const ProcessResult run = runHost({"spheres", (kExamples / "clean_list.txt").string(), "-o", path("dmn")});
  ASSERT_EQ(0, run.exitCode) << run.out << run.err;
  EXPECT_THAT(splitLines(run.out), Contains("Plugin>  Reading Parameters from Text Box"));
  EXPECT_THAT(splitLines(run.out),
              Contains("Plugin>  Added VOI at TAL (-5.0, -49.0, 36.0) with 6.0 mm radius"));
  EXPECT_THAT(splitLines(run.out), Contains("Plugin>  Saved: " + path("dmn.voi")));
  EXPECT_THAT(splitLines(run.out),
              Contains("Host>  Loaded " + path("dmn.voi") +
                       ": 8 VOIs in TAL space, 5760 voxels, 0 voxels shared by more than one VOI"))
      << run.out;
  const auto content = readVoi(path("dmn.voi"));
  ASSERT_EQ(8u, content.vois.size());
  EXPECT_EQ("PCC", content.vois[0].name);
  EXPECT_EQ("lateral_temporal_R", content.vois[7].name);
  EXPECT_EQ("TAL", content.referenceSpace);
}

TEST_F(SpheresCommandTest, OneCentreIsUsedAsGiven) {
  const ProcessResult run = runHost({"spheres", "--centre", "-42", "-58", "22", "--radius", "5", "--name",
                                     "angular gyrus", "--colour", "0", "128", "300", "-o", path("one")});
  ASSERT_EQ(0, run.exitCode) << run.out << run.err;
  EXPECT_THAT(splitLines(run.out), Contains("Plugin>  Reading Parameters from GUI dialog"));
  EXPECT_THAT(splitLines(run.out),
              Contains("Plugin>  Added VOI at TAL (-42.0, -58.0, 22.0) with 5.0 mm radius"));
  const auto content = readVoi(path("one.voi"));
  ASSERT_EQ(1u, content.vois.size());
  EXPECT_EQ("angular gyrus", content.vois[0].name);
  EXPECT_EQ((std::array<std::int32_t, 3>{0, 128, 300}), content.vois[0].colour);
  EXPECT_EQ(515u, content.vois[0].voxels.size());
}

TEST_F(SpheresCommandTest, OverlappingSpheresAreCountedInTheSummary) {
  writeFile(path("pair.txt"), "0 0 0 2 a 255 0 0\n1 0 0 2 b 0 0 255\n");
  const ProcessResult run = runHost({"spheres", path("pair.txt"), "-o", path("pair")});
  ASSERT_EQ(0, run.exitCode) << run.out << run.err;
  // Two spheres of 33 voxels, centres 1 mm apart: 20 positions lie in both.
  EXPECT_THAT(splitLines(run.out),
              Contains("Host>  Loaded " + path("pair.voi") +
                       ": 2 VOIs in TAL space, 66 voxels, 20 voxels shared by more than one VOI"))
      << run.out;
}

TEST_F(SpheresCommandTest, MniListWithHeaderGeometryAndNoLoad) {
  const ProcessResult run =
      runHost({"spheres", (kExamples / "spreadsheet_export.csv").string(), "--space", "mni", "-o",
               path("mni.voi"), "--no-load", "--header", "ResolutionX=2.9"});
  ASSERT_EQ(0, run.exitCode) << run.out << run.err;
  EXPECT_THAT(run.out, Not(HasSubstr("Host>  Loaded")));
  EXPECT_THAT(splitLines(run.err),
              Contains("note: 4 of 9 lines of \"" + (kExamples / "spreadsheet_export.csv").string() +
                       "\" are dropped by cleaning; to see why, run: " + standin::kProgramName +
                       " clean --explain --space mni " + (kExamples / "spreadsheet_export.csv").string()))
      << run.err;
  const auto content = readVoi(path("mni.voi"));
  EXPECT_EQ("MNI", content.referenceSpace);
  EXPECT_EQ(2, content.resolution[0]);
  EXPECT_EQ(5u, content.vois.size());
}

TEST_F(SpheresCommandTest, WritesExactlyWhatTheDialogDriverWrites) {
  const std::string list = (kExamples / "tab_separated.tsv").string();
  ASSERT_EQ(0, runHost({"spheres", list, "-o", path("task")}).exitCode);
  const ProcessResult dialog =
      runHost({"dialog", "--text-file", "VOItext=" + list, "--int", "listVOIinfoFrom=1", "--int",
               "LoadInCV=1", "--float", "Radius=5", "--text", "FileName=" + path("driver"), "Start"});
  ASSERT_EQ(0, dialog.exitCode) << dialog.out << dialog.err;
  EXPECT_EQ(readFile(path("driver.voi")), readFile(path("task.voi")));
}

struct OutputName {
  const char* name;
  const char* output;
  const char* written;
};
void PrintTo(const OutputName& value, std::ostream* out) { *out << value.name; }

class SpheresOutputTest : public CommandLineTest, public ::testing::WithParamInterface<OutputName> {};

TEST_P(SpheresOutputTest, SuffixIsOptional) {
  const ProcessResult run =
      runHost({"spheres", "--centre", "0", "0", "0", "--radius", "1", "-o", path(GetParam().output)});
  ASSERT_EQ(0, run.exitCode) << run.out << run.err;
  EXPECT_EQ(std::set<std::string>{GetParam().written}, filesIn(folder()));
}

INSTANTIATE_TEST_SUITE_P(Names, SpheresOutputTest,
                         ::testing::Values(OutputName{"WithoutSuffix", "seed", "seed.voi"},
                                           OutputName{"WithSuffix", "seed.voi", "seed.voi"},
                                           OutputName{"OtherSuffixKept", "seed.txt", "seed.txt.voi"},
                                           OutputName{"UpperCaseSuffixKept", "seed.VOI", "seed.VOI.voi"}),
                         [](const auto& testInfo) { return std::string(testInfo.param.name); });
#if !defined(_WIN32)
// A line break may stand in a POSIX file name, never in a Windows one.
INSTANTIATE_TEST_SUITE_P(PosixNames, SpheresOutputTest,
                         ::testing::Values(OutputName{"LineBreakInName", "a\nb", "a\nb.voi"}),
                         [](const auto& testInfo) { return std::string(testInfo.param.name); });
#endif

#if !defined(_WIN32)
TEST_F(SpheresCommandTest, PictureEscapesNamesShortensTheLegendAndCountsVoxelsOutsideItsFrame) {
  // A name with markup and a Latin-1 byte, and one VOI more than the legend names.
  std::string list = "-30 0 0 2 a<b&\xe9 0 0 255\n";
  for (int line = 1; line <= 40; ++line)
    list += std::to_string(line - 20) + " 10 0 2 v" + std::to_string(line) + " 255 0 0\n";
  writeFile(path("list.txt"), list);
  ProcessResult run =
      runHost({"spheres", path("list.txt"), "-o", path("many"), "--picture", path("many.svg")});
  ASSERT_EQ(0, run.exitCode) << run.err;
  const std::string svg = readFile(path("many.svg"));
  EXPECT_THAT(svg, HasSubstr(">a&lt;b&amp;&#233;</text>"));
  EXPECT_THAT(svg, HasSubstr(">and 1 more</text>"));

  run = runHost({"spheres", "--centre", "200", "0", "0", "--radius", "2", "-o", path("far"), "--picture",
                 path("far.svg")});
  ASSERT_EQ(0, run.exitCode) << run.err;
  EXPECT_NE(
      std::string::npos,
      run.err.find("note: 33 voxels of VOI 1 \"VOI\" lie outside the picture's frame and are not drawn"))
      << run.err;
}
#endif

TEST_F(SpheresCommandTest, ConvertBuildsTheVoisInTheOtherSpaceWithoutAQuestion) {
  const ProcessResult run = runHost(
      {"spheres", (kExamples / "clean_list.txt").string(), "--convert", "icbm-fsl", "-o", path("dmn")});
  ASSERT_EQ(0, run.exitCode) << run.out << run.err;
  EXPECT_THAT(splitLines(run.out),
              Contains("Plugin>  converted from TAL (-5.0, -49.0, 36.0) with tal2icbm (FSL)"))
      << run.out;
  EXPECT_EQ("MNI", readVoi(path("dmn.voi")).referenceSpace);
}

// --- convert ---

TEST_F(CommandLineTest, ConvertPrintsTheCleanedListWithConvertedCentres) {
  const ProcessResult run = runHost({"convert", (kExamples / "spreadsheet_export.csv").string(), "--space",
                                     "mni", "--transform", "icbm-spm"});
  ASSERT_EQ(0, run.exitCode) << run.err;
  EXPECT_EQ(platformText("  -42.2   -59.5    19.5     6.0                 angular_L     255    0    0\n"
                         "   42.9   -64.2    25.9     6.0                 angular_R     255    0    0\n"
                         "  -67.8   -26.5     9.6     5.0           supramarginal_L       0  160  255\n"
                         "  -30.6    18.5     9.1    20.0                  insula_L     255  120    0\n"
                         "   -3.3   -56.4    24.1     8.0                 precuneus     120    0  255\n"),
            run.out);
  writeFile(path("edge.txt"), "69 0 0 5 edge 1 2 3\n0 0 0 5 origin 1 2 3\n");
  const ProcessResult edge = runHost({"convert", path("edge.txt"), "--transform", "icbm-spm"});
  ASSERT_EQ(0, edge.exitCode) << edge.err;
  EXPECT_THAT(splitLines(edge.err),
              Contains("note: 1 of 2 converted centres lie outside the MNI bounds; cleaning the list "
                       "for MNI drops them"))
      << edge.err;
}

// A peak file keeps its space through `clean | convert`: each prints the Reference
// line of the list it prints, which the next run reads.
TEST_F(CommandLineTest, CleanAndConvertCarryThePeakFileSpace) {
  writeFile(path("peaks.txt"), "\xEF\xBB\xBF//reference = mni\n// Lee, 2019\n-42 -58 22\n");
  const ProcessResult cleaned = runHost({"clean", path("peaks.txt")});
  ASSERT_EQ(0, cleaned.exitCode) << cleaned.err;
  EXPECT_EQ(platformText("// Reference=MNI\n  -42.0   -58.0    22.0     5.0               Lee__2019_1     "
                         "255    0    0\n"),
            cleaned.out);
  writeFile(path("cleaned.txt"), cleaned.out);
  const ProcessResult converted = runHost({"convert", path("cleaned.txt"), "--transform", "icbm-spm"});
  ASSERT_EQ(0, converted.exitCode) << converted.err;
  EXPECT_EQ(platformText("// Reference=Talairach\n  -40.3   -57.5    18.0     5.0               "
                         "Lee__2019_1     255    0    0\n"),
            converted.out);
}

// --- clean ---

using CleanCommandTest = CommandLineTest;

class CleanToStandardOutputTest : public CommandLineTest,
                                  public ::testing::WithParamInterface<std::vector<std::string>> {};

TEST_P(CleanToStandardOutputTest, StandardOutputHoldsOnlyTheCleanedList) {
  writeFile(path("list.txt"), "heading\r\n-42,-58,22,5,amygdala_L,255,0,0\r\n");
  std::vector<std::string> arguments{"clean", path("list.txt")};
  arguments.insert(arguments.end(), GetParam().begin(), GetParam().end());
  const ProcessResult run = runHost(arguments);
  ASSERT_EQ(0, run.exitCode) << run.err;
  EXPECT_EQ(platformText("  -42.0   -58.0    22.0     5.0                amygdala_L     255    0    0\n"),
            run.out);
  EXPECT_THAT(splitLines(run.err), Contains("Plugin>  1 valid lines left after cleaning")) << run.err;
  // The host runs in this process's working folder: no file "-" there.
  EXPECT_FALSE(fs::exists("-"));
}

INSTANTIATE_TEST_SUITE_P(Outputs, CleanToStandardOutputTest,
                         ::testing::Values(std::vector<std::string>{},
                                           std::vector<std::string>{"--output", "-"}),
                         [](const auto& testInfo) { return testInfo.param.empty() ? "Default" : "Dash"; });

TEST_F(CleanCommandTest, CrAloneEndsTheLinesOfAListWithoutLineFeeds) {
  writeFile(path("list.txt"), "1 2 3 5 a 1 2 3\r4 5 6 5 b 1 2 3\r");
  const ProcessResult run = runHost({"clean", path("list.txt")});
  ASSERT_EQ(0, run.exitCode) << run.err;
  EXPECT_EQ(2u, splitLines(run.out).size()) << run.out;
  EXPECT_THAT(splitLines(run.err), Contains("note: LIST: \"" + path("list.txt") +
                                            "\" ends its lines with CR alone; each CR is read as a line end"))
      << run.err;
}

TEST_F(CleanCommandTest, ExplainFollowsTheLog) {
  const ProcessResult run =
      runHost({"clean", (kExamples / "paper_table.txt").string(), "--explain", "-o", path("clean.txt")});
  ASSERT_EQ(0, run.exitCode) << run.err;
  const auto lines = splitLines(run.out);
  const std::vector<std::string> explanation{"line 1: dropped: x is not a number: \"Table\"",
                                             "line 2: dropped: the line is blank",
                                             "line 3: dropped: x is not a number: \"x\"",
                                             "line 8: dropped: x is not a number: \"\xE2\x88\x92"
                                             "24\"",
                                             "  hint: the line holds a Unicode minus sign (U+2212, common in "
                                             "tables copied from PDFs), which is not a "
                                             "minus here: replace it with -",
                                             "line 10: dropped: x is not a number: \"Note.\"",
                                             "kept 5 of 10 lines for TAL: 5 dropped, 0 changed"};
  ASSERT_GE(lines.size(), explanation.size());
  EXPECT_EQ(explanation, std::vector<std::string>(
                             lines.end() - static_cast<std::ptrdiff_t>(explanation.size()), lines.end()));
  EXPECT_THAT(splitLines(run.out), Contains("Plugin>  5 valid lines left after cleaning"));
}

// Each bundled example and the cleaned list the plug-in saves for it.
struct Example {
  const char* name;
  const char* file;
  const char* space; // of the cleaned list
  // Options of the first run; without them, --space.
  std::vector<std::string> options = {};
};
void PrintTo(const Example& value, std::ostream* out) { *out << value.name; }

class ExampleListTest : public CommandLineTest, public ::testing::WithParamInterface<Example> {};

TEST_P(ExampleListTest, CleansToTheExpectedList) {
  const fs::path input = kExamples / GetParam().file;
  std::vector<std::string> arguments{"clean", input.string(), "-o", path("out.txt")};
  const std::vector<std::string> options =
      GetParam().options.empty() ? std::vector<std::string>{"--space", GetParam().space} : GetParam().options;
  arguments.insert(arguments.end(), options.begin(), options.end());
  const ProcessResult run = runHost(arguments);
  ASSERT_EQ(0, run.exitCode) << run.out << run.err;
  const std::string expected = readFile(kExamples / "expected" / (input.stem().string() + ".txt"));
  EXPECT_EQ(platformText(expected), readFile(path("out.txt")));
  // Cleaning the cleaned list changes nothing.
  const ProcessResult again = runHost({"clean", path("out.txt"), "--space", GetParam().space});
  ASSERT_EQ(0, again.exitCode) << again.err;
  EXPECT_EQ(platformText(expected + "\n"), again.out);
}

INSTANTIATE_TEST_SUITE_P(
    Examples, ExampleListTest,
    ::testing::Values(
        Example{"PaperTable", "paper_table.txt", "tal"},
        Example{"SpreadsheetExport", "spreadsheet_export.csv", "mni"},
        Example{"TabSeparated", "tab_separated.tsv", "tal"}, Example{"AlreadyClean", "clean_list.txt", "tal"},
        Example{
            "PeakTableCompleted", "peak_table.txt", "tal", {"--complete", "--radius", "6", "--name", "peak"}},
        // Two experiments; the file's Reference line chooses MNI.
        Example{"SleuthFileCompleted",
                "sleuth_two_experiments.txt",
                "mni",
                {"--complete", "--radius", "8", "--colour", "0", "128", "255"}},
        // Tables as papers print them, each peak with the default
        // radius and colour, named after its region.
        Example{"FacesTable", "faces_table.txt", "mni", {"--space", "mni", "--complete", "--radius", "6"}},
        Example{"RecollectionTable", "recollection_table.tsv", "tal", {"--complete", "--radius", "6"}},
        Example{"PeaksWithoutHeading", "peaks_without_heading.txt", "tal", {"--complete", "--radius", "6"}},
        // Its Reference line reads it as a peak file without --complete.
        Example{"SleuthWithoutBlankLines", "sleuth_without_blank_lines.txt", "tal", {"--space", "tal"}}),
    [](const auto& testInfo) { return std::string(testInfo.param.name); });

TEST(ExampleListCleanTest, AlreadyCleanListIsItsOwnCleanedForm) {
  const ProcessResult run = runHost({"clean", (kExamples / "clean_list.txt").string()});
  ASSERT_EQ(0, run.exitCode) << run.err;
  EXPECT_EQ(platformText(readFile(kExamples / "clean_list.txt")), run.out);
}

// --- dialog ---

using DialogCommandTest = CommandLineTest;

TEST_F(DialogCommandTest, RunsCommandsInOrderAndSavesWhatThePluginWroteBack) {
  writeFile(path("list.txt"), "a heading\n1 2 3 4 five 6 7 8\n");
  const ProcessResult run =
      runHost({"dialog", "--open-path", path("list.txt"), "--show", "AllText", "--text-file",
               "VOItext=" + path("list.txt"), "--int", "MNIorTal=1", "--save", "VOItext=" + path("clean.txt"),
               "ReadTextFile", "CleanUpText"});
  ASSERT_EQ(0, run.exitCode) << run.out << run.err;
  const std::vector<std::string> expected{"Plugin>  Read 2 lines in " + path("list.txt"),
                                          "Plugin>  1 valid lines left after cleaning",
                                          "Plugin>  Orbiculon Plugin finished!",
                                          " ",
                                          "[parameter] AllText:",
                                          "a heading",
                                          "1 2 3 4 five 6 7 8"};
  const auto lines = splitLines(run.out);
  ASSERT_GE(lines.size(), expected.size());
  EXPECT_EQ(expected, std::vector<std::string>(lines.end() - static_cast<std::ptrdiff_t>(expected.size()),
                                               lines.end()));
  EXPECT_EQ("    1.0     2.0     3.0     4.0                      five       6    7    8",
            readFile(path("clean.txt")));
}

// The README's example: a list saved with a byte-order mark gives all its VOIs.
TEST_F(DialogCommandTest, TextFileIsReadPastItsByteOrderMark) {
  writeFile(path("list.txt"), "\xEF\xBB\xBF-42 -58 22 5 first 255 0 0\n10 20 30 5 second 0 0 255\n");
  const ProcessResult run = runHost({"dialog", "--text-file", "VOItext=" + path("list.txt"), "--int",
                                     "listVOIinfoFrom=1", "--text", "FileName=" + path("out"), "Start"});
  ASSERT_EQ(0, run.exitCode) << run.out << run.err;
  EXPECT_EQ(2u, readVoi(path("out.voi")).vois.size());
}

#if !defined(_WIN32)
TEST_F(SpheresCommandTest, ClosedOutputFailsTheRunButTheFileIsWritten) {
  writeFile(path("list.txt"), "-42 -58 22 5 amygdala_L 255 0 0\n");
  const ProcessResult run =
      runHost({"sh", "\"$host\" spheres " + path("list.txt") + " -o " + path("out") + " >&-"});
  EXPECT_EQ(1, run.exitCode) << run.err;
  EXPECT_EQ("error: cannot write to standard output: Bad file descriptor\n", run.err);
  EXPECT_EQ(1u, readVoi(path("out.voi")).vois.size());
}

TEST_F(SpheresCommandTest, TargetThatIsNoRegularFileIsNotReadBack) {
  fs::create_symlink("/dev/null", path("null.voi"));
  const ProcessResult run = runHost({"spheres", "--centre", "1", "2", "3", "-o", path("null")});
  ASSERT_EQ(0, run.exitCode) << run.out << run.err;
  EXPECT_THAT(splitLines(run.out),
              Contains("Host>  Loaded " + path("null.voi") + ": not read back, as it is not a regular file"));
}

TEST_F(DialogCommandTest, SaveReplacesTheFileAndKeepsItsModeAndNeighbours) {
  writeFile(path("saved.txt"), "old");
  fs::permissions(path("saved.txt"), fs::perms::owner_read | fs::perms::owner_write);
  writeFile(path("saved.txt.partial"), "not ours");
  const ProcessResult run =
      runHost({"dialog", "--text", "VOItext=new", "--save", "VOItext=" + path("saved.txt")});
  ASSERT_EQ(0, run.exitCode) << run.err;
  EXPECT_EQ("new", readFile(path("saved.txt")));
  EXPECT_EQ(fs::perms::owner_read | fs::perms::owner_write, fs::status(path("saved.txt")).permissions());
  EXPECT_EQ("not ours", readFile(path("saved.txt.partial")));
  EXPECT_EQ((std::set<std::string>{"saved.txt", "saved.txt.partial"}), filesIn(folder()));
}
#endif

TEST_F(DialogCommandTest, InfoPrintsTheIdentification) {
  const ProcessResult run = runHost({"dialog", "--info"});
  ASSERT_EQ(0, run.exitCode) << run.err;
  EXPECT_THAT(run.err, HasSubstr("help HelpFolder/index.html, dialog Orbiculon.js"));
  // The program's version is the plug-in's.
  const ProcessResult version = runHost({"--version"});
  ASSERT_EQ(0, version.exitCode) << version.err;
  const std::string pluginVersion = run.err.substr(0, run.err.find(" - "));
  EXPECT_EQ("[plugin] Orbiculon " + withLineFeeds(version.out).substr(sizeof "orbiculon " - 1),
            pluginVersion + "\n");
}

TEST_F(DialogCommandTest, ParametersStartAtTheDialogsStartValues) {
  const ProcessResult run = runHost({"dialog", "--text", "FileName=" + path("out"), "Start"});
  ASSERT_EQ(0, run.exitCode) << run.out << run.err;
  const auto content = readVoi(path("out.voi"));
  ASSERT_EQ(1u, content.vois.size());
  EXPECT_EQ("VOI", content.vois[0].name);
  EXPECT_EQ((std::array<std::int32_t, 3>{255, 0, 0}), content.vois[0].colour);
  // A radius of 5 mm at 1 mm voxels, as the spheres command makes it.
  const ProcessResult spheres = runHost({"spheres", "--centre", "0", "0", "0", "-o", path("spheres")});
  ASSERT_EQ(0, spheres.exitCode) << spheres.err;
  EXPECT_EQ(readVoi(path("spheres.voi")).vois[0].voxels, content.vois[0].voxels);
}

TEST_F(SpheresCommandTest, QuietKeepsTheLogOffStandardOutputButNotTheFailure) {
  const ProcessResult run = runHost(
      {"spheres", (kExamples / "clean_list.txt").string(), "-o", path("quiet"), "--quiet", "--no-load"});
  ASSERT_EQ(0, run.exitCode) << run.err;
  EXPECT_EQ("", run.out);
  EXPECT_EQ(8u, readVoi(path("quiet.voi")).vois.size());
  const ProcessResult failed = runHost({"spheres", (kExamples / "clean_list.txt").string(), "-o",
                                        path("quiet"), "-q", "--header", "IsTalSpace=0", "--answer", "no"});
  EXPECT_EQ(1, failed.exitCode);
  EXPECT_EQ("", failed.out);
  EXPECT_THAT(failed.err, HasSubstr("returned false"));
}

// --- how the host judges a command that returned true, from its log ---

struct LoggedRun {
  const char* name;
  const char* command;
  std::vector<std::string> logged;
  std::string shortfall; // "" when the command did its part
};
void PrintTo(const LoggedRun& value, std::ostream* out) { *out << value.name; }

class CommandShortfallTest : public ::testing::TestWithParam<LoggedRun> {};

TEST_P(CommandShortfallTest, JudgesTheCommandByItsLog) {
  const standin::CommandFiles files{"out.voi", "saved.txt", "opened.txt"};
  EXPECT_EQ(GetParam().shortfall, standin::commandShortfall(GetParam().command, GetParam().logged, files));
}

INSTANTIATE_TEST_SUITE_P(
    Logs, CommandShortfallTest,
    ::testing::Values(
        LoggedRun{"CleanedList", "CleanUpText", {"Plugin>  2 valid lines left after cleaning"}, ""},
        // Memory ran out while the list was cleaned: the list is kept, yet nothing
        // was cleaned.
        LoggedRun{"CleaningOutOfMemory",
                  "CleanUpText",
                  {"Plugin>  Not enough memory to run the command; nothing was written."},
                  "the plug-in could not finish \"CleanUpText\" (see the log)"},
        LoggedRun{"UnexpectedFailure",
                  "SaveTextFile",
                  {"Plugin>  The command failed unexpectedly; nothing was written."},
                  "the plug-in could not finish \"SaveTextFile\" (see the log)"}),
    [](const auto& testInfo) { return std::string(testInfo.param.name); });

// --- errors: exit code, message, nothing left behind ---

struct Failure {
  const char* name;
  std::vector<std::string> arguments; // "@" stands for the test's folder
  int exitCode;
  std::string message; // expected within standard error, "@" as above
};
void PrintTo(const Failure& value, std::ostream* out) { *out << value.name; }

// A valid TAL file of `count` VOIs without voxels.
std::string manyEmptyVois(int count) {
  std::string text = "\r\nFileVersion:                4\r\n\r\nReferenceSpace:             TAL\r\n\r\n";
  for (const char* key :
       {"OriginalVMRResolutionX:     1", "OriginalVMRResolutionY:     1", "OriginalVMRResolutionZ:     1",
        "OriginalVMROffsetX:         0", "OriginalVMROffsetY:         0", "OriginalVMROffsetZ:         0",
        "OriginalVMRFramingCubeDim:  256"})
    text += std::string(key) + "\r\n";
  text += "\r\nLeftRightConvention:        1\r\n\r\nSubjectVOINamingConvention: <SUBJ>_<VOI>\r\n\r\n\r\n";
  text += "NrOfvois:                   " + std::to_string(count) + "\r\n\r\n";
  for (int i = 0; i < count; ++i)
    text += "NameOfVOI:  v\r\nColorOfVOI: 1 2 3\r\n\r\nNrOfVoxels: 0\r\n\r\n";
  return text + "\r\nNrOfVOIVTCs: 0\r\n";
}

// `text` with each "@" replaced by `folder`.
std::string expandFolder(std::string text, const fs::path& folder) {
  for (std::size_t at = text.find('@'); at != std::string::npos; at = text.find('@', at + 1)) {
    text.replace(at, 1, folder.string());
    at += folder.string().size() - 1;
  }
  return text;
}

// A NIfTI-1 image of 2 x 2 x 2 16-bit voxels whose sform scales x by `xScale`.
std::string niftiImage(float xScale) {
  std::string image(352 + 16, '\0');
  const auto put = [&image](std::size_t at, auto value) {
    std::memcpy(image.data() + at, &value, sizeof value);
  };
  put(0, std::int32_t{348});
  for (std::size_t dim = 0; dim < 8; ++dim)
    put(40 + 2 * dim, static_cast<std::int16_t>(dim == 0 ? 3 : dim < 4 ? 2 : 1));
  put(70, std::int16_t{4}); // 16-bit integers
  put(72, std::int16_t{16});
  put(108, 352.0f);
  put(254, std::int16_t{1}); // sform code
  put(280, xScale);
  put(300, 1.0f);
  put(320, 1.0f);
  image.replace(344, 4, std::string("n+1\0", 4));
  return image;
}

class CommandLineErrorTest : public CommandLineTest, public ::testing::WithParamInterface<Failure> {
protected:
  std::string expand(const std::string& text) const { return expandFolder(text, folder()); }
};

#if defined(ORBICULON_WITH_NIFTI)
// --- NIfTI images, read back with nibabel and compared voxel for voxel ---

struct NiftiRun {
  const char* name;
  std::vector<std::string> arguments; // after the VOI file "@/vois.voi" is made; "@" is the folder
  const char* image;
  const char* mode;   // labels or masks
  const char* report; // expected within standard error
};
void PrintTo(const NiftiRun& value, std::ostream* out) { *out << value.name; }

class NiftiImageTest : public CommandLineTest, public ::testing::WithParamInterface<NiftiRun> {
protected:
  std::string expand(const std::string& text) const { return expandFolder(text, folder()); }
};

TEST_P(NiftiImageTest, ImageHoldsExactlyTheVoxelsOfTheVoiFile) {
  // Three MNI spheres: the first two overlap, the third lies beyond the user grid.
  writeFile(path("peaks.txt"), "-20 10 8 6 caudate_L 255 0 0\n-16 12 8 5 caudate_L2 0 255 0\n"
                               "40 -60 30 4 parietal 0 0 255\n");
  ASSERT_EQ(
      0, runHost({"spheres", path("peaks.txt"), "--space", "mni", "-o", path("vois"), "--no-load"}).exitCode);
  std::vector<std::string> arguments;
  for (const auto& argument : GetParam().arguments)
    arguments.push_back(expand(argument));
  const ProcessResult run = runHost(arguments);
  ASSERT_EQ(0, run.exitCode) << run.out << run.err;
  EXPECT_THAT(run.err, HasSubstr(expand(GetParam().report)));
  const ProcessResult check =
      orbiculon::testing::runProcess({ORBICULON_PYTHON3, ORBICULON_CHECK_NIFTI, path(GetParam().image),
                                      path("vois.voi"), std::string(GetParam().mode)});
  if (check.exitCode == 77) GTEST_SKIP() << check.out;
  EXPECT_EQ(0, check.exitCode) << check.out << check.err;
}

INSTANTIATE_TEST_SUITE_P(
    Grids, NiftiImageTest,
    ::testing::Values(
        NiftiRun{"SpheresDefaultGrid",
                 {"spheres", "@/peaks.txt", "--space", "mni", "-o", "@/again", "--nifti", "@/again.nii.gz"},
                 "again.nii.gz",
                 "labels",
                 "grid voxels lie in more than one VOI; the later VOI's label stands there"},
        NiftiRun{"Tal1mm",
                 {"nifti", "@/vois.voi", "-o", "@/tal.nii", "--grid", "tal-1mm"},
                 "tal.nii",
                 "labels",
                 "on the 256 x 256 x 256 grid tal-1mm"},
        NiftiRun{"Mni2mmMasks",
                 {"nifti", "@/vois.voi", "-o", "@/masks.nii.gz", "--grid", "mni152-2mm", "--masks"},
                 "masks.nii.gz",
                 "masks",
                 "VOI 1 \"caudate_L\" and VOI 2 \"caudate_L2\": "},
        NiftiRun{"Mni1mm",
                 {"nifti", "@/vois.voi", "-o", "@/mni.nii.gz"},
                 "mni.nii.gz",
                 "labels",
                 "on the 182 x 218 x 182 grid mni152-1mm, 1408 grid voxels in a VOI; label table "
                 "@/mni.tsv\nnote: 289 "
                 "grid voxels lie in more than one VOI; the later VOI's label stands there (--masks keeps "
                 "every VOI "
                 "whole):\n  VOI 1 \"caudate_L\" and VOI 2 \"caudate_L2\": 289 voxels"},
        NiftiRun{"UserGridTurned",
                 {"nifti", "@/vois.voi", "-o", "@/user.nii.gz", "--grid", ORBICULON_TEST_GRID, "--masks"},
                 "user.nii.gz",
                 "masks",
                 "VOI voxels lie outside the grid and are not in the image:\n  VOI 3 \"parietal\": "},
        // 1 mm voxels with z running down, ending inside the two overlapping spheres.
        NiftiRun{"UserGridCutAcrossColumns",
                 {"nifti", "@/vois.voi", "-o", "@/cut.nii.gz", "--grid", ORBICULON_TEST_CUT_GRID},
                 "cut.nii.gz",
                 "labels",
                 "917 grid voxels in a VOI; label table @/cut.tsv\nnote: 532 VOI voxels lie outside the grid "
                 "and are not in the image:\n  VOI 1 \"caudate_L\": 196 of 925\n  VOI 2 \"caudate_L2\": 79 "
                 "of 515\n  VOI 3 \"parietal\": 257 of 257\nnote: 248 grid voxels lie in more than one VOI; "
                 "the later "
                 "VOI's label stands there (--masks keeps every VOI whole):\n  VOI 1 \"caudate_L\" and VOI 2 "
                 "\"caudate_L2\": 248 voxels"}),
    [](const auto& testInfo) { return std::string(testInfo.param.name); });
#endif

TEST_P(CommandLineErrorTest, FailsClearlyAndLeavesNothingBehind) {
  writeFile(path("list.txt"), "-42 -58 22 5 amygdala_L 255 0 0\n");
  writeFile(path("nothing_valid.txt"), "Region x y z\nprecuneus 1 2 3\n");
  writeFile(path("binary.txt"), std::string("1 2 3 5 a 0 0 0\n\0\x01\x02", 19));
  writeFile(path("huge.txt"), std::string(100000, ' '));
  writeFile(path("mni_peaks.txt"), "// Reference=MNI\n-42 -58 22\n");
  writeFile(path("cut.voi"), "\r\nFileVersion:                4\r\n");
  writeFile(path("junk.nii"), "not an image\n");
  writeFile(path("far.nii"), niftiImage(1e6f));
  fs::create_directory(path("folder"));
  fs::create_directory(path("taken.voi"));
  writeFile(path("cut.voi"), "\r\nFileVersion:                4\r\n\r\n");
  writeFile(path("many.voi"), manyEmptyVois(129));
  const std::set<std::string> before = filesIn(folder());

  std::vector<std::string> arguments;
  for (const auto& argument : GetParam().arguments)
    arguments.push_back(expand(argument));
  const ProcessResult run = runHost(arguments);
  EXPECT_EQ(GetParam().exitCode, run.exitCode) << run.out << run.err;
  EXPECT_THAT(withLineFeeds(run.err), HasSubstr(expand(GetParam().message)));
  EXPECT_EQ(before, filesIn(folder()));
}

INSTANTIATE_TEST_SUITE_P(
    Runs, CommandLineErrorTest,
    ::testing::Values(
        Failure{"UnknownOption",
                {"spheres", "@/list.txt", "-o", "@/out", "--frobnicate"},
                2,
                "error: unknown option \"--frobnicate\" of spheres\nRun orbiculon spheres --help"},
        // Named before CLI11 would report the option it stands for as missing.
        Failure{"OptionMistyped",
                {"spheres", "@/list.txt", "--ouput", "@/out"},
                2,
                "error: unknown option \"--ouput\" of spheres; did you mean \"--output\"?"},
        Failure{"OptionWithValueMistyped",
                {"clean", "@/list.txt", "--spcae=mni"},
                2,
                "error: unknown option \"--spcae\" of clean; did you mean \"--space\"?"},
        Failure{"SubcommandMistyped",
                {"sphere", "@/list.txt", "-o", "@/out"},
                2,
                "error: unknown subcommand \"sphere\"; did you mean \"spheres\"?\nRun orbiculon --help"},
        Failure{"SubcommandUnknown", {"frobnicate"}, 2, "error: unknown subcommand \"frobnicate\"\n"},
        Failure{"SubcommandForAnOption",
                {"version"},
                2,
                "unknown subcommand \"version\"; did you mean \"--version\"?"},
        Failure{"OutputIsStandardOutput",
                {"spheres", "@/list.txt", "-o", "-"},
                2,
                "error: --output: a VOI file needs a name"},
        Failure{"CentreNotANumber",
                {"spheres", "--centre", "1", "two", "3", "-o", "@/out"},
                2,
                "error: --centre: \"two\" is not a valid number"},
        Failure{
            "UnknownSpace", {"clean", "@/list.txt", "--space", "acpc"}, 2, "--space: acpc not in {tal,mni}"},
        Failure{"SpaceContradictsTheReference",
                {"spheres", "@/mni_peaks.txt", "--space", "tal", "--complete", "-o", "@/out"},
                2,
                "error: --space: tal contradicts \"// Reference=MNI\" in \"@/mni_peaks.txt\""},
        Failure{"RadiusWithoutCentre",
                {"spheres", "@/list.txt", "--radius", "3", "-o", "@/out"},
                2,
                "error: --radius requires --centre"},
        Failure{"ListAndCentre",
                {"spheres", "@/list.txt", "--centre", "1", "2", "3", "-o", "@/out"},
                2,
                "error: LIST excludes --centre"},
        Failure{"NeitherListNorCentre",
                {"spheres", "-o", "@/out"},
                2,
                "error: spheres: give a coordinate list file (LIST) or one centre (--centre X Y Z)"},
        Failure{"NameWithLineBreak",
                {"spheres", "--centre", "1", "2", "3", "--name", "a\nb", "-o", "@/out"},
                2,
                "error: --name: \"a\nb\" holds a line break"},
        Failure{"HeaderFieldUnknown",
                {"spheres", "@/list.txt", "-o", "@/out", "--header", "Resolution=2"},
                2,
                "error: --header: unknown field or bad value in \"Resolution=2\""},
        Failure{"ListMissing",
                {"spheres", "@/missing.txt", "-o", "@/out"},
                2,
                "error: LIST: cannot open \"@/missing.txt\": No such file or directory"},
        Failure{"ListIsAFolder",
                {"clean", "@/folder"},
                2,
                "error: LIST: cannot open \"@/folder\": Is a directory"},
        Failure{"ListIsBinary",
                {"clean", "@/binary.txt"},
                2,
                "error: LIST: \"@/binary.txt\" is not a text file (byte 17 is a NUL byte)"},
        Failure{"ListTooLong",
                {"spheres", "@/huge.txt", "-o", "@/out"},
                2,
                "error: LIST: \"@/huge.txt\" holds more than 99999 bytes (reading stopped at byte 100000, in "
                "line 1); "
                "a coordinate list holds at most 99999"},
        Failure{"ListWithoutValidLine",
                {"spheres", "@/nothing_valid.txt", "-o", "@/out"},
                2,
                "line 2: dropped: x is not a number: \"precuneus\""},
        Failure{"CleanKeepsNoLine",
                {"clean", "@/nothing_valid.txt"},
                1,
                "error: no line of \"@/nothing_valid.txt\" was kept"},
        Failure{"ConvertKeepsNoLine",
                {"convert", "@/nothing_valid.txt", "--transform", "icbm-spm"},
                1,
                "error: no line of \"@/nothing_valid.txt\" was kept"},
        Failure{"SpheresOutputFolderMissing",
                {"spheres", "@/list.txt", "-o", "@/no/such/out"},
                2,
                "error: --output: folder \"@/no/such\" of \"@/no/such/out.voi\" does not exist"},
        Failure{"SpheresOutputIsAFolder",
                {"spheres", "@/list.txt", "-o", "@/taken"},
                2,
                "error: --output: \"@/taken.voi\" is a folder; give a file path"},
        Failure{"CleanOutputFolderMissing",
                {"clean", "@/list.txt", "-o", "@/no/clean.txt"},
                2,
                "error: --output: folder \"@/no\" of \"@/no/clean.txt\" does not exist"},
        Failure{"DialogSaveFolderMissing",
                {"dialog", "--save", "VOItext=@/no/x.txt", "CleanUpText"},
                2,
                "error: --save: folder \"@/no\" of \"@/no/x.txt\" does not exist"},
        Failure{"DialogBadInteger",
                {"dialog", "--int", "cR=red", "Start"},
                2,
                "error: --int: \"red\" is not a valid number"},
        Failure{"DialogTextFileMissing",
                {"dialog", "--text-file", "VOItext=@/missing.txt", "CleanUpText"},
                2,
                "error: --text-file: cannot open \"@/missing.txt\": No such file or directory"},
        Failure{"PluginMissing",
                {"clean", "@/list.txt", "--plugin", "@/NoSuchModule.so"},
                2,
                "error: --plugin: cannot load @/NoSuchModule.so"},
        Failure{"AnsweringNo",
                {"spheres", "@/list.txt", "--space", "mni", "--header", "IsMniSpace=0", "--answer", "no",
                 "-o", "@/out"},
                1,
                "[question] VMR properties don't indicate MNI space. Do you want to continue? -> no\n[host] "
                "command \"Start\" returned false"},
        Failure{"NoTerminalMeansNo",
                {"spheres", "@/list.txt", "--header", "IsTalSpace=0", "-o", "@/out"},
                1,
                "Do you want to continue? -> no"},
        Failure{"DialogAnsweringNoSavesNothing",
                {"dialog", "--text-file", "VOItext=@/list.txt", "--int", "listVOIinfoFrom=1", "--header",
                 "IsTalSpace=0", "--text", "FileName=@/out", "--save", "VOItext=@/saved.txt", "Start"},
                1,
                "command \"Start\" returned false"},
        Failure{"NoDocument",
                {"spheres", "@/list.txt", "--document", "none", "-o", "@/out"},
                1,
                "[message] No current document available."},
        Failure{"SpheresOutputEmpty",
                {"spheres", "@/list.txt", "-o", ""},
                2,
                "error: --output: the path is empty"},
        Failure{"SpheresOutputEndsWithSeparator",
                {"spheres", "@/list.txt", "-o", "@/folder/"},
                2,
                "error: --output: \"@/folder/\" names no file"},
        Failure{
            "CleanOutputEmpty", {"clean", "@/list.txt", "-o", ""}, 2, "error: --output: the path is empty"},
        Failure{"RadiusOutOfRange",
                {"spheres", "--centre", "1", "2", "3", "--radius", "1e39", "-o", "@/out"},
                2,
                "error: --radius: \"1e39\" is out of range"},
        Failure{"DialogFloatOutOfRange",
                {"dialog", "--float", "Radius=1e39", "Start"},
                2,
                "error: --float: \"1e39\" is out of range"},
        Failure{"DialogStartWritesNoFile",
                {"dialog", "--text", "FileName=@/no/out", "--float", "Radius=2", "Start"},
                1,
                "error: the plug-in could not write \"@/no/out.voi\" (see the log)"},
        Failure{"DialogSaveTextFileFails",
                {"dialog", "--text", "VOItext=x", "--save-path", "@/no/x.txt", "SaveTextFile"},
                1,
                "error: the plug-in could not save \"@/no/x.txt\" (see the log)"},
        Failure{"DialogReadTextFileMissing",
                {"dialog", "--open-path", "@/missing.txt", "ReadTextFile"},
                1,
                "error: the plug-in could not read \"@/missing.txt\" (see the log)"},
        Failure{"DialogUnknownCommand",
                {"dialog", "--text", "VOItext=x", "--save", "VOItext=@/saved.txt", "Strat"},
                1,
                "error: the plug-in does not know the command \"Strat\""},
        Failure{"RadiusInfinite",
                {"spheres", "--centre", "1", "2", "3", "--radius", "inf", "-o", "@/out"},
                2,
                "error: --radius: \"inf\" is not a finite number above 0"},
        Failure{"RadiusNaN",
                {"spheres", "--centre", "1", "2", "3", "--radius", "nan", "-o", "@/out"},
                2,
                "error: --radius: \"nan\" is not a finite number above 0"},
        Failure{"RadiusNegative",
                {"spheres", "--centre", "1", "2", "3", "--radius", "-3", "-o", "@/out"},
                2,
                "error: --radius: \"-3\" is not a finite number above 0"},
        Failure{"RadiusZeroForCompletion",
                {"clean", "@/list.txt", "--complete", "--radius", "0"},
                2,
                "error: --radius: \"0\" is not a finite number above 0"},
        Failure{"CentreNaN",
                {"spheres", "--centre", "nan", "2", "3", "-o", "@/out"},
                2,
                "error: --centre: \"nan\" is not a finite number"},
        Failure{"SpheresOutputDot",
                {"spheres", "@/list.txt", "-o", "@/."},
                2,
                "error: --output: \"@/.\" names a folder"},
        Failure{"SpheresOutputDotDot",
                {"spheres", "@/list.txt", "-o", "@/.."},
                2,
                "error: --output: \"@/..\" names a folder"},
        Failure{"DialogSaveParameterNeverSet",
                {"dialog", "--save", "Nothing=@/saved.txt"},
                1,
                "error: --save: parameter \"Nothing\" was never set"},
        Failure{"DialogHostTooOld",
                {"dialog", "--host-version", "2.1.9", "--save", "VOItext=@/saved.txt", "CleanUpText"},
                1,
                "[host] initPlugin returned false"}),
    [](const auto& testInfo) { return std::string(testInfo.param.name); });

#if !defined(ORBICULON_WITH_NIFTI)
INSTANTIATE_TEST_SUITE_P(WithoutNifti, CommandLineErrorTest,
                         ::testing::Values(Failure{"NiftiNotBuilt",
                                                   {"nifti", "@/cut.voi", "-o", "@/cut.nii"},
                                                   2,
                                                   "this build writes no NIfTI"}),
                         [](const auto& testInfo) { return std::string(testInfo.param.name); });
#endif

#if !defined(_WIN32)
// Pictures: nothing is drawn from a VOI file that does not read back, and an underlay
// is read before anything runs.
INSTANTIATE_TEST_SUITE_P(
    Pictures, CommandLineErrorTest,
    ::testing::Values(Failure{"PictureOfACutVoiFile",
                              {"picture", "@/cut.voi", "-o", "@/cut.svg"},
                              1,
                              "error: \"@/cut.voi\" does not read back as a VOI file: line 4: the file ends "
                              "here"},
                      Failure{"UnderlayNotAnImage",
                              {"spheres", "@/list.txt", "-o", "@/out", "--picture", "@/out.svg", "--underlay",
                               "@/junk.nii"},
                              2,
                              "error: --underlay: \"@/junk.nii\" cannot be read as a NIfTI image"},
                      Failure{"UnderlayFarFromTheOrigin",
                              {"picture", "@/cut.voi", "-o", "@/cut.svg", "--underlay", "@/far.nii"},
                              2,
                              "does not place the image within 1000 mm of the origin"},
                      Failure{"UnderlayWithoutPicture",
                              {"spheres", "@/list.txt", "-o", "@/out", "--underlay", "@/junk.nii"},
                              2,
                              "error: --underlay requires --picture"},
                      Failure{"PictureFolderMissing",
                              {"spheres", "@/list.txt", "-o", "@/out", "--picture", "@/no/out.svg"},
                              2,
                              "error: --picture: folder \"@/no\" of \"@/no/out.svg\" does not exist"}),
    [](const auto& testInfo) { return std::string(testInfo.param.name); });
#else
INSTANTIATE_TEST_SUITE_P(Pictures, CommandLineErrorTest,
                         ::testing::Values(Failure{"NoPicturesInThisBuild",
                                                   {"picture", "@/cut.voi", "-o", "@/cut.svg"},
                                                   2,
                                                   "this build draws no pictures"}),
                         [](const auto& testInfo) { return std::string(testInfo.param.name); });
#endif

#if !defined(_WIN32)
// Devices, /proc, and standard streams that the shell redirects or closes.
INSTANTIATE_TEST_SUITE_P(
    PosixRuns, CommandLineErrorTest,
    ::testing::Values(
        Failure{"ListIsADevice",
                {"clean", "/dev/zero"},
                2,
                "error: LIST: \"/dev/zero\" is not a regular file; to read a pipe or a device, give -"},
        Failure{"ListReadError",
                {"clean", "/proc/self/mem"},
                2,
                "error: LIST: cannot read \"/proc/self/mem\" after 0 bytes: Input/output error"},
        Failure{"StandardInputEndless",
                {"sh", "yes | \"$host\" clean -"},
                2,
                "error: LIST: standard input holds more than 99999 bytes (reading stopped at byte 100000, in "
                "line 50000)"},
        Failure{"StandardInputZeros", {"sh", "\"$host\" clean - < /dev/zero"}, 2, "byte 1 is a NUL byte"},
        Failure{"StandardInputClosed",
                {"sh", "\"$host\" clean - <&-"},
                2,
                "error: LIST: cannot read standard input after 0 bytes: Bad file descriptor"},
        Failure{"StandardInputIsAFolder",
                {"sh", "\"$host\" clean - < @"},
                2,
                "error: LIST: cannot read standard input after 0 bytes: Is a directory"},
        Failure{"CleanToFullDevice",
                {"sh", "\"$host\" clean @/list.txt > /dev/full"},
                1,
                "error: cannot write to standard output: No space left on device"},
        Failure{"CleanToClosedOutput",
                {"sh", "\"$host\" clean @/list.txt >&-"},
                1,
                "error: cannot write to standard output: Bad file descriptor"},
        Failure{"DialogShowToFullDevice",
                {"sh", "\"$host\" dialog --text VOItext=x --show VOItext > /dev/full"},
                1,
                "error: cannot write to standard output: No space left on device"},
        Failure{"DialogReadTextFileReadError",
                {"dialog", "--open-path", "/proc/self/mem", "ReadTextFile"},
                1,
                "error: the plug-in could not read \"/proc/self/mem\""},
        Failure{"PluginIsAFifo",
                {"sh", "mkfifo @/fifo.so && \"$host\" clean @/list.txt --plugin @/fifo.so; s=$?; rm "
                       "@/fifo.so; exit $s"},
                2,
                "error: --plugin: cannot load @/fifo.so: Not a regular file"},
        Failure{"DialogSaveFullDevice",
                {"dialog", "--text", "VOItext=x", "--save", "VOItext=/dev/full"},
                1,
                "error: --save: cannot write \"/dev/full\": No space left on device"},
        // A VOI file that does not read back leaves no image and no table behind.
        Failure{"NiftiOfACutVoiFile",
                {"nifti", "@/cut.voi", "-o", "@/cut.nii.gz"},
                1,
                "error: \"@/cut.voi\" does not read back as a VOI file: line 4: the file ends here, but "
                "\"ReferenceSpace:\" was expected; nothing was written"},
        Failure{
            "NiftiMasksOver2GiB",
            {"nifti", "@/many.voi", "-o", "@/many.nii", "--masks"},
            1,
            "error: the image would hold 2.02 GiB uncompressed (256 x 256 x 256 voxels x 129 VOIs, one byte "
            "each), more than the 2 GiB allowed"},
        Failure{"NiftiImageSuffix",
                {"nifti", "@/cut.voi", "-o", "@/cut.img"},
                2,
                "error: --output: \"@/cut.img\" must end in .nii or .nii.gz"},
        Failure{
            "NiftiUnknownGrid",
            {"spheres", "@/list.txt", "-o", "@/out", "--nifti", "@/out.nii", "--grid", "mni305"},
            2,
            "error: --grid: \"mni305\" is neither a grid name (mni152-1mm, mni152-2mm, tal-1mm) nor a .nii "
            "or .nii.gz image"}),
    [](const auto& testInfo) { return std::string(testInfo.param.name); });
#endif

// --- the installed command ---

// The tools installation that `cmake --install --component tools` laid out.
const fs::path kInstallTree = ORBICULON_INSTALL_TREE;
#if defined(_WIN32)
const fs::path kInstalledCommand = "orbiculon.exe";
const fs::path kInstalledHost = fs::path("orbiculon") / "CerevantRZ.exe";
const fs::path kInstalledModule = "Orbiculon.dll";
#else
const fs::path kInstalledCommand = fs::path("bin") / "orbiculon";
const fs::path kInstalledHost = fs::path("lib") / "orbiculon" / "CerevantRZ.exe";
const fs::path kInstalledModule = "Orbiculon.so";
#endif

// The installation in place, or copied elsewhere (the copy is what the test may
// break).
class InstalledCommandTest : public CommandLineTest, public ::testing::WithParamInterface<bool> {
protected:
  void SetUp() override {
    tree_ = kInstallTree;
    if (GetParam()) {
      tree_ = folder() / "moved";
      fs::copy(kInstallTree, tree_, fs::copy_options::recursive);
    }
  }
  // Runs the command from the test's folder: the child starts in this process's
  // working folder, which is the test's while it runs.
  ProcessResult run(const std::vector<std::string>& arguments) const {
    std::vector<std::string> command{(tree_ / kInstalledCommand).string()};
    command.insert(command.end(), arguments.begin(), arguments.end());
    const fs::path previous = fs::current_path();
    fs::current_path(folder());
    ProcessResult result = orbiculon::testing::runProcess(command);
    fs::current_path(previous);
    return result;
  }

  fs::path tree_;
};

TEST_P(InstalledCommandTest, RunsTheToolWithItsArgumentsAndExitCode) {
  const ProcessResult spheres =
      run({"spheres", (kExamples / "clean_list.txt").string(), "-o", "relative", "--quiet"});
  ASSERT_EQ(0, spheres.exitCode) << spheres.out << spheres.err;
  EXPECT_EQ(8u, readVoi(path("relative.voi")).vois.size());

  const ProcessResult version = run({"--version"});
  EXPECT_EQ(0, version.exitCode) << version.err;
  EXPECT_EQ(platformText("orbiculon " ORBICULON_VERSION_TEXT "\n"), version.out);

  const ProcessResult help = run({"--help"});
  EXPECT_THAT(help.out, HasSubstr("Usage: orbiculon [OPTIONS] SUBCOMMAND"));
  EXPECT_THAT(help.out, Not(HasSubstr("CerevantRZ")));

  const ProcessResult typo = run({"sphere"});
  EXPECT_EQ(2, typo.exitCode);
  EXPECT_THAT(typo.err, HasSubstr("did you mean \"spheres\"?"));
}

TEST_P(InstalledCommandTest, MissingFilesAreReportedWithoutRunningAnything) {
  if (!GetParam()) GTEST_SKIP() << "only the moved copy may be broken";
  // Without its module the tool names the installation, not an option never given.
  fs::remove(tree_ / kInstalledHost.parent_path() / kInstalledModule);
  const ProcessResult withoutModule =
      run({"spheres", (kExamples / "clean_list.txt").string(), "-o", "relative"});
  EXPECT_EQ(2, withoutModule.exitCode);
  EXPECT_THAT(withoutModule.err,
              HasSubstr("error: the plug-in module installed with orbiculon is missing or broken"));

  fs::remove(tree_ / kInstalledHost);
  const ProcessResult withoutTool = run({"--version"});
  EXPECT_EQ(2, withoutTool.exitCode);
  EXPECT_EQ("", withoutTool.out);
  EXPECT_THAT(withoutTool.err, HasSubstr("is the installation complete?"));
  EXPECT_EQ(std::set<std::string>{"moved"}, filesIn(folder()));
}

INSTANTIATE_TEST_SUITE_P(Trees, InstalledCommandTest, ::testing::Bool(),
                         [](const auto& testInfo) { return testInfo.param ? "Moved" : "InPlace"; });

#if !defined(_WIN32)
struct Completion {
  const char* name;
  std::vector<std::string> words; // the last one is being completed
  std::string offered;            // COMPREPLY, one per line
};
void PrintTo(const Completion& value, std::ostream* out) { *out << value.name; }

class BashCompletionTest : public ::testing::TestWithParam<Completion> {};

TEST_P(BashCompletionTest, OffersWhatFitsTheWordBeingTyped) {
  std::string words;
  for (const auto& word : GetParam().words)
    words += " '" + word + "'";
  const std::string script = "source \"$1\" && COMP_WORDS=(orbiculon" + words +
                             ") && COMP_CWORD=" + std::to_string(GetParam().words.size()) +
                             " && _orbiculon && printf '%s\\n' \"${COMPREPLY[@]}\"";
  const ProcessResult run = orbiculon::testing::runProcess(
      {"/bin/bash", "-c", script, "bash",
       (kInstallTree / "share" / "bash-completion" / "completions" / "orbiculon").string()});
  ASSERT_EQ(0, run.exitCode) << run.err;
  EXPECT_EQ(GetParam().offered, run.out);
}

INSTANTIATE_TEST_SUITE_P(
    Words, BashCompletionTest,
    ::testing::Values(Completion{"Subcommand", {"sp"}, "spheres\n"},
                      Completion{"TopLevelOption", {"--ver"}, "--version\n"},
                      Completion{"OptionOfTheSubcommand",
                                 {"spheres", "list.txt", "--co"},
                                 "--complete\n--colour\n--color\n--convert\n"},
                      Completion{"OptionOfAnotherSubcommandIsNotOffered", {"convert", "--ex"}, "\n"},
                      Completion{"ValuesOfAChoice", {"clean", "--space", ""}, "tal\nmni\n"},
                      Completion{"FileNamesAreLeftToBash", {"spheres", "exa"}, "\n"}),
    [](const auto& testInfo) { return std::string(testInfo.param.name); });
#endif

} // namespace
