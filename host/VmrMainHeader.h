#pragma once

#include <cstddef>
#include <cstdint>

namespace orbiculon {

// The current VMR's main header as the host hands it out: a 372-byte record in the
// machine's byte order. The plug-in reads only the named fields; the byte blocks are
// the host's and are never interpreted.
struct VmrMainHeader {
  std::byte hostData0[316];
  std::int32_t OffsetX;
  std::int32_t OffsetY;
  std::int32_t OffsetZ;
  std::int32_t FramingCubeDim;
  float ResolutionX;
  float ResolutionY;
  float ResolutionZ;
  std::byte hostData1[4];
  std::int32_t IsTalSpace;
  std::int32_t IsMniSpace;
  std::int32_t LeftRightConvention;
  std::byte hostData2[12];
};

static_assert(sizeof(VmrMainHeader) == 372);
static_assert(offsetof(VmrMainHeader, OffsetX) == 316);
static_assert(offsetof(VmrMainHeader, OffsetY) == 320);
static_assert(offsetof(VmrMainHeader, OffsetZ) == 324);
static_assert(offsetof(VmrMainHeader, FramingCubeDim) == 328);
static_assert(offsetof(VmrMainHeader, ResolutionX) == 332);
static_assert(offsetof(VmrMainHeader, ResolutionY) == 336);
static_assert(offsetof(VmrMainHeader, ResolutionZ) == 340);
static_assert(offsetof(VmrMainHeader, IsTalSpace) == 348);
static_assert(offsetof(VmrMainHeader, IsMniSpace) == 352);
static_assert(offsetof(VmrMainHeader, LeftRightConvention) == 356);
static_assert(sizeof(float) == 4, "the header's resolutions are IEEE single precision");

} // namespace orbiculon
