#include "standin/CommandLine.h"

#include <CLI/CLI.hpp>

#include <exception>
#include <iostream>

#include "standin/CleanCommand.h"
#include "standin/ConvertCommand.h"
#include "standin/DialogCommand.h"
#include "standin/Session.h"
#include "standin/SpheresCommand.h"

namespace standin {

int runCommandLine(int argc, char** argv) {
  CLI::App app{"Stand-in host for the Orbiculon plug-in: runs the plug-in module exactly as the imaging "
               "host does, with the host log on standard output.",
               "CerevantRZ.exe"};
  app.footer("Exit codes: 0 success; 1 the plug-in refused (initPlugin or a command returned false, or the\n"
             "file it should have written is missing or does not read back); 2 usage error (bad option or\n"
             "value, a missing or unreadable input file, an output folder that does not exist).\n\n"
             "Examples:\n"
             "  CerevantRZ.exe spheres examples/clean_list.txt --output study_vois\n"
             "  CerevantRZ.exe spheres --centre -42 -58 22 --radius 5 --name angular_L -o angular_L\n"
             "  CerevantRZ.exe clean examples/paper_table.txt --explain\n"
             "  CerevantRZ.exe convert examples/spreadsheet_export.csv --space mni --transform icbm-spm\n"
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
  const auto* spheres = setupSpheres(app, spheresOptions);
  const auto* clean = setupClean(app, cleanOptions);
  const auto* dialog = setupDialog(app, dialogOptions);
  const auto* convert = setupConvert(app, convertOptions);

  try {
    app.parse(argc, argv);
    if (spheres->parsed()) return static_cast<int>(runSpheres(spheresOptions));
    if (clean->parsed()) return static_cast<int>(runClean(cleanOptions));
    if (dialog->parsed()) return static_cast<int>(runDialog(dialogOptions));
    if (convert->parsed()) return static_cast<int>(runConvert(convertOptions));
  } catch (const CLI::ParseError& error) {
    const int code = app.exit(error);
    return code == 0 ? 0 : static_cast<int>(ExitCode::Usage);
  } catch (const std::exception& error) {
    std::cerr << "error: " << error.what() << std::endl;
    return static_cast<int>(ExitCode::Usage);
  }
  return static_cast<int>(ExitCode::Usage);
}

} // namespace standin
