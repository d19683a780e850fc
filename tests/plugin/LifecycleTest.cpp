#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "host/HostEntryTable.h"
#include "plugin/Orbiculon.h"
#include "tests/support/FakeHost.h"

namespace {

using orbiculon::testing::FakeHost;
using Events = std::vector<std::string>;

const std::string kStart1 = "log:  ";
const std::string kStart2 = "log: Plugin>  Running Orbiculon Plugin...";
const std::string kStart3 = "log: Plugin>";
const std::string kClose1 = "log: Plugin>  Orbiculon Plugin finished!";
const std::string kClose2 = "log:  ";
const std::string kOldHost =
    "message: Can not execute this plugin - CerevantRZ version 2.2 or higher required.";
const std::string kNoDocument = "message: No current document available.";
const std::string kNotVmr = "message: The currently active document is not a VMR document.";

struct InitCase {
  std::string name;
  int major, minor, build;
  std::int32_t documentId, documentType;
  bool ready;
  Events events;
};

class InitPluginTest : public ::testing::TestWithParam<InitCase> {};

// Everything initPlugin shows or logs, in order, then the destructor's lines.
TEST_P(InitPluginTest, ShowsAndLogsInOrder) {
  const auto& c = GetParam();
  FakeHost host(false);
  host.major = c.major;
  host.minor = c.minor;
  host.build = c.build;
  host.documentId = c.documentId;
  host.documentType = c.documentType;

  auto plugin = std::make_unique<Orbiculon>();
  EXPECT_EQ(c.ready, plugin->initPlugin());
  EXPECT_EQ(c.events, host.events);
  EXPECT_EQ(c.ready ? c.documentId : 0, plugin->documentID);

  host.events.clear();
  plugin.reset();
  EXPECT_EQ((Events{kClose1, kClose2}), host.events);
}

const Events kStarted = {"showlog", kStart1, kStart2, kStart3};

Events startedThen(const std::string& message) {
  Events events = kStarted;
  events.push_back(message);
  return events;
}

INSTANTIATE_TEST_SUITE_P(
    Lifecycle, InitPluginTest,
    ::testing::Values(InitCase{"Ready", 2, 2, 0, 1, 3, true, kStarted},
                      InitCase{"ReadyWithDocumentZero", 2, 2, 0, 0, 3, true, kStarted},
                      InitCase{"ReadyOnLaterHost", 3, 0, -4, 9, 3, true, kStarted},
                      InitCase{"OldHost", 2, 1, 99, 1, 3, false, {kOldHost}},
                      InitCase{"NegativeBuild", 2, 2, -1, 1, 3, false, {kOldHost}},
                      InitCase{"NoDocument", 2, 2, 0, -1, 3, false, startedThen(kNoDocument)},
                      InitCase{"MostNegativeDocument", 2, 2, 0, INT32_MIN, 3, false,
                               startedThen(kNoDocument)},
                      InitCase{"NotVmr", 2, 2, 0, 1, 2, false, startedThen(kNotVmr)},
                      InitCase{"OldHostWithoutDocument", 1, 9, 9, -1, 0, false, {kOldHost}}),
    [](const ::testing::TestParamInfo<InitCase>& testCase) { return testCase.param.name; });

// A binding that fails shows nothing and logs nothing; with no entry bound before,
// the destructor then has no log to write to and writes nothing either.
struct BindingFailure {
  std::string name;
  std::set<std::string> modules;
  std::set<std::string> missing;
};

class FailedBindingTest : public ::testing::TestWithParam<BindingFailure> {};

TEST_P(FailedBindingTest, RefusesSilently) {
  FakeHost host(false);
  host.loadedModules = GetParam().modules;
  host.missingEntries = GetParam().missing;

  auto plugin = std::make_unique<Orbiculon>();
  EXPECT_FALSE(plugin->initPlugin());
  plugin.reset();
  EXPECT_EQ(Events{}, host.events);
  EXPECT_FALSE(orbiculon::hostTable().isBound("rzLogText"));
}

INSTANTIATE_TEST_SUITE_P(
    Lifecycle, FailedBindingTest,
    ::testing::Values(BindingFailure{"NoHostModule", {}, {}},
                      BindingFailure{"ForeignHostModule", {"OtherHost.exe"}, {}},
                      BindingFailure{"NoVersionEntry", {"CerevantRZ.exe"}, {"rzGetVersionOfCerevantRZ"}}),
    [](const ::testing::TestParamInfo<BindingFailure>& testCase) { return testCase.param.name; });

TEST(LifecycleTest, BindsUnderTheSecondHostName) {
  FakeHost host(false);
  host.loadedModules = {"Cerevant.exe"};
  Orbiculon plugin;
  EXPECT_TRUE(plugin.initPlugin());
  EXPECT_EQ(kStarted, host.events);
}

TEST(LifecycleTest, DestroyingAnObjectThatWasNeverInitialisedWritesNothing) {
  FakeHost host(false);
  { Orbiculon plugin; }
  EXPECT_EQ(Events{}, host.events);
}

// Each initPlugin runs every step again; only a successful one replaces documentID.
TEST(LifecycleTest, InitialisingAgainRunsEveryStepAndKeepsTheIdOnFailure) {
  FakeHost host;
  Orbiculon plugin;
  host.documentId = 7;
  ASSERT_TRUE(plugin.initPlugin());
  host.documentId = 8;
  ASSERT_TRUE(plugin.initPlugin());
  EXPECT_EQ(8, plugin.documentID);

  host.events.clear();
  host.documentType = 1;
  host.documentId = 9;
  EXPECT_FALSE(plugin.initPlugin());
  EXPECT_EQ(startedThen(kNotVmr), host.events);
  EXPECT_EQ(8, plugin.documentID);

  host.events.clear();
  host.minor = 0;
  EXPECT_FALSE(plugin.initPlugin());
  EXPECT_EQ(Events{kOldHost}, host.events);
  EXPECT_EQ(8, plugin.documentID);
}

// Without the log entry, initPlugin still succeeds (binding does not complain about
// gaps) and neither it nor the destructor calls the missing entry.
TEST(LifecycleTest, MissingLogEntryIsSkipped) {
  FakeHost host(false);
  host.missingEntries = {"rzLogText"};
  {
    Orbiculon plugin;
    EXPECT_TRUE(plugin.initPlugin());
  }
  EXPECT_EQ(Events{"showlog"}, host.events);
}

} // namespace
