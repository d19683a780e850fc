#pragma once

#include <CLI/CLI.hpp>

#include <string>
#include <vector>

#include "standin/CliCommon.h"
#include "standin/Session.h"

namespace standin {

// `dialog`: the generic driver. Sets any dialog parameter, gives the file dialogs
// their answers, shapes the host, runs the plug-in's commands in order and shows or
// saves the parameters afterwards.
struct DialogOptions {
  std::string plugin;
  HostOptions host;
  std::vector<std::string> ints, floats, texts, textFiles, commands, show, save;
  std::string openPath, savePath;
  bool info = false;
};

CLI::App* setupDialog(CLI::App& app, DialogOptions& options);
ExitCode runDialog(const DialogOptions& options);

} // namespace standin
