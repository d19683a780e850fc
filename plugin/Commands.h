#pragma once

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

// Cleans the call's coordinate list in place and returns its number of lines. Valid
// lines that no longer fit the list text are left out, and a log line says how many,
// so a long list is never cut short without a word.
int cleanListAndReport(CallTexts& texts, bool isMni);

bool runStart(CallTexts& texts, bool isMni);
bool runReadTextFile(CallTexts& texts);
bool runSaveTextFile(CallTexts& texts);
bool runCleanUpText(CallTexts& texts, bool isMni);

} // namespace orbiculon
