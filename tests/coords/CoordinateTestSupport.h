#pragma once

#include <algorithm>
#include <clocale>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "coords/CoordinateEntry.h"
#include "coords/CoordinateList.h"
#include "tests/support/Lines.h"

namespace orbiculon::testing {

// The cleaned line as the C library prints it in the "C" locale: the reference the
// cleaning output is held against.
inline std::string printedLine(float x, float y, float z, float radius, const std::string& name,
                               std::int32_t red, std::int32_t green, std::int32_t blue) {
  char line[512];
  std::snprintf(line, sizeof line, "% 7.1f % 7.1f % 7.1f %7.1f %25s %7i %4i %4i", static_cast<double>(x),
                static_cast<double>(y), static_cast<double>(z), static_cast<double>(radius), name.c_str(),
                red, green, blue);
  return line;
}

struct CleanResult {
  int count;
  std::string text;
};

// Cleans `text` in a list buffer of `capacity` bytes, with `completion` if given.
inline CleanResult clean(const std::string& text, bool isMni, CleaningObserver* observer = nullptr,
                         std::size_t capacity = kCoordinateListCapacity,
                         LineCompletion* completion = nullptr) {
  std::vector<char> buffer(capacity, '\0');
  text.copy(buffer.data(), capacity - 1);
  const int count = cleanCoordinateList(buffer, isMni, observer, completion);
  return {count, std::string(buffer.data())};
}

} // namespace orbiculon::testing
