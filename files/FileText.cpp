// What both platforms share: text written with CR LF line ends.
#include <array>

#include "files/ReplacingFile.h"

namespace orbiculon {

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

} // namespace orbiculon
