#pragma once

#include <array>
#include <cstddef>
#include <string_view>

#include "common/Capacities.h"
#include "host/HostEntryNames.h"
#include "host/VmrMainHeader.h"

namespace orbiculon {

// An address resolved from the host module. Every entry is stored in this neutral
// function-pointer type and cast back to its real shape only by the typed call that
// uses it.
using HostEntry = void (*)();

// How the binding finds the host module and its exports. The production lookup is
// the platform layer (module handle and export lookup); tests give a map of names.
class HostLookup {
public:
  virtual ~HostLookup() = default;
  // Selects the module of that file name when it is loaded in the process; false
  // when it is not. Loads nothing.
  virtual bool findModule(const char* moduleName) = 0;
  // The selected module's export named `exportName` (exact match), or null.
  virtual HostEntry resolve(const char* exportName) = 0;
};

// One table per process holding the host's entry points (null until bound) and a
// typed call for each of the 15 the plug-in needs. A typed call whose entry is null
// returns 0 and touches no buffer or out-parameter. Use from the host's thread only.
class HostEntryTable {
public:
  HostEntry entry(std::size_t index) const { return index < entries_.size() ? entries_[index] : nullptr; }
  bool isBound(std::string_view name) const { return entry(hostEntryIndex(name)) != nullptr; }

  // Host version into three out-parameters: major, minor, build.
  void rzGetVersionOfCerevantRZ(int* major, int* minor, int* build) const;
  void rzShowLogTab() const;
  // Appends one line (no line end) to the host's log.
  void rzLogText(const char* text) const;
  void rzMessageBox(const char* text) const;
  // Non-zero for yes, 0 for no (and 0 when the entry is missing).
  int rzYesNoMessageBox(const char* question) const;
  // The host leaves the chosen path in `path` (kFilePathCapacity bytes, NUL-terminated).
  void rzGetOpenFileName(const char* title, const char* second, const char* filter, char* path) const;
  void rzGetSaveFileName(const char* title, const char* second, const char* filter, char* path) const;
  int rzGetDocumentType(int documentId) const;
  // Negative when there is no current document (and when the entry is missing).
  int rzGetIDOfCurrentDocument() const;
  void rzGetMainHeaderOfCurrentVMR(VmrMainHeader* header) const;
  void rzLoadVOIs(const char* path) const;
  // The host copies the parameter's text into `buffer` within the capacity it knows
  // for that parameter; no capacity is passed.
  void rzGetStringParameter(const char* name, char* buffer) const;
  int rzGetIntParameter(const char* name) const;
  float rzGetFloatParameter(const char* name) const;
  void rzSetStringParameter(const char* name, const char* value) const;

private:
  friend bool bindHostEntryPoints(HostLookup& lookup);
  std::array<HostEntry, kHostEntryCount> entries_{};
};

// The module has a single table: every plug-in object calls the host through it, and
// each initPlugin binds it afresh.
HostEntryTable& hostTable();

// Binds the process-wide table through `lookup`: "CerevantRZ.exe" first, then
// "Cerevant.exe"; false, with no entry written, when neither is found. Then the
// version entry: false when the host lacks it (only that entry is written). Then the
// other 149 names, in list order, each stored as found (null included). True then.
bool bindHostEntryPoints(HostLookup& lookup);

// The same through the platform's own module lookup, or through the lookup that
// setHostLookupForTesting installed.
bool bindHostEntryPoints();

// Makes bindHostEntryPoints() bind through `lookup` instead of the platform lookup,
// until called again with null. Unit tests use it: their process has no host module,
// yet the plug-in's initPlugin binds through bindHostEntryPoints(). The module itself
// never calls it, so the host always gets the platform lookup.
void setHostLookupForTesting(HostLookup* lookup);

// True when (major, minor, build) is the required version or later; signed compare.
bool isVersionAtLeast(int major, int minor, int build, int requiredMajor, int requiredMinor,
                      int requiredBuild);

} // namespace orbiculon
