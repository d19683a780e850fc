#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "host/HostEntryTable.h"
#include "tests/support/FakeHost.h"

namespace {

using orbiculon::hostTable;
using orbiculon::testing::FakeHost;

// Each typed call reaches the host entry of its own name with its arguments unchanged
// and hands back the host's result.
TEST(TypedCallTest, EachCallReachesItsOwnEntry) {
  FakeHost host;
  host.major = 4;
  host.minor = 5;
  host.build = 6;
  host.documentId = 12;
  host.documentType = 7;
  host.header.OffsetY = 33;
  host.openFilePath = "/data/in.txt";
  host.saveFilePath = "/data/out.txt";
  host.yesNoAnswer = 0;
  host.strings["FileName"] = "spheres";
  host.ints["cG"] = 128;
  host.floats["Radius"] = 4.5f;
  const auto& table = hostTable();

  int major = 0, minor = 0, build = 0;
  table.rzGetVersionOfCerevantRZ(&major, &minor, &build);
  EXPECT_EQ(4, major);
  EXPECT_EQ(5, minor);
  EXPECT_EQ(6, build);
  EXPECT_EQ(12, table.rzGetIDOfCurrentDocument());
  EXPECT_EQ(7, table.rzGetDocumentType(12));
  orbiculon::VmrMainHeader header{};
  table.rzGetMainHeaderOfCurrentVMR(&header);
  EXPECT_EQ(33, header.OffsetY);
  EXPECT_EQ(128, table.rzGetIntParameter("cG"));
  EXPECT_EQ(4.5f, table.rzGetFloatParameter("Radius"));
  char text[512] = {};
  table.rzGetStringParameter("FileName", text);
  EXPECT_STREQ("spheres", text);

  table.rzShowLogTab();
  table.rzLogText("a line");
  table.rzMessageBox("a message");
  EXPECT_EQ(0, table.rzYesNoMessageBox("a question?"));
  table.rzGetOpenFileName("Open", "", "Text File (*.txt)", text);
  EXPECT_STREQ("/data/in.txt", text);
  table.rzGetSaveFileName("Save", "", "Text File (*.txt)", text);
  EXPECT_STREQ("/data/out.txt", text);
  table.rzLoadVOIs("/data/out.voi");
  table.rzSetStringParameter("AllText", "x y z");

  const std::vector<std::string> expected = {"showlog",
                                             "log: a line",
                                             "message: a message",
                                             "question: a question?",
                                             "open: Open|Text File (*.txt)",
                                             "save: Save|Text File (*.txt)",
                                             "load: /data/out.voi",
                                             "set AllText: x y z"};
  EXPECT_EQ(expected, host.events);
  EXPECT_EQ((std::vector<std::string>{"i:cG", "f:Radius", "s:FileName"}), host.reads);
}

// A host that exports nothing but the version entry: every other typed call finds
// a null entry, calls nothing, returns the neutral result and leaves buffers alone.
TEST(TypedCallTest, NullEntriesCallNothing) {
  FakeHost host(false);
  std::set<std::string> missing(orbiculon::kHostEntryNames.begin() + 1, orbiculon::kHostEntryNames.end());
  ASSERT_TRUE(host.bind(missing));
  const auto& table = hostTable();

  EXPECT_EQ(-1, table.rzGetIDOfCurrentDocument());
  EXPECT_EQ(0, table.rzGetDocumentType(1));
  EXPECT_EQ(0, table.rzYesNoMessageBox("continue?"));
  EXPECT_EQ(0, table.rzGetIntParameter("cR"));
  EXPECT_EQ(0.0f, table.rzGetFloatParameter("tX"));

  char buffer[16] = "untouched";
  table.rzGetStringParameter("Command", buffer);
  table.rzGetOpenFileName("Open", "", "Text File (*.txt)", buffer);
  table.rzGetSaveFileName("Save", "", "Text File (*.txt)", buffer);
  EXPECT_STREQ("untouched", buffer);

  orbiculon::VmrMainHeader header{};
  header.IsTalSpace = 42;
  table.rzGetMainHeaderOfCurrentVMR(&header);
  EXPECT_EQ(42, header.IsTalSpace);

  table.rzShowLogTab();
  table.rzLogText("lost");
  table.rzMessageBox("lost");
  table.rzLoadVOIs("lost.voi");
  table.rzSetStringParameter("AllText", "lost");
  EXPECT_TRUE(host.events.empty());
  EXPECT_TRUE(host.reads.empty());
}

// Destroying the fake host leaves every entry null, so no later test can call into it.
TEST(TypedCallTest, FakeHostLeavesTheTableUnbound) {
  { FakeHost host; }
  for (std::size_t i = 0; i < orbiculon::kHostEntryCount; ++i)
    EXPECT_EQ(nullptr, hostTable().entry(i)) << orbiculon::kHostEntryNames[i];
}

} // namespace
