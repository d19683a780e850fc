#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>

#include "common/Capacities.h"
#include "files/FileResult.h"
#include "voi/SphereVoxels.h"

namespace orbiculon {

// The sphere a VOI's voxels come from.
struct VoiSphere {
  SphereCentre Centre;
  float Radius;
};

// One spherical VOI.
struct SphereVoi {
  // NUL-terminated name; written up to its NUL, never past the array.
  std::array<char, kVoiNameCapacity> NameOfVOI{};
  // Red, green, blue, written unchanged.
  std::array<std::int32_t, 3> ColorOfVOI{};
  // Number of voxel lines the block holds.
  std::int32_t NrOfVoxels = 0;
  // When set, the voxels are this sphere's, walked while the file is written and never
  // held; NrOfVoxels is then their count, 0 (none written, no walk) or
  // kVoxelsCountedWhileWritten.
  std::optional<VoiSphere> Sphere;
  // NrOfVoxels triples when there is no sphere (may be null when NrOfVoxels is 0).
  std::unique_ptr<VoxelTriple[]> Voxels;
};

// Makes `voi` the sphere (centre, radius), its NrOfVoxels the recordVoxelCount, and
// says why, when that count is 0, the sphere goes without voxels.
inline SphereRefusal assignSphere(SphereVoi& voi, const SphereCentre& centre, float radius) {
  voi.NrOfVoxels = recordVoxelCount(centre, radius);
  voi.Sphere = VoiSphere{centre, radius};
  voi.Voxels.reset();
  return voi.NrOfVoxels == 0 ? sphereRefusal(centre, radius) : SphereRefusal::None;
}

// The values of one VOI file, field by field as they are written; NrOfVOIVTCs, the
// file's last line, is listed before the VOIs. The texts are borrowed.
struct VoiFileDescription {
  const char* FilePath = nullptr;
  std::int32_t FileVersion = 0;
  const char* ReferenceSpace = nullptr;
  std::int32_t OriginalVMRResolutionX = 0;
  std::int32_t OriginalVMRResolutionY = 0;
  std::int32_t OriginalVMRResolutionZ = 0;
  std::int32_t OriginalVMROffsetX = 0;
  std::int32_t OriginalVMROffsetY = 0;
  std::int32_t OriginalVMROffsetZ = 0;
  std::int32_t OriginalVMRFramingCubeDim = 0;
  std::int32_t LeftRightConvention = 0;
  const char* SubjectVOINamingConvention = nullptr;
  // Number of blocks written; must lie within 0 and VOIs.size().
  std::int32_t NrOfvois = 0;
  std::int32_t NrOfVOIVTCs = 0;
  std::span<const SphereVoi> VOIs;
};

// Writes the VOI file at FilePath, every line ending with CR LF on every platform.
// The file is replaced only when the whole file was written (see ReplacingFile);
// on any failure it stays as it was and the result says why: EINVAL for a
// description that does not match its arrays, ENOMEM, or the system's error.
// Never throws.
FileResult writeVOIFile(const VoiFileDescription& description) noexcept;

} // namespace orbiculon
