#include "standin/CleanCommand.h"

#include <iostream>

#include "standin/CleaningExplanation.h"
#include "standin/HostState.h"

namespace standin {

CLI::App* setupClean(CLI::App& app, CleanOptions& options) {
  auto* clean =
      app.add_subcommand("clean", "Clean a coordinate list: keep the valid lines, in fixed columns");
  clean
      ->add_option("LIST", options.list,
                   "Coordinate list file, at most 99999 bytes (- is standard input, which may be a pipe)")
      ->required();
  addSpaceOption(*clean, options.space);
  clean
      ->add_option("--output,-o", options.output,
                   "File for the cleaned list, written as the dialog's Save button writes it (no line end "
                   "after the last line); an existing file is replaced. Default: standard output, where the "
                   "log then goes to standard error")
      ->check(nonEmptyPath());
  clean->add_flag("--explain", options.explain,
                  "After the log, one line for every input line that is dropped or changed, saying why, "
                  "and for text that cleaning ignores (after the eighth field, a CR inside a line, a "
                  "byte-order mark), with hints; the cleaned list stays the same");
  addPluginOption(*clean, options.plugin);
  clean->footer(
      "Each line needs 8 fields: x y z radius name red green blue, separated by blanks, tabs, or any\n"
      "of , ; : \" '. Lines outside the bounds of the space are dropped; radius is clamped to\n"
      "0.5 ... 20 and colours to 0 ... 255.\n\n"
      "Examples:\n"
      "  CerevantRZ.exe clean examples/paper_table.txt --explain\n"
      "  CerevantRZ.exe clean peaks.csv --space mni --output peaks_clean.txt\n"
      "  cat peaks.txt | CerevantRZ.exe clean - > peaks_clean.txt");
  return clean;
}

ExitCode runClean(const CleanOptions& options) {
  const bool toFile = !options.output.empty();
  if (toFile) checkOutputPath("--output", options.output);
  if (toFile && options.output.size() >= stringParameterCapacity("FileName")) {
    throw CLI::ValidationError(
        "--output", "the path has " + std::to_string(options.output.size()) + " characters; at most " +
                        std::to_string(stringParameterCapacity("FileName") - 1) + " fit");
  }
  const std::string list = readCoordinateListFile("LIST", options.list);

  auto& host = state();
  host.ints["MNIorTal"] = mniOrTal(options.space);
  host.strings["VOItext"] = std::string(withoutByteOrderMark(list));
  if (toFile) host.savePath = options.output;

  // With the cleaned list on standard output, the log goes to standard error.
  std::ostream& logStream = toFile ? std::cout : std::cerr;
  host.log = &logStream;
  SessionPlan plan;
  plan.pluginPath = pluginPathOrDefault(options.plugin);
  plan.commands = {"CleanUpText"};
  if (toFile) plan.commands.emplace_back("SaveTextFile");
  const ExitCode result = runSession(plan);
  if (result != ExitCode::Success) return result;

  if (options.explain) {
    const bool isMni = options.space == Space::Mni;
    for (const auto& line : explainCleaning(list, isMni, isMni ? "--space tal" : "--space mni").lines)
      logStream << line << "\n";
    logStream << std::flush;
  }
  if (!toFile) {
    const std::string& cleaned = host.strings["VOItext"];
    std::cout << cleaned << (cleaned.empty() ? "" : "\n") << std::flush;
  }
  return ExitCode::Success;
}

} // namespace standin
