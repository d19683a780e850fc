#pragma once

#include <span>

namespace orbiculon {

// Reads the text file at `path` into the list buffer `text` (its size is the
// capacity, normally kCoordinateListCapacity) and returns the number of lines read.
//
// Lines end at LF; a CR right before an LF belongs to the line end on every platform,
// the last line needs no LF, a final LF adds no empty line, and empty lines count.
// Each line enters the buffer up to its first NUL byte, but a line whose bytes,
// those after a NUL included, would not fit the buffer with a NUL does not fit. The
// buffer receives the lines joined by single LFs, NUL-terminated, with no LF after
// the last.
//
// A file that cannot be opened (missing, a folder, no name) or holds no line gives
// 0 and leaves the buffer as it was. When the next line would no longer fit the
// buffer with its NUL, or reading fails, reading stops: "Plugin>  Error while
// reading *.txt file." goes to the host's log, and the result is the number of lines
// taken, which the buffer then holds (it stays as it was when that is 0).
// Never throws.
int readCoordinateTextFile(const char* path, std::span<char> text) noexcept;

// Writes the NUL-terminated `text` to the file at `path`, truncating or creating
// it, as text of the platform (each LF written as CR LF on Windows), without adding
// a line end or a NUL. Returns true when every byte reached the file and the file
// was closed without error. Otherwise it logs "Plugin>  Error while writing *.txt
// file.", removes the incomplete file when it is a regular file (never a device,
// a folder or a symbolic link, nor what a link points to) and returns false.
// Never throws.
bool writeCoordinateTextFile(const char* path, const char* text) noexcept;

} // namespace orbiculon
