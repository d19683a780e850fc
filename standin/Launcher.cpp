// The `orbiculon` command users run. The plug-in finds its host by the host's program
// name, so the batch tool keeps that name in a private folder of the installation;
// this launcher runs it with the same arguments, standard streams and exit code.
// The folder is found relative to the launcher's own file, so an installation works
// wherever it is copied or moved.
//
//   Linux:    PREFIX/bin/orbiculon      runs PREFIX/lib/orbiculon/CerevantRZ.exe
//   Windows:  FOLDER\orbiculon.exe      runs FOLDER\orbiculon\CerevantRZ.exe
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "standin/ProgramName.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <climits>
#include <unistd.h>
#endif

namespace {

// The exit code of a launcher that could not start the tool: nothing ran, as for a
// command line the tool refuses.
constexpr int kCannotRun = 2;

#if defined(_WIN32)

constexpr DWORD kLongPathCapacity = 32768;
constexpr wchar_t kHostBesideLauncher[] = L"orbiculon\\CerevantRZ.exe";

// The command line as the process received it, without its program name: the
// arguments reach the tool exactly as they were quoted.
const wchar_t* argumentsOf(const wchar_t* line) {
  if (*line == L'"') {
    ++line;
    while (*line != L'\0' && *line != L'"')
      ++line;
    if (*line == L'"') ++line;
  } else {
    while (*line != L'\0' && *line != L' ' && *line != L'\t')
      ++line;
  }
  return line;
}

int launch() {
  std::wstring self(kLongPathCapacity, L'\0');
  const DWORD length = GetModuleFileNameW(nullptr, self.data(), kLongPathCapacity);
  if (length == 0 || length >= kLongPathCapacity) {
    std::fprintf(stderr, "%s: cannot find its own file (error %lu)\n", ORBICULON_PROGRAM, GetLastError());
    return kCannotRun;
  }
  self.resize(length);
  const std::wstring host = self.substr(0, self.find_last_of(L"\\/") + 1) + kHostBesideLauncher;
  std::wstring command = L"\"" + host + L"\"" + argumentsOf(GetCommandLineW());

  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  startup.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
  startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
  PROCESS_INFORMATION process{};
  if (!CreateProcessW(host.c_str(), command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                      &process)) {
    std::fprintf(stderr, "%s: cannot run %ls (error %lu); is the installation complete?\n", ORBICULON_PROGRAM,
                 host.c_str(), GetLastError());
    return kCannotRun;
  }
  // Ctrl+C reaches the tool too, which shares the console; the launcher waits for
  // it to end rather than ending first.
  SetConsoleCtrlHandler(nullptr, TRUE);
  WaitForSingleObject(process.hProcess, INFINITE);
  DWORD exitCode = kCannotRun;
  if (!GetExitCodeProcess(process.hProcess, &exitCode)) exitCode = kCannotRun;
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return static_cast<int>(exitCode);
}

#else

constexpr char kHostBesideLauncher[] = "/../lib/orbiculon/CerevantRZ.exe";

int launch(char** argv) {
  // The launcher's own file with every link resolved: a link to it on PATH still
  // finds the installation it belongs to.
  std::string self(PATH_MAX, '\0');
  const ssize_t length = readlink("/proc/self/exe", self.data(), self.size());
  if (length <= 0 || static_cast<std::size_t>(length) >= self.size()) {
    std::fprintf(stderr, "%s: cannot find its own file: %s\n", ORBICULON_PROGRAM,
                 length < 0 ? std::strerror(errno) : "the path is too long");
    return kCannotRun;
  }
  self.resize(static_cast<std::size_t>(length));
  const std::string host = self.substr(0, self.rfind('/')) + kHostBesideLauncher;
  // The tool replaces the launcher in the same process: arguments, standard
  // streams, signals and exit code are its own.
  argv[0] = const_cast<char*>(host.c_str());
  execv(host.c_str(), argv);
  std::fprintf(stderr, "%s: cannot run %s: %s; is the installation complete?\n", ORBICULON_PROGRAM,
               host.c_str(), std::strerror(errno));
  return kCannotRun;
}

#endif

} // namespace

#if defined(_WIN32)
int main() { return launch(); }
#else
int main(int, char** argv) { return launch(argv); }
#endif
