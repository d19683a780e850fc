#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
namespace orbiculon::exporting {
using Voxel = std::array<std::int32_t, 3>; // x, y, z in the file's space, millimetres
struct VoiStreamHeader {
  std::string referenceSpace; // the file's "ReferenceSpace:" value, e.g. "TAL" or "MNI"
  std::size_t voiCount = 0;   // "NrOfvois:"
};
class VoiSink {
public:
  virtual ~VoiSink() = default;
  virtual void header(const VoiStreamHeader&) {}
  // VOI `index` (0-based, in file order) begins.
  virtual void beginVoi(std::size_t /*index*/, std::string_view /*name*/,
                        std::array<std::int32_t, 3> /*colour*/) {}
  // Some of the current VOI's voxels, in file order; called any number of times per VOI.
  virtual void voxels(std::span<const Voxel> /*batch*/) {}
  virtual void endVoi() {}
};
// Reads and validates the VOI file at `path` in one pass, in memory that does not grow
// with the voxel count, calling `sink` as it goes. Returns "" when the whole file is
// valid, otherwise the reason as "line N: what is wrong" (the sink may then have seen
// part of the file and must discard it).
std::string streamVoiFile(const std::string& path, VoiSink& sink);
} // namespace orbiculon::exporting
