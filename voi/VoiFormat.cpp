#include "voi/VoiFormat.h"

#include "voi/SphereColumns.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cassert>
#include <charconv>
#include <cstring>
#include <string_view>

namespace orbiculon {

namespace {

// Longest decimal form of a 32-bit integer: "-2147483648".
constexpr std::size_t kMaxIntegerLength = 11;
// "x y " of a voxel line, which repeats along a column of the sphere.
constexpr std::size_t kVoxelPrefixCapacity = 2 * (kMaxIntegerLength + 1);

// A number's decimal text and its tail, formatted once and copied whole: "z" and CR LF
// ending a voxel line, or "y " in a column's prefix.
struct NumberText {
  std::array<char, 15> text;
  std::uint8_t length;
};
static_assert(sizeof(NumberText) == 16 &&
              kMaxIntegerLength + 2 <= std::tuple_size_v<decltype(NumberText::text)>);

// Room one voxel line needs in the buffer: the whole prefix array and a whole NumberText
// are copied at once.
constexpr std::size_t kVoxelLineRoom = kVoxelPrefixCapacity + sizeof(NumberText);
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

  // Room for `size` contiguous bytes at the cursor, handing the buffer on when it
  // lacks it; false when the buffer cannot hold that many at all, and after a failure.
  bool makeRoom(std::size_t size) noexcept {
    return ok_ && size <= buffer_.size() && (buffer_.size() - used_ >= size || flush());
  }

  // Whole voxel lines that fit before the buffer must be handed on.
  std::size_t linesThatFit() const noexcept { return (buffer_.size() - used_) / kVoxelLineRoom; }

  std::size_t capacity() const noexcept { return buffer_.size(); }
  std::size_t used() const noexcept { return used_; }
  std::size_t room() const noexcept { return buffer_.size() - used_; }
  char* at(std::size_t offset) noexcept { return buffer_.data() + offset; }
  // Moves the end of the text; `used` must lie within the buffer.
  void setUsed(std::size_t used) noexcept {
    assert(used <= buffer_.size());
    used_ = used;
  }

  // Stops formatting: the text can no longer be made right.
  void fail() noexcept { ok_ = false; }

  char* cursor() noexcept { return buffer_.data() + used_; }
  void advanceTo(const char* end) noexcept { setUsed(static_cast<std::size_t>(end - buffer_.data())); }

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
    for (; count > 0 && makeRoom(1); --count)
      buffer_[used_++] = ' ';
  }

  void putInteger(std::int32_t value) noexcept {
    if (!makeRoom(kMaxIntegerLength)) return;
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
  for (std::size_t i = 0; i < length && out.makeRoom(1); ++i) {
    const char c = name[i];
    out.put(std::string_view(c == '\r' || c == '\n' ? " " : &name[i], 1));
  }
}

// `value` in decimal followed by `tail` (at most two characters).
NumberText formatted(std::int64_t value, std::string_view tail) noexcept {
  NumberText end{};
  char* last = std::to_chars(end.text.data(), end.text.data() + kMaxIntegerLength, value).ptr;
  for (const char c : tail)
    *last++ = c;
  end.length = static_cast<std::uint8_t>(last - end.text.data());
  return end;
}

NumberText lineEndOf(std::int64_t z) noexcept { return formatted(z, kLineEnd); }

// Values a table of texts holds: the z extent of every sphere within kMaxSphereVoxels;
// 32 KB of line ends.
constexpr std::size_t kMaxTableRange = 2048;

// The NumberTexts of a window of consecutive values, each formatted when first needed:
// the line ends "z\r\n" of the z runs, or the "y " parts of the prefixes. The runs of one
// sphere all contain its z nearest the centre, and its columns' y values lie close
// together, so the formatted part of the window stays one unbroken range; a run outside
// the window moves the window.
class NumberTexts {
public:
  explicit NumberTexts(std::string_view tail = kLineEnd) noexcept : tail_(tail) {}

  // The texts of first .. last, or null when the run is longer than the window.
  const NumberText* run(std::int64_t first, std::int64_t last) noexcept {
    // Most runs of a sphere lie within the range its longer runs formatted.
    if (first >= formattedFirst_ && last <= formattedLast_) return &texts_[index(first)];
    const std::int64_t size = static_cast<std::int64_t>(kWindow);
    const std::int64_t length = last - first + 1;
    if (length > size) return nullptr;
    if (first < base_ || last >= base_ + size) {
      base_ = first - (size - length) / 2;
      formattedFirst_ = first;
      formattedLast_ = first - 1;
    }
    for (std::int64_t z = std::min(first, formattedFirst_); z < formattedFirst_; ++z)
      texts_[index(z)] = formatted(z, tail_);
    for (std::int64_t z = formattedLast_ + 1; z <= last; ++z)
      texts_[index(z)] = formatted(z, tail_);
    formattedFirst_ = std::min(first, formattedFirst_);
    formattedLast_ = std::max(last, formattedLast_);
    return &texts_[index(first)];
  }

private:
  static constexpr std::size_t kWindow = kMaxTableRange;
  std::size_t index(std::int64_t z) const noexcept { return static_cast<std::size_t>(z - base_); }

  std::array<NumberText, kWindow> texts_;
  std::string_view tail_;
  std::int64_t base_ = 0;
  std::int64_t formattedFirst_ = 0;
  std::int64_t formattedLast_ = -1;
};

// The "x y " part of the voxel lines of one column, formatted once and copied for
// each of its voxels.
struct ColumnPrefix {
  // Room for the longest "x " and a whole "y " entry, copied at once.
  std::array<char, kMaxIntegerLength + 1 + sizeof(NumberText)> text{};
  // The first 16 bytes of the text, composed in registers: the text itself is written
  // in pieces, and a load spanning pieces written just before waits until they reach
  // the cache, once per column. The head is stored whole, so its loads are served
  // from that one store.
  alignas(16) std::array<char, 16> head{};
  std::size_t length = 0;
  std::size_t xLength = 0; // 0 until an x is formatted
  std::int32_t xValue = 0;
  std::array<std::uint64_t, 2> xWords{}; // the "x " text as words, zero beyond it
  // The "y " texts, formatted once per value rather than once per column.
  NumberTexts yTexts{" "};

  // The "x " part stays formatted while x repeats, as it does along a slice.
  void set(std::int32_t x, std::int32_t y) noexcept { set(x, *yTexts.run(y, y)); }

  // The same with the "y " text given.
  void set(std::int32_t x, const NumberText& yText) noexcept {
    if (xLength == 0 || x != xValue) {
      std::array<char, 16> xText{};
      char* xEnd = std::to_chars(xText.data(), xText.data() + kMaxIntegerLength, x).ptr;
      *xEnd++ = ' ';
      xLength = static_cast<std::size_t>(xEnd - xText.data());
      xValue = x;
      std::memcpy(text.data(), xText.data(), xLength);
      std::memcpy(xWords.data(), xText.data(), sizeof xWords);
    }
    std::memcpy(text.data() + xLength, &yText, sizeof(NumberText));
    length = xLength + yText.length;
    composeHead(yText);
  }

  // Writes the prefix at `line` and returns where the z part begins. Copies
  // kVoxelPrefixCapacity bytes, which the room of a voxel line allows for.
  char* putAt(char* line) const noexcept {
    std::memcpy(line, text.data(), kVoxelPrefixCapacity);
    return line + length;
  }

private:
  // head = the x words followed by the y text, by shifts of little-endian words.
  void composeHead(const NumberText& yText) noexcept {
    if constexpr (std::endian::native == std::endian::little) {
      std::array<std::uint64_t, 2> y;
      std::memcpy(y.data(), yText.text.data(), sizeof y);
      std::array<std::uint64_t, 2> words = xWords;
      if (xLength < 8) { // "x " has at least two characters, so the shifts lie within 16..56
        const unsigned shift = static_cast<unsigned>(8 * xLength);
        words[0] |= y[0] << shift;
        words[1] = (y[0] >> (64 - shift)) | (y[1] << shift);
      } else {
        words[1] |= y[0] << (8 * (xLength - 8));
      }
      std::memcpy(head.data(), words.data(), sizeof head);
    } else {
      std::memcpy(head.data(), text.data(), sizeof head);
    }
  }
};

// The voxel-line writers below copy whole words rather than exact lengths, and rest on
// these rules (asserted where they are relied on):
// - Room: a line's copies reach up to kVoxelLineRoom bytes past its start, so the buffer
//   holds that much beyond the start of every line written, not only its length.
// - Overrun: putLinesInFours writes whole groups of four, up to kColumnOverrun lines past
//   a column's end, from the z texts that follow the column's in the table. The table
//   holds the z texts kColumnOverrun past the sphere's top, each column is given room
//   for its lines, the overrun lines and kVoxelLineRoom, and the next column (or the end
//   of the block) overwrites or drops the overrun.
// - Ends: a column ends where its prefixes and the lengths of its z texts say
//   (zTextsBefore), never where the copies stopped.
// - Bounds: every end the writers return lies within the buffer.

// Lines past the end of a column that putLinesInFours may write.
constexpr std::size_t kColumnOverrun = 3;

// Writes the lines of `count` voxels of one column at `line`: each the prefix, copied
// as `Width` bytes (at least its length), followed by its whole NumberText. A line's place
// follows from the lengths before it, which come straight from the table, so the only
// chain between lines is one addition; four lines per step cut the loop's own work.
// Returns the end of the last line.
template <std::size_t Width>
char* putLines(char* line, const ColumnPrefix& prefix, const NumberText* ends, std::size_t count) noexcept {
  static_assert(Width <= kVoxelPrefixCapacity && Width + sizeof(NumberText) <= kVoxelLineRoom);
  std::array<char, Width> head;
  if constexpr (Width <= sizeof prefix.head) {
    std::memcpy(head.data(), prefix.head.data(), Width);
  } else {
    std::memcpy(head.data(), prefix.text.data(), Width);
  }
  const std::size_t prefixLength = prefix.length;
  const auto putOne = [&](const NumberText& end) {
    std::memcpy(line, head.data(), Width);
    std::memcpy(line + prefixLength, &end, sizeof(NumberText));
    line += prefixLength + end.length;
  };
  const NumberText* const quadsEnd = ends + (count & ~std::size_t{3});
  for (; ends != quadsEnd; ends += 4) {
    putOne(ends[0]);
    putOne(ends[1]);
    putOne(ends[2]);
    putOne(ends[3]);
  }
  for (std::size_t i = 0; i < count % 4; ++i)
    putOne(ends[i]);
  return line;
}

// The voxel lines of a column from the table's line ends, at the cursor, through the
// writer for the prefix' length.
void putTableLines(ChunkWriter& out, const ColumnPrefix& prefix, const NumberText* ends,
                   std::size_t count) noexcept {
  assert(out.room() >= count * kVoxelLineRoom);
  char* const line = out.cursor();
  if (prefix.length <= 8) {
    out.advanceTo(putLines<8>(line, prefix, ends, count));
  } else if (prefix.length <= sizeof prefix.head) {
    out.advanceTo(putLines<sizeof prefix.head>(line, prefix, ends, count));
  } else {
    out.advanceTo(putLines<kVoxelPrefixCapacity>(line, prefix, ends, count));
  }
}

// The lines of a column, four at a time with no remainder: up to kColumnOverrun lines
// past its end are written from the line ends that follow in the table, to be
// overwritten by the next column, so the column's length decides no branch but the
// loop's own. The head is copied as `Width` bytes (at least the prefix' length) and
// each line end as `EndWidth` (at least its length): the narrower the copies, the
// fewer of them straddle two cache lines.
template <std::size_t Width, std::size_t EndWidth>
char* putLinesInFours(char* line, const ColumnPrefix& prefix, const NumberText* ends,
                      std::size_t count) noexcept {
  static_assert(Width <= sizeof prefix.head && EndWidth <= sizeof(NumberText) &&
                Width + sizeof(NumberText) <= kVoxelLineRoom);
  std::array<char, Width> head;
  std::memcpy(head.data(), prefix.head.data(), Width);
  const std::size_t prefixLength = prefix.length;
  const auto putOne = [&](const NumberText& end) {
    std::memcpy(line, head.data(), Width);
    std::memcpy(line + prefixLength, end.text.data(), EndWidth);
    line += prefixLength + end.length;
  };
  const NumberText* const stop = ends + count;
  do {
    putOne(ends[0]);
    putOne(ends[1]);
    putOne(ends[2]);
    putOne(ends[3]);
    ends += 4;
  } while (ends < stop);
  return line;
}

// The lines of a column whose line ends are at most `EndWidth` long, through the
// writer for its prefix' length; the end of the last line written, overrun included.
template <std::size_t EndWidth>
char* putColumnInFours(char* start, const ColumnPrefix& prefix, const NumberText* ends,
                       std::size_t count) noexcept {
  if (prefix.length <= 8) return putLinesInFours<8, EndWidth>(start, prefix, ends, count);
  if (prefix.length <= sizeof prefix.head) {
    return putLinesInFours<sizeof prefix.head, EndWidth>(start, prefix, ends, count);
  }
  return putLines<kVoxelPrefixCapacity>(start, prefix, ends, count);
}

// The voxel lines (x, y, z) for z = first .. last: the whole column at once when the
// buffer has room for it, as it normally has, otherwise as many lines at a time as fit.
void putColumn(ChunkWriter& out, NumberTexts& table, const ColumnPrefix& prefix, std::int32_t first,
               std::int32_t last) noexcept {
  const NumberText* ends = table.run(first, last);
  const std::size_t count = static_cast<std::size_t>(std::int64_t{last} - first + 1);
  if (ends != nullptr && out.makeRoom(count * kVoxelLineRoom)) {
    putTableLines(out, prefix, ends, count);
    return;
  }
  for (std::int64_t z = first; z <= last;) {
    if (!out.makeRoom(kVoxelLineRoom)) return;
    const std::int64_t end =
        std::min(std::int64_t{last}, z + static_cast<std::int64_t>(out.linesThatFit()) - 1);
    if (ends != nullptr) {
      putTableLines(out, prefix, ends + (z - first), static_cast<std::size_t>(end - z + 1));
    } else {
      char* line = out.cursor();
      for (std::int64_t at = z; at <= end; ++at) {
        const NumberText lineEnd = lineEndOf(at);
        std::memcpy(prefix.putAt(line), &lineEnd, sizeof lineEnd);
        line += prefix.length + lineEnd.length;
      }
      out.advanceTo(line);
    }
    z = end + 1;
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
    if (!out.makeRoom(kVoxelLineRoom)) return;
    if (!havePrefix || voxel.x != prefixX || voxel.y != prefixY) {
      prefix.set(voxel.x, voxel.y);
      prefixX = voxel.x;
      prefixY = voxel.y;
      havePrefix = true;
    }
    const NumberText lineEnd = lineEndOf(voxel.z);
    char* line = prefix.putAt(out.cursor());
    std::memcpy(line, &lineEnd, sizeof lineEnd);
    out.advanceTo(line + lineEnd.length);
  }
}

// The sphere's `count` voxels, enumerated column by column straight into the buffer. A
// sphere whose voxels do not number exactly `count` fails the file rather than leave a
// block whose count does not match its lines.
void putSphereVoxels(ChunkWriter& out, NumberTexts& table, const VoiSphere& sphere,
                     std::int64_t count) noexcept {
  if (count == 0) return; // also a refused sphere: never walked
  std::int64_t left = count;
  ColumnPrefix prefix;
  auto visit = [&](std::int32_t x, std::int32_t y, std::int32_t first, std::int32_t last) noexcept {
    const std::int64_t length = std::int64_t{last} - first + 1;
    if (length > left) return false;
    left -= length;
    prefix.set(x, y);
    putColumn(out, table, prefix, first, last);
    return out.ok();
  };
  if (!forEachSphereColumn(sphere.Centre, sphere.Radius, visit) || left != 0) out.fail();
}

std::size_t decimalLength(std::int64_t value) noexcept {
  std::array<char, 24> text;
  return static_cast<std::size_t>(std::to_chars(text.data(), text.data() + text.size(), value).ptr -
                                  text.data());
}

// The voxel count of a sphere whose record leaves it to the writer.
std::int64_t countedVoxels(const VoiSphere& sphere) noexcept {
  return std::max<std::int64_t>(0, countSphereVoxels(sphere.Centre, sphere.Radius));
}

// The count's line and then the voxel lines: the sphere is walked twice.
void putCountThenVoxels(ChunkWriter& out, NumberTexts& zTexts, const VoiSphere& sphere) noexcept {
  const std::int64_t count = countedVoxels(sphere);
  if (count > kMaxSphereVoxels) return out.fail();
  out.putInteger(static_cast<std::int32_t>(count));
  out.endLine();
  putSphereVoxels(out, zTexts, sphere, count);
}

// What writing a sphere's lines ahead of its count needs, worked out before the walk.
struct CountedColumns {
  sphere_columns::Sphere sphere{};
  // The z texts of sphere.z.low .. z.high + kColumnOverrun, and the "y " texts of
  // sphere.y.low .. y.high (both null for a sphere without voxels).
  const NumberText* zEnds = nullptr;
  const NumberText* yTexts = nullptr;
  // zTextsBefore[i]: the length of the z texts before entry i.
  std::array<std::uint32_t, kMaxTableRange + 1> zTextsBefore;
  std::size_t lineLength = 0;  // the longest line, overrun lines included
  std::size_t columnSlack = 0; // room a column needs beyond its own lines
  std::size_t countLength = 0; // room kept for the count and its line end
  bool shortEnds = false;      // every z text fits kShortLineEnd bytes
  double roomNeeded = 0;       // for as many lines as the sphere's volume allows for
};

// "z" and CR LF fit one 8-byte copy for every z up to five digits and a sign.
constexpr std::size_t kShortLineEnd = 8;

// Fills `plan` for a sphere written ahead of its count. False when the sphere cannot be
// represented, a range is longer than a table holds (a sphere far too large for the
// buffer), or by its volume its lines would not fit `capacity`: it is then counted first.
bool planCountedColumns(const VoiSphere& voi, NumberTexts& zTexts, ColumnPrefix& prefix, std::size_t capacity,
                        CountedColumns& plan) noexcept {
  sphere_columns::Sphere& sphere = plan.sphere;
  if (!sphere_columns::makeSphere(voi.Centre, voi.Radius, sphere)) return false;
  const std::int64_t zOverrunHigh = sphere.z.high + static_cast<std::int64_t>(kColumnOverrun);
  if (!sphere_columns::isEmpty(sphere)) {
    plan.zEnds = zTexts.run(sphere.z.low, zOverrunHigh);
    plan.yTexts = prefix.yTexts.run(sphere.y.low, sphere.y.high);
    if (plan.zEnds == nullptr || plan.yTexts == nullptr) return false;
    const std::size_t zCount = static_cast<std::size_t>(sphere.z.high - sphere.z.low + 1);
    plan.zTextsBefore[0] = 0;
    for (std::size_t i = 0; i < zCount; ++i)
      plan.zTextsBefore[i + 1] = plan.zTextsBefore[i] + plan.zEnds[i].length;
  }
  const auto axisLength = [](std::int64_t low, std::int64_t high) {
    return std::max(decimalLength(low), decimalLength(high));
  };
  const std::size_t zLength = axisLength(sphere.z.low, zOverrunHigh);
  plan.lineLength =
      axisLength(sphere.x.low, sphere.x.high) + axisLength(sphere.y.low, sphere.y.high) + zLength + 4;
  plan.columnSlack = kColumnOverrun * plan.lineLength + kVoxelLineRoom;
  plan.shortEnds = zLength + kLineEnd.size() <= kShortLineEnd;
  const double radius = std::max(0.0, static_cast<double>(voi.Radius));
  constexpr double kBallVolumeFactor = 4.18879; // 4/3 pi
  const double expectedLines = kBallVolumeFactor * radius * radius * radius;
  const double reach = radius + 1.0; // the unit cubes of the voxels lie within r + sqrt(3)/2
  const double mostLines = kBallVolumeFactor * reach * reach * reach;
  plan.countLength = decimalLength(static_cast<std::int64_t>(expectedLines)) + kLineEnd.size();
  plan.roomNeeded = static_cast<double>(plan.countLength) + mostLines * static_cast<double>(plan.lineLength) +
                    static_cast<double>(plan.columnSlack);
  return plan.roomNeeded <= static_cast<double>(capacity);
}

// The sphere's voxel lines at the cursor, column by column; their number, or -1 when a
// column finds less room than it needs (the sphere holds more lines than its volume
// suggests: positions beyond 2^24 round together).
std::int64_t putCountedColumns(ChunkWriter& out, ColumnPrefix& prefix, const CountedColumns& plan,
                               const VoiSphere& voi) noexcept {
  // Locals, not the plan's fields: the lines' stores may alias memory the compiler
  // cannot rule out, and would reload those fields for every column.
  const std::int64_t zLow = plan.sphere.z.low;
  const std::int64_t yLow = plan.sphere.y.low;
  const NumberText* const zEnds = plan.zEnds;
  const NumberText* const yTexts = plan.yTexts;
  const std::uint32_t* const zTextsBefore = plan.zTextsBefore.data();
  const std::size_t lineLength = plan.lineLength;
  const std::size_t columnSlack = plan.columnSlack;
  const bool shortEnds = plan.shortEnds;
  std::int64_t lines = 0;
  auto visit = [&](std::int32_t x, std::int32_t y, std::int32_t first, std::int32_t last) noexcept {
    const std::size_t count = static_cast<std::size_t>(std::int64_t{last} - first + 1);
    if (out.room() < count * lineLength + columnSlack) {
      lines = -1;
      return false;
    }
    lines += static_cast<std::int64_t>(count);
    prefix.set(x, yTexts[y - yLow]);
    assert(last <= plan.sphere.z.high); // the overrun stays within the table's z texts
    const std::size_t from = static_cast<std::size_t>(first - zLow);
    char* const start = out.cursor();
    char* const written = shortEnds
                              ? putColumnInFours<kShortLineEnd>(start, prefix, zEnds + from, count)
                              : putColumnInFours<sizeof(NumberText)>(start, prefix, zEnds + from, count);
    char* const end = start + count * prefix.length + (zTextsBefore[from + count] - zTextsBefore[from]);
    assert(end <= written && written + kVoxelLineRoom <= out.cursor() + out.room());
    assert(end[-2] == '\r' && end[-1] == '\n');
    (void)written;
    out.advanceTo(end);
    return true;
  };
  forEachSphereColumn(voi.Centre, voi.Radius, visit);
  return lines;
}

// Writes the count's line at `countAt`, in front of the `lines` lines that follow the
// `countLength` bytes kept for it, moving them when the line is of another length.
// False, with nothing moved, when they do not fit that way or are not a VOI's count.
bool putCountInFront(ChunkWriter& out, std::size_t countAt, std::size_t countLength,
                     std::int64_t lines) noexcept {
  if (lines < 0 || lines > kMaxSphereVoxels) return false;
  std::array<char, kMaxIntegerLength + kLineEnd.size()> text;
  char* end = std::to_chars(text.data(), text.data() + kMaxIntegerLength, lines).ptr;
  *end++ = '\r';
  *end++ = '\n';
  const std::size_t length = static_cast<std::size_t>(end - text.data());
  if (length > countLength && out.room() < length - countLength) return false;
  const std::size_t linesAt = countAt + countLength;
  const std::size_t linesSize = out.used() - linesAt;
  if (length != countLength) std::memmove(out.at(countAt + length), out.at(linesAt), linesSize);
  std::memcpy(out.at(countAt), text.data(), length);
  out.setUsed(countAt + length + linesSize);
  return true;
}

// The count of a sphere whose record leaves it to the writer, its line end and its
// voxel lines, in one walk where it can: the lines are written behind room for the count
// (as many digits as the sphere's volume suggests), the count put in front of them once
// they are counted. A sphere whose lines might not fit the buffer, or did not, is
// counted first and then written.
void putSphereCountingVoxels(ChunkWriter& out, NumberTexts& zTexts, const VoiSphere& voi) noexcept {
  ColumnPrefix prefix;
  CountedColumns plan;
  if (!planCountedColumns(voi, zTexts, prefix, out.capacity(), plan))
    return putCountThenVoxels(out, zTexts, voi);
  if (static_cast<double>(out.room()) < plan.roomNeeded && !out.flush()) return;
  const std::size_t countAt = out.used();
  out.setUsed(countAt + plan.countLength);
  const std::int64_t lines = putCountedColumns(out, prefix, plan, voi);
  if (putCountInFront(out, countAt, plan.countLength, lines)) return;
  out.setUsed(countAt);
  putCountThenVoxels(out, zTexts, voi);
}

#ifdef ORBICULON_PLAIN_VOI_WRITER
constexpr bool kPlainVoxelLines = true;
#else
constexpr bool kPlainVoxelLines = false;
#endif

void putVoxelLine(ChunkWriter& out, std::int32_t x, std::int32_t y, std::int32_t z) noexcept {
  out.putInteger(x);
  out.put(" ");
  out.putInteger(y);
  out.put(" ");
  out.putInteger(z);
  out.endLine();
}

// The count and the voxel lines, each line formatted on its own and a counted sphere
// walked twice: slow, but apart from every tuned path above, so that a build with
// ORBICULON_PLAIN_VOI_WRITER can rule them out.
void putVoxelsPlainly(ChunkWriter& out, const SphereVoi& voi) noexcept {
  std::int64_t count = voi.NrOfVoxels;
  if (count == kVoxelsCountedWhileWritten) count = countedVoxels(*voi.Sphere);
  if (count > kMaxSphereVoxels) return out.fail();
  out.putInteger(static_cast<std::int32_t>(count));
  out.endLine();
  if (!voi.Sphere.has_value()) {
    for (std::size_t i = 0; i < static_cast<std::size_t>(count); ++i)
      putVoxelLine(out, voi.Voxels[i].x, voi.Voxels[i].y, voi.Voxels[i].z);
    return;
  }
  if (count == 0) return;
  std::int64_t left = count;
  auto visit = [&](std::int32_t x, std::int32_t y, std::int32_t first, std::int32_t last) noexcept {
    if (std::int64_t{last} - first + 1 > left) return false;
    left -= std::int64_t{last} - first + 1;
    for (std::int64_t z = first; z <= last; ++z)
      putVoxelLine(out, x, y, static_cast<std::int32_t>(z));
    return out.ok();
  };
  if (!forEachSphereColumn(voi.Sphere->Centre, voi.Sphere->Radius, visit) || left != 0) out.fail();
}

void putVoxels(ChunkWriter& out, NumberTexts& table, const SphereVoi& voi) noexcept {
  if constexpr (kPlainVoxelLines) return putVoxelsPlainly(out, voi);
  if (voi.NrOfVoxels == kVoxelsCountedWhileWritten) {
    putSphereCountingVoxels(out, table, *voi.Sphere);
    return;
  }
  out.putInteger(voi.NrOfVoxels);
  out.endLine();
  if (voi.Sphere.has_value()) {
    putSphereVoxels(out, table, *voi.Sphere, voi.NrOfVoxels);
  } else {
    putVoxelArray(out, voi);
  }
}

void putBlock(ChunkWriter& out, NumberTexts& table, const SphereVoi& voi) noexcept {
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
    if (voi.NrOfVoxels == kVoxelsCountedWhileWritten && voi.Sphere.has_value()) continue;
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
  NumberTexts table;
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
