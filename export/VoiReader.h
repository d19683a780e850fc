#pragma once

// The host's own reader of VOI text files. It knows the format from the host's side
// and shares no code with the plug-in's writer, so a fault in the writer shows up
// here as a file that does not read back.

#include <array>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "export/VoiStream.h"

namespace orbiculon::exporting {

using VoxelPosition = Voxel;

struct VoiRecord {
  std::string name;
  std::array<std::int32_t, 3> colour{};
  std::vector<VoxelPosition> voxels;
};

// Everything a VOI file holds, key by key.
struct VoiFileContent {
  std::int32_t fileVersion = 0;
  std::string referenceSpace;
  std::array<std::int32_t, 3> resolution{};
  std::array<std::int32_t, 3> offset{};
  std::int32_t framingCubeDim = 0;
  std::int32_t leftRightConvention = 0;
  std::string namingConvention;
  std::vector<VoiRecord> vois;
  std::int32_t nrOfVoiVtcs = 0;
};

// What every reading function returns: the value when the file is valid, otherwise
// the reason ("line N: what is wrong", or why the file could not be read).
template <typename T> struct VoiRead {
  std::optional<T> content;
  std::string error;
};
using VoiReadResult = VoiRead<VoiFileContent>;

// Validates and reads the bytes of a VOI file. Every line, the last included, must
// end with CR LF; the keys must appear in their order with their exact padding; the
// counts must match the blocks and voxel lines that follow; numbers are plain
// decimal integers; no voxel may appear twice within one VOI; nothing may follow the
// closing "NrOfVOIVTCs:" line.
VoiReadResult parseVoiText(std::string_view bytes);
VoiReadResult readVoiFile(const std::filesystem::path& path);

struct VoiSummary {
  std::size_t vois = 0;
  std::size_t voxels = 0;       // voxel lines over all VOIs
  std::size_t sharedVoxels = 0; // distinct positions that lie in more than one VOI
  std::string referenceSpace;
};
VoiSummary summarise(const VoiFileContent& content);

// What the host logs when it loads a VOI file, read in one pass without keeping its
// voxels: the one-line summary as the content, or as the error the line naming what
// is wrong. A path that names no regular file (a FIFO, a device) is not read back,
// and the content line says so. Never throws.
VoiRead<std::string> loadVoiFileLogLine(const std::string& path) noexcept;

} // namespace orbiculon::exporting
