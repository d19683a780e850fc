#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "host/HostEntryTable.h"

namespace {

using orbiculon::HostEntry;
using orbiculon::hostTable;
using orbiculon::kHostEntryCount;
using orbiculon::kHostEntryNames;
using Table = std::array<HostEntry, kHostEntryCount>;

// Distinct, never called addresses: module `base` exports entry `index` at this one.
HostEntry fakeAddress(std::uintptr_t base, std::size_t index) {
  return reinterpret_cast<HostEntry>(base + 16 * index);
}

constexpr std::uintptr_t kBaseline = 0x100000;
constexpr std::uintptr_t kPrimary = 0x200000;
constexpr std::uintptr_t kFallback = 0x300000;

// A host given as module names: every loaded module exports all 150 names but those
// in `missing`, each at its own fake address. Records every question in order.
class RecordingLookup final : public orbiculon::HostLookup {
public:
  std::map<std::string, std::uintptr_t> modules;
  std::set<std::string> missing;
  std::vector<std::string> moduleQueries;
  std::vector<std::string> resolved;

  bool findModule(const char* moduleName) override {
    moduleQueries.emplace_back(moduleName);
    const auto found = modules.find(moduleName);
    if (found == modules.end()) return false;
    selected_ = found->second;
    return true;
  }

  HostEntry resolve(const char* exportName) override {
    resolved.emplace_back(exportName);
    if (missing.count(exportName) != 0) return nullptr;
    return fakeAddress(selected_, orbiculon::hostEntryIndex(exportName));
  }

private:
  std::uintptr_t selected_ = 0;
};

Table snapshot() {
  Table table{};
  for (std::size_t i = 0; i < kHostEntryCount; ++i)
    table[i] = hostTable().entry(i);
  return table;
}

// The table a complete module with that base yields.
Table complete(std::uintptr_t base) {
  Table table{};
  for (std::size_t i = 0; i < kHostEntryCount; ++i)
    table[i] = fakeAddress(base, i);
  return table;
}

// Every test starts from a table bound to a complete host at kBaseline, so it can
// see which entries a binding wrote.
class BindingTest : public ::testing::Test {
protected:
  void SetUp() override {
    RecordingLookup baseline;
    baseline.modules = {{"CerevantRZ.exe", kBaseline}};
    ASSERT_TRUE(orbiculon::bindHostEntryPoints(baseline));
    ASSERT_EQ(complete(kBaseline), snapshot());
  }
};

TEST_F(BindingTest, NeitherModuleFailsWithoutWritingAnyEntry) {
  RecordingLookup lookup;
  lookup.modules = {{"Cerevant", kPrimary}, {"cerevantrz.exe", kPrimary}, {"OtherHost.exe", kPrimary}};
  EXPECT_FALSE(orbiculon::bindHostEntryPoints(lookup));
  EXPECT_EQ((std::vector<std::string>{"CerevantRZ.exe", "Cerevant.exe"}), lookup.moduleQueries);
  EXPECT_TRUE(lookup.resolved.empty());
  EXPECT_EQ(complete(kBaseline), snapshot());
}

TEST_F(BindingTest, FallsBackToSecondModuleName) {
  RecordingLookup lookup;
  lookup.modules = {{"Cerevant.exe", kFallback}};
  EXPECT_TRUE(orbiculon::bindHostEntryPoints(lookup));
  EXPECT_EQ((std::vector<std::string>{"CerevantRZ.exe", "Cerevant.exe"}), lookup.moduleQueries);
  EXPECT_EQ(complete(kFallback), snapshot());
}

TEST_F(BindingTest, PrefersFirstModuleNameWhenBothAreLoaded) {
  RecordingLookup lookup;
  lookup.modules = {{"CerevantRZ.exe", kPrimary}, {"Cerevant.exe", kFallback}};
  EXPECT_TRUE(orbiculon::bindHostEntryPoints(lookup));
  EXPECT_EQ(std::vector<std::string>{"CerevantRZ.exe"}, lookup.moduleQueries);
  EXPECT_EQ(complete(kPrimary), snapshot());
}

TEST_F(BindingTest, ResolvesEveryNameOnceInListOrder) {
  RecordingLookup lookup;
  lookup.modules = {{"CerevantRZ.exe", kPrimary}};
  EXPECT_TRUE(orbiculon::bindHostEntryPoints(lookup));
  const std::vector<std::string> expected(kHostEntryNames.begin(), kHostEntryNames.end());
  EXPECT_EQ(expected, lookup.resolved);
  EXPECT_EQ("rzGetVersionOfCerevantRZ", lookup.resolved.front());
}

TEST_F(BindingTest, MissingVersionEntryFailsAndWritesOnlyThatEntry) {
  RecordingLookup lookup;
  lookup.modules = {{"CerevantRZ.exe", kPrimary}};
  lookup.missing = {"rzGetVersionOfCerevantRZ"};
  EXPECT_FALSE(orbiculon::bindHostEntryPoints(lookup));
  EXPECT_EQ(std::vector<std::string>{"rzGetVersionOfCerevantRZ"}, lookup.resolved);

  Table expected = complete(kBaseline);
  expected[0] = nullptr;
  EXPECT_EQ(expected, snapshot());
}

TEST_F(BindingTest, RebindingYieldsTheSameTable) {
  RecordingLookup lookup;
  lookup.modules = {{"CerevantRZ.exe", kPrimary}};
  ASSERT_TRUE(orbiculon::bindHostEntryPoints(lookup));
  const Table first = snapshot();
  ASSERT_TRUE(orbiculon::bindHostEntryPoints(lookup));
  EXPECT_EQ(first, snapshot());
  EXPECT_EQ(complete(kPrimary), first);
}

// With the test lookup installed, the production entry point binds through it; once
// it is removed, the platform lookup is back, and a test process has no host module.
TEST_F(BindingTest, InstalledLookupServesTheProductionBindingUntilRemoved) {
  RecordingLookup lookup;
  lookup.modules = {{"CerevantRZ.exe", kPrimary}};
  orbiculon::setHostLookupForTesting(&lookup);
  EXPECT_TRUE(orbiculon::bindHostEntryPoints());
  orbiculon::setHostLookupForTesting(nullptr);
  EXPECT_EQ(complete(kPrimary), snapshot());

  EXPECT_FALSE(orbiculon::bindHostEntryPoints());
  EXPECT_EQ(complete(kPrimary), snapshot());
}

// A host lacking an entry other than the version entry still binds; only that
// entry is null. First, last and a middle name of the list.
class MissingEntryTest : public BindingTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(MissingEntryTest, OnlyThatEntryIsNull) {
  RecordingLookup lookup;
  lookup.modules = {{"CerevantRZ.exe", kPrimary}};
  lookup.missing = {GetParam()};
  EXPECT_TRUE(orbiculon::bindHostEntryPoints(lookup));

  Table expected = complete(kPrimary);
  expected[orbiculon::hostEntryIndex(GetParam())] = nullptr;
  EXPECT_EQ(expected, snapshot());
  EXPECT_FALSE(hostTable().isBound(GetParam()));
}

INSTANTIATE_TEST_SUITE_P(Entries, MissingEntryTest,
                         ::testing::Values("rzGetCerevantRZPath", "rzShowBusyCursor", "rzLogText",
                                           "rzLaunchICADialog"),
                         [](const ::testing::TestParamInfo<const char*>& testCase) {
                           return testCase.param;
                         });

} // namespace
