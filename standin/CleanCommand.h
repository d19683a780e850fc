#pragma once

#include <CLI/CLI.hpp>

#include <cstdint>
#include <string>
#include <vector>

#include "standin/CliCommon.h"
#include "standin/PeakLists.h"
#include "standin/Session.h"

namespace standin {

// `clean`: cleans a coordinate list with the plug-in's "CleanUpText" command and
// writes the cleaned list to a file (the plug-in's "SaveTextFile", as the dialog's
// Save button does) or to standard output; `--explain` tells why lines were dropped
// or changed.
struct CleanOptions {
  std::string plugin;
  std::string list;
  Space space = Space::Tal;
  bool spaceGiven = false;
  std::string output;
  bool explain = false;
  CompletionOptions completion;
};

CLI::App* setupClean(CLI::App& app, CleanOptions& options);
ExitCode runClean(const CleanOptions& options);

} // namespace standin
