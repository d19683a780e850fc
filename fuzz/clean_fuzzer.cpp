// Cleaning of a coordinate list: any bytes, either reference space, buffers of any
// capacity, with and without a diagnostics observer (which may throw).
//
// Input: one flag byte, then the list text.
//   bit 0      the MNI bounds (else TAL)
//   bit 1      clean with an observer as well, and compare the two results
//   bit 2      the observer throws at its n-th callback (n from the next byte)
//   bits 3-4   buffer capacity: 0/1 the list capacity, 2 up to 4096 bytes (next two
//              bytes), 3 up to 80 bytes (next byte)
//   bit 5      the text fills the whole buffer and no NUL ends it
//
// Invariants: nothing outside the buffer is touched (the buffer is an exact heap
// block, so the address sanitizer sees every overrun); the cleaned text ends within
// the buffer; the count equals its number of lines; every line is a valid cleaned
// line that reads back to the values printed in it; cleaning the result again gives
// the same text and count; a smaller buffer gives a prefix of the lines; the observer
// never changes the result.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "coords/CoordinateList.h"
#include "coords/FieldReader.h"
#include "fuzz/FuzzSupport.h"

namespace {

using orbiculon::CleaningLine;
using orbiculon::CoordinateField;
using orbiculon::FieldStatus;
using orbiculon::kCoordinateListCapacity;
using orbiculon::fuzz::FuzzInput;

constexpr std::size_t kSmallCapacityLimit = 4096;
constexpr std::size_t kTinyCapacityLimit = 80;

struct Cleaned {
  int count = 0;
  std::string text;
};

// The bytes the list buffer holds before cleaning: the text cut to the capacity and
// ended by a NUL, or, with `fillWithoutNul`, the text repeated over the whole buffer.
std::vector<char> fillBuffer(std::string_view input, std::size_t capacity, bool fillWithoutNul) {
  std::vector<char> buffer(capacity);
  if (fillWithoutNul && !input.empty()) {
    // Copies of the text, doubling (memcpy keeps the harness's own loop out of the
    // coverage feedback).
    std::size_t filled = std::min(input.size(), capacity);
    std::memcpy(buffer.data(), input.data(), filled);
    while (filled < capacity) {
      const std::size_t chunk = std::min(filled, capacity - filled);
      std::memcpy(buffer.data() + filled, buffer.data(), chunk);
      filled += chunk;
    }
  } else {
    const std::size_t length = std::min(input.size(), capacity - 1);
    std::copy_n(input.data(), length, buffer.data());
    buffer[length] = '\0';
  }
  return buffer;
}

// What cleaning reads of the buffer: up to the first NUL, or all but the last byte.
std::string_view content(const std::vector<char>& buffer) {
  const auto nul = std::find(buffer.begin(), buffer.end() - 1, '\0');
  return {buffer.data(), static_cast<std::size_t>(nul - buffer.begin())};
}

// Cleans the buffer, an exact heap block, in place and returns the text up to its
// NUL, which must lie within the buffer.
Cleaned cleanBuffer(std::vector<char>& buffer, bool isMni, orbiculon::CleaningObserver* observer) {
  Cleaned result;
  result.count = orbiculon::cleanCoordinateList(buffer, isMni, observer);
  const auto nul = std::find(buffer.begin(), buffer.end(), '\0');
  FUZZ_CHECK(nul != buffer.end(), "the cleaned text has no NUL within the buffer");
  result.text.assign(buffer.begin(), nul);
  return result;
}

Cleaned cleanText(std::string_view text, std::size_t capacity, bool isMni,
                  orbiculon::CleaningObserver* observer = nullptr) {
  std::vector<char> buffer = fillBuffer(text, capacity, false);
  return cleanBuffer(buffer, isMni, observer);
}

std::vector<std::string_view> splitLines(std::string_view text) {
  std::vector<std::string_view> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    const std::size_t end = std::min(text.find('\n', start), text.size());
    lines.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return lines;
}

std::string printedLine(const orbiculon::CoordinateEntry& e) {
  char line[512];
  std::snprintf(line, sizeof line, "% 7.1f % 7.1f % 7.1f %7.1f %25s %7i %4i %4i", static_cast<double>(e.x),
                static_cast<double>(e.y), static_cast<double>(e.z), static_cast<double>(e.radius),
                e.name.data(), e.red, e.green, e.blue);
  return line;
}

bool within(float value, float low, float high) { return value >= low && value <= high; }

void checkCleanedText(const Cleaned& cleaned, bool isMni) {
  FUZZ_CHECK(cleaned.count >= 0, "negative count");
  const auto lines = splitLines(cleaned.text);
  FUZZ_CHECK(lines.size() == static_cast<std::size_t>(cleaned.count),
             "count differs from the number of lines");
  FUZZ_CHECK(cleaned.text.empty() || cleaned.text.back() != '\n', "the cleaned text ends with a line feed");

  orbiculon::CoordinateLineCursor cursor(cleaned.text);
  for (std::int32_t i = 0; i < cleaned.count; ++i) {
    const std::string_view line = lines[static_cast<std::size_t>(i)];
    FUZZ_CHECK(line.size() >= 75 && line.size() <= orbiculon::kCleanedLineMaxLength, "cleaned line length");
    for (const char c : line) {
      FUZZ_CHECK(c != '\0' && !orbiculon::isFieldSeparator(c) &&
                     (c == ' ' || !orbiculon::isFieldWhitespace(c)),
                 "a separator or whitespace other than a blank in a cleaned line");
    }

    orbiculon::CoordinateEntry entry{};
    FUZZ_CHECK(cursor.parse(i, entry), "a line of the cleaned text cannot be found");
    const std::string reprinted = printedLine(entry);
    FUZZ_CHECK(reprinted == line, "the line does not read back to its printed values: [" + std::string(line) +
                                      "] reads as [" + reprinted + "]");
    char formatted[orbiculon::kCleanedLineMaxLength];
    const std::size_t length = orbiculon::formatCleanedLine(entry, formatted);
    FUZZ_CHECK(std::string_view(formatted, length) == line, "formatCleanedLine differs from printf");

    const bool inBounds =
        isMni ? within(entry.x, -74, 75) && within(entry.y, -108, 71) && within(entry.z, -52, 79)
              : within(entry.x, -69, 69) && within(entry.y, -102, 71) && within(entry.z, -43, 76);
    FUZZ_CHECK(inBounds, "a kept coordinate lies outside the bounds: " + std::string(line));
    FUZZ_CHECK(within(entry.radius, 0.5f, 20.0f), "radius not clamped: " + std::string(line));
    for (const std::int32_t colour : {entry.red, entry.green, entry.blue})
      FUZZ_CHECK(colour >= 0 && colour <= 255, "colour not clamped: " + std::string(line));
    const std::size_t nameLength = std::char_traits<char>::length(entry.name.data());
    FUZZ_CHECK(nameLength >= 1 && nameLength <= orbiculon::kCoordinateNameMaxLength, "name length");
  }
  orbiculon::CoordinateEntry untouched{};
  FUZZ_CHECK(!orbiculon::parseCoordinateLine(cleaned.text, cleaned.count, untouched),
             "the cleaned text has more lines than its count");
}

// Records that the callbacks come line by line in input order, and throws on request.
class CheckingObserver final : public orbiculon::CleaningObserver {
public:
  explicit CheckingObserver(int throwAt) : throwAt_(throwAt) {}

  void fieldNotRead(const CleaningLine& line, CoordinateField, FieldStatus status) override {
    FUZZ_CHECK(status != FieldStatus::Read, "fieldNotRead with a field that was read");
    seen(line);
  }
  void coordinateOutOfBounds(const CleaningLine& line, CoordinateField field, float value, float low,
                             float high, bool) override {
    FUZZ_CHECK(field == CoordinateField::X || field == CoordinateField::Y || field == CoordinateField::Z,
               "out of bounds reported for a field that is no coordinate");
    FUZZ_CHECK(!(value >= low && value <= high), "a coordinate within bounds reported as outside");
    seen(line);
  }
  void blueOutOfRange(const CleaningLine& line, std::int32_t blue) override {
    FUZZ_CHECK(blue < 0 || blue > 500, "blue within 0 ... 500 reported as out of range");
    seen(line);
  }
  void lineDoesNotFit(const CleaningLine& line) override { seen(line); }
  void radiusClamped(const CleaningLine& line, float, float to) override {
    FUZZ_CHECK(to == 0.5f || to == 20.0f, "radius clamped to a value that is no limit");
    seen(line);
  }
  void colourClamped(const CleaningLine& line, CoordinateField, std::int32_t, std::int32_t to) override {
    FUZZ_CHECK(to == 0 || to == 255, "colour clamped to a value that is no limit");
    seen(line);
  }
  void nameCut(const CleaningLine& line, std::size_t length) override {
    FUZZ_CHECK(length > orbiculon::kCoordinateNameMaxLength, "a name of allowed length reported as cut");
    seen(line);
  }
  void hints(const CleaningLine& line, bool unicodeMinus, bool decimalComma) override {
    FUZZ_CHECK(unicodeMinus || decimalComma, "a hint without any hint");
    seen(line);
  }

private:
  void seen(const CleaningLine& line) {
    FUZZ_CHECK(line.number >= 1 && line.number >= lastLine_, "observer callbacks out of line order");
    FUZZ_CHECK(line.text.find('\n') == std::string_view::npos, "observer line holds a line feed");
    lastLine_ = line.number;
    if (++calls_ == throwAt_) throw 1;
  }

  int throwAt_;
  int calls_ = 0;
  std::int32_t lastLine_ = 0;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzInput input(data, size);
  const std::uint8_t flags = input.byte();
  const bool isMni = (flags & 1) != 0;
  const bool withObserver = (flags & 2) != 0;
  const bool observerThrows = (flags & 4) != 0;
  const bool fillWithoutNul = (flags & 32) != 0;
  std::size_t capacity = kCoordinateListCapacity;
  switch ((flags >> 3) & 3) {
  case 2:
    capacity = 1 + input.u16() % kSmallCapacityLimit;
    break;
  case 3:
    capacity = 1 + input.byte() % kTinyCapacityLimit;
    break;
  default:
    break;
  }
  const int throwAt = observerThrows ? 1 + input.byte() : -1;
  const std::string_view text = input.rest();

  std::vector<char> buffer = fillBuffer(text, capacity, fillWithoutNul);
  const std::string original(content(buffer));
  const Cleaned cleaned = cleanBuffer(buffer, isMni, nullptr);
  checkCleanedText(cleaned, isMni);

  // Cleaning is idempotent, in a buffer of the same capacity.
  const Cleaned again = cleanText(cleaned.text, capacity, isMni);
  FUZZ_CHECK(again.count == cleaned.count && again.text == cleaned.text,
             "cleaning the cleaned text changes it");

  // A smaller buffer keeps a prefix of the lines that a full one keeps of the same
  // text.
  if (capacity < kCoordinateListCapacity) {
    const Cleaned full = cleanText(original, kCoordinateListCapacity, isMni);
    FUZZ_CHECK(full.count >= cleaned.count, "a larger buffer keeps fewer lines");
    const bool prefix = full.text.compare(0, cleaned.text.size(), cleaned.text) == 0 &&
                        (cleaned.count == 0 || full.text.size() == cleaned.text.size() ||
                         full.text[cleaned.text.size()] == '\n');
    FUZZ_CHECK(prefix, "the lines kept in a smaller buffer are not a prefix of the full result");
  }

  if (withObserver) {
    CheckingObserver observer(throwAt);
    std::vector<char> observed = fillBuffer(text, capacity, fillWithoutNul);
    const Cleaned withHook = cleanBuffer(observed, isMni, &observer);
    FUZZ_CHECK(withHook.count == cleaned.count && withHook.text == cleaned.text,
               "the observer changed the result of cleaning");
  }
  return 0;
}
