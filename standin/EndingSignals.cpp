#include "standin/EndingSignals.h"

#if !defined(_WIN32)
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <filesystem>

#include "files/TemporaryFiles.h"
#endif

namespace standin {

#if defined(_WIN32)

void removeTemporaryFilesOnEndingSignals(const std::string&) {}

#else

namespace {

// Folders a save may put its temporary file into, opened before any signal can come:
// a signal handler cannot look up paths or allocate.
constexpr std::size_t kMaxFolders = 16;
std::array<int, kMaxFolders> folders{};
std::atomic<std::size_t> folderCount{0};

extern "C" void onEndingSignal(int signal) {
  const std::size_t count = folderCount.load();
  for (std::size_t i = 0; i < count; ++i)
    orbiculon::removeOwnTemporaryFiles(folders[i]);
  // The default action then ends the process, and its parent sees the signal.
  ::signal(signal, SIG_DFL);
  ::raise(signal);
}

void installHandlers() {
  static bool installed = false;
  if (installed) return;
  installed = true;
  for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
    struct sigaction previous {};
    if (::sigaction(signal, nullptr, &previous) != 0 || previous.sa_handler == SIG_IGN) continue;
    struct sigaction action {};
    action.sa_handler = onEndingSignal;
    sigemptyset(&action.sa_mask);
    for (const int other : {SIGINT, SIGTERM, SIGHUP})
      sigaddset(&action.sa_mask, other);
    ::sigaction(signal, &action, nullptr);
  }
}

void addFolder(const std::filesystem::path& folder) {
  const int fd = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  struct stat added {};
  bool known = ::fstat(fd, &added) != 0;
  for (std::size_t i = 0; i < folderCount.load() && !known; ++i) {
    struct stat other {};
    known = ::fstat(folders[i], &other) == 0 && other.st_dev == added.st_dev && other.st_ino == added.st_ino;
  }
  if (known || folderCount.load() == kMaxFolders) {
    ::close(fd);
    return;
  }
  folders[folderCount.load()] = fd;
  folderCount.fetch_add(1);
}

} // namespace

void removeTemporaryFilesOnEndingSignals(const std::string& output) {
  namespace fs = std::filesystem;
  const fs::path path(output);
  // The temporary file lies beside the file a save replaces: beside the path, or
  // beside the final target of a link.
  addFolder(path.parent_path());
  std::error_code error;
  if (fs::is_symlink(fs::symlink_status(path, error))) {
    const fs::path target = fs::weakly_canonical(path, error);
    if (!error) addFolder(target.parent_path());
  }
  installHandlers();
}

#endif

} // namespace standin
