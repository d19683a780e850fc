// Hostile hosts at the unit level, where a process is impractical: a host without
// one or another of the entry points the plug-in calls, execute without a successful
// initPlugin, destruction before any binding, and a host that fills the plug-in's
// buffers to their last byte without a terminating NUL. In every case the plug-in
// must not call through a missing entry, not crash, not overrun, and behave as
// documented below.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "common/Capacities.h"
#include "host/HostEntryNames.h"
#include "host/HostEntryTable.h"
#include "plugin/Orbiculon.h"
#include "tests/support/FakeHost.h"

namespace {

namespace fs = std::filesystem;
using orbiculon::HostEntry;
using orbiculon::hostTable;
using orbiculon::testing::FakeHost;
using orbiculon::testing::readFile;
using orbiculon::testing::TempDir;
using orbiculon::testing::writeFile;
using ::testing::Contains;
using ::testing::HasSubstr;
using ::testing::Not;
using ::testing::StartsWith;

const std::string kList = "10 20 30 2 first 255 0 0\n-10,-20,-30,3,second,0,128,255\n";

// A dialog set up for every command: a VOI file, a list, and files for both dialogs.
void setUpDialog(FakeHost& host, const TempDir& dir) {
  host.strings["FileName"] = (dir / "out").string();
  host.strings["Name_of_VOI"] = "Seed";
  host.strings["VOItext"] = kList;
  host.floats["tX"] = 1.0f;
  host.floats["Radius"] = 2.0f;
  host.ints["cR"] = 255;
  host.ints["LoadInCV"] = 1;
  writeFile(dir / "open.txt", kList);
  host.openFilePath = (dir / "open.txt").string();
  host.saveFilePath = (dir / "saved.txt").string();
}

// Runs every command (and one unknown) through execute and returns their results.
std::vector<bool> runEveryCommand(FakeHost& host, Orbiculon& plugin) {
  std::vector<bool> results;
  for (const char* command : {"Start", "CleanUpText", "SaveTextFile", "ReadTextFile", "Nonsense"}) {
    host.strings["Command"] = command;
    results.push_back(plugin.execute());
  }
  host.ints["listVOIinfoFrom"] = 1;
  host.strings["Command"] = "Start";
  results.push_back(plugin.execute());
  return results;
}

// ---------------------------------------------------------------------------------
// A host without one of the 15 entry points the plug-in calls.

struct MissingEntryCase {
  std::string entry;
  bool ready;          // what initPlugin returns
  std::string present; // the start of an event that must appear ("" for none)
  std::string absent;  // the start of events that must not appear ("" for none)
  bool startDeclined;  // the two Start commands return false
};
void PrintTo(const MissingEntryCase& c, std::ostream* out) { *out << c.entry; }

class MissingEntryTest : public ::testing::TestWithParam<MissingEntryCase> {};

TEST_P(MissingEntryTest, EveryCommandRunsWithoutTheEntry) {
  const auto& c = GetParam();
  TempDir dir;
  FakeHost host(false);
  setUpDialog(host, dir);
  if (c.entry == "rzYesNoMessageBox") host.header.IsTalSpace = 0; // the question is needed
  if (c.entry == "rzMessageBox") host.saveFilePath = (dir / "missing" / "saved.txt").string();
  host.bind({c.entry});

  auto plugin = std::make_unique<Orbiculon>();
  EXPECT_EQ(c.ready, plugin->initPlugin());
  // Whatever initPlugin said, the host calls execute anyway.
  const std::vector<bool> results = runEveryCommand(host, *plugin);
  plugin.reset();

  const std::vector<bool> expected = {!c.startDeclined, true, true, true, true, !c.startDeclined};
  EXPECT_EQ(expected, results);
  EXPECT_THAT(host.events, Not(Contains("unexpected call")));
  if (!c.present.empty()) {
    EXPECT_THAT(host.events, Contains(StartsWith(c.present))) << ::testing::PrintToString(host.events);
  }
  if (!c.absent.empty()) {
    EXPECT_THAT(host.events, Not(Contains(StartsWith(c.absent)))) << ::testing::PrintToString(host.events);
  }
}

std::string savedLine(const TempDir& dir) { return "log: Plugin>  Saved: " + (dir / "out.voi").string(); }

INSTANTIATE_TEST_SUITE_P(
    Hostile, MissingEntryTest,
    ::testing::Values(
        // Without the version entry the binding fails and leaves the table empty:
        // nothing at all happens, not even the closing lines.
        MissingEntryCase{"rzGetVersionOfCerevantRZ", false, "", "log: ", false},
        MissingEntryCase{"rzShowLogTab", true, "log: Plugin>  Running Orbiculon Plugin...", "showlog", false},
        MissingEntryCase{"rzLogText", true, "load: ", "log: ", false},
        MissingEntryCase{"rzMessageBox", true, "log: Plugin>  Error while writing *.txt file.",
                         "message: Error saving file", false},
        // No question can be asked: the answer counts as no, so nothing is written.
        MissingEntryCase{"rzYesNoMessageBox", true, "",
                         "log: Plugin>  Added VOI at TAL (1.0, 0.0, 0.0) with 2.0 mm radius", true},
        // The path stays empty: nothing is read, nothing can be saved.
        MissingEntryCase{"rzGetOpenFileName", true,
                         "log: Plugin>  No file was chosen; the list is unchanged.", "", false},
        MissingEntryCase{"rzGetSaveFileName", true, "message: Error saving file", "", false},
        MissingEntryCase{"rzGetDocumentType", false,
                         "message: The currently active document is not a VMR document.", "", false},
        MissingEntryCase{"rzGetIDOfCurrentDocument", false, "message: No current document available.", "",
                         false},
        // The header stays zero: no space is indicated, so the user is asked.
        MissingEntryCase{"rzGetMainHeaderOfCurrentVMR", true,
                         "question: VMR properties don't indicate TAL space. Do you want to continue?", "",
                         false},
        MissingEntryCase{"rzLoadVOIs", true,
                         "log: Plugin>  Added VOI at TAL (1.0, 0.0, 0.0) with 2.0 mm radius",
                         "load: ", false},
        // Every text parameter reads as empty: the command is unknown.
        MissingEntryCase{"rzGetStringParameter", true, "log: Plugin>  Received unknown command: \"\".", "",
                         false},
        // Every integer reads as 0: TAL, the dialog as source, no load.
        MissingEntryCase{"rzGetIntParameter", true, "log: Plugin>  Reading Parameters from GUI dialog",
                         "log: Plugin>  Reading Parameters from Text Box", false},
        MissingEntryCase{"rzGetFloatParameter", true,
                         "log: Plugin>  Added VOI at TAL (0.0, 0.0, 0.0) with 0.0 mm radius", "", false},
        MissingEntryCase{"rzSetStringParameter", true, "log: Plugin>  2 valid lines left after cleaning",
                         "set ", false}),
    [](const ::testing::TestParamInfo<MissingEntryCase>& testCase) { return testCase.param.entry; });

// The Saved line and the load request come with the file itself.
TEST(MissingEntryFileTest, WithoutTheLogTheFileIsStillWrittenAndLoaded) {
  TempDir dir;
  FakeHost host(false);
  setUpDialog(host, dir);
  host.bind({"rzLogText"});
  Orbiculon plugin;
  ASSERT_TRUE(plugin.initPlugin());
  host.strings["Command"] = "Start";
  EXPECT_TRUE(plugin.execute());
  EXPECT_TRUE(fs::is_regular_file(dir / "out.voi"));
  EXPECT_THAT(host.events, Contains("load: " + (dir / "out.voi").string()));
  EXPECT_THAT(host.events, Not(Contains(savedLine(dir))));
}

// ---------------------------------------------------------------------------------
// execute and destruction outside the documented order.

TEST(CallOrderTest, ExecuteBeforeAnyBindingDoesNothing) {
  TempDir dir;
  FakeHost host(false);
  setUpDialog(host, dir);
  auto plugin = std::make_unique<Orbiculon>();
  EXPECT_EQ(std::vector<bool>(6, true), runEveryCommand(host, *plugin));
  plugin.reset();
  EXPECT_TRUE(host.events.empty()) << ::testing::PrintToString(host.events);
  EXPECT_TRUE(host.reads.empty());
  EXPECT_FALSE(fs::exists(dir / "out.voi"));
}

TEST(CallOrderTest, DestroyingBeforeAnyBindingWritesNothing) {
  FakeHost host(false);
  { Orbiculon plugin; }
  delete new Orbiculon();
  EXPECT_TRUE(host.events.empty());
}

TEST(CallOrderTest, ExecuteAfterInitFoundNoHostDoesNothing) {
  TempDir dir;
  FakeHost host(false);
  setUpDialog(host, dir);
  host.loadedModules.clear();
  Orbiculon plugin;
  EXPECT_FALSE(plugin.initPlugin());
  EXPECT_EQ(std::vector<bool>(6, true), runEveryCommand(host, plugin));
  EXPECT_TRUE(host.events.empty()) << ::testing::PrintToString(host.events);
}

// A refusal after a successful binding leaves the table bound: a host that calls
// execute anyway gets the command run, on the document that is current then.
TEST(CallOrderTest, ExecuteAfterRefusedInitRunsTheCommand) {
  TempDir dir;
  FakeHost host(false);
  setUpDialog(host, dir);
  host.minor = 1;
  Orbiculon plugin;
  EXPECT_FALSE(plugin.initPlugin());
  host.strings["Command"] = "Start";
  EXPECT_TRUE(plugin.execute());
  EXPECT_THAT(host.events, Contains(savedLine(dir)));
  EXPECT_EQ(0, plugin.documentID);
}

// Two objects, one table: destroying one leaves the other working.
TEST(CallOrderTest, SecondObjectKeepsWorkingAfterTheFirstIsDestroyed) {
  TempDir dir;
  FakeHost host;
  setUpDialog(host, dir);
  auto first = std::make_unique<Orbiculon>();
  Orbiculon second;
  ASSERT_TRUE(first->initPlugin());
  first.reset();
  host.strings["Command"] = "Start";
  EXPECT_TRUE(second.execute());
  EXPECT_THAT(host.events, Contains(savedLine(dir)));
}

// ---------------------------------------------------------------------------------
// A host that honours every capacity but fills the buffers to their last byte and
// leaves out the NUL. The plug-in must read each text within its capacity.

// "Command" is `command` when set (so that a command can be chosen at all), every
// other text parameter and both file dialogs are rogue.
struct Rogue {
  static inline std::array<HostEntry, orbiculon::kHostEntryCount> previous{};
  static inline const char* command = nullptr;
};

extern "C" void rogueGetString(const char* name, char* buffer) {
  if (Rogue::command != nullptr && std::string_view(name) == "Command") {
    std::memcpy(buffer, Rogue::command, std::strlen(Rogue::command) + 1);
    return;
  }
  std::memset(buffer, 'A', orbiculon::stringParameterCapacity(name));
}
extern "C" void rogueGetPath(const char*, const char*, const char*, char* buffer) {
  std::memset(buffer, 'A', orbiculon::kFilePathCapacity);
}

// Rebinds the table: the rogue entries, and what the fake host bound for the rest.
class RogueLookup final : public orbiculon::HostLookup {
public:
  RogueLookup() {
    for (std::size_t i = 0; i < orbiculon::kHostEntryCount; ++i)
      Rogue::previous[i] = hostTable().entry(i);
  }
  bool findModule(const char*) override { return true; }
  HostEntry resolve(const char* name) override {
    const std::string_view n(name);
    if (n == "rzGetStringParameter") return reinterpret_cast<HostEntry>(&rogueGetString);
    if (n == "rzGetOpenFileName" || n == "rzGetSaveFileName")
      return reinterpret_cast<HostEntry>(&rogueGetPath);
    return Rogue::previous[orbiculon::hostEntryIndex(n)];
  }
};

class RogueHostTest : public ::testing::Test {
protected:
  RogueHostTest() {
    RogueLookup rogue;
    orbiculon::bindHostEntryPoints(rogue);
  }
  ~RogueHostTest() override { Rogue::command = nullptr; }

  // Runs `command` (null: the rogue "Command") and returns the log lines.
  std::vector<std::string> run(const char* command) {
    Rogue::command = command;
    host.events.clear();
    EXPECT_TRUE(plugin.execute());
    return host.logLines();
  }

  FakeHost host; // its destructor clears the table
  Orbiculon plugin;
};

TEST_F(RogueHostTest, CommandIsReadWithin255Characters) {
  const auto lines = run(nullptr);
  ASSERT_EQ(1u, lines.size());
  EXPECT_EQ("Plugin>  Received unknown command: \"" + std::string(255, 'A') + "\".", lines[0]);
}

TEST_F(RogueHostTest, FileNameOf511CharactersLeavesNoRoomForTheSuffix) {
  EXPECT_THAT(run("Start"), Contains("Error while writing VOI file"));
}

TEST_F(RogueHostTest, ListOf99999CharactersCleansToNothing) {
  EXPECT_THAT(run("CleanUpText"), Contains("Plugin>  0 valid lines left after cleaning"));
  EXPECT_THAT(host.events, Contains("set VOItext: "));
}

// A path of 511 A's is too long for the file system: nothing is read or written.
TEST_F(RogueHostTest, DialogPathsAreReadWithin511Characters) {
  const std::string path(orbiculon::kFilePathCapacity - 1, 'A');
  // The path gives way in its middle, so that the reason survives. (Windows finds no
  // such file rather than a name too long.)
#ifdef _WIN32
  const std::string reason = "A: No such file or directory";
#else
  const std::string reason = "A: File name too long";
#endif
  EXPECT_THAT(run("ReadTextFile"),
              Contains(::testing::AllOf(StartsWith("Plugin>  The list is unchanged: AAA"),
                                        ::testing::HasSubstr("A.../A"), ::testing::EndsWith(reason))));
  EXPECT_THAT(run("SaveTextFile"), Contains("Plugin>  Error while writing *.txt file."));
  EXPECT_THAT(host.events, Contains("message: Error saving file"));
}

// ---------------------------------------------------------------------------------
// A list whose cleaned form outgrows the list text: the lines that fit are kept and
// the log says how many valid lines were left out, for both commands that clean.

class ListOverflowTest : public ::testing::Test {
protected:
  ListOverflowTest() {
    setUpDialog(host, dir);
    std::string list;
    for (int i = 0; i < kLines; ++i)
      list += "1 2 3 0.5 n 1 2 3\n";
    host.strings["VOItext"] = list;
    host.ints["listVOIinfoFrom"] = 1;
  }
  std::vector<std::string> run(const char* command) {
    host.strings["Command"] = command;
    host.events.clear();
    EXPECT_TRUE(plugin.execute());
    return host.logLines();
  }
  static constexpr int kLines = 1320; // 1315 cleaned lines fit
  TempDir dir;
  FakeHost host;
  Orbiculon plugin;
  const std::string leftOut = "Plugin>  The cleaned list is full: 5 more valid lines were left out";
};

TEST_F(ListOverflowTest, CleanUpTextReportsTheLinesLeftOut) {
  EXPECT_EQ((std::vector<std::string>{leftOut, "Plugin>  1315 valid lines left after cleaning"}),
            run("CleanUpText"));
}

TEST_F(ListOverflowTest, StartReportsTheLinesLeftOutBeforeBuildingTheRest) {
  const auto lines = run("Start");
  const auto found = std::find(lines.begin(), lines.end(), leftOut);
  ASSERT_NE(lines.end(), found) << ::testing::PrintToString(lines);
  EXPECT_EQ(1315, std::count_if(found, lines.end(), [](const std::string& line) {
              return line.rfind("Plugin>  Added VOI at TAL (", 0) == 0;
            }));
}

// ---------------------------------------------------------------------------------
// Header values no VMR has: resolutions that are not finite or beyond the integer
// range saturate instead of being undefined.

struct ResolutionCase {
  std::string name;
  float resolution;
  std::int32_t written;
};
void PrintTo(const ResolutionCase& c, std::ostream* out) { *out << c.name; }

class HeaderResolutionTest : public ::testing::TestWithParam<ResolutionCase> {};

TEST_P(HeaderResolutionTest, IsWrittenAsAnInteger) {
  TempDir dir;
  FakeHost host;
  setUpDialog(host, dir);
  host.header.ResolutionX = GetParam().resolution;
  Orbiculon plugin;
  ASSERT_TRUE(plugin.initPlugin());
  host.strings["Command"] = "Start";
  EXPECT_TRUE(plugin.execute());
  const std::string voi = readFile(dir / "out.voi");
  EXPECT_THAT(voi, HasSubstr("OriginalVMRResolutionX:     " + std::to_string(GetParam().written) + "\r\n"));
}

INSTANTIATE_TEST_SUITE_P(
    Hostile, HeaderResolutionTest,
    ::testing::Values(ResolutionCase{"NaN", std::numeric_limits<float>::quiet_NaN(), 0},
                      ResolutionCase{"Infinity", std::numeric_limits<float>::infinity(), INT32_MAX},
                      ResolutionCase{"MinusInfinity", -std::numeric_limits<float>::infinity(), INT32_MIN},
                      ResolutionCase{"AboveIntRange", 3e9f, INT32_MAX},
                      ResolutionCase{"BelowIntRange", -3e9f, INT32_MIN},
                      ResolutionCase{"LargestBelowRange", 2147483520.0f, 2147483520},
                      ResolutionCase{"Denormal", 1e-45f, 0}),
    [](const ::testing::TestParamInfo<ResolutionCase>& testCase) { return testCase.param.name; });

} // namespace
