#pragma once

#include <cerrno>

namespace orbiculon {

// What a file operation ended with: 0 for success, otherwise an errno value or one
// of the negative codes below.
struct FileResult {
  int error = 0;
  bool ok() const noexcept { return error == 0; }
};

// The path names something other than a regular file where only one will do (a
// FIFO, socket or device to read a list from; a block device or socket to write to).
inline constexpr int kNotARegularFile = -1;
// The object at the path changed between the look at it and the open.
inline constexpr int kFileChanged = -2;
// A symbolic link in a sticky, world-writable folder (such as /tmp) that belongs to
// neither the saver nor the folder's owner: anyone could have planted it there, so
// it is not followed (the rule the kernel's protected symlinks apply).
inline constexpr int kForeignLink = -3;

// The reason for `error` in English, whatever the process locale: the text the C
// library of a POSIX system gives in the "C" locale for the common errno values, our
// own text for the negative codes, "Unknown error" otherwise. Never null.
const char* describeFileError(int error) noexcept;

} // namespace orbiculon
