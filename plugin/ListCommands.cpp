// The commands that work on the dialog's coordinate list: read it from a text file,
// save it to one, and clean it in place.
#include <cerrno>
#include <cstring>

#include "coords/CoordinateList.h"
#include "coords/CoordinateTextFile.h"
#include "host/HostEntryTable.h"
#include "plugin/Commands.h"

namespace orbiculon {

namespace {

constexpr char kTextFileFilter[] = "Text File (*.txt)";
constexpr int kCompleteLines = 1;
constexpr char kReadErrorLine[] = "Plugin>  Error while reading *.txt file.";
constexpr char kWriteErrorLine[] = "Plugin>  Error while writing *.txt file.";

// Counts the valid lines that cleaning had to leave out for lack of room.
class LeftOutLines final : public CleaningObserver {
public:
  void lineDoesNotFit(const CleaningLine&) override { ++count; }
  int count = 0;
};

} // namespace

bool completeLinesChosen() { return hostTable().rzGetIntParameter("CompleteLines") == kCompleteLines; }

ListCleaning cleanListAndReport(CallTexts& texts, bool isMni, const CompletionDefaults* completion) {
  if (completion != nullptr) {
    const ReferenceScan scan = scanListReference(texts.list.c_str());
    if ((scan.reference == ListReference::Mni && !isMni) || (scan.reference == ListReference::Tal && isMni)) {
      logLine("Plugin>  Line %i of the list names %s space, but \"MNIorTal\" is %s: the list was not read",
              scan.line, isMni ? "TAL" : "MNI", isMni ? "MNI" : "TAL");
      return {0, 0, 0, ListOutcome::Refused};
    }
  }
  LeftOutLines leftOut;
  LineCompletion lineCompletion{};
  if (completion != nullptr) lineCompletion.defaults = *completion;
  const int count = cleanCoordinateList(texts.list.span(), isMni, &leftOut,
                                        completion != nullptr ? &lineCompletion : nullptr);
  if (count == kCleaningOutOfMemory) {
    logOutOfMemory();
    return {0, 0, 0, ListOutcome::OutOfMemory};
  }
  if (leftOut.count > 0)
    logLine("Plugin>  The cleaned list is full: %i more valid lines were left out", leftOut.count);
  return {count, lineCompletion.completed, lineCompletion.numbersUnused, ListOutcome::Cleaned};
}

void logCompletedLines(const ListCleaning& cleaning) {
  if (cleaning.completed > 0)
    logLine("Plugin>  %i lines were completed from the dialog's fields", cleaning.completed);
  if (cleaning.numbersUnused > 0)
    logLine("Plugin>  %i lines had numbers after z that were not used: without a heading they are "
            "statistics, never radius or colour",
            cleaning.numbersUnused);
}

bool runReadTextFile(CallTexts& texts) {
  const auto& host = hostTable();
  // A cancelled dialog leaves the path empty.
  host.rzGetOpenFileName("Select a text file to open", "", kTextFileFilter, texts.filePath.data());
  texts.filePath.terminate();
  const char* path = texts.filePath.c_str();
  const TextFileReading reading = readCoordinateTextFile(path, texts.list.span());
  // A file longer than the list holds gives the lines that fit; any other failure
  // gives no list at all, since lines up to a read error are not the file.
  const bool cutShort = reading.opened && reading.result.error == EFBIG && reading.lines > 0;
  if (!reading.opened || (!reading.result.ok() && !cutShort)) {
    // No new list (also when there was no memory to read one). The dialog script
    // moves "AllText" into the list box after this command, so "AllText" gets the
    // list itself, which the move then leaves exactly as it was (also with a script
    // that knows nothing of this); the call's texts hold it without a new allocation.
    if (reading.opened) host.rzLogText(kReadErrorLine);
    if (*path == '\0')
      logLine("Plugin>  No file was chosen; the list is unchanged.");
    else
      logFileReason("Plugin>  The list is unchanged: ", path, reading.result);
    host.rzGetStringParameter("VOItext", texts.list.data());
    texts.list.terminate();
    host.rzSetStringParameter("AllText", texts.list.c_str());
    return true;
  }
  if (cutShort) {
    logFileFailure(kReadErrorLine, path, reading.result);
    logLine("Plugin>  Kept the first %i lines (%i bytes); a list holds at most %i bytes.", reading.lines,
            static_cast<int>(std::strlen(texts.list.c_str())), static_cast<int>(kCoordinateListCapacity - 1));
  }
  logLine("Plugin>  Read %i lines in %s", reading.lines, path);
  host.rzSetStringParameter("AllText", texts.list.c_str());
  return true;
}

bool runSaveTextFile(CallTexts& texts) {
  const auto& host = hostTable();
  host.rzGetStringParameter("VOItext", texts.list.data());
  texts.list.terminate();
  host.rzGetSaveFileName("Select a text filename to save", "", kTextFileFilter, texts.filePath.data());
  texts.filePath.terminate();
  if (const FileResult written = writeCoordinateTextFile(texts.filePath.c_str(), texts.list.c_str());
      written.ok()) {
    logLine("Plugin>  Saved VOI info in: %s", texts.filePath.c_str());
  } else {
    logFileFailure(kWriteErrorLine, texts.filePath.c_str(), written);
    host.rzMessageBox("Error saving file");
  }
  return true;
}

bool runCleanUpText(CallTexts& texts, bool isMni) {
  const auto& host = hostTable();
  host.rzGetStringParameter("VOItext", texts.list.data());
  texts.list.terminate();
  // With "CompleteLines", the dialog's single-VOI fields are the defaults of short
  // lines; "Name_of_VOI" goes into the call's VOI name text.
  CompletionDefaults defaults{};
  const bool complete = completeLinesChosen();
  if (complete) {
    defaults.radius = host.rzGetFloatParameter("Radius");
    host.rzGetStringParameter("Name_of_VOI", texts.voiName.data());
    texts.voiName.terminate();
    defaults.name = texts.voiName.c_str();
    defaults.red = host.rzGetIntParameter("cR");
    defaults.green = host.rzGetIntParameter("cG");
    defaults.blue = host.rzGetIntParameter("cB");
  }
  const ListCleaning cleaning = cleanListAndReport(texts, isMni, complete ? &defaults : nullptr);
  if (cleaning.outcome != ListOutcome::Cleaned) return true;
  logLine("Plugin>  %i valid lines left after cleaning", cleaning.lines);
  logCompletedLines(cleaning);
  host.rzSetStringParameter("VOItext", texts.list.c_str());
  return true;
}

} // namespace orbiculon
