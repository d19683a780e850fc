// The built module in the stand-in host process: loading, binding by the host's
// module name, initPlugin's checks and the closing lines, as a user of the host sees
// them on the host's log (standard output) and in its message boxes (standard error).
#include <gmock/gmock.h>

#include <string>
#include <vector>

#include "tests/e2e/BuiltPrograms.h"
#include "tests/e2e/ProcessRunner.h"
#include "tests/support/Lines.h"

namespace {

using namespace orbiculon::testing;
using ::testing::HasSubstr;

const std::string kStartLines = " \nPlugin>  Running Orbiculon Plugin...\nPlugin>\n";
const std::string kClosingLines = "Plugin>  Orbiculon Plugin finished!\n \n";
const std::string kRefused = "[host] initPlugin returned false\n";

struct HostRun {
  std::string name;
  std::string host;
  std::vector<std::string> options;
  int exitCode;
  std::string out;
  std::string err;
};

class HostRunTest : public ::testing::TestWithParam<HostRun> {};

TEST_P(HostRunTest, LogMessagesAndExitCode) {
  const auto& run = GetParam();
  std::vector<std::string> argv = {run.host, "dialog", "--plugin", built::kModule};
  argv.insert(argv.end(), run.options.begin(), run.options.end());
  const ProcessResult result = runProcess(argv);
  ASSERT_EQ("", result.failure);
  // Line by line, so that the same test reads the CR LF of a Windows build.
  EXPECT_EQ(splitLines(run.out), splitLines(result.out)) << result.out;
  EXPECT_EQ(splitLines(run.err), splitLines(result.err)) << result.err;
  EXPECT_EQ(run.exitCode, result.exitCode);
}

INSTANTIATE_TEST_SUITE_P(
    Lifecycle, HostRunTest,
    ::testing::Values(
        HostRun{"Default", built::kHost, {}, 0, kStartLines + kClosingLines, ""},
        HostRun{"SecondHostName",
                built::kRenamedHostFolder + "/Cerevant.exe",
                {},
                0,
                kStartLines + kClosingLines,
                ""},
        // The binding finds no host module: nothing is logged, nothing shown, and the
        // destructor has no log to write to.
        HostRun{"ForeignHostName", built::kRenamedHostFolder + "/OtherHost.exe", {}, 1, "", kRefused},
        HostRun{"HostWithoutVersionEntry", built::kHostWithoutVersion, {}, 1, "", kRefused},
        HostRun{"OldHost",
                built::kHost,
                {"--host-version", "2.1.99"},
                1,
                kClosingLines,
                "[message] Can not execute this plugin - CerevantRZ version 2.2 or higher required.\n" +
                    kRefused},
        HostRun{"NegativeBuild",
                built::kHost,
                {"--host-version", "2.2.-1"},
                1,
                kClosingLines,
                "[message] Can not execute this plugin - CerevantRZ version 2.2 or higher required.\n" +
                    kRefused},
        HostRun{"LaterHost", built::kHost, {"--host-version", "3.0.0"}, 0, kStartLines + kClosingLines, ""},
        HostRun{"NoDocument",
                built::kHost,
                {"--document", "none"},
                1,
                kStartLines + kClosingLines,
                "[message] No current document available.\n" + kRefused},
        HostRun{"NotVmrDocument",
                built::kHost,
                {"--document", "5"},
                1,
                kStartLines + kClosingLines,
                "[message] The currently active document is not a VMR document.\n" + kRefused}),
    [](const ::testing::TestParamInfo<HostRun>& testCase) { return testCase.param.name; });

struct UsageError {
  std::string name;
  std::vector<std::string> arguments;
  // Text the error message must contain: the option or value at fault.
  std::string named;
};

class UsageErrorTest : public ::testing::TestWithParam<UsageError> {};

// A bad command line stops before the plug-in is loaded: exit code 2, an error that
// names what was wrong, and no log.
TEST_P(UsageErrorTest, ExitsWithTwoAndNamesTheFault) {
  const auto& c = GetParam();
  std::vector<std::string> argv = {built::kHost};
  argv.insert(argv.end(), c.arguments.begin(), c.arguments.end());
  const ProcessResult result = runProcess(argv);
  ASSERT_EQ("", result.failure);
  EXPECT_EQ(2, result.exitCode);
  EXPECT_EQ("", result.out);
  EXPECT_THAT(result.err, HasSubstr(c.named));
}

INSTANTIATE_TEST_SUITE_P(
    Lifecycle, UsageErrorTest,
    ::testing::Values(UsageError{"UnknownOption", {"dialog", "--bogus"}, "--bogus"},
                      UsageError{"BadVersion", {"dialog", "--host-version", "2.x.0"}, "--host-version"},
                      UsageError{"TooLongVersion", {"dialog", "--host-version", "2.2.0.1"}, "--host-version"},
                      UsageError{"BadDocument", {"dialog", "--document", "vmr3"}, "--document"},
                      UsageError{"NoSubcommand", {}, "subcommand"},
                      UsageError{"MissingModule",
                                 {"dialog", "--plugin", "/nonexistent/Orbiculon.so"},
                                 "/nonexistent/Orbiculon.so"}),
    [](const ::testing::TestParamInfo<UsageError>& testCase) { return testCase.param.name; });

// The host may read the identification texts before it creates the object.
TEST(HostRunInfoTest, ShowsTheIdentificationTexts) {
  const ProcessResult result = runProcess({built::kHost, "dialog", "--plugin", built::kModule, "--info"});
  ASSERT_EQ("", result.failure);
  EXPECT_EQ(0, result.exitCode);
  EXPECT_EQ(splitLines(kStartLines + kClosingLines), splitLines(result.out));
  const std::vector<std::string> err = splitLines(result.err);
  ASSERT_EQ(1u, err.size()) << result.err;
  EXPECT_EQ(0u, err[0].find("[plugin] Orbiculon 2.2 - Creates Spherical VOIs (author <i>")) << err[0];
  EXPECT_THAT(err[0], HasSubstr(", help HelpFolder/index.html, dialog Orbiculon.js)"));
}

} // namespace
