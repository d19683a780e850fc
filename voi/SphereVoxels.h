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

} // namespace orbiculon
