#include "standin/DialogCommand.h"

#include <iostream>
#include <optional>
#include <sstream>

#include "standin/CleaningExplanation.h"
#include "standin/DialogStartValues.h"
#include "standin/EndingSignals.h"
#include "standin/HostState.h"

namespace standin {

namespace {

constexpr std::size_t kByteOrderMarkLength = 3;

// A parameter's value as text, or nothing when the dialog never held it.
std::optional<std::string> parameterText(const std::string& name) {
  const auto& host = state();
  if (const auto text = host.strings.find(name); text != host.strings.end()) return text->second;
  if (const auto integer = host.ints.find(name); integer != host.ints.end())
    return std::to_string(integer->second);
  if (const auto real = host.floats.find(name); real != host.floats.end()) {
    std::ostringstream text;
    text << real->second;
    return text.str();
  }
  return std::nullopt;
}

// Every parameter at the value the dialog script starts it with, as the host's
// dialog holds them before the user changes any.
void setStartValues() {
  auto& host = state();
  for (const auto& [name, type, value] : kDialogStartValues) {
    if (std::string_view(type) == "integer")
      host.ints[name] = parseNumber<std::int32_t>(name, value);
    else if (std::string_view(type) == "float")
      host.floats[name] = parseNumber<float>(name, value);
    else
      host.strings[name] = value;
  }
}

// "Each starts as the dialog does: Radius=5.0 ..., the others at 0 or empty."
std::string startValuesText() {
  std::string text = "Each starts as the dialog does:";
  for (const auto& [name, type, value] : kDialogStartValues) {
    const std::string_view shown = value;
    if (!shown.empty() && shown.find_first_not_of("0.") != std::string_view::npos)
      text += std::string(" ") + name + "=" + value;
  }
  return text + ", the others at 0 or empty.";
}

void setParameters(const DialogOptions& options) {
  auto& host = state();
  setStartValues();
  for (const auto& text : options.ints) {
    const auto [name, value] = splitAssignment("--int", text);
    host.ints[name] = parseNumber<std::int32_t>("--int", value);
  }
  for (const auto& text : options.floats) {
    const auto [name, value] = splitAssignment("--float", text);
    host.floats[name] = parseNumber<float>("--float", value);
  }
  for (const auto& text : options.texts) {
    const auto [name, value] = splitAssignment("--text", text);
    host.strings[name] = value;
  }
  for (const auto& text : options.textFiles) {
    const auto [name, file] = splitAssignment("--text-file", text);
    // The plug-in reads at most the parameter's capacity less its NUL; a longer text
    // reaches it cut the same way however long it is. A UTF-8 byte-order mark that
    // an editor put at the start is not text of the dialog (in a list it would spoil
    // the first line), so it is read past and does not count.
    const std::size_t capacity = stringParameterCapacity(name);
    const std::string content = readTextInput("--text-file", file, capacity + kByteOrderMarkLength);
    host.strings[name] = std::string(withoutByteOrderMark(content)).substr(0, capacity);
    if (host.strings[name].size() >= capacity) {
      std::cerr << "note: --text-file: the plug-in reads only the first " << capacity - 1 << " bytes of "
                << inQuotes(file) << " from parameter " << inQuotes(name) << std::endl;
    }
  }
  if (!options.openPath.empty()) host.openPath = options.openPath;
  if (!options.savePath.empty()) host.savePath = options.savePath;
}

} // namespace

CLI::App* setupDialog(CLI::App& app, DialogOptions& options) {
  auto* dialog = app.add_subcommand(
      "dialog", "Drive the plug-in's dialog: set parameters (each starts as the dialog starts it), run its "
                "commands");
  addPluginOption(*dialog, options.plugin);
  addHostOptions(*dialog, options.host);
  dialog->add_option("--int", options.ints, "Set an integer parameter, NAME=VALUE (repeatable)")
      ->allow_extra_args(false);
  dialog->add_option("--float", options.floats, "Set a float parameter, NAME=VALUE (repeatable)")
      ->allow_extra_args(false);
  dialog->add_option("--text", options.texts, "Set a text parameter, NAME=VALUE (repeatable)")
      ->allow_extra_args(false);
  dialog
      ->add_option("--text-file", options.textFiles,
                   "Set a text parameter to the content of a file, NAME=FILE (repeatable; FILE - is "
                   "standard input)")
      ->allow_extra_args(false);
  dialog->add_option("--open-path", options.openPath,
                     "Path the open-file dialog returns (default: the dialog is cancelled)");
  dialog->add_option("--save-path", options.savePath,
                     "Path the save-file dialog returns (default: the dialog is cancelled)");
  dialog
      ->add_option("--show", options.show,
                   "Print a parameter after the commands ran, e.g. --show VOItext (repeatable)")
      ->allow_extra_args(false);
  dialog
      ->add_option("--save", options.save,
                   "Save a parameter to a file after the commands succeeded, NAME=FILE, e.g. --save "
                   "AllText=list.txt (repeatable)")
      ->allow_extra_args(false);
  dialog->add_flag("--info", options.info, "Print the plug-in's identification texts");
  dialog->add_option("commands", options.commands,
                     "Commands to run in order: Start, ReadTextFile, SaveTextFile, CleanUpText (none: only "
                     "initialise and destroy the plug-in). Running stops at the first that returns false.");
  dialog->footer(
      "Parameters of the dialog: Command, MNIorTal (0 TAL, 1 MNI), tX, tY, tZ, Radius (float), Name_of_VOI,\n"
      "cR, cG, cB, FileName (the VOI file without .voi), LoadInCV (1 load), listVOIinfoFrom (1 the list),\n"
      "VOItext (the coordinate list), AllText (written by ReadTextFile), ConvertSpace (0 none; 1, 2, 3\n"
      "icbm2tal SPM, FSL, other; 4 mni2tal).\n" +
      startValuesText() +
      "\n\n"
      "Examples:\n"
      "  " ORBICULON_PROGRAM " dialog --info\n"
      "  " ORBICULON_PROGRAM " dialog --float tX=-42 --float tY=-58 --float tZ=22 --float Radius=5 \\\n"
      "      --text Name_of_VOI=amygdala_L --int cR=255 --int LoadInCV=1 --text FileName=amygdala Start\n"
      "  " ORBICULON_PROGRAM " dialog --text-file VOItext=list.txt --int MNIorTal=1 --save VOItext=clean.txt "
      "CleanUpText\n"
      "  " ORBICULON_PROGRAM " dialog --open-path list.txt --show AllText ReadTextFile\n"
      "  " ORBICULON_PROGRAM " dialog --header IsTalSpace=0 --answer no --int listVOIinfoFrom=1 \\\n"
      "      --text-file VOItext=list.txt --text FileName=out Start");
  return dialog;
}

ExitCode runDialog(const DialogOptions& options) {
  applyHostOptions(options.host);
  setParameters(options);
  std::vector<std::pair<std::string, std::string>> saves;
  for (const auto& text : options.save) {
    saves.push_back(splitAssignment("--save", text));
    checkOutputPath("--save", saves.back().second);
    removeTemporaryFilesOnEndingSignals(saves.back().second);
  }
  VoiLoads loads;
  installVoiLoader(loads);

  SessionPlan plan;
  plan.pluginPath = pluginPathOrDefault(options.plugin);
  plan.commands = options.commands;
  plan.printIdentification = options.info;
  ExitCode result = runSession(plan);

  for (const auto& name : options.show) {
    const auto value = parameterText(name);
    std::cout << "[parameter] " << name << ":" << (value ? "" : " (not set)") << "\n";
    if (value && !value->empty()) std::cout << *value << (value->back() == '\n' ? "" : "\n");
  }
  std::cout << std::flush;
  if (result != ExitCode::Success) return result;

  for (const auto& [name, file] : saves) {
    const auto value = parameterText(name);
    if (!value)
      return reportFailure("--save: parameter " + inQuotes(name) + " was never set; nothing saved to " +
                           inQuotes(file));
    std::string error;
    if (!writeWholeFile(file, *value, error)) return reportFailure("--save: " + error);
  }
  if (loads.failed > 0) return reportFailure("a VOI file the plug-in wrote does not read back (see the log)");
  return ExitCode::Success;
}

} // namespace standin
