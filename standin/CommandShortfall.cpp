#include "standin/CommandShortfall.h"

#include <algorithm>

namespace standin {

std::string commandShortfall(const std::string& command, std::span<const std::string> logged,
                             const CommandFiles& files) {
  const auto any = [&](const char* prefix) {
    return std::any_of(logged.begin(), logged.end(),
                       [&](const std::string& line) { return line.rfind(prefix, 0) == 0; });
  };
  const std::string quoted = "\"" + command + "\"";
  if (any("Plugin>  Received unknown command: "))
    return "the plug-in does not know the command " + quoted + " (see the log)";
  if (any("Plugin>  Not enough memory") || any("Plugin>  The command failed unexpectedly"))
    return "the plug-in could not finish " + quoted + " (see the log)";
  if (command == "Start" && !any("Plugin>  Saved: "))
    return "the plug-in could not write \"" + files.voiFile + "\" (see the log)";
  if (command == "SaveTextFile" && !any("Plugin>  Saved VOI info in: "))
    return "the plug-in could not save \"" + files.savePath + "\" (see the log)";
  if (command == "ReadTextFile" &&
      (any("Plugin>  The list is unchanged: ") || any("Plugin>  Error while reading")))
    return "the plug-in could not read \"" + files.openPath + "\" (see the log)";
  return {};
}

} // namespace standin
