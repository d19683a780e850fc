#pragma once

#include "coords/LineCompletion.h"
#include "plugin/WorkingTexts.h"

// The commands execute dispatches to. Each runs inside one call of execute, on that
// call's working texts, and returns execute's result.
namespace orbiculon {

// Formats one log line into a 512-byte text (longer lines are cut) and logs it.
void logLine(const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;

// The dialog's "CompleteLines": whether list lines that give x, y and z but not all
// eight fields are completed from the dialog's single-VOI fields (1; any other
// value, and a host without the parameter, leave the list as cleaning finds it).
bool completeLinesChosen();

struct ListCleaning {
  int lines;     // lines of the cleaned list
  int completed; // of these, lines completed from `completion`
};

// Cleans the call's coordinate list in place, completing short lines from
// `completion` unless it is null. Valid lines that no longer fit the list text are
// left out, and a log line says how many, so a long list is never cut short without
// a word (completed lines are longer than the short lines they come from).
ListCleaning cleanListAndReport(CallTexts& texts, bool isMni, const CompletionDefaults* completion);

// Logs how many lines were completed, when any was.
void logCompletedLines(const ListCleaning& cleaning);

bool runStart(CallTexts& texts, bool isMni);
bool runReadTextFile(CallTexts& texts);
bool runSaveTextFile(CallTexts& texts);
bool runCleanUpText(CallTexts& texts, bool isMni);

} // namespace orbiculon
