#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "common/Capacities.h"

namespace orbiculon {

// One coordinate: centre and radius in millimetres (TAL or MNI space), the VOI name
// (NUL-terminated) and its colour. No defaults: whoever fills it sets every field.
struct CoordinateEntry {
  float x;
  float y;
  float z;
  float radius;
  std::array<char, kVoiNameCapacity> name;
  std::int32_t red;
  std::int32_t green;
  std::int32_t blue;
};

} // namespace orbiculon
