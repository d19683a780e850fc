// Reading one line of a coordinate list, and the field reader beneath it, on any
// text at any line index.
//
// Input: four bytes of line index (signed, little-endian), one byte that is not used
// (the corpus keeps its layout), one byte choosing up to 8 more indices for the
// cursor, then those indices (one byte each, small values), then the text.
//
// Invariants: the result says whether the text has that line (lines as cleaning
// defines them, the text ending at its first NUL); with no such line no field of the
// entry is touched; the name is NUL-terminated within the entry, at most 255
// characters without whitespace;
// the cursor answers every index exactly as a fresh parse does; every field the
// reader reads is exactly what the C library reads from the same characters.
#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

#include "coords/CoordinateList.h"
#include "coords/FieldReader.h"
#include "fuzz/FuzzSupport.h"

namespace {

using orbiculon::FieldReader;
using orbiculon::FieldStatus;
using orbiculon::fuzz::FuzzInput;
using orbiculon::fuzz::sameBits;

constexpr std::uint8_t kNameFill = 0xA5;
constexpr int kMaxCursorIndices = 8;

// The entry of one parse, preset to values no line produces unnoticed.
struct Outputs {
  Outputs() { e.name.fill(static_cast<char>(kNameFill)); }
  orbiculon::CoordinateEntry e{-1234.5f, -2345.5f, -3456.5f, -4567.5f, {}, -11, -22, -33};

  bool parse(std::string_view text, std::int32_t index) {
    return orbiculon::parseCoordinateLine(text, index, e);
  }
  bool parse(orbiculon::CoordinateLineCursor& cursor, std::int32_t index) { return cursor.parse(index, e); }
  bool operator==(const Outputs& other) const {
    return sameBits(e.x, other.e.x) && sameBits(e.y, other.e.y) && sameBits(e.z, other.e.z) &&
           sameBits(e.radius, other.e.radius) && e.name == other.e.name && e.red == other.e.red &&
           e.green == other.e.green && e.blue == other.e.blue;
  }
};

// How many lines the list text holds before its first NUL, counting LF-terminated
// lines and an unterminated last one.
std::int64_t lineCount(std::string_view text) {
  text = text.substr(0, std::min(text.find('\0'), text.size()));
  std::int64_t lines = 0;
  std::size_t start = 0;
  while (start < text.size()) {
    ++lines;
    const std::size_t end = text.find('\n', start);
    if (end == std::string_view::npos) break;
    start = end + 1;
  }
  return lines;
}

void checkName(const Outputs& out) {
  const auto& name = out.e.name;
  const auto nul = std::find(name.begin(), name.end(), '\0');
  FUZZ_CHECK(nul != name.end(), "the name has no NUL within the entry");
  const auto length = static_cast<std::size_t>(nul - name.begin());
  FUZZ_CHECK(length <= orbiculon::kCoordinateNameMaxLength, "the name is longer than 255 characters");
  for (auto c = name.begin(); c != nul; ++c)
    FUZZ_CHECK(!orbiculon::isFieldWhitespace(*c), "the name holds whitespace");
}

// The characters a read consumed, without the blanks the reader skipped first.
std::string consumed(std::string_view line, std::size_t from, std::size_t to, bool separatorsAsBlanks) {
  while (from < to && (orbiculon::isFieldWhitespace(line[from]) ||
                       (separatorsAsBlanks && orbiculon::isFieldSeparator(line[from]))))
    ++from;
  return std::string(line.substr(from, to - from));
}

// Reads the fields of `line` in the order of a list line, each one checked against
// strtof / strtoll on the characters it consumed.
void checkFieldReader(std::string_view line, bool separatorsAsBlanks) {
  FieldReader reader(line, separatorsAsBlanks);
  for (int field = 0; field < 8; ++field) {
    const std::size_t before = reader.position();
    if (field == 4) {
      std::string_view name;
      const FieldStatus status = reader.readName(name);
      FUZZ_CHECK(status == FieldStatus::Read || status == FieldStatus::Missing, "name status");
      if (status != FieldStatus::Read) return;
      FUZZ_CHECK(!name.empty(), "an empty name was read");
      continue;
    }
    if (field < 4) {
      float value = 0.0f;
      const FieldStatus status = reader.readReal(value);
      if (status != FieldStatus::Read) return;
      FUZZ_CHECK(reader.position() > before && reader.position() <= line.size(), "reader position");
      const std::string text = consumed(line, before, reader.position(), separatorsAsBlanks);
      errno = 0;
      char* end = nullptr;
      const float expected = std::strtof(text.c_str(), &end);
      FUZZ_CHECK(end == text.c_str() + text.size(),
                 "strtof does not take the whole real field [" + text + "]");
      FUZZ_CHECK(std::isfinite(value), "a real field read as a non-finite value [" + text + "]");
      FUZZ_CHECK(sameBits(value, expected), "real field [" + text + "] differs from strtof");
    } else {
      std::int32_t value = 0;
      const FieldStatus status = reader.readInteger(value);
      if (status != FieldStatus::Read) return;
      const std::string text = consumed(line, before, reader.position(), separatorsAsBlanks);
      errno = 0;
      char* end = nullptr;
      const long long expected = std::strtoll(text.c_str(), &end, 10);
      FUZZ_CHECK(end == text.c_str() + text.size() && errno == 0,
                 "strtoll does not take the whole integer field [" + text + "]");
      FUZZ_CHECK(expected == value, "integer field [" + text + "] differs from strtoll");
    }
  }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzInput input(data, size);
  const std::int32_t index = input.i32();
  input.byte();
  const int cursorCount = input.byte() % (kMaxCursorIndices + 1);
  std::vector<std::int32_t> cursorIndices;
  for (int i = 0; i < cursorCount; ++i)
    cursorIndices.push_back(static_cast<std::int32_t>(input.byte()) - 8);
  const std::string_view text = input.rest();
  const std::int64_t lines = lineCount(text);

  Outputs out;
  const Outputs before = out;
  const bool found = out.parse(text, index);
  FUZZ_CHECK(found == (index >= 0 && index < lines), "the result does not say whether the line exists");
  if (found) {
    checkName(out);
  } else {
    FUZZ_CHECK(out == before, "an output was written for a line that does not exist");
  }

  // The cursor, asked in any order, answers as fresh parses do.
  orbiculon::CoordinateLineCursor cursor(text);
  cursorIndices.push_back(index);
  for (const std::int32_t i : cursorIndices) {
    Outputs fresh;
    Outputs viaCursor;
    const bool freshFound = fresh.parse(text, i);
    FUZZ_CHECK(viaCursor.parse(cursor, i) == freshFound, "the cursor finds a different line");
    FUZZ_CHECK(viaCursor == fresh, "the cursor reads different values");
  }

  // The field reader on every line, in both of its modes.
  const std::string_view list = text.substr(0, std::min(text.find('\0'), text.size()));
  std::size_t start = 0;
  while (start < list.size()) {
    const std::size_t end = std::min(list.find('\n', start), list.size());
    checkFieldReader(list.substr(start, end - start), false);
    checkFieldReader(list.substr(start, end - start), true);
    start = end + 1;
  }
  return 0;
}
