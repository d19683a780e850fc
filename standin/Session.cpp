#include "standin/Session.h"

#include <iostream>

#include "standin/HostState.h"
#include "standin/PluginModule.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace standin {

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
    std::cerr << "error: " << module.error() << std::endl;
    return ExitCode::Usage;
  }
  if (plan.printIdentification) {
    std::cerr << "[plugin] " << module.name() << " " << module.version() << " - " << module.description()
              << " (author " << module.author() << ", help " << module.helpFile() << ", dialog "
              << module.guiScript() << ")" << std::endl;
  }

  PluginObject* plugin = module.create();
  if (plugin == nullptr) {
    std::cerr << "error: createPlugin returned no object" << std::endl;
    return ExitCode::Refused;
  }

  ExitCode result = ExitCode::Success;
  if (!plugin->initPlugin()) {
    std::cerr << "[host] initPlugin returned false" << std::endl;
    result = ExitCode::Refused;
  } else {
    for (const auto& command : plan.commands) {
      state().strings["Command"] = command;
      if (!plugin->execute()) {
        std::cerr << "[host] command \"" << command << "\" returned false" << std::endl;
        result = ExitCode::Refused;
        break;
      }
    }
  }
  PluginModule::destroy(plugin);
  return result;
}

} // namespace standin
