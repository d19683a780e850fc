#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <new>

#include "host/HostEntryTable.h"
#include "plugin/Commands.h"
#include "plugin/Orbiculon.h"

namespace orbiculon {

void logLine(const char* format, ...) {
  char line[kLogLineCapacity];
  va_list arguments;
  va_start(arguments, format);
  // vsnprintf cuts a longer line at 511 characters and always terminates it.
  const int length = std::vsnprintf(line, sizeof line, format, arguments);
  va_end(arguments);
  if (length < 0) line[0] = '\0';
  hostTable().rzLogText(line);
}

} // namespace orbiculon

bool Orbiculon::execute() {
  using namespace orbiculon;
  try {
    CallTexts texts;
    const auto& host = hostTable();
    host.rzGetStringParameter("Command", texts.command.data());
    texts.command.terminate();
    const bool isMni = host.rzGetIntParameter("MNIorTal") != 0;

    const char* command = texts.command.c_str();
    if (std::strcmp(command, "ReadTextFile") == 0) return runReadTextFile(texts);
    if (std::strcmp(command, "SaveTextFile") == 0) return runSaveTextFile(texts);
    if (std::strcmp(command, "CleanUpText") == 0) return runCleanUpText(texts, isMni);
    if (std::strcmp(command, "Start") == 0) return runStart(texts, isMni);

    logLine("Plugin>  Received unknown command: \"%s\".", command);
    return true;
  } catch (const std::bad_alloc&) {
    logLine("Plugin>  Not enough memory to run the command; nothing was written.");
    return true;
  } catch (...) {
    logLine("Plugin>  The command failed unexpectedly; nothing was written.");
    return true;
  }
}
