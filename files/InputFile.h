#pragma once

#include <cstddef>

#include "files/FileResult.h"

namespace orbiculon {

// A regular file opened for reading. open() opens the path without blocking (a
// FIFO without a writer does not hang it) and only then checks what it opened, so
// no other object can slip in between a check and the open: anything but a regular
// file is closed again and refused (EISDIR for a folder, kNotARegularFile else).
// Never throws.
class InputFile {
public:
  InputFile() noexcept = default;
  InputFile(const InputFile&) = delete;
  InputFile& operator=(const InputFile&) = delete;
  ~InputFile();

  FileResult open(const char* path) noexcept;
  // Reads up to `size` bytes into `data` and sets `count` to the number read; a
  // successful result with `count` 0 is the end of the file, a failure never is.
  FileResult read(char* data, std::size_t size, std::size_t& count) noexcept;

private:
  // The platform's read: 0 or an errno value.
  int readNative(char* data, std::size_t size, std::size_t& count) noexcept;

#if defined(_WIN32)
  bool isOpen() const noexcept { return handle_ != nullptr; }
  void* handle_ = nullptr;
#else
  bool isOpen() const noexcept { return fd_ >= 0; }
  int fd_ = -1;
#endif
};

} // namespace orbiculon
