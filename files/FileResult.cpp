#include "files/FileResult.h"

#include <cerrno>

namespace orbiculon {

namespace {

struct ErrorText {
  int error;
  const char* text;
};

// The C library's own texts would follow the process locale (a host may have set
// one), and the log must read the same everywhere.
constexpr ErrorText kErrorTexts[] = {
    {kNotARegularFile, "Not a regular file"},
    {kFileChanged, "The file changed while it was being opened"},
    {kForeignLink, "A symbolic link in a shared sticky folder belongs to another user; it is not followed"},
    {EPERM, "Operation not permitted"},
    {ENOENT, "No such file or directory"},
    {EINTR, "Interrupted system call"},
    {EIO, "Input/output error"},
    {ENXIO, "No such device or address"},
    {EBADF, "Bad file descriptor"},
    {EAGAIN, "Resource temporarily unavailable"},
    {ENOMEM, "Cannot allocate memory"},
    {EACCES, "Permission denied"},
    {EBUSY, "Device or resource busy"},
    {EEXIST, "File exists"},
    {EXDEV, "Invalid cross-device link"},
    {ENODEV, "No such device"},
    {ENOTDIR, "Not a directory"},
    {EISDIR, "Is a directory"},
    {EINVAL, "Invalid argument"},
    {ENFILE, "Too many open files in system"},
    {EMFILE, "Too many open files"},
    {EFBIG, "File too large"},
    {ENOSPC, "No space left on device"},
    {ESPIPE, "Illegal seek"},
    {EROFS, "Read-only file system"},
    {EPIPE, "Broken pipe"},
    {ENAMETOOLONG, "File name too long"},
#ifdef ELOOP
    {ELOOP, "Too many levels of symbolic links"},
#endif
#ifdef ETXTBSY
    {ETXTBSY, "Text file busy"},
#endif
#ifdef EDQUOT
    {EDQUOT, "Disk quota exceeded"},
#endif
#ifdef ESTALE
    {ESTALE, "Stale file handle"},
#endif
};

} // namespace

const char* describeFileError(int error) noexcept {
  if (error == 0) return "Success";
  for (const ErrorText& entry : kErrorTexts) {
    if (entry.error == error) return entry.text;
  }
  return "Unknown error";
}

} // namespace orbiculon
