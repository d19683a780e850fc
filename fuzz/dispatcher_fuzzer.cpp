// The plug-in's execute() driven through a recording fake host whose every answer
// comes from the fuzzer's input: the host's version, module name and missing entry
// points, the current document and its header, every dialog parameter (texts at and
// around their capacities), the answers of the question and the file dialogs, the
// content of the file to read, and a sequence of up to four commands.
//
// Input layout (bytes read front to back; missing bytes read as zero):
//   host       module names (bits 0-1), skip initPlugin (bit 2), never bind (bit 3),
//              answer yes (bit 4), current document (bits 5-7)
//   missing    two bytes: bit i drops the i-th of the 15 entry points the plug-in uses
//   version    one byte choosing among host versions around 2.2.0
//   ints       MNIorTal, LoadInCV, listVOIinfoFrom: one byte each, choosing among
//              0, 1, 2, -1 and the 32-bit extremes
//   colour     cR, cG, cB: four bytes each
//   sphere     tX, tY, tZ, Radius: four bytes each, raw float patterns
//   header     IsTalSpace and IsMniSpace (one byte each, choosing), ResolutionX/Y/Z
//              (raw floats), OffsetX/Y/Z, FramingCubeDim, LeftRightConvention
//   commands   count (1 ... 4), then one byte per command
//   lengths    one byte per text: as given, or padded or cut to lengths at and
//              around the capacity the host honours for it
//   paths      one byte each for the VOI file, the save dialog and the open dialog
//   texts      Name_of_VOI, FileName, VOItext and an unknown command, each ended by
//              the byte 0xFE, then the content of the file to read (the rest)
//
// Files: every path the harness gives the plug-in lies in a private temporary folder
// (in /dev/shm where there is one; FileName has its slashes replaced, so it cannot
// leave that folder), which is emptied after each input. To keep each input's work
// small (hundreds of inputs a second), a "Start" whose VOIs would hold more than
// kVoxelCap voxels in all (a sphere of radius 15 mm) is not run, a dialog radius
// whose valid sphere exceeds it is replaced by 0 (a radius of 554 mm is a valid
// sphere of 712 million voxels), and the list text keeps its length but at most
// kListLineCap line breaks. Spheres the enumeration refuses (non-finite, beyond the
// 32-bit range, over its voxel limit) cost nothing and are run as given. A full
// list, many VOIs and large spheres are left to the unit tests and the benchmarks.
//
// Invariants, always: no fault, no sanitizer report, no call of an entry point the
// plug-in does not use, every log line within the 511 characters of the log text,
// false only from a "Start" whose reference-space question was answered no. With a
// complete host after a successful initPlugin, also the documented results of each
// command: its log lines, the parameters it sets, and the VOI or text file it writes.
#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "coords/CoordinateList.h"
#include "fuzz/FuzzSupport.h"
#include "plugin/Orbiculon.h"
#include "plugin/WorkingTexts.h"
#include "tests/support/FakeHost.h"
#include "voi/SphereVoxels.h"

namespace {

namespace fs = std::filesystem;
using orbiculon::fuzz::FuzzInput;
using orbiculon::fuzz::printable;
using orbiculon::testing::FakeHost;

constexpr std::int64_t kVoxelCap = std::int64_t{1} << 14;
constexpr std::size_t kListLineCap = 32;
constexpr std::size_t kLogLineLimit = orbiculon::kLogLineCapacity - 1;
constexpr char kSectionEnd = '\xFE';

// The entry points the plug-in calls, in the order of the "missing" bits.
constexpr const char* kUsedEntries[] = {"rzGetVersionOfCerevantRZ",
                                        "rzShowLogTab",
                                        "rzLogText",
                                        "rzMessageBox",
                                        "rzYesNoMessageBox",
                                        "rzGetOpenFileName",
                                        "rzGetSaveFileName",
                                        "rzGetDocumentType",
                                        "rzGetIDOfCurrentDocument",
                                        "rzGetMainHeaderOfCurrentVMR",
                                        "rzLoadVOIs",
                                        "rzGetStringParameter",
                                        "rzGetIntParameter",
                                        "rzGetFloatParameter",
                                        "rzSetStringParameter"};

constexpr int kVersions[][3] = {{2, 2, 0},  {2, 1, 99}, {2, 3, 0}, {3, -1, -1},
                                {2, 2, -1}, {1, 9, 9},  {2, 2, 7}};
constexpr std::int32_t kInts[] = {0, 1, 2, -1, INT_MIN, INT_MAX, 1, 0};
constexpr std::int32_t kFlags[] = {1, 0, 2, -1};

constexpr const char* kCommands[] = {"Start", "ReadTextFile", "SaveTextFile", "CleanUpText",
                                     nullptr, "start",        "Start ",       ""};

// Folder layout prepared once: a regular file to stand where a folder is expected, a
// folder where a file is expected, and two nested long folder names for paths that
// reach the path capacity with components of legal length.
constexpr char kRegularFile[] = "afile";
constexpr char kFolder[] = "afolder";
const std::string kLongFolder1(150, 'd');
const std::string kLongFolder2(150, 'e');

bool isPrepared(const std::string& name) {
  return name == kRegularFile || name == kFolder || name == kLongFolder1;
}

const orbiculon::testing::TempDir& folder() {
  static const orbiculon::testing::TempDir dir("fuzz-dispatcher", orbiculon::testing::memoryFolder());
  return dir;
}

void prepareFolder() {
  const fs::path& root = folder().path();
  std::error_code error;
  if (!fs::exists(root / kRegularFile, error)) std::ofstream(root / kRegularFile) << "not a folder";
  fs::create_directories(root / kFolder / "x.voi", error);
  fs::create_directories(root / kLongFolder1 / kLongFolder2, error);
}

// `text` repeated (or "a" when empty) and cut to exactly `length` characters.
std::string padded(std::string_view text, std::size_t length) {
  if (text.empty()) text = "a";
  std::string out(text.substr(0, length));
  out.reserve(length);
  while (out.size() < length) // doubling: a few appends even for a one-byte text
    out.append(out, 0, std::min(out.size(), length - out.size()));
  return out;
}

// A text at one of the lengths that matter for a capacity: as given, two below, one
// below (the longest the host passes), at, one above, twice.
std::string atCapacityEdge(std::string_view text, std::uint8_t mode, std::size_t capacity) {
  switch (mode % 8) {
  case 1:
    return padded(text, capacity - 2);
  case 2:
    return padded(text, capacity - 1);
  case 3:
    return padded(text, capacity);
  case 4:
    return padded(text, capacity + 1);
  case 5:
    return padded(text, 2 * capacity);
  default:
    return std::string(text);
  }
}

// The dialog's "FileName": always inside the temporary folder.
std::string voiFileName(std::string_view given, std::uint8_t pathMode, std::uint8_t lengthMode) {
  std::string name(given);
  std::replace(name.begin(), name.end(), '/', '_');
  const fs::path& root = folder().path();
  std::string prefix;
  switch (pathMode % 5) {
  case 1:
    prefix = (root / "missing").string() + "/";
    break; // a folder that does not exist
  case 2:
    prefix = (root / kRegularFile).string() + "/";
    break; // a regular file as folder
  case 3:
    prefix = (root / kLongFolder1 / kLongFolder2).string() + "/";
    break;
  case 4:
    return (root / kFolder / "x").string(); // x.voi is a folder
  default:
    prefix = root.string() + "/";
    break;
  }
  // Total lengths around the 507 characters after which ".voi" no longer fits.
  static constexpr std::size_t kLengths[] = {0, 506, 507, 508, 510, 511, 512, 1000};
  const std::size_t total = kLengths[lengthMode % 8];
  if (total == 0 || total <= prefix.size()) return prefix + name;
  return prefix + padded(name.empty() ? "f" : name, total - prefix.size());
}

std::string dialogPath(std::uint8_t mode, const std::string& file) {
  const fs::path& root = folder().path();
  switch (mode % 6) {
  case 1:
    return (root / "missing" / file).string();
  case 2:
    return (root / kRegularFile / file).string();
  case 3:
    return (root / kFolder).string();
  case 4:
    return std::string(); // the dialog was cancelled
  case 5:
    return padded((root / kLongFolder1 / kLongFolder2).string() + "/" + file, 600);
  default:
    return (root / file).string();
  }
}

// `text` with at most kListLineCap LF and as many CR: later ones become blanks, so
// the text keeps its length (and its capacity edge) while the list stays short.
std::string withFewLines(std::string text) {
  for (const char lineBreak : {'\n', '\r'}) {
    std::size_t breaks = 0;
    for (std::size_t at = text.find(lineBreak); at != std::string::npos; at = text.find(lineBreak, at + 1))
      if (++breaks > kListLineCap) text[at] = ' ';
  }
  return text;
}

// What the plug-in receives of a text parameter: the host copies within the capacity
// it honours; the C text ends at the first NUL.
std::string received(const FakeHost& host, const std::string& name) {
  const auto found = host.strings.find(name);
  if (found == host.strings.end()) return std::string();
  const std::string& value = found->second;
  const std::size_t length =
      std::min({value.size(), orbiculon::stringParameterCapacity(name) - 1, value.find('\0')});
  return value.substr(0, length);
}

// Counts the valid lines cleaning leaves out because the list text is full.
struct LeftOut final : orbiculon::CleaningObserver {
  void lineDoesNotFit(const orbiculon::CleaningLine&) override { ++count; }
  int count = 0;
};

// The list `text` cleaned as the plug-in cleans it. The last result is kept: "Start"
// asks twice for the same list (for its voxels, then for its check).
std::string cleaned(const std::string& text, bool isMni, int& count, int& leftOut) {
  struct Last {
    bool valid = false;
    std::string text;
    bool isMni = false;
    std::string result;
    int count = 0;
    int leftOut = 0;
  };
  static Last last;
  if (!last.valid || last.isMni != isMni || last.text != text) {
    std::vector<char> list(orbiculon::kCoordinateListCapacity, '\0');
    std::copy(text.begin(), text.end(), list.begin());
    LeftOut observer;
    const int kept = orbiculon::cleanCoordinateList(list, isMni, &observer);
    last = {true, text, isMni, list.data(), kept, observer.count};
  }
  count = last.count;
  leftOut = last.leftOut;
  return last.result;
}

// Voxels in all that "Start" would build, as far as the harness can tell beforehand.
std::int64_t plannedVoxels(const FakeHost& host, bool fromList, bool isMni) {
  const auto countOf = [](const orbiculon::SphereCentre& centre, float radius) {
    const std::int64_t count = orbiculon::countSphereVoxels(centre, radius);
    return count > 0 && count <= orbiculon::kMaxSphereVoxels ? count : 0;
  };
  if (!fromList) {
    const auto value = [&](const char* name) {
      const auto found = host.floats.find(name);
      return found == host.floats.end() ? 0.0f : found->second;
    };
    return countOf({value("tX"), value("tY"), value("tZ")}, value("Radius"));
  }
  int lines = 0;
  int leftOut = 0;
  const std::string list = cleaned(received(host, "VOItext"), isMni, lines, leftOut);
  std::int64_t total = 0;
  orbiculon::CoordinateLineCursor cursor(list.c_str());
  orbiculon::CoordinateEntry entry{};
  for (std::int32_t i = 0; i < lines && cursor.parse(i, entry); ++i)
    total += countOf({entry.x, entry.y, entry.z}, entry.radius);
  return total;
}

std::string readWhole(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::vector<std::string> linesSince(const FakeHost& host, std::size_t first) {
  std::vector<std::string> lines;
  for (std::size_t i = first; i < host.events.size(); ++i)
    if (host.events[i].rfind("log: ", 0) == 0) lines.push_back(host.events[i].substr(5));
  return lines;
}

bool hasEvent(const FakeHost& host, std::size_t first, const std::string& event) {
  return std::find(host.events.begin() + static_cast<std::ptrdiff_t>(first), host.events.end(), event) !=
         host.events.end();
}

bool has(const std::vector<std::string>& lines, const std::string& line) {
  return std::find(lines.begin(), lines.end(), line) != lines.end();
}

std::size_t countPrefixed(const std::vector<std::string>& lines, const std::string& prefix) {
  return static_cast<std::size_t>(std::count_if(
      lines.begin(), lines.end(), [&](const std::string& l) { return l.rfind(prefix, 0) == 0; }));
}

std::string leftOutLine(int count) {
  return "Plugin>  The cleaned list is full: " + std::to_string(count) + " more valid lines were left out";
}

// The documented results of one command on a complete host. `listBefore` is the
// "VOItext" the plug-in read.
void checkCommand(const FakeHost& host, std::size_t first, const std::string& command, bool result,
                  bool isMni, bool fromList, const std::string& listBefore) {
  const auto lines = linesSince(host, first);
  if (command == "Start") {
    const std::size_t added =
        countPrefixed(lines, isMni ? "Plugin>  Added VOI at MNI (" : "Plugin>  Added VOI at TAL (");
    const std::size_t leftOutLogged = countPrefixed(lines, "Plugin>  The cleaned list is full: ");
    if (fromList && result) {
      int count = 0;
      int leftOut = 0;
      cleaned(listBefore, isMni, count, leftOut);
      FUZZ_CHECK(added == static_cast<std::size_t>(count),
                 "Start built another number of VOIs than cleaning kept");
      FUZZ_CHECK(leftOutLogged == (leftOut > 0 ? 1u : 0u) &&
                     (leftOut == 0 || has(lines, leftOutLine(leftOut))),
                 "Start did not report the lines left out");
    } else {
      FUZZ_CHECK(leftOutLogged == 0, "lines reported left out of a list that was not used");
    }
    const std::string saved = "Plugin>  Saved: ";
    const auto savedLine = std::find_if(lines.begin(), lines.end(),
                                        [&](const std::string& l) { return l.rfind(saved, 0) == 0; });
    const std::string path = received(host, "FileName") + ".voi";
    if (!result) {
      FUZZ_CHECK(added == 0 && savedLine == lines.end(), "a declined Start built or saved VOIs");
      return;
    }
    if (savedLine == lines.end()) {
      FUZZ_CHECK(std::find(lines.begin(), lines.end(), "Error while writing VOI file") != lines.end(),
                 "Start neither saved nor reported the failure");
      return;
    }
    FUZZ_CHECK(path.size() + 1 <= orbiculon::kFilePathCapacity, "saved a path beyond the path capacity");
    FUZZ_CHECK(*savedLine == (saved + path).substr(0, kLogLineLimit), "saved line: " + printable(*savedLine));
    const std::string content = readWhole(path);
    FUZZ_CHECK(content.rfind("\r\nFileVersion:                4\r\n", 0) == 0,
               "VOI file header: " + printable(path));
    const std::string count = "\r\nNrOfvois:                   " + std::to_string(added) + "\r\n";
    FUZZ_CHECK(content.find(count) != std::string::npos, "NrOfvois differs from the Added VOI lines");
    const std::string end = "\r\n\r\nNrOfVOIVTCs: 0\r\n";
    FUZZ_CHECK(content.size() >= end.size() &&
                   content.compare(content.size() - end.size(), end.size(), end) == 0,
               "VOI file does not end with NrOfVOIVTCs");
    const bool load = host.ints.count("LoadInCV") != 0 && host.ints.at("LoadInCV") == 1;
    FUZZ_CHECK(hasEvent(host, first, "load: " + path) == load, "load request does not follow LoadInCV");
  } else if (command == "CleanUpText") {
    int count = 0;
    int leftOut = 0;
    const std::string expected = cleaned(listBefore, isMni, count, leftOut);
    std::vector<std::string> expectedLines;
    if (leftOut > 0) expectedLines.push_back(leftOutLine(leftOut));
    expectedLines.push_back("Plugin>  " + std::to_string(count) + " valid lines left after cleaning");
    FUZZ_CHECK(lines == expectedLines, "CleanUpText log lines");
    FUZZ_CHECK(hasEvent(host, first, "set VOItext: " + expected),
               "CleanUpText did not store the cleaned list");
  } else if (command == "SaveTextFile") {
    const std::string savedIn = "Plugin>  Saved VOI info in: ";
    const bool saved = countPrefixed(lines, savedIn) == 1;
    FUZZ_CHECK(saved != hasEvent(host, first, "message: Error saving file"), "SaveTextFile result reporting");
    if (saved) {
      const std::string path = host.saveFilePath.substr(0, orbiculon::kFilePathCapacity - 1);
      FUZZ_CHECK(lines.back() == (savedIn + path).substr(0, kLogLineLimit), "saved line");
      FUZZ_CHECK(orbiculon::fuzz::savedText(readWhole(path)) == listBefore,
                 "saved text differs from VOItext");
    }
  } else if (command == "ReadTextFile") {
    const std::size_t read = countPrefixed(lines, "Plugin>  Read ");
    const std::size_t unchanged = countPrefixed(lines, "Plugin>  The list is unchanged: ") +
                                  countPrefixed(lines, "Plugin>  No file was chosen; the list is unchanged.");
    FUZZ_CHECK(read + unchanged == 1, "ReadTextFile log line");
    const bool allTextSet =
        std::any_of(host.events.begin() + static_cast<std::ptrdiff_t>(first), host.events.end(),
                    [](const std::string& e) { return e.rfind("set AllText: ", 0) == 0; });
    FUZZ_CHECK(allTextSet, "ReadTextFile did not set AllText");
    // Without a file the list stays: AllText gets it as it was.
    FUZZ_CHECK(read == 1 || hasEvent(host, first, "set AllText: " + listBefore),
               "a failed read changed the list");
  } else {
    const std::string expected = "Plugin>  Received unknown command: \"" + command + "\".";
    FUZZ_CHECK(lines.size() == 1 && lines[0] == expected.substr(0, kLogLineLimit),
               "unknown command line for " + printable(command));
  }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  prepareFolder();
  FuzzInput input(data, size);

  const std::uint8_t hostFlags = input.byte();
  const std::uint16_t missingMask = input.u16();
  const std::uint8_t versionChoice = input.byte();
  const bool skipInit = (hostFlags & 4) != 0;
  const bool neverBind = (hostFlags & 8) != 0;

  FakeHost host(false);
  std::set<std::string> missing;
  for (std::size_t i = 0; i < std::size(kUsedEntries); ++i)
    if ((missingMask >> i) & 1u) missing.insert(kUsedEntries[i]);
  static const std::set<std::string> kModuleChoices[] = {
      {"CerevantRZ.exe"}, {"Cerevant.exe"}, {"CerevantRZ.exe", "Cerevant.exe"}, {}};
  host.missingEntries = missing;
  host.loadedModules = kModuleChoices[hostFlags & 3];
  const int* version = kVersions[versionChoice % std::size(kVersions)];
  host.major = version[0];
  host.minor = version[1];
  host.build = version[2];
  host.yesNoAnswer = (hostFlags & 16) != 0 ? 1 : 0;
  switch (hostFlags >> 5) {
  case 1:
    host.documentId = -1;
    break;
  case 2:
    host.documentType = 2;
    break;
  case 3:
    host.documentId = 0;
    break;
  case 4:
    host.documentId = INT_MIN;
    break;
  default:
    break;
  }

  host.ints["MNIorTal"] = kInts[input.byte() % 8];
  const bool isMni = host.ints["MNIorTal"] != 0;
  host.ints["LoadInCV"] = kInts[input.byte() % 8];
  host.ints["listVOIinfoFrom"] = kInts[input.byte() % 8];
  host.ints["cR"] = input.i32();
  host.ints["cG"] = input.i32();
  host.ints["cB"] = input.i32();
  host.floats["tX"] = input.floatBits();
  host.floats["tY"] = input.floatBits();
  host.floats["tZ"] = input.floatBits();
  host.floats["Radius"] = input.floatBits();
  host.header.IsTalSpace = kFlags[input.byte() % 4];
  host.header.IsMniSpace = kFlags[input.byte() % 4];
  host.header.ResolutionX = input.floatBits();
  host.header.ResolutionY = input.floatBits();
  host.header.ResolutionZ = input.floatBits();
  host.header.OffsetX = input.i32();
  host.header.OffsetY = input.i32();
  host.header.OffsetZ = input.i32();
  host.header.FramingCubeDim = input.i32();
  host.header.LeftRightConvention = input.i32();

  const int commandCount = 1 + input.byte() % 4;
  std::vector<std::uint8_t> commandChoices;
  for (int i = 0; i < commandCount; ++i)
    commandChoices.push_back(input.byte());
  const std::uint8_t nameLength = input.byte();
  const std::uint8_t fileNameLength = input.byte();
  const std::uint8_t listLength = input.byte();
  const std::uint8_t commandLength = input.byte();
  const std::uint8_t voiPathMode = input.byte();
  const std::uint8_t savePathMode = input.byte();
  const std::uint8_t openPathMode = input.byte();

  const std::string_view name = input.until(kSectionEnd);
  const std::string_view fileName = input.until(kSectionEnd);
  const std::string_view list = input.until(kSectionEnd);
  const std::string_view unknownCommand = input.until(kSectionEnd);
  const std::string_view openContent = input.rest();

  host.strings["Name_of_VOI"] = atCapacityEdge(name, nameLength, orbiculon::kVoiNameTextCapacity);
  host.strings["FileName"] = voiFileName(fileName, voiPathMode, fileNameLength);
  host.strings["VOItext"] =
      withFewLines(atCapacityEdge(list, listLength, orbiculon::kCoordinateListCapacity));
  host.saveFilePath = dialogPath(savePathMode, "saved.txt");
  host.openFilePath = dialogPath(openPathMode, "open.txt");
  if (openPathMode % 6 == 0) std::ofstream(host.openFilePath, std::ios::binary) << openContent;

  // A valid dialog sphere too large for a fuzzing process is replaced by radius 0.
  if (plannedVoxels(host, false, isMni) > kVoxelCap) host.floats["Radius"] = 0.0f;

  const bool complete = !neverBind && !skipInit && missing.empty() && !host.loadedModules.empty();
  {
    auto plugin = std::make_unique<Orbiculon>();
    bool ready = false;
    if (!neverBind && !skipInit) ready = plugin->initPlugin();
    if (complete) {
      const bool versionOk =
          version[0] > 2 || (version[0] == 2 && (version[1] > 2 || (version[1] == 2 && version[2] >= 0)));
      const bool documentOk = host.documentId >= 0 && host.documentType == 3;
      FUZZ_CHECK(ready == (versionOk && documentOk), "initPlugin result");
    }
    const bool checkResults = complete && ready;

    for (const std::uint8_t choice : commandChoices) {
      const char* known = kCommands[choice % 8];
      const std::string command =
          known != nullptr ? known
                           : atCapacityEdge(unknownCommand, commandLength, orbiculon::kCommandCapacity);
      host.strings["Command"] = command;
      const std::string seen = received(host, "Command");
      const bool fromList = host.ints["listVOIinfoFrom"] == 1;
      if (seen == "Start" && plannedVoxels(host, fromList, isMni) > kVoxelCap) continue;

      const std::string listBefore = received(host, "VOItext");
      const std::size_t first = host.events.size();
      const bool result = plugin->execute();
      for (std::size_t i = first; i < host.events.size(); ++i) {
        FUZZ_CHECK(host.events[i] != "unexpected call", "the plug-in called an entry point it does not use");
        if (host.events[i].rfind("log: ", 0) == 0)
          FUZZ_CHECK(host.events[i].size() - 5 <= kLogLineLimit, "a log line longer than the log text");
      }
      if (!result) {
        const bool declined = hasEvent(host, first,
                                       "question: VMR properties don't indicate TAL space. Do you want "
                                       "to continue?") ||
                              hasEvent(host, first,
                                       "question: VMR properties don't indicate MNI space. Do you want "
                                       "to continue?");
        FUZZ_CHECK(seen == "Start" &&
                       (missing.count("rzYesNoMessageBox") != 0 || (declined && host.yesNoAnswer == 0)),
                   "execute returned false for " + printable(command));
      }
      if (checkResults) checkCommand(host, first, seen, result, isMni, fromList, listBefore);
    }
  }
  // ORBICULON_FUZZ_TRACE=1 prints what the plug-in did, for looking into one input.
  static const bool trace = std::getenv("ORBICULON_FUZZ_TRACE") != nullptr;
  if (trace) {
    for (const auto& event : host.events)
      std::fprintf(stderr, "  %s\n", printable(event, 300).c_str());
  }
  folder().clear(isPrepared);
  return 0;
}
