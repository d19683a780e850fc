#pragma once

#include <string>
#include <utility>
#include <vector>

namespace standin {

// Exit codes of the stand-in host.
enum class ExitCode : int {
  Success = 0,  // every step the plug-in took succeeded
  Refused = 1,  // initPlugin returned false, or a command returned false
  Usage = 2,    // bad options, unreadable input files, a module that cannot be loaded
};

// One run of the plug-in as the host drives it: load the module, read its
// identification, create the object, initialise it, execute each command in order
// (stopping at the first that returns false), and destroy the object.
struct SessionPlan {
  std::string pluginPath;
  std::vector<std::string> commands;
  bool printIdentification = false;
  // Parameters to print (name) or save (name, file) after the commands.
  std::vector<std::string> showParameters;
  std::vector<std::pair<std::string, std::string>> saveParameters;
};

// Runs the plan against the process's host state; messages about the run itself go
// to standard error.
ExitCode runSession(const SessionPlan& plan);

// The plug-in module next to this executable.
std::string defaultPluginPath();

} // namespace standin
