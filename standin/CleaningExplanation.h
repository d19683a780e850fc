#pragma once

// Explains what cleaning a coordinate list does to it, line by line: why a line is
// dropped, which value of a kept line was clamped, and hints where they help. The
// explanation comes from the cleaning code itself, through its diagnostics hook.

#include <string>
#include <string_view>
#include <vector>

#include "coords/TableReader.h"

namespace standin {

struct CleaningReport {
  // One line per input line that is dropped or changed, then hint lines (indented)
  // for it; then a summary line and, where they help, hints for the whole list.
  std::vector<std::string> lines;
  int inputLines = 0;
  int kept = 0;
  int dropped = 0;
  int changed = 0;
  // Kept, but with text after the eighth field that cleaning leaves out.
  int withIgnoredText = 0;
  // Dropped only for the bounds of the chosen space; kept had the list been cleaned
  // for the other space.
  int validInOtherSpace = 0;
  // `//` lines, which are comments: counted here, not among the dropped lines.
  int comments = 0;
  // There was no memory to clean the list: nothing else here is set.
  bool outOfMemory = false;
};

// A line whose first characters other than blanks and tabs are "//": a comment, as in
// the peak files of meta-analysis tools.
bool isCommentLine(std::string_view line);

// Cleans a private copy of `list` (as the dialog's text box holds it) for the TAL or
// MNI bounds, completing short lines from `completion` unless it is null, and reports
// what cleaning did, and what it ignored: text after the eighth field, a CR inside a
// line, a byte-order mark at the start. `otherSpaceOption` is how the user selects
// the other space, for the hint (e.g. "--space mni").
CleaningReport explainCleaning(std::string_view list, bool isMni, const std::string& otherSpaceOption,
                               const orbiculon::CompletionDefaults* completion = nullptr);

// The list without a UTF-8 byte-order mark at its very start (spreadsheets write
// one): the mark is not part of the first line.
std::string_view withoutByteOrderMark(std::string_view list);

} // namespace standin
