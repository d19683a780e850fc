#include "voi/SphereVoxels.h"
namespace orbiculon {
std::unique_ptr<VoxelTriple[]> enumerateSphereVoxels(const SphereCentre&, float, std::int32_t& count) {
  count = 0;
  return std::make_unique<VoxelTriple[]>(0);
}
} // namespace orbiculon
