#pragma once

#include <span>

#include "files/FileResult.h"

namespace orbiculon {

// What readCoordinateTextFile found.
struct TextFileReading {
  // A regular file was opened: its lines, even none, are the new list.
  bool opened = false;
  // Lines taken; the buffer holds them when this is above 0.
  int lines = 0;
  // Why no file was opened (opened false), or why reading stopped before the end
  // (opened true): the system's error, or EFBIG for a line that no longer fits the
  // buffer. ENOMEM means nothing was read for lack of memory.
  FileResult result;
};

// Reads the text file at `path` into the list buffer `text` (its size is the
// capacity, normally kCoordinateListCapacity).
//
// Lines end at LF; a CR right before an LF belongs to the line end, the last line
// needs no LF, a final LF adds no empty line, and empty lines count. A UTF-8
// byte-order mark at the very start of the file is skipped. Each line enters the
// buffer up to its first NUL byte, but a line whose bytes, those after a NUL
// included, would not fit the buffer with a NUL does not fit. The buffer receives
// the lines joined by single LFs, NUL-terminated, with no LF after the last.
//
// Only a regular file is read (a folder, a FIFO or a device is refused without
// blocking). Reading stops at a read error or before the first line that would not
// fit, and the lines taken so far stay. The buffer is untouched when no line is
// taken. Never throws.
TextFileReading readCoordinateTextFile(const char* path, std::span<char> text) noexcept;

// Writes the NUL-terminated `text` to the file at `path` as text of the platform
// (each LF written as CR LF on Windows), without adding a line end or a NUL. The
// file is replaced only when the whole text was written; on any failure it stays as
// it was (see ReplacingFile). Never throws.
FileResult writeCoordinateTextFile(const char* path, const char* text) noexcept;

} // namespace orbiculon
