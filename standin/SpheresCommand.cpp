#include "standin/SpheresCommand.h"

#include <filesystem>
#include <iostream>

#include "coords/CoordinateEntry.h"
#include "standin/CleaningExplanation.h"
#include "standin/ConvertCommand.h"
#include "standin/HostState.h"
#include "standin/PeakLists.h"
#include "standin/PictureCommand.h"

namespace standin {

namespace {

constexpr char kVoiSuffix[] = ".voi";
constexpr std::string_view kVoiSuffixView = kVoiSuffix;
// Dialog values "Start" reads for the source it does not use.
constexpr int kListSource = 1;
constexpr int kDialogSource = 0;

void checkName(const std::string& name) {
  if (name.size() > orbiculon::kCoordinateNameMaxLength) {
    throw CLI::ValidationError("--name", "the name has " + std::to_string(name.size()) +
                                             " characters; a VOI name holds at most " +
                                             std::to_string(orbiculon::kCoordinateNameMaxLength));
  }
  if (name.find_first_of("\r\n") != std::string::npos)
    throw CLI::ValidationError("--name", inQuotes(name) + " holds a line break");
}

// The path of the VOI file the plug-in will write, checked: its folder exists and
// it fits the host's file-name field with the suffix.
std::string checkedVoiPath(const std::string& output) {
  if (output.empty()) throw CLI::ValidationError("--output", "the path is empty");
  // "-" stands for standard output elsewhere; a VOI file is loaded by its name.
  if (output == "-")
    throw CLI::ValidationError("--output", "a VOI file needs a name; \"-\" (standard output) is not one");
  const std::filesystem::path name(voiFileName(output));
  if (!name.has_filename())
    throw CLI::ValidationError("--output", inQuotes(output) + " names no file; give a file path");
  // "." and ".." name folders: with the suffix they would become hidden files.
  if (name.filename() == "." || name.filename() == "..")
    throw CLI::ValidationError("--output", inQuotes(output) + " names a folder; give a file path");
  const std::string path = voiFileName(output) + kVoiSuffix;
  const std::size_t maxLength = stringParameterCapacity("FileName") - 1;
  if (path.size() > maxLength) {
    throw CLI::ValidationError("--output", "the VOI file path " + inQuotes(path) + " has " +
                                               std::to_string(path.size()) + " characters; at most " +
                                               std::to_string(maxLength) + " fit");
  }
  checkOutputPath("--output", path);
  return path;
}

// Cleans the list the way the plug-in will and refuses a list that gives no VOI; a
// list that loses lines gets a note on standard error. False when there was no memory
// to clean it.
bool checkList(const SpheresOptions& options, const std::string& list) {
  const bool isMni = options.space == Space::Mni;
  const auto defaults = completionDefaults(options.complete, options.radius, options.name, options.colour);
  const CleaningReport report =
      explainCleaning(list, isMni, isMni ? "--space tal" : "--space mni", defaults ? &*defaults : nullptr);
  if (report.outOfMemory) return false;
  // What `clean --explain` would say of the lines dropped or read with a guess.
  constexpr std::size_t kExplainedLines = 20;
  const std::string command = std::string(kProgramName) + " clean --explain --space " +
                              std::string(isMni ? "mni " : "tal ") + (options.complete ? "--complete " : "") +
                              options.list;
  if (report.kept == 0) {
    writeExplanation(report, std::cerr, kExplainedLines);
    throw CLI::ValidationError("LIST", "no line of " + inQuotes(options.list) + " is a valid " +
                                           spaceName(options.space) +
                                           " coordinate (see above); nothing was written");
  }
  if (report.dropped > 0 || report.changed > 0) writeExplanation(report, std::cerr, kExplainedLines);
  if (report.dropped > 0) {
    std::cerr << "note: " << report.dropped << " of " << report.inputLines << " lines of "
              << inQuotes(options.list) << " are dropped by cleaning; to see why, run: " << command
              << std::endl;
  }
  return true;
}

} // namespace

std::string voiFileName(const std::string& output) {
  if (output.size() > kVoiSuffixView.size() && output.ends_with(kVoiSuffixView))
    return output.substr(0, output.size() - kVoiSuffixView.size());
  return output;
}

CLI::App* setupSpheres(CLI::App& app, SpheresOptions& options) {
  auto* spheres = app.add_subcommand(
      "spheres", "Make a VOI file of spherical VOIs from a coordinate list or from one centre");
  auto* list =
      spheres->add_option("LIST", options.list,
                          "Coordinate list file, one VOI per valid line: x y z radius name red green "
                          "blue (- is standard input)");
  // Numbers are read as `dialog --float` and `--int` read theirs.
  auto* centre = addNumbersOption(*spheres, "--centre,--center", options.centre, 3,
                                  "Centre X Y Z of one VOI, millimetres", NumberRule::Finite)
                     ->excludes(list);
  auto* complete = spheres
                       ->add_flag("--complete", options.complete,
                                  "Read the list as a table copied from a paper: x, y, z and the region from "
                                  "the heading, the rest from --radius, --name and --colour")
                       ->excludes(centre);
  const std::vector<CLI::Option*> defaults{
      addNumberOption(*spheres, "--radius", options.radius,
                      "Radius of the one VOI, or of completed list lines, millimetres (above 0)",
                      NumberRule::FiniteAboveZero)
          ->default_str("5"),
      spheres
          ->add_option(
              "--name", options.name,
              "Name of the one VOI; completed list lines without a label are named NAME_<line number>")
          ->capture_default_str(),
      addNumbersOption(*spheres, "--colour,--color", options.colour, 3,
                       "Colour R G B of the one VOI, or of completed lines")
          ->default_str("255 0 0")};
  // They serve the one centre or the completion, and nothing else.
  spheres->parse_complete_callback([defaults, centre, complete] {
    for (const CLI::Option* option : defaults) {
      if (option->count() > 0 && centre->count() == 0 && complete->count() == 0)
        throw CLI::RequiresError(option->get_name(), "--centre or --complete");
    }
  });
  addSpaceOption(*spheres, options.space, &options.spaceGiven);
  addTransformOption(*spheres, "--convert", options.convert,
                     "Convert every centre to the other space with this transform; the VOIs and the VMR are "
                     "then in that space");
  spheres
      ->add_option("--output,-o", options.output,
                   "VOI file to write, with or without .voi (out/amygdala and out/amygdala.voi both write "
                   "out/amygdala.voi); an existing file is replaced")
      ->required()
      ->check(nonEmptyPath());
  spheres->add_flag("--load,!--no-load", options.load,
                    "Have the host load the written file (default: load); " ORBICULON_PROGRAM
                    " reads it back and "
                    "logs how many VOIs and voxels it holds");
  addNiftiOptions(*spheres, options.nifti);
  addPictureOptions(*spheres, options.picture, options.underlay);
  addPluginOption(*spheres, options.plugin);
  addHostOptions(*spheres, options.host);
  spheres->footer(
      "The current VMR is in the chosen space (IsTalSpace or IsMniSpace 1), so nothing is asked unless\n"
      "--header says otherwise. List lines are cleaned first (see `clean`); the one centre is used as "
      "given.\n"
      "With --complete, the list is read as a table from a paper (see `clean`): radius, name and colour\n"
      "come from --radius, --name and --colour. Lines starting with // are comments; a\n"
      "\"// Reference=MNI\" (or Talairach, TAL) line chooses the space and reads the file as a peak file\n"
      "without --complete: each experiment's rows are named after its \"// Author, year\" line.\n"
      "Standard error tells why lines were dropped or what was guessed (at most 20 lines).\n\n"
      "Examples:\n"
      "  " ORBICULON_PROGRAM " spheres examples/clean_list.txt --output amygdala_study\n"
      "  " ORBICULON_PROGRAM " spheres peaks.txt --space mni -o out/peaks.voi --no-load\n"
      "  " ORBICULON_PROGRAM " spheres mni_peaks.txt --space mni --convert icbm-spm -o tal_peaks\n"
      "  " ORBICULON_PROGRAM " spheres --centre -42 -58 22 --radius 5 --name angular_L --colour 0 128 255 -o "
      "angular\n"
      "  " ORBICULON_PROGRAM " spheres examples/clean_list.txt -o study_vois --picture study_vois.svg\n"
      "  " ORBICULON_PROGRAM " spheres examples/peak_table.txt --complete --radius 6 --name peak -o peaks\n"
      "  " ORBICULON_PROGRAM " spheres peaks.txt --space mni -o peaks --nifti peaks.nii.gz\n"
      "  " ORBICULON_PROGRAM
      " spheres peaks.txt -o peaks --header ResolutionX=2 --header IsTalSpace=0 --answer "
      "yes");
  return spheres;
}

ExitCode runSpheres(const SpheresOptions& given) {
  if (given.list.empty() && given.centre.empty())
    throw CLI::ValidationError("spheres",
                               "give a coordinate list file (LIST) or one centre (--centre X Y Z)");
  SpheresOptions options = given; // with the space a list names for itself
  const bool fromList = !options.list.empty();
  if (!fromList) checkName(options.name);
  if (options.complete) checkCompletionDefaults(options.radius, options.name);
  const std::string voiPath = checkedVoiPath(options.output);
  if (!options.nifti.image.empty()) checkNiftiOptions(options.nifti, "--nifti");
  std::optional<PicturePlan> picture;
  if (!options.picture.empty()) picture.emplace("--picture", options.picture, options.underlay);
  std::string list;
  if (fromList) {
    list = readCoordinateListFile("LIST", options.list);
    options.space = chooseSpace(options.space, options.spaceGiven, list, "LIST", options.list);
    // A peak file that names its space is read as a table without --complete.
    options.complete = options.complete || referenceSpace(list, "LIST", options.list).has_value();
    if (options.complete) checkCompletionDefaults(options.radius, options.name);
    if (!checkList(options, list)) return reportOutOfMemory();
  }

  auto& host = state();
  // The VMR is in the space the VOIs are built in: with --convert the other one.
  const Space vmrSpace = options.convert ? otherSpace(options.space) : options.space;
  host.header.IsTalSpace = vmrSpace == Space::Tal ? 1 : 0;
  host.header.IsMniSpace = vmrSpace == Space::Mni ? 1 : 0;
  applyHostOptions(options.host);

  // Every parameter "Start" reads, as the dialog would hold them.
  host.ints["MNIorTal"] = mniOrTal(options.space);
  host.ints["ConvertSpace"] = options.convert ? orbiculon::dialogValue(*options.convert) : 0;
  host.floats["tX"] = fromList ? 0.0f : options.centre[0];
  host.floats["tY"] = fromList ? 0.0f : options.centre[1];
  host.floats["tZ"] = fromList ? 0.0f : options.centre[2];
  host.floats["Radius"] = options.radius;
  host.strings["Name_of_VOI"] = options.name;
  host.ints["cR"] = options.colour[0];
  host.ints["cG"] = options.colour[1];
  host.ints["cB"] = options.colour[2];
  host.strings["FileName"] = voiFileName(options.output);
  host.ints["LoadInCV"] = options.load ? 1 : 0;
  host.ints["listVOIinfoFrom"] = fromList ? kListSource : kDialogSource;
  host.strings["VOItext"] = std::string(withoutByteOrderMark(list));
  if (options.complete) setCompletionParameters(options.radius, options.name, options.colour);

  VoiLoads loads;
  installVoiLoader(loads);
  SessionPlan plan;
  plan.pluginPath = pluginPathOrDefault(options.plugin);
  plan.commands = {"Start"};
  const ExitCode result = runSession(plan);
  if (result != ExitCode::Success) return result;
  if (loads.failed > 0)
    return reportFailure(inQuotes(voiPath) + " does not read back as a VOI file (see the log)");
  if (!options.nifti.image.empty()) {
    if (const ExitCode written = writeNifti(voiPath, options.nifti); written != ExitCode::Success)
      return written;
  }
  return picture ? picture->draw(voiPath) : ExitCode::Success;
}

} // namespace standin
