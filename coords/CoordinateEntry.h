#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace orbiculon {

// Bytes of a VOI name taken from a coordinate list: at most 255 characters and the
// terminating NUL.
inline constexpr std::size_t kCoordinateNameCapacity = 256;
inline constexpr std::size_t kCoordinateNameMaxLength = kCoordinateNameCapacity - 1;

// Bytes of the coordinate list text of one command, including the terminating NUL.
inline constexpr std::size_t kCoordinateListCapacity = 100000;

// One coordinate: centre and radius in millimetres (TAL or MNI space), the VOI name
// (NUL-terminated) and its colour. No defaults: whoever fills it sets every field.
struct CoordinateEntry {
  float x;
  float y;
  float z;
  float radius;
  std::array<char, kCoordinateNameCapacity> name;
  std::int32_t red;
  std::int32_t green;
  std::int32_t blue;
};

} // namespace orbiculon
