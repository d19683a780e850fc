#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace standin {

// The 372-byte VMR main header record the host hands to plug-ins. Only the named
// fields have a meaning here; the rest stays zero.
struct VmrHeaderRecord {
  unsigned char unused0[316];
  std::int32_t OffsetX, OffsetY, OffsetZ, FramingCubeDim;
  float ResolutionX, ResolutionY, ResolutionZ;
  unsigned char unused1[4];
  std::int32_t IsTalSpace, IsMniSpace, LeftRightConvention;
  unsigned char unused2[12];

  static VmrHeaderRecord defaults();
  // Sets a named field from text; false for an unknown field or a bad value.
  bool set(const std::string& field, const std::string& value);
};

static_assert(sizeof(VmrHeaderRecord) == 372);
static_assert(offsetof(VmrHeaderRecord, OffsetX) == 316);
static_assert(offsetof(VmrHeaderRecord, ResolutionX) == 332);
static_assert(offsetof(VmrHeaderRecord, IsTalSpace) == 348);
static_assert(offsetof(VmrHeaderRecord, LeftRightConvention) == 356);

} // namespace standin
