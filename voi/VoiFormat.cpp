#include "voi/VoiFormat.h"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <string_view>

namespace orbiculon {

namespace {

// Longest decimal form of a 32-bit integer: "-2147483648".
constexpr std::size_t kMaxIntegerLength = 11;
// "x y " of a voxel line, which repeats along a column of the sphere.
constexpr std::size_t kVoxelPrefixCapacity = 2 * (kMaxIntegerLength + 1);
// Room one voxel line needs in the buffer: the whole prefix array is copied at once.
constexpr std::size_t kVoxelLineRoom = kVoxelPrefixCapacity + kMaxIntegerLength + 2;
static_assert(kVoxelLineRoom <= kVoiFormatBufferMinimum);

// Key widths: header values begin in column 29, block values in column 13.
constexpr std::size_t kHeaderKeyWidth = 28;
constexpr std::size_t kBlockKeyWidth = 12;
constexpr std::size_t kClosingKeyWidth = 13;

constexpr std::string_view kLineEnd = "\r\n";

// Fills a fixed buffer and hands it to the sink when it runs out of room.
class ChunkWriter {
public:
  ChunkWriter(std::span<char> buffer, VoiTextSink& sink) noexcept : buffer_(buffer), sink_(sink) {}

  bool ok() const noexcept { return ok_; }

  bool flush() noexcept {
    if (ok_ && used_ > 0) ok_ = sink_.write(buffer_.data(), used_);
    used_ = 0;
    return ok_;
  }

  // Makes room for `size` contiguous bytes (at most the buffer's capacity).
  bool reserve(std::size_t size) noexcept { return ok_ && (buffer_.size() - used_ >= size || flush()); }

  char* cursor() noexcept { return buffer_.data() + used_; }
  void advanceTo(const char* end) noexcept { used_ = static_cast<std::size_t>(end - buffer_.data()); }

  // Any length; long texts go out in several chunks.
  void put(std::string_view text) noexcept {
    while (ok_ && !text.empty()) {
      if (used_ == buffer_.size() && !flush()) return;
      const std::size_t part = std::min(text.size(), buffer_.size() - used_);
      std::memcpy(buffer_.data() + used_, text.data(), part);
      used_ += part;
      text.remove_prefix(part);
    }
  }

  void putBlanks(std::size_t count) noexcept {
    for (; count > 0 && reserve(1); --count)
      buffer_[used_++] = ' ';
  }

  void putInteger(std::int32_t value) noexcept {
    if (!reserve(kMaxIntegerLength)) return;
    advanceTo(std::to_chars(cursor(), cursor() + kMaxIntegerLength, value).ptr);
  }

  void endLine() noexcept { put(kLineEnd); }

private:
  std::span<char> buffer_;
  VoiTextSink& sink_;
  std::size_t used_ = 0;
  bool ok_ = true;
};

std::string_view textOf(const char* text) noexcept { return text == nullptr ? std::string_view() : text; }

void putKey(ChunkWriter& out, std::string_view key, std::size_t width) noexcept {
  out.put(key);
  out.putBlanks(width > key.size() ? width - key.size() : 0);
}

void putHeaderNumber(ChunkWriter& out, std::string_view key, std::int32_t value) noexcept {
  putKey(out, key, kHeaderKeyWidth);
  out.putInteger(value);
  out.endLine();
}

void putHeaderText(ChunkWriter& out, std::string_view key, const char* value) noexcept {
  putKey(out, key, kHeaderKeyWidth);
  out.put(textOf(value));
  out.endLine();
}

void putHeader(ChunkWriter& out, const VoiFileDescription& d) noexcept {
  out.endLine();
  putHeaderNumber(out, "FileVersion:", d.FileVersion);
  out.endLine();
  putHeaderText(out, "ReferenceSpace:", d.ReferenceSpace);
  out.endLine();
  putHeaderNumber(out, "OriginalVMRResolutionX:", d.OriginalVMRResolutionX);
  putHeaderNumber(out, "OriginalVMRResolutionY:", d.OriginalVMRResolutionY);
  putHeaderNumber(out, "OriginalVMRResolutionZ:", d.OriginalVMRResolutionZ);
  putHeaderNumber(out, "OriginalVMROffsetX:", d.OriginalVMROffsetX);
  putHeaderNumber(out, "OriginalVMROffsetY:", d.OriginalVMROffsetY);
  putHeaderNumber(out, "OriginalVMROffsetZ:", d.OriginalVMROffsetZ);
  putHeaderNumber(out, "OriginalVMRFramingCubeDim:", d.OriginalVMRFramingCubeDim);
  out.endLine();
  putHeaderNumber(out, "LeftRightConvention:", d.LeftRightConvention);
  out.endLine();
  putHeaderText(out, "SubjectVOINamingConvention:", d.SubjectVOINamingConvention);
  out.endLine();
  out.endLine();
  putHeaderNumber(out, "NrOfvois:", d.NrOfvois);
  out.endLine();
}

// The name up to its NUL within the array; a CR or LF would break the line structure
// the reader relies on, so each is written as a blank.
void putName(ChunkWriter& out, const std::array<char, kVoiNameCapacity>& name) noexcept {
  const void* nul = std::memchr(name.data(), '\0', name.size());
  const std::size_t length =
      nul == nullptr ? name.size() : static_cast<std::size_t>(static_cast<const char*>(nul) - name.data());
  for (std::size_t i = 0; i < length && out.reserve(1); ++i) {
    const char c = name[i];
    out.put(std::string_view(c == '\r' || c == '\n' ? " " : &name[i], 1));
  }
}

void putVoxels(ChunkWriter& out, const SphereVoi& voi) noexcept {
  // The "x y " part is formatted once per column and copied for each of its voxels.
  char prefix[kVoxelPrefixCapacity] = {};
  std::size_t prefixLength = 0;
  bool havePrefix = false;
  std::int32_t prefixX = 0;
  std::int32_t prefixY = 0;
  const std::size_t count = static_cast<std::size_t>(voi.NrOfVoxels);
  for (std::size_t i = 0; i < count; ++i) {
    const VoxelTriple& voxel = voi.Voxels[i];
    if (!out.reserve(kVoxelLineRoom)) return;
    if (!havePrefix || voxel.x != prefixX || voxel.y != prefixY) {
      char* end = std::to_chars(prefix, prefix + kMaxIntegerLength, voxel.x).ptr;
      *end++ = ' ';
      end = std::to_chars(end, end + kMaxIntegerLength, voxel.y).ptr;
      *end++ = ' ';
      prefixLength = static_cast<std::size_t>(end - prefix);
      prefixX = voxel.x;
      prefixY = voxel.y;
      havePrefix = true;
    }
    char* line = out.cursor();
    std::memcpy(line, prefix, kVoxelPrefixCapacity);
    line = std::to_chars(line + prefixLength, line + prefixLength + kMaxIntegerLength, voxel.z).ptr;
    line[0] = '\r';
    line[1] = '\n';
    out.advanceTo(line + 2);
  }
}

void putBlock(ChunkWriter& out, const SphereVoi& voi) noexcept {
  putKey(out, "NameOfVOI:", kBlockKeyWidth);
  putName(out, voi.NameOfVOI);
  out.endLine();
  putKey(out, "ColorOfVOI:", kBlockKeyWidth);
  for (std::size_t i = 0; i < voi.ColorOfVOI.size(); ++i) {
    if (i > 0) out.put(" ");
    out.putInteger(voi.ColorOfVOI[i]);
  }
  out.endLine();
  out.endLine();
  putKey(out, "NrOfVoxels:", kBlockKeyWidth);
  out.putInteger(voi.NrOfVoxels);
  out.endLine();
  putVoxels(out, voi);
  out.endLine();
}

} // namespace

bool isWritableDescription(const VoiFileDescription& description) noexcept {
  if (description.NrOfvois < 0 || static_cast<std::size_t>(description.NrOfvois) > description.VOIs.size()) {
    return false;
  }
  for (std::size_t i = 0; i < static_cast<std::size_t>(description.NrOfvois); ++i) {
    const SphereVoi& voi = description.VOIs[i];
    if (voi.NrOfVoxels < 0 || (voi.NrOfVoxels > 0 && voi.Voxels == nullptr)) return false;
  }
  return true;
}

bool formatVoiFile(const VoiFileDescription& description, std::span<char> buffer,
                   VoiTextSink& sink) noexcept {
  if (buffer.size() < kVoiFormatBufferMinimum || !isWritableDescription(description)) return false;
  ChunkWriter out(buffer, sink);
  putHeader(out, description);
  for (std::size_t i = 0; i < static_cast<std::size_t>(description.NrOfvois) && out.ok(); ++i) {
    putBlock(out, description.VOIs[i]);
  }
  out.endLine();
  putKey(out, "NrOfVOIVTCs:", kClosingKeyWidth);
  out.putInteger(description.NrOfVOIVTCs);
  out.endLine();
  return out.flush();
}

} // namespace orbiculon
