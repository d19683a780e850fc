// The host's 150 C entry points (host/HostEntryNames.h), exported from the stand-in
// host executable under their exact names. The 15 services the plug-in uses behave as
// the host's do; every other entry reports that it was called, since the plug-in is
// not expected to.
#include <cstdio>
#include <cstring>
#include <iostream>
#include <string>

#include "host/HostEntryNames.h"
#include "standin/HostState.h"
#include "standin/Terminal.h"

#if defined(_WIN32)
#define HOST_EXPORT extern "C" __declspec(dllexport)
#else
#define HOST_EXPORT extern "C" __attribute__((visibility("default")))
#endif

using standin::state;

namespace {

void copyInto(const std::string& value, char* buffer, std::size_t capacity) {
  const std::size_t length = value.size() < capacity ? value.size() : capacity - 1;
  std::memcpy(buffer, value.data(), length);
  buffer[length] = '\0';
}

void unexpected(const char* name) { std::cerr << "[host] unexpected call of " << name << std::endl; }

// Where the host log is shown; with --quiet nowhere (a stream without a buffer
// drops what it is given).
std::ostream& hostLog() {
  static std::ostream nowhere(nullptr);
  if (state().quiet) return nowhere;
  return state().log != nullptr ? *state().log : std::cout;
}

} // namespace

#if !defined(STANDIN_WITHOUT_VERSION_ENTRY)
HOST_EXPORT void rzGetVersionOfCerevantRZ(int* major, int* minor, int* build) {
  *major = state().major;
  *minor = state().minor;
  *build = state().build;
}
#endif

HOST_EXPORT void rzShowLogTab() {}

HOST_EXPORT void rzLogText(const char* text) {
  state().loggedLines.emplace_back(text);
  hostLog() << text << std::endl;
}

HOST_EXPORT void rzMessageBox(const char* text) { std::cerr << "[message] " << text << std::endl; }

HOST_EXPORT int rzYesNoMessageBox(const char* question) {
  bool yes = state().answer == standin::Answer::Yes;
  if (state().answer == standin::Answer::Ask) yes = standin::askYesNo(question);
  std::cerr << "[question] " << question << " -> " << (yes ? "yes" : "no") << std::endl;
  return yes ? 1 : 0;
}

HOST_EXPORT void rzGetOpenFileName(const char* title, const char*, const char* filter, char* path) {
  copyInto(state().openPath.value_or(""), path, orbiculon::kFilePathCapacity);
  std::cerr << "[file dialog] " << title << " (" << filter << ") -> "
            << (state().openPath ? path : "cancelled") << std::endl;
}

HOST_EXPORT void rzGetSaveFileName(const char* title, const char*, const char* filter, char* path) {
  copyInto(state().savePath.value_or(""), path, orbiculon::kFilePathCapacity);
  std::cerr << "[file dialog] " << title << " (" << filter << ") -> "
            << (state().savePath ? path : "cancelled") << std::endl;
}

HOST_EXPORT int rzGetIDOfCurrentDocument() { return state().documentId; }

HOST_EXPORT int rzGetDocumentType(int) { return state().documentType; }

HOST_EXPORT void rzGetMainHeaderOfCurrentVMR(void* header) {
  std::memcpy(header, &state().header, sizeof(standin::VmrHeaderRecord));
}

HOST_EXPORT void rzLoadVOIs(const char* path) {
  if (state().loadVois) {
    hostLog() << state().loadVois(path) << std::endl;
  } else {
    std::cerr << "[host] load VOIs: " << path << std::endl;
  }
}

HOST_EXPORT void rzGetStringParameter(const char* name, char* buffer) {
  const auto found = state().strings.find(name);
  copyInto(found == state().strings.end() ? std::string() : found->second, buffer,
           standin::stringParameterCapacity(name));
}

HOST_EXPORT int rzGetIntParameter(const char* name) {
  const auto found = state().ints.find(name);
  return found == state().ints.end() ? 0 : found->second;
}

HOST_EXPORT float rzGetFloatParameter(const char* name) {
  const auto found = state().floats.find(name);
  return found == state().floats.end() ? 0.0f : found->second;
}

HOST_EXPORT void rzSetStringParameter(const char* name, const char* value) { state().strings[name] = value; }

// Entry points the plug-in never calls.
#define UNEXPECTED_ENTRY(name)                                                                               \
  HOST_EXPORT int name() {                                                                                   \
    unexpected(#name);                                                                                       \
    return 0;                                                                                                \
  }
#define IMPLEMENTED_ABOVE(name)
ORBICULON_HOST_ENTRIES(IMPLEMENTED_ABOVE, UNEXPECTED_ENTRY)
