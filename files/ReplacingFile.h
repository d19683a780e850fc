#pragma once

#include <cstddef>
#include <string>

#include "files/FileResult.h"

namespace orbiculon {

// Writes a file so that the file at the path is either replaced whole or left
// exactly as it was: open() creates a new temporary file beside the target (created
// exclusively, never through an existing name or a link, its name unique to the
// process and the call), write() appends to it, and commit() moves it onto the
// target in one step. Without a successful commit the destructor removes the
// temporary file and the target keeps its old bytes and permissions, or stays absent.
//
// Targets:
// - a regular file: replaced; the new file takes the old one's permission bits (and,
//   where allowed, its owner). A file with several hard links is replaced as well,
//   as editors do: the path then names the new file, the other links keep the old
//   content. Writing in place instead would leave a truncated file behind on every
//   failure, which is what this class exists to prevent.
// - a missing file: created with the permissions a new file gets.
// - a regular file the saver may not write (such as one of mode 0444): refused
//   (EACCES), as cp refuses it.
// - a symbolic link: the link chain is followed and its final target replaced (or
//   created, for a dangling link); the link stays a link. A link in a sticky,
//   world-writable folder (/tmp) is followed only when it belongs to the saver or to
//   the folder's owner, as the kernel's protected symlinks rule has it; any other is
//   refused (kForeignLink), since anyone could have planted it there.
// - a character device or a FIFO: written in place, never replaced or removed
//   (/dev/null swallows, /dev/full reports ENOSPC). A FIFO is opened without
//   blocking, so one that nobody reads fails at once (ENXIO).
// - a folder (EISDIR), a block device or a socket (kNotARegularFile): refused.
//
// open() also removes temporary files of its own naming for the same target that
// processes left behind when they died mid-save (on POSIX systems only this user's;
// see TemporaryFiles.h for a process that is being ended by a signal).
//
// The temporary file is not synced to the disk before the rename: the replacement
// is atomic for every reader and for failures of this process, not a guarantee
// against a power loss.
//
// Every call returns the first failure again once one occurred. Never throws.
class ReplacingFile {
public:
  ReplacingFile() noexcept = default;
  ReplacingFile(const ReplacingFile&) = delete;
  ReplacingFile& operator=(const ReplacingFile&) = delete;
  ~ReplacingFile();

  FileResult open(const char* path) noexcept;
  FileResult write(const char* data, std::size_t size) noexcept;
  // Writes `size` bytes, each LF as CR LF: text of the platform on Windows.
  FileResult writeWithCrLf(const char* data, std::size_t size) noexcept;
  FileResult commit() noexcept;
  // The first failure so far, if any.
  FileResult status() const noexcept { return {error_}; }

private:
  void discard() noexcept;
  // Why open() cannot start: already open, an earlier failure, or no path.
  FileResult refuseOpen(const char* path) noexcept;
  // The platform's part: write all bytes to the open file, and close it and move the
  // temporary file (if any) onto the target. Each returns 0 or an errno value.
  int writeNative(const char* data, std::size_t size) noexcept;
  int closeAndReplace() noexcept;

#if defined(_WIN32)
  void* handle_ = nullptr;
  std::wstring temporary_;
  std::wstring target_;
#else
  int fd_ = -1;
  std::string temporary_; // empty when writing in place
  std::string target_;
#endif
  int error_ = 0;
  bool open_ = false;
};

} // namespace orbiculon
