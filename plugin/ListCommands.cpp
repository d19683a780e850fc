// The commands that work on the dialog's coordinate list: read it from a text file,
// save it to one, and clean it in place.
#include "coords/CoordinateList.h"
#include "coords/CoordinateTextFile.h"
#include "host/HostEntryTable.h"
#include "plugin/Commands.h"

namespace orbiculon {

namespace {

constexpr char kTextFileFilter[] = "Text File (*.txt)";

// Counts the valid lines that cleaning had to leave out for lack of room.
class LeftOutLines final : public CleaningObserver {
public:
  void lineDoesNotFit(const CleaningLine&) override { ++count; }
  int count = 0;
};

} // namespace

int cleanListAndReport(CallTexts& texts, bool isMni) {
  LeftOutLines leftOut;
  const int count = cleanCoordinateList(texts.list.span(), isMni, &leftOut);
  if (leftOut.count > 0)
    logLine("Plugin>  The cleaned list is full: %i more valid lines were left out", leftOut.count);
  return count;
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
  const int count = cleanListAndReport(texts, isMni);
  logLine("Plugin>  %i valid lines left after cleaning", count);
  host.rzSetStringParameter("VOItext", texts.list.c_str());
  return true;
}

} // namespace orbiculon
