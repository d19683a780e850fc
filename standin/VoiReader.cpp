#include "standin/VoiReader.h"

#include <algorithm>
#include <charconv>
#include <fstream>
#include <numeric>
#include <sstream>
#include <system_error>

namespace standin {

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
std::string shown(std::string_view line) {
  std::string text = "\"";
  for (std::size_t i = 0; i < line.size() && i < kShownLineLength; ++i) {
    const auto byte = static_cast<unsigned char>(line[i]);
    if (byte < 0x20 || byte == 0x7F) {
      constexpr char kHex[] = "0123456789ABCDEF";
      text += "\\x";
      text += kHex[byte >> 4];
      text += kHex[byte & 0x0F];
    } else {
      text += static_cast<char>(byte);
    }
  }
  if (line.size() > kShownLineLength) text += "...";
  return text + "\"";
}

std::string found(std::string_view line) { return line.empty() ? "an empty line" : shown(line); }

// The lines of the file, each checked for its CR LF end.
class Lines {
public:
  explicit Lines(std::string_view bytes) : bytes_(bytes) {}

  // The next line without its CR LF; `expected` says what the reader looks for, for
  // the message when the file has already ended.
  std::string_view next(const std::string& expected) {
    ++number_;
    if (position_ >= bytes_.size()) fail(number_, "the file ends here, but " + expected + " was expected");
    const std::size_t lineFeed = bytes_.find('\n', position_);
    if (lineFeed == std::string_view::npos)
      fail(number_, "the last line has no line end; every line must end with CR LF");
    if (lineFeed == position_ || bytes_[lineFeed - 1] != '\r')
      fail(number_, "the line ends with LF alone; every line must end with CR LF");
    const std::string_view line = bytes_.substr(position_, lineFeed - 1 - position_);
    if (line.find('\r') != std::string_view::npos) fail(number_, "a CR stands inside the line");
    position_ = lineFeed + 1;
    return line;
  }

  bool atEnd() const { return position_ >= bytes_.size(); }
  int number() const { return number_; }

private:
  std::string_view bytes_;
  std::size_t position_ = 0;
  int number_ = 0;
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

void checkNoDuplicateVoxel(const VoiRecord& voi, int firstVoxelLine) {
  std::vector<std::size_t> order(voi.voxels.size());
  std::iota(order.begin(), order.end(), std::size_t{0});
  std::stable_sort(order.begin(), order.end(),
                   [&](std::size_t a, std::size_t b) { return voi.voxels[a] < voi.voxels[b]; });
  for (std::size_t i = 1; i < order.size(); ++i) {
    if (voi.voxels[order[i]] != voi.voxels[order[i - 1]]) continue;
    const std::size_t later = std::max(order[i], order[i - 1]);
    const std::size_t earlier = std::min(order[i], order[i - 1]);
    fail(firstVoxelLine + static_cast<int>(later),
         "voxel " + std::to_string(later + 1) + " of VOI \"" + voi.name + "\" repeats voxel " +
             std::to_string(earlier + 1) + " (line " +
             std::to_string(firstVoxelLine + static_cast<int>(earlier)) + ")");
  }
}

VoiRecord readVoi(Lines& lines, std::size_t index, std::size_t total) {
  const std::string which = "VOI " + std::to_string(index + 1) + " of " + std::to_string(total);
  VoiRecord voi;
  voi.name = std::string(keyValue(lines, "NameOfVOI:", kVoiKeyWidth, true));
  const std::string_view colour = keyValue(lines, "ColorOfVOI:", kVoiKeyWidth);
  voi.colour = triple(lines.number(), colour, "the colour of " + which);
  expectEmpty(lines, "after the colour of " + which);
  const std::string_view voxelCount = keyValue(lines, "NrOfVoxels:", kVoiKeyWidth);
  const std::int32_t voxels = count(lines.number(), voxelCount, "the voxel count of " + which);
  const int firstVoxelLine = lines.number() + 1;
  for (std::int32_t i = 0; i < voxels; ++i) {
    const std::string what =
        "voxel " + std::to_string(i + 1) + " of " + std::to_string(voxels) + " of " + which;
    const std::string_view line = lines.next(what);
    voi.voxels.push_back(triple(lines.number(), line, what));
  }
  const std::string_view closing = lines.next("the empty line after the voxels of " + which);
  if (!closing.empty()) {
    fail(lines.number(), "expected the empty line after the " + std::to_string(voxels) + " voxels of " +
                             which + ", found " + shown(closing) +
                             " (does \"NrOfVoxels:\" match the voxel lines?)");
  }
  checkNoDuplicateVoxel(voi, firstVoxelLine);
  return voi;
}

VoiFileContent readContent(Lines& lines) {
  VoiFileContent content;
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
  for (std::int32_t i = 0; i < vois; ++i)
    content.vois.push_back(readVoi(lines, static_cast<std::size_t>(i), static_cast<std::size_t>(vois)));
  const std::string_view beforeClosing = lines.next("the empty line before \"NrOfVOIVTCs:\"");
  if (!beforeClosing.empty()) {
    fail(lines.number(),
         "expected the empty line before \"NrOfVOIVTCs:\", found " + shown(beforeClosing) +
             (beforeClosing.starts_with("NameOfVOI:") ? " (more VOIs than \"NrOfvois:\" says?)" : ""));
  }
  const std::string_view vtcs = keyValue(lines, "NrOfVOIVTCs:", kClosingKeyWidth);
  content.nrOfVoiVtcs = count(lines.number(), vtcs, "the VTC count");
  if (!lines.atEnd()) fail(lines.number() + 1, "unexpected text after the \"NrOfVOIVTCs:\" line");
  return content;
}

std::string plural(std::size_t number, const char* singular, const char* pluralForm) {
  return std::to_string(number) + " " + (number == 1 ? singular : pluralForm);
}

} // namespace

VoiReadResult parseVoiText(std::string_view bytes) {
  Lines lines(bytes);
  try {
    return {readContent(lines), {}};
  } catch (const FormatError& error) {
    return {std::nullopt, error.message};
  }
}

VoiReadResult readVoiFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return {std::nullopt, "cannot open the file"};
  std::ostringstream bytes;
  bytes << in.rdbuf();
  if (in.bad()) return {std::nullopt, "reading the file failed"};
  return parseVoiText(bytes.str());
}

VoiSummary summarise(const VoiFileContent& content) {
  VoiSummary summary;
  summary.vois = content.vois.size();
  struct Placed {
    VoxelPosition position;
    std::size_t voi;
  };
  std::vector<Placed> all;
  for (std::size_t i = 0; i < content.vois.size(); ++i) {
    summary.voxels += content.vois[i].voxels.size();
    for (const auto& voxel : content.vois[i].voxels)
      all.push_back({voxel, i});
  }
  std::sort(all.begin(), all.end(), [](const Placed& a, const Placed& b) { return a.position < b.position; });
  // Within one VOI no position repeats, so a run of equal positions spans that many
  // different VOIs.
  for (std::size_t start = 0; start < all.size();) {
    std::size_t end = start + 1;
    while (end < all.size() && all[end].position == all[start].position)
      ++end;
    if (end - start > 1) ++summary.sharedVoxels;
    start = end;
  }
  return summary;
}

std::string loadVoiFileLogLine(const std::string& path, bool& ok) noexcept {
  ok = false;
  try {
    const VoiReadResult result = readVoiFile(path);
    if (!result.content) return "Host>  Cannot load VOI file " + path + ": " + result.error;
    const VoiSummary summary = summarise(*result.content);
    ok = true;
    return "Host>  Loaded " + path + ": " + plural(summary.vois, "VOI", "VOIs") + " in " +
           result.content->referenceSpace + " space, " + plural(summary.voxels, "voxel", "voxels") + ", " +
           plural(summary.sharedVoxels, "voxel", "voxels") + " shared by more than one VOI";
  } catch (...) {
    return "Host>  Cannot load VOI file " + path + ": not enough memory";
  }
}

} // namespace standin
