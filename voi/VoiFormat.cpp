#include "voi/VoiFormat.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstring>
#include <string_view>

namespace orbiculon {

namespace {

// Longest decimal form of a 32-bit integer: "-2147483648".
constexpr std::size_t kMaxIntegerLength = 11;
// "x y " of a voxel line, which repeats along a column of the sphere.
constexpr std::size_t kVoxelPrefixCapacity = 2 * (kMaxIntegerLength + 1);

// "z" and CR LF of a voxel line, formatted once and copied whole.
struct LineEnd {
  std::array<char, 15> text;
  std::uint8_t length;
};
static_assert(sizeof(LineEnd) == 16 && kMaxIntegerLength + 2 <= std::tuple_size_v<decltype(LineEnd::text)>);

// Room one voxel line needs in the buffer: the whole prefix array and a whole LineEnd
// are copied at once.
constexpr std::size_t kVoxelLineRoom = kVoxelPrefixCapacity + sizeof(LineEnd);
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

  // Whole voxel lines that fit before the buffer must be handed on.
  std::size_t linesThatFit() const noexcept { return (buffer_.size() - used_) / kVoxelLineRoom; }

  // Stops formatting: the text can no longer be made right.
  void fail() noexcept { ok_ = false; }

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

// The "x y " part of the voxel lines of one column, formatted once and copied for
// each of its voxels.
struct ColumnPrefix {
  std::array<char, kVoxelPrefixCapacity> text{};
  std::size_t length = 0;

  void set(std::int32_t x, std::int32_t y) noexcept {
    char* end = std::to_chars(text.data(), text.data() + kMaxIntegerLength, x).ptr;
    *end++ = ' ';
    end = std::to_chars(end, end + kMaxIntegerLength, y).ptr;
    *end++ = ' ';
    length = static_cast<std::size_t>(end - text.data());
  }

  // Writes the prefix at `line` and returns where the z part begins. Copies the whole
  // array, which the room of a voxel line allows for.
  char* putAt(char* line) const noexcept {
    std::memcpy(line, text.data(), text.size());
    return line + length;
  }
};

LineEnd lineEndOf(std::int64_t z) noexcept {
  LineEnd end{};
  char* last = std::to_chars(end.text.data(), end.text.data() + kMaxIntegerLength, z).ptr;
  *last++ = '\r';
  *last++ = '\n';
  end.length = static_cast<std::uint8_t>(last - end.text.data());
  return end;
}

// The line ends of a window of consecutive z values, each formatted when first needed.
// The runs of one sphere all contain its z nearest the centre, so the formatted part of
// the window stays one unbroken range; a run outside the window moves the window.
class LineEndTable {
public:
  // The line ends of z = first .. last, or null when the run is longer than the window.
  const LineEnd* run(std::int64_t first, std::int64_t last) noexcept {
    const std::int64_t size = static_cast<std::int64_t>(kWindow);
    const std::int64_t length = last - first + 1;
    if (length > size) return nullptr;
    if (first < base_ || last >= base_ + size) {
      base_ = first - (size - length) / 2;
      formattedFirst_ = first;
      formattedLast_ = first - 1;
    }
    for (std::int64_t z = std::min(first, formattedFirst_); z < formattedFirst_; ++z)
      ends_[index(z)] = lineEndOf(z);
    for (std::int64_t z = formattedLast_ + 1; z <= last; ++z)
      ends_[index(z)] = lineEndOf(z);
    formattedFirst_ = std::min(first, formattedFirst_);
    formattedLast_ = std::max(last, formattedLast_);
    return &ends_[index(first)];
  }

private:
  // Covers the z extent of every sphere within kMaxSphereVoxels; 32 KB.
  static constexpr std::size_t kWindow = 2048;
  std::size_t index(std::int64_t z) const noexcept { return static_cast<std::size_t>(z - base_); }

  std::array<LineEnd, kWindow> ends_;
  std::int64_t base_ = 0;
  std::int64_t formattedFirst_ = 0;
  std::int64_t formattedLast_ = -1;
};

// The last z at or after `z` whose text is as long as z's: the lines of a run are cut
// where the number of digits changes, so that all lines of a part have one length.
std::int64_t lastOfSameLength(std::int64_t z) noexcept {
  std::int64_t power = 10;
  if (z >= 0) {
    while (power <= z)
      power *= 10;
    return power - 1;
  }
  while (power <= -z)
    power *= 10;
  return -(power / 10);
}

// The voxel lines (x, y, z) for z = first .. last, in as few buffer checks as the
// buffer's room allows. Within a part of equal line lengths every line's place is
// known beforehand, so the lines are written independently of each other.
void putColumn(ChunkWriter& out, LineEndTable& table, std::int32_t x, std::int32_t y, std::int32_t first,
               std::int32_t last) noexcept {
  ColumnPrefix prefix;
  prefix.set(x, y);
  const LineEnd* ends = table.run(first, last);
  for (std::int64_t z = first; z <= last;) {
    if (!out.reserve(kVoxelLineRoom)) return;
    const std::int64_t fit = static_cast<std::int64_t>(out.linesThatFit());
    char* line = out.cursor();
    if (ends != nullptr) {
      const std::int64_t end = std::min({std::int64_t{last}, z + fit - 1, lastOfSameLength(z)});
      const LineEnd* part = ends + (z - first);
      const std::size_t lineLength = prefix.length + part->length;
      const std::size_t count = static_cast<std::size_t>(end - z + 1);
      for (std::size_t i = 0; i < count; ++i) {
        char* const at = prefix.putAt(line + i * lineLength);
        std::memcpy(at, &part[i], sizeof(LineEnd));
      }
      line += count * lineLength;
      z = end + 1;
    } else {
      for (const std::int64_t end = std::min(std::int64_t{last}, z + fit - 1); z <= end; ++z) {
        const LineEnd lineEnd = lineEndOf(z);
        std::memcpy(prefix.putAt(line), &lineEnd, sizeof lineEnd);
        line += prefix.length + lineEnd.length;
      }
    }
    out.advanceTo(line);
  }
}

void putVoxelArray(ChunkWriter& out, const SphereVoi& voi) noexcept {
  ColumnPrefix prefix;
  bool havePrefix = false;
  std::int32_t prefixX = 0;
  std::int32_t prefixY = 0;
  const std::size_t count = static_cast<std::size_t>(voi.NrOfVoxels);
  for (std::size_t i = 0; i < count; ++i) {
    const VoxelTriple& voxel = voi.Voxels[i];
    if (!out.reserve(kVoxelLineRoom)) return;
    if (!havePrefix || voxel.x != prefixX || voxel.y != prefixY) {
      prefix.set(voxel.x, voxel.y);
      prefixX = voxel.x;
      prefixY = voxel.y;
      havePrefix = true;
    }
    const LineEnd lineEnd = lineEndOf(voxel.z);
    char* line = prefix.putAt(out.cursor());
    std::memcpy(line, &lineEnd, sizeof lineEnd);
    out.advanceTo(line + lineEnd.length);
  }
}

// The sphere's voxels, enumerated column by column straight into the buffer. A sphere
// whose voxels do not number exactly NrOfVoxels fails the file rather than leave a
// block whose count does not match its lines.
void putSphereVoxels(ChunkWriter& out, LineEndTable& table, const SphereVoi& voi) noexcept {
  if (voi.NrOfVoxels == 0) return; // also a refused sphere: never walked
  std::int64_t left = voi.NrOfVoxels;
  auto visit = [&](std::int32_t x, std::int32_t y, std::int32_t first, std::int32_t last) noexcept {
    const std::int64_t length = std::int64_t{last} - first + 1;
    if (length > left) return false;
    left -= length;
    putColumn(out, table, x, y, first, last);
    return out.ok();
  };
  const VoiSphere& sphere = *voi.Sphere;
  if (!forEachSphereColumn(sphere.Centre, sphere.Radius, visit) || left != 0) out.fail();
}

void putVoxels(ChunkWriter& out, LineEndTable& table, const SphereVoi& voi) noexcept {
  if (voi.Sphere.has_value()) {
    putSphereVoxels(out, table, voi);
  } else {
    putVoxelArray(out, voi);
  }
}

void putBlock(ChunkWriter& out, LineEndTable& table, const SphereVoi& voi) noexcept {
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
  putVoxels(out, table, voi);
  out.endLine();
}

} // namespace

bool isWritableDescription(const VoiFileDescription& description) noexcept {
  if (description.NrOfvois < 0 || static_cast<std::size_t>(description.NrOfvois) > description.VOIs.size()) {
    return false;
  }
  for (std::size_t i = 0; i < static_cast<std::size_t>(description.NrOfvois); ++i) {
    const SphereVoi& voi = description.VOIs[i];
    if (voi.NrOfVoxels < 0 || (voi.NrOfVoxels > 0 && !voi.Sphere.has_value() && voi.Voxels == nullptr)) {
      return false;
    }
  }
  return true;
}

bool formatVoiFile(const VoiFileDescription& description, std::span<char> buffer,
                   VoiTextSink& sink) noexcept {
  if (buffer.size() < kVoiFormatBufferMinimum || !isWritableDescription(description)) return false;
  ChunkWriter out(buffer, sink);
  LineEndTable table;
  putHeader(out, description);
  for (std::size_t i = 0; i < static_cast<std::size_t>(description.NrOfvois) && out.ok(); ++i) {
    putBlock(out, table, description.VOIs[i]);
  }
  out.endLine();
  putKey(out, "NrOfVOIVTCs:", kClosingKeyWidth);
  out.putInteger(description.NrOfVOIVTCs);
  out.endLine();
  return out.flush();
}

} // namespace orbiculon
