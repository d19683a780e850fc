#pragma once

// The text of a VOI file formatted the plain way: every line through snprintf, and a
// sphere's voxels from the plain enumeration. It shares no code with the product's
// writer, so the tests and the sphere fuzz target can hold that writer to it.

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>
#include <span>
#include <string>

#include "voi/VoiFormat.h"

namespace orbiculon::testing {

// The whole file of `d`, or nothing where the writer must refuse it (a description
// that is not writable, a sphere whose voxels differ from its record's count).
inline std::optional<std::string> plainVoiText(const VoiFileDescription& d) {
  if (!isWritableDescription(d)) return std::nullopt;
  std::string text;
  const auto add = [&text](const char* format, auto... values) {
    const auto length = static_cast<std::size_t>(std::snprintf(nullptr, 0, format, values...));
    const std::size_t at = text.size();
    text.resize(at + length + 1);
    std::snprintf(text.data() + at, length + 1, format, values...);
    text.pop_back();
  };
  const auto str = [](const char* value) { return value == nullptr ? "" : value; };
  add("\r\n%-28s%d\r\n\r\n%-28s%s\r\n\r\n", "FileVersion:", d.FileVersion,
      "ReferenceSpace:", str(d.ReferenceSpace));
  for (const auto& [key, value] : {std::pair{"OriginalVMRResolutionX:", d.OriginalVMRResolutionX},
                                   {"OriginalVMRResolutionY:", d.OriginalVMRResolutionY},
                                   {"OriginalVMRResolutionZ:", d.OriginalVMRResolutionZ},
                                   {"OriginalVMROffsetX:", d.OriginalVMROffsetX},
                                   {"OriginalVMROffsetY:", d.OriginalVMROffsetY},
                                   {"OriginalVMROffsetZ:", d.OriginalVMROffsetZ},
                                   {"OriginalVMRFramingCubeDim:", d.OriginalVMRFramingCubeDim}})
    add("%-28s%d\r\n", key, value);
  add("\r\n%-28s%d\r\n\r\n%-28s%s\r\n\r\n\r\n%-28s%d\r\n\r\n", "LeftRightConvention:", d.LeftRightConvention,
      "SubjectVOINamingConvention:", str(d.SubjectVOINamingConvention), "NrOfvois:", d.NrOfvois);
  for (std::size_t i = 0; i < static_cast<std::size_t>(d.NrOfvois); ++i) {
    const SphereVoi& voi = d.VOIs[i];
    std::string name(voi.NameOfVOI.data(), strnlen(voi.NameOfVOI.data(), voi.NameOfVOI.size()));
    std::replace_if(
        name.begin(), name.end(), [](char c) { return c == '\r' || c == '\n'; }, ' ');
    add("NameOfVOI:  %s\r\nColorOfVOI: %d %d %d\r\n\r\n", name.c_str(), voi.ColorOfVOI[0], voi.ColorOfVOI[1],
        voi.ColorOfVOI[2]);
    std::int32_t count = voi.NrOfVoxels;
    std::unique_ptr<VoxelTriple[]> sphereVoxels;
    if (voi.Sphere.has_value() && count != 0) {
      std::int32_t found = 0;
      sphereVoxels = enumerateSphereVoxelsDirect(voi.Sphere->Centre, voi.Sphere->Radius, found);
      if (count != kVoxelsCountedWhileWritten && count != found) return std::nullopt;
      count = found;
    }
    const VoxelTriple* voxels = sphereVoxels != nullptr ? sphereVoxels.get() : voi.Voxels.get();
    add("NrOfVoxels: %d\r\n", count);
    for (std::size_t v = 0; v < static_cast<std::size_t>(count); ++v)
      add("%d %d %d\r\n", voxels[v].x, voxels[v].y, voxels[v].z);
    add("\r\n");
  }
  add("\r\nNrOfVOIVTCs: %d\r\n", d.NrOfVOIVTCs);
  return text;
}

// Collects formatted chunks; refuses the chunk with the number failAtChunk, if any.
class StringSink final : public VoiTextSink {
public:
  bool write(const char* data, std::size_t size) noexcept override {
    if (++chunks == failAtChunk) return false;
    text.append(data, size);
    return true;
  }
  std::string text;
  int chunks = 0;
  int failAtChunk = -1;
};

// The product writer's text of `d` through a buffer of `bufferSize` bytes, or nothing
// when it refuses the description.
inline std::optional<std::string> writerText(const VoiFileDescription& d, std::size_t bufferSize) {
  std::string buffer(bufferSize, '\0');
  StringSink sink;
  if (!formatVoiFile(d, std::span<char>(buffer.data(), buffer.size()), sink)) return std::nullopt;
  return sink.text;
}

} // namespace orbiculon::testing
