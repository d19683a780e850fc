#include "standin/NiftiCommand.h"

#include <iostream>

#include "standin/CliCommon.h"
#if defined(ORBICULON_WITH_NIFTI)
#include "export/NiftiImage.h"
#endif

namespace standin {

namespace {

constexpr char kGridHelp[] =
    "Grid of the image: mni152-1mm (182 x 218 x 182, the default for MNI files), mni152-2mm (91 x 109 x 91), "
    "tal-1mm (256 x 256 x 256, the default for TAL files), or a .nii/.nii.gz image whose size and sform "
    "are taken";
constexpr char kMasksHelp[] =
    "Write a 4-D image of one 0/1 mask per VOI, which keeps overlaps, instead of one label volume";

} // namespace

CLI::App* setupNifti(CLI::App& app, NiftiOptions& options) {
  auto* nifti = app.add_subcommand(
      "nifti",
      "Write the VOIs of a VOI file as a NIfTI label image (or masks) for FSL, SPM, AFNI and nilearn");
  nifti->add_option("VOIFILE", options.voiFile, "VOI file to read")->required()->check(nonEmptyPath());
  nifti
      ->add_option("--output,-o", options.image,
                   "Image to write, ending in .nii or .nii.gz; the label table goes beside it as .tsv")
      ->required()
      ->check(nonEmptyPath());
  nifti->add_option("--grid", options.grid, kGridHelp);
  nifti->add_flag("--masks", options.masks, kMasksHelp);
  nifti->footer(
      "A grid voxel belongs to a VOI when its centre, rounded to whole millimetres, is one of the VOI's\n"
      "voxels; on the 1 mm grids that is exactly the VOI file's voxels. VOI i (from 1, in file order)\n"
      "is written as i; where VOIs overlap, the later one's label stands. The label table IMAGE.tsv\n"
      "holds index, name and color (#rrggbb) of each VOI. Voxels outside the grid and overlaps are\n"
      "reported on standard error.\n\n"
      "Examples:\n"
      "  " ORBICULON_PROGRAM " nifti study.voi -o study.nii.gz\n"
      "  " ORBICULON_PROGRAM " nifti study.voi -o study_2mm.nii.gz --grid mni152-2mm\n"
      "  " ORBICULON_PROGRAM " nifti study.voi -o study_bold.nii.gz --grid bold.nii.gz --masks");
  return nifti;
}

void addNiftiOptions(CLI::App& spheres, NiftiOptions& options) {
  auto* image = spheres.add_option("--nifti", options.image,
                                   "Also write the VOIs as a NIfTI image (.nii or .nii.gz), as `nifti` does, "
                                   "with its label table beside it");
  spheres.add_option("--grid", options.grid, kGridHelp)->needs(image);
  spheres.add_flag("--masks", options.masks, kMasksHelp)->needs(image);
}

#if defined(ORBICULON_WITH_NIFTI)

void checkNiftiOptions(const NiftiOptions& options, const std::string& option) {
  if (!orbiculon::exporting::isNiftiPath(options.image))
    throw CLI::ValidationError(option, inQuotes(options.image) + " must end in .nii or .nii.gz");
  checkOutputPath(option, options.image);
  if (!options.grid.empty()) {
    std::string error;
    if (!orbiculon::exporting::resolveGrid(options.grid, error)) throw CLI::ValidationError("--grid", error);
  }
}

ExitCode writeNifti(const std::string& voiPath, const NiftiOptions& options) {
  namespace exporting = orbiculon::exporting;
  exporting::NiftiRequest request;
  request.voiPath = voiPath;
  request.imagePath = options.image;
  request.masks = options.masks;
  if (!options.grid.empty()) {
    std::string error;
    request.grid = exporting::resolveGrid(options.grid, error);
    if (!request.grid) return reportFailure(error);
  }
  const exporting::NiftiOutcome outcome = exporting::writeNiftiImage(request);
  if (!outcome.ok) return reportFailure(outcome.error);
  for (const std::string& line : outcome.report)
    std::cerr << line << "\n";
  std::cerr.flush();
  return ExitCode::Success;
}

#else

// The Windows build has no NIfTI library.
void checkNiftiOptions(const NiftiOptions&, const std::string& option) {
  throw CLI::ValidationError(option, "this build writes no NIfTI");
}

ExitCode writeNifti(const std::string&, const NiftiOptions&) {
  return reportFailure("this build writes no NIfTI");
}

#endif

ExitCode runNifti(const NiftiOptions& options) {
  checkNiftiOptions(options, "--output");
  return writeNifti(options.voiFile, options);
}

} // namespace standin
