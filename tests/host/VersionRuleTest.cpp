#include <gtest/gtest.h>

#include <climits>
#include <string>

#include "host/HostEntryTable.h"

namespace {

struct VersionCase {
  std::string name;
  int major, minor, build;
  bool accepted;
};

class VersionRuleTest : public ::testing::TestWithParam<VersionCase> {};

// The plug-in requires host 2.2.0 or later.
TEST_P(VersionRuleTest, ComparesAgainstTwoTwoZero) {
  const auto& c = GetParam();
  EXPECT_EQ(c.accepted, orbiculon::isVersionAtLeast(c.major, c.minor, c.build, 2, 2, 0));
}

INSTANTIATE_TEST_SUITE_P(
    RequiredVersion, VersionRuleTest,
    ::testing::Values(VersionCase{"Equal", 2, 2, 0, true}, VersionCase{"LaterBuild", 2, 2, 7, true},
                      VersionCase{"LaterMinor", 2, 3, 0, true}, VersionCase{"LaterMajor", 3, 0, 0, true},
                      VersionCase{"LaterMinorAnyBuild", 2, 3, -5, true},
                      VersionCase{"LaterMajorNegativeMinorAndBuild", 3, -1, -1, true},
                      VersionCase{"EarlierMinorHighBuild", 2, 1, 99, false},
                      VersionCase{"EarlierMinorHugeBuild", 2, 1, INT_MAX, false},
                      VersionCase{"EarlierMajor", 1, 9, 9, false},
                      VersionCase{"EarlierMajorHugeMinor", 1, INT_MAX, INT_MAX, false},
                      VersionCase{"NegativeBuild", 2, 2, -1, false},
                      VersionCase{"NegativeMajor", -2, 2, 0, false},
                      VersionCase{"MostNegativeBuild", 2, 2, INT_MIN, false}),
    [](const ::testing::TestParamInfo<VersionCase>& testCase) { return testCase.param.name; });

// Comparing signed values also works for required versions other than 2.2.0.
TEST(VersionRuleEdgeTest, EqualVersionsAreAtLeastEachOther) {
  EXPECT_TRUE(orbiculon::isVersionAtLeast(-1, -1, -1, -1, -1, -1));
  EXPECT_TRUE(orbiculon::isVersionAtLeast(INT_MAX, INT_MAX, INT_MAX, INT_MAX, INT_MAX, INT_MAX));
  EXPECT_FALSE(orbiculon::isVersionAtLeast(INT_MIN, 0, 0, INT_MAX, 0, 0));
}

} // namespace
