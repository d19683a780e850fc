#include "voi/SphereVoxels.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <new>

namespace orbiculon {

// Which positions lie on a sphere's surface depends on every operation being rounded
// to single precision; a compiler that evaluates float expressions in a wider format
// would change the voxel sets.
static_assert(FLT_EVAL_METHOD == 0, "float expressions must be evaluated in single precision");

namespace {

// Inclusive candidate range of one axis and the centre coordinate it belongs to.
struct AxisRange {
  float centre;
  std::int64_t low;
  std::int64_t high;
};

// Truncation toward zero of a float into the signed 32-bit range; false for a NaN
// and for values whose truncation lies outside the range. The range is checked in
// float, before any conversion, because converting an out-of-range float is undefined.
bool truncateToInt32(float value, std::int64_t& result) {
  constexpr float kLowest = -2147483648.0f; // -2^31, exactly representable
  constexpr float kBeyond = 2147483648.0f;  // 2^31
  if (!(value >= kLowest && value < kBeyond)) return false;
  result = static_cast<std::int32_t>(value);
  return true;
}

// Bounds per axis: centre - radius and centre + radius, each rounded to float and
// truncated toward zero.
bool axisRange(float centre, float radius, AxisRange& axis) {
  axis.centre = centre;
  return truncateToInt32(centre - radius, axis.low) && truncateToInt32(centre + radius, axis.high);
}

// (centre - position)², the position converted to float first, every operation
// rounded to float.
inline float squaredOffset(float centre, std::int64_t position) {
  const float offset = centre - static_cast<float>(position);
  return offset * offset;
}

struct Sphere {
  AxisRange x, y, z;
  float radius;
  float radiusSquared;
};

// Resolves the bounds; false when the sphere cannot be represented.
bool makeSphere(const SphereCentre& centre, float radius, Sphere& sphere) {
  if (!axisRange(centre.x, radius, sphere.x) || !axisRange(centre.y, radius, sphere.y) ||
      !axisRange(centre.z, radius, sphere.z)) {
    return false;
  }
  sphere.radius = radius;
  sphere.radiusSquared = radius * radius;
  return true;
}

bool isEmpty(const Sphere& sphere) {
  return sphere.x.low > sphere.x.high || sphere.y.low > sphere.y.high || sphere.z.low > sphere.z.high;
}

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

// The fast form rests on one property of the rounded arithmetic. Along one axis,
// q(i) = fl((c - fl(i))²) falls up to the integer nearest c and rises after it,
// because rounding is monotonic; adding a fixed value and rounding again keeps that
// shape. So the positions of a column that pass the test form one unbroken run of z,
// the columns of an x slice that hold any voxel form one run of y, and the non-empty
// slices one run of x. Each run contains the axis' minimum position m, and its ends
// are found by testing positions with the exact single-precision test, starting from
// an estimate in double precision: nothing but the exact test decides a result, so
// the voxel set is identical to the plain algorithm's.

// The candidate of an axis with the smallest squared offset: the integer below or
// above the centre, whichever is closer after rounding, kept within the bounds.
std::int64_t nearestPosition(const AxisRange& axis) {
  const double low = static_cast<double>(axis.low);
  const double high = static_cast<double>(axis.high);
  const double below = std::floor(static_cast<double>(axis.centre));
  const auto clampToAxis = [&](double value) {
    return static_cast<std::int64_t>(value < low ? low : (value > high ? high : value));
  };
  const std::int64_t first = clampToAxis(below);
  const std::int64_t second = clampToAxis(below + 1.0);
  return squaredOffset(axis.centre, second) < squaredOffset(axis.centre, first) ? second : first;
}

// An estimate of a position, clamped to [low, high] before conversion.
std::int64_t clampedEstimate(double value, std::int64_t low, std::int64_t high) {
  if (!(value > static_cast<double>(low))) return low;
  if (value >= static_cast<double>(high)) return high;
  return static_cast<std::int64_t>(value);
}

// Ends of the run of passing positions within [low, high] that contains `nearest`
// (which must pass), searched from the estimates `first` and `last` of its ends.
template <typename Passes>
void findRunFrom(const AxisRange& axis, std::int64_t nearest, Passes&& passes, std::int64_t& first,
                 std::int64_t& last) {
  std::int64_t up = std::clamp(last, nearest, axis.high);
  if (passes(up)) {
    while (up < axis.high && passes(up + 1))
      ++up;
  } else {
    do {
      --up;
    } while (!passes(up));
  }
  std::int64_t down = std::clamp(first, axis.low, nearest);
  if (passes(down)) {
    while (down > axis.low && passes(down - 1))
      --down;
  } else {
    do {
      ++down;
    } while (!passes(down));
  }
  first = down;
  last = up;
}

// The same, with `halfWidth` estimating how far the run reaches from the centre.
template <typename Passes>
void findRun(const AxisRange& axis, std::int64_t nearest, double halfWidth, Passes&& passes,
             std::int64_t& first, std::int64_t& last) {
  const double centre = static_cast<double>(axis.centre);
  last = clampedEstimate(std::floor(centre + halfWidth), nearest, axis.high);
  first = clampedEstimate(std::ceil(centre - halfWidth), axis.low, nearest);
  findRunFrom(axis, nearest, passes, first, last);
}

double estimatedHalfWidth(float radiusSquared, double taken) {
  const double rest = static_cast<double>(radiusSquared) - taken;
  return rest > 0.0 ? std::sqrt(rest) : 0.0;
}

// Calls `visitColumn(x, y, zFirst, zLast)` for every column that holds voxels, x then
// y ascending; a false return stops the walk.
template <typename VisitColumn> void visitRuns(const Sphere& sphere, VisitColumn&& visitColumn) {
  if (isEmpty(sphere)) return;
  const float r2 = sphere.radiusSquared;
  const std::int64_t nearestY = nearestPosition(sphere.y);
  const std::int64_t nearestZ = nearestPosition(sphere.z);
  const float leastY = squaredOffset(sphere.y.centre, nearestY);
  const float leastZ = squaredOffset(sphere.z.centre, nearestZ);

  // A slice x holds voxels when its best position (x, nearestY, nearestZ) passes.
  const auto slicePasses = [&](std::int64_t x) {
    const float s = squaredOffset(sphere.x.centre, x) + leastY;
    return r2 >= leastZ + s;
  };
  const std::int64_t nearestX = nearestPosition(sphere.x);
  if (!slicePasses(nearestX)) return;
  std::int64_t xFirst = 0;
  std::int64_t xLast = 0;
  findRun(sphere.x, nearestX, estimatedHalfWidth(r2, static_cast<double>(leastY) + leastZ), slicePasses,
          xFirst, xLast);

  for (std::int64_t x = xFirst; x <= xLast; ++x) {
    const float qx = squaredOffset(sphere.x.centre, x);
    const auto columnPasses = [&](std::int64_t y) {
      const float s = qx + squaredOffset(sphere.y.centre, y);
      return r2 >= leastZ + s;
    };
    std::int64_t yFirst = 0;
    std::int64_t yLast = 0;
    findRun(sphere.y, nearestY, estimatedHalfWidth(r2, static_cast<double>(qx) + leastZ), columnPasses,
            yFirst, yLast);
    // Neighbouring columns have runs of nearly the same length, so each column's
    // search starts from the ends of the one before.
    std::int64_t zFirst = nearestZ;
    std::int64_t zLast = nearestZ;
    for (std::int64_t y = yFirst; y <= yLast; ++y) {
      const float s = qx + squaredOffset(sphere.y.centre, y);
      const auto passes = [&](std::int64_t z) { return r2 >= squaredOffset(sphere.z.centre, z) + s; };
      findRunFrom(sphere.z, nearestZ, passes, zFirst, zLast);
      if (!visitColumn(x, y, zFirst, zLast)) return;
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

bool exceedsVoxelLimitByVolume(const SphereCentre& centre, float radius) noexcept {
  Sphere sphere{};
  return makeSphere(centre, radius, sphere) && exceedsLimitByVolume(sphere);
}

bool visitSphereColumns(const SphereCentre& centre, float radius, SphereColumnCallback callback,
                        void* context) noexcept {
  Sphere sphere{};
  if (!makeSphere(centre, radius, sphere)) return true;
  bool complete = true;
  visitRuns(sphere, [&](std::int64_t x, std::int64_t y, std::int64_t first, std::int64_t last) {
    // Every position lies within bounds that came from 32-bit truncations.
    complete = callback(context, static_cast<std::int32_t>(x), static_cast<std::int32_t>(y),
                        static_cast<std::int32_t>(first), static_cast<std::int32_t>(last));
    return complete;
  });
  return complete;
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
