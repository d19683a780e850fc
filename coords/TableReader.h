#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "coords/CoordinateEntry.h"

namespace orbiculon {

// Peak tables as papers print them, and the peak files of coordinate-based
// meta-analysis tools, give x, y and z, perhaps a region, and columns of statistics
// that a coordinate list has no use for. The table reader takes such a text line by
// line, learns its columns from the heading, and gives each row its centre and a
// name; radius and colour come from defaults (in the plug-in: the dialog's single-VOI
// fields) unless the table has columns for them. Cleaning then keeps the row like
// any other line.

// What a row is completed with.
struct CompletionDefaults {
  float radius;
  // Base of the names of rows without a region: "<name>_<line number>", whitespace
  // and field separators turned into '_' so the name stays one field.
  std::string_view name;
  std::int32_t red;
  std::int32_t green;
  std::int32_t blue;
};

// The fields of a row before cleaning applies its bounds and clamps. `name` views
// the reader's own storage and stays valid until its next line.
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
  // A row without a heading had numbers after z that were not used (statistics).
  bool numbersUnused;
};

// Whether any field of the row came from the defaults.
inline bool anyFilled(const CompletedLine& line) noexcept {
  return line.radiusFilled || line.nameFilled || line.redFilled || line.greenFilled || line.blueFilled;
}

// What the reader made of a line.
enum class TableLine : std::uint8_t {
  Row,     // a peak: `CompletedLine` holds it
  Other,   // not a row of a table (a heading, a comment, a list line of all eight
           // fields): cleaning reads it as it reads any line
  Refused, // a row the reader will not guess at; `refusal` says why
};

// Why a row was refused.
enum class TableRefusal : std::uint8_t {
  None,
  DecimalComma, // x, y or z holds a decimal comma while blanks separate the cells
  OutOfRange,   // a number of the row is too large for its field
  NoRadius,     // the row needs the default radius, which is not a number
};

// "<base>_<number>" in `storage`, with every whitespace or separator of the base as
// '_'; the base is cut, never the number, so that different numbers stay different
// names of at most kCoordinateNameMaxLength characters.
std::string_view numberedName(std::string_view base, std::int64_t number,
                              std::span<char, kVoiNameCapacity> storage) noexcept;

// Whether `text` holds a digit, a comma and a digit: perhaps a decimal comma.
bool hasDecimalComma(std::string_view text) noexcept;

// The space a list names in its "// Reference=" line.
enum class ListReference : std::uint8_t { None, Mni, Tal, Unknown, Contradicting };

struct ReferenceScan {
  ListReference reference = ListReference::None;
  std::int32_t line = 0;      // the line of the (first) Reference line, from 1
  std::int32_t otherLine = 0; // with Contradicting: the line that contradicts it
  std::string_view value;     // the space as the (first unknown) line writes it
};

// Finds "// Reference=MNI", "//Reference = Talairach", "// reference=TAL" and the
// like (letter case aside, blanks around '=' or none) in `list`; a UTF-8 byte-order
// mark in front of the first line is skipped. Unknown: a Reference line names some
// other space. Contradicting: two lines name different spaces.
ReferenceScan scanListReference(std::string_view list) noexcept;

// Reads the lines of one list, in order. Holds what earlier lines said: the heading
// and its columns, the cluster a row of local maxima belongs to, the experiment of a
// peak file. Experiment names are unique within the list: a repeated one gets "_2",
// "_3", ...
class TableReader {
public:
  // `experimentStore` keeps the experiments met so far; one entry per line of the
  // list suffices (fewer only let repeated experiment names repeat).
  TableReader(const CompletionDefaults& defaults, std::span<std::string_view> experimentStore) noexcept
      : defaults_(defaults), experiments_(experimentStore) {}

  TableLine read(std::string_view line, std::int32_t lineNumber, CompletedLine& out,
                 TableRefusal& refusal) noexcept;

  // Cells of one line: a row or heading has at most this many; more are ignored.
  static constexpr std::size_t kMaxCells = 48;
  // Heading lines remembered for one table.
  static constexpr std::size_t kMaxHeadingLines = 3;

  // The role of a column, as its heading names it.
  enum class Role : std::uint8_t { Ignored, Known, X, Y, Z, Radius, Region, Hemisphere, Red, Green, Blue };

private:
  struct Heading {
    std::array<Role, kMaxCells> roles{};
    std::size_t columns = 0;
  };

  bool readHeading(std::string_view line) noexcept;
  void chooseColumns() noexcept;
  std::size_t columnOf(Role role) const noexcept; // `columns_.columns` when no column has it
  bool hasHemisphere() const noexcept;
  bool hemisphereBeforeRegion() const noexcept;
  TableLine readHeadedRow(std::string_view line, std::int32_t lineNumber, CompletedLine& out) noexcept;
  TableLine readBareRow(std::string_view line, std::int32_t lineNumber, CompletedLine& out,
                        TableRefusal& refusal) noexcept;
  void readComment(std::string_view text) noexcept;
  void fillDefaults(CompletedLine& out) const noexcept;
  std::string_view defaultName(std::int32_t lineNumber) noexcept;
  std::string_view writeName(std::string_view first, std::string_view second) noexcept;
  std::string_view experimentRowName() noexcept;

  CompletionDefaults defaults_;
  std::span<std::string_view> experiments_;
  std::size_t experimentCount_ = 0;

  // Heading lines of the current table, and the columns chosen from them.
  std::array<Heading, kMaxHeadingLines> headingLines_{};
  std::size_t headingLineCount_ = 0;
  bool lastWasHeading_ = false;
  Heading columns_{};
  bool headed_ = false;

  // The region of the last row that named one, for the local maxima under it.
  std::array<char, kVoiNameCapacity> cluster_{};
  std::size_t clusterLength_ = 0;
  bool clusterFirst_ = false; // the cluster's region stood before x

  // The experiment rows belong to in a peak file, and its row count.
  std::string_view experiment_;
  std::size_t experimentIndex_ = 0; // 1 + earlier experiments of the same name
  int experimentRows_ = 0;

  std::array<char, kVoiNameCapacity> name_{};
};

} // namespace orbiculon
