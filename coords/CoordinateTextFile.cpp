#include "coords/CoordinateTextFile.h"

#include <array>
#include <cerrno>
#include <cstring>
#include <memory>
#include <new>

#include "files/InputFile.h"
#include "files/ReplacingFile.h"

namespace orbiculon {

namespace {

// Bytes taken from the file per read call.
constexpr std::size_t kReadChunkSize = 16384;

// Spreadsheets put this UTF-8 byte-order mark before the first line.
constexpr char kByteOrderMark[] = "\xEF\xBB\xBF";

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

// Reads the whole file, skipping a UTF-8 byte-order mark at its start.
FileResult readLines(InputFile& file, LineJoiner& joiner) noexcept {
  std::array<char, kReadChunkSize> chunk{};
  std::size_t markMatched = 0; // bytes of the mark seen so far at the file's start
  bool atStart = true;
  for (;;) {
    std::size_t count = 0;
    if (const FileResult result = file.read(chunk.data(), chunk.size(), count); !result.ok()) return result;
    if (count == 0) break;
    for (std::size_t i = 0; i < count; ++i) {
      if (atStart) {
        if (chunk[i] == kByteOrderMark[markMatched] && ++markMatched < sizeof kByteOrderMark - 1) continue;
        atStart = false;
        if (markMatched == sizeof kByteOrderMark - 1) continue; // the whole mark: dropped
        // Only part of the mark: those bytes are text after all.
        for (std::size_t m = 0; m < markMatched; ++m)
          if (!joiner.take(kByteOrderMark[m])) return {EFBIG};
      }
      if (!joiner.take(chunk[i])) return {EFBIG};
    }
  }
  for (std::size_t m = 0; atStart && m < markMatched; ++m)
    if (!joiner.take(kByteOrderMark[m])) return {EFBIG};
  return joiner.finish() ? FileResult{} : FileResult{EFBIG};
}

} // namespace

TextFileReading readCoordinateTextFile(const char* path, std::span<char> text) noexcept {
  TextFileReading reading;
  InputFile file;
  reading.result = file.open(path);
  if (!reading.result.ok()) return reading;
  LineJoiner joiner(text.size());
  if (!joiner.ready()) {
    reading.result = {ENOMEM};
    return reading;
  }
  reading.opened = true;
  reading.result = readLines(file, joiner);
  joiner.deliver(text);
  reading.lines = joiner.lines();
  return reading;
}

FileResult writeCoordinateTextFile(const char* path, const char* text) noexcept {
  const char* content = text != nullptr ? text : "";
  const std::size_t length = std::strlen(content);
  ReplacingFile file;
  if (const FileResult opened = file.open(path); !opened.ok()) return opened;
#if defined(_WIN32)
  // Text of the platform: CR LF line ends.
  file.writeWithCrLf(content, length);
#else
  file.write(content, length);
#endif
  return file.commit();
}

} // namespace orbiculon
