#pragma once

// The column walk of a sphere, in a header so that a caller's visit of each column can
// be inlined into the walk: the walk and the work per column are of the same size for
// spheres of the largest job, so a call per column costs as much as the column itself.

#include <algorithm>
#include <array>
#include <cfloat>
#include <cmath>
#include <cstdint>

#include "voi/SphereVoxels.h"

namespace orbiculon::sphere_columns {

// Which positions lie on a sphere's surface depends on every operation being rounded
// to single precision; a compiler that evaluates float expressions in a wider format
// would change the voxel sets.
static_assert(FLT_EVAL_METHOD == 0, "float expressions must be evaluated in single precision");

// Inclusive candidate range of one axis and the centre coordinate it belongs to.
struct AxisRange {
  float centre;
  std::int64_t low;
  std::int64_t high;
};

// Truncation toward zero of a float into the signed 32-bit range; false for a NaN
// and for values whose truncation lies outside the range. The range is checked in
// float, before any conversion, because converting an out-of-range float is undefined.
inline bool truncateToInt32(float value, std::int64_t& result) {
  constexpr float kLowest = -2147483648.0f; // -2^31, exactly representable
  constexpr float kBeyond = 2147483648.0f;  // 2^31
  if (!(value >= kLowest && value < kBeyond)) return false;
  result = static_cast<std::int32_t>(value);
  return true;
}

// Bounds per axis: centre - radius and centre + radius, each rounded to float and
// truncated toward zero.
inline bool axisRange(float centre, float radius, AxisRange& axis) {
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
inline bool makeSphere(const SphereCentre& centre, float radius, Sphere& sphere) {
  if (!axisRange(centre.x, radius, sphere.x) || !axisRange(centre.y, radius, sphere.y) ||
      !axisRange(centre.z, radius, sphere.z)) {
    return false;
  }
  sphere.radius = radius;
  sphere.radiusSquared = radius * radius;
  return true;
}

inline bool isEmpty(const Sphere& sphere) {
  return sphere.x.low > sphere.x.high || sphere.y.low > sphere.y.high || sphere.z.low > sphere.z.high;
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
inline std::int64_t nearestPosition(const AxisRange& axis) {
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
inline std::int64_t clampedEstimate(double value, std::int64_t low, std::int64_t high) {
  if (!(value > static_cast<double>(low))) return low;
  if (value >= static_cast<double>(high)) return high;
  return static_cast<std::int64_t>(value);
}

// Ends of the run of passing positions within [low, high] that contains `nearest`
// (which must pass), searched from estimates of its ends; `halfWidth` estimates how far
// the run reaches from the centre.
template <typename Passes>
inline void findRun(const AxisRange& axis, std::int64_t nearest, double halfWidth, Passes&& passes,
                    std::int64_t& first, std::int64_t& last) {
  const double centre = static_cast<double>(axis.centre);
  std::int64_t up = clampedEstimate(std::floor(centre + halfWidth), nearest, axis.high);
  if (passes(up)) {
    while (up < axis.high && passes(up + 1))
      ++up;
  } else {
    do {
      --up;
    } while (!passes(up));
  }
  std::int64_t down = clampedEstimate(std::ceil(centre - halfWidth), axis.low, nearest);
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

inline double estimatedHalfWidth(float radiusSquared, double taken) {
  const double rest = static_cast<double>(radiusSquared) - taken;
  return rest > 0.0 ? std::sqrt(rest) : 0.0;
}

// A sphere holds voxels exactly when its best position, the nearest candidate on every
// axis, passes: the squared offsets of the test are least there, and rounding keeps the
// sums in that order.
inline bool hasVoxels(const Sphere& sphere) {
  if (isEmpty(sphere)) return false;
  const float s = squaredOffset(sphere.x.centre, nearestPosition(sphere.x)) +
                  squaredOffset(sphere.y.centre, nearestPosition(sphere.y));
  return sphere.radiusSquared >= squaredOffset(sphere.z.centre, nearestPosition(sphere.z)) + s;
}

// Calls `visitColumn(x, y, zFirst, zLast)` for every column that holds voxels, x then
// y ascending; a false return stops the walk.
template <typename VisitColumn> inline void visitRuns(const Sphere& sphere, VisitColumn&& visitColumn) {
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

  // Calls visitColumn for the columns of every slice, with `squaredY(y)` and
  // `squaredZ(z)` giving the squared offsets of positions; false when visitColumn
  // stopped the walk. When `Bounded` is true, squaredZ gives a value that fails every
  // test just outside the z bounds, so the searches need not check them.
  const auto visitSlices = [&]<bool Bounded>(auto&& squaredY, auto&& squaredZ) {
    for (std::int64_t x = xFirst; x <= xLast; ++x) {
      const float qx = squaredOffset(sphere.x.centre, x);
      const auto columnPasses = [&](std::int64_t y) {
        const float s = qx + squaredY(y);
        return r2 >= leastZ + s;
      };
      std::int64_t yFirst = 0;
      std::int64_t yLast = 0;
      findRun(sphere.y, nearestY, estimatedHalfWidth(r2, static_cast<double>(qx) + leastZ), columnPasses,
              yFirst, yLast);
      // s = fl(qx + qy) falls up to nearestY and rises after it (see above), so the run
      // of each column up to nearestY holds the run of the column before it, and after
      // nearestY it lies within it. Each run holds nearestZ, as every column of the
      // slice passes there. So each search starts from the ends of the run before and
      // moves them only outward, then only inward.
      std::int64_t zFirst = nearestZ;
      std::int64_t zLast = nearestZ;
      std::int64_t y = yFirst;
      for (; y <= yLast && y <= nearestY; ++y) {
        const float s = qx + squaredY(y);
        const auto passes = [&](std::int64_t z) { return r2 >= squaredZ(z) + s; };
        while ((Bounded || zLast < sphere.z.high) && passes(zLast + 1))
          ++zLast;
        while ((Bounded || zFirst > sphere.z.low) && passes(zFirst - 1))
          --zFirst;
        if (!visitColumn(x, y, zFirst, zLast)) return false;
      }
      for (; y <= yLast; ++y) {
        const float s = qx + squaredY(y);
        const auto passes = [&](std::int64_t z) { return r2 >= squaredZ(z) + s; };
        while (!passes(zLast))
          --zLast;
        while (!passes(zFirst))
          ++zFirst;
        if (!visitColumn(x, y, zFirst, zLast)) return false;
      }
    }
    return true;
  };
  // Only positions of the candidate ranges are tested, so their squared y and z
  // offsets (the very values squaredOffset gives) are computed once per sphere when the
  // ranges fit small tables, as they do for every sphere within kMaxSphereVoxels.
  // The z table has an infinite entry on either side of the range, which fails every
  // test.
  constexpr std::int64_t kSquaredTable = 2048;
  if (sphere.y.high - sphere.y.low < kSquaredTable && sphere.z.high - sphere.z.low < kSquaredTable) {
    std::array<float, kSquaredTable> squaredY;
    std::array<float, kSquaredTable + 2> squaredZ;
    for (std::int64_t y = sphere.y.low; y <= sphere.y.high; ++y)
      squaredY[static_cast<std::size_t>(y - sphere.y.low)] = squaredOffset(sphere.y.centre, y);
    squaredZ[0] = HUGE_VALF;
    for (std::int64_t z = sphere.z.low; z <= sphere.z.high; ++z)
      squaredZ[static_cast<std::size_t>(z - sphere.z.low + 1)] = squaredOffset(sphere.z.centre, z);
    squaredZ[static_cast<std::size_t>(sphere.z.high - sphere.z.low + 2)] = HUGE_VALF;
    const std::int64_t zBase = sphere.z.low - 1; // the z of entry 0
    visitSlices.template operator()<true>(
        [&](std::int64_t y) { return squaredY[static_cast<std::size_t>(y - sphere.y.low)]; },
        [&](std::int64_t z) { return squaredZ[static_cast<std::size_t>(z - zBase)]; });
  } else {
    visitSlices.template operator()<false>([&](std::int64_t y) { return squaredOffset(sphere.y.centre, y); },
                                           [&](std::int64_t z) { return squaredOffset(sphere.z.centre, z); });
  }
}

} // namespace orbiculon::sphere_columns

namespace orbiculon {

// Walks the voxels of the sphere without storing them, one column (fixed x and y) at a
// time, in the order of enumerateSphereVoxels: `visit(x, y, zFirst, zLast)`, a callable
// that returns false to stop the walk and does not throw, is inlined into the walk and
// called for every column, x then y ascending. Visits nothing for a sphere that cannot
// be represented, and does not stop at kMaxSphereVoxels: the callable decides how far
// it goes. True when the walk came to its end, false when the callable stopped it.
template <typename Visit>
inline bool forEachSphereColumn(const SphereCentre& centre, float radius, Visit& visit) noexcept {
  sphere_columns::Sphere sphere{};
  if (!sphere_columns::makeSphere(centre, radius, sphere)) return true;
  bool complete = true;
  sphere_columns::visitRuns(sphere, [&](std::int64_t x, std::int64_t y, std::int64_t first,
                                        std::int64_t last) {
    // Every position lies within bounds that came from 32-bit truncations.
    complete = static_cast<bool>(visit(static_cast<std::int32_t>(x), static_cast<std::int32_t>(y),
                                       static_cast<std::int32_t>(first), static_cast<std::int32_t>(last)));
    return complete;
  });
  return complete;
}

} // namespace orbiculon
