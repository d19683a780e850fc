// The Linux module lookup against this very test process: its executable, and the
// shared objects it was started with.
#include <gtest/gtest.h>

#include <dlfcn.h>
#include <unistd.h>

#include <array>
#include <string>

#include "host/PlatformHostLookup.h"

// Exported from the test executable, so the lookup can find it by name.
extern "C" __attribute__((visibility("default"))) int orbiculonLookupProbe() { return 7; }

namespace {

using orbiculon::HostEntry;
using orbiculon::PlatformHostLookup;

std::string executableName() {
  std::array<char, 4096> path{};
  const ssize_t length = readlink("/proc/self/exe", path.data(), path.size() - 1);
  const std::string full(path.data(), length > 0 ? static_cast<std::size_t>(length) : 0);
  return full.substr(full.find_last_of('/') + 1);
}

TEST(PlatformLookupTest, FindsTheMainProgramByItsFileName) {
  PlatformHostLookup lookup;
  ASSERT_TRUE(lookup.findModule(executableName().c_str()));
  const HostEntry probe = lookup.resolve("orbiculonLookupProbe");
  ASSERT_NE(nullptr, probe);
  EXPECT_EQ(7, reinterpret_cast<int (*)()>(probe)());
  // malloc is reachable from the main program's scope, but it is not the program's own.
  EXPECT_EQ(nullptr, lookup.resolve("malloc"));
  EXPECT_EQ(nullptr, lookup.resolve("rzGetVersionOfCerevantRZ"));
}

TEST(PlatformLookupTest, FindsASharedObjectByTheLastComponentOfItsPath) {
  PlatformHostLookup lookup;
  ASSERT_TRUE(lookup.findModule("libc.so.6"));
  const HostEntry address = lookup.resolve("malloc");
  ASSERT_NE(nullptr, address);
  Dl_info owner{};
  ASSERT_NE(0, dladdr(reinterpret_cast<void*>(address), &owner));
  const std::string ownerPath = owner.dli_fname;
  EXPECT_EQ("/libc.so.6", ownerPath.substr(ownerPath.find_last_of('/'))) << ownerPath;
}

// dlsym also searches an object's dependencies; the lookup keeps only what the
// selected object itself defines.
TEST(PlatformLookupTest, IgnoresNamesDefinedOnlyInDependencies) {
  PlatformHostLookup lookup;
  ASSERT_TRUE(lookup.findModule("libstdc++.so.6"));
  EXPECT_EQ(nullptr, lookup.resolve("malloc"));
}

TEST(PlatformLookupTest, NeedsTheExactFileName) {
  PlatformHostLookup lookup;
  EXPECT_FALSE(lookup.findModule("CerevantRZ.exe"));
  EXPECT_FALSE(lookup.findModule("Cerevant.exe"));
  EXPECT_FALSE(lookup.findModule("libc.so"));
  EXPECT_FALSE(lookup.findModule("ibc.so.6"));
  EXPECT_FALSE(lookup.findModule(""));
  EXPECT_EQ(nullptr, lookup.resolve("malloc"));
}

// A failed search drops the module selected before it.
TEST(PlatformLookupTest, FailedSearchDeselects) {
  PlatformHostLookup lookup;
  ASSERT_TRUE(lookup.findModule("libc.so.6"));
  EXPECT_FALSE(lookup.findModule("CerevantRZ.exe"));
  EXPECT_EQ(nullptr, lookup.resolve("malloc"));
}

// The lookup loads nothing: an object that is not loaded stays unloaded.
TEST(PlatformLookupTest, LoadsNothing) {
  PlatformHostLookup lookup;
  EXPECT_FALSE(lookup.findModule("libz.so.1"));
  EXPECT_EQ(nullptr, dlopen("libz.so.1", RTLD_LAZY | RTLD_NOLOAD));
}

} // namespace
