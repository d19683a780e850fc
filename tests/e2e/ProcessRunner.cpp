#include "tests/e2e/ProcessRunner.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <set>

#if defined(_WIN32)
#include <io.h>
#include <windows.h>
#else
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
extern char** environ;
#endif

namespace orbiculon::testing {

namespace {

std::string variableName(const std::string& assignment) { return assignment.substr(0, assignment.find('=')); }

// This process's environment, with each of `extra` added or replacing the variable
// of the same name.
std::vector<std::string> mergedEnvironment(const std::vector<std::string>& current,
                                           const std::vector<std::string>& extra) {
  std::set<std::string> replaced;
  for (const auto& assignment : extra)
    replaced.insert(variableName(assignment));
  std::vector<std::string> merged;
  for (const auto& assignment : current)
    if (replaced.count(variableName(assignment)) == 0) merged.push_back(assignment);
  merged.insert(merged.end(), extra.begin(), extra.end());
  return merged;
}

// The content of a capture file, from its start.
std::string readAll(std::FILE* file) {
  std::string content;
  std::rewind(file);
  char chunk[4096];
  std::size_t count = 0;
  while ((count = std::fread(chunk, 1, sizeof chunk, file)) > 0)
    content.append(chunk, count);
  return content;
}

} // namespace

#if defined(_WIN32)

namespace {

// One argument quoted so that the child's C runtime splits it back unchanged.
std::string quoteArgument(const std::string& argument) {
  if (!argument.empty() && argument.find_first_of(" \t\"") == std::string::npos) return argument;
  std::string quoted = "\"";
  std::size_t backslashes = 0;
  for (const char c : argument) {
    if (c == '\\') {
      ++backslashes;
      continue;
    }
    // Backslashes before a quote are doubled, and the quote itself escaped.
    quoted.append(c == '"' ? 2 * backslashes + 1 : backslashes, '\\');
    backslashes = 0;
    quoted += c;
  }
  quoted.append(2 * backslashes, '\\');
  return quoted + "\"";
}

HANDLE inheritable(std::FILE* file) {
  HANDLE handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(file)));
  SetHandleInformation(handle, HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT);
  return handle;
}

} // namespace

ProcessResult runProcess(const std::vector<std::string>& argv,
                         const std::vector<std::string>& extraEnvironment,
                         const std::string& workingDirectory) {
  ProcessResult result;
  if (argv.empty()) {
    result.failure = "no program given";
    return result;
  }
  std::string commandLine;
  for (const auto& argument : argv)
    commandLine += (commandLine.empty() ? "" : " ") + quoteArgument(argument);

  std::vector<std::string> current;
  if (char* block = GetEnvironmentStringsA()) {
    for (const char* entry = block; *entry != '\0'; entry += std::strlen(entry) + 1)
      current.emplace_back(entry);
    FreeEnvironmentStringsA(block);
  }
  std::string environment;
  for (const auto& assignment : mergedEnvironment(current, extraEnvironment)) {
    environment += assignment;
    environment += '\0';
  }
  environment += '\0';

  std::FILE* out = std::tmpfile();
  std::FILE* err = std::tmpfile();
  SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
  HANDLE input = CreateFileA("NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit, OPEN_EXISTING,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
  if (out == nullptr || err == nullptr || input == INVALID_HANDLE_VALUE) {
    result.failure = "cannot create the capture files";
  } else {
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = input;
    startup.hStdOutput = inheritable(out);
    startup.hStdError = inheritable(err);
    PROCESS_INFORMATION process{};
    if (!CreateProcessA(argv[0].c_str(), commandLine.data(), nullptr, nullptr, TRUE, 0, environment.data(),
                        workingDirectory.empty() ? nullptr : workingDirectory.c_str(), &startup, &process)) {
      result.failure = "cannot start " + argv[0] + " (error " + std::to_string(GetLastError()) + ")";
    } else {
      WaitForSingleObject(process.hProcess, INFINITE);
      DWORD code = 0;
      GetExitCodeProcess(process.hProcess, &code);
      result.exitCode = static_cast<int>(code);
      CloseHandle(process.hThread);
      CloseHandle(process.hProcess);
      result.out = readAll(out);
      result.err = readAll(err);
    }
  }
  if (input != INVALID_HANDLE_VALUE) CloseHandle(input);
  if (out != nullptr) std::fclose(out);
  if (err != nullptr) std::fclose(err);
  return result;
}

#else

ProcessResult runProcess(const std::vector<std::string>& argv,
                         const std::vector<std::string>& extraEnvironment,
                         const std::string& workingDirectory) {
  ProcessResult result;
  if (argv.empty()) {
    result.failure = "no program given";
    return result;
  }
  std::vector<char*> arguments;
  for (const auto& argument : argv)
    arguments.push_back(const_cast<char*>(argument.c_str()));
  arguments.push_back(nullptr);

  std::vector<std::string> current;
  for (char** entry = environ; *entry != nullptr; ++entry)
    current.emplace_back(*entry);
  const std::vector<std::string> merged = mergedEnvironment(current, extraEnvironment);
  std::vector<char*> environment;
  for (const auto& assignment : merged)
    environment.push_back(const_cast<char*>(assignment.c_str()));
  environment.push_back(nullptr);

  // Unnamed temporary files rather than pipes: the child can write any amount to
  // either stream without waiting for this process to read the other.
  std::FILE* out = std::tmpfile();
  std::FILE* err = std::tmpfile();
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  pid_t child = 0;
  if (out == nullptr || err == nullptr) {
    result.failure = "cannot create the capture files";
  } else {
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, fileno(out), STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, fileno(err), STDERR_FILENO);
    if (!workingDirectory.empty()) posix_spawn_file_actions_addchdir_np(&actions, workingDirectory.c_str());
    const int error =
        posix_spawn(&child, argv[0].c_str(), &actions, nullptr, arguments.data(), environment.data());
    if (error != 0) {
      result.failure = "cannot start " + argv[0] + ": " + std::strerror(error);
    } else {
      int status = 0;
      pid_t waited = 0;
      do {
        waited = waitpid(child, &status, 0);
      } while (waited < 0 && errno == EINTR);
      if (waited < 0) {
        result.failure = "cannot wait for " + argv[0] + ": " + std::strerror(errno);
      } else if (WIFEXITED(status)) {
        result.exitCode = WEXITSTATUS(status);
      } else {
        result.failure = argv[0] + " ended by signal " + std::to_string(WTERMSIG(status));
      }
      result.out = readAll(out);
      result.err = readAll(err);
    }
  }
  posix_spawn_file_actions_destroy(&actions);
  if (out != nullptr) std::fclose(out);
  if (err != nullptr) std::fclose(err);
  return result;
}

#endif

} // namespace orbiculon::testing
