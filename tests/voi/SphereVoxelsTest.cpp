#include "voi/SphereVoxels.h"

#include <cmath>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace {

using orbiculon::SphereCentre;
using orbiculon::VoxelTriple;

using Voxels = std::vector<std::array<std::int32_t, 3>>;

Voxels toVector(const std::unique_ptr<VoxelTriple[]>& voxels, std::int32_t count) {
  Voxels result;
  for (std::int32_t i = 0; i < count; ++i)
    result.push_back({voxels[i].x, voxels[i].y, voxels[i].z});
  return result;
}

Voxels enumerateFast(SphereCentre centre, float radius) {
  std::int32_t count = -1;
  const auto voxels = orbiculon::enumerateSphereVoxels(centre, radius, count);
  EXPECT_NE(nullptr, voxels.get());
  return toVector(voxels, count);
}

Voxels enumerateDirect(SphereCentre centre, float radius) {
  std::int32_t count = -1;
  const auto voxels = orbiculon::enumerateSphereVoxelsDirect(centre, radius, count);
  EXPECT_NE(nullptr, voxels.get());
  return toVector(voxels, count);
}

struct SphereCase {
  std::string name;
  SphereCentre centre;
  float radius;
  std::size_t count;
  Voxels exact; // the whole list, when given
  Voxels ends;  // first and last, when given
};

class SphereTableTest : public ::testing::TestWithParam<SphereCase> {};

TEST_P(SphereTableTest, FastAndDirectGiveTheListedVoxels) {
  const SphereCase& c = GetParam();
  const Voxels fast = enumerateFast(c.centre, c.radius);
  EXPECT_EQ(c.count, fast.size());
  if (!c.exact.empty()) {
    EXPECT_EQ(c.exact, fast);
  }
  if (!c.ends.empty() && !fast.empty()) {
    EXPECT_EQ(c.ends.front(), fast.front());
    EXPECT_EQ(c.ends.back(), fast.back());
  }
  EXPECT_EQ(fast, enumerateDirect(c.centre, c.radius));
  EXPECT_EQ(static_cast<std::int64_t>(c.count), orbiculon::countSphereVoxels(c.centre, c.radius));
}

INSTANTIATE_TEST_SUITE_P(
    Voxels, SphereTableTest,
    ::testing::Values(
        SphereCase{"Radius0", {0, 0, 0}, 0.0f, 1, {{0, 0, 0}}, {}},
        SphereCase{"Radius0_999", {0, 0, 0}, 0.999f, 1, {{0, 0, 0}}, {}},
        SphereCase{"Radius1",
                   {0, 0, 0},
                   1.0f,
                   7,
                   {{-1, 0, 0}, {0, -1, 0}, {0, 0, -1}, {0, 0, 0}, {0, 0, 1}, {0, 1, 0}, {1, 0, 0}},
                   {}},
        SphereCase{"Radius1_5", {0, 0, 0}, 1.5f, 19, {}, {{-1, -1, 0}, {1, 1, 0}}},
        SphereCase{"Radius2", {0, 0, 0}, 2.0f, 33, {}, {}},
        SphereCase{"Radius3", {0, 0, 0}, 3.0f, 123, {}, {}},
        SphereCase{"Radius4", {0, 0, 0}, 4.0f, 257, {}, {}},
        SphereCase{"Radius5", {0, 0, 0}, 5.0f, 515, {}, {}},
        SphereCase{"Radius10", {0, 0, 0}, 10.0f, 4169, {}, {}},
        SphereCase{"HalfCentreRadius1",
                   {0.5f, 0.5f, 0.5f},
                   1.0f,
                   8,
                   {{0, 0, 0}, {0, 0, 1}, {0, 1, 0}, {0, 1, 1}, {1, 0, 0}, {1, 0, 1}, {1, 1, 0}, {1, 1, 1}},
                   {}},
        SphereCase{"BothOnSurface", {0.5f, 0, 0}, 0.5f, 2, {{0, 0, 0}, {1, 0, 0}}, {}},
        SphereCase{"OffLatticeRadius0", {0.3f, 0, 0}, 0.0f, 0, {}, {}},
        // Passes only when every operation is rounded to float: in double precision
        // (or with a fused multiply-add) the squared distance of (1, 0, 0) exceeds r².
        SphereCase{"SinglePrecisionSurface", {0.1f, 0, 0}, 0.9f, 2, {{0, 0, 0}, {1, 0, 0}}, {}},
        SphereCase{"TruncatedBounds", {-2.5f, 0, 0}, 1.0f, 2, {{-3, 0, 0}, {-2, 0, 0}}, {}},
        SphereCase{"OffLattice67", {-7.6f, 3.2f, 0.4f}, 2.5f, 67, {}, {{-10, 3, 0}, {-6, 5, 1}}},
        SphereCase{"ShiftedCentre", {10, -20, 30}, 2.0f, 33, {}, {{8, -20, 30}, {12, -20, 30}}},
        SphereCase{"NegativeRadius1", {0, 0, 0}, -1.0f, 0, {}, {}},
        SphereCase{"NegativeRadiusHalf", {0, 0, 0}, -0.5f, 1, {{0, 0, 0}}, {}}),
    [](const auto& testCase) { return testCase.param.name; });

struct RefusedCase {
  std::string name;
  SphereCentre centre;
  float radius;
};

class RefusedSphereTest : public ::testing::TestWithParam<RefusedCase> {};

TEST_P(RefusedSphereTest, GivesNoVoxelsAndAnEmptyArray) {
  const RefusedCase& c = GetParam();
  std::int32_t count = -1;
  const auto voxels = orbiculon::enumerateSphereVoxels(c.centre, c.radius, count);
  EXPECT_NE(nullptr, voxels.get());
  EXPECT_EQ(0, count);
}

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInfinity = std::numeric_limits<float>::infinity();

INSTANTIATE_TEST_SUITE_P(Voxels, RefusedSphereTest,
                         ::testing::Values(RefusedCase{"NaNCentre", {0, kNaN, 0}, 1.0f},
                                           RefusedCase{"NaNRadius", {0, 0, 0}, kNaN},
                                           RefusedCase{"InfiniteRadius", {0, 0, 0}, kInfinity},
                                           RefusedCase{"NegativeInfiniteRadius", {0, 0, 0}, -kInfinity},
                                           RefusedCase{"InfiniteCentre", {0, 0, -kInfinity}, 1.0f},
                                           RefusedCase{"HugeCentre", {1e30f, 0, 0}, 1.0f},
                                           RefusedCase{"HugeRadius", {0, 0, 0}, 1e30f},
                                           RefusedCase{"BoundBeyondInt32", {2147483520.0f, 0, 0}, 200.0f},
                                           RefusedCase{"TooManyVoxels", {0, 0, 0}, 555.0f},
                                           RefusedCase{"FarTooManyVoxels", {0, 0, 0}, 1e9f}),
                         [](const auto& testCase) { return testCase.param.name; });

TEST(SphereVoxelLimitTest, CountStopsJustAboveTheLimit) {
  // Radius 554 still fits in a signed 32-bit array length of three integers per voxel,
  // 555 does not; counted without building the gigabytes of voxels.
  const std::int64_t fits = orbiculon::countSphereVoxels({0, 0, 0}, 554.0f);
  EXPECT_LE(fits, orbiculon::kMaxSphereVoxels);
  EXPECT_GT(fits, orbiculon::kMaxSphereVoxels - 10'000'000);
  EXPECT_EQ(orbiculon::kMaxSphereVoxels + 1, orbiculon::countSphereVoxels({0, 0, 0}, 555.0f));
  EXPECT_EQ(-1, orbiculon::countSphereVoxels({kNaN, 0, 0}, 1.0f));
  EXPECT_EQ(-1, orbiculon::countSphereVoxels({0, 0, 0}, 3e9f));
  // A record counts only a sphere that might come near the limit; it refuses the rest.
  EXPECT_EQ(fits, orbiculon::recordVoxelCount({0, 0, 0}, 554.0f));
  EXPECT_EQ(0, orbiculon::recordVoxelCount({0, 0, 0}, 555.0f));
  EXPECT_EQ(0, orbiculon::recordVoxelCount({kNaN, 0, 0}, 1.0f));
}

TEST(SphereVoxelLimitTest, VolumeRefusesSpheresAboveTheLimitWithoutCounting) {
  // 555 holds more than the limit (counted above), so 556 and beyond do too; the volume
  // bound must tell them without counting, anywhere the bounds stay in range.
  for (const SphereCentre centre :
       {SphereCentre{0, 0, 0}, SphereCentre{-42.7f, 58.1f, 0.5f}, SphereCentre{1e6f, -1e6f, 3e5f}}) {
    EXPECT_TRUE(orbiculon::exceedsVoxelLimitByVolume(centre, 556.0f));
    EXPECT_TRUE(orbiculon::exceedsVoxelLimitByVolume(centre, 1e6f));
    EXPECT_EQ(orbiculon::kMaxSphereVoxels + 1, orbiculon::countSphereVoxels(centre, 1e9f));
  }
  // Never for a sphere that fits or may fit: those are counted exactly.
  EXPECT_FALSE(orbiculon::exceedsVoxelLimitByVolume({0.5f, 0.5f, 0.5f}, 554.0f));
  EXPECT_FALSE(orbiculon::exceedsVoxelLimitByVolume({0, 0, 0}, 555.0f));
  EXPECT_FALSE(orbiculon::exceedsVoxelLimitByVolume({0, 0, 0}, -1e6f));
  EXPECT_FALSE(orbiculon::exceedsVoxelLimitByVolume({0, 0, 0}, kNaN));
  // Where positions round to coarse floats the allowance for rounding outgrows the radius.
  EXPECT_FALSE(orbiculon::exceedsVoxelLimitByVolume({2e9f, 0, 0}, 600.0f));
}

TEST(SphereVoxelLimitTest, LargestBoundsNearTheInt32EdgeDoNotOverflow) {
  // Bounds that reach the largest and smallest 32-bit values: the loops must end.
  const float top = 2147483520.0f; // the largest float below 2^31
  std::int32_t count = -1;
  const auto high = orbiculon::enumerateSphereVoxels({top, 0, 0}, 60.0f, count);
  EXPECT_EQ(toVector(high, count), enumerateDirect({top, 0, 0}, 60.0f));
  EXPECT_GT(count, 0);
  const auto low = orbiculon::enumerateSphereVoxels({-2147483648.0f, 0, 0}, 0.5f, count);
  EXPECT_EQ(toVector(low, count), enumerateDirect({-2147483648.0f, 0, 0}, 0.5f));
  EXPECT_GT(count, 0);
}

// Fast and direct enumeration agree on every kind of sphere: one-decimal centres,
// arbitrary floats, lattice and half-lattice centres, radii that put lattice points
// exactly on the surface (and the floats next to them), negative radii, and centres
// large enough that integer positions round when converted to float.
TEST(SphereVoxelEquivalenceTest, FastMatchesDirectOnRandomSpheres) {
  std::mt19937 random(20240611u);
  std::uniform_real_distribution<float> anywhere(-60.0f, 60.0f);
  std::uniform_real_distribution<float> radii(-3.0f, 9.0f);
  std::uniform_int_distribution<int> lattice(-40, 40);
  std::uniform_int_distribution<int> offset(-6, 6);
  std::uniform_int_distribution<int> kind(0, 6);
  std::uniform_int_distribution<int> nudge(-2, 2);

  const auto oneDecimal = [&] { return static_cast<float>(lattice(random) * 10 + offset(random)) / 10.0f; };
  for (int trial = 0; trial < 4000; ++trial) {
    SphereCentre centre{};
    float radius = radii(random);
    switch (kind(random)) {
    case 0:
      centre = {oneDecimal(), oneDecimal(), oneDecimal()};
      break;
    case 1:
      centre = {anywhere(random), anywhere(random), anywhere(random)};
      break;
    case 2:
      centre = {static_cast<float>(lattice(random)), static_cast<float>(lattice(random)) + 0.5f,
                static_cast<float>(lattice(random))};
      break;
    case 3:
    case 4: {
      // A radius whose square equals a lattice point's squared distance as computed
      // in float, then possibly nudged by a few units in the last place.
      centre = {oneDecimal(), anywhere(random), oneDecimal()};
      const auto sq = [](float c, int i) {
        const float d = c - static_cast<float>(i);
        return d * d;
      };
      const int px = static_cast<int>(centre.x) + offset(random);
      const int py = static_cast<int>(centre.y) + offset(random);
      const int pz = static_cast<int>(centre.z) + offset(random);
      const float s = sq(centre.x, px) + sq(centre.y, py);
      const float d2 = sq(centre.z, pz) + s;
      radius = std::sqrt(d2);
      for (int n = nudge(random); n != 0; n += n > 0 ? -1 : 1) {
        radius = std::nextafter(radius, n > 0 ? kInfinity : 0.0f);
      }
      break;
    }
    case 5:
      // Integer positions above 2^24 round to even floats.
      centre = {16777216.0f + static_cast<float>(lattice(random)) * 2.0f, oneDecimal(),
                -33554432.0f + static_cast<float>(lattice(random)) * 4.0f};
      radius = radii(random) * 2.0f;
      break;
    default:
      centre = {oneDecimal(), oneDecimal(), oneDecimal()};
      radius = -std::abs(radius) / 4.0f;
      break;
    }
    const Voxels fast = enumerateFast(centre, radius);
    ASSERT_EQ(enumerateDirect(centre, radius), fast)
        << "centre (" << centre.x << ", " << centre.y << ", " << centre.z << ") radius " << radius;
    ASSERT_EQ(static_cast<std::int64_t>(fast.size()), orbiculon::countSphereVoxels(centre, radius));
    ASSERT_EQ(fast.empty() ? 0 : orbiculon::kVoxelsCountedWhileWritten,
              orbiculon::recordVoxelCount(centre, radius));
  }
}

} // namespace
