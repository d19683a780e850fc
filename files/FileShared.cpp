// What both platforms share: the checks around every write and read (the fault seam
// included), the commit, and text written with CR LF line ends.
#include <array>
#include <cerrno>

#include "files/FileFaults.h"
#include "files/InputFile.h"
#include "files/ReplacingFile.h"

namespace orbiculon {

ReplacingFile::~ReplacingFile() {
  if (open_) discard();
}

FileResult ReplacingFile::refuseOpen(const char* path) noexcept {
  if (open_ || error_ != 0) return {error_ != 0 ? error_ : EBUSY};
  if (path == nullptr || *path == '\0') return {error_ = ENOENT};
  return {};
}

FileResult ReplacingFile::write(const char* data, std::size_t size) noexcept {
  if (error_ != 0) return {error_};
  if (!open_) return {error_ = EBADF};
  int fault = 0;
  const std::size_t allowed = detail::allowedWriteBytes(size, fault);
  if (const int error = writeNative(data, allowed)) return {error_ = error};
  if (fault != 0) error_ = fault;
  return {error_};
}

FileResult ReplacingFile::commit() noexcept {
  if (error_ == 0 && !open_) error_ = EBADF;
  if (error_ == 0) error_ = closeAndReplace();
  if (open_) discard();
  return {error_};
}

FileResult ReplacingFile::writeWithCrLf(const char* data, std::size_t size) noexcept {
  // Expanded in chunks: at most two bytes per byte of input.
  std::array<char, 8192> chunk{};
  std::size_t used = 0;
  for (std::size_t i = 0; i < size; ++i) {
    if (used + 2 > chunk.size()) {
      if (const FileResult result = write(chunk.data(), used); !result.ok()) return result;
      used = 0;
    }
    if (data[i] == '\n') chunk[used++] = '\r';
    chunk[used++] = data[i];
  }
  return write(chunk.data(), used);
}

FileResult InputFile::read(char* data, std::size_t size, std::size_t& count) noexcept {
  count = 0;
  if (!isOpen()) return {EBADF};
  int fault = 0;
  const std::size_t allowed = detail::allowedReadBytes(size, fault);
  if (allowed == 0 && fault != 0) return {fault};
  return {readNative(data, allowed, count)};
}

} // namespace orbiculon
