#include "standin/CommandLine.h"

#include <CLI/CLI.hpp>

#include <exception>
#include <iostream>
#include <new>

#include "standin/CleanCommand.h"
#include "standin/ConvertCommand.h"
#include "standin/DialogCommand.h"
#include "standin/PictureCommand.h"
#include "standin/Session.h"
#include "standin/SpheresCommand.h"
#include "standin/Terminal.h"

namespace standin {

namespace {

ExitCode parseAndRun(int argc, char** argv) {
  CLI::App app{"Stand-in host for the Orbiculon plug-in: runs the plug-in module exactly as the imaging "
               "host does, with the host log on standard output.",
               "CerevantRZ.exe"};
  app.footer("Exit codes:\n"
             "  0  everything asked was done\n"
             "  1  the plug-in ran but something failed: initPlugin or a command returned false, Start\n"
             "     wrote no VOI file, a file was not written or read or does not read back, or writing\n"
             "     to standard output failed\n"
             "  2  the command line was wrong (a bad option or value, an input that cannot be read, an\n"
             "     output folder that does not exist, a module that cannot be loaded); nothing ran\n\n"
             "Examples:\n"
             "  CerevantRZ.exe spheres examples/clean_list.txt --output study_vois\n"
             "  CerevantRZ.exe spheres --centre -42 -58 22 --radius 5 --name angular_L -o angular_L\n"
             "  CerevantRZ.exe clean examples/paper_table.txt --explain\n"
             "  CerevantRZ.exe convert examples/spreadsheet_export.csv --space mni --transform icbm-spm\n"
             "  CerevantRZ.exe picture study_vois.voi -o study_vois.svg\n"
             "  CerevantRZ.exe dialog --text-file VOItext=list.txt --show VOItext CleanUpText\n"
             "Run CerevantRZ.exe SUBCOMMAND --help for the options of each.");
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
  PictureOptions pictureOptions;
  const auto* spheres = setupSpheres(app, spheresOptions);
  const auto* clean = setupClean(app, cleanOptions);
  const auto* dialog = setupDialog(app, dialogOptions);
  const auto* convert = setupConvert(app, convertOptions);
  const auto* picture = setupPicture(app, pictureOptions);

  try {
    app.parse(argc, argv);
    if (spheres->parsed()) return runSpheres(spheresOptions);
    if (clean->parsed()) return runClean(cleanOptions);
    if (dialog->parsed()) return runDialog(dialogOptions);
    if (convert->parsed()) return runConvert(convertOptions);
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
    result = reportFailure("not enough memory to finish the command");
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
