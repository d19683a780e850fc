// The commands that work on the dialog's coordinate list: read it from a text file,
// save it to one, and clean it in place.
#include "coords/CoordinateList.h"
#include "coords/CoordinateTextFile.h"
#include "host/HostEntryTable.h"
#include "plugin/Commands.h"

namespace orbiculon {

namespace {

constexpr char kTextFileFilter[] = "Text File (*.txt)";
constexpr int kCompleteLines = 1;

// Counts the valid lines that cleaning had to leave out for lack of room.
class LeftOutLines final : public CleaningObserver {
public:
  void lineDoesNotFit(const CleaningLine&) override { ++count; }
  int count = 0;
};

} // namespace

bool completeLinesChosen() { return hostTable().rzGetIntParameter("CompleteLines") == kCompleteLines; }

ListCleaning cleanListAndReport(CallTexts& texts, bool isMni, const CompletionDefaults* completion) {
  LeftOutLines leftOut;
  LineCompletion lineCompletion{};
  if (completion != nullptr) lineCompletion.defaults = *completion;
  const int count = cleanCoordinateList(texts.list.span(), isMni, &leftOut,
                                        completion != nullptr ? &lineCompletion : nullptr);
  if (leftOut.count > 0)
    logLine("Plugin>  The cleaned list is full: %i more valid lines were left out", leftOut.count);
  return {count, lineCompletion.completed};
}

void logCompletedLines(const ListCleaning& cleaning) {
  if (cleaning.completed > 0)
    logLine("Plugin>  %i lines were completed from the dialog's fields", cleaning.completed);
}

bool runReadTextFile(CallTexts& texts) {
  const auto& host = hostTable();
  // A cancelled dialog leaves whatever path the host wrote (empty when nothing):
  // reading it then reads no line.
  host.rzGetOpenFileName("Select a text file to open", "", kTextFileFilter, texts.filePath.data());
  texts.filePath.terminate();
  const int lines = readCoordinateTextFile(texts.filePath.c_str(), texts.list.span());
  logLine("Plugin>  Read %i lines in %s", lines, texts.filePath.c_str());
  host.rzSetStringParameter("AllText", texts.list.c_str());
  return true;
}

bool runSaveTextFile(CallTexts& texts) {
  const auto& host = hostTable();
  host.rzGetStringParameter("VOItext", texts.list.data());
  texts.list.terminate();
  host.rzGetSaveFileName("Select a text filename to save", "", kTextFileFilter, texts.filePath.data());
  texts.filePath.terminate();
  if (writeCoordinateTextFile(texts.filePath.c_str(), texts.list.c_str()))
    logLine("Plugin>  Saved VOI info in: %s", texts.filePath.c_str());
  else
    host.rzMessageBox("Error saving file");
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
  logLine("Plugin>  %i valid lines left after cleaning", cleaning.lines);
  logCompletedLines(cleaning);
  host.rzSetStringParameter("VOItext", texts.list.c_str());
  return true;
}

} // namespace orbiculon
