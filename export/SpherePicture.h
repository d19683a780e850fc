#pragma once

// A picture of the VOIs of a VOI file: the maximum projections of their voxels seen
// from the side (sagittal), the front (coronal) and above (axial), side by side in
// one SVG, with a legend, and optionally the maximum projection of an anatomical
// image behind them.
//
// Each view's frame, scale and place depend only on the space of the VOI file and on
// the underlay: pictures of two lists in the same space line up pixel for pixel.

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace orbiculon::exporting {

// A box of whole millimetres in world space, both ends inclusive, axes x, y, z.
struct MillimetreBox {
  std::array<int, 3> low{};
  std::array<int, 3> high{};
};

// The millimetres a space's picture shows: its 1 mm grid (MNI 182 x 218 x 182 with
// its origin at voxel 90, 126, 72; TAL 256 cubed centred on the origin), widened to
// hold every sphere of radius 20 around a centre within cleaning's bounds.
// `isMni` chooses the space.
MillimetreBox spaceFrame(bool isMni);

// An anatomical image read for the picture: one volume and where its voxels lie.
class Underlay {
public:
  // Reads a .nii or .nii.gz file (its first volume when it has more). False, with
  // `error` set, when it cannot be read or has no place in millimetres.
  bool read(const std::string& path, std::string& error);
  // The world millimetres the image covers.
  MillimetreBox box() const;
  // The largest value along the world axis `depth` (0 x, 1 y, 2 z) at each point of
  // the 1 mm grid of `frame` across the other two axes; `at(a, b)` is at
  // `frame.low + (a, b)` in the order x, y, z with the depth axis left out.
  std::vector<float> maximumProjection(const MillimetreBox& frame, int depth) const;

private:
  std::array<std::size_t, 3> size_{};
  MillimetreBox box_;
  std::vector<float> values_;
  std::array<std::array<double, 4>, 3> toWorld_{};
  std::array<std::array<double, 4>, 3> toVoxel_{};
};

struct PictureResult {
  std::string svg;                // the picture; empty when it could not be made
  std::string error;              // why not
  std::vector<std::string> notes; // what the picture leaves out (voxels outside its frame)
};

// Reads the VOI file at `voiPath` and draws it over `underlay` (or over the outline
// of the space's coordinate bounds and a millimetre scale when it is null). `title`
// heads the picture.
PictureResult drawSpherePicture(const std::string& voiPath, const Underlay* underlay,
                                const std::string& title);

} // namespace orbiculon::exporting
