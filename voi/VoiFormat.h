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

// Formats the file of `description` through `buffer`, handing each full buffer and the
// rest to `sink`; a null text is written empty. False when the sink refuses, or (with
// nothing sent) when the buffer is below kVoiFormatBufferMinimum or the description is
// not writable.
bool formatVoiFile(const VoiFileDescription& description, std::span<char> buffer, VoiTextSink& sink) noexcept;

} // namespace orbiculon
