#pragma once

#include <CLI/CLI.hpp>

#include <string>

#include "standin/Session.h"

namespace standin {

// `nifti`, and `spheres --nifti`: the VOIs of a VOI file as a NIfTI image on a grid,
// for the packages that read NIfTI instead of VOI files.
struct NiftiOptions {
  std::string voiFile;
  std::string image; // IMAGE.nii or IMAGE.nii.gz; empty: no image
  std::string grid;  // a grid name or an image path; empty: the default for the file's space
  bool masks = false;
};

CLI::App* setupNifti(CLI::App& app, NiftiOptions& options);
// --nifti, --grid and --masks of `spheres`.
void addNiftiOptions(CLI::App& spheres, NiftiOptions& options);
// Refuses an image path or grid that cannot work, before anything runs; `option`
// names the image option in the message.
void checkNiftiOptions(const NiftiOptions& options, const std::string& option);
ExitCode runNifti(const NiftiOptions& options);
// Writes the image of the VOI file at `voiPath`, with the report on standard error.
ExitCode writeNifti(const std::string& voiPath, const NiftiOptions& options);

} // namespace standin
