#pragma once

#include <cstddef>
#include <span>

#include "voi/VoiFile.h"

namespace orbiculon {

// Receives the formatted text of a VOI file in consecutive chunks.
class VoiTextSink {
public:
  // False when the bytes could not be taken; formatting then stops.
  virtual bool write(const char* data, std::size_t size) noexcept = 0;

protected:
  ~VoiTextSink() = default;
};

// Bytes the file writer formats into before it hands them on.
inline constexpr std::size_t kVoiWriteBufferCapacity = std::size_t{1} << 20;
// Smallest buffer the formatter works with (it must hold one whole voxel line).
inline constexpr std::size_t kVoiFormatBufferMinimum = 64;

// True when every block the description asks for can be read: NrOfvois within 0 and
// VOIs.size(), and every VOI's NrOfVoxels not negative, with an array when positive
// and no sphere, or kVoxelsCountedWhileWritten with a sphere.
bool isWritableDescription(const VoiFileDescription& description) noexcept;

// Formats the complete VOI file text of `description` through `buffer`, handing the
// buffered bytes to `sink` whenever the buffer fills and once at the end; a null text
// is written as an empty one. False, with formatting stopped, when the sink fails, the
// buffer is smaller than kVoiFormatBufferMinimum or the description is not writable
// (nothing reaches the sink then).
bool formatVoiFile(const VoiFileDescription& description, std::span<char> buffer, VoiTextSink& sink) noexcept;

} // namespace orbiculon
