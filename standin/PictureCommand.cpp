#include "standin/PictureCommand.h"

#include <filesystem>
#include <iostream>

#include "standin/CliCommon.h"

#if defined(ORBICULON_WITH_NIFTI)
#include "export/SpherePicture.h"
#endif

namespace standin {

#if !defined(ORBICULON_WITH_NIFTI)
struct PicturePlan::Parts {};

PicturePlan::PicturePlan(const std::string& option, const std::string&, const std::string&) {
  throw CLI::ValidationError(option, "this build draws no pictures");
}

ExitCode PicturePlan::draw(const std::string&) const { return reportFailure("this build draws no pictures"); }
#else
struct PicturePlan::Parts {
  std::string output;
  std::unique_ptr<orbiculon::exporting::Underlay> underlay;
};

PicturePlan::PicturePlan(const std::string& option, const std::string& output, const std::string& underlay)
    : parts_(std::make_unique<Parts>()) {
  checkOutputPath(option, output);
  parts_->output = output;
  if (underlay.empty()) return;
  parts_->underlay = std::make_unique<orbiculon::exporting::Underlay>();
  if (std::string error; !parts_->underlay->read(underlay, error))
    throw CLI::ValidationError("--underlay", error);
}

ExitCode PicturePlan::draw(const std::string& voiPath) const {
  const std::string title = std::filesystem::path(voiPath).filename().string();
  const orbiculon::exporting::PictureResult picture =
      orbiculon::exporting::drawSpherePicture(voiPath, parts_->underlay.get(), title);
  if (picture.svg.empty()) return reportFailure(picture.error + "; no picture was written");
  for (const std::string& note : picture.notes)
    std::cerr << "note: " << note << "\n";
  if (std::string error; !writeWholeFile(parts_->output, picture.svg, error)) return reportFailure(error);
  return ExitCode::Success;
}
#endif

PicturePlan::~PicturePlan() = default;
PicturePlan::PicturePlan(PicturePlan&&) noexcept = default;
PicturePlan& PicturePlan::operator=(PicturePlan&&) noexcept = default;

void addPictureOptions(CLI::App& app, std::string& picture, std::string& underlay) {
  auto* pictureOption = app.add_option("--picture", picture,
                                       "Also draw the written VOIs as three maximum projections in this SVG "
                                       "file (see `picture`)")
                            ->check(nonEmptyPath());
  app.add_option("--underlay", underlay,
                 "Draw the picture over the maximum projection of this anatomical image (.nii or .nii.gz)")
      ->needs(pictureOption)
      ->check(nonEmptyPath());
}

CLI::App* setupPicture(CLI::App& app, PictureOptions& options) {
  auto* picture = app.add_subcommand(
      "picture", "Draw the VOIs of a VOI file as sagittal, coronal and axial maximum projections in one SVG");
  picture->add_option("VOIFILE", options.voiFile, "VOI file to draw")->required();
  picture->add_option("--output,-o", options.output, "SVG file to write; an existing file is replaced")
      ->required()
      ->check(nonEmptyPath());
  picture
      ->add_option("--underlay", options.underlay,
                   "Anatomical image (.nii or .nii.gz, such as a template of FSL or SPM) whose maximum "
                   "projection is drawn in grey behind the VOIs, placed through its sform (or qform)")
      ->check(nonEmptyPath());
  picture->footer(
      "The subject's left is on the left of the coronal and axial views, superior is up in the sagittal\n"
      "and coronal views, anterior is up in the axial and to the right in the sagittal view. Each VOI is\n"
      "drawn in its colour; where two overlap in a view, the later one in the file covers the earlier.\n"
      "The frames depend only on the space (TAL or MNI) and the underlay, so pictures of lists in the\n"
      "same space line up. Without an underlay the picture shows the coordinate bounds of the space\n"
      "(dashed) and a millimetre scale.\n\n"
      "Examples:\n"
      "  " ORBICULON_PROGRAM " picture study_vois.voi -o study_vois.svg\n"
      "  " ORBICULON_PROGRAM " picture mni_peaks.voi -o mni_peaks.svg --underlay MNI152_T1_1mm_brain.nii.gz");
  return picture;
}

ExitCode runPicture(const PictureOptions& options) {
  std::error_code error;
  if (!std::filesystem::is_regular_file(options.voiFile, error))
    throw CLI::ValidationError("VOIFILE", inQuotes(options.voiFile) + " is no file");
  const PicturePlan plan("--output", options.output, options.underlay);
  return plan.draw(options.voiFile);
}

} // namespace standin
