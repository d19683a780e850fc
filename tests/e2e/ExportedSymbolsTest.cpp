// The dynamic symbol tables of the built module and of the stand-in host: the module
// offers the host exactly the interface it links against and nothing of its
// implementation; the host offers exactly the entry points a plug-in binds to.
#include <gtest/gtest.h>

#include <dlfcn.h>

#include <set>
#include <string>
#include <vector>

#include "host/HostEntryNames.h"
#include "tests/e2e/BuiltPrograms.h"
#include "tests/e2e/ProcessRunner.h"
#include "tests/support/Lines.h"

namespace {

using namespace orbiculon::testing;

struct Symbol {
  char type;
  std::string name;
};

// The dynamic symbols nm lists with these options, one per line:
// "<address> <type> <name>", the address blank for undefined symbols.
std::vector<Symbol> dynamicSymbols(const std::string& file, const std::vector<std::string>& options) {
  std::vector<std::string> argv = {built::kNm, "--dynamic"};
  argv.insert(argv.end(), options.begin(), options.end());
  argv.push_back(file);
  const ProcessResult result = runProcess(argv);
  EXPECT_EQ("", result.failure);
  EXPECT_EQ(0, result.exitCode) << result.err;

  std::vector<Symbol> symbols;
  for (const auto& text : splitLines(result.out)) {
    // The type letter follows the address, or the blanks in its place; the name,
    // which may contain blanks itself ("vtable for ..."), follows the type.
    const std::size_t type =
        text.empty() || text[0] == ' ' ? text.find_first_not_of(' ') : text.find(' ') + 1;
    if (type == std::string::npos || type + 2 >= text.size() || text[type + 1] != ' ') {
      ADD_FAILURE() << "unexpected nm line: " << text;
      continue;
    }
    symbols.push_back({text[type], text.substr(type + 2)});
  }
  return symbols;
}

std::set<std::string> names(const std::vector<Symbol>& symbols) {
  std::set<std::string> result;
  for (const auto& symbol : symbols)
    result.insert(symbol.name);
  return result;
}

TEST(ExportedSymbolsTest, ModuleExportsExactlyTheHostInterface) {
  const std::set<std::string> expected = {
      "createPlugin",
      "getPluginName",
      "getPluginDescription",
      "getAuthor",
      "getHelpFile",
      "getGUIScript",
      "getPluginVersion",
      "CVRZPluginInterface::CVRZPluginInterface()",
      "CVRZPluginInterface::CVRZPluginInterface(CVRZPluginInterface const&)",
      "CVRZPluginInterface::~CVRZPluginInterface()",
      "CVRZPluginInterface::operator=(CVRZPluginInterface const&)",
      "vtable for CVRZPluginInterface",
      "static_intf::CVRZPluginInterface::CVRZPluginInterface()",
      "static_intf::CVRZPluginInterface::CVRZPluginInterface(static_intf::CVRZPluginInterface const&)",
      "static_intf::CVRZPluginInterface::~CVRZPluginInterface()",
      "static_intf::CVRZPluginInterface::operator=(static_intf::CVRZPluginInterface const&)",
      "vtable for static_intf::CVRZPluginInterface",
      "Orbiculon::Orbiculon()",
      "Orbiculon::~Orbiculon()",
      "Orbiculon::initPlugin()",
      "Orbiculon::execute()",
  };
  EXPECT_EQ(expected, names(dynamicSymbols(built::kModule, {"--defined-only", "--demangle"})));
}

// No host symbol is a link-time import: the module finds every host call by name at
// run time.
TEST(ExportedSymbolsTest, ModuleImportsNothingFromTheHost) {
  for (const auto& symbol : dynamicSymbols(built::kModule, {"--undefined-only"}))
    EXPECT_NE(0u, symbol.name.rfind("rz", 0)) << symbol.name;
}

struct HostCase {
  std::string name;
  std::string host;
  std::set<std::string> absent;
};

class HostExportsTest : public ::testing::TestWithParam<HostCase> {};

// A data object that a shared library loaded in this process also defines. Test and
// host are linked against the same runtime libraries.
bool isRuntimeLibraryObject(const Symbol& symbol) {
  if (std::string("BDVu").find(symbol.type) == std::string::npos) return false;
  const std::string name = symbol.name.substr(0, symbol.name.find('@'));
  return dlsym(RTLD_DEFAULT, name.c_str()) != nullptr;
}

// Every host entry name, and none of the host's own C++ internals, which could then
// interpose the plug-in's symbols. What else the table holds are data objects of the
// shared runtime libraries (std::cout, stdin, ...) that the executable references
// directly: the linker copies them into the executable and must export the copy, so
// that the libraries use it as well.
TEST_P(HostExportsTest, ExportsTheEntryPointsAndNothingOfItsOwn) {
  std::set<std::string> expected(orbiculon::kHostEntryNames.begin(), orbiculon::kHostEntryNames.end());
  for (const auto& name : GetParam().absent)
    expected.erase(name);

  std::set<std::string> entries;
  for (const auto& symbol : dynamicSymbols(GetParam().host, {"--defined-only"})) {
    if (symbol.name.rfind("rz", 0) == 0) {
      EXPECT_EQ('T', symbol.type) << symbol.name;
      entries.insert(symbol.name);
    } else {
      EXPECT_TRUE(isRuntimeLibraryObject(symbol)) << symbol.type << " " << symbol.name;
    }
  }
  EXPECT_EQ(expected, entries);
}

INSTANTIATE_TEST_SUITE_P(Hosts, HostExportsTest,
                         ::testing::Values(HostCase{"Standard", built::kHost, {}},
                                           HostCase{"WithoutVersionEntry",
                                                    built::kHostWithoutVersion,
                                                    {"rzGetVersionOfCerevantRZ"}}),
                         [](const ::testing::TestParamInfo<HostCase>& testCase) {
                           return testCase.param.name;
                         });

} // namespace
