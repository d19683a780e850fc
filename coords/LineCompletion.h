#pragma once

#include <cstdint>
#include <span>
#include <string_view>

#include "coords/CoordinateEntry.h"

namespace orbiculon {

// Peak tables printed in papers give x, y and z, sometimes a region label, and none
// of the other fields a coordinate list needs. Completion fills in what such a line
// leaves out from defaults (in the plug-in: the dialog's single-VOI fields), so that
// cleaning can keep it.

// What a short line is completed with.
struct CompletionDefaults {
  float radius;
  // Base of the generated names: "<name>_<line number>", whitespace and field
  // separators turned into '_' so the name stays one field when cleaned again.
  std::string_view name;
  std::int32_t red;
  std::int32_t green;
  std::int32_t blue;
};

// The fields of a completed line before cleaning applies its bounds and clamps.
// `name` views the line or the name storage given to completeCoordinateLine.
struct CompletedLine {
  float x;
  float y;
  float z;
  float radius;
  std::string_view name;
  std::int32_t red;
  std::int32_t green;
  std::int32_t blue;
  // Which fields came from the defaults.
  bool radiusFilled;
  bool nameFilled;
  bool redFilled;
  bool greenFilled;
  bool blueFilled;
};

// Completes one line of a pasted list. The fields are read as cleaning reads them
// (separators as blanks), in the order x y z radius name red green blue, up to the
// first one that is missing or does not read as a number; that field and every
// later one come from `defaults`. One exception makes "x y z label" work: a word in
// the radius position that does not read as a number is the name, the radius comes
// from the defaults, and the colours are read after the name.
//
// Returns false, leaving `out` unspecified, when the line is not completed: x, y or
// z could not be read, all eight fields were read, a number is too large for its
// field (a fault in the data that completion must not hide), or the radius is
// needed but the default is not a number. A generated name ("<name>_<lineNumber>",
// the base cut so that the whole has at most kCoordinateNameMaxLength characters)
// is written into `nameStorage`, which must hold kVoiNameCapacity bytes.
bool completeCoordinateLine(std::string_view line, std::int32_t lineNumber,
                            const CompletionDefaults& defaults, std::span<char, kVoiNameCapacity> nameStorage,
                            CompletedLine& out) noexcept;

} // namespace orbiculon
