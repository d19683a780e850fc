#include "coords/SpaceConversion.h"

#include <array>
#include <cmath>
#include <limits>

namespace orbiculon {

namespace {

// x' = A x + t, rows x, y, z; the fourth column is the translation.
struct Affine {
  std::array<std::array<double, 4>, 3> m;
};

// The published MNI-to-TAL matrices, as printed (to 4 decimals).
constexpr Affine kIcbm2TalSpm{{{{0.9254, 0.0024, -0.0118, -1.0207},
                                {-0.0048, 0.9316, -0.0871, -1.7667},
                                {0.0152, 0.0883, 0.8924, 4.0926}}}};
constexpr Affine kIcbm2TalFsl{{{{0.9464, 0.0034, -0.0026, -1.0680},
                                {-0.0083, 0.9479, -0.0580, -1.0239},
                                {0.0053, 0.0617, 0.9010, 3.1883}}}};
constexpr Affine kIcbm2TalOther{{{{0.9357, 0.0029, -0.0072, -1.0423},
                                  {-0.0065, 0.9396, -0.0726, -1.3940},
                                  {0.0103, 0.0752, 0.8967, 3.6475}}}};

// mni2tal: a rotation of 0.05 rad about x after scaling by 0.99, 0.97 and, for z,
// 0.92 at and above MNI z = 0 and 0.84 below. No translation.
constexpr double kMni2TalAngle = 0.05;
constexpr double kMni2TalScaleX = 0.99;
constexpr double kMni2TalScaleY = 0.97;
constexpr double kMni2TalScaleZUpper = 0.92;
constexpr double kMni2TalScaleZLower = 0.84;

Affine mni2talHalf(double scaleZ) {
  const double c = std::cos(kMni2TalAngle);
  const double s = std::sin(kMni2TalAngle);
  return Affine{{{{kMni2TalScaleX, 0.0, 0.0, 0.0},
                  {0.0, c * kMni2TalScaleY, s * scaleZ, 0.0},
                  {0.0, -s * kMni2TalScaleY, c * scaleZ, 0.0}}}};
}

// The inverse map of `a`: the inverse of its 3x3 part by cofactors, and the
// translation carried through it.
Affine inverse(const Affine& a) {
  const auto& m = a.m;
  const auto cofactor = [&m](int row, int column) {
    const auto r0 = static_cast<std::size_t>((row + 1) % 3);
    const auto r1 = static_cast<std::size_t>((row + 2) % 3);
    const auto c0 = static_cast<std::size_t>((column + 1) % 3);
    const auto c1 = static_cast<std::size_t>((column + 2) % 3);
    return m[r0][c0] * m[r1][c1] - m[r0][c1] * m[r1][c0];
  };
  const double determinant = m[0][0] * cofactor(0, 0) + m[0][1] * cofactor(0, 1) + m[0][2] * cofactor(0, 2);
  Affine result{};
  for (std::size_t row = 0; row < 3; ++row) {
    // The inverse is the transposed cofactor matrix over the determinant.
    for (std::size_t column = 0; column < 3; ++column)
      result.m[row][column] = cofactor(static_cast<int>(column), static_cast<int>(row)) / determinant;
  }
  for (std::size_t row = 0; row < 3; ++row)
    result.m[row][3] =
        -(result.m[row][0] * m[0][3] + result.m[row][1] * m[1][3] + result.m[row][2] * m[2][3]);
  return result;
}

struct Point {
  double x;
  double y;
  double z;
};

Point apply(const Affine& a, const Point& p) {
  const auto row = [&](std::size_t r) {
    return a.m[r][0] * p.x + a.m[r][1] * p.y + a.m[r][2] * p.z + a.m[r][3];
  };
  return {row(0), row(1), row(2)};
}

// Each transform in both directions. The icbm2tal transforms use their one matrix
// for every point; mni2tal keeps its two halves (index 0 at and above MNI z = 0,
// index 1 below) apart.
struct TransformPair {
  Affine toTal[2];
  Affine toMni[2];
};

const TransformPair& transformPair(SpaceTransform transform) {
  static const std::array<TransformPair, 4> pairs = [] {
    const auto single = [](const Affine& a) { return TransformPair{{a, a}, {inverse(a), inverse(a)}}; };
    const Affine upper = mni2talHalf(kMni2TalScaleZUpper);
    const Affine lower = mni2talHalf(kMni2TalScaleZLower);
    return std::array<TransformPair, 4>{single(kIcbm2TalSpm), single(kIcbm2TalFsl), single(kIcbm2TalOther),
                                        TransformPair{{upper, lower}, {inverse(upper), inverse(lower)}}};
  }();
  return pairs[static_cast<std::size_t>(transform)];
}

// Rounds once to float; a value beyond the float range becomes an infinity (the
// plain conversion would be undefined).
float toFloat(double value) {
  constexpr double kMax = std::numeric_limits<float>::max();
  if (value > kMax) return std::numeric_limits<float>::infinity();
  if (value < -kMax) return -std::numeric_limits<float>::infinity();
  return static_cast<float>(value);
}

} // namespace

std::optional<SpaceTransform> transformForDialogValue(std::int32_t value) noexcept {
  if (value < 1 || value > 4) return std::nullopt;
  return static_cast<SpaceTransform>(value - 1);
}

std::int32_t dialogValue(SpaceTransform transform) noexcept {
  return static_cast<std::int32_t>(transform) + 1;
}

std::optional<SpaceTransform> transformForOptionName(std::string_view name) noexcept {
  for (const auto transform : {SpaceTransform::Icbm2TalSpm, SpaceTransform::Icbm2TalFsl,
                               SpaceTransform::Icbm2TalOther, SpaceTransform::Mni2Tal}) {
    if (optionName(transform) == name) return transform;
  }
  return std::nullopt;
}

std::string_view optionName(SpaceTransform transform) noexcept {
  constexpr std::array<std::string_view, 4> kNames = {"icbm-spm", "icbm-fsl", "icbm-other", "mni2tal"};
  return kNames[static_cast<std::size_t>(transform)];
}

const char* conversionName(SpaceTransform transform, bool fromMni) noexcept {
  constexpr std::array<const char*, 4> kToTal = {"icbm2tal (SPM)", "icbm2tal (FSL)", "icbm2tal (other)",
                                                 "mni2tal (Brett)"};
  constexpr std::array<const char*, 4> kToMni = {"tal2icbm (SPM)", "tal2icbm (FSL)", "tal2icbm (other)",
                                                 "tal2mni (Brett)"};
  return (fromMni ? kToTal : kToMni)[static_cast<std::size_t>(transform)];
}

SpacePoint convertCentre(SpaceTransform transform, bool fromMni, SpacePoint centre) noexcept {
  const TransformPair& pair = transformPair(transform);
  const Point given{centre.x, centre.y, centre.z};
  Point converted{};
  if (fromMni) {
    converted = apply(pair.toTal[given.z >= 0.0 ? 0 : 1], given);
  } else {
    // The upper half's inverse lands at or above MNI z = 0 exactly for the points
    // that the upper half produces (both halves map z = 0 to the same plane), so it
    // decides the half; this keeps the round trip exact near that plane too.
    converted = apply(pair.toMni[0], given);
    if (!(converted.z >= 0.0)) converted = apply(pair.toMni[1], given);
  }
  return {toFloat(converted.x), toFloat(converted.y), toFloat(converted.z)};
}

} // namespace orbiculon
