#pragma once

#include <string>
#include <vector>

namespace standin {

// Exit codes of the stand-in host.
enum class ExitCode : int {
  Success = 0, // every step the plug-in took succeeded
  Refused = 1, // initPlugin or a command returned false, or what the plug-in should have
               // written is missing or does not read back
  Usage = 2,   // bad options, unreadable input files, missing output folders, a module
               // that cannot be loaded; nothing was run or written
};

// One run of the plug-in as the host drives it: load the module, read its
// identification, create the object, initialise it, execute each command in order
// (stopping at the first that returns false), and destroy the object.
struct SessionPlan {
  std::string pluginPath;
  std::vector<std::string> commands;
  bool printIdentification = false;
};

// Runs the plan against the process's host state; messages about the run itself go
// to standard error.
ExitCode runSession(const SessionPlan& plan);

// The plug-in module next to this executable.
std::string defaultPluginPath();

} // namespace standin
