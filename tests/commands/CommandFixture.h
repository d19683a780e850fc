#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <string>
#include <vector>

#include "plugin/Orbiculon.h"
#include "tests/support/FakeHost.h"

namespace orbiculon::testing {

// A bound fake host, a plug-in object and a temporary folder; the dialog starts out
// as the dialog script sets it up (TAL, one VOI of radius 5 at the origin, red,
// loaded after writing).
class CommandTest : public ::testing::Test {
protected:
  CommandTest() {
    host.strings["Name_of_VOI"] = "Seed";
    host.strings["FileName"] = (dir / "out").string();
    host.floats["Radius"] = 5.0f;
    host.ints["cR"] = 255;
    host.ints["LoadInCV"] = 1;
  }

  bool run(const std::string& command) {
    host.strings["Command"] = command;
    return plugin.execute();
  }

  // Events from the first one the command caused, in order.
  std::vector<std::string> events() const { return host.events; }
  // The last `count` events.
  std::vector<std::string> lastEvents(std::size_t count) const {
    return {host.events.end() - static_cast<std::ptrdiff_t>(std::min(count, host.events.size())),
            host.events.end()};
  }

  std::string voiPath() const { return (dir / "out.voi").string(); }

  FakeHost host;
  TempDir dir;
  Orbiculon plugin;
};

} // namespace orbiculon::testing
