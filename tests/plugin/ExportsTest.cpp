#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "host/PluginInterface.h"
#include "plugin/NativeLayout.h"
#include "tests/plugin/FailingAllocation.h"
#include "tests/support/FakeHost.h"

extern "C" {
#if defined(ORBICULON_NATIVE_LAYOUT_FACADE)
orbiculon::NativePluginFacade* createPlugin();
#else
CVRZPluginInterface* createPlugin();
#endif
const char* getPluginName();
const char* getPluginDescription();
const char* getAuthor();
const char* getHelpFile();
const char* getGUIScript();
const char* getPluginVersion();
}

namespace {

using orbiculon::testing::FakeHost;
using Getter = const char* (*)();
using PluginPointer = decltype(createPlugin());

// What the host does with the object createPlugin returns, through the interface:
// on Windows builds with a non-native C++ ABI, through the native three-slot table.
#if defined(ORBICULON_NATIVE_LAYOUT_FACADE)
const orbiculon::NativePluginTable& tableOf(PluginPointer plugin) {
  return **reinterpret_cast<const orbiculon::NativePluginTable* const*>(plugin);
}
bool initThroughInterface(PluginPointer plugin) { return tableOf(plugin).initPlugin(plugin); }
void destroyThroughInterface(PluginPointer plugin) { tableOf(plugin).destroy(plugin, 1); }
#else
bool initThroughInterface(PluginPointer plugin) { return plugin->initPlugin(); }
void destroyThroughInterface(PluginPointer plugin) { delete plugin; }
#endif

struct Identification {
  std::string name;
  Getter getter;
  std::string text;
};

class IdentificationTest : public ::testing::TestWithParam<Identification> {};

// The same text at the same address before an object exists, while it lives and
// after it is gone.
TEST_P(IdentificationTest, SameTextAtTheSameAddressThroughoutTheObjectsLife) {
  const auto& c = GetParam();
  const char* before = c.getter();
  ASSERT_NE(nullptr, before);
  EXPECT_EQ(c.text, before);

  FakeHost host;
  PluginPointer plugin = createPlugin();
  ASSERT_NE(nullptr, plugin);
  EXPECT_EQ(before, c.getter());
  ASSERT_TRUE(initThroughInterface(plugin));
  EXPECT_EQ(before, c.getter());
  destroyThroughInterface(plugin);
  EXPECT_EQ(before, c.getter());
  EXPECT_EQ(c.text, c.getter());
}

INSTANTIATE_TEST_SUITE_P(
    Exports, IdentificationTest,
    ::testing::Values(Identification{"Name", &getPluginName, "Orbiculon"},
                      Identification{"Description", &getPluginDescription, "Creates Spherical VOIs"},
                      Identification{"HelpFile", &getHelpFile, "HelpFolder/index.html"},
                      Identification{"GuiScript", &getGUIScript, "Orbiculon.js"},
                      Identification{"Version", &getPluginVersion, "2.2"}),
    [](const ::testing::TestParamInfo<Identification>& testCase) { return testCase.param.name; });

TEST(ExportsTest, AuthorIsInitialsInItalics) {
  const std::string author = getAuthor();
  ASSERT_GT(author.size(), std::string("<i></i>").size());
  EXPECT_EQ(0u, author.find("<i>"));
  EXPECT_EQ(author.size() - 4, author.rfind("</i>"));
  EXPECT_EQ(getAuthor(), getAuthor());
}

// createPlugin talks to nobody; the object it returns is driven and destroyed
// through the interface alone, as the host does.
TEST(ExportsTest, CreatedObjectWorksThroughTheInterface) {
  FakeHost host;
  PluginPointer plugin = createPlugin();
  ASSERT_NE(nullptr, plugin);
  EXPECT_TRUE(host.events.empty());
  EXPECT_TRUE(initThroughInterface(plugin));
  destroyThroughInterface(plugin);
  const std::vector<std::string> expected = {"showlog",
                                             "log:  ",
                                             "log: Plugin>  Running Orbiculon Plugin...",
                                             "log: Plugin>",
                                             "log: Plugin>  Orbiculon Plugin finished!",
                                             "log:  "};
  EXPECT_EQ(expected, host.events);
}

// No exception may reach the host: an object that cannot be allocated is a null
// pointer.
TEST(ExportsTest, CreatePluginReturnsNullWhenMemoryRunsOut) {
  FakeHost host;
  orbiculon::testing::setAllocationsFail(true);
  PluginPointer plugin = nullptr;
  bool threw = false;
  try {
    plugin = createPlugin();
  } catch (...) {
    threw = true;
  }
  orbiculon::testing::setAllocationsFail(false);
  EXPECT_FALSE(threw);
  EXPECT_EQ(nullptr, plugin);
  EXPECT_TRUE(host.events.empty());
}

} // namespace
