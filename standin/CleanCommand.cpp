#include "standin/CleanCommand.h"

#include <iostream>

#include "standin/CleaningExplanation.h"
#include "standin/HostState.h"
#include "standin/PeakLists.h"

namespace standin {

CLI::App* setupClean(CLI::App& app, CleanOptions& options) {
  auto* clean =
      app.add_subcommand("clean", "Clean a coordinate list: keep the valid lines, in fixed columns");
  clean
      ->add_option("LIST", options.list,
                   "Coordinate list file, at most 99999 bytes (- is standard input, which may be a pipe)")
      ->required();
  addSpaceOption(*clean, options.space, &options.spaceGiven);
  clean
      ->add_option(
          "--output,-o", options.output,
          "File for the cleaned list, written as the dialog's Save button writes it (no line end "
          "after the last line); an existing file is replaced. Default (and -): standard output, where the "
          "log then goes to standard error")
      ->check(nonEmptyPath());
  clean->add_flag("--explain", options.explain,
                  "After the log, one line for every input line that is dropped or changed, saying why, "
                  "and for text that cleaning ignores (after the eighth field, a CR inside a line, a "
                  "byte-order mark), with hints; the cleaned list stays the same");
  addCompletionOptions(*clean, options.completion);
  addPluginOption(*clean, options.plugin);
  clean->footer(
      "Each line needs 8 fields: x y z radius name red green blue, separated by blanks, tabs, or any\n"
      "of , ; : \" '. Lines outside the bounds of the space are dropped; radius is clamped to\n"
      "0.5 ... 20 and colours to 0 ... 255. With --complete, the list is read as a table from a paper:\n"
      "its heading names the x, y, z and region columns, other columns are ignored, and radius, name\n"
      "and colour come from --radius, --name and --colour. Lines starting with // are comments; a\n"
      "\"// Reference=MNI\" (or Talairach, TAL) line chooses the space, reads the file as a peak file of\n"
      "experiments without --complete, and is printed first on standard output. Exit status 1 when\n"
      "no line is kept.\n\n"
      "Examples:\n"
      "  " ORBICULON_PROGRAM " clean examples/paper_table.txt --explain\n"
      "  " ORBICULON_PROGRAM " clean examples/peak_table.txt --complete --radius 6 --name peak\n"
      "  " ORBICULON_PROGRAM " clean peaks.csv --space mni --output peaks_clean.txt\n"
      "  cat peaks.txt | " ORBICULON_PROGRAM " clean - > peaks_clean.txt");
  return clean;
}

ExitCode runClean(const CleanOptions& options) {
  // "-" is standard output, as it is standard input for LIST, never a file named "-".
  const bool toFile = !options.output.empty() && options.output != "-";
  if (toFile) checkOutputPath("--output", options.output);
  if (toFile && options.output.size() >= stringParameterCapacity("FileName")) {
    throw CLI::ValidationError(
        "--output", "the path has " + std::to_string(options.output.size()) + " characters; at most " +
                        std::to_string(stringParameterCapacity("FileName") - 1) + " fit");
  }
  const std::string file = readCoordinateListFile("LIST", options.list);
  const Space space = chooseSpace(options.space, options.spaceGiven, file, "LIST", options.list);
  const bool named = referenceSpace(file, "LIST", options.list).has_value();
  // A peak file that names its space is read as a table without --complete.
  CompletionOptions completion = options.completion;
  completion.complete = completion.complete || named;
  if (completion.complete) checkCompletionDefaults(completion.radius, completion.name);
  const std::string& list = file;

  auto& host = state();
  host.ints["MNIorTal"] = mniOrTal(space);
  host.strings["VOItext"] = std::string(withoutByteOrderMark(list));
  if (toFile) host.savePath = options.output;
  if (completion.complete) setCompletionParameters(completion.radius, completion.name, completion.colour);

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
    const bool isMni = space == Space::Mni;
    const auto defaults =
        completionDefaults(completion.complete, completion.radius, completion.name, completion.colour);
    const CleaningReport report =
        explainCleaning(list, isMni, isMni ? "--space tal" : "--space mni", defaults ? &*defaults : nullptr);
    if (report.outOfMemory) return reportOutOfMemory();
    for (const auto& line : report.lines)
      logStream << line << "\n";
    logStream << std::flush;
  }
  const std::string& cleaned = host.strings["VOItext"];
  if (!toFile) {
    std::cout << (named ? referenceLine(space) : "") << cleaned << (cleaned.empty() ? "" : "\n")
              << std::flush;
  }
  if (cleaned.empty()) return reportFailure("no line of " + inQuotes(options.list) + " was kept");
  return ExitCode::Success;
}

} // namespace standin
