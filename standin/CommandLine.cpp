#include "standin/CommandLine.h"

#include <CLI/CLI.hpp>

#include <charconv>
#include <fstream>
#include <iostream>
#include <sstream>

#include "standin/HostState.h"
#include "standin/Session.h"

namespace standin {

namespace {

// Splits NAME=VALUE; throws CLI's validation error naming the option otherwise.
std::pair<std::string, std::string> splitAssignment(const std::string& option, const std::string& text) {
  const auto equals = text.find('=');
  if (equals == std::string::npos || equals == 0)
    throw CLI::ValidationError(option, "expected NAME=VALUE, got \"" + text + "\"");
  return {text.substr(0, equals), text.substr(equals + 1)};
}

template <typename T> T parseValue(const std::string& option, const std::string& text) {
  T value{};
  const char* last = text.data() + text.size();
  auto [end, error] = std::from_chars(text.data(), last, value);
  if (error != std::errc() || end != last || text.empty())
    throw CLI::ValidationError(option, "\"" + text + "\" is not a valid number");
  return value;
}

std::string readTextFile(const std::string& option, const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw CLI::ValidationError(option, "cannot read file \"" + path + "\"");
  std::ostringstream content;
  content << in.rdbuf();
  return content.str();
}

// Options shared by every subcommand that runs the plug-in.
struct HostOptions {
  std::string plugin;
  std::string hostVersion = "2.2.0";
  std::string document = "vmr";
  std::vector<std::string> header;
  std::string answer = "auto";
};

void addHostOptions(CLI::App& app, HostOptions& options) {
  app.add_option("--plugin", options.plugin, "Plug-in module to load (default: the one next to this program)");
  app.add_option("--host-version", options.hostVersion, "Host version MAJOR.MINOR.BUILD the plug-in sees")
      ->capture_default_str();
  app.add_option("--document", options.document,
                 "Current document: 'vmr', 'none', or a document type number (3 is a VMR)")
      ->capture_default_str();
  app.add_option("--header", options.header,
                 "Set a field of the current VMR header, e.g. --header IsTalSpace=0 (fields: OffsetX/Y/Z, "
                 "FramingCubeDim, ResolutionX/Y/Z, IsTalSpace, IsMniSpace, LeftRightConvention)");
  app.add_option("--answer", options.answer,
                 "Answer to the reference-space question: yes, no, or auto (ask on a terminal, else no)")
      ->check(CLI::IsMember({"yes", "no", "auto"}))
      ->capture_default_str();
}

void applyHostOptions(const HostOptions& options) {
  auto& host = state();
  int parts[3] = {0, 0, 0};
  std::istringstream version(options.hostVersion);
  std::string piece;
  int count = 0;
  while (std::getline(version, piece, '.')) {
    if (count == 3) throw CLI::ValidationError("--host-version", "\"" + options.hostVersion + "\" has more than three parts");
    parts[count++] = parseValue<int>("--host-version", piece);
  }
  if (count == 0) throw CLI::ValidationError("--host-version", "\"" + options.hostVersion + "\" is empty");
  host.major = parts[0];
  host.minor = parts[1];
  host.build = parts[2];

  if (options.document == "none") {
    host.documentId = -1;
  } else if (options.document == "vmr") {
    host.documentId = 1;
    host.documentType = 3;
  } else {
    host.documentId = 1;
    host.documentType = parseValue<std::int32_t>("--document", options.document);
  }
  for (const auto& assignment : options.header) {
    const auto [field, value] = splitAssignment("--header", assignment);
    if (!host.header.set(field, value))
      throw CLI::ValidationError("--header", "unknown field or bad value in \"" + assignment + "\"");
  }
  host.answer = options.answer == "yes" ? Answer::Yes : options.answer == "no" ? Answer::No : Answer::Ask;
}

// The generic dialog driver: any parameter, any command, in order.
struct DialogOptions {
  std::vector<std::string> ints, floats, texts, textFiles, commands, show, save;
  std::string openPath, savePath;
  bool info = false;
};

void addDialogOptions(CLI::App& app, DialogOptions& options) {
  app.add_option("--int", options.ints, "Set an integer dialog parameter, NAME=VALUE");
  app.add_option("--float", options.floats, "Set a float dialog parameter, NAME=VALUE");
  app.add_option("--text", options.texts, "Set a text dialog parameter, NAME=VALUE");
  app.add_option("--text-file", options.textFiles, "Set a text dialog parameter from a file, NAME=FILE");
  app.add_option("--open-path", options.openPath, "Path the open-file dialog returns (default: cancelled)");
  app.add_option("--save-path", options.savePath, "Path the save-file dialog returns (default: cancelled)");
  app.add_option("--show", options.show, "Print a parameter after the commands ran, e.g. --show VOItext");
  app.add_option("--save", options.save, "Save a parameter to a file after the commands ran, NAME=FILE");
  app.add_flag("--info", options.info, "Print the plug-in's identification texts");
  app.add_option("commands", options.commands,
                 "Commands to execute in order: Start, ReadTextFile, SaveTextFile, CleanUpText (none: only "
                 "initialise and destroy the plug-in)");
}

SessionPlan applyDialogOptions(const DialogOptions& options, const std::string& plugin) {
  auto& host = state();
  for (const auto& text : options.ints) {
    const auto [name, value] = splitAssignment("--int", text);
    host.ints[name] = parseValue<std::int32_t>("--int", value);
  }
  for (const auto& text : options.floats) {
    const auto [name, value] = splitAssignment("--float", text);
    host.floats[name] = parseValue<float>("--float", value);
  }
  for (const auto& text : options.texts) {
    const auto [name, value] = splitAssignment("--text", text);
    host.strings[name] = value;
  }
  for (const auto& text : options.textFiles) {
    const auto [name, file] = splitAssignment("--text-file", text);
    host.strings[name] = readTextFile("--text-file", file);
  }
  if (!options.openPath.empty()) host.openPath = options.openPath;
  if (!options.savePath.empty()) host.savePath = options.savePath;

  SessionPlan plan;
  plan.pluginPath = plugin.empty() ? defaultPluginPath() : plugin;
  plan.commands = options.commands;
  plan.printIdentification = options.info;
  plan.showParameters = options.show;
  for (const auto& text : options.save) plan.saveParameters.push_back(splitAssignment("--save", text));
  return plan;
}

} // namespace

int runCommandLine(int argc, char** argv) {
  CLI::App app{"Stand-in host for the Orbiculon plug-in: runs the plug-in module exactly as the imaging "
               "host does, with the host log on standard output.",
               "CerevantRZ.exe"};
  app.footer("Exit codes: 0 success, 1 the plug-in refused (initPlugin or a command returned false), "
             "2 usage error.\n\nExamples:\n"
             "  CerevantRZ.exe dialog --info\n"
             "  CerevantRZ.exe dialog --float tX=-42 --float tY=-58 --float tZ=22 --float Radius=5 \\\n"
             "      --text Name_of_VOI=amygdala_L --int cR=255 --text FileName=out/amygdala Start");
  app.require_subcommand(1);

  HostOptions hostOptions;
  DialogOptions dialogOptions;
  auto* dialog = app.add_subcommand("dialog", "Drive the plug-in's dialog: set parameters, run commands");
  addHostOptions(*dialog, hostOptions);
  addDialogOptions(*dialog, dialogOptions);

  try {
    app.parse(argc, argv);
    applyHostOptions(hostOptions);
    if (dialog->parsed()) {
      const SessionPlan plan = applyDialogOptions(dialogOptions, hostOptions.plugin);
      return static_cast<int>(runSession(plan));
    }
  } catch (const CLI::ParseError& error) {
    const int code = app.exit(error);
    return code == 0 ? 0 : static_cast<int>(ExitCode::Usage);
  }
  return static_cast<int>(ExitCode::Usage);
}

} // namespace standin
