#pragma once

#include <cstdint>
#include <memory>

namespace orbiculon {

// One voxel position on the 1 mm grid, in the order a VOI file writes it.
struct VoxelTriple {
  std::int32_t x;
  std::int32_t y;
  std::int32_t z;
};

struct SphereCentre {
  float x;
  float y;
  float z;
};

// The grid positions within `radius` of `centre`, surface included, tested in single
// precision and sorted by x, y, z; `count` receives their number. An empty sphere, and
// one with a NaN, a bound beyond 32 bits or more than kMaxSphereVoxels voxels, gives
// count 0 and an empty, non-null array. Throws std::bad_alloc only when the array of a
// sphere that fits cannot be allocated.
std::unique_ptr<VoxelTriple[]> enumerateSphereVoxels(const SphereCentre& centre, float radius,
                                                     std::int32_t& count);

// Most voxels one sphere may hold: three 32-bit integers per voxel within a signed
// 32-bit array length.
inline constexpr std::int64_t kMaxSphereVoxels = INT32_MAX / 3;

// Voxel count of the sphere without building it: the exact count when it is at most
// kMaxSphereVoxels, kMaxSphereVoxels + 1 for any larger sphere (refused from its volume
// when that suffices, otherwise counting stops there), and -1 when the centre or radius
// cannot be represented (a NaN, or bounds outside the 32-bit range).
std::int64_t countSphereVoxels(const SphereCentre& centre, float radius);

// The NrOfVoxels of a sphere's VOI record: 0 when it has no voxels to write (see
// sphereRefusal); kVoxelsCountedWhileWritten when its bounding box is too small to pass
// kMaxSphereVoxels, so the writer counts while it writes; otherwise its exact count.
inline constexpr std::int32_t kVoxelsCountedWhileWritten = -1;
std::int32_t recordVoxelCount(const SphereCentre& centre, float radius);

// Why the writer leaves out the voxels of a sphere whose record count is 0.
enum class SphereRefusal {
  None,                  // it writes them all, or the sphere misses every grid point
  NotFinite,             // a centre coordinate or the radius is NaN or infinite
  BeyondCoordinateRange, // a bound lies outside the 32-bit range
  TooManyVoxels,         // it holds more than kMaxSphereVoxels
};
SphereRefusal sphereRefusal(const SphereCentre& centre, float radius);

// True when the sphere's volume alone shows more than kMaxSphereVoxels voxels. Allows
// for every rounding, so it never refuses a sphere that fits; false for a sphere that
// cannot be represented.
bool exceedsVoxelLimitByVolume(const SphereCentre& centre, float radius) noexcept;

// The same result as enumerateSphereVoxels, computed by testing every position of the
// bounding box: the plain form of the algorithm, kept as the reference the fast form
// is compared with. Slow for large spheres.
std::unique_ptr<VoxelTriple[]> enumerateSphereVoxelsDirect(const SphereCentre& centre, float radius,
                                                           std::int32_t& count);

} // namespace orbiculon
