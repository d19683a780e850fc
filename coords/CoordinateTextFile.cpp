#include "coords/CoordinateTextFile.h"

#include <array>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <new>
#include <system_error>

#include "host/HostEntryTable.h"

namespace orbiculon {

namespace {

constexpr const char* kReadErrorLine = "Plugin>  Error while reading *.txt file.";
constexpr const char* kWriteErrorLine = "Plugin>  Error while writing *.txt file.";

// Bytes taken from the file per read call.
constexpr std::size_t kReadChunkSize = 16384;

// Text mode: on Windows the C library writes every LF as CR LF; elsewhere text and
// binary mode are the same and an LF stays an LF.
constexpr const char* kWriteMode = "w";
// Reading is binary everywhere: CR LF is folded into LF here, the same way on every
// platform.
constexpr const char* kReadMode = "rb";

void logLine(const char* line) noexcept {
  try {
    hostTable().rzLogText(line);
  } catch (...) {
    // The log is the only report there is; nothing more can be done.
  }
}

struct FileCloser {
  void operator()(std::FILE* file) const noexcept { std::fclose(file); }
};
using FileHandle = std::unique_ptr<std::FILE, FileCloser>;

// Collects the lines of a file, joined by LF, into a private buffer of the caller's
// capacity, and hands them to the caller only at the end, so that the caller's
// buffer stays untouched when no line is taken.
class LineJoiner {
public:
  explicit LineJoiner(std::size_t capacity) noexcept
      : capacity_(capacity), joined_(new (std::nothrow) char[capacity > 0 ? capacity : 1]) {}

  bool ready() const noexcept { return joined_ != nullptr; }
  int lines() const noexcept { return lines_; }

  // Takes the next byte of the file; false when the line being read no longer fits.
  bool take(char c) noexcept {
    if (c == '\n') return endLine();
    inLine_ = true;
    if (c == '\r') {
      // Held back: a CR right before an LF belongs to the line end.
      if (pendingCr_) return append('\r');
      pendingCr_ = true;
      return true;
    }
    if (pendingCr_) {
      pendingCr_ = false;
      if (!append('\r')) return false;
    }
    if (c == '\0') afterNul_ = true;
    return append(c);
  }

  // The file ended: a last line without LF counts as well.
  bool finish() noexcept {
    if (pendingCr_) {
      pendingCr_ = false;
      if (!append('\r')) return false;
    }
    return inLine_ ? endLine() : true;
  }

  // Copies the joined lines with their NUL into `text` when there is any line.
  void deliver(std::span<char> text) const noexcept {
    if (lines_ == 0) return;
    std::memcpy(text.data(), joined_.get(), committed_);
    text[committed_] = '\0';
  }

private:
  std::size_t lineStart() const noexcept { return lines_ > 0 ? committed_ + 1 : 0; }

  bool append(char c) noexcept {
    // A line that could not fit the buffer by itself is no list line, even when a NUL
    // keeps most of it out of the buffer; without this bound a file of NUL bytes (a
    // sparse file of any size) would be read to its end.
    if (++rawLength_ >= capacity_) return false;
    if (afterNul_) return true; // a line ends, for the list, at its first NUL
    const std::size_t at = lineStart() + lineLength_;
    if (at + 1 >= capacity_) return false; // no room for the byte and the NUL
    joined_[at] = c;
    ++lineLength_;
    return true;
  }

  bool endLine() noexcept {
    pendingCr_ = false;
    const std::size_t start = lineStart();
    if (start + lineLength_ >= capacity_) return false; // no room for the NUL
    if (lines_ > 0) joined_[committed_] = '\n';
    committed_ = start + lineLength_;
    ++lines_;
    lineLength_ = 0;
    rawLength_ = 0;
    inLine_ = false;
    afterNul_ = false;
    return true;
  }

  std::size_t capacity_;
  std::unique_ptr<char[]> joined_;
  std::size_t committed_ = 0; // length of the joined complete lines
  std::size_t lineLength_ = 0;
  std::size_t rawLength_ = 0; // bytes of the current line, those after a NUL included
  int lines_ = 0;
  bool inLine_ = false;
  bool pendingCr_ = false;
  bool afterNul_ = false;
};

// Reads the whole file; returns false when reading broke off (a read error, or a
// line that does not fit).
bool readLines(std::FILE* file, LineJoiner& joiner) noexcept {
  std::array<char, kReadChunkSize> chunk{};
  for (;;) {
    const std::size_t count = std::fread(chunk.data(), 1, chunk.size(), file);
    for (std::size_t i = 0; i < count; ++i) {
      if (!joiner.take(chunk[i])) return false;
    }
    if (count < chunk.size()) {
      if (std::ferror(file) != 0) return false;
      return joiner.finish();
    }
  }
}

int readTextFile(const char* path, std::span<char> text) {
  if (path == nullptr || *path == '\0') return 0;
  std::error_code error;
  // Only a regular file (or a link to one) holds a list: a folder opens on some
  // systems but holds no lines, and a device such as /dev/zero never ends.
  if (!std::filesystem::is_regular_file(std::filesystem::path(path), error)) return 0;
  const FileHandle file(std::fopen(path, kReadMode));
  if (!file) return 0;

  LineJoiner joiner(text.size());
  if (!joiner.ready()) {
    logLine(kReadErrorLine);
    return 0;
  }
  const bool complete = readLines(file.get(), joiner);
  joiner.deliver(text);
  if (!complete) logLine(kReadErrorLine);
  return joiner.lines();
}

// Removes what an unsuccessful write left behind, but only a regular file that was
// a regular file (or absent) before the write: never a device, a folder or a link.
void removeIncompleteFile(const std::filesystem::path& target, std::filesystem::file_type before) noexcept {
  namespace fs = std::filesystem;
  if (before != fs::file_type::regular && before != fs::file_type::not_found) return;
  std::error_code error;
  const fs::file_status after = fs::symlink_status(target, error);
  if (error || after.type() != fs::file_type::regular) return;
  fs::remove(target, error);
}

bool writeTextFile(const char* path, const char* text) {
  namespace fs = std::filesystem;
  if (path == nullptr || *path == '\0') return false;
  const fs::path target(path);
  std::error_code error;
  const fs::file_type before = fs::symlink_status(target, error).type();

  std::FILE* file = std::fopen(path, kWriteMode);
  if (file == nullptr) return false;
  const char* content = text != nullptr ? text : "";
  const std::size_t length = std::strlen(content);
  bool good = std::fwrite(content, 1, length, file) == length;
  good = std::fflush(file) == 0 && good;
  good = std::fclose(file) == 0 && good;
  if (!good) removeIncompleteFile(target, before);
  return good;
}

} // namespace

int readCoordinateTextFile(const char* path, std::span<char> text) noexcept {
  try {
    return readTextFile(path, text);
  } catch (...) {
    // Only the path conversion can throw, before any line is read.
    logLine(kReadErrorLine);
    return 0;
  }
}

bool writeCoordinateTextFile(const char* path, const char* text) noexcept {
  bool written = false;
  try {
    written = writeTextFile(path, text);
  } catch (...) {
    // Only the path conversion can throw, before the file is opened.
    written = false;
  }
  if (!written) logLine(kWriteErrorLine);
  return written;
}

} // namespace orbiculon
