// The file layer on POSIX systems.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <new>
#include <string>
#include <vector>

#include "files/FileFaults.h"
#include "files/InputFile.h"
#include "files/ReplacingFile.h"

namespace orbiculon {

namespace {

// As many links as Linux follows itself before it gives ELOOP.
constexpr int kMaxLinkHops = 40;
// The target's name is cut to this many bytes in the temporary name, so that the
// name with its suffix stays within the 255 bytes a name may have.
constexpr std::size_t kTemporaryBaseLength = 200;
constexpr int kMaxTemporaryAttempts = 100;

std::atomic<unsigned long> temporaryCounter{0};

std::string folderOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

std::string nameOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Follows a chain of symbolic links from `path` to the object it finally names
// (which may not exist: a dangling link). `status` receives that object's lstat
// result and `exists` whether there was one.
int resolveLinks(const char* path, std::string& resolved, struct stat& status, bool& exists) {
  resolved = path;
  for (int hops = 0;; ++hops) {
    if (::lstat(resolved.c_str(), &status) != 0) {
      if (errno != ENOENT) return errno;
      exists = false;
      return 0;
    }
    exists = true;
    if (!S_ISLNK(status.st_mode)) return 0;
    if (hops == kMaxLinkHops) return ELOOP;
    std::vector<char> link(static_cast<std::size_t>(status.st_size > 0 ? status.st_size : 255) + 1);
    const ssize_t length = ::readlink(resolved.c_str(), link.data(), link.size());
    if (length < 0) return errno;
    if (static_cast<std::size_t>(length) >= link.size()) return kFileChanged; // grew meanwhile
    const std::string next(link.data(), static_cast<std::size_t>(length));
    if (next.empty()) return ENOENT;
    resolved = next.front() == '/' ? next : folderOf(resolved) + "/" + next;
  }
}

int closeChecked(int& fd) noexcept {
  const int result = ::close(fd);
  fd = -1;
  // After EINTR the descriptor is gone on Linux; whether the data arrived is unknown.
  return result == 0 ? 0 : errno;
}

int writeAll(int fd, const char* data, std::size_t size) noexcept {
  while (size > 0) {
    const ssize_t written = ::write(fd, data, size);
    if (written < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    if (written == 0) return EIO;
    data += written;
    size -= static_cast<std::size_t>(written);
  }
  return 0;
}

} // namespace

void ReplacingFile::discard() noexcept {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  if (!temporary_.empty()) ::unlink(temporary_.c_str());
  temporary_.clear();
  open_ = false;
}

FileResult ReplacingFile::open(const char* path) noexcept {
  if (const FileResult refused = refuseOpen(path); !refused.ok()) return refused;
  try {
    struct stat status {};
    bool exists = false;
    if (const int error = resolveLinks(path, target_, status, exists)) return {error_ = error};

    if (exists && S_ISDIR(status.st_mode)) return {error_ = EISDIR};
    if (exists && (S_ISCHR(status.st_mode) || S_ISFIFO(status.st_mode))) {
      // In place: O_NONBLOCK makes a FIFO without a reader fail at once (ENXIO)
      // instead of waiting for one; without O_CREAT nothing new can appear here.
      fd_ = ::open(target_.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
      if (fd_ < 0) return {error_ = errno};
      open_ = true;
      struct stat opened {};
      if (::fstat(fd_, &opened) != 0) return {error_ = errno};
      if (!S_ISCHR(opened.st_mode) && !S_ISFIFO(opened.st_mode)) return {error_ = kFileChanged};
      const int flags = ::fcntl(fd_, F_GETFL);
      if (flags < 0 || ::fcntl(fd_, F_SETFL, flags & ~O_NONBLOCK) != 0) return {error_ = errno};
      return {};
    }
    if (exists && !S_ISREG(status.st_mode)) return {error_ = kNotARegularFile};

    const std::string folder = folderOf(target_);
    const std::string base = nameOf(target_).substr(0, kTemporaryBaseLength);
    const std::string prefix = folder + "/." + base + "." + std::to_string(::getpid()) + "-";
    // A new file gets what any new file gets (0666 less the umask); a replacement
    // gets the old file's permission bits, set below past the umask.
    const mode_t mode = exists ? (status.st_mode & 0777) : 0666;
    for (int attempt = 0; fd_ < 0; ++attempt) {
      std::string name = prefix + std::to_string(temporaryCounter.fetch_add(1)) + ".tmp";
      fd_ = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
      if (fd_ >= 0) {
        temporary_ = std::move(name);
      } else if (errno != EEXIST || attempt + 1 == kMaxTemporaryAttempts) {
        return {error_ = errno};
      }
    }
    open_ = true;
    if (exists) {
      // The owner only where the process may set it (as root, or the group among its
      // own); the mode after that, since a change of owner clears some mode bits.
      if (status.st_uid != ::geteuid() || status.st_gid != ::getegid())
        static_cast<void>(::fchown(fd_, status.st_uid, status.st_gid));
      if (::fchmod(fd_, mode) != 0) return {error_ = errno};
    }
    return {};
  } catch (const std::bad_alloc&) {
    return {error_ = ENOMEM};
  }
}

int ReplacingFile::writeNative(const char* data, std::size_t size) noexcept {
  return writeAll(fd_, data, size);
}

int ReplacingFile::closeAndReplace() noexcept {
  if (const int error = closeChecked(fd_)) return error;
  if (!temporary_.empty() && ::rename(temporary_.c_str(), target_.c_str()) != 0) return errno;
  temporary_.clear(); // now the target: nothing to remove
  return 0;
}

InputFile::~InputFile() {
  if (fd_ >= 0) ::close(fd_);
}

FileResult InputFile::open(const char* path) noexcept {
  if (fd_ >= 0) return {EBUSY};
  if (path == nullptr || *path == '\0') return {ENOENT};
  // Without O_NONBLOCK, opening a FIFO would wait for a writer.
  const int fd = ::open(path, O_RDONLY | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return {errno};
  struct stat status {};
  int error = 0;
  if (::fstat(fd, &status) != 0)
    error = errno;
  else if (S_ISDIR(status.st_mode))
    error = EISDIR;
  else if (!S_ISREG(status.st_mode))
    error = kNotARegularFile;
  if (error == 0) {
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags < 0 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) error = errno;
  }
  if (error != 0) {
    ::close(fd);
    return {error};
  }
  fd_ = fd;
  return {};
}

int InputFile::readNative(char* data, std::size_t size, std::size_t& count) noexcept {
  for (;;) {
    const ssize_t got = ::read(fd_, data, size);
    if (got >= 0) {
      count = static_cast<std::size_t>(got);
      return 0;
    }
    if (errno != EINTR) return errno;
  }
}

} // namespace orbiculon
