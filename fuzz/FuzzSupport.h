#pragma once

// Shared pieces of the fuzz targets: reading structured values from the fuzzer's
// bytes, and a check that stops the run with a message when an invariant breaks.
// Everything here also builds with the project's regular compiler, so the targets can
// be replayed on their corpus and regression inputs in the ordinary test suite.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

// Stops the run when `condition` is false: libFuzzer records the input as a crash, a
// replay reports the file. Checks stay active in every build type.
#define FUZZ_CHECK(condition, message)                                                                       \
  do {                                                                                                       \
    if (!(condition)) ::orbiculon::fuzz::fail(__FILE__, __LINE__, #condition, message);                      \
  } while (false)

namespace orbiculon::fuzz {

// The text that a file saved in the platform's text mode holds, from its bytes:
// on Windows every LF of the text became CR LF in the file.
inline std::string savedText(std::string fileBytes) {
#if defined(_WIN32)
  for (auto at = fileBytes.find("\r\n"); at != std::string::npos; at = fileBytes.find("\r\n", at))
    fileBytes.erase(at, 1);
#endif
  return fileBytes;
}

[[noreturn]] inline void fail(const char* file, int line, const char* condition, std::string_view message) {
  std::fprintf(stderr, "%s:%d: invariant broken: %s\n  %.*s\n", file, line, condition,
               static_cast<int>(message.size()), message.data());
  std::fflush(stderr);
  std::abort();
}

// Reads values front to back from the fuzzer's input. Past the end every read
// yields zeros (and empty texts), so any input, however short, is a valid one.
class FuzzInput {
public:
  // Texts read from it never have a null data pointer, not even for empty input.
  FuzzInput(const std::uint8_t* data, std::size_t size) noexcept
      : data_(data != nullptr ? reinterpret_cast<const char*>(data) : ""), size_(data != nullptr ? size : 0) {
  }

  bool empty() const noexcept { return position_ >= size_; }

  std::uint8_t byte() noexcept {
    return position_ < size_ ? static_cast<std::uint8_t>(data_[position_++]) : std::uint8_t{0};
  }

  std::uint16_t u16() noexcept {
    const auto low = byte();
    return static_cast<std::uint16_t>(low | (byte() << 8));
  }

  std::uint32_t u32() noexcept {
    std::uint32_t value = 0;
    for (int shift = 0; shift < 32; shift += 8)
      value |= static_cast<std::uint32_t>(byte()) << shift;
    return value;
  }

  std::int32_t i32() noexcept {
    const std::uint32_t bits = u32();
    std::int32_t value = 0;
    std::memcpy(&value, &bits, sizeof value);
    return value;
  }

  // Any bit pattern: NaNs, infinities, denormals and negative zero included.
  float floatBits() noexcept {
    const std::uint32_t bits = u32();
    float value = 0.0f;
    std::memcpy(&value, &bits, sizeof value);
    return value;
  }

  // Everything up to (not including) the next `separator` byte, which is consumed;
  // the rest of the input when there is none.
  std::string_view until(char separator) noexcept {
    const std::string_view rest = remaining();
    const std::size_t end = rest.find(separator);
    const std::size_t taken = end == std::string_view::npos ? rest.size() : end;
    position_ += end == std::string_view::npos ? taken : taken + 1;
    return rest.substr(0, taken);
  }

  std::string_view remaining() const noexcept {
    return position_ < size_ ? std::string_view(data_ + position_, size_ - position_)
                             : std::string_view(data_, 0);
  }

  std::string_view rest() noexcept {
    const std::string_view rest = remaining();
    position_ = size_;
    return rest;
  }

private:
  const char* data_;
  std::size_t size_;
  std::size_t position_ = 0;
};

// Bitwise equality of floats, so NaN payloads and signed zeros count as values.
inline bool sameBits(float a, float b) noexcept { return std::memcmp(&a, &b, sizeof a) == 0; }

inline std::string printable(std::string_view text, std::size_t limit = 200) {
  std::string out;
  for (const char c : text.substr(0, limit)) {
    const auto u = static_cast<unsigned char>(c);
    if (u >= 0x20 && u < 0x7F && c != '\\') {
      out += c;
    } else {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\x%02X", u);
      out += escaped;
    }
  }
  if (text.size() > limit) out += "...";
  return out;
}

} // namespace orbiculon::fuzz

// The libFuzzer entry point every target defines.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);
