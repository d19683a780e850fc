// The file layer on POSIX systems.
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>
#if defined(__linux__)
#include <sys/syscall.h>
#endif

#include <atomic>
#include <cerrno>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "files/FileFaults.h"
#include "files/InputFile.h"
#include "files/ReplacingFile.h"
#include "files/TemporaryFiles.h"
#include "files/TemporaryName.h"

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

// Whether the link `link` (its lstat result `status`) may be followed: the kernel's
// protected-symlinks rule, which the kernel cannot apply itself here because the
// chain is followed in user space. In a sticky, world-writable folder only a link
// of the follower or of the folder's owner is followed.
int checkLinkOwner(const std::string& link, const struct stat& status) {
  struct stat folder {};
  if (::stat(folderOf(link).c_str(), &folder) != 0) return errno;
  const bool shared = (folder.st_mode & S_ISVTX) != 0 && (folder.st_mode & S_IWOTH) != 0;
  if (shared && status.st_uid != ::geteuid() && status.st_uid != folder.st_uid) return kForeignLink;
  return 0;
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
    if (const int refused = checkLinkOwner(resolved, status)) return refused;
    std::vector<char> link(static_cast<std::size_t>(status.st_size > 0 ? status.st_size : 255) + 1);
    const ssize_t length = ::readlink(resolved.c_str(), link.data(), link.size());
    if (length < 0) return errno;
    if (static_cast<std::size_t>(length) >= link.size()) return kFileChanged; // grew meanwhile
    const std::string next(link.data(), static_cast<std::size_t>(length));
    if (next.empty()) return ENOENT;
    resolved = next.front() == '/' ? next : folderOf(resolved) + "/" + next;
  }
}

// Removes the entry `name` of `folder` when it is a temporary file of open()'s
// naming (for `base`, unless null) that belongs to this user and whose process is
// this one (`own`) or is gone. Async-signal-safe.
void removeIfTemporary(int folder, const char* name, const char* base, bool own) noexcept {
  long pid = 0;
  std::size_t baseLength = 0;
  if (!detail::parseTemporaryName(name, std::strlen(name), pid, baseLength)) return;
  if (base != nullptr && (std::strlen(base) != baseLength || std::memcmp(name + 1, base, baseLength) != 0))
    return;
  const pid_t owner = static_cast<pid_t>(pid);
  if (own ? owner != ::getpid()
          : (owner == ::getpid() || owner <= 0 || ::kill(owner, 0) == 0 || errno != ESRCH))
    return;
  struct stat status {};
  if (::fstatat(folder, name, &status, AT_SYMLINK_NOFOLLOW) != 0) return;
  if (S_ISREG(status.st_mode) && status.st_uid == ::geteuid()) ::unlinkat(folder, name, 0);
}

// Applies removeIfTemporary to every entry of the open folder `folder`. The raw
// directory reads need no memory from the heap, so a signal handler may call this.
void removeTemporaryFiles(int folder, const char* base, bool own) noexcept {
#if defined(__linux__)
  const int savedErrno = errno;
  if (::lseek(folder, 0, SEEK_SET) == 0) {
    alignas(8) char entries[4096];
    for (;;) {
      const long got = ::syscall(SYS_getdents64, folder, entries, sizeof entries);
      if (got <= 0) break;
      for (long at = 0; at < got;) {
        // struct linux_dirent64: inode (8), offset (8), record length (2), type (1), name.
        unsigned short recordLength = 0;
        std::memcpy(&recordLength, entries + at + 16, sizeof recordLength);
        if (recordLength == 0) break;
        removeIfTemporary(folder, entries + at + 19, base, own);
        at += recordLength;
      }
    }
  }
  errno = savedErrno;
#else
  static_cast<void>(folder);
  static_cast<void>(base);
  static_cast<void>(own);
#endif
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
    // A file the saver may not write (0444, say) is refused as cp refuses it, even
    // though the folder would let it be replaced.
    if (exists && ::faccessat(AT_FDCWD, target_.c_str(), W_OK, AT_EACCESS) != 0) return {error_ = errno};

    const std::string folder = folderOf(target_);
    const std::string base = nameOf(target_).substr(0, kTemporaryBaseLength);
    // Temporary files of earlier saves of this file whose process died (killed, or
    // a host that went down) would stay forever: this save clears them away.
    if (const int folderFd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); folderFd >= 0) {
      removeTemporaryFiles(folderFd, base.c_str(), false);
      ::close(folderFd);
    }
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

void removeOwnTemporaryFiles(int folder) noexcept { removeTemporaryFiles(folder, nullptr, true); }

} // namespace orbiculon
