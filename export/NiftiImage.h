#pragma once

// The VOIs of a VOI file as a NIfTI image on a chosen grid: a label volume (VOI i,
// counted from 1 in file order, written as i) or one 0/1 mask volume per VOI, with a
// label table beside it. A grid voxel belongs to a VOI when its centre, in world
// millimetres rounded to the nearest whole millimetre (halves away from zero), is one
// of the VOI's voxel lines; on a 1 mm grid that is exactly the file's voxel set.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace orbiculon::exporting {

// Where an image's voxels lie: its size and the map from voxel (i, j, k) to world
// millimetres, with the NIfTI codes that say which space that is.
struct NiftiGrid {
  std::string name; // a named grid, or the image it was taken from
  std::array<std::int32_t, 3> size{};
  std::array<std::array<double, 4>, 3> toWorld{}; // rows of the affine: x, y, z
  int sformCode = 0;
  // The quaternion form written beside the affine: taken from the image a grid came
  // from, or derived from the affine.
  bool qformGiven = false;
  int qformCode = 0;
  std::array<float, 3> quatern{}; // b, c, d
  std::array<float, 3> qoffset{};
  std::array<float, 3> spacing{};
  float qfac = 1.0f;
};

// The grid names "mni152-1mm", "mni152-2mm" and "tal-1mm", comma-separated.
std::string namedGridList();
// The named grid, or nothing when `name` names none.
std::optional<NiftiGrid> namedGrid(std::string_view name);
// The grid of the .nii or .nii.gz image at `path`: its size and its sform (its qform
// when it has no sform). Sets `error` when the image cannot be read or places its
// voxels nowhere.
std::optional<NiftiGrid> gridOfImage(const std::string& path, std::string& error);
// A named grid or an image path; sets `error` naming the fault otherwise.
std::optional<NiftiGrid> resolveGrid(const std::string& grid, std::string& error);
// The grid for a VOI file's reference space when none is chosen.
std::string defaultGridName(std::string_view referenceSpace);

// Whether `path` ends in .nii or .nii.gz.
bool isNiftiPath(std::string_view path);
// The label table beside an image: its path with .nii or .nii.gz replaced by .tsv.
std::string labelTablePath(std::string_view imagePath);

struct NiftiRequest {
  std::string voiPath;
  std::string imagePath;         // ends in .nii or .nii.gz
  std::optional<NiftiGrid> grid; // nothing: the default for the file's space
  bool masks = false;
};

struct NiftiOutcome {
  bool ok = false;
  std::string error;               // why nothing was written, when not ok
  std::vector<std::string> report; // what was written and what did not fit, line by line
};

// Reads the VOI file once and writes the image and its label table, each replaced
// whole or left as it was. On any failure (the VOI file does not read back, the image
// would be too large, a file cannot be written) neither file is left behind. Never
// throws.
NiftiOutcome writeNiftiImage(const NiftiRequest& request) noexcept;

} // namespace orbiculon::exporting
