#pragma once

#include <string>
#include <vector>

namespace orbiculon::testing {

// What a finished child process left behind.
struct ProcessResult {
  // The exit code; -1 when the process could not be started or did not exit
  // normally (killed by a signal).
  int exitCode = -1;
  std::string out;
  std::string err;
  // Why the process could not be started or did not exit normally; empty otherwise.
  std::string failure;
};

// Runs `argv[0]` (a path, not searched for) with the arguments argv[1..], its
// standard input empty, and waits for it. Standard output and standard error are
// captured separately and byte for byte. The environment is this process's own, with
// `extraEnvironment` ("NAME=VALUE" each) added on top. The child starts in
// `workingDirectory`, or in this process's when it is empty; this process's own
// stays as it is.
ProcessResult runProcess(const std::vector<std::string>& argv,
                         const std::vector<std::string>& extraEnvironment = {},
                         const std::string& workingDirectory = {});

} // namespace orbiculon::testing
