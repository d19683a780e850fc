// Sphere voxel enumeration over arbitrary float bit patterns for the centre and the
// radius.
//
// Input: a mode byte followed by four numbers (three centre coordinates, radius).
//   mode bit 0 clear: four raw 32-bit float patterns (NaNs, infinities, denormals,
//                     values beyond the 32-bit range, negative radii)
//   mode bit 0 set:   ordinary spheres: each coordinate a 16-bit signed value in
//                     1/64 mm (or, with mode bit 1, placed near 2^24 or 2^30, where
//                     floats are coarser than the grid), the radius a 16-bit value
//                     in 1/1024 mm (0 ... 64 mm)
//
// Invariants: no fault; the count returned equals what countSphereVoxels predicts,
// and a VOI record's count (recordVoxelCount) is 0 exactly when that is no writable
// count, and otherwise that count or kVoxelsCountedWhileWritten;
// spheres that cannot be represented or hold more than kMaxSphereVoxels give count 0
// and an empty array without allocating their size (the fuzz script runs with a
// malloc limit); every voxel passes the single-precision test, in strictly
// increasing (x, y, z) order; and for bounding boxes small enough the result is
// identical to the plain reference enumeration, and the VOI writer's text of the
// sphere's record, through a buffer whose size the input's last bytes choose, is the
// plain formatter's (tests/support/PlainVoiText.h).
//
// A valid sphere of more than kEnumerationCap voxels (a radius above about 40 mm)
// is counted but not enumerated: its array would take up to 8.5 GB (at a radius of
// 554 mm), more than a fuzzing process may use, and enumerating it adds nothing the
// counting walk and the smaller spheres do not already exercise.
#include <cmath>
#include <cstring>
#include <string>

#include "fuzz/FuzzSupport.h"
#include "tests/support/PlainVoiText.h"
#include "voi/SphereVoxels.h"

namespace {

using orbiculon::SphereCentre;
using orbiculon::VoxelTriple;
using orbiculon::fuzz::FuzzInput;

constexpr std::int64_t kEnumerationCap = std::int64_t{1} << 18;
constexpr double kReferenceBoxLimit = 1u << 16;

constexpr float kCoordinateStep = 1.0f / 64.0f;
constexpr float kRadiusStep = 1.0f / 1024.0f;
constexpr float kCoarseOffsets[] = {0.0f, 16777216.0f, 1073741824.0f, -1073741824.0f};

std::string describe(const SphereCentre& c, float r) {
  char text[160];
  std::snprintf(text, sizeof text, "centre (%a, %a, %a) radius %a", static_cast<double>(c.x),
                static_cast<double>(c.y), static_cast<double>(c.z), static_cast<double>(r));
  return text;
}

// The single-precision test, written out independently: (c - float(p))² per axis,
// x and y summed first, then z added, compared with r².
bool passes(const SphereCentre& c, float r, const VoxelTriple& v) {
  const float dx = c.x - static_cast<float>(v.x);
  const float dy = c.y - static_cast<float>(v.y);
  const float dz = c.z - static_cast<float>(v.z);
  const float s = dx * dx + dy * dy;
  const float d2 = dz * dz + s;
  return r * r >= d2;
}

bool before(const VoxelTriple& a, const VoxelTriple& b) {
  if (a.x != b.x) return a.x < b.x;
  if (a.y != b.y) return a.y < b.y;
  return a.z < b.z;
}

// Candidate positions of the bounding box, or infinity when it is not representable.
double boxSize(const SphereCentre& c, float r) {
  double size = 1.0;
  for (const float centre : {c.x, c.y, c.z}) {
    const float low = centre - r;
    const float high = centre + r;
    if (!(std::fabs(low) < 2147483648.0f && std::fabs(high) < 2147483648.0f)) return INFINITY;
    size *= std::max(0.0, std::trunc(static_cast<double>(high)) - std::trunc(static_cast<double>(low)) + 1.0);
  }
  return size;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzInput input(data, size);
  const std::uint8_t mode = input.byte();
  SphereCentre centre{};
  float radius = 0.0f;
  if ((mode & 1) == 0) {
    centre = {input.floatBits(), input.floatBits(), input.floatBits()};
    radius = input.floatBits();
  } else {
    const float offset = (mode & 2) != 0 ? kCoarseOffsets[(mode >> 2) & 3] : 0.0f;
    const auto coordinate = [&] {
      return offset + static_cast<float>(static_cast<std::int16_t>(input.u16())) * kCoordinateStep;
    };
    centre = {coordinate(), coordinate(), coordinate()};
    radius = static_cast<float>(input.u16()) * kRadiusStep;
  }
  const std::string sphere = describe(centre, radius);

  const std::int64_t predicted = orbiculon::countSphereVoxels(centre, radius);
  FUZZ_CHECK(predicted >= -1 && predicted <= orbiculon::kMaxSphereVoxels + 1,
             "count out of range: " + sphere);
  const std::int32_t recorded = orbiculon::recordVoxelCount(centre, radius);
  const bool writable = predicted > 0 && predicted <= orbiculon::kMaxSphereVoxels;
  FUZZ_CHECK(writable ? recorded == predicted || recorded == orbiculon::kVoxelsCountedWhileWritten
                      : recorded == 0,
             "record count " + std::to_string(recorded) + ", predicted " + std::to_string(predicted) + ": " +
                 sphere);
  if (predicted > kEnumerationCap && predicted <= orbiculon::kMaxSphereVoxels) return 0;

  std::int32_t count = -1;
  const auto voxels = orbiculon::enumerateSphereVoxels(centre, radius, count);
  FUZZ_CHECK(voxels != nullptr, "null array: " + sphere);
  const std::int64_t expected = predicted < 0 || predicted > orbiculon::kMaxSphereVoxels ? 0 : predicted;
  FUZZ_CHECK(count == expected,
             "count " + std::to_string(count) + ", predicted " + std::to_string(predicted) + ": " + sphere);

  const auto voxelCount = static_cast<std::size_t>(count);
  for (std::size_t i = 0; i < voxelCount; ++i) {
    FUZZ_CHECK(passes(centre, radius, voxels[i]), "a voxel outside the sphere: " + sphere);
    if (i > 0) FUZZ_CHECK(before(voxels[i - 1], voxels[i]), "voxels out of order: " + sphere);
  }

  if (boxSize(centre, radius) <= kReferenceBoxLimit) {
    std::int32_t directCount = -1;
    const auto direct = orbiculon::enumerateSphereVoxelsDirect(centre, radius, directCount);
    FUZZ_CHECK(directCount == count, "count differs from the reference enumeration: " + sphere);
    FUZZ_CHECK(std::memcmp(direct.get(), voxels.get(), sizeof(VoxelTriple) * voxelCount) == 0,
               "voxels differ from the reference enumeration: " + sphere);

    orbiculon::SphereVoi voi;
    orbiculon::assignSphere(voi, centre, radius);
    orbiculon::VoiFileDescription file;
    file.NrOfvois = 1;
    file.VOIs = {&voi, 1};
    const std::size_t bufferSize = orbiculon::kVoiFormatBufferMinimum + input.u16() % 8192u;
    FUZZ_CHECK(orbiculon::testing::writerText(file, bufferSize) == orbiculon::testing::plainVoiText(file),
               "the writer's text differs from the plain formatter's: " + sphere);
  }
  return 0;
}
