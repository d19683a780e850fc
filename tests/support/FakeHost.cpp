#include "tests/support/FakeHost.h"

#include <algorithm>
#include <cstring>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>

#if !defined(_WIN32)
#include <unistd.h>
#endif

namespace orbiculon::testing {

FakeHost* FakeHost::current = nullptr;

namespace {

FakeHost& host() { return *FakeHost::current; }

extern "C" {
void fakeGetVersion(int* major, int* minor, int* build) {
  *major = host().major;
  *minor = host().minor;
  *build = host().build;
}
void fakeShowLogTab() { host().events.push_back("showlog"); }
void fakeLogText(const char* text) { host().events.push_back(std::string("log: ") + text); }
void fakeMessageBox(const char* text) { host().events.push_back(std::string("message: ") + text); }
int fakeYesNoMessageBox(const char* text) {
  host().events.push_back(std::string("question: ") + text);
  return host().yesNoAnswer;
}
void copyPath(const std::string& path, char* buffer) {
  const std::size_t n = std::min(path.size(), kFilePathCapacity - 1);
  std::memcpy(buffer, path.data(), n);
  buffer[n] = '\0';
}
void fakeGetOpenFileName(const char* title, const char*, const char* filter, char* buffer) {
  host().events.push_back(std::string("open: ") + title + "|" + filter);
  copyPath(host().openFilePath, buffer);
}
void fakeGetSaveFileName(const char* title, const char*, const char* filter, char* buffer) {
  host().events.push_back(std::string("save: ") + title + "|" + filter);
  copyPath(host().saveFilePath, buffer);
}
int fakeGetDocumentType(int) { return host().documentType; }
int fakeGetIDOfCurrentDocument() { return host().documentId; }
void fakeGetMainHeader(VmrMainHeader* header) { *header = host().header; }
void fakeLoadVOIs(const char* path) { host().events.push_back(std::string("load: ") + path); }
void fakeGetStringParameter(const char* name, char* buffer) {
  host().reads.push_back(std::string("s:") + name);
  const auto found = host().strings.find(name);
  const std::string value = found == host().strings.end() ? std::string() : found->second;
  const std::size_t n = std::min(value.size(), stringParameterCapacity(name) - 1);
  std::memcpy(buffer, value.data(), n);
  buffer[n] = '\0';
}
int fakeGetIntParameter(const char* name) {
  host().reads.push_back(std::string("i:") + name);
  const auto found = host().ints.find(name);
  return found == host().ints.end() ? 0 : found->second;
}
float fakeGetFloatParameter(const char* name) {
  host().reads.push_back(std::string("f:") + name);
  const auto found = host().floats.find(name);
  return found == host().floats.end() ? 0.0f : found->second;
}
void fakeSetStringParameter(const char* name, const char* value) {
  host().events.push_back(std::string("set ") + name + ": " + value);
  host().strings[name] = value;
}
void fakeUnexpected() { host().events.push_back("unexpected call"); }
} // extern "C"

HostEntry entryFor(const std::string& name) {
  static const std::map<std::string, HostEntry> known = {
      {"rzGetVersionOfCerevantRZ", reinterpret_cast<HostEntry>(&fakeGetVersion)},
      {"rzShowLogTab", reinterpret_cast<HostEntry>(&fakeShowLogTab)},
      {"rzLogText", reinterpret_cast<HostEntry>(&fakeLogText)},
      {"rzMessageBox", reinterpret_cast<HostEntry>(&fakeMessageBox)},
      {"rzYesNoMessageBox", reinterpret_cast<HostEntry>(&fakeYesNoMessageBox)},
      {"rzGetOpenFileName", reinterpret_cast<HostEntry>(&fakeGetOpenFileName)},
      {"rzGetSaveFileName", reinterpret_cast<HostEntry>(&fakeGetSaveFileName)},
      {"rzGetDocumentType", reinterpret_cast<HostEntry>(&fakeGetDocumentType)},
      {"rzGetIDOfCurrentDocument", reinterpret_cast<HostEntry>(&fakeGetIDOfCurrentDocument)},
      {"rzGetMainHeaderOfCurrentVMR", reinterpret_cast<HostEntry>(&fakeGetMainHeader)},
      {"rzLoadVOIs", reinterpret_cast<HostEntry>(&fakeLoadVOIs)},
      {"rzGetStringParameter", reinterpret_cast<HostEntry>(&fakeGetStringParameter)},
      {"rzGetIntParameter", reinterpret_cast<HostEntry>(&fakeGetIntParameter)},
      {"rzGetFloatParameter", reinterpret_cast<HostEntry>(&fakeGetFloatParameter)},
      {"rzSetStringParameter", reinterpret_cast<HostEntry>(&fakeSetStringParameter)},
  };
  const auto found = known.find(name);
  return found == known.end() ? reinterpret_cast<HostEntry>(&fakeUnexpected) : found->second;
}

// Resolves through the host's current configuration, so a test can change which
// modules are loaded and which entries are missing between two bindings.
class FakeLookup final : public HostLookup {
public:
  explicit FakeLookup(const FakeHost& fake) : fake_(fake) {}
  bool findModule(const char* moduleName) override { return fake_.loadedModules.count(moduleName) != 0; }
  HostEntry resolve(const char* exportName) override {
    return fake_.missingEntries.count(exportName) != 0 ? nullptr : entryFor(exportName);
  }

private:
  const FakeHost& fake_;
};

} // namespace

FakeHost::FakeHost(bool bindNow) : lookup_(std::make_unique<FakeLookup>(*this)) {
  current = this;
  setHostLookupForTesting(lookup_.get());
  header.ResolutionX = header.ResolutionY = header.ResolutionZ = 1.0f;
  header.FramingCubeDim = 256;
  header.LeftRightConvention = 1;
  header.IsTalSpace = 1;
  header.IsMniSpace = 0;
  if (bindNow) bind();
}

FakeHost::~FakeHost() {
  // Leave every entry of the process-wide table null, so a later test cannot call
  // into a destroyed host: first everything but the version entry (which must
  // resolve for the binding to go on), then the version entry through a binding
  // that stops at it.
  struct Clear final : HostLookup {
    bool keepVersion = true;
    bool findModule(const char*) override { return true; }
    HostEntry resolve(const char* name) override {
      return keepVersion && std::string_view(name) == "rzGetVersionOfCerevantRZ"
                 ? reinterpret_cast<HostEntry>(&fakeUnexpected)
                 : nullptr;
    }
  } clear;
  bindHostEntryPoints(clear);
  clear.keepVersion = false;
  bindHostEntryPoints(clear);
  setHostLookupForTesting(nullptr);
  current = nullptr;
}

bool FakeHost::bind(std::set<std::string> missing, std::set<std::string> modules) {
  missingEntries = std::move(missing);
  loadedModules = std::move(modules);
  return bindHostEntryPoints(*lookup_);
}

std::vector<std::string> FakeHost::logLines() const {
  std::vector<std::string> lines;
  for (const auto& event : events)
    if (event.rfind("log: ", 0) == 0) lines.push_back(event.substr(5));
  return lines;
}

TempDir::TempDir(const std::string& name, const std::filesystem::path& base) {
  // A random name, taken only when create_directory made it anew.
  constexpr int kNameAttempts = 100;
  std::random_device random;
  std::mt19937_64 generator(random());
  const auto parent = base.empty() ? std::filesystem::temp_directory_path() : base;
  for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
    path_ = parent / ("orbiculon-" + name + "-" + std::to_string(generator()));
    std::error_code error;
    if (std::filesystem::create_directory(path_, error)) return;
  }
  throw std::runtime_error("cannot create a temporary folder in " + parent.string());
}

std::filesystem::path memoryFolder() {
#if defined(_WIN32)
  return {};
#else
  const std::filesystem::path shm("/dev/shm");
  std::error_code error;
  if (std::filesystem::is_directory(shm, error) && ::access(shm.c_str(), W_OK | X_OK) == 0) return shm;
  return {};
#endif
}

TempDir::~TempDir() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

std::string readFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream content;
  content << in.rdbuf();
  return content.str();
}

void writeFile(const std::filesystem::path& path, const std::string& content) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << content;
}

} // namespace orbiculon::testing
