#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <string>

#include "coords/SpaceConversion.h"

namespace {

using orbiculon::convertCentre;
using orbiculon::SpacePoint;
using orbiculon::SpaceTransform;

// The published reference values are given to 4 decimals.
constexpr float kReferenceTolerance = 0.6e-4f;

struct ReferenceCase {
  const char* name;
  SpaceTransform transform;
  bool fromMni;
  SpacePoint given;
  SpacePoint expected;
};
void PrintTo(const ReferenceCase& value, std::ostream* out) { *out << value.name; }

class SpaceConversionReferenceTest : public ::testing::TestWithParam<ReferenceCase> {};

TEST_P(SpaceConversionReferenceTest, MatchesThePublishedValue) {
  const ReferenceCase& c = GetParam();
  const SpacePoint converted = convertCentre(c.transform, c.fromMni, c.given);
  EXPECT_NEAR(c.expected.x, converted.x, kReferenceTolerance);
  EXPECT_NEAR(c.expected.y, converted.y, kReferenceTolerance);
  EXPECT_NEAR(c.expected.z, converted.z, kReferenceTolerance);
}

constexpr SpacePoint kOrigin{0.0f, 0.0f, 0.0f};
constexpr SpacePoint kAngular{-42.0f, -58.0f, 22.0f};
constexpr SpacePoint kTalBelow{46.0f, -62.0f, -28.0f};

constexpr auto kSpm = SpaceTransform::Icbm2TalSpm;
constexpr auto kFsl = SpaceTransform::Icbm2TalFsl;
constexpr auto kOther = SpaceTransform::Icbm2TalOther;
constexpr auto kMni2Tal = SpaceTransform::Mni2Tal;

INSTANTIATE_TEST_SUITE_P(
    Transforms, SpaceConversionReferenceTest,
    ::testing::Values(
        ReferenceCase{"SpmOrigin", kSpm, true, kOrigin, {-1.0207f, -1.7667f, 4.0926f}},
        ReferenceCase{"SpmAngular", kSpm, true, kAngular, {-40.2863f, -57.5141f, 17.9656f}},
        ReferenceCase{"SpmToMni", kSpm, false, kTalBelow, {50.6008f, -67.2161f, -30.1732f}},
        ReferenceCase{"FslOrigin", kFsl, true, kOrigin, {-1.0680f, -1.0239f, 3.1883f}},
        ReferenceCase{"FslAngular", kFsl, true, kAngular, {-41.0712f, -56.9295f, 19.2091f}},
        ReferenceCase{"FslToMni", kFsl, false, kTalBelow, {49.8864f, -65.7512f, -30.4060f}},
        ReferenceCase{"OtherOrigin", kOther, true, kOrigin, {-1.0423f, -1.3940f, 3.6475f}},
        ReferenceCase{"OtherAngular", kOther, true, kAngular, {-40.6683f, -57.2150f, 18.5807f}},
        ReferenceCase{"OtherToMni", kOther, false, kTalBelow, {50.2480f, -66.4950f, -30.2940f}},
        ReferenceCase{"Mni2TalOrigin", kMni2Tal, true, kOrigin, kOrigin},
        ReferenceCase{"Mni2TalAngular", kMni2Tal, true, kAngular, {-41.5800f, -55.1781f, 23.0265f}},
        ReferenceCase{"Mni2TalToMni", kMni2Tal, false, kTalBelow, {46.4646f, -62.3949f, -36.9806f}}),
    [](const auto& param) { return std::string(param.param.name); });

class SpaceConversionRoundTripTest : public ::testing::TestWithParam<SpaceTransform> {};

TEST_P(SpaceConversionRoundTripTest, TalAndBackGivesTheMniPointWithinATenThousandthMillimetre) {
  std::mt19937 random(20070601u);
  // A little beyond the MNI bounds, and densely around z = 0 where mni2tal switches
  // halves: there a point below MNI z = 0 can map to a positive TAL z, and must still
  // go back through the lower half.
  std::uniform_real_distribution<float> x(-80.0f, 80.0f), y(-115.0f, 80.0f), z(-60.0f, 85.0f),
      nearZero(-8.0f, 8.0f);
  for (int i = 0; i < 20000; ++i) {
    const SpacePoint mni{x(random), y(random), i % 2 == 0 ? z(random) : nearZero(random)};
    const SpacePoint back = convertCentre(GetParam(), false, convertCentre(GetParam(), true, mni));
    ASSERT_NEAR(mni.x, back.x, 1e-4f) << mni.x << " " << mni.y << " " << mni.z;
    ASSERT_NEAR(mni.y, back.y, 1e-4f) << mni.x << " " << mni.y << " " << mni.z;
    ASSERT_NEAR(mni.z, back.z, 1e-4f) << mni.x << " " << mni.y << " " << mni.z;
  }
}

INSTANTIATE_TEST_SUITE_P(Transforms, SpaceConversionRoundTripTest,
                         ::testing::Values(kSpm, kFsl, kOther, kMni2Tal));

TEST(Mni2TalBoundaryTest, ZeroBelongsToTheUpperHalfAndTheMapIsContinuousThere) {
  // At z = 0 both halves agree; just above and below they differ only by the z scale.
  const SpacePoint atZero = convertCentre(kMni2Tal, true, {10.0f, -100.0f, 0.0f});
  const SpacePoint above = convertCentre(kMni2Tal, true, {10.0f, -100.0f, 1.0f});
  const SpacePoint below = convertCentre(kMni2Tal, true, {10.0f, -100.0f, -1.0f});
  EXPECT_NEAR(0.92 * 0.998750260, above.z - atZero.z, 1e-5);
  EXPECT_NEAR(0.84 * 0.998750260, atZero.z - below.z, 1e-5);
  // The image of MNI z = 0 at y = -100 lies at TAL z = 0.97 * 100 * sin(0.05).
  EXPECT_NEAR(4.84798, atZero.z, 1e-4);
}

TEST(SpaceConversionTest, NonFiniteOrHugeCentresGiveNonFiniteCoordinates) {
  const SpacePoint nan = convertCentre(kSpm, true, {std::nanf(""), 0.0f, 0.0f});
  EXPECT_TRUE(std::isnan(nan.x));
  const SpacePoint huge = convertCentre(kSpm, false, {3.4e38f, 0.0f, 0.0f});
  EXPECT_TRUE(std::isinf(huge.x));
}

} // namespace
