#include "export/VoiReader.h"

#include <algorithm>
#include <bit>
#include <charconv>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <limits>
#include <memory>
#include <new>
#include <optional>
#include <unordered_map>

#include "files/FileResult.h"
#include "files/InputFile.h"
#include "standin/TextForMessages.h"

namespace orbiculon::exporting {

using standin::quotedForMessage;

namespace {

// Keys of the file header are padded to this width, so their values start in the
// next column; the keys of a VOI block to the second width; the closing key to the
// third.
constexpr std::size_t kHeaderKeyWidth = 28;
constexpr std::size_t kVoiKeyWidth = 12;
constexpr std::size_t kClosingKeyWidth = 13;
// How much of an offending line an error message shows.
constexpr std::size_t kShownLineLength = 60;

struct FormatError {
  std::string message;
};

[[noreturn]] void fail(int line, const std::string& what) {
  throw FormatError{"line " + std::to_string(line) + ": " + what};
}

// A line as an error message shows it: quoted, cut, control bytes escaped.
std::string shown(std::string_view line) { return quotedForMessage(line, kShownLineLength); }

std::string found(std::string_view line) { return line.empty() ? "an empty line" : shown(line); }

// Where the bytes of a file come from: fills `data` with up to `size` bytes and sets
// `count`, 0 at the end; returns why reading failed, or nothing.
using ByteSource = std::function<std::string(char* data, std::size_t size, std::size_t& count)>;

// Bytes held at a time. A line must fit in it; a VOI line is far shorter.
constexpr std::size_t kBufferSize = std::size_t{1} << 20;
// The longest voxel line: three 32-bit numbers with sign, two blanks, CR LF.
constexpr std::size_t kLongestVoxelLine = 3 * 11 + 2 + 2;

struct ReadError {
  std::string message;
};

// The few functions every voxel line passes through are inlined into the reading
// loop: that halves the time of reading a large file back.
#if defined(__GNUC__)
#define VOXEL_PATH [[gnu::always_inline]] inline
#else
#define VOXEL_PATH inline
#endif

// A plain decimal integer at `p` (an optional minus, no leading zeros, no "-0", fits
// 32 bits), for the voxel lines, which make up nearly all of a file. False when the
// text has any other form; the caller then reads it the slow way, which names the
// fault.
VOXEL_PATH bool plainInteger(const char*& p, const char* end, std::int32_t& value) {
  const char* q = p;
  const bool negative = q < end && *q == '-';
  if (negative) ++q;
  const auto isDigit = [](char c) { return c >= '0' && c <= '9'; };
  if (q == end || !isDigit(*q)) return false;
  if (*q == '0') {
    if (negative || (q + 1 < end && isDigit(q[1]))) return false;
    value = 0;
    p = q + 1;
    return true;
  }
  constexpr int kMaxDigits = 10;
  std::int64_t magnitude = 0;
  int digits = 0;
  for (; q < end && isDigit(*q); ++q) {
    if (++digits > kMaxDigits) return false;
    magnitude = magnitude * 10 + (*q - '0');
  }
  const std::int64_t signedValue = negative ? -magnitude : magnitude;
  if (signedValue < std::numeric_limits<std::int32_t>::min() ||
      signedValue > std::numeric_limits<std::int32_t>::max())
    return false;
  value = static_cast<std::int32_t>(signedValue);
  p = q;
  return true;
}

// The lines of the file, each checked for its CR LF end, read through a buffer of
// fixed size.
class Lines {
public:
  explicit Lines(ByteSource source) : source_(std::move(source)), buffer_(kBufferSize) {}

  // The next line without its CR LF, valid until the next call; `expected` says what
  // the reader looks for, for the message when the file has already ended.
  std::string_view next(const std::string& expected) {
    ++number_;
    const char* lineFeed = findLineFeed();
    if (begin_ == end_) fail(number_, "the file ends here, but " + expected + " was expected");
    if (lineFeed == nullptr) fail(number_, "the last line has no line end; every line must end with CR LF");
    const char* start = buffer_.data() + begin_;
    if (lineFeed == start || lineFeed[-1] != '\r')
      fail(number_, "the line ends with LF alone; every line must end with CR LF");
    const std::string_view line(start, static_cast<std::size_t>(lineFeed - 1 - start));
    if (line.find('\r') != std::string_view::npos) fail(number_, "a CR stands inside the line");
    begin_ = static_cast<std::size_t>(lineFeed + 1 - buffer_.data());
    return line;
  }

  // Reads the next line as a voxel when it is three plain integers, single blanks and
  // CR LF; otherwise takes nothing and returns false. Lines of one voxel column share
  // "x y ", so a line that begins with the bytes of the last one's x and y reads z only.
  VOXEL_PATH bool plainVoxel(VoxelPosition& voxel) {
    if (end_ - begin_ < kLongestVoxelLine && !atEndOfSource_) refill();
    const char* p = buffer_.data() + begin_;
    const char* end = buffer_.data() + end_;
    if (columnLength_ > 0 &&
        static_cast<std::size_t>(end - p) > std::max(columnLength_, sizeof(std::uint64_t)) && sameColumn(p)) {
      voxel[0] = columnVoxel_[0];
      voxel[1] = columnVoxel_[1];
      p += columnLength_;
    } else {
      const char* start = p;
      for (std::size_t i = 0; i < 2; ++i)
        if (!plainInteger(p, end, voxel[i]) || p == end || *p++ != ' ') return false;
      columnLength_ = static_cast<std::size_t>(p - start);
      std::memcpy(column_.data(), start, columnLength_);
      columnVoxel_ = voxel;
    }
    if (!plainInteger(p, end, voxel[2])) return false;
    if (end - p < 2 || p[0] != '\r' || p[1] != '\n') return false;
    begin_ = static_cast<std::size_t>(p + 2 - buffer_.data());
    ++number_;
    return true;
  }

  bool atEnd() {
    if (begin_ == end_ && !atEndOfSource_) refill();
    return begin_ == end_;
  }
  int number() const { return number_; }

private:
  // Whether the text at `p` (with at least kLongestVoxelLine bytes behind it, or the
  // column's length and more) begins with the column's "x y ". Most columns fit one
  // 8-byte word, compared at once.
  VOXEL_PATH bool sameColumn(const char* p) const {
    constexpr std::size_t kWord = sizeof(std::uint64_t);
    if (columnLength_ > kWord) return std::memcmp(p, column_.data(), columnLength_) == 0;
    std::uint64_t text = 0;
    std::uint64_t column = 0;
    std::memcpy(&text, p, kWord);
    std::memcpy(&column, column_.data(), kWord);
    const std::size_t unusedBits = (kWord - columnLength_) * 8;
    // The bytes of the column come first in memory: the low bytes on a little-endian
    // machine, the high ones on a big-endian one.
    const std::uint64_t mask = std::endian::native == std::endian::little ? ~std::uint64_t{0} >> unusedBits
                                                                          : ~std::uint64_t{0} << unusedBits;
    return ((text ^ column) & mask) == 0;
  }

  // The LF that ends the current line, reading more as needed; null when the file
  // ends without one.
  const char* findLineFeed() {
    std::size_t searched = begin_;
    for (;;) {
      const void* found = std::memchr(buffer_.data() + searched, '\n', end_ - searched);
      if (found != nullptr) return static_cast<const char*>(found);
      if (atEndOfSource_) return nullptr;
      searched = end_ - begin_;
      if (searched == buffer_.size())
        fail(number_, "the line is longer than " + std::to_string(buffer_.size()) + " bytes");
      refill();
    }
  }

  // Moves the unread bytes to the front and reads more behind them.
  void refill() {
    std::memmove(buffer_.data(), buffer_.data() + begin_, end_ - begin_);
    end_ -= begin_;
    begin_ = 0;
    while (end_ < buffer_.size() && !atEndOfSource_) {
      std::size_t count = 0;
      if (std::string error = source_(buffer_.data() + end_, buffer_.size() - end_, count); !error.empty())
        throw ReadError{std::move(error)};
      atEndOfSource_ = count == 0;
      end_ += count;
      if (end_ - begin_ >= kLongestVoxelLine) break;
    }
  }

  ByteSource source_;
  std::vector<char> buffer_;
  // "x y " of the last voxel line read the fast way, and its x and y.
  std::array<char, kLongestVoxelLine> column_{};
  std::size_t columnLength_ = 0;
  VoxelPosition columnVoxel_{};
  std::size_t begin_ = 0;
  std::size_t end_ = 0;
  bool atEndOfSource_ = false;
  int number_ = 0;
};

// Which VOIs hold each position, as much as the summary and the duplicate check
// need: three bits per position (in the current VOI, in an earlier VOI, counted as
// shared). Positions are kept in blocks of 16 x 16 x 64 millimetres, made when a
// VOI first reaches them, so memory grows with the space the VOIs cover, wherever
// it lies, and not with the number of voxel lines. A VOI's voxels come in columns
// of consecutive z; such a run is entered a word (64 z) at a time, and kept as one
// entry for the message about a repeat.
class Occupancy {
public:
  // What add() and endVoi() return when no voxel repeats. (A plain number, not an
  // optional: one returned per voxel through the stack stalled the loop.)
  static constexpr std::size_t kNoRepeat = std::numeric_limits<std::size_t>::max();

  // Adds the next voxel of the current VOI. Returns the index (within the VOI) of a
  // voxel found to repeat an earlier one of the same VOI, else kNoRepeat; that may be
  // a voxel added before this one, as runs are checked when they end.
  VOXEL_PATH std::size_t add(const VoxelPosition& voxel) {
    if (open_ && voxel[0] == run_.x && voxel[1] == run_.y &&
        std::int64_t{voxel[2]} == std::int64_t{run_.zLast} + 1) {
      ++run_.zLast;
      ++count_;
      return kNoRepeat;
    }
    if (const std::size_t repeat = closeRun(); repeat != kNoRepeat) return repeat;
    run_ = {voxel[0], voxel[1], voxel[2], voxel[2], count_++};
    open_ = true;
    return kNoRepeat;
  }

  // The current VOI is complete: its voxels count as those of an earlier VOI now.
  // Returns a repeat found in its last run, as add() does (and then leaves the VOI
  // as it is, for the message).
  std::size_t endVoi() {
    if (const std::size_t repeat = closeRun(); repeat != kNoRepeat)
      return repeat; // the runs stay for the message
    for (const std::size_t group : touchedGroups_) {
      std::uint64_t* words = words_.data() + group;
      words[kEarlier] |= words[kCurrent];
      words[kCurrent] = 0;
    }
    touchedGroups_.clear();
    runs_.clear();
    count_ = 0;
    return kNoRepeat;
  }

  // The index, within the current VOI, of its first voxel at `voxel`.
  std::size_t indexInCurrentVoi(const VoxelPosition& voxel) const {
    for (const Run& run : runs_) {
      if (run.x == voxel[0] && run.y == voxel[1] && run.zFirst <= voxel[2] && voxel[2] <= run.zLast)
        return run.firstIndex + static_cast<std::size_t>(std::int64_t{voxel[2]} - run.zFirst);
    }
    return 0;
  }
  // The voxel with that index.
  VoxelPosition voxelAt(std::size_t index) const {
    for (const Run& run : runs_) {
      const auto length = static_cast<std::size_t>(std::int64_t{run.zLast} - run.zFirst) + 1;
      if (index >= run.firstIndex && index < run.firstIndex + length)
        return {run.x, run.y,
                static_cast<std::int32_t>(run.zFirst + static_cast<std::int64_t>(index - run.firstIndex))};
    }
    return {};
  }

  std::size_t shared() const { return sharedCount_; }

private:
  static constexpr int kXyBits = 4; // 16 x and 16 y per block
  static constexpr int kZBits = 6;  // 64 z per block: one word
  static constexpr std::size_t kBitsPerWord = 64;
  // In the current VOI; in an earlier VOI; counted as shared.
  static constexpr std::size_t kCurrent = 0, kEarlier = 1, kShared = 2, kMaps = 3;
  static constexpr std::size_t kBlockWords = kMaps << (2 * kXyBits);

  // Voxels (x, y, zFirst) ... (x, y, zLast), the first of them the VOI's voxel
  // number `firstIndex`.
  struct Run {
    std::int32_t x, y, zFirst, zLast;
    std::size_t firstIndex;
  };

  using BlockKey = std::array<std::int32_t, 3>;
  struct BlockHash {
    std::size_t operator()(const BlockKey& key) const noexcept {
      std::uint64_t hash = 0;
      for (const std::int32_t part : key)
        hash = (hash ^ static_cast<std::uint32_t>(part)) * 0x9E3779B97F4A7C15ull;
      return static_cast<std::size_t>(hash ^ (hash >> 29));
    }
  };

  // The offset in words_ of the block that holds (x, y, z), made (zeroed) when new.
  std::size_t blockOf(std::int32_t x, std::int32_t y, std::int32_t z) {
    // Shifts of negative numbers round down, so every position has exactly one block.
    const BlockKey key{x >> kXyBits, y >> kXyBits, z >> kZBits};
    if (haveLastBlock_ && key == lastKey_) return lastBlock_;
    const auto [entry, made] = blocks_.try_emplace(key, words_.size());
    if (made) words_.resize(words_.size() + kBlockWords, 0);
    lastKey_ = key;
    lastBlock_ = entry->second;
    haveLastBlock_ = true;
    return lastBlock_;
  }

  // Enters the open run into the bitmaps, a word at a time.
  std::size_t closeRun() {
    if (!open_) return kNoRepeat;
    open_ = false;
    runs_.push_back(run_);
    constexpr std::int32_t kSide = 1 << kXyBits;
    const auto column =
        static_cast<std::size_t>(((run_.x & (kSide - 1)) << kXyBits) | (run_.y & (kSide - 1)));
    const std::int64_t first = run_.zFirst;
    const std::int64_t last = run_.zLast;
    for (std::int64_t wordStart = first & ~std::int64_t{63}; wordStart <= last; wordStart += 64) {
      const auto low = static_cast<std::size_t>(std::max(first, wordStart) - wordStart);
      const auto high = static_cast<std::size_t>(std::min(last, wordStart + 63) - wordStart);
      const std::uint64_t mask =
          (~std::uint64_t{0} >> (kBitsPerWord - 1 - high)) & (~std::uint64_t{0} << low);
      const std::size_t group =
          blockOf(run_.x, run_.y, static_cast<std::int32_t>(wordStart)) + kMaps * column;
      std::uint64_t* words = words_.data() + group;
      if (const std::uint64_t repeated = words[kCurrent] & mask; repeated != 0) {
        const std::int64_t z = wordStart + std::countr_zero(repeated);
        return run_.firstIndex + static_cast<std::size_t>(z - first);
      }
      if (words[kCurrent] == 0) touchedGroups_.push_back(group);
      words[kCurrent] |= mask;
      const std::uint64_t newlyShared = words[kEarlier] & mask & ~words[kShared];
      words[kShared] |= newlyShared;
      sharedCount_ += static_cast<std::size_t>(std::popcount(newlyShared));
    }
    return kNoRepeat;
  }

  std::vector<std::uint64_t> words_; // the blocks, kBlockWords each, groups of kMaps words
  std::unordered_map<BlockKey, std::size_t, BlockHash> blocks_; // block -> its offset in words_
  BlockKey lastKey_{};
  std::size_t lastBlock_ = 0;
  bool haveLastBlock_ = false;
  Run run_{};
  bool open_ = false;                      // run_ is not entered yet
  std::size_t count_ = 0;                  // voxels of the current VOI so far
  std::vector<Run> runs_;                  // the current VOI's voxels, run by run
  std::vector<std::size_t> touchedGroups_; // the groups that hold a bit of the current VOI
  std::size_t sharedCount_ = 0;
};

void expectEmpty(Lines& lines, const std::string& why) {
  const std::string_view line = lines.next("an empty line " + why);
  if (!line.empty()) fail(lines.number(), "expected an empty line " + why + ", found " + shown(line));
}

// The value behind `key`, which is padded with blanks to `width`. A number starts
// right there; a verbatim text (a name) may itself begin with blanks.
std::string_view keyValue(Lines& lines, const std::string& key, std::size_t width, bool verbatim = false) {
  const std::string quotedKey = "\"" + key + "\"";
  const std::string_view line = lines.next(quotedKey);
  const std::size_t blanks = width - key.size();
  if (line.substr(0, key.size()) != key)
    fail(lines.number(), "expected " + quotedKey + ", found " + found(line));
  const std::string_view rest = line.substr(key.size());
  const std::size_t padding = std::min(rest.find_first_not_of(' '), rest.size());
  if (verbatim ? padding < blanks : padding != blanks) {
    fail(lines.number(), quotedKey + " must be followed by " + std::to_string(blanks) +
                             (blanks == 1 ? " blank" : " blanks") + " (its value starts in column " +
                             std::to_string(width + 1) + "), found " + shown(line));
  }
  return rest.substr(blanks);
}

// A plain decimal integer: an optional minus, no leading zeros, no plus, no blanks.
std::int32_t integer(int lineNumber, std::string_view text, const std::string& what) {
  const std::string_view digits = text.starts_with('-') ? text.substr(1) : text;
  const bool plain = !digits.empty() &&
                     std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; }) &&
                     !(digits.size() > 1 && digits[0] == '0') && text != "-0";
  std::int32_t value = 0;
  if (plain) {
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error == std::errc() && end == text.data() + text.size()) return value;
    fail(lineNumber, what + " " + shown(text) + " does not fit a 32-bit integer");
  }
  fail(lineNumber, what + " must be a whole number, found " + (text.empty() ? "nothing" : shown(text)));
}

std::int32_t count(int lineNumber, std::string_view text, const std::string& what) {
  const std::int32_t value = integer(lineNumber, text, what);
  if (value < 0) fail(lineNumber, what + " must not be negative, found " + shown(text));
  return value;
}

std::int32_t headerInteger(Lines& lines, const std::string& key) {
  const std::string_view value = keyValue(lines, key, kHeaderKeyWidth);
  return integer(lines.number(), value, "the value of \"" + key + "\"");
}

// Three integers separated by single blanks.
std::array<std::int32_t, 3> triple(int lineNumber, std::string_view text, const std::string& what) {
  std::array<std::int32_t, 3> values{};
  std::size_t start = 0;
  for (std::size_t i = 0; i < values.size(); ++i) {
    const std::size_t blank = i + 1 < values.size() ? text.find(' ', start) : text.size();
    if (blank == std::string_view::npos)
      fail(lineNumber,
           what + " must be three whole numbers separated by single blanks, found " + found(text));
    values[i] = integer(lineNumber, text.substr(start, blank - start), what);
    start = blank + 1;
  }
  return values;
}

// Voxels handed to a sink at a time: few enough that the batch stays in the
// processor's first cache between the reader and the sink.
constexpr std::size_t kBatchSize = 1024;

// What one reading of a file collects: the header and the summary; every VOI with
// its voxels goes to the sink, if there is one, as it is read.
struct Reading {
  Lines lines;
  VoiSink* sink;
  VoiFileContent content;
  VoiSummary summary;
  Occupancy occupancy;
  std::array<Voxel, kBatchSize> batch{};
  std::size_t batched = 0;

  void flush() {
    if (batched > 0) sink->voxels(std::span<const Voxel>(batch.data(), batched));
    batched = 0;
  }
};

// Collects the VOIs of a file into its content.
class ContentSink final : public VoiSink {
public:
  explicit ContentSink(std::vector<VoiRecord>& vois) : vois_(vois) {}
  void beginVoi(std::size_t, std::string_view name, std::array<std::int32_t, 3> colour) override {
    vois_.push_back({std::string(name), colour, {}});
  }
  void voxels(std::span<const Voxel> batch) override {
    vois_.back().voxels.insert(vois_.back().voxels.end(), batch.begin(), batch.end());
  }

private:
  std::vector<VoiRecord>& vois_;
};

[[noreturn]] void failRepeat(const Reading& reading, std::size_t repeat, const std::string& name,
                             int firstVoxelLine) {
  const std::size_t earlier = reading.occupancy.indexInCurrentVoi(reading.occupancy.voxelAt(repeat));
  fail(firstVoxelLine + static_cast<int>(repeat),
       "voxel " + std::to_string(repeat + 1) + " of VOI \"" + name + "\" repeats voxel " +
           std::to_string(earlier + 1) + " (line " +
           std::to_string(firstVoxelLine + static_cast<int>(earlier)) + ")");
}

void readVoi(Reading& reading, std::size_t index, std::size_t total) {
  Lines& lines = reading.lines;
  const std::string which = "VOI " + std::to_string(index + 1) + " of " + std::to_string(total);
  const std::string name(keyValue(lines, "NameOfVOI:", kVoiKeyWidth, true));
  const std::array<std::int32_t, 3> colour =
      triple(lines.number(), keyValue(lines, "ColorOfVOI:", kVoiKeyWidth), "the colour of " + which);
  expectEmpty(lines, "after the colour of " + which);
  const std::string_view voxelCount = keyValue(lines, "NrOfVoxels:", kVoiKeyWidth);
  const std::int32_t voxels = count(lines.number(), voxelCount, "the voxel count of " + which);
  const int firstVoxelLine = lines.number() + 1;
  if (reading.sink != nullptr) reading.sink->beginVoi(index, name, colour);
  for (std::int32_t i = 0; i < voxels; ++i) {
    VoxelPosition voxel{};
    if (!lines.plainVoxel(voxel)) {
      const std::string what =
          "voxel " + std::to_string(i + 1) + " of " + std::to_string(voxels) + " of " + which;
      const std::string_view line = lines.next(what);
      voxel = triple(lines.number(), line, what);
    }
    if (const std::size_t repeat = reading.occupancy.add(voxel); repeat != Occupancy::kNoRepeat)
      failRepeat(reading, repeat, name, firstVoxelLine);
    if (reading.sink != nullptr) {
      reading.batch[reading.batched++] = voxel;
      if (reading.batched == kBatchSize) reading.flush();
    }
  }
  if (const std::size_t repeat = reading.occupancy.endVoi(); repeat != Occupancy::kNoRepeat)
    failRepeat(reading, repeat, name, firstVoxelLine);
  reading.summary.voxels += static_cast<std::size_t>(voxels);
  const std::string_view closing = lines.next("the empty line after the voxels of " + which);
  if (!closing.empty()) {
    fail(lines.number(), "expected the empty line after the " + std::to_string(voxels) + " voxels of " +
                             which + ", found " + shown(closing) +
                             " (does \"NrOfVoxels:\" match the voxel lines?)");
  }
  if (reading.sink != nullptr) {
    reading.flush();
    reading.sink->endVoi();
  }
}

void readContent(Reading& reading) {
  Lines& lines = reading.lines;
  VoiFileContent& content = reading.content;
  expectEmpty(lines, "at the start of the file");
  content.fileVersion = headerInteger(lines, "FileVersion:");
  expectEmpty(lines, "after \"FileVersion:\"");
  content.referenceSpace = std::string(keyValue(lines, "ReferenceSpace:", kHeaderKeyWidth));
  if (content.referenceSpace != "TAL" && content.referenceSpace != "MNI")
    fail(lines.number(), "the reference space must be TAL or MNI, found " + found(content.referenceSpace));
  expectEmpty(lines, "after \"ReferenceSpace:\"");
  content.resolution[0] = headerInteger(lines, "OriginalVMRResolutionX:");
  content.resolution[1] = headerInteger(lines, "OriginalVMRResolutionY:");
  content.resolution[2] = headerInteger(lines, "OriginalVMRResolutionZ:");
  content.offset[0] = headerInteger(lines, "OriginalVMROffsetX:");
  content.offset[1] = headerInteger(lines, "OriginalVMROffsetY:");
  content.offset[2] = headerInteger(lines, "OriginalVMROffsetZ:");
  content.framingCubeDim = headerInteger(lines, "OriginalVMRFramingCubeDim:");
  expectEmpty(lines, "after \"OriginalVMRFramingCubeDim:\"");
  content.leftRightConvention = headerInteger(lines, "LeftRightConvention:");
  expectEmpty(lines, "after \"LeftRightConvention:\"");
  content.namingConvention =
      std::string(keyValue(lines, "SubjectVOINamingConvention:", kHeaderKeyWidth, true));
  expectEmpty(lines, "after \"SubjectVOINamingConvention:\"");
  expectEmpty(lines, "before \"NrOfvois:\"");
  const std::string_view voisText = keyValue(lines, "NrOfvois:", kHeaderKeyWidth);
  const std::int32_t vois = count(lines.number(), voisText, "the VOI count");
  expectEmpty(lines, "after \"NrOfvois:\"");
  if (reading.sink != nullptr) reading.sink->header({content.referenceSpace, static_cast<std::size_t>(vois)});
  for (std::int32_t i = 0; i < vois; ++i)
    readVoi(reading, static_cast<std::size_t>(i), static_cast<std::size_t>(vois));
  reading.summary.vois = static_cast<std::size_t>(vois);
  const std::string_view beforeClosing = lines.next("the empty line before \"NrOfVOIVTCs:\"");
  if (!beforeClosing.empty()) {
    fail(lines.number(),
         "expected the empty line before \"NrOfVOIVTCs:\", found " + shown(beforeClosing) +
             (beforeClosing.starts_with("NameOfVOI:") ? " (more VOIs than \"NrOfvois:\" says?)" : ""));
  }
  const std::string_view vtcs = keyValue(lines, "NrOfVOIVTCs:", kClosingKeyWidth);
  content.nrOfVoiVtcs = count(lines.number(), vtcs, "the VTC count");
  if (!lines.atEnd()) fail(lines.number() + 1, "unexpected text after the \"NrOfVOIVTCs:\" line");
  reading.summary.sharedVoxels = reading.occupancy.shared();
  reading.summary.referenceSpace = content.referenceSpace;
}

std::string plural(std::size_t number, const char* singular, const char* pluralForm) {
  return std::to_string(number) + " " + (number == 1 ? singular : pluralForm);
}

// Reads from `source`; `error` is set when the file is not valid or cannot be read.
// The reading is large (its batch) and kept off the stack.
std::unique_ptr<Reading> readFrom(ByteSource source, VoiSink* sink, std::string& error) {
  auto reading = std::unique_ptr<Reading>(new Reading{Lines(std::move(source)), sink, {}, {}, {}});
  try {
    readContent(*reading);
  } catch (const FormatError& failure) {
    error = failure.message;
  } catch (const ReadError& failure) {
    error = failure.message;
  }
  return reading;
}

ByteSource bytesOf(std::string_view bytes) {
  return [bytes](char* data, std::size_t size, std::size_t& count) mutable {
    count = std::min(size, bytes.size());
    std::memcpy(data, bytes.data(), count);
    bytes.remove_prefix(count);
    return std::string();
  };
}

// The file at `path` as a byte source, or the reason it cannot be read (`regular`
// is false when the path names something other than a regular file).
std::optional<ByteSource> openFile(const std::string& path, std::string& error, bool& regular) {
  auto file = std::make_shared<orbiculon::InputFile>();
  const orbiculon::FileResult opened = file->open(path.c_str());
  regular = opened.error != orbiculon::kNotARegularFile;
  if (!opened.ok()) {
    error = std::string("cannot open the file: ") + orbiculon::describeFileError(opened.error);
    return std::nullopt;
  }
  return ByteSource([file](char* data, std::size_t size, std::size_t& count) {
    const orbiculon::FileResult read = file->read(data, size, count);
    return read.ok() ? std::string()
                     : std::string("reading the file failed: ") + orbiculon::describeFileError(read.error);
  });
}

// Reads the whole file into its content.
VoiReadResult readContentFrom(ByteSource source) {
  std::string error;
  std::vector<VoiRecord> vois;
  ContentSink sink(vois);
  const std::unique_ptr<Reading> reading = readFrom(std::move(source), &sink, error);
  if (!error.empty()) return {std::nullopt, error};
  reading->content.vois = std::move(vois);
  return {std::move(reading->content), {}};
}

} // namespace

VoiReadResult parseVoiText(std::string_view bytes) { return readContentFrom(bytesOf(bytes)); }

VoiReadResult readVoiFile(const std::filesystem::path& path) {
  std::string error;
  bool regular = true;
  std::optional<ByteSource> source = openFile(path.string(), error, regular);
  if (!source) return {std::nullopt, error};
  return readContentFrom(std::move(*source));
}

std::string streamVoiFile(const std::string& path, VoiSink& sink) {
  try {
    std::string error;
    bool regular = true;
    std::optional<ByteSource> source = openFile(path, error, regular);
    if (source) static_cast<void>(readFrom(std::move(*source), &sink, error));
    return error;
  } catch (const std::bad_alloc&) {
    return "not enough memory to read the file";
  }
}

VoiSummary summarise(const VoiFileContent& content) {
  VoiSummary summary;
  Occupancy occupancy;
  summary.vois = content.vois.size();
  summary.referenceSpace = content.referenceSpace;
  for (const VoiRecord& voi : content.vois) {
    summary.voxels += voi.voxels.size();
    for (const VoxelPosition& voxel : voi.voxels)
      static_cast<void>(occupancy.add(voxel));
    static_cast<void>(occupancy.endVoi());
  }
  summary.sharedVoxels = occupancy.shared();
  return summary;
}

VoiRead<std::string> loadVoiFileLogLine(const std::string& path) noexcept {
  try {
    std::string error;
    bool regular = true;
    std::optional<ByteSource> source = openFile(path, error, regular);
    if (!regular) return {"Host>  Loaded " + path + ": not read back, as it is not a regular file", {}};
    if (!source) return {std::nullopt, "Host>  Cannot load VOI file " + path + ": " + error};
    const VoiSummary summary = readFrom(std::move(*source), nullptr, error)->summary;
    if (!error.empty()) return {std::nullopt, "Host>  Cannot load VOI file " + path + ": " + error};
    return {"Host>  Loaded " + path + ": " + plural(summary.vois, "VOI", "VOIs") + " in " +
                summary.referenceSpace + " space, " + plural(summary.voxels, "voxel", "voxels") + ", " +
                plural(summary.sharedVoxels, "voxel", "voxels") + " shared by more than one VOI",
            {}};
  } catch (...) {
    return {std::nullopt, "Host>  Cannot load VOI file " + path + ": not enough memory"};
  }
}

} // namespace orbiculon::exporting
