#include "standin/CommandLine.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <cctype>
#include <exception>
#include <functional>
#include <iostream>
#include <new>

#include "standin/CleanCommand.h"
#include "standin/ConvertCommand.h"
#include "standin/DialogCommand.h"
#include "standin/NiftiCommand.h"
#include "standin/PictureCommand.h"
#include "standin/Session.h"
#include "standin/SpheresCommand.h"
#include "standin/Terminal.h"

namespace standin {

namespace {

// How many single-character edits turn `a` into `b` (insertions, deletions,
// substitutions).
std::size_t editDistance(std::string_view a, std::string_view b) {
  std::vector<std::size_t> row(b.size() + 1);
  for (std::size_t j = 0; j <= b.size(); ++j)
    row[j] = j;
  for (std::size_t i = 1; i <= a.size(); ++i) {
    std::size_t diagonal = row[0];
    row[0] = i;
    for (std::size_t j = 1; j <= b.size(); ++j) {
      const std::size_t above = row[j];
      row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] == b[j - 1] ? 0 : 1)});
      diagonal = above;
    }
  }
  return row[b.size()];
}

// "; did you mean "NAME"?" for the candidate nearest to `word`, when one is near
// enough to be a slip of the keys (at most a third of its letters, and at least one);
// empty otherwise.
std::string suggestion(std::string_view word, const std::vector<std::string>& candidates) {
  std::string best;
  std::size_t bestDistance = std::max<std::size_t>(1, word.size() / 3) + 1;
  for (const auto& candidate : candidates) {
    if (const std::size_t distance = editDistance(word, candidate); distance < bestDistance) {
      best = candidate;
      bestDistance = distance;
    }
  }
  return best.empty() ? std::string() : "; did you mean " + inQuotes(best) + "?";
}

// Every name the options of `app` answer to, with their dashes.
std::vector<std::string> optionNames(const CLI::App& app) {
  std::vector<std::string> names;
  for (const CLI::Option* option : app.get_options()) {
    for (const auto& name : option->get_lnames())
      names.push_back("--" + name);
    for (const auto& name : option->get_snames())
      names.push_back("-" + name);
  }
  return names;
}

// A word that is an option rather than a value: "-" (standard input) and negative
// numbers (-42 of --centre) are values.
bool looksLikeOption(const std::string& word) {
  return word.size() > 1 && word[0] == '-' && !std::isdigit(static_cast<unsigned char>(word[1])) &&
         word[1] != '.';
}

// Names a mistyped subcommand or an unknown option, with the nearest right one,
// before CLI11 parses: CLI11 would report the subcommand or an option the command
// requires as missing instead. Empty when every option and the subcommand are known;
// `command` becomes the program name and the subcommand given, for the message.
std::string unknownWord(const CLI::App& app, int argc, char** argv, std::string& command) {
  const CLI::App* current = &app;
  command = kProgramName;
  for (int i = 1; i < argc; ++i) {
    const std::string word = argv[i];
    if (word == "--") break;
    if (!looksLikeOption(word)) {
      if (current != &app) continue;
      std::vector<std::string> names;
      for (const CLI::App* subcommand : app.get_subcommands(std::function<bool(const CLI::App*)>()))
        names.push_back(subcommand->get_name());
      if (std::find(names.begin(), names.end(), word) == names.end()) {
        // `orbiculon version` and `orbiculon help` mean the options of that name.
        if (app.get_option_no_throw("--" + word) != nullptr)
          return "unknown subcommand " + inQuotes(word) + "; did you mean " + inQuotes("--" + word) + "?";
        return "unknown subcommand " + inQuotes(word) + suggestion(word, names);
      }
      current = app.get_subcommand(word);
      command += " " + word;
      continue;
    }
    // --name=value and -ovalue name the option before the value.
    const std::string name = word[1] == '-' ? word.substr(0, word.find('=')) : word.substr(0, 2);
    if (current->get_option_no_throw(name) == nullptr) {
      const std::string where = current == &app ? std::string() : " of " + current->get_name();
      return "unknown option " + inQuotes(name) + where + suggestion(name, optionNames(*current));
    }
  }
  return {};
}

ExitCode parseAndRun(int argc, char** argv) {
  CLI::App app{"Spherical volumes of interest (VOIs) from Talairach or MNI coordinates: runs the Orbiculon "
               "plug-in module exactly as the imaging host does, with the host log on standard output.",
               kProgramName};
  app.set_version_flag("--version", std::string(kProgramName) + " " + ORBICULON_VERSION,
                       "Print the program's version and exit");
  app.footer("Exit codes:\n"
             "  0  everything asked was done\n"
             "  1  the plug-in ran but something failed: initPlugin or a command returned false, Start\n"
             "     wrote no VOI file, a file was not written or read or does not read back, or writing\n"
             "     to standard output failed\n"
             "  2  the command line was wrong (a bad option or value, an input that cannot be read, an\n"
             "     output folder that does not exist, a module that cannot be loaded); nothing ran\n\n"
             "Examples:\n"
             "  " ORBICULON_PROGRAM " spheres examples/clean_list.txt --output study_vois\n"
             "  " ORBICULON_PROGRAM " spheres --centre -42 -58 22 --radius 5 --name angular_L -o angular_L\n"
             "  " ORBICULON_PROGRAM " clean examples/paper_table.txt --explain\n"
             "  " ORBICULON_PROGRAM
             " convert examples/spreadsheet_export.csv --space mni --transform icbm-spm\n"
             "  " ORBICULON_PROGRAM " nifti study_vois.voi -o study_vois.nii.gz\n"
             "  " ORBICULON_PROGRAM " picture study_vois.voi -o study_vois.svg\n"
             "  " ORBICULON_PROGRAM " dialog --text-file VOItext=list.txt --show VOItext CleanUpText\n"
             "Run " ORBICULON_PROGRAM " SUBCOMMAND --help for the options of each.");
  app.require_subcommand(1);
  // Options begin with "-" on every platform: an argument "/path" is a path, also on
  // Windows (where CLI11 would otherwise take it for a "/option").
  app.allow_windows_style_options(false);
  app.failure_message([](const CLI::App* failed, const CLI::Error& error) {
    std::string command = failed->get_name();
    for (const CLI::App* subcommand : failed->get_subcommands())
      command += " " + subcommand->get_name();
    return "error: " + std::string(error.what()) + "\nRun " + command +
           " --help for the options and examples.\n";
  });

  DialogOptions dialogOptions;
  SpheresOptions spheresOptions;
  CleanOptions cleanOptions;
  ConvertOptions convertOptions;
  NiftiOptions niftiOptions;
  PictureOptions pictureOptions;
  const auto* spheres = setupSpheres(app, spheresOptions);
  const auto* clean = setupClean(app, cleanOptions);
  const auto* dialog = setupDialog(app, dialogOptions);
  const auto* convert = setupConvert(app, convertOptions);
  const auto* nifti = setupNifti(app, niftiOptions);
  const auto* picture = setupPicture(app, pictureOptions);

  std::string command;
  if (const std::string unknown = unknownWord(app, argc, argv, command); !unknown.empty()) {
    std::cerr << "error: " << unknown << "\nRun " << command << " --help for the options and examples.\n"
              << std::flush;
    return ExitCode::Usage;
  }
  try {
    app.parse(argc, argv);
    if (spheres->parsed()) return runSpheres(spheresOptions);
    if (clean->parsed()) return runClean(cleanOptions);
    if (dialog->parsed()) return runDialog(dialogOptions);
    if (convert->parsed()) return runConvert(convertOptions);
    if (nifti->parsed()) return runNifti(niftiOptions);
    if (picture->parsed()) return runPicture(pictureOptions);
  } catch (const CLI::ParseError& error) {
    return app.exit(error) == 0 ? ExitCode::Success : ExitCode::Usage;
  }
  return ExitCode::Usage;
}

} // namespace

int runCommandLine(int argc, char** argv) {
  holdClosedStandardStreams();
  CheckedStandardOutput output;
  ExitCode result = ExitCode::Failed;
  try {
    result = parseAndRun(argc, argv);
  } catch (const std::bad_alloc&) {
    result = reportOutOfMemory();
  } catch (const std::exception& error) {
    result =
        reportFailure(std::string("the command stopped on an unexpected failure (") + error.what() + ")");
  }
  if (const std::string failure = output.finish(); !failure.empty()) {
    const ExitCode failed = reportFailure(failure);
    if (result == ExitCode::Success) result = failed;
  }
  return static_cast<int>(result);
}

} // namespace standin
