#include "voi/SphereVoxels.h"

#include <algorithm>
#include <cmath>
#include <new>

#include "voi/SphereColumns.h"

namespace orbiculon {

namespace {

using namespace sphere_columns;

// The plain algorithm: every position of the bounding box, column part s once per
// (x, y), each position tested. `visit(x, y, z)` returns false to stop early.
template <typename Visit> void visitDirect(const Sphere& sphere, Visit&& visit) {
  const float r2 = sphere.radiusSquared;
  for (std::int64_t x = sphere.x.low; x <= sphere.x.high; ++x) {
    for (std::int64_t y = sphere.y.low; y <= sphere.y.high; ++y) {
      const float s = squaredOffset(sphere.x.centre, x) + squaredOffset(sphere.y.centre, y);
      for (std::int64_t z = sphere.z.low; z <= sphere.z.high; ++z) {
        const float d2 = squaredOffset(sphere.z.centre, z) + s;
        if (r2 >= d2 && !visit(x, y, z)) return;
      }
    }
  }
}

std::unique_ptr<VoxelTriple[]> emptyVoxels() { return std::make_unique<VoxelTriple[]>(0); }

// Counting passes; each stops once the count exceeds the limit.
std::int64_t countFast(const Sphere& sphere) {
  std::int64_t total = 0;
  visitRuns(sphere, [&](std::int64_t, std::int64_t, std::int64_t first, std::int64_t last) {
    total += last - first + 1;
    return total <= kMaxSphereVoxels;
  });
  return std::min(total, kMaxSphereVoxels + 1);
}

// A lower bound on the count from the sphere's volume. Every rounding of the test (the
// offset, the three squares, the two sums and r²) has a relative error of at most
// 2^-24, and an integer position converts to float exactly up to 2^24 and with an error
// of at most 2^-24 M beyond, M being the largest coordinate magnitude in the box. So a
// position whose exact distance from the centre is at most rho = r - (r + M') * 2^-20,
// with M' = M beyond 2^24 and 0 within, passes the test and lies within the candidate
// bounds. The unit cubes around the positions within rho cover the ball of radius
// rho - sqrt(3)/2, so there are at least 4/3 pi (rho - sqrt(3)/2)^3 of them. The
// constants are rounded toward a smaller bound.
bool exceedsLimitByVolume(const Sphere& sphere) {
  const double radius = static_cast<double>(sphere.radius);
  if (!(radius >= 1.0)) return false;
  const double farthest = std::max({std::fabs(static_cast<double>(sphere.x.centre)),
                                    std::fabs(static_cast<double>(sphere.y.centre)),
                                    std::fabs(static_cast<double>(sphere.z.centre))}) +
                          radius + 1.0;
  constexpr double kExactIntegers = 0x1p24;
  const double converted = farthest > kExactIntegers ? farthest : 0.0;
  constexpr double kRoundingAllowance = 0x1p-20;
  constexpr double kHalfCubeDiagonal = 0.8661; // above sqrt(3)/2
  constexpr double kBallVolumeFactor = 4.1887; // below 4/3 pi
  const double inner = radius - (radius + converted) * kRoundingAllowance - kHalfCubeDiagonal;
  if (!(inner > 0.0)) return false;
  return kBallVolumeFactor * inner * inner * inner > static_cast<double>(kMaxSphereVoxels);
}

// The count, or kMaxSphereVoxels + 1 for a sphere that holds more.
std::int64_t limitedCount(const Sphere& sphere) {
  return exceedsLimitByVolume(sphere) ? kMaxSphereVoxels + 1 : countFast(sphere);
}

std::int64_t countDirect(const Sphere& sphere) {
  std::int64_t total = 0;
  visitDirect(sphere, [&](std::int64_t, std::int64_t, std::int64_t) { return ++total <= kMaxSphereVoxels; });
  return total;
}

inline VoxelTriple triple(std::int64_t x, std::int64_t y, std::int64_t z) {
  // Every position lies within bounds that came from 32-bit truncations.
  return VoxelTriple{static_cast<std::int32_t>(x), static_cast<std::int32_t>(y),
                     static_cast<std::int32_t>(z)};
}

} // namespace

std::int64_t countSphereVoxels(const SphereCentre& centre, float radius) {
  Sphere sphere{};
  if (!makeSphere(centre, radius, sphere)) return -1;
  return limitedCount(sphere);
}

std::int32_t recordVoxelCount(const SphereCentre& centre, float radius) {
  Sphere sphere{};
  if (!makeSphere(centre, radius, sphere) || !hasVoxels(sphere)) return 0;
  const auto extent = [](const AxisRange& axis) { return static_cast<double>(axis.high - axis.low + 1); };
  if (extent(sphere.x) * extent(sphere.y) * extent(sphere.z) <= static_cast<double>(kMaxSphereVoxels)) {
    return kVoxelsCountedWhileWritten;
  }
  const std::int64_t count = limitedCount(sphere);
  return count <= kMaxSphereVoxels ? static_cast<std::int32_t>(count) : 0;
}

SphereRefusal sphereRefusal(const SphereCentre& centre, float radius) {
  if (!std::isfinite(centre.x) || !std::isfinite(centre.y) || !std::isfinite(centre.z) ||
      !std::isfinite(radius))
    return SphereRefusal::NotFinite;
  Sphere sphere{};
  if (!makeSphere(centre, radius, sphere)) return SphereRefusal::BeyondCoordinateRange;
  return limitedCount(sphere) > kMaxSphereVoxels ? SphereRefusal::TooManyVoxels : SphereRefusal::None;
}

bool exceedsVoxelLimitByVolume(const SphereCentre& centre, float radius) noexcept {
  Sphere sphere{};
  return makeSphere(centre, radius, sphere) && exceedsLimitByVolume(sphere);
}

std::unique_ptr<VoxelTriple[]> enumerateSphereVoxels(const SphereCentre& centre, float radius,
                                                     std::int32_t& count) {
  count = 0;
  Sphere sphere{};
  if (!makeSphere(centre, radius, sphere)) return emptyVoxels();
  const std::int64_t total = limitedCount(sphere);
  if (total <= 0 || total > kMaxSphereVoxels) return emptyVoxels();

  auto voxels = std::make_unique_for_overwrite<VoxelTriple[]>(static_cast<std::size_t>(total));
  std::int64_t filled = 0;
  visitRuns(sphere, [&](std::int64_t x, std::int64_t y, std::int64_t first, std::int64_t last) {
    // The filling walk repeats the counting walk exactly; the guard only keeps a
    // broken invariant from writing past the array.
    if (last - first + 1 > total - filled) return false;
    for (std::int64_t z = first; z <= last; ++z)
      voxels[static_cast<std::size_t>(filled++)] = triple(x, y, z);
    return true;
  });
  count = static_cast<std::int32_t>(filled);
  return voxels;
}

std::unique_ptr<VoxelTriple[]> enumerateSphereVoxelsDirect(const SphereCentre& centre, float radius,
                                                           std::int32_t& count) {
  count = 0;
  Sphere sphere{};
  if (!makeSphere(centre, radius, sphere)) return emptyVoxels();
  const std::int64_t total = countDirect(sphere);
  if (total <= 0 || total > kMaxSphereVoxels) return emptyVoxels();

  auto voxels = std::make_unique_for_overwrite<VoxelTriple[]>(static_cast<std::size_t>(total));
  std::int64_t filled = 0;
  visitDirect(sphere, [&](std::int64_t x, std::int64_t y, std::int64_t z) {
    if (filled == total) return false;
    voxels[static_cast<std::size_t>(filled++)] = triple(x, y, z);
    return true;
  });
  count = static_cast<std::int32_t>(filled);
  return voxels;
}

} // namespace orbiculon
