#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace orbiculon {

// Blank, tab, LF, vertical tab, form feed and CR.
constexpr bool isFieldWhitespace(char c) noexcept {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// The characters that a coordinate list may use between fields and that cleaning
// treats exactly like a blank: comma, semicolon, colon, double and single quote.
constexpr bool isFieldSeparator(char c) noexcept {
  return c == ',' || c == ';' || c == ':' || c == '"' || c == '\'';
}

// Outcome of reading one field.
enum class FieldStatus : std::uint8_t {
  Read,       // the field was read and the reader stands right behind it
  Missing,    // only whitespace was left on the line
  NotANumber, // a number was expected but the text there does not start with one
  OutOfRange, // the number does not fit the type (32-bit float or 32-bit signed)
};

// Reads the fields of one line, left to right, from the bytes of the line. Every
// read first skips whitespace. The result never depends on the process locale:
// numbers are scanned here and converted with std::from_chars.
//
// Real numbers are the longest run in classic notation: an optional sign, digits
// with at most one '.', and an optional exponent (e or E, an optional sign, digits)
// that belongs to the number only when it has a digit. So "1e" reads as 1 and stops
// before the 'e', "1.5.3" reads as 1.5 and stops before ".3", ".5" and "5." are
// numbers while "." and "-" alone are not, and "inf", "nan" or hexadecimal are never
// numbers. The value is the nearest float. A value beyond the largest float (one
// that would round to infinity, such as 1e39) is out of range and not read. A value
// too small for even the smallest denormal float (such as 1e-50) lies within the
// range of a float and reads as zero with its sign; denormal values read as such.
//
// Integers are an optional sign and decimal digits, always base ten (leading zeros
// change nothing), within the 32-bit signed range.
//
// A field that is not read leaves the output untouched; where the reader then
// stands is unspecified, since no later field of the line is read after a failure.
class FieldReader {
public:
  // With `separatorsAsBlanks`, the five separator characters count as whitespace
  // (this is how cleaning reads a line); otherwise they are ordinary characters.
  explicit FieldReader(std::string_view line, bool separatorsAsBlanks = false) noexcept
      : line_(line), separatorsAsBlanks_(separatorsAsBlanks) {}

  FieldStatus readReal(float& value) noexcept;
  FieldStatus readInteger(std::int32_t& value) noexcept;
  // The name is the whole run of non-whitespace characters; `name` views it within
  // the line. Either Read or Missing.
  FieldStatus readName(std::string_view& name) noexcept;

  std::size_t position() const noexcept { return position_; }

private:
  bool isBlank(char c) const noexcept {
    return isFieldWhitespace(c) || (separatorsAsBlanks_ && isFieldSeparator(c));
  }
  bool skipBlanks() noexcept;
  bool isDigitAt(std::size_t index) const noexcept;
  std::size_t skipDigits(std::size_t index) const noexcept;

  std::string_view line_;
  std::size_t position_ = 0;
  bool separatorsAsBlanks_;
};

} // namespace orbiculon
