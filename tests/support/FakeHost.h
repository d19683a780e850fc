#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <system_error>
#include <vector>

#include "common/Capacities.h"
#include "host/HostEntryTable.h"
#include "host/VmrMainHeader.h"

namespace orbiculon::testing {

// A recording host for unit tests. Construct one per test: it resets its state,
// binds the process-wide entry table to its own C functions (unless told not to) and,
// for its lifetime, is what bindHostEntryPoints() finds, so the plug-in's initPlugin
// binds to it too. `loadedModules` and `missingEntries` shape that binding.
// Every call the plug-in makes is appended to `events` in order, as "log: <text>",
// "message: <text>", "question: <text>", "load: <path>", "set <name>: <text>",
// "open: <title>|<filter>", "save: <title>|<filter>" and "showlog".
class FakeHost {
public:
  explicit FakeHost(bool bind = true);
  ~FakeHost();
  FakeHost(const FakeHost&) = delete;
  FakeHost& operator=(const FakeHost&) = delete;

  // Binds the table to this host; names in `missing` resolve to null. Also used to
  // simulate module names: `modules` lists which host module names are "loaded".
  // Both are kept in `missingEntries` and `loadedModules` for later bindings.
  bool bind(std::set<std::string> missing = {}, std::set<std::string> modules = {"CerevantRZ.exe"});

  // Log lines only, in order.
  std::vector<std::string> logLines() const;

  // Host module names the binding finds, and entry names that resolve to null.
  std::set<std::string> loadedModules = {"CerevantRZ.exe"};
  std::set<std::string> missingEntries;

  int major = 2, minor = 2, build = 0;
  std::int32_t documentId = 1;
  std::int32_t documentType = 3;
  VmrMainHeader header{};
  int yesNoAnswer = 1;
  std::string openFilePath; // what the open-file dialog leaves in the buffer
  std::string saveFilePath; // what the save-file dialog leaves in the buffer
  std::map<std::string, std::string> strings;
  std::map<std::string, int> ints;
  std::map<std::string, float> floats;
  std::vector<std::string> events;
  // Names the plug-in read, in order, as "s:Name", "i:Name" or "f:Name".
  std::vector<std::string> reads;

  static FakeHost* current;

private:
  std::unique_ptr<HostLookup> lookup_;
};

// A folder of its own under `base`, or the system temp folder when `base` is empty
// ("orbiculon-<name>-..."), made anew (never an existing one) and removed with its
// content. Throws std::runtime_error when no folder can be made.
class TempDir {
public:
  explicit TempDir(const std::string& name = "test", const std::filesystem::path& base = {});
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::filesystem::path& path() const { return path_; }
  std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

  // Removes everything in the folder but the names for which `keep` is true.
  template <typename Keep> void clear(const Keep& keep) const {
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(path_, error)) {
      if (keep(entry.path().filename().string())) continue;
      std::error_code ignored;
      std::filesystem::remove_all(entry.path(), ignored);
    }
  }

private:
  std::filesystem::path path_;
};

// /dev/shm where the system has one the process may write to (a memory file system
// on Linux), else empty (for TempDir: the system temp folder). The fuzz targets put
// their folder there: they write, rename and remove files for every input.
std::filesystem::path memoryFolder();

// What the system says of a path through a regular file: Windows finds no such path.
#ifdef _WIN32
inline const std::string kThroughAFile = ": No such file or directory";
#else
inline const std::string kThroughAFile = ": Not a directory";
#endif

std::string readFile(const std::filesystem::path& path);
void writeFile(const std::filesystem::path& path, const std::string& content);

} // namespace orbiculon::testing
