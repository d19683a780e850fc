#pragma once

#include <cstddef>

namespace orbiculon::detail {

// Reads the name ReplacingFile gives its temporary files, "." BASE "." PID "-"
// NUMBER ".tmp", from the end (BASE may hold dots and digits itself): true, with
// the process id and the length of BASE, when `name` (of `length` characters) has
// that form. Allocates nothing, so that signal handlers may use it.
template <typename Char>
bool parseTemporaryName(const Char* name, std::size_t length, long& pid, std::size_t& baseLength) noexcept {
  constexpr char kSuffix[] = ".tmp";
  constexpr std::size_t kSuffixLength = sizeof kSuffix - 1;
  constexpr long kLargestPid = 1L << 30;
  const auto isDigit = [](Char c) { return c >= Char('0') && c <= Char('9'); };
  if (length < kSuffixLength + 6 || name[0] != Char('.')) return false;
  std::size_t at = length - kSuffixLength;
  for (std::size_t i = 0; i < kSuffixLength; ++i)
    if (name[at + i] != Char(kSuffix[i])) return false;
  const std::size_t numberEnd = at;
  while (at > 0 && isDigit(name[at - 1]))
    --at;
  if (at == numberEnd || at == 0 || name[at - 1] != Char('-')) return false;
  const std::size_t pidEnd = --at;
  while (at > 0 && isDigit(name[at - 1]))
    --at;
  if (at == pidEnd || at < 3 || name[at - 1] != Char('.')) return false;
  pid = 0;
  for (std::size_t i = at; i < pidEnd; ++i) {
    pid = pid * 10 + static_cast<long>(name[i] - Char('0'));
    if (pid > kLargestPid) return false;
  }
  baseLength = at - 2;
  return true;
}

} // namespace orbiculon::detail
