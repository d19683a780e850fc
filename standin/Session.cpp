#include "standin/Session.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <iostream>

#include "standin/CommandShortfall.h"
#include "standin/EndingSignals.h"
#include "standin/HostState.h"
#include "standin/PluginModule.h"
#include "standin/ProgramName.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace standin {

namespace {

// What a command that returned true failed to do, judged from the lines it logged
// (those from `firstLine` on); empty when it did its part.
std::string shortfall(const std::string& command, std::size_t firstLine) {
  const auto& logged = state().loggedLines;
  const CommandFiles files{state().strings["FileName"] + ".voi", state().savePath.value_or(""),
                           state().openPath.value_or("")};
  return commandShortfall(command, std::span(logged).subspan(firstLine), files);
}

} // namespace

ExitCode reportFailure(const std::string& message, FailureSource source) {
  std::cerr << (source == FailureSource::PluginAnswer ? "[host] " : "error: ") << message << std::endl;
  return ExitCode::Failed;
}

ExitCode reportOutOfMemory() { return reportFailure("not enough memory to finish the command"); }

std::string defaultPluginPath() {
  std::string exe;
#if defined(_WIN32)
  char buffer[MAX_PATH] = {};
  const DWORD length = GetModuleFileNameA(nullptr, buffer, MAX_PATH);
  exe.assign(buffer, length);
  const auto slash = exe.find_last_of("\\/");
  return (slash == std::string::npos ? std::string() : exe.substr(0, slash + 1)) + "Orbiculon.dll";
#else
  char buffer[4096] = {};
  const ssize_t length = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
  if (length > 0) exe.assign(buffer, static_cast<std::size_t>(length));
  const auto slash = exe.find_last_of('/');
  return (slash == std::string::npos ? std::string("./") : exe.substr(0, slash + 1)) + "Orbiculon.so";
#endif
}

ExitCode runSession(const SessionPlan& plan) {
  PluginModule module(plan.pluginPath);
  if (!module.loaded()) {
    // Without --plugin the module is the one installed with the program: a broken
    // installation, not an option the user gave.
    if (plan.pluginPath != defaultPluginPath()) throw CLI::ValidationError("--plugin", module.error());
    throw CLI::ValidationError("the plug-in module installed with " + std::string(kProgramName) +
                               " is missing or broken (" + module.error() + "); reinstall " + kProgramName +
                               ", or name a module with --plugin");
  }
  if (plan.printIdentification) {
    std::cerr << "[plugin] " << module.name() << " " << module.version() << " - " << module.description()
              << " (author " << module.author() << ", help " << module.helpFile() << ", dialog "
              << module.guiScript() << ")" << std::endl;
  }

  PluginObject* plugin = module.create();
  if (plugin == nullptr) return reportFailure("createPlugin returned no object");

  // The files the plug-in's saves may replace.
  if (const auto name = state().strings.find("FileName"); name != state().strings.end())
    removeTemporaryFilesOnEndingSignals(name->second + ".voi");
  if (state().savePath) removeTemporaryFilesOnEndingSignals(*state().savePath);

  ExitCode result = ExitCode::Success;
  if (!plugin->initPlugin()) {
    result = reportFailure("initPlugin returned false", FailureSource::PluginAnswer);
  } else {
    for (const auto& command : plan.commands) {
      state().strings["Command"] = command;
      const std::size_t firstLine = state().loggedLines.size();
      if (!plugin->execute()) {
        result = reportFailure("command \"" + command + "\" returned false", FailureSource::PluginAnswer);
        break;
      }
      if (const std::string missing = shortfall(command, firstLine); !missing.empty())
        result = reportFailure(missing);
    }
  }
  PluginModule::destroy(plugin);
  return result;
}

} // namespace standin
