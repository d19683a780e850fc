#include "host/HostEntryTable.h"

#include "host/PlatformHostLookup.h"

namespace orbiculon {

namespace {

// Index of each entry the plug-in calls, looked up in the name list at compile time.
constexpr std::size_t indexOf(std::string_view name) {
  const std::size_t index = hostEntryIndex(name);
  return index < kHostEntryCount ? index : throw "not a host entry name";
}

constexpr std::size_t kGetVersion = indexOf("rzGetVersionOfCerevantRZ");
constexpr std::size_t kShowLogTab = indexOf("rzShowLogTab");
constexpr std::size_t kLogText = indexOf("rzLogText");
constexpr std::size_t kMessageBox = indexOf("rzMessageBox");
constexpr std::size_t kYesNoMessageBox = indexOf("rzYesNoMessageBox");
constexpr std::size_t kGetOpenFileName = indexOf("rzGetOpenFileName");
constexpr std::size_t kGetSaveFileName = indexOf("rzGetSaveFileName");
constexpr std::size_t kGetDocumentType = indexOf("rzGetDocumentType");
constexpr std::size_t kGetIDOfCurrentDocument = indexOf("rzGetIDOfCurrentDocument");
constexpr std::size_t kGetMainHeaderOfCurrentVMR = indexOf("rzGetMainHeaderOfCurrentVMR");
constexpr std::size_t kLoadVOIs = indexOf("rzLoadVOIs");
constexpr std::size_t kGetStringParameter = indexOf("rzGetStringParameter");
constexpr std::size_t kGetIntParameter = indexOf("rzGetIntParameter");
constexpr std::size_t kGetFloatParameter = indexOf("rzGetFloatParameter");
constexpr std::size_t kSetStringParameter = indexOf("rzSetStringParameter");

// Set only by unit tests; null in the module.
HostLookup* lookupForTesting = nullptr;

// Casts an entry back to the shape in which the host exports it; null stays null.
template <typename Fn> Fn as(HostEntry entry) { return reinterpret_cast<Fn>(entry); }

} // namespace

HostEntryTable& hostTable() {
  static HostEntryTable table;
  return table;
}

void HostEntryTable::rzGetVersionOfCerevantRZ(int* major, int* minor, int* build) const {
  if (auto fn = as<void (*)(int*, int*, int*)>(entries_[kGetVersion])) fn(major, minor, build);
}

void HostEntryTable::rzShowLogTab() const {
  if (auto fn = as<void (*)()>(entries_[kShowLogTab])) fn();
}

void HostEntryTable::rzLogText(const char* text) const {
  if (auto fn = as<void (*)(const char*)>(entries_[kLogText])) fn(text);
}

void HostEntryTable::rzMessageBox(const char* text) const {
  if (auto fn = as<void (*)(const char*)>(entries_[kMessageBox])) fn(text);
}

int HostEntryTable::rzYesNoMessageBox(const char* question) const {
  auto fn = as<int (*)(const char*)>(entries_[kYesNoMessageBox]);
  return fn ? fn(question) : 0;
}

void HostEntryTable::rzGetOpenFileName(const char* title, const char* second, const char* filter,
                                       char* path) const {
  if (auto fn = as<void (*)(const char*, const char*, const char*, char*)>(entries_[kGetOpenFileName]))
    fn(title, second, filter, path);
}

void HostEntryTable::rzGetSaveFileName(const char* title, const char* second, const char* filter,
                                       char* path) const {
  if (auto fn = as<void (*)(const char*, const char*, const char*, char*)>(entries_[kGetSaveFileName]))
    fn(title, second, filter, path);
}

int HostEntryTable::rzGetDocumentType(int documentId) const {
  auto fn = as<int (*)(int)>(entries_[kGetDocumentType]);
  return fn ? fn(documentId) : 0;
}

int HostEntryTable::rzGetIDOfCurrentDocument() const {
  auto fn = as<int (*)()>(entries_[kGetIDOfCurrentDocument]);
  return fn ? fn() : -1;
}

void HostEntryTable::rzGetMainHeaderOfCurrentVMR(VmrMainHeader* header) const {
  if (auto fn = as<void (*)(VmrMainHeader*)>(entries_[kGetMainHeaderOfCurrentVMR])) fn(header);
}

void HostEntryTable::rzLoadVOIs(const char* path) const {
  if (auto fn = as<void (*)(const char*)>(entries_[kLoadVOIs])) fn(path);
}

void HostEntryTable::rzGetStringParameter(const char* name, char* buffer) const {
  if (auto fn = as<void (*)(const char*, char*)>(entries_[kGetStringParameter])) fn(name, buffer);
}

int HostEntryTable::rzGetIntParameter(const char* name) const {
  auto fn = as<int (*)(const char*)>(entries_[kGetIntParameter]);
  return fn ? fn(name) : 0;
}

float HostEntryTable::rzGetFloatParameter(const char* name) const {
  auto fn = as<float (*)(const char*)>(entries_[kGetFloatParameter]);
  return fn ? fn(name) : 0.0f;
}

void HostEntryTable::rzSetStringParameter(const char* name, const char* value) const {
  if (auto fn = as<void (*)(const char*, const char*)>(entries_[kSetStringParameter])) fn(name, value);
}

bool bindHostEntryPoints(HostLookup& lookup) {
  if (!lookup.findModule("CerevantRZ.exe") && !lookup.findModule("Cerevant.exe")) return false;

  auto& entries = hostTable().entries_;
  entries[kGetVersion] = lookup.resolve(kHostEntryNames[kGetVersion].data());
  if (entries[kGetVersion] == nullptr) return false;

  for (std::size_t i = 1; i < kHostEntryCount; ++i)
    entries[i] = lookup.resolve(kHostEntryNames[i].data());
  return true;
}

bool bindHostEntryPoints() {
  if (lookupForTesting != nullptr) return bindHostEntryPoints(*lookupForTesting);
  PlatformHostLookup lookup;
  return bindHostEntryPoints(lookup);
}

void setHostLookupForTesting(HostLookup* lookup) { lookupForTesting = lookup; }

bool isVersionAtLeast(int major, int minor, int build, int requiredMajor, int requiredMinor,
                      int requiredBuild) {
  if (major != requiredMajor) return major > requiredMajor;
  if (minor != requiredMinor) return minor > requiredMinor;
  return build >= requiredBuild;
}

} // namespace orbiculon
