#include "standin/ConvertCommand.h"

#include <array>
#include <iostream>
#include <vector>

#include "coords/CoordinateList.h"
#include "standin/CleaningExplanation.h"
#include "standin/HostState.h"

namespace standin {

CLI::Option* addTransformOption(CLI::App& app, const std::string& name,
                                std::optional<orbiculon::SpaceTransform>& transform,
                                const std::string& purpose) {
  std::vector<std::pair<std::string, std::string>> names;
  for (const char* known : {"icbm-spm", "icbm-fsl", "icbm-other", "mni2tal"})
    names.emplace_back(known, known);
  return app
      .add_option_function<std::string>(
          name,
          [&transform](const std::string& value) { transform = orbiculon::transformForOptionName(value); },
          purpose +
              ": icbm-spm (icbm2tal, for data normalised with SPM), icbm-fsl (icbm2tal, for data normalised "
              "with FSL), icbm-other (icbm2tal, for other templates) or mni2tal (mni2tal (Brett), the older "
              "piecewise transform; some packages use the name mni2tal for icbm2tal (other), which is "
              "icbm-other here). From MNI to TAL the transform, from TAL to MNI its exact inverse")
      ->transform(choiceOf(names))
      ->type_name("TRANSFORM");
}

CLI::App* setupConvert(CLI::App& app, ConvertOptions& options) {
  auto* convert = app.add_subcommand(
      "convert", "Clean a coordinate list and print it with its centres converted to the other space");
  convert
      ->add_option("LIST", options.list,
                   "Coordinate list file, at most 99999 bytes (- is standard input, which may be a pipe)")
      ->required();
  addSpaceOption(*convert, options.space, &options.spaceGiven);
  addTransformOption(*convert, "--transform", options.transform,
                     "The transform from the space of the list (--space) to the other one")
      ->required();
  addCompletionOptions(*convert, options.completion);
  addPluginOption(*convert, options.plugin);
  convert->footer(
      "The list is cleaned in its own space first (see `clean`), then each centre is converted; radius,\n"
      "name and colour stay. The converted list goes to standard output in the cleaned format (one\n"
      "decimal), the log to standard error. A converted centre outside the bounds of the other space\n"
      "is printed too, with a note: cleaning the list for that space would drop it. --complete reads\n"
      "the list as a table from a paper (see `clean`); a list that names its space in a\n"
      "\"// Reference=\" line is printed with the Reference line of the other space first. Exit status\n"
      "1 when no line is kept.\n\n"
      "Examples:\n"
      "  " ORBICULON_PROGRAM " convert examples/spreadsheet_export.csv --space mni --transform icbm-spm\n"
      "  " ORBICULON_PROGRAM " convert tal_peaks.txt --transform mni2tal > mni_peaks.txt");
  return convert;
}

ExitCode runConvert(const ConvertOptions& options) {
  const std::string list = readCoordinateListFile("LIST", options.list);
  const Space space = chooseSpace(options.space, options.spaceGiven, list, "LIST", options.list);
  const bool named = referenceSpace(list, "LIST", options.list).has_value();
  CompletionOptions completion = options.completion;
  completion.complete = completion.complete || named;
  if (completion.complete) checkCompletionDefaults(completion.radius, completion.name);

  auto& host = state();
  host.ints["MNIorTal"] = mniOrTal(space);
  host.strings["VOItext"] = std::string(withoutByteOrderMark(list));
  if (completion.complete) setCompletionParameters(completion.radius, completion.name, completion.colour);
  // The converted list goes to standard output, so the log goes to standard error.
  host.log = &std::cerr;
  SessionPlan plan;
  plan.pluginPath = pluginPathOrDefault(options.plugin);
  plan.commands = {"CleanUpText"};
  if (const ExitCode result = runSession(plan); result != ExitCode::Success) return result;

  // The lines of the cleaned list, read back and printed again with the converted
  // centre, exactly as "Start" converts them.
  const bool fromMni = space == Space::Mni;
  const std::string& cleaned = host.strings["VOItext"];
  orbiculon::CoordinateLineCursor cursor(cleaned);
  orbiculon::CoordinateEntry entry{};
  std::array<char, orbiculon::kCleanedLineMaxLength> line{};
  std::string converted;
  int lines = 0;
  for (; cursor.parse(lines, entry); ++lines) {
    const orbiculon::SpacePoint centre =
        orbiculon::convertCentre(*options.transform, fromMni, {entry.x, entry.y, entry.z});
    entry.x = centre.x;
    entry.y = centre.y;
    entry.z = centre.z;
    if (lines > 0) converted += '\n';
    converted.append(line.data(), orbiculon::formatCleanedLine(entry, line));
  }

  // Cleaning the converted list for the other space shows which centres left its bounds.
  std::vector<char> check(converted.begin(), converted.end());
  check.push_back('\0');
  const int inBounds = orbiculon::cleanCoordinateList(check, !fromMni);
  if (inBounds < lines) {
    const char* target = spaceName(otherSpace(space));
    std::cerr << "note: " << lines - inBounds << " of " << lines << " converted centres lie outside the "
              << target << " bounds; cleaning the list for " << target << " drops them" << std::endl;
  }
  std::cout << (named ? referenceLine(otherSpace(space)) : "") << converted << (converted.empty() ? "" : "\n")
            << std::flush;
  if (lines == 0) return reportFailure("no line of " + inQuotes(options.list) + " was kept");
  return ExitCode::Success;
}

} // namespace standin
