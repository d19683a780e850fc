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

// Reads the regular file at `path` into `text` (normally kCoordinateListCapacity
// bytes) as LF-joined, NUL-terminated lines: CR LF and LF both end a line, a UTF-8
// byte-order mark at the start is dropped, and a line keeps only what precedes a NUL
// in it. Stops at a read error or at the first line too long for the rest of the
// buffer, keeping the lines read so far; with no line read the buffer is unchanged.
// Folders, FIFOs and devices are refused without blocking. Never throws.
TextFileReading readCoordinateTextFile(const char* path, std::span<char> text) noexcept;

// Writes the NUL-terminated `text` to the file at `path` as text of the platform
// (each LF written as CR LF on Windows), without adding a line end or a NUL. The
// file is replaced only when the whole text was written; on any failure it stays as
// it was (see ReplacingFile). Never throws.
FileResult writeCoordinateTextFile(const char* path, const char* text) noexcept;

} // namespace orbiculon
