#include "coords/CoordinateList.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstring>
#include <limits>
#include <memory>
#include <new>
#include <optional>
#include <system_error>

namespace orbiculon {

namespace {

// Every field starts at 1000 before a line is read. No bound of either space and no
// blue limit admits 1000, so a line with a field left unread is dropped.
constexpr float kRealStartValue = 1000.0f;
constexpr std::int32_t kIntegerStartValue = 1000;

constexpr float kMinRadius = 0.5f;
constexpr float kMaxRadius = 20.0f;
constexpr std::int32_t kMinColour = 0;
constexpr std::int32_t kMaxColour = 255;
constexpr std::int32_t kMaxBlueAccepted = 500;

// Column widths of a cleaned line: x, y, z and radius 7 wide with one decimal, the
// name 25 wide, red 7 wide, green and blue 4 wide.
constexpr std::size_t kCoordinateWidth = 7;
constexpr std::size_t kRadiusWidth = 7;
constexpr std::size_t kNameWidth = 25;
constexpr std::size_t kRedWidth = 7;
constexpr std::size_t kGreenWidth = 4;
constexpr std::size_t kBlueWidth = 4;
// Shortest cleaned line: the widths above and their seven blanks.
constexpr std::size_t kMinCleanedLine =
    3 * kCoordinateWidth + kRadiusWidth + kNameWidth + kRedWidth + kGreenWidth + kBlueWidth + 7;

// Room for any float printed with one decimal (39 integer digits at most) and any
// 32-bit integer.
constexpr std::size_t kNumberTextCapacity = 64;

constexpr std::array<CoordinateField, 3> kCoordinateFields{CoordinateField::X, CoordinateField::Y,
                                                           CoordinateField::Z};
constexpr std::array<CoordinateField, 3> kColourFields{CoordinateField::Red, CoordinateField::Green,
                                                       CoordinateField::Blue};

// Appends fields right-aligned into a fixed span; remembers when it ran out of room.
class LineWriter {
public:
  explicit LineWriter(std::span<char> out) noexcept : out_(out) {}

  void put(std::string_view text, std::size_t width) noexcept {
    const std::size_t fill = text.size() < width ? width - text.size() : 0;
    if (!fits(fill + text.size())) return;
    std::fill_n(out_.data() + length_, fill, ' ');
    if (!text.empty()) std::memcpy(out_.data() + length_ + fill, text.data(), text.size());
    length_ += fill + text.size();
  }
  void blank() noexcept { put({}, 1); }

  // printf "%W.1f", with a blank in place of a sign for non-negative values when
  // `blankSign` (the ' ' flag). std::to_chars prints exactly what printf prints in
  // the "C" locale, whatever locale the process has set.
  void real(float value, std::size_t width, bool blankSign) noexcept {
    std::array<char, kNumberTextCapacity> text{};
    std::size_t start = 1; // text[0] is kept for the blank sign
    const auto [end, error] = std::to_chars(text.data() + start, text.data() + text.size(),
                                            static_cast<double>(value), std::chars_format::fixed, 1);
    if (error != std::errc{}) {
      ok_ = false;
      return;
    }
    if (blankSign && text[start] != '-') {
      text[0] = ' ';
      start = 0;
    }
    put(std::string_view(text.data() + start, static_cast<std::size_t>(end - (text.data() + start))), width);
  }

  // printf "%Wi".
  void integer(std::int32_t value, std::size_t width) noexcept {
    std::array<char, kNumberTextCapacity> text{};
    const auto [end, error] = std::to_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc{}) {
      ok_ = false;
      return;
    }
    put(std::string_view(text.data(), static_cast<std::size_t>(end - text.data())), width);
  }

  // Length written, or 0 when something did not fit.
  std::size_t length() const noexcept { return ok_ ? length_ : 0; }

private:
  bool fits(std::size_t count) noexcept {
    if (ok_ && count <= out_.size() - length_) return true;
    ok_ = false;
    return false;
  }

  std::span<char> out_;
  std::size_t length_ = 0;
  bool ok_ = true;
};

struct LineValues {
  std::array<float, 3> coordinates;
  float radius;
  std::string_view name;
  std::array<std::int32_t, 3> colours;
};

std::size_t formatLine(const LineValues& values, std::span<char> out) noexcept {
  LineWriter writer(out);
  for (const float coordinate : values.coordinates) {
    writer.real(coordinate, kCoordinateWidth, true);
    writer.blank();
  }
  writer.real(values.radius, kRadiusWidth, false);
  writer.blank();
  writer.put(values.name, kNameWidth);
  writer.blank();
  writer.integer(values.colours[0], kRedWidth);
  writer.blank();
  writer.integer(values.colours[1], kGreenWidth);
  writer.blank();
  writer.integer(values.colours[2], kBlueWidth);
  return writer.length();
}

bool withinBounds(const std::array<float, 3>& coordinates, const SpaceBounds& bounds) noexcept {
  for (std::size_t i = 0; i < coordinates.size(); ++i) {
    if (!(coordinates[i] >= bounds.low[i] && coordinates[i] <= bounds.high[i])) return false;
  }
  return true;
}

// Calls the observer, if any; an observer that throws is dropped, so diagnostics
// can never change what cleaning produces.
class ObserverCalls {
public:
  explicit ObserverCalls(CleaningObserver* observer) noexcept : observer_(observer) {}
  bool active() const noexcept { return observer_ != nullptr; }

  template <typename Call> void operator()(Call&& call) noexcept {
    if (observer_ == nullptr) return;
    try {
      call(*observer_);
    } catch (...) {
      observer_ = nullptr;
    }
  }

private:
  CleaningObserver* observer_;
};

bool hasUnicodeMinus(std::string_view line) noexcept {
  return line.find("\xE2\x88\x92") != std::string_view::npos;
}

// Reads the eight fields of a line as cleaning does, up to the first one that
// cannot be read: returns its status (Read when all were read) and sets `failed`.
FieldStatus readFields(std::string_view text, LineValues& values, CoordinateField& failed) noexcept {
  FieldReader reader(text, true);
  FieldStatus status = FieldStatus::Read;
  for (std::size_t i = 0; i < kCoordinateFields.size() && status == FieldStatus::Read; ++i) {
    status = reader.readReal(values.coordinates[i]);
    failed = kCoordinateFields[i];
  }
  if (status == FieldStatus::Read) {
    status = reader.readReal(values.radius);
    failed = CoordinateField::Radius;
  }
  if (status == FieldStatus::Read) {
    status = reader.readName(values.name);
    failed = CoordinateField::Name;
  }
  for (std::size_t i = 0; i < kColourFields.size() && status == FieldStatus::Read; ++i) {
    status = reader.readInteger(values.colours[i]);
    failed = kColourFields[i];
  }
  return status;
}

// Reading as a table, when it is on: the reader, and the names of the lines kept so
// far (views into the cleaned text), which a row's name must differ from.
struct CompletionState {
  TableReader* reader = nullptr;
  std::span<std::string_view> keptNames;
  std::size_t keptCount = 0;
  std::array<char, kVoiNameCapacity> uniqueName{};
  std::array<char, kVoiNameCapacity> lastBase{}; // the name made unique last, and its number
  std::size_t lastBaseLength = 0;
  std::int32_t lastNumber = 0;
  bool lineCompleted = false; // the line cleaned last was a row of the table
  bool numbersUnused = false; // ... with numbers after z that were not used
  bool filled = false;        // ... with a field from the defaults

  bool taken(std::string_view name) const noexcept {
    return std::find(keptNames.begin(), keptNames.begin() + static_cast<std::ptrdiff_t>(keptCount), name) !=
           keptNames.begin() + static_cast<std::ptrdiff_t>(keptCount);
  }
  // `name`, or the first of "<name>_2", "<name>_3", ... that no kept line has.
  std::string_view unique(std::string_view name) noexcept {
    name = name.substr(0, kCoordinateNameMaxLength);
    if (!taken(name)) return name;
    // Rows of one region come in runs: the search goes on from the number the same
    // name got last, so that a long run is not searched from 2 again and again.
    const bool sameBase = name == std::string_view(lastBase.data(), lastBaseLength);
    std::int32_t number = sameBase ? lastNumber + 1 : 2;
    if (!sameBase) {
      std::copy_n(name.data(), name.size(), lastBase.data());
      lastBaseLength = name.size();
    }
    for (; number < std::numeric_limits<std::int32_t>::max(); ++number) {
      const std::string_view candidate = numberedName(name, number, uniqueName);
      if (!taken(candidate)) {
        lastNumber = number;
        return candidate;
      }
    }
    return name;
  }
  // Remembers the name of the line just written at `line`.
  void keep(std::string_view line) noexcept {
    if (keptCount == keptNames.size()) return;
    FieldReader fields(line);
    float value = 0.0f;
    std::string_view name;
    for (int i = 0; i < 4; ++i)
      fields.readReal(value);
    if (fields.readName(name) == FieldStatus::Read) keptNames[keptCount++] = name;
  }
};

// Cleans one line: reads its fields (as a row of a table when that is on) and
// decides whether it stays. On true, `values` holds the clamped values to print;
// changes and reasons go to the observer.
bool cleanLine(std::string_view text, const CleaningLine& line, bool isMni, ObserverCalls& notify,
               CompletionState& completion, LineValues& values) noexcept {
  values.coordinates = {kRealStartValue, kRealStartValue, kRealStartValue};
  values.radius = kRealStartValue;
  values.name = {};
  values.colours = {kIntegerStartValue, kIntegerStartValue, kIntegerStartValue};

  FieldStatus status = FieldStatus::Read;
  CoordinateField failed = CoordinateField::X;
  CompletedLine completed{};
  TableRefusal refusal = TableRefusal::None;
  const TableLine kind = completion.reader != nullptr
                             ? completion.reader->read(text, line.number, completed, refusal)
                             : TableLine::Other;
  completion.lineCompleted = kind == TableLine::Row;
  completion.numbersUnused = completed.numbersUnused;
  completion.filled = anyFilled(completed);
  if (kind == TableLine::Refused) {
    notify([&](CleaningObserver& o) { o.rowRefused(line, refusal); });
    return false;
  }
  if (completion.lineCompleted) {
    values = {{completed.x, completed.y, completed.z},
              completed.radius,
              completed.name,
              {completed.red, completed.green, completed.blue}};
  } else {
    status = readFields(text, values, failed);
  }

  const bool hintsWanted = notify.active();
  bool reported = false;
  const SpaceBounds& bounds = isMni ? kMniBounds : kTalBounds;
  const SpaceBounds& otherBounds = isMni ? kTalBounds : kMniBounds;
  std::int32_t& blue = values.colours[2];
  bool kept = false;
  if (status != FieldStatus::Read) {
    notify([&](CleaningObserver& o) { o.fieldNotRead(line, failed, status); });
    reported = true;
  } else if (!withinBounds(values.coordinates, bounds)) {
    const bool validInOther =
        withinBounds(values.coordinates, otherBounds) && blue >= 0 && blue <= kMaxBlueAccepted;
    for (std::size_t i = 0; i < values.coordinates.size(); ++i) {
      const float value = values.coordinates[i];
      if (value >= bounds.low[i] && value <= bounds.high[i]) continue;
      notify([&](CleaningObserver& o) {
        o.coordinateOutOfBounds(line, kCoordinateFields[i], value, bounds.low[i], bounds.high[i],
                                validInOther);
      });
      break;
    }
    reported = true;
  } else if (blue < 0 || blue > kMaxBlueAccepted) {
    notify([&](CleaningObserver& o) { o.blueOutOfRange(line, blue); });
    reported = true;
  } else {
    kept = true;
    if (completion.lineCompleted) {
      const std::string_view unique = completion.unique(values.name);
      const bool renamed = unique.data() != values.name.data();
      values.name = completed.name = unique;
      if (anyFilled(completed) || renamed) {
        notify([&](CleaningObserver& o) { o.lineCompleted(line, completed); });
        reported = true;
      }
    }
    const float radius = std::clamp(values.radius, kMinRadius, kMaxRadius);
    if (radius != values.radius) {
      notify([&](CleaningObserver& o) { o.radiusClamped(line, values.radius, radius); });
      values.radius = radius;
      reported = true;
    }
    for (std::size_t i = 0; i < values.colours.size(); ++i) {
      const std::int32_t colour = std::clamp(values.colours[i], kMinColour, kMaxColour);
      if (colour != values.colours[i]) {
        notify(
            [&](CleaningObserver& o) { o.colourClamped(line, kColourFields[i], values.colours[i], colour); });
        values.colours[i] = colour;
        reported = true;
      }
    }
    if (values.name.size() > kCoordinateNameMaxLength) {
      notify([&](CleaningObserver& o) { o.nameCut(line, values.name.size()); });
      values.name = values.name.substr(0, kCoordinateNameMaxLength);
      reported = true;
    }
  }
  if (hintsWanted && reported && !completion.lineCompleted) {
    const bool unicodeMinus = hasUnicodeMinus(text);
    const bool decimalComma = hasDecimalComma(text);
    if (unicodeMinus || decimalComma) {
      notify([&](CleaningObserver& o) { o.hints(line, unicodeMinus, decimalComma); });
    }
  }
  return kept;
}

} // namespace

std::size_t formatCleanedLine(const CoordinateEntry& entry, std::span<char> out) noexcept {
  const std::size_t nameLength =
      static_cast<std::size_t>(std::find(entry.name.begin(), entry.name.end(), '\0') - entry.name.begin());
  const LineValues values{{entry.x, entry.y, entry.z},
                          entry.radius,
                          std::string_view(entry.name.data(), nameLength),
                          {entry.red, entry.green, entry.blue}};
  return formatLine(values, out);
}

int cleanCoordinateList(std::span<char> buffer, bool isMni, CleaningObserver* observer,
                        LineCompletion* completion) noexcept {
  if (buffer.empty()) return 0;
  const auto nul = std::find(buffer.begin(), buffer.end(), '\0');
  const std::size_t length =
      nul != buffer.end() ? static_cast<std::size_t>(nul - buffer.begin()) : buffer.size() - 1;

  // The cleaned text is written over the buffer while the input is still being
  // read, so the input is read from a private copy.
  std::unique_ptr<char[]> copy(new (std::nothrow) char[std::max<std::size_t>(length, 1)]);
  if (!copy) return kCleaningOutOfMemory; // the list stays as it was
  std::memcpy(copy.get(), buffer.data(), length);
  const std::string_view input(copy.get(), length);

  ObserverCalls notify(observer);
  CompletionState completionState;
  std::unique_ptr<std::string_view[]> names;
  std::optional<TableReader> reader;
  if (completion != nullptr) {
    completion->completed = 0;
    completion->numbersUnused = 0;
    // A cleaned line takes at least kMinCleanedLine bytes and its LF, an experiment
    // at least one line of the input.
    const std::size_t keptCapacity = buffer.size() / (kMinCleanedLine + 1) + 1;
    const std::size_t experimentCapacity =
        static_cast<std::size_t>(std::count(input.begin(), input.end(), '\n')) + 1;
    names.reset(new (std::nothrow) std::string_view[keptCapacity + experimentCapacity]);
    if (!names) return kCleaningOutOfMemory;
    completionState.keptNames = {names.get(), keptCapacity};
    reader.emplace(completion->defaults,
                   std::span<std::string_view>(names.get() + keptCapacity, experimentCapacity));
    completionState.reader = &*reader;
  }
  std::array<char, kCleanedLineMaxLength> formatted{};
  std::size_t used = 0;
  int count = 0;
  bool full = false;
  std::int32_t lineNumber = 0;
  std::size_t start = 0;
  while (start < input.size()) {
    const std::size_t lineFeed = input.find('\n', start);
    const std::size_t end = lineFeed == std::string_view::npos ? input.size() : lineFeed;
    const std::string_view text = input.substr(start, end - start);
    start = end + 1;
    if (lineNumber < std::numeric_limits<std::int32_t>::max()) ++lineNumber;
    const CleaningLine line{lineNumber, text};

    LineValues values{};
    if (!cleanLine(text, line, isMni, notify, completionState, values)) continue;
    if (!full) {
      const std::size_t lineLength = formatLine(values, formatted);
      const std::size_t separator = count > 0 ? 1 : 0;
      // Room for the separator, the line and the terminating NUL.
      if (lineLength > 0 && buffer.size() - used > separator + lineLength) {
        if (separator > 0) buffer[used++] = '\n';
        std::memcpy(buffer.data() + used, formatted.data(), lineLength);
        used += lineLength;
        if (completion != nullptr) {
          completionState.keep({buffer.data() + used - lineLength, lineLength});
          if (completionState.lineCompleted && completionState.filled) {
            ++completion->completed;
            if (completionState.numbersUnused) ++completion->numbersUnused;
          }
        }
        ++count;
        continue;
      }
      full = true;
    }
    notify([&](CleaningObserver& o) { o.lineDoesNotFit(line); });
    if (!notify.active()) break; // nothing left to report: the rest cannot be kept
  }
  buffer[used] = '\0';
  return count;
}

CoordinateLineCursor::CoordinateLineCursor(std::string_view text) noexcept
    : text_(text.substr(0, std::min(text.find('\0'), text.size()))) {}

bool CoordinateLineCursor::seek(std::int32_t lineIndex, std::string_view& line) noexcept {
  if (lineIndex < 0) return false;
  if (lineIndex < lineIndex_) {
    lineIndex_ = 0;
    lineStart_ = 0;
  }
  while (lineIndex_ < lineIndex) {
    const std::size_t lineFeed = text_.find('\n', lineStart_);
    if (lineFeed == std::string_view::npos) return false;
    lineStart_ = lineFeed + 1;
    ++lineIndex_;
  }
  // A final LF is followed by no further line.
  if (lineStart_ >= text_.size()) return false;
  const std::size_t lineFeed = text_.find('\n', lineStart_);
  const std::size_t end = lineFeed == std::string_view::npos ? text_.size() : lineFeed;
  line = text_.substr(lineStart_, end - lineStart_);
  return true;
}

bool CoordinateLineCursor::parse(std::int32_t lineIndex, CoordinateEntry& entry) noexcept {
  std::string_view line;
  if (!seek(lineIndex, line)) return false;

  // Separators are ordinary characters here: the text is expected to be cleaned.
  FieldReader reader(line);
  std::string_view name;
  const bool nameRead =
      reader.readReal(entry.x) == FieldStatus::Read && reader.readReal(entry.y) == FieldStatus::Read &&
      reader.readReal(entry.z) == FieldStatus::Read && reader.readReal(entry.radius) == FieldStatus::Read &&
      reader.readName(name) == FieldStatus::Read;
  const std::size_t length = nameRead ? std::min(name.size(), kCoordinateNameMaxLength) : 0;
  if (length > 0) std::memcpy(entry.name.data(), name.data(), length);
  entry.name[length] = '\0';
  if (nameRead && reader.readInteger(entry.red) == FieldStatus::Read &&
      reader.readInteger(entry.green) == FieldStatus::Read) {
    reader.readInteger(entry.blue);
  }
  return true;
}

bool parseCoordinateLine(std::string_view text, std::int32_t lineIndex, CoordinateEntry& entry) noexcept {
  return CoordinateLineCursor(text).parse(lineIndex, entry);
}

} // namespace orbiculon
