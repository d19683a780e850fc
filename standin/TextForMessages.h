#pragma once

// Numbers and quoted texts as the stand-in host reads and shows them, one way each
// for every part of it.

#include <charconv>
#include <string>
#include <string_view>
#include <system_error>

namespace standin {

// The whole text as one number of type T in the classic notation: std::errc() on
// success, result_out_of_range for a value T cannot hold (1e39 as a float), and
// invalid_argument for anything else.
template <typename T> std::errc parseWholeNumber(std::string_view text, T& value) {
  const char* last = text.data() + text.size();
  const auto [end, error] = std::from_chars(text.data(), last, value);
  if (error == std::errc() && end != last) return std::errc::invalid_argument;
  return text.empty() ? std::errc::invalid_argument : error;
}

// A text as a message quotes it: in double quotes, cut after `shownLength`
// characters (marked "..."), control bytes written as \xHH.
inline std::string quotedForMessage(std::string_view text, std::size_t shownLength) {
  std::string quoted = "\"";
  for (std::size_t i = 0; i < text.size() && i < shownLength; ++i) {
    const auto byte = static_cast<unsigned char>(text[i]);
    if (byte < 0x20 || byte == 0x7F) {
      constexpr char kHex[] = "0123456789ABCDEF";
      quoted += "\\x";
      quoted += kHex[byte >> 4];
      quoted += kHex[byte & 0x0F];
    } else {
      quoted += static_cast<char>(byte);
    }
  }
  if (text.size() > shownLength) quoted += "...";
  return quoted + "\"";
}

} // namespace standin
