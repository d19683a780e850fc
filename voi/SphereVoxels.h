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

// Every integer position within `radius` of `centre` (surface included), x then y
// then z ascending, computed in IEEE single precision. `count` receives the number
// of triples. Never returns null: a sphere without voxels, and a sphere that cannot
// be represented (NaN values, bounds outside the 32-bit range, more voxels than a
// signed 32-bit array length of three integers per voxel holds), yield count 0 and
// an empty array. Throws std::bad_alloc only when a representable sphere's array
// cannot be allocated.
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

// The voxel count a VOI record carries before its sphere is written, when the writer
// counts the voxels as it writes them: 0 for a sphere that holds none, cannot be
// represented or holds more than kMaxSphereVoxels (as countSphereVoxels decides);
// kVoxelsCountedWhileWritten for a sphere that holds at least one voxel and whose
// bounding box has no more than kMaxSphereVoxels positions, so that its count can only
// lie within the limit; otherwise, for a sphere that might come near the limit, its
// exact count.
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

// True when a lower bound on the sphere's voxel count, taken from its volume, already
// exceeds kMaxSphereVoxels, so it can be refused without counting. The bound allows
// for every rounding of the single-precision test, so it never refuses a sphere that
// fits; a sphere just above the limit may need counting to tell. False for a sphere
// that cannot be represented.
bool exceedsVoxelLimitByVolume(const SphereCentre& centre, float radius) noexcept;

// The same result as enumerateSphereVoxels, computed by testing every position of the
// bounding box: the plain form of the algorithm, kept as the reference the fast form
// is compared with. Slow for large spheres.
std::unique_ptr<VoxelTriple[]> enumerateSphereVoxelsDirect(const SphereCentre& centre, float radius,
                                                           std::int32_t& count);

} // namespace orbiculon
