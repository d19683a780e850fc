#pragma once

#include <cstddef>

namespace orbiculon {

// A test seam of the file layer: once armed, writes (or reads) of every file opened
// through files/ pass `afterBytes` more bytes and then fail with `error` (an errno
// value), the way a full disk or a failing medium would. Process-wide, not
// thread-safe; meant for unit tests and fuzz targets only.
void failFileWritesAfter(std::size_t afterBytes, int error) noexcept;
void failFileReadsAfter(std::size_t afterBytes, int error) noexcept;
void clearFileFaults() noexcept;

namespace detail {
// How many of `size` bytes a write (or read) may pass; sets `error` when the armed
// fault strikes within them.
std::size_t allowedWriteBytes(std::size_t size, int& error) noexcept;
std::size_t allowedReadBytes(std::size_t size, int& error) noexcept;
} // namespace detail

} // namespace orbiculon
