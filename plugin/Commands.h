#pragma once

#include <array>

#include "coords/TableReader.h"
#include "files/FileResult.h"
#include "plugin/WorkingTexts.h"

// The commands execute dispatches to. Each runs inside one call of execute, on that
// call's working texts, and returns execute's result.
namespace orbiculon {

// Formats one log line into a text of kLogLineCapacity bytes (longer lines are cut) and logs it.
void logLine(const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;

// The dialog's "CompleteLines": whether list lines that give x, y and z but not all
// eight fields are completed from the dialog's single-VOI fields (1; any other
// value, and a host without the parameter, leave the list as cleaning finds it).
bool completeLinesChosen();

// How cleaning the call's list ended; anything but Cleaned leaves the list untouched.
enum class ListOutcome {
  Cleaned,
  Refused,     // the list's "// Reference=" contradicts "MNIorTal"
  OutOfMemory, // no memory to clean it; logged with logOutOfMemory()
};

struct ListCleaning {
  int lines;         // lines of the cleaned list
  int completed;     // of these, lines read as rows of a table and completed
  int numbersUnused; // of these, rows with numbers after z that were not used
  ListOutcome outcome;
};

// Cleans the call's coordinate list in place, reading it as a table whose rows are
// completed from `completion` unless it is null; then a list whose "// Reference="
// line names the other space is refused, untouched, with a log line naming both. Valid lines that no longer
// fit the list text are left out, and a log line says how many, so a long list is never cut short without a
// word (completed lines are longer than the short lines they come from). Without memory to clean it, the
// list is untouched and the memory line is logged.
ListCleaning cleanListAndReport(CallTexts& texts, bool isMni, const CompletionDefaults* completion);

// Out of memory is reported where it arises, never by throwing: the command logs this
// line, stops and returns true, as the dispatcher does for a failed allocation.
void logOutOfMemory();

// Logs how many lines were completed, and how many had numbers that were not used.
void logCompletedLines(const ListCleaning& cleaning);

// Logs `before`, `path` and `after` as one line; when the three do not fit a log
// line, the path is cut in its middle (".../") so that `after` survives whole.
void logPathLine(const char* before, const char* path, const char* after);

// Logs "<before><path>: <reason>", the path cut as logPathLine cuts it.
void logFileReason(const char* before, const char* path, FileResult result);

// Logs `line` (one of the fixed failure lines) and right after it which path
// failed and why: "Plugin>  <path>: <reason>" (a cancelled file dialog gives an
// empty path: "Plugin>  No file was chosen.").
void logFileFailure(const char* line, const char* path, FileResult result);

// A float printed as printf's "%3.1f" prints it in the "C" locale, whatever locale
// the host process has set, for a "%s" of logLine.
class OneDecimal {
public:
  explicit OneDecimal(float value) noexcept;
  const char* c_str() const noexcept { return text_.data(); }

private:
  std::array<char, 64> text_{};
};

bool runStart(CallTexts& texts, bool isMni);
bool runReadTextFile(CallTexts& texts);
bool runSaveTextFile(CallTexts& texts);
bool runCleanUpText(CallTexts& texts, bool isMni);

} // namespace orbiculon
