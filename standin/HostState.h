#pragma once

#include <cstdint>
#include <functional>
#include <iosfwd>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "common/Capacities.h"
#include "standin/HostHeader.h"

namespace standin {

// How the stand-in answers the plug-in's yes/no questions.
enum class Answer { Yes, No, Ask };

// Everything the host holds for the plug-in: its version, the current document and
// its header, the dialog's named parameters, and what the user would answer.
struct HostState {
  int major = 2, minor = 2, build = 0;
  // A negative id means there is no current document.
  std::int32_t documentId = 1;
  std::int32_t documentType = 3;
  VmrHeaderRecord header = VmrHeaderRecord::defaults();

  std::map<std::string, std::string> strings;
  std::map<std::string, std::int32_t> ints;
  std::map<std::string, float> floats;

  Answer answer = Answer::No;
  // What the file dialogs return; nullopt is a cancelled dialog (empty path).
  std::optional<std::string> openPath;
  std::optional<std::string> savePath;

  // Called with the path of each VOI file the plug-in asks to load; it returns the
  // log line describing what was loaded. It must not throw.
  std::function<std::string(const std::string&)> loadVois;

  // Where the host log goes; null means standard output.
  std::ostream* log = nullptr;
  // The host log is only kept in loggedLines, not shown (--quiet).
  bool quiet = false;
  // Every text the plug-in logged, in order, so the host can tell what a command did.
  std::vector<std::string> loggedLines;
};

// The one host state of this process, reached by the exported entry points.
HostState& state();

using orbiculon::stringParameterCapacity;

} // namespace standin
