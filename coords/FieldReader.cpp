#include "coords/FieldReader.h"

#include <charconv>
#include <cstdint>
#include <system_error>

namespace orbiculon {

namespace {

// Decimal exponents beyond this magnitude all mean the same (overflow or underflow),
// so the exponent of the magnitude estimate saturates here.
constexpr std::int64_t kExponentSaturation = 1000000000;

bool isDigit(char c) noexcept { return c >= '0' && c <= '9'; }

} // namespace

bool FieldReader::skipBlanks() noexcept {
  while (position_ < line_.size() && isBlank(line_[position_]))
    ++position_;
  return position_ < line_.size();
}

bool FieldReader::isDigitAt(std::size_t index) const noexcept {
  return index < line_.size() && isDigit(line_[index]);
}

std::size_t FieldReader::skipDigits(std::size_t index) const noexcept {
  while (isDigitAt(index))
    ++index;
  return index;
}

FieldStatus FieldReader::readReal(float& value) noexcept {
  if (!skipBlanks()) return FieldStatus::Missing;
  const std::size_t start = position_;
  std::size_t i = start;
  const bool plusSign = line_[i] == '+';
  if (line_[i] == '+' || line_[i] == '-') ++i;

  // Mantissa, remembering where its significant digits begin, so that a value
  // std::from_chars rejects can be told apart as too large or too small.
  const std::size_t integerBegin = i;
  i = skipDigits(i);
  const std::size_t integerEnd = i;
  std::size_t fractionBegin = i;
  std::size_t fractionEnd = i;
  if (i < line_.size() && line_[i] == '.') {
    fractionBegin = i + 1;
    fractionEnd = skipDigits(fractionBegin);
    i = fractionEnd;
  }
  if (integerEnd == integerBegin && fractionEnd == fractionBegin) return FieldStatus::NotANumber;

  std::int64_t exponent = 0;
  if (i < line_.size() && (line_[i] == 'e' || line_[i] == 'E')) {
    std::size_t j = i + 1;
    bool negative = false;
    if (j < line_.size() && (line_[j] == '+' || line_[j] == '-')) {
      negative = line_[j] == '-';
      ++j;
    }
    if (isDigitAt(j)) {
      for (; isDigitAt(j); ++j) {
        if (exponent < kExponentSaturation) exponent = exponent * 10 + (line_[j] - '0');
      }
      if (negative) exponent = -exponent;
      i = j;
    }
  }

  const char* first = line_.data() + start + (plusSign ? 1 : 0);
  const char* last = line_.data() + i;
  float converted = 0.0f;
  const auto [end, error] = std::from_chars(first, last, converted, std::chars_format::general);
  if (error == std::errc::result_out_of_range) {
    // Too large or too small for a float. The decimal position of the first
    // significant digit decides which: overflow needs a value far above 1,
    // underflow one far below.
    std::int64_t magnitude = exponent;
    std::size_t k = integerBegin;
    while (k < integerEnd && line_[k] == '0')
      ++k;
    if (k < integerEnd) {
      magnitude += static_cast<std::int64_t>(integerEnd - k);
    } else {
      k = fractionBegin;
      while (k < fractionEnd && line_[k] == '0')
        ++k;
      magnitude -= static_cast<std::int64_t>(k - fractionBegin);
    }
    if (magnitude > 0) return FieldStatus::OutOfRange;
    converted = line_[start] == '-' ? -0.0f : 0.0f;
  } else if (error != std::errc{} || end != last) {
    return FieldStatus::NotANumber;
  }
  value = converted;
  position_ = i;
  return FieldStatus::Read;
}

FieldStatus FieldReader::readInteger(std::int32_t& value) noexcept {
  if (!skipBlanks()) return FieldStatus::Missing;
  const std::size_t start = position_;
  std::size_t i = start;
  const bool plusSign = line_[i] == '+';
  if (line_[i] == '+' || line_[i] == '-') ++i;
  const std::size_t digitsEnd = skipDigits(i);
  if (digitsEnd == i) return FieldStatus::NotANumber;

  const char* first = line_.data() + start + (plusSign ? 1 : 0);
  const char* last = line_.data() + digitsEnd;
  std::int32_t converted = 0;
  const auto [end, error] = std::from_chars(first, last, converted, 10);
  if (error == std::errc::result_out_of_range) return FieldStatus::OutOfRange;
  if (error != std::errc{} || end != last) return FieldStatus::NotANumber;
  value = converted;
  position_ = digitsEnd;
  return FieldStatus::Read;
}

FieldStatus FieldReader::readName(std::string_view& name) noexcept {
  if (!skipBlanks()) return FieldStatus::Missing;
  const std::size_t start = position_;
  while (position_ < line_.size() && !isBlank(line_[position_]))
    ++position_;
  name = line_.substr(start, position_ - start);
  return FieldStatus::Read;
}

} // namespace orbiculon
