#include "coords/TableReader.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <system_error>

#include "coords/FieldReader.h"

namespace orbiculon {

namespace {

using Role = TableReader::Role;
using Cells = std::array<std::string_view, TableReader::kMaxCells>;

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
constexpr std::string_view kUnicodeMinus = "\xE2\x88\x92";
constexpr std::string_view kEnDash = "\xE2\x80\x93";
// Footnote marks papers set right after a number: dagger, double dagger, section sign.
constexpr std::array<std::string_view, 3> kFootnoteSymbols{"\xE2\x80\xA0", "\xE2\x80\xA1", "\xC2\xA7"};
constexpr std::size_t kMaxFootnoteMarks = 2;
// Longest number a cell may hold, in the ASCII form handed to std::from_chars.
constexpr std::size_t kNumberTextCapacity = 64;
constexpr std::size_t kExperimentNameMaxLength = 40;
constexpr std::size_t kNumberSuffixCapacity = 16;
constexpr std::size_t kCoordinateCount = 3;
// "L", "R", "Left", "Right", "B", "bilat": longer texts are no hemisphere.
constexpr std::size_t kMaxHemisphereLength = 5;

bool isDigit(char c) noexcept { return c >= '0' && c <= '9'; }
bool isAsciiLetter(char c) noexcept { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
char lower(char c) noexcept { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }
bool isBlank(char c) noexcept { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f'; }

std::string_view trim(std::string_view text, bool quotes = false) noexcept {
  const auto skipped = [quotes](char c) { return isBlank(c) || (quotes && (c == '"' || c == '\'')); };
  while (!text.empty() && skipped(text.front()))
    text.remove_prefix(1);
  while (!text.empty() && skipped(text.back()))
    text.remove_suffix(1);
  return text;
}

bool equalsIgnoringCase(std::string_view a, std::string_view b) noexcept {
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return lower(x) == lower(y); });
}

bool hasLetter(std::string_view text) noexcept {
  return std::any_of(text.begin(), text.end(),
                     [](char c) { return isAsciiLetter(c) || static_cast<unsigned char>(c) >= 0x80; });
}

// Reads a number as tables print it: the sign may be '-', '+', a Unicode minus or an
// en dash; with `groups`, commas may group thousands (1,234); with `decimalComma`, a
// comma is the decimal point; a footnote mark may follow (-20a, 26*, 26†). The whole
// cell must be the number.
FieldStatus readCellNumber(std::string_view cell, float& value, bool groups = false,
                           bool decimalComma = false) noexcept {
  std::array<char, kNumberTextCapacity> text{};
  std::size_t length = 0;
  std::size_t i = 0;
  if (cell.starts_with(kUnicodeMinus) || cell.starts_with(kEnDash)) {
    text[length++] = '-';
    i = kUnicodeMinus.size();
  } else if (!cell.empty() && (cell[0] == '-' || cell[0] == '+')) {
    if (cell[0] == '-') text[length++] = '-';
    i = 1;
  }
  bool digits = false;
  bool point = false;
  std::size_t groupDigits = 0; // digits since the last thousands comma
  bool grouped = false;
  for (; i < cell.size() && length + 1 < text.size(); ++i) {
    const char c = cell[i];
    if (isDigit(c)) {
      text[length++] = c;
      digits = true;
      ++groupDigits;
    } else if ((c == '.' || (decimalComma && c == ',')) && !point) {
      if (grouped && groupDigits != 3) return FieldStatus::NotANumber;
      text[length++] = '.';
      point = true;
    } else if (c == ',' && groups && !point && digits && i + 1 < cell.size() && isDigit(cell[i + 1])) {
      if (grouped ? groupDigits != 3 : groupDigits > 3) return FieldStatus::NotANumber;
      grouped = true;
      groupDigits = 0;
    } else {
      break;
    }
  }
  if (!digits || (grouped && !point && groupDigits != 3)) return FieldStatus::NotANumber;
  // What follows must be a footnote mark: a few letters or symbols.
  for (std::size_t marks = 0; i < cell.size(); ++marks) {
    if (marks == kMaxFootnoteMarks) return FieldStatus::NotANumber;
    const char c = cell[i];
    if ((c >= 'a' && c <= 'z') || c == '*' || c == '#' || c == '^') {
      ++i;
      continue;
    }
    const auto symbol = std::find_if(kFootnoteSymbols.begin(), kFootnoteSymbols.end(),
                                     [&](std::string_view s) { return cell.substr(i).starts_with(s); });
    if (symbol == kFootnoteSymbols.end()) return FieldStatus::NotANumber;
    i += symbol->size();
  }
  float converted = 0.0f;
  const auto [end, error] = std::from_chars(text.data(), text.data() + length, converted);
  if (error == std::errc::result_out_of_range) return FieldStatus::OutOfRange;
  if (error != std::errc{} || end != text.data() + length) return FieldStatus::NotANumber;
  value = converted;
  return FieldStatus::Read;
}

bool isNumberCell(std::string_view cell) noexcept {
  float ignored = 0.0f;
  return readCellNumber(cell, ignored, true) != FieldStatus::NotANumber;
}

// Splits `text` at every `separator`, or at runs of two or more blanks when the
// separator is ' '; appends the trimmed parts to `cells`.
void splitAt(std::string_view text, char separator, Cells& cells, std::size_t& count) noexcept {
  std::size_t start = 0;
  while (start <= text.size() && count < cells.size()) {
    std::size_t end = start;
    if (separator == ' ') {
      while (end < text.size() && !(text[end] == ' ' && end + 1 < text.size() && text[end + 1] == ' '))
        ++end;
    } else {
      end = std::min(text.find(separator, start), text.size());
    }
    cells[count++] = trim(text.substr(start, end - start), true);
    start = end + 1;
    while (separator == ' ' && start < text.size() && text[start] == ' ')
      ++start;
  }
}

// The parts of a line: split at tabs, else at runs of two or more blanks, else at
// semicolons, else (a line without blanks) at commas. A line set with single blanks
// only is one part, and `singleBlanks` says so.
std::size_t splitParts(std::string_view line, Cells& cells, bool& singleBlanks) noexcept {
  std::size_t count = 0;
  singleBlanks = false;
  if (line.find('\t') != std::string_view::npos) {
    // Tabs keep the empty cells at either end.
    while (!line.empty() && (line.back() == '\r' || line.back() == ' '))
      line.remove_suffix(1);
    splitAt(line, '\t', cells, count);
    return count;
  }
  line = trim(line);
  if (line.find("  ") != std::string_view::npos) {
    splitAt(line, ' ', cells, count);
  } else if (line.find(';') != std::string_view::npos) {
    splitAt(line, ';', cells, count);
  } else if (line.find(' ') == std::string_view::npos) {
    splitAt(line, ',', cells, count);
  } else {
    cells[count++] = line;
    singleBlanks = true;
  }
  return count;
}

// Calls `each(token)` for the blank-separated tokens of `text`.
template <typename Each> void forEachToken(std::string_view text, Each&& each) {
  for (std::size_t start = 0; start < text.size();) {
    const std::size_t end = std::min(text.find(' ', start), text.size());
    // Quotes around a token, and a comma or semicolon after it ("-24, -18"), are no part of it.
    std::string_view token = trim(text.substr(start, end - start), true);
    while (!token.empty() && (token.back() == ',' || token.back() == ';'))
      token.remove_suffix(1);
    if (!token.empty()) each(token);
    start = end + 1;
  }
}

// The cells of a row: its parts, where numbers apart from one another in one part
// are cells of their own. A line set with single blanks splits into numbers and runs
// of words.
std::size_t splitCells(std::string_view line, Cells& cells) noexcept {
  bool singleBlanks = false;
  const std::size_t count = splitParts(line, cells, singleBlanks);
  Cells split{};
  std::size_t splitCount = 0;
  const auto add = [&](std::string_view cell) {
    if (splitCount < split.size()) split[splitCount++] = cell;
  };
  for (std::size_t c = 0; c < count; ++c) {
    const std::string_view cell = cells[c];
    bool allNumbers = true;
    forEachToken(cell, [&](std::string_view token) { allNumbers = allNumbers && isNumberCell(token); });
    if (cell.empty() || (!allNumbers && !singleBlanks)) {
      add(cell);
      continue;
    }
    const char* wordsBegin = nullptr;
    const char* wordsEnd = nullptr;
    forEachToken(cell, [&](std::string_view token) {
      if (isNumberCell(token)) {
        if (wordsBegin != nullptr) add({wordsBegin, static_cast<std::size_t>(wordsEnd - wordsBegin)});
        wordsBegin = nullptr;
        add(token);
      } else {
        if (wordsBegin == nullptr) wordsBegin = token.data();
        wordsEnd = token.data() + token.size();
      }
    });
    if (wordsBegin != nullptr) add({wordsBegin, static_cast<std::size_t>(wordsEnd - wordsBegin)});
  }
  cells = split;
  return splitCount;
}

// The words of a heading cell, lower case, punctuation as blanks.
struct HeadingWords {
  std::array<std::array<char, 16>, 8> words{};
  std::array<std::size_t, 8> lengths{};
  std::size_t count = 0;

  explicit HeadingWords(std::string_view cell) noexcept {
    bool inWord = false;
    for (const char c : cell) {
      const bool wordChar = isAsciiLetter(c) || isDigit(c) || c == '/';
      if (!wordChar) {
        inWord = false;
        continue;
      }
      if (!inWord) {
        if (count == words.size()) return;
        ++count;
        inWord = true;
      }
      std::size_t& length = lengths[count - 1];
      if (length < words[0].size()) words[count - 1][length++] = lower(c);
    }
  }
  std::string_view word(std::size_t i) const noexcept { return {words[i].data(), lengths[i]}; }
  bool has(std::initializer_list<std::string_view> any) const noexcept {
    for (std::size_t i = 0; i < count; ++i) {
      if (std::find(any.begin(), any.end(), word(i)) != any.end()) return true;
    }
    return false;
  }
  bool is(std::initializer_list<std::string_view> any) const noexcept { return count == 1 && has(any); }
};

// A heading cell: its role, and whether it stands for the three columns x, y and z
// ("x, y, z", "MNI coordinates", "Talairach (x y z)").
struct HeadingCell {
  Role role = Role::Ignored;
  bool coordinates = false;
  bool upperZ = false; // "Z", which is the Z score when the heading has a "z" too
};

// Heading cells of one word that name a column.
constexpr std::array<std::pair<std::string_view, Role>, 6> kSingleWordRoles{{{"x", Role::X},
                                                                             {"y", Role::Y},
                                                                             {"z", Role::Z},
                                                                             {"red", Role::Red},
                                                                             {"green", Role::Green},
                                                                             {"blue", Role::Blue}}};

HeadingCell classify(std::string_view cell) noexcept {
  const HeadingWords words(cell);
  HeadingCell result;
  if ((words.has({"x"}) && words.has({"y"}) && words.has({"z"})) ||
      words.has({"coordinates", "coordinate", "coord", "coords"}) || words.is({"mni", "tal", "talairach"})) {
    result.coordinates = true;
  } else if (const auto single = std::find_if(kSingleWordRoles.begin(), kSingleWordRoles.end(),
                                              [&](const auto& entry) { return words.is({entry.first}); });
             single != kSingleWordRoles.end()) {
    result.role = single->second;
    result.upperZ = cell == "Z";
  } else if (words.has({"radius"}) || cell == "r" ||
             (words.count == 2 && words.word(0) == "r" && words.word(1) == "mm")) {
    result.role = Role::Radius;
  } else if (words.has({"region", "regions", "label", "structure", "structures", "anatomical", "location",
                        "area", "name", "gyrus", "description", "anatomy"})) {
    result.role = Role::Region;
  } else if (words.is({"hemisphere", "hem", "hemi", "side", "h", "l/r", "r/l", "lr", "left/right",
                       "laterality", "lat"})) {
    result.role = Role::Hemisphere;
  } else if (words.count > 0 &&
             HeadingWords(words.word(0)).is({"t",    "z",        "f",      "k",       "ke",     "p",
                                             "ba",   "voxels",   "voxel",  "cluster", "size",   "score",
                                             "peak", "brodmann", "volume", "mm3",     "extent", "value",
                                             "stat", "pfwe",     "fwe",    "fdr",     "q",      "df",
                                             "tfce", "ale",      "zmax",   "tmax",    "r",      "g",
                                             "b",    "n",        "sig"})) {
    result.role = Role::Known;
  }
  return result;
}

} // namespace

std::string_view numberedName(std::string_view base, std::int64_t number,
                              std::span<char, kVoiNameCapacity> storage) noexcept {
  std::array<char, kNumberSuffixCapacity> suffix{'_'};
  const auto [end, error] = std::to_chars(suffix.data() + 1, suffix.data() + suffix.size(), number);
  const std::size_t suffixLength = error == std::errc{} ? static_cast<std::size_t>(end - suffix.data()) : 1;
  const std::size_t baseLength = std::min(base.size(), kCoordinateNameMaxLength - suffixLength);
  for (std::size_t i = 0; i < baseLength; ++i) {
    const char c = base[i];
    storage[i] = isFieldWhitespace(c) || isFieldSeparator(c) ? '_' : c;
  }
  std::copy_n(suffix.data(), suffixLength, storage.data() + baseLength);
  storage[baseLength + suffixLength] = '\0';
  return {storage.data(), baseLength + suffixLength};
}

namespace {

// An experiment's name from its `//` line: characters other than letters (of any
// script), digits, '-' and '_' become '_', at most 40 bytes.
std::size_t experimentName(std::string_view text, std::span<char> out) noexcept {
  std::size_t length = std::min({text.size(), kExperimentNameMaxLength, out.size()});
  // Never cut a UTF-8 character in two.
  while (length > 0 && length < text.size() && (static_cast<unsigned char>(text[length]) & 0xC0) == 0x80)
    --length;
  for (std::size_t i = 0; i < length; ++i) {
    const char c = text[i];
    const bool kept =
        isAsciiLetter(c) || isDigit(c) || c == '-' || c == '_' || static_cast<unsigned char>(c) >= 0x80;
    out[i] = kept ? c : '_';
  }
  return length;
}

bool sameExperimentName(std::string_view a, std::string_view b) noexcept {
  std::array<char, kExperimentNameMaxLength> first{};
  std::array<char, kExperimentNameMaxLength> second{};
  const std::size_t length = experimentName(a, first);
  return length == experimentName(b, second) &&
         std::equal(first.begin(), first.begin() + length, second.begin());
}

// "Key=value" in a `//` line: the value when the key is `key` (letter case aside).
bool keyedValue(std::string_view text, std::string_view key, std::string_view& value) noexcept {
  const std::size_t equals = text.find('=');
  if (equals == std::string_view::npos || !equalsIgnoringCase(trim(text.substr(0, equals)), key))
    return false;
  value = trim(text.substr(equals + 1));
  return true;
}

// The text after "//" of a comment line, trimmed; false for other lines.
bool commentText(std::string_view line, std::string_view& text) noexcept {
  line = trim(line);
  if (!line.starts_with("//")) return false;
  text = trim(line.substr(2));
  return true;
}

// A line of all eight fields as cleaning reads them, with a name that is a word: a
// coordinate list line, read exactly as without the reader.
bool isFullListLine(std::string_view line) noexcept {
  FieldReader reader(line, true);
  float real = 0.0f;
  std::string_view name;
  std::int32_t colour = 0;
  for (int i = 0; i < 4; ++i) {
    if (reader.readReal(real) != FieldStatus::Read) return false;
  }
  return reader.readName(name) == FieldStatus::Read && hasLetter(name) &&
         reader.readInteger(colour) == FieldStatus::Read && reader.readInteger(colour) == FieldStatus::Read &&
         reader.readInteger(colour) == FieldStatus::Read;
}

// A token of exactly one comma between digits, such as "12,5".
bool isDecimalCommaToken(std::string_view token) noexcept {
  return std::count(token.begin(), token.end(), ',') == 1 && hasDecimalComma(token);
}

} // namespace

bool hasDecimalComma(std::string_view text) noexcept {
  for (std::size_t i = 1; i + 1 < text.size(); ++i) {
    if (text[i] == ',' && isDigit(text[i - 1]) && isDigit(text[i + 1])) return true;
  }
  return false;
}

ReferenceScan scanListReference(std::string_view list) noexcept {
  ReferenceScan scan;
  if (list.starts_with(kByteOrderMark)) list.remove_prefix(kByteOrderMark.size());
  std::int32_t number = 0;
  for (std::size_t start = 0; start < list.size();) {
    const std::size_t end = std::min(list.find('\n', start), list.size());
    const std::string_view line = list.substr(start, end - start);
    start = end + 1;
    ++number;
    std::string_view text;
    std::string_view value;
    if (!commentText(line, text) || !keyedValue(text, "Reference", value)) continue;
    ListReference named = ListReference::Unknown;
    if (equalsIgnoringCase(value, "MNI")) {
      named = ListReference::Mni;
    } else if (equalsIgnoringCase(value, "Talairach") || equalsIgnoringCase(value, "TAL")) {
      named = ListReference::Tal;
    }
    if (scan.reference == ListReference::None) {
      scan = {named, number, 0, value};
    } else if (named == ListReference::Unknown && scan.reference != ListReference::Unknown) {
      scan = {named, number, 0, value};
    } else if (named != scan.reference && scan.reference != ListReference::Unknown) {
      scan.reference = ListReference::Contradicting;
      scan.otherLine = number;
      return scan;
    }
  }
  return scan;
}

bool TableReader::readHeading(std::string_view line) noexcept {
  Cells cells{};
  bool singleBlanks = false;
  const std::size_t count = splitParts(line, cells, singleBlanks);
  Heading heading;
  Cells text{}; // each column's heading text
  std::array<bool, kMaxCells> upperZ{};
  bool known = false;
  const auto add = [&](std::string_view cell, const HeadingCell& kind) {
    if (heading.columns == kMaxCells) return;
    text[heading.columns] = cell;
    upperZ[heading.columns] = kind.upperZ;
    heading.roles[heading.columns++] = kind.role;
    known = known || kind.role != Role::Ignored;
  };
  if (singleBlanks) {
    // Word by word; words that name nothing, or only say more of the word before
    // ("Z score", "cluster size (mm3)", "anatomical location"), belong to the cell before.
    bool number = false;
    forEachToken(cells[0], [&](std::string_view word) {
      number = number || isNumberCell(word);
      HeadingCell kind = classify(word);
      if (kind.coordinates) kind.role = Role::Known;
      const HeadingWords words(word);
      const bool continues =
          kind.role == Role::Ignored ||
          words.is({"size", "score", "value", "values", "coordinates", "location", "region", "mm3", "mm",
                    "voxels", "fwe", "fdr", "corrected", "uncorrected"});
      if (continues && heading.columns > 0) {
        Role& previous = heading.roles[heading.columns - 1];
        if ((previous == Role::Ignored || previous == Role::Known) &&
            (kind.role == Role::Region || kind.role == Role::Radius || kind.role == Role::Hemisphere))
          previous = kind.role;
        known = known || kind.role != Role::Ignored;
        return;
      }
      add(word, kind);
    });
    if (number) return false;
  } else {
    for (std::size_t c = 0; c < count; ++c) {
      if (isNumberCell(cells[c])) return false;
      const HeadingCell kind = classify(cells[c]);
      if (!kind.coordinates) {
        add(cells[c], kind);
        continue;
      }
      for (const Role role : {Role::X, Role::Y, Role::Z})
        add(cells[c], {role, false, false});
    }
  }
  if (!known) return false;

  // x, then y after it, then z after y; "Z" is the z coordinate only when no "z" is.
  std::size_t x = kMaxCells;
  std::size_t y = kMaxCells;
  std::size_t z = kMaxCells;
  for (std::size_t c = 0; c < heading.columns; ++c) {
    const Role role = heading.roles[c];
    if (role == Role::X && x == kMaxCells) x = c;
    if (role == Role::Y && x < c && y == kMaxCells) y = c;
    if (role == Role::Z && y < c && y != kMaxCells && (z == kMaxCells || (upperZ[z] && !upperZ[c]))) z = c;
  }
  for (std::size_t c = 0; c < heading.columns; ++c) {
    Role& role = heading.roles[c];
    if ((role == Role::X && c != x) || (role == Role::Y && c != y) || (role == Role::Z && c != z))
      role = Role::Known;
    // "R G B" side by side are the colours, not a hemisphere.
    if (c + 2 < heading.columns && text[c] == "R" && text[c + 1] == "G" && text[c + 2] == "B") {
      heading.roles[c] = Role::Red;
      heading.roles[c + 1] = Role::Green;
      heading.roles[c + 2] = Role::Blue;
    }
  }
  if (!lastWasHeading_ || headingLineCount_ == kMaxHeadingLines) headingLineCount_ = 0;
  headingLines_[headingLineCount_++] = heading;
  return true;
}

void TableReader::chooseColumns() noexcept {
  // The heading line naming x, y and z with the most cells gives the columns; the
  // others may add the region, the hemisphere, the radius.
  const auto hasCoordinates = [](const Heading& h) {
    return std::count(h.roles.begin(), h.roles.begin() + static_cast<std::ptrdiff_t>(h.columns), Role::Z) ==
           1;
  };
  const Heading* base = nullptr;
  for (std::size_t i = 0; i < headingLineCount_; ++i) {
    const Heading& h = headingLines_[i];
    if (hasCoordinates(h) && (base == nullptr || h.columns > base->columns)) base = &h;
  }
  headed_ = base != nullptr;
  clusterLength_ = 0;
  if (!headed_) return;
  columns_ = *base;
  for (const Role role : {Role::Region, Role::Hemisphere, Role::Radius}) {
    const auto end = columns_.roles.begin() + static_cast<std::ptrdiff_t>(columns_.columns);
    if (std::find(columns_.roles.begin(), end, role) != end) continue;
    for (std::size_t i = 0; i < headingLineCount_; ++i) {
      const Heading& h = headingLines_[i];
      for (std::size_t c = 0; c < h.columns && c < columns_.columns; ++c) {
        if (h.roles[c] == role && (columns_.roles[c] == Role::Ignored || columns_.roles[c] == Role::Known))
          columns_.roles[c] = role;
      }
    }
  }
}

void TableReader::fillDefaults(CompletedLine& out) const noexcept {
  out.radius = defaults_.radius;
  out.red = defaults_.red;
  out.green = defaults_.green;
  out.blue = defaults_.blue;
  out.radiusFilled = out.nameFilled = out.redFilled = out.greenFilled = out.blueFilled = true;
}

std::string_view TableReader::defaultName(std::int32_t lineNumber) noexcept {
  return numberedName(defaults_.name, lineNumber, name_);
}

std::string_view TableReader::writeName(std::string_view first, std::string_view second) noexcept {
  // Blanks and separators become one '_'; letters outside ASCII stay as they are.
  std::size_t length = 0;
  bool gap = false;
  for (const std::string_view part : {first, second}) {
    if (part.empty()) continue;
    if (length > 0) gap = true;
    for (const char c : part) {
      if (isFieldWhitespace(c) || isFieldSeparator(c)) {
        gap = length > 0;
        continue;
      }
      if (gap && length < kCoordinateNameMaxLength) name_[length++] = '_';
      gap = false;
      if (length < kCoordinateNameMaxLength) name_[length++] = c;
    }
  }
  name_[length] = '\0';
  return {name_.data(), length};
}

std::string_view TableReader::experimentRowName() noexcept {
  std::array<char, kVoiNameCapacity> base{};
  std::size_t length = experimentName(experiment_, base);
  if (experimentIndex_ > 1) {
    const auto [end, error] =
        std::to_chars(base.data() + length + 1, base.data() + base.size(), experimentIndex_);
    if (error == std::errc{}) {
      base[length] = '_';
      length = static_cast<std::size_t>(end - base.data());
    }
  }
  return numberedName({base.data(), length}, ++experimentRows_, name_);
}

void TableReader::readComment(std::string_view text) noexcept {
  std::string_view value;
  if (text.empty() || keyedValue(text, "Reference", value) || keyedValue(text, "Subjects", value)) return;
  // The first `//` line of an experiment names it; one after its rows starts the next.
  if (!experiment_.empty() && experimentRows_ == 0) return;
  experiment_ = text;
  experimentRows_ = 0;
  experimentIndex_ = 1;
  for (std::size_t i = 0; i < experimentCount_; ++i) {
    if (sameExperimentName(experiments_[i], text)) ++experimentIndex_;
  }
  if (experimentCount_ < experiments_.size()) experiments_[experimentCount_++] = text;
}

std::size_t TableReader::columnOf(Role role) const noexcept {
  const auto end = columns_.roles.begin() + static_cast<std::ptrdiff_t>(columns_.columns);
  return static_cast<std::size_t>(std::find(columns_.roles.begin(), end, role) - columns_.roles.begin());
}

bool TableReader::hasHemisphere() const noexcept { return columnOf(Role::Hemisphere) < columns_.columns; }

bool TableReader::hemisphereBeforeRegion() const noexcept {
  return columnOf(Role::Hemisphere) < columnOf(Role::Region);
}

TableLine TableReader::readHeadedRow(std::string_view line, std::int32_t lineNumber,
                                     CompletedLine& out) noexcept {
  Cells cells{};
  const std::size_t count = splitCells(line, cells);
  const std::size_t columns = columns_.columns;
  // Rows that lack cells (local maxima, cells a PDF dropped) are aligned with the
  // heading from the right end, and left when x, y and z do not read so. A row with
  // more cells than a heading that starts with x is aligned from the left first: its
  // extra cells are text after the last column.
  const std::ptrdiff_t fromRight = static_cast<std::ptrdiff_t>(count) - static_cast<std::ptrdiff_t>(columns);
  const bool leftFirst = fromRight > 0 && columns_.roles[0] == Role::X;
  const std::array<std::ptrdiff_t, 2> offsets{leftFirst ? 0 : fromRight, leftFirst ? fromRight : 0};
  for (const std::ptrdiff_t offset : offsets) {
    const auto cellOf = [&](std::size_t column) -> std::string_view {
      const std::ptrdiff_t index = static_cast<std::ptrdiff_t>(column) + offset;
      return index >= 0 && index < static_cast<std::ptrdiff_t>(count) ? cells[static_cast<std::size_t>(index)]
                                                                      : std::string_view();
    };
    std::array<float, kCoordinateCount> centre{};
    std::size_t read = 0;
    std::string_view region;
    std::string_view hemisphere;
    std::size_t regionCell = count; // where the region stands in the row
    std::size_t xCell = count;
    fillDefaults(out);
    std::array<std::int32_t*, 3> colours{&out.red, &out.green, &out.blue};
    std::array<bool*, 3> coloursFilled{&out.redFilled, &out.greenFilled, &out.blueFilled};
    bool outOfRange = false;
    for (std::size_t c = 0; c < columns; ++c) {
      const std::string_view cell = cellOf(c);
      float value = 0.0f;
      const FieldStatus status = cell.empty() ? FieldStatus::Missing : readCellNumber(cell, value);
      outOfRange = outOfRange || status == FieldStatus::OutOfRange;
      const Role role = columns_.roles[c];
      if (role == Role::X)
        xCell =
            static_cast<std::size_t>(std::max<std::ptrdiff_t>(0, static_cast<std::ptrdiff_t>(c) + offset));
      if (role == Role::X || role == Role::Y || role == Role::Z) {
        if (status == FieldStatus::Read)
          centre[static_cast<std::size_t>(role) - static_cast<std::size_t>(Role::X)] = value;
        read += status == FieldStatus::Read ? 1 : 0;
      } else if (role == Role::Radius && status == FieldStatus::Read) {
        out.radius = value;
        out.radiusFilled = false;
      } else if ((role == Role::Red || role == Role::Green || role == Role::Blue) &&
                 status == FieldStatus::Read && std::trunc(value) == value && std::fabs(value) < 1e9f) {
        const std::size_t i = static_cast<std::size_t>(role) - static_cast<std::size_t>(Role::Red);
        *colours[i] = static_cast<std::int32_t>(value);
        *coloursFilled[i] = false;
      } else if (role == Role::Region && !cell.empty() && !isNumberCell(cell)) {
        region = cell;
        regionCell = static_cast<std::size_t>(static_cast<std::ptrdiff_t>(c) + offset);
      } else if (role == Role::Hemisphere && !cell.empty() && cell.size() <= kMaxHemisphereLength &&
                 !isNumberCell(cell)) {
        hemisphere = cell;
      }
    }
    if (read != kCoordinateCount) continue;
    // Without a region in its column, the row's own text is the region (a PDF shifted
    // it), with a short text beside it as the hemisphere, on the side the heading has it.
    if (region.empty()) {
      for (std::size_t c = 0; c < count && region.empty(); ++c) {
        const std::string_view cell = cells[c];
        if (cell.size() <= 1 || cell.data() == hemisphere.data() || isNumberCell(cell)) continue;
        region = cell;
        regionCell = c;
        const std::size_t side = hemisphereBeforeRegion() ? c - 1 : c + 1;
        if (hemisphere.empty() && hasHemisphere() && side < count &&
            cells[side].size() <= kMaxHemisphereLength && !isNumberCell(cells[side]))
          hemisphere = cells[side];
      }
    }
    if (outOfRange) return TableLine::Other;
    out.x = centre[0];
    out.y = centre[1];
    out.z = centre[2];
    out.nameFilled = false;
    if (!region.empty()) {
      out.name = writeName(hemisphere, region);
      clusterLength_ = out.name.size();
      std::copy_n(name_.data(), clusterLength_ + 1, cluster_.data());
      // Local maxima leave the region's cells empty only where they come before x.
      clusterFirst_ = regionCell < xCell;
    } else if (clusterLength_ > 0 && clusterFirst_) {
      // A local maximum: its region's cells are empty; its cluster's name, made unique
      // by cleaning.
      std::copy_n(cluster_.data(), clusterLength_ + 1, name_.data());
      out.name = {name_.data(), clusterLength_};
    } else {
      out.name = defaultName(lineNumber);
      out.nameFilled = true;
    }
    return TableLine::Row;
  }
  return TableLine::Other;
}

TableLine TableReader::readBareRow(std::string_view line, std::int32_t lineNumber, CompletedLine& out,
                                   TableRefusal& refusal) noexcept {
  line = trim(line);
  // Cells parted by ';' or tabs may use decimal commas; elsewhere a comma parts them,
  // and a decimal comma in x, y or z cannot be told from one.
  const bool cellSeparators =
      line.find(';') != std::string_view::npos || line.find('\t') != std::string_view::npos;
  const bool decimalComma = cellSeparators && hasDecimalComma(line);
  const auto isTokenEnd = [decimalComma](char c) {
    return decimalComma ? (c == ';' || isFieldWhitespace(c)) : (isFieldWhitespace(c) || isFieldSeparator(c));
  };
  Cells tokens{};
  std::size_t count = 0;
  for (std::size_t i = 0; i < line.size() && count < tokens.size();) {
    while (i < line.size() && isTokenEnd(line[i]))
      ++i;
    const std::size_t start = i;
    while (i < line.size() && !isTokenEnd(line[i]))
      ++i;
    if (i > start) tokens[count++] = line.substr(start, i - start);
  }

  std::array<float, kCoordinateCount> centre{};
  for (std::size_t i = 0; i < kCoordinateCount; ++i) {
    const FieldStatus status =
        i < count ? readCellNumber(tokens[i], centre[i], false, decimalComma) : FieldStatus::Missing;
    if (status == FieldStatus::OutOfRange) {
      refusal = TableRefusal::OutOfRange;
      return TableLine::Refused;
    }
    if (status != FieldStatus::Read) return TableLine::Other;
  }
  if (!decimalComma) {
    // "12,5 -40,5 10,5": blanks part the cells, so these commas are decimal commas.
    std::size_t words = 0;
    for (std::size_t i = 0; i < line.size() && words < kCoordinateCount;) {
      while (i < line.size() && isFieldWhitespace(line[i]))
        ++i;
      const std::size_t start = i;
      while (i < line.size() && !isFieldWhitespace(line[i]))
        ++i;
      if (i == start) break;
      ++words;
      if (isDecimalCommaToken(line.substr(start, i - start))) {
        refusal = TableRefusal::DecimalComma;
        return TableLine::Refused;
      }
    }
  }

  fillDefaults(out);
  out.x = centre[0];
  out.y = centre[1];
  out.z = centre[2];
  // After z: the first word with a letter, and the words right after it, make the
  // name; numbers are statistics and never a radius or a colour.
  std::size_t nameBegin = 0;
  std::size_t nameEnd = 0;
  for (std::size_t i = kCoordinateCount; i < count; ++i) {
    const std::string_view token = tokens[i];
    if (isNumberCell(token)) {
      out.numbersUnused = true;
      if (nameBegin > 0 && nameEnd == 0) nameEnd = i;
    } else if (nameBegin == 0 && hasLetter(token) && !isDigit(token[0]) && token[0] != '-' &&
               token[0] != '+' && token[0] != '.') {
      nameBegin = i;
    }
  }
  if (nameBegin > 0) {
    if (nameEnd == 0) nameEnd = count;
    const std::string_view first = tokens[nameBegin];
    const std::string_view last = tokens[nameEnd - 1];
    out.name = writeName(line.substr(static_cast<std::size_t>(first.data() - line.data()),
                                     static_cast<std::size_t>(last.data() + last.size() - first.data())),
                         {});
    out.nameFilled = false;
  } else if (!experiment_.empty()) {
    out.name = experimentRowName();
    out.nameFilled = false;
  } else {
    out.name = defaultName(lineNumber);
  }
  return TableLine::Row;
}

TableLine TableReader::read(std::string_view line, std::int32_t lineNumber, CompletedLine& out,
                            TableRefusal& refusal) noexcept {
  out = CompletedLine{};
  refusal = TableRefusal::None;
  if (lineNumber == 1 && line.starts_with(kByteOrderMark)) line.remove_prefix(kByteOrderMark.size());
  std::string_view comment;
  if (commentText(line, comment)) {
    readComment(comment);
    return TableLine::Other;
  }
  if (trim(line).empty()) {
    experiment_ = {};
    return TableLine::Other;
  }
  if (readHeading(line)) {
    lastWasHeading_ = true;
    chooseColumns();
    return TableLine::Other;
  }
  lastWasHeading_ = false;
  TableLine result = TableLine::Other;
  if (headed_) result = readHeadedRow(line, lineNumber, out);
  if (result == TableLine::Other && !isFullListLine(line))
    result = readBareRow(line, lineNumber, out, refusal);
  if (result == TableLine::Row && out.radiusFilled && std::isnan(out.radius)) {
    refusal = TableRefusal::NoRadius;
    return TableLine::Refused;
  }
  return result;
}

} // namespace orbiculon
