#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "coords/CoordinateEntry.h"
#include "coords/FieldReader.h"
#include "coords/TableReader.h"

namespace orbiculon {

// A list is split into lines at LF only (a CR before it is blank to FieldReader, and
// a trailing LF starts no new line). Each line carries the centre, radius, name and
// colour of one VOI. Cleaning keeps lines that describe a usable VOI and rewrites
// them in fixed columns, which Start reads back one line at a time.

// Longest cleaned line: 4 numbers of 7, a name of 255, colours of 7, 4 and 4, and
// 7 single blanks between them.
inline constexpr std::size_t kCleanedLineMaxLength = 305;

// The eight fields of a line, in order.
enum class CoordinateField : std::uint8_t { X, Y, Z, Radius, Name, Red, Green, Blue };

// One input line as the cleaning observer sees it.
struct CleaningLine {
  std::int32_t number;   // 1-based line number in the input text
  std::string_view text; // the line as given (separators kept, without its LF);
                         // valid only during the callback
};

// Optional diagnostics hook of cleanCoordinateList (for reports such as an
// explanation of why lines were dropped). Every callback has an empty default.
// The callbacks of one input line come together, before those of the next line:
// first the changes or the one reason for dropping, then hints. Only lines that are
// dropped or changed are reported. The observer cannot change the result: if a
// callback throws, the exception is swallowed and the observer is not called again.
class CleaningObserver {
public:
  virtual ~CleaningObserver() = default;

  // Dropped: `field` could not be read (Missing, NotANumber or OutOfRange); no field
  // after it was read.
  virtual void fieldNotRead(const CleaningLine& /*line*/, CoordinateField /*field*/, FieldStatus /*status*/) {
  }
  // Dropped: coordinate `field` (X, Y or Z; the first one out of bounds) has `value`
  // outside the bounds [low, high] of the space cleaned for. `validInOtherSpace`:
  // the line would have been kept had it been cleaned for the other space.
  virtual void coordinateOutOfBounds(const CleaningLine& /*line*/, CoordinateField /*field*/, float /*value*/,
                                     float /*low*/, float /*high*/, bool /*validInOtherSpace*/) {}
  // Dropped: blue lies outside 0 ... 500.
  virtual void blueOutOfRange(const CleaningLine& /*line*/, std::int32_t /*blue*/) {}
  // Dropped: the line is valid, but the cleaned text has no room left for it (every
  // valid line after the first one that does not fit is reported so).
  virtual void lineDoesNotFit(const CleaningLine& /*line*/) {}

  // Kept but changed: the radius was clamped to 0.5 ... 20.
  virtual void radiusClamped(const CleaningLine& /*line*/, float /*from*/, float /*to*/) {}
  // Kept but changed: a colour component (Red, Green or Blue) was clamped to 0 ... 255.
  virtual void colourClamped(const CleaningLine& /*line*/, CoordinateField /*field*/, std::int32_t /*from*/,
                             std::int32_t /*to*/) {}
  // Kept but changed: the name had `length` characters and was cut to 255.
  virtual void nameCut(const CleaningLine& /*line*/, std::size_t /*length*/) {}
  // Kept but changed: the line was read as a row of a table and completed (reported
  // before any clamp of it); `completed.name` is the name it is kept with.
  virtual void lineCompleted(const CleaningLine& /*line*/, const CompletedLine& /*completed*/) {}
  // Dropped: the table reader refused the row, for `reason`.
  virtual void rowRefused(const CleaningLine& /*line*/, TableRefusal /*reason*/) {}

  // Hints for a dropped or changed line: it holds a Unicode minus sign (UTF-8
  // E2 88 92), which is no sign here; it holds a digit, a comma and a digit, which
  // may be a decimal comma (a comma always separates fields).
  virtual void hints(const CleaningLine& /*line*/, bool /*unicodeMinus*/, bool /*decimalComma*/) {}
};

// The inclusive bounds (x, y, z) of a centre that cleaning keeps, per space.
struct SpaceBounds {
  std::array<float, 3> low;
  std::array<float, 3> high;
};
inline constexpr SpaceBounds kMniBounds{{-74.0f, -108.0f, -52.0f}, {75.0f, 71.0f, 79.0f}};
inline constexpr SpaceBounds kTalBounds{{-69.0f, -102.0f, -43.0f}, {69.0f, 71.0f, 76.0f}};

// Reading as a table during cleaning (see TableReader): the defaults, and on return
// how many lines of the cleaned text were read as rows, and how many of these had
// numbers after z that were not used.
struct LineCompletion {
  CompletionDefaults defaults;
  int completed = 0;
  int numbersUnused = 0;
};

// Rewrites the list in `buffer` (text up to its first NUL, or its last byte) in place
// and returns how many lines it kept; the text then holds exactly those lines, joined
// by LF. A line survives when its eight fields read, its centre is inside the space's
// bounds (kMniBounds or kTalBounds) and blue is within 0 ... 500; radius, colours and
// name are then clamped and printed by formatCleanedLine. The first kept line that no
// longer fits ends the cleaning. With `completion`, rows of a table are completed
// first and repeated names get "_2", "_3", ... Never throws: without memory it returns
// kCleaningOutOfMemory with the buffer unchanged, for the caller to handle.
inline constexpr int kCleaningOutOfMemory = -1;
int cleanCoordinateList(std::span<char> buffer, bool isMni, CleaningObserver* observer = nullptr,
                        LineCompletion* completion = nullptr) noexcept;

// Prints one cleaned line from `entry` (values already clamped) into `out`, with no
// line end and no NUL. Same characters as std::snprintf with the format above in the
// "C" locale, but independent of every locale setting of the process. Returns the
// length, or 0 when `out` is too small.
std::size_t formatCleanedLine(const CoordinateEntry& entry, std::span<char> out) noexcept;

// Reads line `lineIndex` (from 0) of a coordinate list `text` (ending at its first
// NUL, if it holds one) into `entry`; false, with nothing written, when the text has
// no such line.
//
// The fields are read in order, with the separators as ordinary characters; the
// first field that cannot be read and every field after it keep their values. The
// name is always written: its first 255 characters, or the empty text when the name
// field is not reached. No bounds or clamps apply.
//
// Every call scans from the start of the text; to read many lines in order, use
// CoordinateLineCursor.
bool parseCoordinateLine(std::string_view text, std::int32_t lineIndex, CoordinateEntry& entry) noexcept;

// parseCoordinateLine with a remembered position: reading lines in increasing order
// (0, 1, ..., n - 1) scans the text once in total, so reading every line of a list
// takes linear time. Any index may be asked for; an index below the last one asked
// restarts from the beginning. Results are identical to parseCoordinateLine. The
// text must outlive the cursor and must not change meanwhile.
class CoordinateLineCursor {
public:
  explicit CoordinateLineCursor(std::string_view text) noexcept;

  bool parse(std::int32_t lineIndex, CoordinateEntry& entry) noexcept;

private:
  // Finds the line and returns it through `line`; false when the text has none.
  bool seek(std::int32_t lineIndex, std::string_view& line) noexcept;

  std::string_view text_;
  std::size_t lineStart_ = 0;
  std::int32_t lineIndex_ = 0;
};

} // namespace orbiculon
