#pragma once

#include <string>
#include <vector>

namespace standin {

// Exit codes of the stand-in host.
enum class ExitCode : int {
  Success = 0, // everything asked was done
  Failed = 1,  // the plug-in ran but something failed: initPlugin or a command returned
               // false, a command did not do its part (Start wrote no VOI file, a text
               // file was not saved or read), a file was not written or does not read
               // back, or writing to standard output failed
  Usage = 2,   // the command line was wrong (a bad option or value, an input that cannot
               // be read, an output folder that does not exist, a module that cannot
               // be loaded), and nothing ran
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
// to standard error. A command that returned true but did not do its part, judged
// from what it logged, makes the run fail without stopping it.
ExitCode runSession(const SessionPlan& plan);

// Who a failure is reported for: the stand-in's own checks ("error: ") or the
// plug-in's answer to a host call ("[host] ").
enum class FailureSource { Standin, PluginAnswer };

// Writes `message` to standard error after the source's prefix and returns
// ExitCode::Failed: the one way the stand-in host reports what failed once the
// plug-in ran.
ExitCode reportFailure(const std::string& message, FailureSource source = FailureSource::Standin);

// Reports that there was no memory to finish the command (through reportFailure).
ExitCode reportOutOfMemory();

// The plug-in module next to this executable.
std::string defaultPluginPath();

} // namespace standin
